// Row kernels of the zoom engine, chosen once per call by depth, mode and mask.
#pragma once

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#else
#include <cmath>
#endif

// The integer nearest to v in the floating-point unit's current rounding mode
// (halves to even unless the application changed it); never changes the mode.
inline int32_t nearestInt(double v) {
#if defined(__SSE2__) || defined(_M_X64)
    return _mm_cvtsd_si32(_mm_set_sd(v));
#else
    return static_cast<int32_t>(std::lrint(v));
#endif
}

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

// Horizontal pass: one source row interpolated at every destination column into
// a working row of width * channels floats.  weights holds one fraction (LINEAR)
// or one CubicWeights (CUBIC) per column; srcPixelStep is the element distance
// from one tap to the next.
using HorizontalRowFn = void (*)(const char* srcRow, float* work, const int32_t* colOff,
                                 const void* weights, int32_t width, int32_t channels,
                                 int32_t srcPixelStep);

// Vertical pass: the working rows (2 for LINEAR, 4 for CUBIC) combined at the
// row's weight and stored, saturated, into the destination row.
using VerticalRowFn = void (*)(const float* const* work, const void* rowWeight, char* dstRow,
                               int32_t dstStart, int32_t width, int32_t channels,
                               int32_t dstPixelStep, MaskRow mask);

struct ZoomKernels {
    NearestRowFn nearest = nullptr;
    HorizontalRowFn horizontal = nullptr;
    VerticalRowFn vertical = nullptr;
};

// The kernels for a depth (1U, 8U, 16U) and an effective mode; 1-bit images only
// have the nearest-neighbour kernel.
ZoomKernels selectZoomKernels(int32_t depth, int32_t mode, bool masked);
