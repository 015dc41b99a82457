// Row kernels of the zoom engine: nearest neighbour (1-bit, 8-bit, 16-bit),
// linear and cubic passes (8-bit, 16-bit), each with and without a mask.
//
// This file holds the plain per-element kernels of the rule (the reference,
// which rounds in the floating-point unit's current mode) and the kernel
// tables; zoomKernels_sse41.cpp holds the faster forms.
#include "geometry/zoomKernels.h"

#include "geometry/geometry.h"
#include "zar.h"

namespace {

// ------------------------------------------------------------- nearest

template <typename T, bool Masked>
void nearestRow(const char* srcRow, char* dstRow, int32_t dstStart, const int32_t* colOff,
                int32_t width, int32_t channels, int32_t dstPixelStep, MaskRow mask) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    T* dst = reinterpret_cast<T*>(dstRow) + dstStart;
    for (int32_t c = 0; c < width; ++c, dst += dstPixelStep) {
        if (Masked && !maskAllows(mask, c)) continue;
        const T* s = src + colOff[c];
        for (int32_t k = 0; k < channels; ++k) dst[k] = s[k];
    }
}

template <bool Masked>
void nearestRowBits(const char* srcRow, char* dstRow, int32_t dstStart, const int32_t* colOff,
                    int32_t width, int32_t, int32_t, MaskRow mask) {
    for (int32_t c = 0; c < width; ++c) {
        if (Masked && !maskAllows(mask, c)) continue;
        putBit(dstRow, dstStart + c, getBit(srcRow, colOff[c]));
    }
}

// ------------------------------------------------------- horizontal passes

template <typename T>
void linearHorizontalPlain(const char* srcRow, float* work, const int32_t* elemOff,
                           const float* weights, int32_t count, int32_t srcPixelStep) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    for (int32_t e = 0; e < count; ++e) {
        const T* s = src + elemOff[e];
        int32_t a = s[0], b = s[srcPixelStep];
        work[e] = a + weights[e] * (b - a);
    }
}

template <typename T>
void cubicHorizontalPlain(const char* srcRow, float* work, const int32_t* elemOff,
                          const float* weights, int32_t count, int32_t srcPixelStep) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    const float *c1 = weights, *c2 = weights + count, *c3 = weights + 2 * count;
    for (int32_t e = 0; e < count; ++e) {
        const T* s = src + elemOff[e];
        work[e] = cubicNewton(s[-srcPixelStep], s[0], s[srcPixelStep], s[2 * srcPixelStep], c1[e],
                              c2[e], c3[e]);
    }
}

// --------------------------------------------------------- vertical passes

template <typename T, bool Masked>
void linearVerticalPlain(const float* const* work, const void* rowWeight, char* dstRow,
                         int32_t dstStart, int32_t width, int32_t channels, int32_t dstPixelStep,
                         MaskRow mask) {
    float fy = *static_cast<const float*>(rowWeight);
    float fTop = 1.0f - fy;
    const float* top = work[0];
    const float* bottom = work[1];
    T* dst = reinterpret_cast<T*>(dstRow) + dstStart;
    for (int32_t c = 0; c < width; ++c, dst += dstPixelStep, top += channels, bottom += channels) {
        if (Masked && !maskAllows(mask, c)) continue;
        for (int32_t k = 0; k < channels; ++k)
            dst[k] = saturateTo<T>(linearRounded(top[k], bottom[k], fTop, fy));
    }
}

// The cubic across the four working rows, stored as the nearest integer
// (halves to even) saturated to the depth's range.
template <typename T, bool Masked>
void cubicVerticalPlain(const float* const* work, const void* rowWeight, char* dstRow,
                        int32_t dstStart, int32_t width, int32_t channels, int32_t dstPixelStep,
                        MaskRow mask) {
    const CubicWeights w = *static_cast<const CubicWeights*>(rowWeight);
    const float *r0 = work[0], *r1 = work[1], *r2 = work[2], *r3 = work[3];
    T* dst = reinterpret_cast<T*>(dstRow) + dstStart;
    for (int32_t c = 0; c < width; ++c, dst += dstPixelStep) {
        if (Masked && !maskAllows(mask, c)) continue;
        int32_t i = c * channels;
        for (int32_t k = 0; k < channels; ++k) {
            float v = cubicNewton(r0[i + k], r1[i + k], r2[i + k], r3[i + k], w.c1, w.c2, w.c3);
            dst[k] = saturateTo<T>(nearestInt(v));
        }
    }
}

// ------------------------------------------------------------ fused linear

template <typename T>
void fusedLinearPlain(const char* top, const char* bottom, const LinearColumns& cols,
                      const float* fys, char* const* dstRows, int32_t rows) {
    const T* a = reinterpret_cast<const T*>(top);
    const T* b = reinterpret_cast<const T*>(bottom);
    const int32_t step = cols.srcPixelStep;
    for (int32_t e = 0; e < cols.count; ++e) {
        const int32_t o = cols.elemOff[e];
        const float f = cols.fx[e];
        const float h0 = a[o] + f * (a[o + step] - a[o]);
        const float h1 = b[o] + f * (b[o + step] - b[o]);
        for (int32_t r = 0; r < rows; ++r) {
            const float fy = fys[r];
            reinterpret_cast<T*>(dstRows[r])[e] = saturateTo<T>(
                linearRounded(h0, h1, 1.0f - fy, fy));
        }
    }
}

}  // namespace

#define ZAR_ZOOM_VERTICAL(T, depth, masked, cubicAvx512)                                    \
    {depth,                                                                                 \
     ZAR_INTER_LINEAR,                                                                      \
     masked,                                                                                \
     {linearVerticalPlain<T, masked>, ZAR_SSE41((zoomVerticalSse41<T, masked, false>))}},   \
    {                                                                                       \
        depth, ZAR_INTER_CUBIC, masked, {                                                   \
            cubicVerticalPlain<T, masked>, ZAR_SSE41((zoomVerticalSse41<T, masked, true>)), \
                nullptr, cubicAvx512                                                        \
        }                                                                                   \
    }

const ZoomNearestEntry kZoomNearest[6] = {
    {ZAR_DEPTH_1U, false, {nearestRowBits<false>}},
    {ZAR_DEPTH_1U, true, {nearestRowBits<true>}},
    {ZAR_DEPTH_8U, false, {nearestRow<uint8_t, false>, ZAR_SSE41(zoomNearestSse41<uint8_t>)}},
    {ZAR_DEPTH_8U, true, {nearestRow<uint8_t, true>}},
    {ZAR_DEPTH_16U, false, {nearestRow<uint16_t, false>, ZAR_SSE41(zoomNearestSse41<uint16_t>)}},
    {ZAR_DEPTH_16U, true, {nearestRow<uint16_t, true>}},
};

const ZoomHorizontalEntry kZoomHorizontal[4] = {
    {ZAR_DEPTH_8U,
     ZAR_INTER_LINEAR,
     {linearHorizontalPlain<uint8_t>, ZAR_SSE41(zoomLinearHorizontalSse41<uint8_t>)}},
    {ZAR_DEPTH_16U,
     ZAR_INTER_LINEAR,
     {linearHorizontalPlain<uint16_t>, ZAR_SSE41(zoomLinearHorizontalSse41<uint16_t>)}},
    {ZAR_DEPTH_8U,
     ZAR_INTER_CUBIC,
     {cubicHorizontalPlain<uint8_t>, ZAR_SSE41(zoomCubicHorizontalSse41<uint8_t>), nullptr,
      ZAR_AVX512(zoomCubicHorizontalAvx512<uint8_t>)}},
    {ZAR_DEPTH_16U,
     ZAR_INTER_CUBIC,
     {cubicHorizontalPlain<uint16_t>, ZAR_SSE41(zoomCubicHorizontalSse41<uint16_t>), nullptr,
      ZAR_AVX512(zoomCubicHorizontalAvx512<uint16_t>)}},
};

const ZoomVerticalEntry kZoomVertical[8] = {
    ZAR_ZOOM_VERTICAL(uint8_t, ZAR_DEPTH_8U, false, ZAR_AVX512(zoomCubicVerticalAvx512<uint8_t>)),
    ZAR_ZOOM_VERTICAL(uint8_t, ZAR_DEPTH_8U, true, nullptr),
    ZAR_ZOOM_VERTICAL(uint16_t, ZAR_DEPTH_16U, false,
                      ZAR_AVX512(zoomCubicVerticalAvx512<uint16_t>)),
    ZAR_ZOOM_VERTICAL(uint16_t, ZAR_DEPTH_16U, true, nullptr),
};

const ZoomFusedEntry kZoomFusedLinear[2] = {
    {ZAR_DEPTH_8U,
     {fusedLinearPlain<uint8_t>, nullptr, nullptr, ZAR_AVX512(zoomFusedLinearAvx512<uint8_t>)}},
    {ZAR_DEPTH_16U,
     {fusedLinearPlain<uint16_t>, nullptr, nullptr, ZAR_AVX512(zoomFusedLinearAvx512<uint16_t>)}},
};

ZoomKernels selectZoomKernels(int32_t depth, int32_t mode, bool masked, IsaLevel level) {
    ZoomKernels k;
    if (depth == ZAR_DEPTH_1U || (mode != ZAR_INTER_LINEAR && mode != ZAR_INTER_CUBIC)) {
        for (const ZoomNearestEntry& e : kZoomNearest)
            if (e.depth == depth && e.masked == masked) k.nearest = e.variants.pick(level);
        if (depth != ZAR_DEPTH_1U && !masked) k.gather = gatherRowFor(depth, level);
        return k;
    }
    for (const ZoomHorizontalEntry& e : kZoomHorizontal)
        if (e.depth == depth && e.mode == mode) k.horizontal = e.variants.pick(level);
    for (const ZoomVerticalEntry& e : kZoomVertical)
        if (e.depth == depth && e.mode == mode && e.masked == masked)
            k.vertical = e.variants.pick(level);
    // the one-pass form only where a vector variant runs: the plain one is the
    // reference of the vector forms, the two passes the reference of the rule
    if (mode == ZAR_INTER_LINEAR && !masked)
        for (const ZoomFusedEntry& e : kZoomFusedLinear)
            if (e.depth == depth && e.variants.pick(level) != e.variants.at[0])
                k.fused = e.variants.pick(level);
    return k;
}
