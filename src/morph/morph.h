// Morphology internals: dilation and erosion over (2n + 1) x (2n + 1) squares,
// computed as one separable pass over a ring of source rows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zar.h"

// A row kernel.  ring holds k + 1 rows, ringStride bytes apart: rows 0 .. k - 1
// are the source rows of the window (k + w - 1 values each, in any order), row
// k is scratch.  Writes the w results into out from bit outBitOffset on (1-bit
// rows; other depths ignore it).  out may be one of the ring rows.
using MorphKernel = void (*)(int32_t k, char* ring, ptrdiff_t ringStride, char* out,
                             int32_t outBitOffset, int32_t w);

// The filter's row kernel: as MorphKernel without a bit offset, over rows of
// `step` interleaved channels (1 for 1-bit rows): values = w * step results,
// each the extreme of k rows by k pixels (values step apart).  k is odd.
using MorphRowsKernel = void (*)(int32_t k, char* ring, ptrdiff_t ringStride, char* out,
                                 int32_t values, int32_t step);

enum class MorphOp { Erode, Dilate };

// The kernels of an operation for a depth; null for the depths it does not take.
MorphKernel morphKernelFor(MorphOp op, int32_t depth);
// The rows kernel is the fastest variant the processor runs, or with plain
// the portable one.
MorphRowsKernel morphRowsKernelFor(MorphOp op, int32_t depth, bool plain = false);

// Bytes of one ring row holding `length` values of the depth: a multiple of 8,
// with one spare 32-bit word for the 1-bit kernels' shifted reads.
ptrdiff_t morphRingRowBytes(int32_t depth, int32_t length);

// Argument checks of zarDilate / zarErode; reports the first failure under
// funcName and returns STATUS_BAD_ARG, else the status word.
ZarStatus checkMorphArgs(const char* funcName, const ImageHeader* srcImage,
                         const ImageHeader* dstImage, int32_t nIterations);

// Gives the working copies src and dst rois of the common size and, when either
// image has a mask, dst a combined mask of dst's depth (all ones where both
// masks are set).  Returns the status word; *outOfMemory tells that a record or
// a mask image could not be allocated (the caller reports it).  On failure the
// working records are released again.
ZarStatus prepareMorphRegions(ImageHeader* src, ImageHeader* dst, bool* outOfMemory);

enum class MorphResult { Done, NoMemory, TileReadRefused, TileWriteRefused };

// Runs the operation's kernel with size k over the working regions of src into dst, channel by
// channel, honouring dst's combined mask.  A failed ring allocation records
// STATUS_NO_MEMORY and leaves dst unchanged.  Pixels are read from srcPixels
// and written to dstPixels when given: the caller's own headers, so that a
// tile callback sees the header the application passed, not a working copy.
MorphResult morphFilter(ImageHeader* src, ImageHeader* dst, int32_t k, MorphOp op,
                        ImageHeader* srcPixels = nullptr, ImageHeader* dstPixels = nullptr);

// count values of one row and channel (0-based) from column x on into buffer,
// positions outside the image by the image's border rules.  false when a tile
// was refused.
bool readRowWithBorder(ImageHeader* image, int32_t x, int32_t y, int32_t channel, char* buffer,
                       int32_t count);
// The same, into buffer from value position bufferPos on (bits for 1-bit images).
bool readRowAt(ImageHeader* image, int32_t x, int32_t y, int32_t channel, char* buffer,
               int64_t bufferPos, int32_t count);
// count values from buffer into one row and channel of the image, from column
// x on (all inside the image); tiled images tile by tile.  false when a tile
// was refused.
bool writeRow(const char* buffer, int32_t count, ImageHeader* image, int32_t x, int32_t y,
              int32_t channel);
