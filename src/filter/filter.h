// Neighbourhood filters: the box blur and the fixed-kernel filters with their
// row kernels.  Internal declarations shared by zarBlur.cpp, zarnlf.cpp and the
// kernel sources of this folder.
#pragma once

#include <cfenv>
#include <cstddef>
#include <cstdint>

#include "frame/cpu.h"
#include "image/image.h"
#include "image/rows.h"
#include "zar.h"

// Runs the enclosed code under one rounding mode and gives the caller's mode
// back on every way out.  The sources of this folder are built with
// -frounding-math, so the compiler honours the dynamic mode.
class RoundingScope {
  public:
    // Always inlined: the kernels built for higher instruction sets use it too,
    // and no copy of theirs may serve the others.
    [[gnu::always_inline]] explicit RoundingScope(int mode) : saved_(std::fegetround()) {
        if (saved_ != mode) std::fesetround(mode);
    }
    [[gnu::always_inline]] ~RoundingScope() {
        if (std::fegetround() != saved_) std::fesetround(saved_);
    }
    RoundingScope(const RoundingScope&) = delete;
    RoundingScope& operator=(const RoundingScope&) = delete;

  private:
    int saved_;
};

// Where the values of one pixel position of plain memory lie: the first value of
// a channel, the row stride, the distance to the next channel and the element
// step to the next pixel.  1-bit memory counts positions in bits from bitX.
struct ChannelWalk {
    char* first;
    int32_t step;
    ptrdiff_t channelStride;  // bytes from one channel to the next
    int32_t pixelStep;        // elements from one pixel to the next
    int32_t bitX;             // 1-bit images: bit position of the pixel in its row
};
// The walk over a plain image (or a view of a tile or a buffer) from pixel (x, y)
// of the 0-based channel.
ChannelWalk channelWalk(const ImageHeader* plain, int32_t x, int32_t y, int32_t channel);

// ------------------------------------------------------------------ blur

// Source rows of a block's neighbourhoods: window(source, y) gives the first
// processed channel of row y at the block's first column (row 0 is the top of
// the first result's neighbourhood), and rows y .. y + nRows lie one row step
// apart from it until the next call.  Null when the rows could not be read.
struct BlurRowWindow {
    const char* (*window)(void* source, int32_t y);
    void* source;
    const char* at(int32_t y) const { return window(source, y); }
};

// One block of the box filter: the source rows (laid out as src tells, whose
// `first` is unused), the destination and an optional mask, all positioned at
// the first channel.
struct BlurJob {
    BlurRowWindow rows;
    ChannelWalk src;
    ChannelWalk dst;
    const uint8_t* mask;  // row of the block's first result, or null
    int32_t maskStep;
    int32_t maskBitX;
    int32_t width, height;  // results
    int32_t nCols, nRows;
    int32_t channels;
    float scale;  // single-precision 1 / (nCols * nRows)
};

// Returns false when the column sums could not be allocated or a band of rows
// could not be read.
using BlurKernel = bool (*)(const BlurJob& job);

// The kernel for a depth, masked or not; null for an unknown depth.  Sets
// *truncating when the kernel must run under rounding toward zero (the
// floating-point depths; the integer ones compute the same truncation exactly
// with integers).
BlurKernel selectBlurKernel(int32_t depth, bool masked, bool* truncating);

// A block of the box filter computed from the whole source image instead of
// the working block, for neighbourhoods reaching far past the image.  job.src
// walks the image read once (from its pixel (0, 0)), image holds its size and
// border rules, (x0, y0) is the image position of the block's top-left
// neighbourhood cell.  Returns false when its sums could not be allocated.
struct LargeWindowJob {
    BlurJob job;
    const ImageHeader* image;
    int64_t x0, y0;
};
bool blurLargeWindow(const LargeWindowJob& job);
// Whether a w x h result with an nCols x nRows neighbourhood takes that way:
// when the working block would be far larger than the image.
bool blurLargeWindowPays(const ImageHeader* src, int32_t w, int32_t h, int32_t nCols,
                         int32_t nRows);
// The additions that way costs a floating-point depth, which repeats the
// kernels' roundings one by one.
int64_t blurLargeWindowSteps(const ImageHeader* src, int32_t w, int32_t h, int32_t nCols,
                             int32_t nRows);

// ------------------------------------------------------- fixed filters

// The neighbourhood of a fixed filter.
struct FilterShape {
    int32_t nCols, nRows, anchorX, anchorY;
};
FilterShape fixedFilterShape(int32_t filter);

// Rows handed to a row kernel: source rows start at the neighbourhood's top-left
// value, destination rows at the first result.  count values are computed per
// row (neighbours elementStep values apart) and every storeStep-th is stored.
struct RowJob {
    const char* src;
    int32_t srcStep;
    int32_t srcBit;  // 1-bit rows: bit position of the first value
    char* dst;
    int32_t dstStep;
    int32_t dstBit;
    int32_t count;
    int32_t rows;
    int32_t elementStep;
    int32_t storeStep;
};

using RowKernel = void (*)(const RowJob& job, void* scratch);

// Depth columns of the kernel tables.
enum FilterDepth {
    kDepth1u,
    kDepth8u,
    kDepth8s,
    kDepth16u,
    kDepth16s,
    kDepth32s,
    kDepth32f,
    kDepthCount
};
// The column of a depth code, or -1.
int32_t filterDepthIndex(int32_t depth);

// The row kernel of a filter (0 ... 10, 10 not for 1-bit images) and depth
// column: its variants by instruction-set level, and the one in force.
Variants<RowKernel> rowKernelVariants(int32_t filter, int32_t depthIndex);
RowKernel selectRowKernel(int32_t filter, int32_t depthIndex);
RowKernel rowKernelAvx2(int32_t filter, int32_t depthIndex);
RowKernel rowKernelAvx512(int32_t filter, int32_t depthIndex);
// The 5x5 Gaussian's quotient floor(X / 571) in 16-bit lanes, for the sums X
// of its 8-bit kernels (at most 571 * 255 + 285), which come in three 16-bit
// parts: Y, the sum of the parts' quarters (each rounded down), lies in
// [X / 4 - 9 / 4, X / 4], and (Y * kGauss5Reciprocal) >> 16 is then
// floor(X / 571) or one less (checked for every X and Y by the kernel tests);
// the remainder, exact modulo 2^16, tells which.
inline constexpr int32_t kGauss5MaxSum = 571 * 255 + 285;
inline constexpr int32_t kGauss5Reciprocal = 459;
// Bytes of scratch a kernel needs for count values per row with the given step.
size_t rowKernelScratch(int32_t filter, int32_t count, int32_t elementStep);

// Writes the values of a computed row (laid out like the destination row) into
// the destination where both mask bits are 1 (pass the same mask twice for
// one mask).  1-bit rows start at bit 0 of row and at dstBit of dst.
using MaskedStore = void (*)(const char* row, char* dst, int32_t dstBit, int32_t pixels,
                             int32_t pixelStep, int32_t valuesPerPixel, const uint8_t* maskA,
                             int32_t bitA, const uint8_t* maskB, int32_t bitB);
MaskedStore selectMaskedStore(int32_t depthIndex);

// ------------------------------------------------------------------ tiles

// One tile (column, row) through the image's callback (ZAR_TILE_READ or
// ZAR_TILE_WRITE), or null when it is refused; and its release.
char* requestTile(ImageHeader* image, int32_t column, int32_t row, int32_t mode);
void releaseTile(ImageHeader* image, int32_t column, int32_t row, char* tile);

// A piece of a w x h region at (x, y) that lies in one tile.
struct TileBlock {
    int32_t column, row;  // tile indices
    int32_t ox, oy;       // offset inside the region
    int32_t bw, bh;
};

// Visits the pieces of the region along the tile grid, tile columns outer
// (columnMajor) or tile rows outer; stops and returns false when visit does.
template <class Visit>
bool forEachTileBlock(int32_t x, int32_t y, int32_t w, int32_t h, const TileInfo& tiles,
                      bool columnMajor, Visit&& visit) {
    const int32_t firstColumn = x / tiles.width, lastColumn = (x + w - 1) / tiles.width;
    const int32_t firstRow = y / tiles.height, lastRow = (y + h - 1) / tiles.height;
    const int64_t columns = lastColumn - firstColumn + 1, rows = lastRow - firstRow + 1;
    for (int64_t i = 0; i < columns * rows; ++i) {
        const int32_t column = firstColumn +
                               static_cast<int32_t>(columnMajor ? i / rows : i % columns);
        const int32_t row = firstRow + static_cast<int32_t>(columnMajor ? i % rows : i / columns);
        const int32_t left = column == firstColumn ? x : column * tiles.width;
        const int32_t right = tileEnd(column, tiles.width, x + w);
        const int32_t top = row == firstRow ? y : row * tiles.height;
        const int32_t bottom = tileEnd(row, tiles.height, y + h);
        if (!visit(TileBlock{column, row, left - x, top - y, right - left, bottom - top}))
            return false;
    }
    return true;
}
