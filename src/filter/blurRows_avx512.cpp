// The 8-bit box-filter rows with 64-byte vectors (AVX-512 BW): 16-bit sums,
// 32 results per step, divided by a multiply-high.
#include <immintrin.h>

#include "filter/blurRows.h"
#include "zar.h"

namespace {

__m512i load(const void* p) { return _mm512_loadu_si512(p); }

__m512i windowOf32(const uint16_t* sums, int32_t e, int32_t lanes, int32_t nCols) {
    __m512i w = load(sums + e);
    for (int32_t t = 1; t < nCols; ++t) w = _mm512_add_epi16(w, load(sums + e + t * lanes));
    return w;
}

}  // namespace

void blurRow8u16Avx512(const BlurRowArgs& a) {
    const BlurRowFn plain = blurRowEntry(ZAR_DEPTH_8U, 16)->variants.at[0];
    if (a.nCols > 16) return plain(a);
    auto* sums = static_cast<uint16_t*>(a.sums);
    auto* out = reinterpret_cast<uint8_t*>(a.out);
    const __m512i bias = _mm512_set1_epi16(static_cast<int16_t>(a.divider.bias));
    const __m512i multiplier = _mm512_set1_epi16(static_cast<int16_t>(a.divider.multiplier));
    const __m128i shift = _mm_cvtsi32_si128(a.divider.shift);
    int32_t e = 0;
    for (; e + 32 <= a.count; e += 32) {
        const __m512i w = _mm512_subs_epu16(windowOf32(sums, e, a.lanes, a.nCols), bias);
        const __m512i q = _mm512_srl_epi16(_mm512_mulhi_epu16(w, multiplier), shift);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + e),
                            _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, q));
    }
    plainWindows<uint16_t>(a, e, 1, plain);
    const auto* in = reinterpret_cast<const __m256i*>(a.entering);
    const auto* old = reinterpret_cast<const __m256i*>(a.leaving);
    int32_t j = 0;
    for (; j + 32 <= a.span; j += 32) {
        const __m512i entering = _mm512_cvtepu8_epi16(_mm256_loadu_si256(in + j / 32));
        const __m512i leaving = _mm512_cvtepu8_epi16(_mm256_loadu_si256(old + j / 32));
        _mm512_storeu_si512(sums + j,
                            _mm512_add_epi16(load(sums + j), _mm512_sub_epi16(entering, leaving)));
    }
    plainMove<uint16_t>(a, j, 1, plain);
}
