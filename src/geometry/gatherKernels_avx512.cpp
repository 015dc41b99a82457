// Gather rows for AVX-512 (F, BW, VL) processors: sixteen elements at a time
// picked out of a window of 64 by one word permute (bytes widened to words
// first and narrowed back after).
#include <immintrin.h>

#include "geometry/gatherKernels.h"
#include "geometry/windowsAvx512.h"

namespace {

// The sixteen elements of a group, as words in the low half.
template <typename T>
inline __m512i pickGroup(const T* src, const ColumnGroup& g) {
    const __m512i idx = _mm512_cvtepu8_epi16(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(g.rel))));
    __m512i lo, hi;
    loadWordWindow(src + g.base, g.span, lo, hi);
    return _mm512_permutex2var_epi16(lo, idx, hi);
}

}  // namespace

template <typename T>
void gatherRowAvx512(const char* srcRow, char* dstRow, const int32_t* elemOff,
                     const ColumnGroup* groups, int32_t count) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    T* dst = reinterpret_cast<T*>(dstRow);
    for (int32_t e = 0; e < count; e += kColumnGroup) {
        const ColumnGroup& g = groups[e / kColumnGroup];
        const int32_t n = count - e < kColumnGroup ? count - e : kColumnGroup;
        if (g.span == 0) {
            for (int32_t k = 0; k < n; ++k) dst[e + k] = src[elemOff[e + k]];
            continue;
        }
        const __m512i words = pickGroup(src, g);
        const __mmask16 m = static_cast<__mmask16>((1u << n) - 1);
        if constexpr (sizeof(T) == 1) {
            const __m128i out = _mm256_castsi256_si128(_mm512_cvtepi16_epi8(words));
            if (n == kColumnGroup)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + e), out);
            else
                _mm_mask_storeu_epi8(dst + e, m, out);
        } else {
            const __m256i out = _mm512_castsi512_si256(words);
            if (n == kColumnGroup)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + e), out);
            else
                _mm256_mask_storeu_epi16(dst + e, m, out);
        }
    }
}

template void gatherRowAvx512<uint8_t>(const char*, char*, const int32_t*, const ColumnGroup*,
                                       int32_t);
template void gatherRowAvx512<uint16_t>(const char*, char*, const int32_t*, const ColumnGroup*,
                                        int32_t);
