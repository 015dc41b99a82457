// The row kernels of the zoom engine for AVX-512 (F, BW, VL) processors.  They
// give the bits of the plain kernels (zoomKernels.cpp) under the default
// rounding mode.
//
// LINEAR in one pass: sixteen elements at a time, the taps of both source
// rows are picked out of a window of 64 elements by word permutes (bytes
// widened to words first), interpolated horizontally in registers and
// combined for every destination row of the block; the working rows never go
// through memory.
#include <immintrin.h>

#include "geometry/windowsAvx512.h"
#include "geometry/zoomKernels.h"

namespace {

// nearestInt(v - 0.5 + 0.00001) of sixteen floats, saturated to 0 or more.
// The single-precision form of the rule, trunc(v) + (v - trunc(v) >=
// 0.99999006) (0.99999006 is the first float above 1 - 0.00001; equal to the
// double form after saturation for every float in [-4, 131072], the range of
// the pass), is floor(v + c) for v >= 0 with c = 1 - 0.99999006 (exact in
// float): the sum rounded down keeps the floor of the exact sum, since
// integers are floats.  Both forms give 0 or less for v < 0.
inline __m512i floorWithTolerance(__m512 v) {
    const __m512 c = _mm512_set1_ps(1.0f - 0.99999006f);
    const __m512 sum = _mm512_add_round_ps(v, c, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512i floor = _mm512_cvt_roundps_epi32(sum, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    return _mm512_max_epi32(floor, _mm512_setzero_si512());
}

// The elements at the indices in the even words of idx, from the first n (at
// most 64) elements at p, as 32-bit lanes: 16-bit rows, and 8-bit rows whose
// taps do not fit byte lanes.
template <typename T>
inline void pickWords(const T* p, int32_t n, __m512i idxA, __m512i idxB, __m512i& a, __m512i& b) {
    __m512i lo, hi;
    loadWordWindow(p, n, lo, hi);
    a = pickWordLanes(lo, hi, idxA);
    b = pickWordLanes(lo, hi, idxB);
}

// 8-bit rows: the first n (at most 64) bytes at p, each 16-byte lane moved
// to its window by lanes, then the taps picked within the lanes, as 32-bit lanes.
inline void pickBytes(const uint8_t* p, int32_t n, __m512i lanes, __m512i tapA, __m512i tapB,
                      __m512i& a, __m512i& b) {
    const __m512i window = _mm512_permutexvar_epi32(lanes,
                                                    _mm512_maskz_loadu_epi8(lowBits64(n), p));
    a = _mm512_shuffle_epi8(window, tapA);
    b = _mm512_shuffle_epi8(window, tapB);
}

// a + f * (b - a) of sixteen elements, as the plain pass computes it.
inline __m512 interpolate(__m512i a, __m512i b, __m512 f) {
    return _mm512_add_ps(_mm512_cvtepi32_ps(a),
                         _mm512_mul_ps(f, _mm512_cvtepi32_ps(_mm512_sub_epi32(b, a))));
}

// Both rows' horizontal values of the group of sixteen elements from e.
template <typename T>
void groupRows(const T* top, const T* bottom, const LinearColumns& cols, int32_t g, int32_t n,
               __m512 f, __m512& h0, __m512& h1) {
    const int32_t e = g * kColumnGroup, step = cols.srcPixelStep;
    const ColumnGroup& group = cols.groups[g];
    if (group.span > 0) {
        __m512i a0, b0, a1, b1;
        if (sizeof(T) == 1 && group.byteLanes) {
            const __m512i lanes = _mm512_cvtepu8_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(group.lane)));
            const __m512i tapA = _mm512_loadu_si512(group.tapA);
            const __m512i tapB = _mm512_loadu_si512(group.tapB);
            pickBytes(reinterpret_cast<const uint8_t*>(top) + group.base, group.span, lanes, tapA,
                      tapB, a0, b0);
            pickBytes(reinterpret_cast<const uint8_t*>(bottom) + group.base, group.span, lanes,
                      tapA, tapB, a1, b1);
        } else {
            const __m512i idxA = _mm512_cvtepu8_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(group.rel)));
            const __m512i idxB = _mm512_add_epi32(idxA, _mm512_set1_epi32(step));
            pickWords(top + group.base, group.span, idxA, idxB, a0, b0);
            pickWords(bottom + group.base, group.span, idxA, idxB, a1, b1);
        }
        h0 = interpolate(a0, b0, f);
        h1 = interpolate(a1, b1, f);
        return;
    }
    // taps too far apart for one window: gathered one by one
    alignas(64) int32_t a0[kColumnGroup] = {}, b0[kColumnGroup] = {}, a1[kColumnGroup] = {},
                        b1[kColumnGroup] = {};
    for (int32_t k = 0; k < n; ++k) {
        const int32_t o = cols.elemOff[e + k];
        a0[k] = top[o];
        b0[k] = top[o + step];
        a1[k] = bottom[o];
        b1[k] = bottom[o + step];
    }
    h0 = interpolate(_mm512_load_si512(a0), _mm512_load_si512(b0), f);
    h1 = interpolate(_mm512_load_si512(a1), _mm512_load_si512(b1), f);
}

// Sixteen values of 0 or more saturated to T and stored where m is set.
template <typename T>
inline void storeSaturated(T* dst, __mmask16 m, __m512i v) {
    if constexpr (sizeof(T) == 1)
        _mm_mask_storeu_epi8(dst, m, _mm512_cvtusepi32_epi8(v));
    else
        _mm256_mask_storeu_epi16(dst, m, _mm512_cvtusepi32_epi16(v));
}

}  // namespace

template <typename T>
void zoomFusedLinearAvx512(const char* top, const char* bottom, const LinearColumns& cols,
                           const float* fys, char* const* dstRows, int32_t rows) {
    const T* t = reinterpret_cast<const T*>(top);
    const T* b = reinterpret_cast<const T*>(bottom);
    for (int32_t g = 0; g * kColumnGroup < cols.count; ++g) {
        const int32_t e = g * kColumnGroup;
        const int32_t n = cols.count - e < kColumnGroup ? cols.count - e : kColumnGroup;
        const __mmask16 m = static_cast<__mmask16>((1u << n) - 1);
        __m512 h0, h1;
        groupRows<T>(t, b, cols, g, n, _mm512_maskz_loadu_ps(m, cols.fx + e), h0, h1);
        for (int32_t r = 0; r < rows; ++r) {
            const float fy = fys[r];
            const __m512 v = _mm512_add_ps(_mm512_mul_ps(h0, _mm512_set1_ps(1.0f - fy)),
                                           _mm512_mul_ps(h1, _mm512_set1_ps(fy)));
            storeSaturated(reinterpret_cast<T*>(dstRows[r]) + e, m, floorWithTolerance(v));
        }
    }
}

template void zoomFusedLinearAvx512<uint8_t>(const char*, const char*, const LinearColumns&,
                                             const float*, char* const*, int32_t);
template void zoomFusedLinearAvx512<uint16_t>(const char*, const char*, const LinearColumns&,
                                              const float*, char* const*, int32_t);
