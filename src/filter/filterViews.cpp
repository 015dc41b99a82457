// Addressing helpers shared by the blur and the fixed filters.
#include "filter/filter.h"

#include "image/image.h"

ChannelWalk channelWalk(const ImageHeader* plain, int32_t x, int32_t y, int32_t channel) {
    const bool planes = plain->dataOrder == ZAR_DATA_ORDER_PLANE;
    ChannelWalk walk;
    walk.first = pixelAddress(plain, x, y, channel);
    walk.step = plain->widthStep;
    walk.channelStride = planes ? static_cast<ptrdiff_t>(plain->height) * plain->widthStep
                                : bytesPerValue(plain->depth);
    walk.pixelStep = planes ? 1 : plain->nChannels;
    walk.bitX = plain->depth == ZAR_DEPTH_1U ? x : 0;
    return walk;
}

char* requestTile(ImageHeader* image, int32_t column, int32_t row, int32_t mode) {
    char* tile = nullptr;
    fetchTileRow(image, &tile, 1, column, row, 1, mode);
    return tile;
}

void releaseTile(ImageHeader* image, int32_t column, int32_t row, char* tile) {
    releaseTileRow(image, &tile, 1, column, row, 1);
}
