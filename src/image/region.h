// Pieces of the region transfer engine (copyRegionWithBorder in image.h):
// the working buffer's layout and the moves that fill it.
#pragma once

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
