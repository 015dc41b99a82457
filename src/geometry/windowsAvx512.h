// Windows of 64 elements for the AVX-512 kernels of the geometric transforms
// (included by *_avx512.cpp files only: every function is static).
#pragma once

#include <immintrin.h>

#include <cstdint>

// The first n bits set (n >= 0).
static inline __mmask64 lowBits64(int32_t n) {
    return n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
}
static inline __mmask32 lowBits32(int32_t n) {
    return n >= 32 ? ~__mmask32{0} : static_cast<__mmask32>((1u << n) - 1);
}

// The first n (at most 64) elements at p as 64 words in two registers, the
// rest zero and never read: bytes widened, words loaded.
template <typename T>
static inline void loadWordWindow(const T* p, int32_t n, __m512i& lo, __m512i& hi) {
    if constexpr (sizeof(T) == 1) {
        const __m512i bytes = _mm512_maskz_loadu_epi8(lowBits64(n), p);
        lo = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(bytes));
        hi = _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(bytes, 1));
    } else {
        lo = _mm512_maskz_loadu_epi16(lowBits32(n), p);
        hi = _mm512_maskz_loadu_epi16(n > 32 ? lowBits32(n - 32) : 0, p + 32);
    }
}

// The words of a window at the indices in the even words of idx, as 32-bit lanes.
static inline __m512i pickWordLanes(__m512i lo, __m512i hi, __m512i idx) {
    return _mm512_maskz_permutex2var_epi16(0x55555555u, lo, idx, hi);
}
