// Row kernels of the zoom engine, chosen once per call by depth, mode, mask and
// channel count.
#pragma once

#include <cstdint>

#include "frame/cpu.h"
#include "frame/rounding.h"
#include "geometry/columnGroups.h"
#include "geometry/gatherKernels.h"
#include "image/rows.h"

// The three coefficients of the Newton forward form of the cubic through four
// samples, evaluated at s = fraction + 1: s, s(s-1)/2, s(s-1)(s-2)/6, in single
// precision.
struct CubicWeights {
    float c1, c2, c3;
};
inline CubicWeights cubicWeights(float fraction) {
    float s = fraction + 1.0f;
    float c2 = s * (s - 1.0f) / 2.0f;
    float c3 = s * (s - 1.0f) * (s - 2.0f) / 6.0f;
    return {s, c2, c3};
}

// Destination pixels are written only where the mask bit of their column is set
// (most significant bit first); a null mask row writes every pixel.
struct MaskRow {
    const char* row;
    int32_t bit;  // bit index of the piece's first column inside row
};

// Nearest neighbour: dst[c] = src[colOff[c]] for every column, channels
// innermost.  Offsets count elements of the depth (bits for 1-bit rows).
// dstStart is the element index of the first destination column inside dstRow.
using NearestRowFn = void (*)(const char* srcRow, char* dstRow, int32_t dstStart,
                              const int32_t* colOff, int32_t width, int32_t channels,
                              int32_t dstPixelStep, MaskRow mask);

// Horizontal pass: one source row interpolated at count elements (columns times
// channels, channels innermost) into a working row of count floats.  Element e
// reads its taps at elemOff[e] + j * srcPixelStep (j = 0, 1 for LINEAR; -1 .. 2
// for CUBIC).  weights holds, one array of count floats after the other, the
// fraction (LINEAR) or the coefficients c1, c2, c3 (CUBIC) of every element.
using HorizontalRowFn = void (*)(const char* srcRow, float* work, const int32_t* elemOff,
                                 const float* weights, int32_t count, int32_t srcPixelStep);

// Vertical pass: the working rows (2 for LINEAR, 4 for CUBIC) combined at the
// row's weight and stored, saturated, into the destination row.
using VerticalRowFn = void (*)(const float* const* work, const void* rowWeight, char* dstRow,
                               int32_t dstStart, int32_t width, int32_t channels,
                               int32_t dstPixelStep, MaskRow mask);

// LINEAR in one pass (unmasked, packed destination pixels): both source rows
// interpolated horizontally and combined at each row's weight, for a block of
// destination rows that read the same two source rows.  The result equals
// the horizontal pass of both rows followed by the vertical pass of each row.
// Element e of a piece reads its taps at elemOff[e] and elemOff[e] +
// srcPixelStep with the fraction fx[e].
//
// The vector forms read the elements in groups (columnGroups.h), each from a
// window of 64 elements, masked to the group's span except in the first
// wholeGroups groups (wholeWindowGroups); the first pairedGroups groups are
// one paired run (pairedRunGroups).
struct LinearColumns {
    const int32_t* elemOff;
    const float* fx;
    const ColumnGroup* groups;
    int32_t count;  // elements
    int32_t srcPixelStep;
    int32_t wholeGroups = 0, pairedGroups = 0;
};
using FusedLinearFn = void (*)(const char* top, const char* bottom, const LinearColumns& cols,
                               const float* fys, char* const* dstRows, int32_t rows);
// The kernel tables: one entry per depth and mask (nearest), depth and mode
// (horizontal), depth, mode and mask (vertical).  The plain variants are the
// per-element loops of the rule, which round in the floating-point unit's
// current mode; the others give the same bits under the default mode only.
struct ZoomNearestEntry {
    int32_t depth;
    bool masked;
    Variants<NearestRowFn> variants;
};
struct ZoomHorizontalEntry {
    int32_t depth, mode;
    Variants<HorizontalRowFn> variants;
};
struct ZoomVerticalEntry {
    int32_t depth, mode;
    bool masked;
    Variants<VerticalRowFn> variants;
};
extern const ZoomNearestEntry kZoomNearest[6];
extern const ZoomHorizontalEntry kZoomHorizontal[4];
extern const ZoomVerticalEntry kZoomVertical[8];
struct ZoomFusedEntry {
    int32_t depth;
    Variants<FusedLinearFn> variants;
};
extern const ZoomFusedEntry kZoomFusedLinear[2];

struct ZoomKernels {
    NearestRowFn nearest = nullptr;
    HorizontalRowFn horizontal = nullptr;
    VerticalRowFn vertical = nullptr;
    FusedLinearFn fused = nullptr;  // LINEAR unmasked, where a vector form exists
    GatherRowFn gather = nullptr;   // NN unmasked 8U and 16U, likewise
};

// The kernels for a depth (1U, 8U, 16U) and an effective mode at an
// instruction-set level; 1-bit images only have the nearest-neighbour kernel.
ZoomKernels selectZoomKernels(int32_t depth, int32_t mode, bool masked, IsaLevel level);

// ------------------------------------------------- shared by the variants
// (static: each file keeps its own copy, compiled for its own level)

static inline bool maskAllows(const MaskRow& mask, int32_t column) {
    return getBit(reinterpret_cast<const uint8_t*>(mask.row), mask.bit + column) != 0;
}

template <typename T>
static inline T saturateTo(int32_t v) {
    constexpr int32_t maxValue = sizeof(T) == 1 ? 255 : 65535;
    return static_cast<T>(v < 0 ? 0 : (v > maxValue ? maxValue : v));
}

// The Newton forward form p0 + s*d1 + s(s-1)/2*d2 + s(s-1)(s-2)/6*d3 in single
// precision, with the differences formed left to right.
static inline float cubicNewton(float p0, float p1, float p2, float p3, float c1, float c2,
                                float c3) {
    float d1 = p1 - p0;
    float d2 = p2 - 2.0f * p1 + p0;
    float d3 = p3 - 3.0f * p2 + 3.0f * p1 - p0;
    return p0 + c1 * d1 + c2 * d2 + c3 * d3;
}

// top*(1 - fy) + bottom*fy in single precision, then floor with a tolerance of
// 0.00001 in double precision: the value is never rounded up.
static inline int32_t linearRounded(float top, float bottom, float fTop, float fy) {
    float v = top * fTop + bottom * fy;
    return nearestInt(v - 0.5 + 0.00001);
}

// The variants (zoomKernels_sse41.cpp).
template <typename T>
void zoomNearestSse41(const char* srcRow, char* dstRow, int32_t dstStart, const int32_t* colOff,
                      int32_t width, int32_t channels, int32_t dstPixelStep, MaskRow mask);
template <typename T>
void zoomLinearHorizontalSse41(const char* srcRow, float* work, const int32_t* elemOff,
                               const float* weights, int32_t count, int32_t srcPixelStep);
template <typename T>
void zoomCubicHorizontalSse41(const char* srcRow, float* work, const int32_t* elemOff,
                              const float* weights, int32_t count, int32_t srcPixelStep);
template <typename T, bool Masked, bool Cubic>
void zoomVerticalSse41(const float* const* work, const void* rowWeight, char* dstRow,
                       int32_t dstStart, int32_t width, int32_t channels, int32_t dstPixelStep,
                       MaskRow mask);

// (zoomKernels_avx512.cpp)
template <typename T>
void zoomFusedLinearAvx512(const char* top, const char* bottom, const LinearColumns& cols,
                           const float* fys, char* const* dstRows, int32_t rows);
// 8-bit rows on processors with VBMI (zoomKernels_avx512vbmi.cpp).
void zoomFusedLinearBytesVbmi(const char* top, const char* bottom, const LinearColumns& cols,
                              const float* fys, char* const* dstRows, int32_t rows);
template <typename T>
void zoomCubicHorizontalAvx512(const char* srcRow, float* work, const int32_t* elemOff,
                               const float* weights, int32_t count, int32_t srcPixelStep);
template <typename T>
void zoomCubicVerticalAvx512(const float* const* work, const void* rowWeight, char* dstRow,
                             int32_t dstStart, int32_t width, int32_t channels,
                             int32_t dstPixelStep, MaskRow mask);
