// LINEAR of the zoom engine in one pass, for AVX-512 (F, BW, VL) processors,
// written once for the ways of picking the taps (zoomKernels_avx512.cpp,
// zoomKernels_avx512vbmi.cpp; included by those files only: everything here
// is local to the file that includes it).  Gives the bits of the plain kernel
// (zoomKernels.cpp) under the default rounding mode.
//
// Groups of sixteen elements, the taps of both source rows picked out of a
// window of 64 elements, interpolated horizontally in registers and combined
// for every destination row of the block; the working rows never go through
// memory.  Four groups of bytes (two of words) are rounded, packed and stored
// together.
#pragma once

#include <immintrin.h>

#include <algorithm>

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
// taps held as 2^23 + a and 2^23 + b.  The two subtractions are exact, so the
// multiply-add unit gives their bits as a * 1 - 2^23 and b - a * 1: it runs
// beside the adders, which the shuffles and the other additions keep busy.
inline __m512 interpolateBiased(__m512 a, __m512 b, __m512 f) {
    const __m512 one = _mm512_set1_ps(1.0f);
    return _mm512_add_ps(_mm512_fmsub_ps(a, one, twoTo23()),
                         _mm512_mul_ps(f, _mm512_fnmadd_ps(a, one, b)));
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

// A group whose taps are too far apart for one window: the n elements from e
// gathered one by one, both rows' horizontal values.
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

// a + f * (b - a) of one row of a paired group (columnGroups.h), the first n
// elements, from its 2n elements from the group's base, without shuffling the
// taps.  8-bit rows: the elements widened to words, so that each 32-bit slot
// holds a pair; b - a of a pair in one multiply-add of its words by -1 and 1
// (exact in integers, then converted), a from the low word put beside the
// exponent of 2^23.  16-bit rows (words too large for the signed multiply-add)
// have their pairs in the slots already: a and b beside the exponent.
template <bool Whole, typename T>
inline __m512 pairedRow(const T* row, int32_t n, __m512 f) {
    const __m512i bias = _mm512_set1_epi32(kTwo23Bits);
    // (pairs & low) | bias: a as the float 2^23 + a
    const auto lowTap = [&](__m512i pairs, int32_t low) {
        return _mm512_castsi512_ps(
            _mm512_ternarylogic_epi32(pairs, _mm512_set1_epi32(low), bias, 0xEA));
    };
    if constexpr (sizeof(T) == 1) {
        const __m512i pairs = _mm512_cvtepu8_epi16(
            Whole ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row))
                  : _mm256_maskz_loadu_epi8(lowBits32(2 * n), row));
        const __m512 d = _mm512_cvtepi32_ps(_mm512_madd_epi16(pairs, _mm512_set1_epi32(0x1FFFF)));
        const __m512 a = _mm512_fmsub_ps(lowTap(pairs, 0xFFFF), _mm512_set1_ps(1.0f), twoTo23());
        return _mm512_add_ps(a, _mm512_mul_ps(f, d));
    } else {
        const __m512i pairs = Whole ? _mm512_loadu_si512(row)
                                    : _mm512_maskz_loadu_epi16(lowBits32(2 * n), row);
        const __m512 b = _mm512_castsi512_ps(_mm512_or_si512(_mm512_srli_epi32(pairs, 16), bias));
        return interpolateBiased(lowTap(pairs, 0xFFFF), b, f);
    }
}

// Both rows' horizontal values of the group of elements from ge (zero past
// the last element).  Pick<Whole>(top, bottom, group, elemOff, n, step, a0,
// b0, a1, b1) gives the taps of a group whose taps fit one window as biased
// floats (Whole: the group is full and its whole window can be read).
template <class Pick, typename T>
inline void groupRows(const T* top, const T* bottom, const LinearColumns& cols, int32_t ge,
                      __m512& h0, __m512& h1) {
    const int32_t n = std::clamp(cols.count - ge, 0, kColumnGroup);
    const __m512 f = _mm512_maskz_loadu_ps(static_cast<__mmask16>((1u << n) - 1), cols.fx + ge);
    const ColumnGroup& group = cols.groups[ge / kColumnGroup];
    if (n == 0) {
        h0 = h1 = _mm512_setzero_ps();
    } else if (group.paired) {
        h0 = pairedRow<false>(top + group.base, n, f);
        h1 = pairedRow<false>(bottom + group.base, n, f);
    } else if (group.span > 0) {
        __m512 a0, b0, a1, b1;
        Pick::template taps<false>(top, bottom, group, cols.elemOff + ge, n, cols.srcPixelStep, a0,
                                   b0, a1, b1);
        h0 = interpolateBiased(a0, b0, f);
        h1 = interpolateBiased(a1, b1, f);
    } else {
        gatheredRows(top, bottom, cols, ge, n, f, h0, h1);
    }
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

// Stores (one or two) stores' groups from e, all reading whole windows (two
// stores in flight: each waits at the end of a long chain).  Paired: the
// groups are paired, one after the other from the element base of both rows,
// so their records are not read (their windows are their taps: always
// readable), and both rows are fetched 512 bytes ahead (the hardware
// prefetchers of some processors fall behind two streams read this fast).
template <class Pick, typename T, bool Paired, int32_t Stores = 2>
inline void wholeStores(const T* t, const T* b, const LinearColumns& cols, int32_t e, int32_t base,
                        const float* wTop, const float* wBottom, char* const* dstRows,
                        int32_t rows) {
    constexpr int32_t kGroups = kStoreGroups<T>, kChunk = kGroups * kColumnGroup;
    constexpr int32_t kRunBytes = Stores * kChunk * 2 * sizeof(T);  // the taps
    if (Paired)
        for (int32_t i = 0; i < kRunBytes; i += 64) {
            _mm_prefetch(reinterpret_cast<const char*>(t + base) + 512 + i, _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(b + base) + 512 + i, _MM_HINT_T0);
        }
    __m512 h0[Stores * kGroups], h1[Stores * kGroups];
    for (int32_t k = 0; k < Stores * kGroups; ++k) {
        const int32_t ge = e + k * kColumnGroup;
        const __m512 f = _mm512_loadu_ps(cols.fx + ge);
        if (Paired) {
            h0[k] = pairedRow<true>(t + base + 2 * kColumnGroup * k, kColumnGroup, f);
            h1[k] = pairedRow<true>(b + base + 2 * kColumnGroup * k, kColumnGroup, f);
        } else {
            __m512 a0, b0, a1, b1;
            Pick::template taps<true>(t, b, cols.groups[ge / kColumnGroup], cols.elemOff + ge,
                                      kColumnGroup, cols.srcPixelStep, a0, b0, a1, b1);
            h0[k] = interpolateBiased(a0, b0, f);
            h1[k] = interpolateBiased(a1, b1, f);
        }
    }
    storeRows<T>(h0, h1, wTop, wBottom, dstRows, rows, e, kChunk);
    if constexpr (Stores == 2)
        storeRows<T>(h0 + kGroups, h1 + kGroups, wTop, wBottom, dstRows, rows, e + kChunk, kChunk);
}

// The kernel (FusedLinearFn) with the taps picked by Pick.
template <class Pick, typename T>
void fusedLinearRows(const char* top, const char* bottom, const LinearColumns& cols,
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
        // the paired run from the first group, by pairs of stores and one
        // store; then pairs of stores whose groups all read whole windows;
        // then the rest
        const int32_t pairedEnd = cols.pairedGroups * kColumnGroup;
        const int32_t wholeEnd = cols.wholeGroups * kColumnGroup;
        int32_t e = 0;
        for (; e + 2 * kChunk <= pairedEnd; e += 2 * kChunk)
            wholeStores<Pick, T, true>(t, b, cols, e, cols.groups[e / kColumnGroup].base, wTop,
                                       wBottom, dstRows + r0, block);
        if (e + kChunk <= pairedEnd) {
            wholeStores<Pick, T, true, 1>(t, b, cols, e, cols.groups[e / kColumnGroup].base, wTop,
                                          wBottom, dstRows + r0, block);
            e += kChunk;
        }
        for (; e + 2 * kChunk <= wholeEnd; e += 2 * kChunk)
            wholeStores<Pick, T, false>(t, b, cols, e, 0, wTop, wBottom, dstRows + r0, block);
        for (; e < cols.count; e += kChunk) {
            __m512 h0[kGroups], h1[kGroups];
            for (int32_t k = 0; k < kGroups; ++k)
                groupRows<Pick>(t, b, cols, e + k * kColumnGroup, h0[k], h1[k]);
            storeRows<T>(h0, h1, wTop, wBottom, dstRows + r0, block, e, cols.count - e);
        }
    }
}

}  // namespace
