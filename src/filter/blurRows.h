// Row kernels of the integer box filter: per result row, the window sums of the
// column sums, divided by the area into the results, then the column sums moved
// down one row.  One table entry per depth and width of the column sums.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/cpu.h"

// The division of a window sum S by the area N as the rule takes it: the
// integer part of S * fl(1/N), fl(1/N) the area's reciprocal in single
// precision.  For 0 <= S < 2^24 that is floor((S - bias) / N) (bias is 1 when
// fl(1/N) < 1/N, which takes one off exactly at the multiples of N, else 0),
// and for 8-bit sums (S <= 255 N < 2^16) it is taken as
// ((S - bias) * multiplier) >> (16 + shift) with a 16-bit multiplier, where
// blurDivider16 proves that exact (tests/filter check every S and N).
struct BlurDivider16 {
    uint16_t bias, multiplier;
    int32_t shift;
};
// false when no 16-bit multiplier is exact for the sums of 8-bit values over
// area values (or the sums do not fit 16 bits).
bool blurDivider16(int32_t area, BlurDivider16* divider);

// One result row of values `lanes` interleaved channels wide.  sums holds span
// column sums (uint16_t or uint32_t by the entry); windows is scratch for count
// values.  leaving and entering are the source rows y and y + nRows.
struct BlurRowArgs {
    const char* leaving;
    const char* entering;
    void* sums;
    void* windows;
    char* out;
    ptrdiff_t outAhead;  // bytes to a result row a few rows below, for a prefetch (or 0)
    int32_t count, span, lanes, nCols;
    BlurDivider16 divider;  // 16-bit sums
    double scale;           // 32-bit sums: the single-precision scale, exact in double
};
using BlurRowFn = void (*)(const BlurRowArgs& args);

struct BlurRowEntry {
    int32_t depth;
    int32_t sumBits;  // 16 or 32
    Variants<BlurRowFn> variants;
};
extern const BlurRowEntry kBlurRows[5];

// The entry for a depth and sum width; null when there is none.
const BlurRowEntry* blurRowEntry(int32_t depth, int32_t sumBits);

void blurRow8u16Avx2(const BlurRowArgs& args);
void blurRow8u16Avx512(const BlurRowArgs& args);
void blurRow16u32Avx2(const BlurRowArgs& args);
void blurRow16s32Avx2(const BlurRowArgs& args);

// ------------------------------------------------- shared by the variants
// (static: each file keeps its own copy, compiled for its own level)

// The plain kernel's windows for the results from e on (moved back to a
// multiple of lanes, so that the plain kernel sees whole pixels).
template <class S>
static void plainWindows(const BlurRowArgs& a, int32_t e, int32_t valueBytes, BlurRowFn plain) {
    e = e / a.lanes * a.lanes;
    BlurRowArgs rest = a;
    rest.sums = static_cast<S*>(a.sums) + e;
    rest.out = a.out + e * valueBytes;
    rest.count = a.count - e;
    rest.span = 0;
    plain(rest);
}

// The plain kernel's move of the column sums from j on.
template <class S>
static void plainMove(const BlurRowArgs& a, int32_t j, int32_t valueBytes, BlurRowFn plain) {
    BlurRowArgs rest = a;
    rest.sums = static_cast<S*>(a.sums) + j;
    rest.leaving = a.leaving + j * valueBytes;
    rest.entering = a.entering + j * valueBytes;
    rest.count = 0;
    rest.span = a.span - j;
    plain(rest);
}
