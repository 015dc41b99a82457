// The faster row kernels of the zoom engine, for SSE4.1 processors.  They give
// the bits of the plain kernels (zoomKernels.cpp) under the default rounding
// mode: the horizontal passes first gather the taps into integer scratch rows
// (one load per element where the taps share a word) and then run the
// arithmetic in loops the compiler vectorises; the vertical passes combine
// four elements at a time (the linear rounding in an exact single-precision
// form of the double one) into integer scratch rows, then saturate and store.
#include <smmintrin.h>

#include <cstring>

#include "geometry/zoomKernels.h"
#include "zar.h"

namespace {

// Elements per scratch chunk: small enough to stay on the stack and in cache.
constexpr int32_t kChunk = 512;
// Channel counts up to this one take the chunked vertical kernels (a chunk
// holds whole pixels); wider pixels take the plain ones.
constexpr int32_t kMaxChunkedChannels = 64;

int32_t lesser(int32_t a, int32_t b) { return a < b ? a : b; }

template <typename T>
constexpr int32_t depthOf() {
    return sizeof(T) == 1 ? ZAR_DEPTH_8U : ZAR_DEPTH_16U;
}

// The plain kernels, for what the faster forms leave to them.
template <typename T>
NearestRowFn plainNearest() {
    for (const ZoomNearestEntry& e : kZoomNearest)
        if (e.depth == depthOf<T>() && !e.masked) return e.variants.at[0];
    return nullptr;
}
template <typename T>
HorizontalRowFn plainHorizontal(int32_t mode) {
    for (const ZoomHorizontalEntry& e : kZoomHorizontal)
        if (e.depth == depthOf<T>() && e.mode == mode) return e.variants.at[0];
    return nullptr;
}
template <typename T, bool Masked>
VerticalRowFn plainVertical(int32_t mode) {
    for (const ZoomVerticalEntry& e : kZoomVertical)
        if (e.depth == depthOf<T>() && e.mode == mode && e.masked == Masked)
            return e.variants.at[0];
    return nullptr;
}

// nearestInt(v - 0.5 + 0.00001) of four floats (round to nearest, halves to
// even), in single precision: the whole part t = trunc(v), then one more when
// the fraction v - t (exact in float) reaches 0.99999006, the first float above
// 1 - 0.00001.  Equal to the double form after saturation to 0 .. 255 and
// 0 .. 65535 for every float in [-4, 131072] (the vertical linear pass never
// leaves that range; the differential test checks them all); below 0 both
// saturate to 0.
inline __m128i floorWithTolerance4(__m128 v) {
    const __m128 threshold = _mm_set1_ps(0.99999006f);
    __m128i whole = _mm_cvttps_epi32(v);
    __m128 fraction = _mm_sub_ps(v, _mm_cvtepi32_ps(whole));
    // the comparison's all-ones lanes are -1: subtracting adds one
    return _mm_sub_epi32(whole, _mm_castps_si128(_mm_cmpge_ps(fraction, threshold)));
}

// ------------------------------------------------------------- nearest

// Unmasked, with the channel count fixed at compile time.
template <typename T, int32_t Channels>
void nearestRowFixed(const T* __restrict src, T* __restrict dst, const int32_t* __restrict colOff,
                     int32_t width, int32_t dstPixelStep) {
    for (int32_t c = 0; c < width; ++c) {
        const T* s = src + colOff[c];
        T* d = dst + static_cast<int64_t>(c) * dstPixelStep;
        for (int32_t k = 0; k < Channels; ++k) d[k] = s[k];
    }
}

template <typename T>
void nearestRowFast(const char* srcRow, char* dstRow, int32_t dstStart, const int32_t* colOff,
                    int32_t width, int32_t channels, int32_t dstPixelStep, MaskRow mask) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    T* dst = reinterpret_cast<T*>(dstRow) + dstStart;
    switch (channels) {
        case 1:
            if (dstPixelStep == 1) {
                for (int32_t c = 0; c < width; ++c) dst[c] = src[colOff[c]];
                return;
            }
            return nearestRowFixed<T, 1>(src, dst, colOff, width, dstPixelStep);
        case 2:
            return nearestRowFixed<T, 2>(src, dst, colOff, width, dstPixelStep);
        case 3:
            return nearestRowFixed<T, 3>(src, dst, colOff, width, dstPixelStep);
        case 4:
            return nearestRowFixed<T, 4>(src, dst, colOff, width, dstPixelStep);
        default:
            return plainNearest<T>()(srcRow, dstRow, dstStart, colOff, width, channels,
                                     dstPixelStep, mask);
    }
}

// ------------------------------------------------------- horizontal passes

template <typename T>
void linearHorizontalFast(const char* srcRow, float* work, const int32_t* elemOff,
                          const float* weights, int32_t count, int32_t srcPixelStep) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    int32_t a[kChunk], d[kChunk];
    for (int32_t e0 = 0; e0 < count; e0 += kChunk) {
        const int32_t n = lesser(kChunk, count - e0);
        const int32_t* __restrict off = elemOff + e0;
        for (int32_t i = 0; i < n; ++i) {
            const T* s = src + off[i];
            a[i] = s[0];
            d[i] = s[srcPixelStep] - s[0];
        }
        const float* __restrict f = weights + e0;
        float* __restrict out = work + e0;
        for (int32_t i = 0; i < n; ++i) out[i] = a[i] + f[i] * d[i];
    }
}

// Elements from .. count - 1 of a row of count elements, one by one.
template <typename T>
void cubicHorizontalElements(const char* srcRow, float* work, const int32_t* elemOff,
                             const float* weights, int32_t from, int32_t count,
                             int32_t srcPixelStep) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    const float *c1 = weights, *c2 = weights + count, *c3 = weights + 2 * count;
    for (int32_t e = from; e < count; ++e) {
        const T* s = src + elemOff[e];
        work[e] = cubicNewton(s[-srcPixelStep], s[0], s[srcPixelStep], s[2 * srcPixelStep], c1[e],
                              c2[e], c3[e]);
    }
}

template <typename T>
void cubicHorizontalFast(const char* srcRow, float* work, const int32_t* elemOff,
                         const float* weights, int32_t count, int32_t srcPixelStep) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    int32_t p[4][kChunk];
    for (int32_t e0 = 0; e0 < count; e0 += kChunk) {
        const int32_t n = lesser(kChunk, count - e0);
        const int32_t* __restrict off = elemOff + e0;
        for (int32_t i = 0; i < n; ++i) {
            const T* s = src + off[i];
            p[0][i] = s[-srcPixelStep];
            p[1][i] = s[0];
            p[2][i] = s[srcPixelStep];
            p[3][i] = s[2 * srcPixelStep];
        }
        const float* __restrict c1 = weights + e0;
        const float* __restrict c2 = weights + count + e0;
        const float* __restrict c3 = weights + 2 * count + e0;
        float* __restrict out = work + e0;
        for (int32_t i = 0; i < n; ++i) {
            out[i] = cubicNewton(static_cast<float>(p[0][i]), static_cast<float>(p[1][i]),
                                 static_cast<float>(p[2][i]), static_cast<float>(p[3][i]), c1[i],
                                 c2[i], c3[i]);
        }
    }
}

// The Newton forward form of four elements at once, in the same order as
// cubicNewton.
inline __m128 cubicNewton4(__m128 p0, __m128 p1, __m128 p2, __m128 p3, __m128 c1, __m128 c2,
                           __m128 c3) {
    const __m128 two = _mm_set1_ps(2.0f), three = _mm_set1_ps(3.0f);
    __m128 d1 = _mm_sub_ps(p1, p0);
    __m128 d2 = _mm_add_ps(_mm_sub_ps(p2, _mm_mul_ps(two, p1)), p0);
    __m128 d3 = _mm_sub_ps(_mm_add_ps(_mm_sub_ps(p3, _mm_mul_ps(three, p2)), _mm_mul_ps(three, p1)),
                           p0);
    return _mm_add_ps(_mm_add_ps(_mm_add_ps(p0, _mm_mul_ps(c1, d1)), _mm_mul_ps(c2, d2)),
                      _mm_mul_ps(c3, d3));
}

// Bytes little-endian bytes at p, as an unsigned word.
template <int32_t Bytes>
inline int32_t loadWord(const char* p) {
    static_assert(Bytes == 2 || Bytes == 4);
    if constexpr (Bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

// The words of Bytes bytes at src + (off[i] + first) * size, for i = 0 .. 3.
template <typename T, int32_t Bytes>
inline __m128i gatherWords(const char* src, const int32_t* off, int32_t first) {
    constexpr int32_t size = static_cast<int32_t>(sizeof(T));
    __m128i x0 = _mm_cvtsi32_si128(loadWord<Bytes>(src + (off[0] + first) * size));
    __m128i x1 = _mm_cvtsi32_si128(loadWord<Bytes>(src + (off[1] + first) * size));
    __m128i x2 = _mm_cvtsi32_si128(loadWord<Bytes>(src + (off[2] + first) * size));
    __m128i x3 = _mm_cvtsi32_si128(loadWord<Bytes>(src + (off[3] + first) * size));
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(x0, x1), _mm_unpacklo_epi32(x2, x3));
}

// LINEAR where both taps of an element lie in one 2- or 4-byte word (8-bit
// rows with pixel steps 1 or 3, 16-bit rows with step 1): one load per element
// instead of two.
template <typename T, int32_t Step>
void linearHorizontalWords(const char* srcRow, float* work, const int32_t* elemOff,
                           const float* weights, int32_t count, int32_t srcPixelStep) {
    constexpr int32_t bits = 8 * static_cast<int32_t>(sizeof(T));
    constexpr int32_t bytes = (Step + 1) * static_cast<int32_t>(sizeof(T));
    const __m128i low = _mm_set1_epi32((1 << bits) - 1);
    int32_t e = 0;
    for (; e + 4 <= count; e += 4) {
        __m128i w = gatherWords<T, bytes>(srcRow, elemOff + e, 0);
        __m128i a = _mm_and_si128(w, low);
        __m128i b = _mm_srli_epi32(w, Step * bits);
        __m128 d = _mm_cvtepi32_ps(_mm_sub_epi32(b, a));
        _mm_storeu_ps(work + e,
                      _mm_add_ps(_mm_cvtepi32_ps(a), _mm_mul_ps(_mm_loadu_ps(weights + e), d)));
    }
    plainHorizontal<T>(ZAR_INTER_LINEAR)(srcRow, work + e, elemOff + e, weights + e, count - e,
                                         srcPixelStep);
}

// LINEAR on one-channel 8-bit rows shrunk by about two: where eight elements
// read the consecutive pairs of sixteen bytes, one load serves them all; other
// groups take the word gather.  Same arithmetic as linearHorizontalWords.
void linearHorizontalPairRuns(const char* srcRow, float* work, const int32_t* elemOff,
                              const float* weights, int32_t count, int32_t srcPixelStep) {
    const __m128i pairSteps = _mm_setr_epi32(0, 2, 4, 6);
    const __m128i pairStepsHigh = _mm_setr_epi32(8, 10, 12, 14);
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    const __m128i zero = _mm_setzero_si128();
    int32_t e = 0;
    for (; e + 8 <= count; e += 8) {
        const int32_t first = elemOff[e];
        const __m128i base = _mm_set1_epi32(first);
        const __m128i o0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(elemOff + e));
        const __m128i o1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(elemOff + e + 4));
        const __m128i same = _mm_and_si128(_mm_cmpeq_epi32(_mm_sub_epi32(o0, base), pairSteps),
                                           _mm_cmpeq_epi32(_mm_sub_epi32(o1, base), pairStepsHigh));
        if (_mm_movemask_epi8(same) != 0xFFFF) {
            linearHorizontalWords<uint8_t, 1>(srcRow, work + e, elemOff + e, weights + e, 8,
                                              srcPixelStep);
            continue;
        }
        // bytes first .. first + 15: the taps of the eight elements
        const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(srcRow + first));
        const __m128i a16 = _mm_and_si128(pairs, lowByte);
        const __m128i b16 = _mm_srli_epi16(pairs, 8);
        const __m128i a[2] = {_mm_unpacklo_epi16(a16, zero), _mm_unpackhi_epi16(a16, zero)};
        const __m128i b[2] = {_mm_unpacklo_epi16(b16, zero), _mm_unpackhi_epi16(b16, zero)};
        for (int32_t h = 0; h < 2; ++h) {
            __m128 d = _mm_cvtepi32_ps(_mm_sub_epi32(b[h], a[h]));
            _mm_storeu_ps(work + e + 4 * h,
                          _mm_add_ps(_mm_cvtepi32_ps(a[h]),
                                     _mm_mul_ps(_mm_loadu_ps(weights + e + 4 * h), d)));
        }
    }
    linearHorizontalWords<uint8_t, 1>(srcRow, work + e, elemOff + e, weights + e, count - e,
                                      srcPixelStep);
}

// CUBIC where the taps pair up into two words (8-bit rows with pixel steps 1
// or 3, 16-bit rows with step 1): the word before the element holds the first two
// taps, the word after it the last two (8-bit rows with step 1 read all four in
// one word).
template <typename T, int32_t Step>
void cubicHorizontalPairs(const char* srcRow, float* work, const int32_t* elemOff,
                          const float* weights, int32_t count, int32_t srcPixelStep) {
    constexpr int32_t bits = 8 * static_cast<int32_t>(sizeof(T));
    constexpr int32_t bytes = (Step + 1) * static_cast<int32_t>(sizeof(T));
    const __m128i low = _mm_set1_epi32((1 << bits) - 1);
    const float *c1 = weights, *c2 = weights + count, *c3 = weights + 2 * count;
    int32_t e = 0;
    for (; e + 4 <= count; e += 4) {
        __m128i before, after;
        if constexpr (Step == 1 && sizeof(T) == 1) {
            // all four taps in one 4-byte word
            before = gatherWords<T, 4>(srcRow, elemOff + e, -1);
            after = _mm_srli_epi32(before, 16);
        } else {
            before = gatherWords<T, bytes>(srcRow, elemOff + e, -Step);
            after = gatherWords<T, bytes>(srcRow, elemOff + e, Step);
        }
        __m128 p0 = _mm_cvtepi32_ps(_mm_and_si128(before, low));
        __m128 p1 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(before, Step * bits), low));
        __m128 p2 = _mm_cvtepi32_ps(_mm_and_si128(after, low));
        __m128 p3 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(after, Step * bits), low));
        _mm_storeu_ps(work + e, cubicNewton4(p0, p1, p2, p3, _mm_loadu_ps(c1 + e),
                                             _mm_loadu_ps(c2 + e), _mm_loadu_ps(c3 + e)));
    }
    cubicHorizontalElements<T>(srcRow, work, elemOff, weights, e, count, srcPixelStep);
}

// --------------------------------------------------------- vertical passes

// The rounded linear combination of n elements of two working rows.
void linearRoundRow(const float* top, const float* bottom, float fTop, float fy, int32_t* out,
                    int32_t n) {
    int32_t e = 0;
    const __m128 wTop = _mm_set1_ps(fTop), wBottom = _mm_set1_ps(fy);
    for (; e + 4 <= n; e += 4) {
        __m128 v = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(top + e), wTop),
                              _mm_mul_ps(_mm_loadu_ps(bottom + e), wBottom));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), floorWithTolerance4(v));
    }
    for (; e < n; ++e) out[e] = linearRounded(top[e], bottom[e], fTop, fy);
}

// The rounded cubic of n elements across four working rows.  Rounding the float
// directly equals rounding it widened to double: the widening is exact.
void cubicRoundRow(const float* const* rows, const CubicWeights& w, int32_t* out, int32_t n) {
    const float *r0 = rows[0], *r1 = rows[1], *r2 = rows[2], *r3 = rows[3];
    int32_t e = 0;
    const __m128 c1 = _mm_set1_ps(w.c1), c2 = _mm_set1_ps(w.c2), c3 = _mm_set1_ps(w.c3);
    for (; e + 4 <= n; e += 4) {
        __m128 v = cubicNewton4(_mm_loadu_ps(r0 + e), _mm_loadu_ps(r1 + e), _mm_loadu_ps(r2 + e),
                                _mm_loadu_ps(r3 + e), c1, c2, c3);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), _mm_cvtps_epi32(v));
    }
    for (; e < n; ++e)
        out[e] = nearestInt(cubicNewton(r0[e], r1[e], r2[e], r3[e], w.c1, w.c2, w.c3));
}

// n contiguous rounded values saturated into dst.
template <typename T>
void storeSaturatedRun(const int32_t* values, T* dst, int32_t n) {
    int32_t e = 0;
    const __m128i* v = reinterpret_cast<const __m128i*>(values);
    if constexpr (sizeof(T) == 1) {
        for (; e + 16 <= n; e += 16, v += 4) {
            __m128i lo = _mm_packs_epi32(_mm_loadu_si128(v), _mm_loadu_si128(v + 1));
            __m128i hi = _mm_packs_epi32(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + e), _mm_packus_epi16(lo, hi));
        }
    } else {
        // biased by -32768 so that the signed saturating pack clamps to 0 .. 65535
        const __m128i bias = _mm_set1_epi32(32768);
        const __m128i flip = _mm_set1_epi16(static_cast<int16_t>(0x8000));
        for (; e + 8 <= n; e += 8, v += 2) {
            __m128i lo = _mm_sub_epi32(_mm_loadu_si128(v), bias);
            __m128i hi = _mm_sub_epi32(_mm_loadu_si128(v + 1), bias);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + e),
                             _mm_xor_si128(_mm_packs_epi32(lo, hi), flip));
        }
    }
    for (; e < n; ++e) dst[e] = saturateTo<T>(values[e]);
}

// pixels pixels of rounded values (channels each) saturated into the
// destination, where the mask allows.
template <typename T, bool Masked>
void storeSaturated(const int32_t* values, T* dst, int32_t pixels, int32_t channels,
                    int32_t dstPixelStep, const MaskRow& mask, int32_t firstColumn) {
    if (!Masked && dstPixelStep == channels) {
        storeSaturatedRun(values, dst, pixels * channels);
        return;
    }
    for (int32_t c = 0; c < pixels; ++c, dst += dstPixelStep, values += channels) {
        if (Masked && !maskAllows(mask, firstColumn + c)) continue;
        for (int32_t k = 0; k < channels; ++k) dst[k] = saturateTo<T>(values[k]);
    }
}

// The vertical pass in chunks of whole pixels: rounded into a scratch row, then
// stored.
template <typename T, bool Masked, bool Cubic>
void verticalFast(const float* const* work, const void* rowWeight, char* dstRow, int32_t dstStart,
                  int32_t width, int32_t channels, int32_t dstPixelStep, MaskRow mask) {
    int32_t values[kChunk];
    const int32_t chunkPixels = kChunk / channels;
    T* dst = reinterpret_cast<T*>(dstRow) + dstStart;
    for (int32_t c0 = 0; c0 < width; c0 += chunkPixels) {
        const int32_t pixels = lesser(chunkPixels, width - c0);
        const int32_t e0 = c0 * channels;
        const int32_t n = pixels * channels;
        if constexpr (Cubic) {
            const float* rows[4] = {work[0] + e0, work[1] + e0, work[2] + e0, work[3] + e0};
            cubicRoundRow(rows, *static_cast<const CubicWeights*>(rowWeight), values, n);
        } else {
            float fy = *static_cast<const float*>(rowWeight);
            linearRoundRow(work[0] + e0, work[1] + e0, 1.0f - fy, fy, values, n);
        }
        storeSaturated<T, Masked>(values, dst + static_cast<int64_t>(c0) * dstPixelStep, pixels,
                                  channels, dstPixelStep, mask, c0);
    }
}

}  // namespace

template <typename T>
void zoomNearestSse41(const char* srcRow, char* dstRow, int32_t dstStart, const int32_t* colOff,
                      int32_t width, int32_t channels, int32_t dstPixelStep, MaskRow mask) {
    nearestRowFast<T>(srcRow, dstRow, dstStart, colOff, width, channels, dstPixelStep, mask);
}

// The fastest horizontal pass for the pixel step.
template <typename T>
void zoomLinearHorizontalSse41(const char* srcRow, float* work, const int32_t* elemOff,
                               const float* weights, int32_t count, int32_t srcPixelStep) {
    HorizontalRowFn pass = linearHorizontalFast<T>;
    if constexpr (sizeof(T) == 1) {
        if (srcPixelStep == 1) pass = linearHorizontalPairRuns;
        if (srcPixelStep == 3) pass = linearHorizontalWords<T, 3>;
    } else if (srcPixelStep == 1) {
        pass = linearHorizontalWords<T, 1>;
    }
    pass(srcRow, work, elemOff, weights, count, srcPixelStep);
}

template <typename T>
void zoomCubicHorizontalSse41(const char* srcRow, float* work, const int32_t* elemOff,
                              const float* weights, int32_t count, int32_t srcPixelStep) {
    HorizontalRowFn pass = cubicHorizontalFast<T>;
    if (srcPixelStep == 1) pass = cubicHorizontalPairs<T, 1>;
    if constexpr (sizeof(T) == 1)
        if (srcPixelStep == 3) pass = cubicHorizontalPairs<T, 3>;
    pass(srcRow, work, elemOff, weights, count, srcPixelStep);
}

template <typename T, bool Masked, bool Cubic>
void zoomVerticalSse41(const float* const* work, const void* rowWeight, char* dstRow,
                       int32_t dstStart, int32_t width, int32_t channels, int32_t dstPixelStep,
                       MaskRow mask) {
    if (channels > kMaxChunkedChannels)
        return plainVertical<T, Masked>(Cubic ? ZAR_INTER_CUBIC : ZAR_INTER_LINEAR)(
            work, rowWeight, dstRow, dstStart, width, channels, dstPixelStep, mask);
    verticalFast<T, Masked, Cubic>(work, rowWeight, dstRow, dstStart, width, channels, dstPixelStep,
                                   mask);
}

template void zoomNearestSse41<uint8_t>(const char*, char*, int32_t, const int32_t*, int32_t,
                                        int32_t, int32_t, MaskRow);
template void zoomNearestSse41<uint16_t>(const char*, char*, int32_t, const int32_t*, int32_t,
                                         int32_t, int32_t, MaskRow);
template void zoomLinearHorizontalSse41<uint8_t>(const char*, float*, const int32_t*, const float*,
                                                 int32_t, int32_t);
template void zoomLinearHorizontalSse41<uint16_t>(const char*, float*, const int32_t*, const float*,
                                                  int32_t, int32_t);
template void zoomCubicHorizontalSse41<uint8_t>(const char*, float*, const int32_t*, const float*,
                                                int32_t, int32_t);
template void zoomCubicHorizontalSse41<uint16_t>(const char*, float*, const int32_t*, const float*,
                                                 int32_t, int32_t);
#define ZAR_ZOOM_VERTICAL_SSE41(T, Masked, Cubic)                                              \
    template void zoomVerticalSse41<T, Masked, Cubic>(const float* const*, const void*, char*, \
                                                      int32_t, int32_t, int32_t, int32_t, MaskRow)
ZAR_ZOOM_VERTICAL_SSE41(uint8_t, false, false);
ZAR_ZOOM_VERTICAL_SSE41(uint8_t, false, true);
ZAR_ZOOM_VERTICAL_SSE41(uint8_t, true, false);
ZAR_ZOOM_VERTICAL_SSE41(uint8_t, true, true);
ZAR_ZOOM_VERTICAL_SSE41(uint16_t, false, false);
ZAR_ZOOM_VERTICAL_SSE41(uint16_t, false, true);
ZAR_ZOOM_VERTICAL_SSE41(uint16_t, true, false);
ZAR_ZOOM_VERTICAL_SSE41(uint16_t, true, true);
