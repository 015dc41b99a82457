// Row kernels of the zoom engine: nearest neighbour (1-bit, 8-bit, 16-bit),
// linear and cubic passes (8-bit, 16-bit), each with and without a mask.
#include "geometry/zoomKernels.h"

#include "geometry/geometry.h"

#include "zar.h"

namespace {

inline bool maskAllows(const MaskRow& mask, int32_t column) {
    return readBit(mask.row, mask.bit + column) != 0;
}

template <typename T>
inline T saturate(int32_t v) {
    constexpr int32_t maxValue = sizeof(T) == 1 ? 255 : 65535;
    return static_cast<T>(v < 0 ? 0 : (v > maxValue ? maxValue : v));
}

// The Newton forward form p0 + s*d1 + s(s-1)/2*d2 + s(s-1)(s-2)/6*d3 in single
// precision, with the differences formed left to right.
inline float cubicNewton(float p0, float p1, float p2, float p3, const CubicWeights& w) {
    float d1 = p1 - p0;
    float d2 = p2 - 2.0f * p1 + p0;
    float d3 = p3 - 3.0f * p2 + 3.0f * p1 - p0;
    return p0 + w.c1 * d1 + w.c2 * d2 + w.c3 * d3;
}

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
        writeBit(dstRow, dstStart + c, readBit(srcRow, colOff[c]));
    }
}

// -------------------------------------------------------------- linear

template <typename T>
void linearHorizontal(const char* srcRow, float* work, const int32_t* colOff, const void* weights,
                      int32_t width, int32_t channels, int32_t srcPixelStep) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    const float* fraction = static_cast<const float*>(weights);
    for (int32_t c = 0; c < width; ++c, work += channels) {
        const T* s = src + colOff[c];
        float f = fraction[c];
        for (int32_t k = 0; k < channels; ++k) {
            int32_t a = s[k], b = s[k + srcPixelStep];
            work[k] = a + f * (b - a);
        }
    }
}

// top*(1 - fy) + bottom*fy, stored as floor with a tolerance of 0.00001: the
// value is never rounded up.
template <typename T, bool Masked>
void linearVertical(const float* const* work, const void* rowWeight, char* dstRow,
                    int32_t dstStart, int32_t width, int32_t channels, int32_t dstPixelStep,
                    MaskRow mask) {
    float fy = *static_cast<const float*>(rowWeight);
    float fTop = 1.0f - fy;
    const float* top = work[0];
    const float* bottom = work[1];
    T* dst = reinterpret_cast<T*>(dstRow) + dstStart;
    for (int32_t c = 0; c < width; ++c, dst += dstPixelStep, top += channels, bottom += channels) {
        if (Masked && !maskAllows(mask, c)) continue;
        for (int32_t k = 0; k < channels; ++k) {
            float v = top[k] * fTop + bottom[k] * fy;
            dst[k] = saturate<T>(nearestInt(v - 0.5 + 0.00001));
        }
    }
}

// --------------------------------------------------------------- cubic

template <typename T>
void cubicHorizontal(const char* srcRow, float* work, const int32_t* colOff, const void* weights,
                     int32_t width, int32_t channels, int32_t srcPixelStep) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    const CubicWeights* w = static_cast<const CubicWeights*>(weights);
    for (int32_t c = 0; c < width; ++c, work += channels) {
        const T* s = src + colOff[c];
        for (int32_t k = 0; k < channels; ++k) {
            work[k] = cubicNewton(s[k - srcPixelStep], s[k], s[k + srcPixelStep],
                                  s[k + 2 * srcPixelStep], w[c]);
        }
    }
}

// The cubic across the four working rows, stored as the nearest integer
// (halves to even) saturated to the depth's range.
template <typename T, bool Masked>
void cubicVertical(const float* const* work, const void* rowWeight, char* dstRow,
                   int32_t dstStart, int32_t width, int32_t channels, int32_t dstPixelStep,
                   MaskRow mask) {
    const CubicWeights w = *static_cast<const CubicWeights*>(rowWeight);
    const float *r0 = work[0], *r1 = work[1], *r2 = work[2], *r3 = work[3];
    T* dst = reinterpret_cast<T*>(dstRow) + dstStart;
    for (int32_t c = 0; c < width; ++c, dst += dstPixelStep) {
        if (Masked && !maskAllows(mask, c)) continue;
        int32_t i = c * channels;
        for (int32_t k = 0; k < channels; ++k) {
            float v = cubicNewton(r0[i + k], r1[i + k], r2[i + k], r3[i + k], w);
            dst[k] = saturate<T>(nearestInt(v));
        }
    }
}

template <typename T, bool Masked>
ZoomKernels kernelsFor(int32_t mode) {
    ZoomKernels k;
    switch (mode) {
    case ZAR_INTER_LINEAR:
        k.horizontal = linearHorizontal<T>;
        k.vertical = linearVertical<T, Masked>;
        break;
    case ZAR_INTER_CUBIC:
        k.horizontal = cubicHorizontal<T>;
        k.vertical = cubicVertical<T, Masked>;
        break;
    default:
        k.nearest = nearestRow<T, Masked>;
        break;
    }
    return k;
}

}  // namespace

ZoomKernels selectZoomKernels(int32_t depth, int32_t mode, bool masked) {
    switch (depth) {
    case ZAR_DEPTH_1U: {
        ZoomKernels k;
        k.nearest = masked ? nearestRowBits<true> : nearestRowBits<false>;
        return k;
    }
    case ZAR_DEPTH_8U:
        return masked ? kernelsFor<uint8_t, true>(mode) : kernelsFor<uint8_t, false>(mode);
    case ZAR_DEPTH_16U:
        return masked ? kernelsFor<uint16_t, true>(mode) : kernelsFor<uint16_t, false>(mode);
    default:
        return {};
    }
}
