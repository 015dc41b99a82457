// The row kernels of the zoom engine for AVX-512 (F, BW, VL) processors.  They
// give the bits of the plain kernels (zoomKernels.cpp) under the default
// rounding mode.
//
// LINEAR in one pass (fusedLinearAvx512.h): 8-bit taps picked by byte
// shuffles within 16-byte lanes, or on processors with VBMI by byte permutes
// across the window (zoomKernels_avx512vbmi.cpp); 16-bit taps, and 8-bit taps
// that do not fit the lanes, by word permutes.
#include <immintrin.h>

#include <algorithm>

#include "geometry/fusedLinearAvx512.h"
#include "geometry/windowsAvx512.h"
#include "geometry/zoomKernels.h"

namespace {

// The elements at the indices in the even words of idx (whose odd words hold
// the high half of 2^23), from the first n (at most 64) elements at p, as
// biased floats: 16-bit rows, and 8-bit rows whose taps do not fit byte lanes.
// Whole: all 64 elements can be read, without a mask.
template <bool Whole, typename T>
inline void pickWords(const T* p, int32_t n, __m512i idxA, __m512i idxB, __m512& a, __m512& b) {
    __m512i lo, hi;
    loadWordWindow(p, Whole ? kColumnWindow : n, lo, hi);
    a = _mm512_castsi512_ps(_mm512_mask2_permutex2var_epi16(lo, idxA, 0x55555555u, hi));
    b = _mm512_castsi512_ps(_mm512_mask2_permutex2var_epi16(lo, idxB, 0x55555555u, hi));
}

// 8-bit rows: the first n (at most 64) bytes at p, each 16-byte lane moved
// to its window by lanes, then the taps picked within the lanes into the low
// byte of biased floats.
template <bool Whole>
inline void pickBytes(const uint8_t* p, int32_t n, __m512i lanes, __m512i tapA, __m512i tapB,
                      __m512& a, __m512& b) {
    constexpr __mmask64 lowBytes = 0x1111111111111111u;
    const __m512i bias = _mm512_set1_epi32(kTwo23Bits);
    const __m512i bytes = Whole ? _mm512_loadu_si512(p) : _mm512_maskz_loadu_epi8(lowBits64(n), p);
    const __m512i window = _mm512_permutexvar_epi32(lanes, bytes);
    a = _mm512_castsi512_ps(_mm512_mask_shuffle_epi8(bias, lowBytes, window, tapA));
    b = _mm512_castsi512_ps(_mm512_mask_shuffle_epi8(bias, lowBytes, window, tapB));
}

// The taps of both rows of a group whose taps fit one window, for
// fusedLinearRows.
struct PickByLanes {
    template <bool Whole, typename T>
    static void taps(const T* top, const T* bottom, const ColumnGroup& group, const int32_t*,
                     int32_t, int32_t step, __m512& a0, __m512& b0, __m512& a1, __m512& b1) {
        if (sizeof(T) == 1 && group.byteLanes) {
            const __m512i lanes = _mm512_cvtepu8_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(group.lane)));
            const __m512i tapA = _mm512_loadu_si512(group.tapA);
            // tap b lies step bytes after tap a in the same lane (only the low
            // byte of each slot is used)
            const __m512i tapB = _mm512_add_epi32(tapA, _mm512_set1_epi32(step));
            const uint8_t* t = reinterpret_cast<const uint8_t*>(top) + group.base;
            const uint8_t* b = reinterpret_cast<const uint8_t*>(bottom) + group.base;
            pickBytes<Whole>(t, group.span, lanes, tapA, tapB, a0, b0);
            pickBytes<Whole>(b, group.span, lanes, tapA, tapB, a1, b1);
        } else {
            const __m512i idxA = _mm512_or_si512(
                _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(group.rel))),
                _mm512_set1_epi32(kTwo23Bits));
            const __m512i idxB = _mm512_add_epi32(idxA, _mm512_set1_epi32(step));
            pickWords<Whole>(top + group.base, group.span, idxA, idxB, a0, b0);
            pickWords<Whole>(bottom + group.base, group.span, idxA, idxB, a1, b1);
        }
    }
};

}  // namespace

template <typename T>
void zoomFusedLinearAvx512(const char* top, const char* bottom, const LinearColumns& cols,
                           const float* fys, char* const* dstRows, int32_t rows) {
    if (sizeof(T) == 1 && hasAvx512Vbmi())
        return zoomFusedLinearBytesVbmi(top, bottom, cols, fys, dstRows, rows);
    fusedLinearRows<PickByLanes, T>(top, bottom, cols, fys, dstRows, rows);
}

template void zoomFusedLinearAvx512<uint8_t>(const char*, const char*, const LinearColumns&,
                                             const float*, char* const*, int32_t);
template void zoomFusedLinearAvx512<uint16_t>(const char*, const char*, const LinearColumns&,
                                              const float*, char* const*, int32_t);

namespace {

// ------------------------------------------------------------------ cubic

// ((p0 + c1 d1) + c2 d2) + c3 d3 of sixteen elements, the order of cubicNewton.
inline __m512 newtonSum(__m512 p0, __m512 d1, __m512 d2, __m512 d3, __m512 c1, __m512 c2,
                        __m512 c3) {
    return _mm512_add_ps(
        _mm512_add_ps(_mm512_add_ps(p0, _mm512_mul_ps(c1, d1)), _mm512_mul_ps(c2, d2)),
        _mm512_mul_ps(c3, d3));
}

// cubicNewton of sixteen elements of four working rows.
inline __m512 cubicNewton16(__m512 p0, __m512 p1, __m512 p2, __m512 p3, __m512 c1, __m512 c2,
                            __m512 c3) {
    const __m512 two = _mm512_set1_ps(2.0f), three = _mm512_set1_ps(3.0f);
    const __m512 d1 = _mm512_sub_ps(p1, p0);
    const __m512 d2 = _mm512_add_ps(_mm512_sub_ps(p2, _mm512_mul_ps(two, p1)), p0);
    const __m512 d3 = _mm512_sub_ps(
        _mm512_add_ps(_mm512_sub_ps(p3, _mm512_mul_ps(three, p2)), _mm512_mul_ps(three, p1)), p0);
    return newtonSum(p0, d1, d2, d3, c1, c2, c3);
}

// cubicNewton of sixteen elements from their source taps: taps below 2^16 make
// every difference an integer below 2^24 in size, exact in single precision
// whatever the order, so the differences are formed in integers.
inline __m512 cubicOfTaps(__m512i p0, __m512i p1, __m512i p2, __m512i p3, __m512 c1, __m512 c2,
                          __m512 c3) {
    const __m512i d1 = _mm512_sub_epi32(p1, p0);
    const __m512i d2 = _mm512_sub_epi32(_mm512_add_epi32(p2, p0), _mm512_add_epi32(p1, p1));
    const __m512i q = _mm512_sub_epi32(p1, p2);
    const __m512i d3 = _mm512_add_epi32(_mm512_sub_epi32(p3, p0),
                                        _mm512_add_epi32(q, _mm512_add_epi32(q, q)));
    return newtonSum(_mm512_cvtepi32_ps(p0), _mm512_cvtepi32_ps(d1), _mm512_cvtepi32_ps(d2),
                     _mm512_cvtepi32_ps(d3), c1, c2, c3);
}

// The sixteen elements from e of the horizontal cubic pass, when their taps
// fit one window of 64 elements from the first element's first tap: false
// (nothing written) when they do not.
template <typename T>
inline bool cubicGroup(const T* src, float* work, const int32_t* elemOff, const float* weights,
                       int32_t e, int32_t count, int32_t step) {
    const int32_t first = elemOff[e], last = elemOff[e + kColumnGroup - 1];
    const int32_t span = last - first + 3 * step + 1;
    const __m512i rel = _mm512_sub_epi32(_mm512_loadu_si512(elemOff + e), _mm512_set1_epi32(first));
    // every offset between the first and the last (unsigned: none before the first)
    if (last < first || span > kColumnWindow ||
        _mm512_cmp_epu32_mask(rel, _mm512_set1_epi32(last - first), _MM_CMPINT_LE) != 0xFFFF)
        return false;
    __m512i lo, hi, p[4];
    loadWordWindow(src + first - step, span, lo, hi);
    for (int32_t j = 0; j < 4; ++j)
        p[j] = pickWordLanes(lo, hi, _mm512_add_epi32(rel, _mm512_set1_epi32(j * step)));
    const float* c = weights + e;
    _mm512_storeu_ps(work + e,
                     cubicOfTaps(p[0], p[1], p[2], p[3], _mm512_loadu_ps(c),
                                 _mm512_loadu_ps(c + count), _mm512_loadu_ps(c + 2 * count)));
    return true;
}

}  // namespace

template <typename T>
void zoomCubicHorizontalAvx512(const char* srcRow, float* work, const int32_t* elemOff,
                               const float* weights, int32_t count, int32_t srcPixelStep) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    const int32_t step = srcPixelStep;
    for (int32_t e = 0; e < count; e += kColumnGroup) {
        if (e + kColumnGroup <= count && cubicGroup(src, work, elemOff, weights, e, count, step))
            continue;
        // the last elements, and taps too far apart: one by one
        for (int32_t i = e; i < count && i < e + kColumnGroup; ++i) {
            const T* s = src + elemOff[i];
            work[i] = cubicNewton(s[-step], s[0], s[step], s[2 * step], weights[i],
                                  weights[count + i], weights[2 * count + i]);
        }
    }
}

// Unmasked: sixteen elements at a time where the pixels are packed, stored
// four groups of bytes (two of words) at once; other layouts take the SSE4.1
// pass.
template <typename T>
void zoomCubicVerticalAvx512(const float* const* work, const void* rowWeight, char* dstRow,
                             int32_t dstStart, int32_t width, int32_t channels,
                             int32_t dstPixelStep, MaskRow mask) {
    if (dstPixelStep != channels)
        return zoomVerticalSse41<T, false, true>(work, rowWeight, dstRow, dstStart, width, channels,
                                                 dstPixelStep, mask);
    const CubicWeights w = *static_cast<const CubicWeights*>(rowWeight);
    const __m512 c1 = _mm512_set1_ps(w.c1), c2 = _mm512_set1_ps(w.c2), c3 = _mm512_set1_ps(w.c3);
    const int32_t count = width * channels;
    T* dst = reinterpret_cast<T*>(dstRow) + dstStart;
    for (int32_t e = 0; e < count; e += kStoreGroups<T> * kColumnGroup) {
        __m512i q[kStoreGroups<T>];
        for (int32_t k = 0; k < kStoreGroups<T>; ++k) {
            const int32_t ge = e + k * kColumnGroup;
            const int32_t n = std::clamp(count - ge, 0, kColumnGroup);
            const __mmask16 m = static_cast<__mmask16>((1u << n) - 1);
            __m512 p[4];
            for (int32_t j = 0; j < 4; ++j) p[j] = _mm512_maskz_loadu_ps(m, work[j] + ge);
            // rounded to nearest, halves to even: the default mode
            q[k] = _mm512_cvtps_epi32(cubicNewton16(p[0], p[1], p[2], p[3], c1, c2, c3));
        }
        storeSaturated(dst + e, count - e, q);
    }
}

template void zoomCubicHorizontalAvx512<uint8_t>(const char*, float*, const int32_t*, const float*,
                                                 int32_t, int32_t);
template void zoomCubicHorizontalAvx512<uint16_t>(const char*, float*, const int32_t*, const float*,
                                                  int32_t, int32_t);
template void zoomCubicVerticalAvx512<uint8_t>(const float* const*, const void*, char*, int32_t,
                                               int32_t, int32_t, int32_t, MaskRow);
template void zoomCubicVerticalAvx512<uint16_t>(const float* const*, const void*, char*, int32_t,
                                                int32_t, int32_t, int32_t, MaskRow);
