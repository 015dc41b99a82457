// Pieces of the region transfer engine (copyRegionWithBorder in image.h):
// the working buffer's layout and the moves that fill it.
#pragma once

#include <algorithm>
#include <cstdint>

#include "image/image.h"

// A working buffer of width x height pixels of an image.  Buffer pixel (i, j)
// of plane p starts at data + p * planeStride + j * stride + i * bytesPerPixel
// (for 1-bit images: bit i of row j).
struct RegionBuffer {
    char* data;
    int32_t width, height;
    int32_t stride;         // row bytes rounded up to the image's align
    int64_t planeStride;    // height * stride
    int32_t bytesPerPixel;  // nChannels * b in pixel order, b in plane order, 0 for 1-bit
    int32_t planes;         // nChannels in plane order, else 1
    int32_t valueSize;      // b: 1, 2 or 4; 0 for 1-bit
};

// The layout of a width x height buffer for image (data null).  false for a
// header the engine cannot work with (see copyRegionWithBorder).
bool regionBufferLayout(const ImageHeader* image, int32_t width, int32_t height, RegionBuffer* out);

// Copies the image rectangle with corners (x1, y1) and (x2, y2), inclusive and
// inside the image, into the buffer at (dstX, dstY).  x1 > x2 (y1 > y2) walks
// the columns (rows) in reverse, which mirrors them.  Tiled images are read
// tile row by tile row.  0 on success, 1 when a tile or the tile table could
// not be had (every tile handed out is released).
int copyImageRect(ImageHeader* image, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                  const RegionBuffer& buffer, int32_t dstX, int32_t dstY);

// The w x h block at (x, y) takes the value of buffer pixel (x, y).
void fillFromPixel(const RegionBuffer& buffer, int32_t x, int32_t y, int32_t w, int32_t h);
// In each of h rows from y, the pixel at x is copied into the next w - 1 pixels.
void spreadColumn(const RegionBuffer& buffer, int32_t x, int32_t y, int32_t w, int32_t h);
// The row segment [x, x + w) of row y is copied into the next h - 1 rows.
void spreadRow(const RegionBuffer& buffer, int32_t x, int32_t y, int32_t w, int32_t h);

// The 32-bit pattern of a border constant for the depth: the bit (odd/even)
// for 1-bit, the low byte or 16 bits for 8- and 16-bit depths, the value for
// 32S and the value converted to float for 32F.
uint32_t borderPattern(int32_t depth, int32_t value);

// ------------------------------------------------------------ border rules
// The one implementation of the replicate, reflect and wrap rules: every
// reader of positions outside an image maps them through forEachStretch.

inline int64_t floorMod(int64_t a, int64_t n) {
    const int64_t r = a % n;
    return r < 0 ? r + n : r;
}

// A run of buffer coordinates dst .. dst + length - 1 that maps to image
// coordinates first, first + step, ...; step 0 repeats one image coordinate.
struct Stretch {
    int32_t dst, length, first, step;
    int32_t last() const { return step == 0 ? first : first + step * (length - 1); }
};

// Calls visit with the stretches that cover image coordinates [from, to) of an
// axis of size n under a non-constant border mode; origin is the image
// coordinate of buffer coordinate 0.
template <typename Visit>
void forEachStretch(int64_t from, int64_t to, int64_t origin, int32_t n, int32_t mode,
                    Visit&& visit) {
    auto emit = [&](int64_t c, int64_t length, int64_t first, int32_t step) {
        visit(Stretch{static_cast<int32_t>(c - origin), static_cast<int32_t>(length),
                      static_cast<int32_t>(first), step});
    };
    int64_t c = from;
    if (mode == ZAR_BORDER_REPLICATE || n == 1) {
        // A one-pixel axis mirrors and wraps onto its only pixel as well.
        if (c < 0) {
            const int64_t end = std::min<int64_t>(to, 0);
            emit(c, end - c, 0, 0);
            c = end;
        }
        if (c < to && c < n) {
            const int64_t end = std::min<int64_t>(to, n);
            emit(c, end - c, c, 1);
            c = end;
        }
        if (c < to) emit(c, to - c, n - 1, 0);
        return;
    }
    while (c < to) {
        int64_t length;
        if (mode == ZAR_BORDER_WRAP) {
            const int64_t p = floorMod(c, n);
            length = std::min<int64_t>(n - p, to - c);
            emit(c, length, p, 1);
        } else {  // reflect: period 2n, the edge pixel repeated
            const int64_t p = floorMod(c, 2 * static_cast<int64_t>(n));
            if (p < n) {
                length = std::min<int64_t>(n - p, to - c);
                emit(c, length, p, 1);
            } else {
                const int64_t q = 2 * static_cast<int64_t>(n) - 1 - p;
                length = std::min<int64_t>(q + 1, to - c);
                emit(c, length, q, -1);
            }
        }
        c += length;
    }
}

// ------------------------------------------------------------ row transfer
// Runs of one channel's values between image rows and buffers whose values
// lie next to each other.  Positions count values from the buffer's start
// (bits for 1-bit images); tiled images go tile by tile.

// Value runs of a depth (1, 8 or 16 bits).
struct ValueRuns {
    // count values from src (from srcPos, stride srcStep, descending when
    // reversed) to dst (from dstPos, stride dstStep, ascending).
    void (*copy)(const char* src, int64_t srcPos, int32_t srcStep, bool reversed, char* dst,
                 int64_t dstPos, int32_t dstStep, int32_t count);
    // count values from pos on take value (already reduced to the depth).
    void (*fill)(char* buffer, int64_t pos, int32_t count, uint32_t value);
    // The value at pos.
    uint32_t (*get)(const char* buffer, int64_t pos);
};
const ValueRuns& valueRunsFor(int32_t depth);

// count values of one row and channel (0-based) from column x on into buffer
// from value position bufferPos on, positions outside the image by the
// image's border rules.  false when a tile was refused.
bool readRowAt(ImageHeader* image, int32_t x, int32_t y, int32_t channel, char* buffer,
               int64_t bufferPos, int32_t count);
// count values from buffer into one row and channel of the image, from column
// x on (all inside the image).  false when a tile was refused.
bool writeRow(const char* buffer, int32_t count, ImageHeader* image, int32_t x, int32_t y,
              int32_t channel);
// Whole pixels of a pixel-order image without tiles: count pixels of all
// channels from column x on into buffer, interleaved as in the image; temp
// holds count values.
bool readPixelRow(ImageHeader* image, int32_t x, int32_t y, char* buffer, int32_t count,
                  char* temp);
