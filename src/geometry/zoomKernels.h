// Row kernels of the zoom engine, chosen once per call by depth, mode, mask and
// channel count.
#pragma once

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZAR_ZOOM_SSE2 1
#else
#include <cmath>
#endif

// The integer nearest to v in the floating-point unit's current rounding mode
// (halves to even unless the application changed it); never changes the mode.
inline int32_t nearestInt(double v) {
#if defined(ZAR_ZOOM_SSE2)
    return _mm_cvtsd_si32(_mm_set_sd(v));
#else
    return static_cast<int32_t>(std::lrint(v));
#endif
}

#if defined(ZAR_ZOOM_SSE2)
// nearestInt(v - 0.5 + 0.00001) of four floats (round to nearest, halves to
// even), in single precision: the whole part t = trunc(v), then one more when
// the fraction v - t (exact in float) reaches 0.99999006, the first float above
// 1 - 0.00001.  Checked against the double form for every float in
// [-4, 131072] after saturation to 0 .. 255 and 0 .. 65535 (the vertical linear
// pass never leaves that range); below 0 both saturate to 0.
inline __m128i floorWithTolerance4(__m128 v) {
    const __m128 threshold = _mm_set1_ps(0.99999006f);
    __m128i whole = _mm_cvttps_epi32(v);
    __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
    // the comparison's all-ones lanes are -1: subtracting adds one
    return _mm_sub_epi32(whole, _mm_castps_si128(_mm_cmpge_ps(fraction, threshold)));
}
#endif

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

struct ZoomKernels {
    NearestRowFn nearest = nullptr;
    HorizontalRowFn horizontal = nullptr;
    VerticalRowFn vertical = nullptr;
};

// The kernels for a depth (1U, 8U, 16U), an effective mode, the processed
// channels per pixel of a row and the source's element step from one pixel to
// the next; 1-bit images only have the nearest-neighbour
// kernel.  plain asks for the simple per-element loops that the faster
// variants must match exactly (used by the tests).
ZoomKernels selectZoomKernels(int32_t depth, int32_t mode, bool masked, int32_t channels,
                              int32_t srcPixelStep, bool plain = false);
