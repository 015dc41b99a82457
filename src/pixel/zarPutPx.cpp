// PutPixel: writes every channel of one pixel of the whole image, honouring
// the origin, data order, depth and tiles (not the region, channel of
// interest or mask).
#include <cstring>

#include "frame/frame.h"
#include "image/image.h"
#include "image/rows.h"

namespace {

constexpr ReportSite kSite{"zarPutPixel", "zarPutPx"};

// Writes the pixel at (x, row) of a plain image (or of a header describing
// one tile).
void writePixel(const ImageHeader* image, int32_t x, int32_t row, const void* pixel) {
    if (image->depth == ZAR_DEPTH_1U) {
        // The address of a 1-bit value is its row's first byte.
        putBit(reinterpret_cast<uint8_t*>(pixelAddress(image, x, row, 0)), x,
               *static_cast<const uint8_t*>(pixel) & 1);
        return;
    }
    const size_t size = static_cast<size_t>(bytesPerValue(image->depth));
    const char* values = static_cast<const char*>(pixel);
    if (image->dataOrder == ZAR_DATA_ORDER_PIXEL) {
        std::memcpy(pixelAddress(image, x, row, 0), values, size * image->nChannels);
        return;
    }
    for (int32_t c = 0; c < image->nChannels; ++c)
        std::memcpy(pixelAddress(image, x, row, c), values + c * size, size);
}

}  // namespace

void ZAR_STDCALL zarPutPixel(ImageHeader* image, int32_t x, int32_t y, const void* pixel) {
    if (ZarStatus status = validateHeader(image)) {
        report(kSite, status, "Incorrect Image", __LINE__);
        return;
    }
    if (x > image->width - 1 || x < 0) {
        report(kSite, STATUS_BAD_ARG, "((x>width-1) || (x<0))", __LINE__);
        return;
    }
    if (y > image->height - 1 || y < 0) {
        report(kSite, STATUS_BAD_ARG, "((y>height-1) || (y<0))", __LINE__);
        return;
    }
    const int32_t row = image->origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y;
    TileInfo* tile = image->tileInfo;
    if (tile == nullptr) {
        writePixel(image, x, row, pixel);
        return;
    }
    const int32_t column = x / tile->width, tileRow = row / tile->height;
    tile->callBack(image, column, tileRow, ZAR_TILE_WRITE);
    char* data = tile->tileData;
    if (data == nullptr) {
        // The request is handed back like every other: the callback may hold
        // state for it even when it delivered no tile.
        tile->callBack(image, column, tileRow, ZAR_TILE_RELEASE);
        report(kSite, STATUS_ERROR, "Error get tile to write", __LINE__);
        return;
    }
    // The tile as a plain image of tile width x tile height.
    ImageHeader view = *image;
    view.imageData = data;
    view.widthStep = tileWidthStep(image);
    view.width = tile->width;
    view.height = tile->height;
    view.tileInfo = nullptr;
    writePixel(&view, x % tile->width, row % tile->height, pixel);
    tile->tileData = data;
    tile->callBack(image, column, tileRow, ZAR_TILE_RELEASE);
}
