// The row kernels of the zoom engine for AVX-512 (F, BW, VL) processors.  They
// give the bits of the plain kernels (zoomKernels.cpp) under the default
// rounding mode.
//
// LINEAR in one pass: groups of sixteen elements, the taps of both source
// rows picked out of a window of 64 elements by byte shuffles within 16-byte
// lanes or by word permutes, interpolated horizontally in registers and
// combined for every destination row of the block; the working rows never go
// through memory.  Four groups of bytes (two of words) are rounded, packed and
// stored together.
#include <immintrin.h>

#include <algorithm>
#include <utility>

#include "geometry/windowsAvx512.h"
#include "geometry/zoomKernels.h"

namespace {

// floor(v - 0.5 + 0.00001 + 0.5) of sixteen floats, the rounding of the rule
// before saturation.  The single-precision form of the rule, trunc(v) +
// (v - trunc(v) >= 0.99999006) (0.99999006 is the first float above
// 1 - 0.00001; equal to the double form after saturation for every float in
// [-4, 131072], the range of the pass), is floor(v + c) for v >= 0 with
// c = 1 - 0.99999006 (exact in float): the sum rounded down keeps the floor of
// the exact sum, since integers are floats.  Both forms give 0 or less for
// v < 0, which the saturating packs turn into 0.
inline __m512i floorWithTolerance(__m512 v) {
    const __m512 c = _mm512_set1_ps(1.0f - 0.99999006f);
    const __m512 sum = _mm512_add_round_ps(v, c, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    return _mm512_cvt_roundps_epi32(sum, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}

// The taps come out of the permutes and shuffles as the bits of the float
// 2^23 + x: the element in the low bits, the exponent of 2^23 put in by the
// instruction itself (the bytes or words it does not pick come from a
// constant).  Differences of two such floats are exact, and so is
// (2^23 + x) - 2^23, so no integer-to-float conversion is needed.
constexpr int32_t kTwo23Bits = 0x4B000000;
inline __m512 twoTo23() { return _mm512_castsi512_ps(_mm512_set1_epi32(kTwo23Bits)); }

// a + f * (b - a) of sixteen elements, as the plain pass computes it, from
// taps held as 2^23 + a and 2^23 + b.
inline __m512 interpolateBiased(__m512 a, __m512 b, __m512 f) {
    return _mm512_add_ps(_mm512_sub_ps(a, twoTo23()), _mm512_mul_ps(f, _mm512_sub_ps(b, a)));
}

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

// Both rows' horizontal values of a group whose taps fit one window (Whole:
// whose whole window lies within the readable elements of the rows).
template <bool Whole, typename T>
inline void windowRows(const T* top, const T* bottom, const ColumnGroup& group, int32_t step,
                       __m512 f, __m512& h0, __m512& h1) {
    __m512 a0, b0, a1, b1;
    if (sizeof(T) == 1 && group.byteLanes) {
        const __m512i lanes = _mm512_cvtepu8_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(group.lane)));
        const __m512i tapA = _mm512_loadu_si512(group.tapA);
        // tap b lies step bytes after tap a in the same lane (only the low byte
        // of each slot is used)
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
    h0 = interpolateBiased(a0, b0, f);
    h1 = interpolateBiased(a1, b1, f);
}

// The same for a group whose taps are too far apart for one window: the n
// elements from e gathered one by one.
template <typename T>
void gatheredRows(const T* top, const T* bottom, const LinearColumns& cols, int32_t e, int32_t n,
                  __m512 f, __m512& h0, __m512& h1) {
    const int32_t step = cols.srcPixelStep;
    alignas(64) float a0[kColumnGroup] = {}, b0[kColumnGroup] = {}, a1[kColumnGroup] = {},
                      b1[kColumnGroup] = {};
    for (int32_t k = 0; k < n; ++k) {
        const int32_t o = cols.elemOff[e + k];
        a0[k] = static_cast<float>(top[o]) + 8388608.0f;
        b0[k] = static_cast<float>(top[o + step]) + 8388608.0f;
        a1[k] = static_cast<float>(bottom[o]) + 8388608.0f;
        b1[k] = static_cast<float>(bottom[o + step]) + 8388608.0f;
    }
    h0 = interpolateBiased(_mm512_load_ps(a0), _mm512_load_ps(b0), f);
    h1 = interpolateBiased(_mm512_load_ps(a1), _mm512_load_ps(b1), f);
}

// Elements per store: four groups of bytes or two of words fill 512 bits.
template <typename T>
constexpr int32_t kStoreGroups = sizeof(T) == 1 ? 4 : 2;

// The rounded values of a store's groups (32-bit lanes, any sign), saturated
// to T by the packs and stored in order, the first n elements only.
template <typename T>
inline void storeSaturated(T* dst, int32_t n, const __m512i* q) {
    if constexpr (sizeof(T) == 1) {
        // the packs interleave 128-bit lanes: dword 4i + j of the result holds
        // elements 4i..4i+3 of group j
        const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11,
                                                15);
        const __m512i bytes = _mm512_packus_epi16(_mm512_packs_epi32(q[0], q[1]),
                                                  _mm512_packs_epi32(q[2], q[3]));
        _mm512_mask_storeu_epi8(dst, lowBits64(n), _mm512_permutexvar_epi32(order, bytes));
    } else {
        const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
        const __m512i words = _mm512_permutexvar_epi64(order, _mm512_packus_epi32(q[0], q[1]));
        _mm512_mask_storeu_epi16(dst, lowBits32(n), words);
    }
}

// Both rows' horizontal values of the group of elements from ge (zero past
// the last element).
template <typename T>
inline void groupRows(const T* top, const T* bottom, const LinearColumns& cols, int32_t ge,
                      __m512& h0, __m512& h1) {
    const int32_t n = std::clamp(cols.count - ge, 0, kColumnGroup);
    const __m512 f = _mm512_maskz_loadu_ps(static_cast<__mmask16>((1u << n) - 1), cols.fx + ge);
    const ColumnGroup& group = cols.groups[ge / kColumnGroup];
    if (n == 0)
        h0 = h1 = _mm512_setzero_ps();
    else if (group.span > 0)
        windowRows<false>(top, bottom, group, cols.srcPixelStep, f, h0, h1);
    else
        gatheredRows(top, bottom, cols, ge, n, f, h0, h1);
}

// Whether the store's groups from e are all full and read whole windows.
template <typename T>
inline bool wholeWindows(const LinearColumns& cols, int32_t e) {
    if (e + kStoreGroups<T> * kColumnGroup > cols.count) return false;
    bool whole = true;
    for (int32_t k = 0; k < kStoreGroups<T>; ++k) {
        const ColumnGroup& g = cols.groups[e / kColumnGroup + k];
        whole &= g.span > 0 && g.base + kColumnWindow <= cols.readable;
    }
    return whole;
}

// The rows of a block from the horizontal values of a store's groups: the
// row weights wTop = 1 - fy and wBottom = fy, the first n elements from e.
template <typename T>
inline void storeRows(const __m512* h0, const __m512* h1, const float* wTop, const float* wBottom,
                      char* const* dstRows, int32_t rows, int32_t e, int32_t n) {
    for (int32_t r = 0; r < rows; ++r) {
        const __m512 w0 = _mm512_set1_ps(wTop[r]), w1 = _mm512_set1_ps(wBottom[r]);
        __m512i q[kStoreGroups<T>];
        for (int32_t k = 0; k < kStoreGroups<T>; ++k)
            q[k] = floorWithTolerance(
                _mm512_add_ps(_mm512_mul_ps(h0[k], w0), _mm512_mul_ps(h1[k], w1)));
        storeSaturated(reinterpret_cast<T*>(dstRows[r]) + e, n, q);
    }
}

}  // namespace

template <typename T>
void zoomFusedLinearAvx512(const char* top, const char* bottom, const LinearColumns& cols,
                           const float* fys, char* const* dstRows, int32_t rows) {
    constexpr int32_t kGroups = kStoreGroups<T>, kChunk = kGroups * kColumnGroup;
    constexpr int32_t kRowsAtOnce = 8;
    const T* t = reinterpret_cast<const T*>(top);
    const T* b = reinterpret_cast<const T*>(bottom);
    for (int32_t r0 = 0; r0 < rows; r0 += kRowsAtOnce) {
        const int32_t block = std::min(rows - r0, kRowsAtOnce);
        float wTop[kRowsAtOnce], wBottom[kRowsAtOnce];
        for (int32_t r = 0; r < block; ++r) {
            wTop[r] = 1.0f - fys[r0 + r];
            wBottom[r] = fys[r0 + r];
        }
        for (int32_t e = 0; e < cols.count; e += kChunk) {
            // the store's groups unrolled, their values kept in registers
            __m512 h0[kGroups], h1[kGroups];
            [&]<int32_t... K>(std::integer_sequence<int32_t, K...>) {
                if (wholeWindows<T>(cols, e)) {
                    (windowRows<true>(t, b, cols.groups[e / kColumnGroup + K], cols.srcPixelStep,
                                      _mm512_loadu_ps(cols.fx + e + K * kColumnGroup), h0[K],
                                      h1[K]),
                     ...);
                    storeRows<T>(h0, h1, wTop, wBottom, dstRows + r0, block, e, kChunk);
                } else {
                    (groupRows(t, b, cols, e + K * kColumnGroup, h0[K], h1[K]), ...);
                    storeRows<T>(h0, h1, wTop, wBottom, dstRows + r0, block, e, cols.count - e);
                }
            }
            (std::make_integer_sequence<int32_t, kGroups>{});
        }
    }
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
