// Resolution of regions, channels of interest and tiles, and the tile
// callback protocol.
#include <algorithm>

#include "image/image.h"

namespace {

// Address arithmetic in the width of pointers: offsets of large images pass 32
// bits.  A tiled image has no pixel address (imageData is null): it stays null.
char* offsetBy(char* base, int64_t bytes) { return base ? base + bytes : nullptr; }

// Bits to bytes rounding toward minus infinity, so that a region starting in
// the middle of a byte addresses the byte that holds its first bit.
int64_t floorBytes(int64_t bits) { return bits >= 0 ? bits / 8 : -((-bits + 7) / 8); }

int32_t atLeastZero(int32_t v) { return v < 0 ? 0 : v; }

// The region's width or height cut at the image's far edge (a negative
// offset is left as it is).
int32_t clippedExtent(int32_t offset, int32_t extent, int32_t imageExtent) {
    int64_t beyond = static_cast<int64_t>(offset) + extent - imageExtent;
    return beyond > 0 ? static_cast<int32_t>(extent - beyond) : extent;
}

// Which channels the region processes: coi, or all (all but alpha).  Shared by
// getCoiOrigin and getCoiLayout.  Returns false for an image whose only
// channel is alpha and that has no roi.
bool resolveCoiLayout(const ImageHeader* image, bool clamp, CoiLayout* out) {
    int32_t x = 0, y = 0, c = 0;
    if (const Roi* roi = image->roi) {
        x = clamp ? atLeastZero(roi->xOffset) : roi->xOffset;
        y = clamp ? atLeastZero(roi->yOffset) : roi->yOffset;
        c = roi->coi;
    } else if (image->alphaChannel != 0 && image->nChannels == 1) {
        return false;
    }
    if (image->alphaChannel != 0 && c == 0) c = -1;  // all channels but alpha

    const int64_t bytes = bytesPerValue(image->depth);
    const int64_t step = image->widthStep;
    const int64_t planeStride = static_cast<int64_t>(image->height) * step;
    int64_t offset = y * step;
    if (image->dataOrder == ZAR_DATA_ORDER_PLANE) {
        offset += x * bytes;
        if (c > 1) offset += (c - 1) * planeStride;
    } else {
        offset += static_cast<int64_t>(image->nChannels) * x * bytes;
        if (c > 1) offset += (c - 1) * bytes;
    }
    out->address = offsetBy(image->imageData, offset);
    out->widthStep = image->widthStep;
    out->planeStride = planeStride;
    out->channels = c >= 1 ? 1 : c == 0 ? image->nChannels : image->nChannels - 1;
    out->nChannels = image->nChannels;
    out->firstChannel = c >= 1 ? c - 1 : 0;
    out->bitX = x;  // 1-bit images: the address does not include x
    return true;
}

}  // namespace

bool getRoiChannels(const ImageHeader* image, RoiChannels* out) {
    if (const Roi* roi = image->roi) {
        out->x = roi->xOffset;
        out->y = roi->yOffset;
        out->width = clippedExtent(roi->xOffset, roi->width, image->width);
        out->height = clippedExtent(roi->yOffset, roi->height, image->height);
        if (roi->coi != 0) {
            out->firstChannel = out->lastChannel = roi->coi;
            return true;
        }
    } else {
        *out = RoiChannels{0, 0, image->width, image->height, 0, 0};
    }
    out->firstChannel = 1;
    out->lastChannel = image->nChannels;
    if (image->alphaChannel == 0) return true;
    if (image->alphaChannel != image->nChannels) return false;
    out->lastChannel = image->nChannels - 1;
    return image->nChannels != 1;  // an image whose only channel is alpha
}

Rect getRoiRect(const ImageHeader* image) {
    const Roi* roi = image->roi;
    if (roi == nullptr) return {0, 0, image->width, image->height};
    return {roi->xOffset, roi->yOffset, clippedExtent(roi->xOffset, roi->width, image->width),
            clippedExtent(roi->yOffset, roi->height, image->height)};
}

RoiOrigin getRoiOrigin(const ImageHeader* image, int32_t channel) {
    const int64_t bits = bitDepth(image->depth);
    const int64_t step = image->widthStep;
    const Roi* roi = image->roi;
    RoiOrigin out{image->imageData, image->width, image->height, 0};
    int64_t x = 0, y = 0;
    if (roi != nullptr) {
        x = roi->xOffset;
        y = roi->yOffset;
        out.width = atLeastZero(clippedExtent(roi->xOffset, roi->width, image->width));
        out.height = atLeastZero(clippedExtent(roi->yOffset, roi->height, image->height));
        out.bitOffset = roi->xOffset & 7;
    }
    // Without a roi the region starts at (0, 0); the channel's own first value
    // is addressed there too (imageData itself for channel 0).
    int64_t offset = y * step;
    if (image->dataOrder == ZAR_DATA_ORDER_PLANE)
        offset += channel * static_cast<int64_t>(image->height) * step + floorBytes(bits * x);
    else
        offset += floorBytes((x * image->nChannels + channel) * bits);
    out.address = offsetBy(image->imageData, offset);
    return out;
}

namespace {
bool roiCoversWholeImage(const ImageHeader* image) {
    const Roi* roi = image->roi;
    if (roi == nullptr) return true;
    bool coiAll = roi->coi == 0 || (roi->coi == 1 && image->nChannels == 1);
    return roi->xOffset == 0 && roi->yOffset == 0 && roi->width >= image->width &&
           roi->height >= image->height && coiAll;
}
}  // namespace

int isWholeImageLayout(const ImageHeader* imageA, const ImageHeader* imageB, int flag) {
    if (flag != 0) return 0;
    // A view whose size does not fit an int32 says so with imageSize 0.
    if (imageA->imageSize < 1) return 0;
    if (imageA->height != imageB->height || imageA->width != imageB->width ||
        imageA->imageSize != imageB->imageSize || imageA->align != imageB->align)
        return 0;
    return roiCoversWholeImage(imageA) && roiCoversWholeImage(imageB) ? 1 : 0;
}

RoiSize getRoiSize(const ImageHeader* image, bool clip) {
    const Roi* roi = image->roi;
    if (roi == nullptr) return {image->height, image->width};
    if (roi->width < 1 || roi->height < 1) return {0, 0};
    if (!clip) return {roi->height, roi->width};
    int32_t x = roi->xOffset, y = roi->yOffset;
    int32_t width = roi->width, height = roi->height;
    if (x >= image->width || y >= image->height) return {0, 0};
    if (x < 0) {
        width += x;
        x = 0;
    }
    if (y < 0) {
        height += y;
        y = 0;
    }
    width = std::min(width, image->width - x);
    height = std::min(height, image->height - y);
    // A region that lies wholly left of or above the image is empty too.
    if (width < 1 || height < 1) return {0, 0};
    return {height, width};
}

RoiSize getCommonRoiSize(const ImageHeader* imageA, const ImageHeader* imageB, bool clip) {
    return getCommonRoiSize(imageA, imageB, nullptr, clip);
}

RoiSize getCommonRoiSize(const ImageHeader* imageA, const ImageHeader* imageB,
                         const ImageHeader* imageC, bool clip) {
    RoiSize common = getRoiSize(imageA, clip);
    if (common.empty()) return {0, 0};
    for (const ImageHeader* image : {imageB, imageC}) {
        if (image == nullptr) continue;
        RoiSize size = getRoiSize(image, clip);
        if (size.empty()) return {0, 0};
        common.height = std::min(common.height, size.height);
        common.width = std::min(common.width, size.width);
    }
    return common;
}

bool getRoiBounds(const ImageHeader* image, bool clip, RoiBounds* out) {
    const Roi* roi = image->roi;
    if (roi == nullptr) {
        *out = {0, 0, image->width - 1, image->height - 1};
        return true;
    }
    if (roi->width < 1 || roi->height < 1) return false;
    RoiBounds b{roi->xOffset, roi->yOffset, roi->xOffset + roi->width - 1,
                roi->yOffset + roi->height - 1};
    if (clip) {
        if (b.x1 < 0 || b.y1 < 0 || b.x0 >= image->width || b.y0 >= image->height) return false;
        b.x0 = atLeastZero(b.x0);
        b.y0 = atLeastZero(b.y0);
        b.x1 = std::min(b.x1, image->width - 1);
        b.y1 = std::min(b.y1, image->height - 1);
    }
    *out = b;
    return true;
}

bool getRoiBitOrigin(const ImageHeader* image, BitOrigin* out) {
    if (image->depth != ZAR_DEPTH_1U) return false;
    int32_t x = 0, y = 0;
    if (const Roi* roi = image->roi) {
        x = atLeastZero(roi->xOffset);
        y = atLeastZero(roi->yOffset);
    }
    out->address = offsetBy(image->imageData, static_cast<int64_t>(y) * image->widthStep + x / 8);
    out->widthStep = image->widthStep;
    out->bitOffset = x % 8;
    return true;
}

bool getCoiOrigin(const ImageHeader* image, CoiLayout* out) {
    return resolveCoiLayout(image, true, out);
}

bool getCoiLayout(const ImageHeader* image, bool clamp, CoiLayout* out) {
    return resolveCoiLayout(image, clamp, out);
}

char* pixelAddress(const ImageHeader* image, int32_t x, int32_t y, int32_t channel) {
    const int64_t bytes = bytesPerValue(image->depth);
    const int64_t step = image->widthStep;
    int64_t offset = y * step;
    if (image->dataOrder == ZAR_DATA_ORDER_PLANE)
        offset += x * bytes + channel * static_cast<int64_t>(image->height) * step;
    else
        offset += x * bytes * image->nChannels + channel * bytes;
    return offsetBy(image->imageData, offset);
}

// ------------------------------------------------------------------ tiles

int32_t viewImageSize(int64_t widthStep, int64_t height, int64_t planes) {
    int64_t size = 0;
    if (__builtin_mul_overflow(widthStep, height, &size) ||
        __builtin_mul_overflow(size, planes, &size) || size > INT32_MAX)
        return 0;
    return static_cast<int32_t>(size);
}

TileSpan getTileSpan(const ImageHeader* image, int32_t height, int32_t width) {
    // An image without a tile record counts as tiled in 128 x 128 tiles.
    const TileInfo* tile = image->tileInfo;
    TileSpan span{};
    span.tileWidth = tile ? tile->width : 128;
    span.tileHeight = tile ? tile->height : 128;
    int32_t x = 0, y = 0;
    if (const Roi* roi = image->roi) {
        x = atLeastZero(roi->xOffset);
        y = atLeastZero(roi->yOffset);
    }
    span.firstColumn = x / span.tileWidth;
    span.firstRow = y / span.tileHeight;
    span.xInTile = x % span.tileWidth;
    span.yInTile = y % span.tileHeight;
    span.columns = (x + width - 1) / span.tileWidth - span.firstColumn + 1;
    span.rows = (y + height - 1) / span.tileHeight - span.firstRow + 1;
    return span;
}

int fetchTileRow(ImageHeader* image, char** table, int32_t count, int32_t firstColumn, int32_t row,
                 int32_t step, int32_t mode) {
    // Every tile of the row is asked for, even after a refusal, so that the
    // release walk sees the same table whatever failed.
    TileInfo* tile = image->tileInfo;
    int failed = 0;
    for (int32_t k = 0; k < count; ++k) {
        tile->callBack(image, firstColumn + k * step, row, mode);
        table[k] = tile->tileData;
        if (table[k] == nullptr) failed = 1;
    }
    return failed;
}

void releaseTileRow(ImageHeader* image, char** table, int32_t count, int32_t firstColumn,
                    int32_t row, int32_t step) {
    // Reverse order of fetching; a tile that was never delivered is not handed back.
    TileInfo* tile = image->tileInfo;
    for (int32_t k = count - 1; k >= 0; --k) {
        if (table[k] == nullptr) continue;
        tile->tileData = table[k];
        tile->callBack(image, firstColumn + k * step, row, ZAR_TILE_RELEASE);
    }
}
