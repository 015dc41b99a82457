// Decimation row kernels for SSE4.1 processors.
#include <emmintrin.h>

#include "geometry/decimateKernels.h"

// Eight one-channel boxes at a time; the plain kernel takes the rest.
void halveRowsSse41C1(const char* r0, const char* r1, char* out, int32_t lanes) {
    const __m128i low = _mm_set1_epi16(0x00FF), two = _mm_set1_epi16(2);
    int32_t e = 0;
    for (; e + 8 <= lanes; e += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + 2 * e));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + 2 * e));
        const __m128i sum = _mm_add_epi16(
            _mm_add_epi16(_mm_and_si128(a, low), _mm_srli_epi16(a, 8)),
            _mm_add_epi16(_mm_and_si128(b, low), _mm_srli_epi16(b, 8)));
        const __m128i mean = _mm_srli_epi16(_mm_add_epi16(sum, two), 2);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + e), _mm_packus_epi16(mean, mean));
    }
    kRowHalvers[0].variants.at[0](r0 + 2 * e, r1 + 2 * e, out + e, lanes - e);
}
