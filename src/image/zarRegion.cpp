// The region transfer engine: copies a rectangle of an image, which may reach
// past every edge, into a private buffer in which each outside position holds
// the value given by the image's border rules.
#include <algorithm>
#include <bit>
#include <cstring>

#include "image/image.h"
#include "image/region.h"
#include "image/rows.h"

// ------------------------------------------------------------------ layout

bool regionBufferLayout(const ImageHeader* image, int32_t width, int32_t height,
                        RegionBuffer* out) {
    if (image == nullptr) return false;
    if (image->dataOrder != ZAR_DATA_ORDER_PIXEL && image->dataOrder != ZAR_DATA_ORDER_PLANE)
        return false;
    if (!isValidDepth(image->depth) || !isValidAlign(image->align)) return false;
    // Not in the header rules above, but nothing could be copied without them.
    if (width < 1 || height < 1 || image->nChannels < 1) return false;

    const bool plane = image->dataOrder == ZAR_DATA_ORDER_PLANE;
    const int64_t b = bytesPerValue(image->depth);
    int64_t rowBytes;
    if (b == 0)
        rowBytes = (static_cast<int64_t>(width) + 7) / 8;
    else
        rowBytes = static_cast<int64_t>(width) * b * (plane ? 1 : image->nChannels);
    const int64_t stride = (rowBytes + image->align - 1) / image->align * image->align;
    if (stride > INT32_MAX) return false;

    out->data = nullptr;
    out->width = width;
    out->height = height;
    out->stride = static_cast<int32_t>(stride);
    out->planeStride = stride * height;
    out->bytesPerPixel = static_cast<int32_t>(plane ? b : b * image->nChannels);
    out->planes = plane ? image->nChannels : 1;
    out->valueSize = static_cast<int32_t>(b);
    return true;
}

uint32_t borderPattern(int32_t depth, int32_t value) {
    switch (depth) {
        case ZAR_DEPTH_1U:
            return static_cast<uint32_t>(value) & 1u;
        case ZAR_DEPTH_8U:
        case ZAR_DEPTH_8S:
            return static_cast<uint32_t>(value) & 0xFFu;
        case ZAR_DEPTH_16U:
        case ZAR_DEPTH_16S:
            return static_cast<uint32_t>(value) & 0xFFFFu;
        case ZAR_DEPTH_32F:
            return std::bit_cast<uint32_t>(static_cast<float>(value));
        default:
            return static_cast<uint32_t>(value);
    }
}

// ------------------------------------------------------------ buffer moves

namespace {

char* rowAt(const RegionBuffer& buffer, int32_t plane, int32_t y) {
    return buffer.data + plane * buffer.planeStride + static_cast<int64_t>(y) * buffer.stride;
}

// Plain pixel memory holding part of an image: the whole image, or one tile.
// (x0, y0) is the image position of its first pixel.
struct SourceBlock {
    const char* data;
    int64_t step, planeStride;
    int32_t x0, y0;
};

// Copies image columns xa .. xb (walked in direction dirX) of rows ya .. yb
// (direction dirY) from a block into the buffer at (dstX, dstY).
void copyFromBlock(const SourceBlock& block, int32_t xa, int32_t xb, int32_t ya, int32_t yb,
                   const RegionBuffer& buffer, int32_t dstX, int32_t dstY,
                   ReverseRowFn reverseRow) {
    const int32_t dirX = xb >= xa ? 1 : -1, dirY = yb >= ya ? 1 : -1;
    const int64_t columns = static_cast<int64_t>(xb - xa) * dirX + 1;
    const int32_t rows = (yb - ya) * dirY + 1;
    const int64_t bpp = buffer.bytesPerPixel;
    const int32_t channels = bpp == 0 ? 1 : static_cast<int32_t>(bpp / buffer.valueSize);
    const int64_t srcX = xa - block.x0;
    for (int32_t p = 0; p < buffer.planes; ++p) {
        for (int32_t j = 0; j < rows; ++j) {
            const char* src = block.data + p * block.planeStride +
                              static_cast<int64_t>(ya + j * dirY - block.y0) * block.step;
            char* dst = rowAt(buffer, p, dstY + j);
            if (bpp == 0) {
                const auto* s = reinterpret_cast<const uint8_t*>(src);
                auto* d = reinterpret_cast<uint8_t*>(dst);
                if (dirX > 0)
                    copyBits(s, srcX, d, dstX, columns);
                else
                    copyBitsReversed(s, srcX, d, dstX, columns);
            } else if (dirX > 0) {
                std::memcpy(dst + dstX * bpp, src + srcX * bpp, static_cast<size_t>(columns * bpp));
            } else {
                reverseRow(src + srcX * bpp, dst + dstX * bpp, columns, channels);
            }
        }
    }
}

int copyTiledRect(ImageHeader* image, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                  const RegionBuffer& buffer, int32_t dstX, int32_t dstY, ReverseRowFn reverseRow) {
    const TileInfo* tile = image->tileInfo;
    const int32_t tw = tile->width, th = tile->height;
    const int32_t dirX = x2 >= x1 ? 1 : -1, dirY = y2 >= y1 ? 1 : -1;
    const int32_t c1 = x1 / tw, c2 = x2 / tw, r1 = y1 / th, r2 = y2 / th;
    const int32_t columns = (c2 - c1) * dirX + 1;
    char** table = static_cast<char**>(alignedMalloc(sizeof(char*) * columns));
    if (table == nullptr) return 1;
    const int64_t step = tileWidthStep(image);
    const int64_t tilePlane = step * th;

    int failed = 0;
    for (int32_t r = r1;; r += dirY) {
        if (fetchTileRow(image, table, columns, c1, r, dirX, ZAR_TILE_READ) != 0) {
            // A tile handed out is always given back, also when its row failed.
            releaseTileRow(image, table, columns, c1, r, dirX);
            failed = 1;
            break;
        }
        const int32_t top = r * th, bottom = tileEnd(r, th, INT32_MAX) - 1;
        const int32_t ya = dirY > 0 ? std::max(y1, top) : std::min(y1, bottom);
        const int32_t yb = dirY > 0 ? std::min(y2, bottom) : std::max(y2, top);
        for (int32_t k = 0; k < columns; ++k) {
            const int32_t c = c1 + k * dirX;
            const int32_t left = c * tw, right = tileEnd(c, tw, INT32_MAX) - 1;
            const int32_t xa = dirX > 0 ? std::max(x1, left) : std::min(x1, right);
            const int32_t xb = dirX > 0 ? std::min(x2, right) : std::max(x2, left);
            SourceBlock block{table[k], step, tilePlane, left, top};
            copyFromBlock(block, xa, xb, ya, yb, buffer, dstX + (xa - x1) * dirX,
                          dstY + (ya - y1) * dirY, reverseRow);
        }
        releaseTileRow(image, table, columns, c1, r, dirX);
        if (r == r2) break;
    }
    alignedFree(table);
    return failed;
}

}  // namespace

int copyImageRect(ImageHeader* image, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                  const RegionBuffer& buffer, int32_t dstX, int32_t dstY) {
    const ReverseRowFn reverseRow = reverseRowFor(buffer.valueSize);
    if (image->tileInfo != nullptr)
        return copyTiledRect(image, x1, y1, x2, y2, buffer, dstX, dstY, reverseRow);
    const int64_t step = image->widthStep;
    SourceBlock block{image->imageData, step, step * image->height, 0, 0};
    copyFromBlock(block, x1, x2, y1, y2, buffer, dstX, dstY, reverseRow);
    return 0;
}

void spreadColumn(const RegionBuffer& buffer, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int64_t bpp = buffer.bytesPerPixel;
    for (int32_t p = 0; p < buffer.planes; ++p)
        for (int32_t j = y; j < y + h; ++j) {
            char* row = rowAt(buffer, p, j);
            if (bpp == 0) {
                auto* bits = reinterpret_cast<uint8_t*>(row);
                fillBits(bits, x + 1, w - 1, getBit(bits, x));
            } else {
                repeatBytes(row + x * bpp, static_cast<size_t>(bpp), static_cast<size_t>(w * bpp));
            }
        }
}

void spreadRow(const RegionBuffer& buffer, int32_t x, int32_t y, int32_t w, int32_t h) {
    const int64_t bpp = buffer.bytesPerPixel;
    for (int32_t p = 0; p < buffer.planes; ++p) {
        const char* first = rowAt(buffer, p, y);
        for (int32_t j = y + 1; j < y + h; ++j) {
            char* row = rowAt(buffer, p, j);
            if (bpp == 0)
                copyBits(reinterpret_cast<const uint8_t*>(first), x,
                         reinterpret_cast<uint8_t*>(row), x, w);
            else
                std::memcpy(row + x * bpp, first + x * bpp, static_cast<size_t>(w * bpp));
        }
    }
}

void fillFromPixel(const RegionBuffer& buffer, int32_t x, int32_t y, int32_t w, int32_t h) {
    spreadColumn(buffer, x, y, w, 1);
    spreadRow(buffer, x, y, w, h);
}

// ------------------------------------------------------------ border rules

namespace {

struct Transfer {
    ImageHeader* image;
    RegionBuffer buffer;
    int32_t x, y;  // image position of buffer pixel (0, 0)
};

// Fills the buffer block of a row stretch and a column stretch from the image,
// copying once and spreading where a stretch repeats one coordinate.
int copyStretches(const Transfer& t, const Stretch& rows, const Stretch& cols) {
    if (copyImageRect(t.image, cols.first, rows.first, cols.last(), rows.last(), t.buffer, cols.dst,
                      rows.dst) != 0)
        return 1;
    if (cols.step == 0 && rows.step == 0)
        fillFromPixel(t.buffer, cols.dst, rows.dst, cols.length, rows.length);
    else if (cols.step == 0)
        spreadColumn(t.buffer, cols.dst, rows.dst, cols.length, rows.length);
    else if (rows.step == 0)
        spreadRow(t.buffer, cols.dst, rows.dst, cols.length, rows.length);
    return 0;
}

// Whole buffer rows, padding included, take a side's constant.
void fillConstantRows(const RegionBuffer& buffer, int32_t y, int32_t h, uint32_t pattern) {
    const int64_t bytes = static_cast<int64_t>(h) * buffer.stride;
    for (int32_t p = 0; p < buffer.planes; ++p) {
        char* first = rowAt(buffer, p, y);
        if (buffer.valueSize == 0)
            std::memset(first, pattern ? 0xFF : 0, static_cast<size_t>(bytes));
        else
            fillRunFor(buffer.valueSize)(first, bytes / buffer.valueSize, pattern);
    }
}

// The w x h block at (x, y) takes a side's constant in every channel.
void fillConstantBlock(const RegionBuffer& buffer, int32_t x, int32_t y, int32_t w, int32_t h,
                       uint32_t pattern) {
    const int64_t bpp = buffer.bytesPerPixel;
    const FillRunFn fill = fillRunFor(buffer.valueSize);
    for (int32_t p = 0; p < buffer.planes; ++p)
        for (int32_t j = y; j < y + h; ++j) {
            char* row = rowAt(buffer, p, j);
            if (bpp == 0)
                fillBits(reinterpret_cast<uint8_t*>(row), x, w, static_cast<int>(pattern));
            else
                fill(row + x * bpp, static_cast<int64_t>(w) * (bpp / buffer.valueSize), pattern);
        }
}

// A band of rows above or below the image: one side's rule for both
// coordinates, corners included.
int fillOuterBand(const Transfer& t, int32_t rowFrom, int32_t rowTo, int32_t side) {
    if (rowFrom >= rowTo) return 0;
    const ImageHeader* image = t.image;
    const int32_t mode = image->borderModes[side] & 3;
    if (mode == ZAR_BORDER_CONSTANT) {
        fillConstantRows(t.buffer, rowFrom - t.y, rowTo - rowFrom,
                         borderPattern(image->depth, image->borderValues[side]));
        return 0;
    }
    int failed = 0;
    forEachStretch(rowFrom, rowTo, t.y, image->height, mode, [&](const Stretch& rows) {
        forEachStretch(t.x, static_cast<int64_t>(t.x) + t.buffer.width, t.x, image->width, mode,
                       [&](const Stretch& cols) {
                           if (!failed) failed = copyStretches(t, rows, cols);
                       });
    });
    return failed;
}

// The columns [colFrom, colTo) of the rows inside the image, left or right of
// it: one side's rule for the column coordinate.
int fillSidePart(const Transfer& t, const Stretch& rows, int32_t colFrom, int32_t colTo,
                 int32_t side) {
    if (colFrom >= colTo) return 0;
    const ImageHeader* image = t.image;
    const int32_t mode = image->borderModes[side] & 3;
    if (mode == ZAR_BORDER_CONSTANT) {
        fillConstantBlock(t.buffer, colFrom - t.x, rows.dst, colTo - colFrom, rows.length,
                          borderPattern(image->depth, image->borderValues[side]));
        return 0;
    }
    int failed = 0;
    forEachStretch(colFrom, colTo, t.x, image->width, mode, [&](const Stretch& cols) {
        if (!failed) failed = copyStretches(t, rows, cols);
    });
    return failed;
}

int fillMiddleBand(const Transfer& t) {
    const ImageHeader* image = t.image;
    const int64_t right = static_cast<int64_t>(t.x) + t.buffer.width;
    const int32_t top = std::max(t.y, 0);
    const int32_t bottom = static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(t.y) + t.buffer.height, image->height));
    if (top >= bottom) return 0;
    const Stretch rows{top - t.y, bottom - top, top, 1};

    // Left part (columns < 0), centre (inside the image), right part.
    const int32_t leftTo = static_cast<int32_t>(std::min<int64_t>(right, 0));
    const int32_t centreFrom = std::max(t.x, 0);
    const int32_t centreTo = static_cast<int32_t>(std::min<int64_t>(right, image->width));
    const int32_t rightFrom = static_cast<int32_t>(std::max<int64_t>(t.x, image->width));
    if (fillSidePart(t, rows, t.x, leftTo, 2) != 0) return 1;
    if (centreFrom < centreTo &&
        copyStretches(t, rows, Stretch{centreFrom - t.x, centreTo - centreFrom, centreFrom, 1}) !=
            0)
        return 1;
    return fillSidePart(t, rows, rightFrom, static_cast<int32_t>(right), 3);
}

}  // namespace

bool fillRegionWithBorder(ImageHeader* image, int32_t x, int32_t y, int32_t width, int32_t height,
                          char* data) {
    RegionBuffer buffer;
    if (!regionBufferLayout(image, width, height, &buffer)) return false;
    // A header with neither pixels nor a usable tile record cannot be read.
    if (const TileInfo* tile = image->tileInfo) {
        if (tile->callBack == nullptr || tile->width < 1 || tile->height < 1) return false;
    } else if (image->imageData == nullptr) {
        return false;
    }
    buffer.data = data;
    if (buffer.valueSize == 0)
        std::memset(buffer.data, 0, static_cast<size_t>(buffer.planes * buffer.planeStride));

    const Transfer t{image, buffer, x, y};
    const int64_t bottom = static_cast<int64_t>(y) + height;
    int failed = fillOuterBand(t, y, static_cast<int32_t>(std::min<int64_t>(bottom, 0)), 0);
    if (!failed) failed = fillMiddleBand(t);
    if (!failed)
        failed = fillOuterBand(t, static_cast<int32_t>(std::max<int64_t>(y, image->height)),
                               static_cast<int32_t>(bottom), 1);
    return !failed;
}

char* copyRegionWithBorder(ImageHeader* image, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t* stride) {
    RegionBuffer buffer;
    if (!regionBufferLayout(image, width, height, &buffer)) return nullptr;
    char* data = static_cast<char*>(
        alignedMalloc(static_cast<size_t>(buffer.planes * buffer.planeStride)));
    if (data == nullptr) return nullptr;
    if (!fillRegionWithBorder(image, x, y, width, height, data)) {
        alignedFree(data);
        return nullptr;
    }
    if (stride != nullptr) *stride = buffer.stride;
    return data;
}

void freeRegionCopy(void* buffer) { alignedFree(buffer); }
