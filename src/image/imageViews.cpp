// Plain headers that describe other memory in an image's format: working
// buffers, slots and single tiles.
#include "image/image.h"

ImageHeader memoryView(const ImageHeader* image, char* data, int32_t width, int32_t height,
                       int32_t widthStep) {
    ImageHeader view = *image;
    view.width = width;
    view.height = height;
    view.widthStep = widthStep;
    view.imageData = data;
    view.imageSize = viewImageSize(widthStep, height,
                                   image->dataOrder == ZAR_DATA_ORDER_PLANE ? image->nChannels : 1);
    view.imageDataBlock = nullptr;
    view.roi = nullptr;
    view.maskImage = nullptr;
    view.tileInfo = nullptr;
    return view;
}

ImageHeader tileView(const ImageHeader* image, char* tile) {
    const TileInfo& tiles = *image->tileInfo;
    return memoryView(image, tile, tiles.width, tiles.height, tileWidthStep(image));
}
