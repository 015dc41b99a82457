// Row kernels of dilation and erosion over (2n + 1) x (2n + 1) squares, one
// table entry per operation and depth.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/cpu.h"

// A row kernel.  rows[0 .. ky - 1] are the source rows of the window (kx + w - 1
// pixels each, in a ring slot or in place in the image, in any order, the same
// row possibly more than once); column is scratch of a ring row's size.  The
// rows hold `step` interleaved channels (1 for 1-bit rows); values = w * step
// results go to out, each the extreme of ky rows by kx pixels (values step
// apart).  kx and ky are odd, the sides of the square after each was cut to
// what the region's frame lets the window see.  1-bit rows are whole words of
// ring rows (morphRingRowBytes).
using MorphRowsKernel = void (*)(int32_t kx, int32_t ky, const char* const* rows, char* column,
                                 char* out, int32_t values, int32_t step);

enum class MorphOp { Erode, Dilate };

struct MorphKernelEntry {
    MorphOp op;
    int32_t depth;
    Variants<MorphRowsKernel> variants;
};
extern const MorphKernelEntry kMorphKernels[6];

// The kernel of an operation for a depth at an instruction-set level; null
// for the depths it does not take.
MorphRowsKernel morphRowsKernelFor(MorphOp op, int32_t depth, IsaLevel level);

// Bytes of one ring row holding `length` values of the depth: a multiple of 8,
// with one spare 32-bit word for the 1-bit kernels' shifted reads.
ptrdiff_t morphRingRowBytes(int32_t depth, int64_t length);

// From this size on the one-channel 8- and 16-bit kernels take a block form
// whose fixed cost beats k vectorised passes.
constexpr int32_t kBlockExtremeFrom = 25;

void erodeRows8Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                    int32_t values, int32_t step);
void erodeRows16Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                     int32_t values, int32_t step);
void dilateRows8Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                     int32_t values, int32_t step);
void dilateRows16Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                      int32_t values, int32_t step);
void erodeRows8Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                      int32_t values, int32_t step);
void erodeRows16Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                       int32_t values, int32_t step);
void dilateRows8Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                       int32_t values, int32_t step);
void dilateRows16Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                        int32_t values, int32_t step);
