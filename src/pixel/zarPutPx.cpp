// PutPixel: writes every channel of one pixel of the whole image, honouring
// the origin, data order, depth and tiles (not the region, channel of
// interest or mask).
#include <cstring>

#include "image/image.h"
#include "image/rows.h"

namespace {

constexpr const char* kFile = "zarPutPx";
constexpr const char* kFunc = "zarPutPixel";

// Plain pixel memory: an image's, or one tile's.
struct PixelMemory {
    char* data;
    int64_t step;
    int64_t planeRows;  // rows per plane
};

void writePixel(const ImageHeader* image, const PixelMemory& memory, int32_t x, int32_t row,
                const void* pixel) {
    char* rowStart = memory.data + row * memory.step;
    if (image->depth == ZAR_DEPTH_1U) {
        putBit(reinterpret_cast<uint8_t*>(rowStart), x, *static_cast<const uint8_t*>(pixel) & 1);
        return;
    }
    const int64_t size = bytesPerValue(image->depth);
    const int64_t n = image->nChannels;
    const char* values = static_cast<const char*>(pixel);
    if (image->dataOrder == ZAR_DATA_ORDER_PIXEL) {
        std::memcpy(rowStart + x * n * size, values, static_cast<size_t>(n * size));
        return;
    }
    const int64_t plane = memory.planeRows * memory.step;
    for (int64_t c = 0; c < n; ++c)
        std::memcpy(rowStart + c * plane + x * size, values + c * size, static_cast<size_t>(size));
}

}  // namespace

void ZAR_STDCALL zarPutPixel(ImageHeader* image, int32_t x, int32_t y, const void* pixel) {
    if (ZarStatus status = validateHeader(image)) {
        zarReportError(status, kFunc, "Incorrect Image", kFile, __LINE__);
        return;
    }
    if (x > image->width - 1 || x < 0) {
        zarReportError(STATUS_BAD_ARG, kFunc, "((x>width-1) || (x<0))", kFile, __LINE__);
        return;
    }
    if (y > image->height - 1 || y < 0) {
        zarReportError(STATUS_BAD_ARG, kFunc, "((y>height-1) || (y<0))", kFile, __LINE__);
        return;
    }
    const int32_t row = image->origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y;
    TileInfo* tile = image->tileInfo;
    if (tile == nullptr) {
        writePixel(image, {image->imageData, image->widthStep, image->height}, x, row, pixel);
        return;
    }
    const int32_t column = x / tile->width, tileRow = row / tile->height;
    tile->callBack(image, column, tileRow, ZAR_TILE_WRITE);
    char* data = tile->tileData;
    if (data == nullptr) {
        zarReportError(STATUS_ERROR, kFunc, "Error get tile to write", kFile, __LINE__);
        return;
    }
    writePixel(image, {data, tileWidthStep(image), tile->height}, x % tile->width,
               row % tile->height, pixel);
    tile->tileData = data;
    tile->callBack(image, column, tileRow, ZAR_TILE_RELEASE);
}
