// The 8-bit box-filter rows with 64-byte vectors (AVX-512 BW): 16-bit sums,
// 32 results per step, divided by a multiply-high.
#include <immintrin.h>

#include <algorithm>

#include "filter/blurRows.h"
#include "geometry/windowsAvx512.h"
#include "zar.h"

namespace {

__m512i load(const void* p) { return _mm512_loadu_si512(p); }

__m512i loadLanes(__mmask32 k, const uint16_t* p) { return _mm512_maskz_loadu_epi16(k, p); }

// Results per block of the row: its pair sums stay in the cache.
constexpr int32_t kBlock = 512;

// The windows of the n results from sums on, divided, into out: each window
// adds nCols / 2 sums of two neighbouring column sums (made once per block,
// shared by the nCols / 2 windows that take them) and, for an odd width, its
// last column sum; in two chains, so that the additions overlap.
void dividedWindows(const BlurRowArgs& a, const uint16_t* sums, int32_t n, uint8_t* out) {
    alignas(64) uint16_t pairs[kBlock + 16 * 4];
    const int32_t lanes = a.lanes, half = a.nCols / 2;
    const int32_t pairCount = half > 0 ? n + (2 * half - 2) * lanes : 0;
    for (int32_t j = 0; j < pairCount; j += 32) {
        const __mmask32 k = lowBits32(pairCount - j);
        _mm512_mask_storeu_epi16(
            pairs + j, k, _mm512_add_epi16(loadLanes(k, sums + j), loadLanes(k, sums + j + lanes)));
    }
    const __m512i bias = _mm512_set1_epi16(static_cast<int16_t>(a.divider.bias));
    const __m512i multiplier = _mm512_set1_epi16(static_cast<int16_t>(a.divider.multiplier));
    const __m128i shift = _mm_cvtsi32_si128(a.divider.shift);
    const uint16_t* last = sums + (a.nCols - 1) * lanes;
    for (int32_t i = 0; i < n; i += 32) {
        const __mmask32 k = lowBits32(n - i);
        _mm_prefetch(reinterpret_cast<const char*>(out + a.outAhead + i), _MM_HINT_T0);
        __m512i w0 = a.nCols % 2 ? loadLanes(k, last + i) : _mm512_setzero_si512();
        __m512i w1 = _mm512_setzero_si512();
        int32_t t = 0;
        for (; t + 1 < half; t += 2) {
            w0 = _mm512_add_epi16(w0, loadLanes(k, pairs + i + 2 * t * lanes));
            w1 = _mm512_add_epi16(w1, loadLanes(k, pairs + i + 2 * (t + 1) * lanes));
        }
        if (t < half) w0 = _mm512_add_epi16(w0, loadLanes(k, pairs + i + 2 * t * lanes));
        const __m512i w = _mm512_subs_epu16(_mm512_add_epi16(w0, w1), bias);
        const __m512i q = _mm512_srl_epi16(_mm512_mulhi_epu16(w, multiplier), shift);
        _mm256_mask_storeu_epi8(out + i, k, _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, q));
    }
}

}  // namespace

void blurRow8u16Avx512(const BlurRowArgs& a) {
    const BlurRowFn plain = blurRowEntry(ZAR_DEPTH_8U, 16)->variants.at[0];
    if (a.nCols > 16 || a.lanes > 4) return plain(a);  // see the pairs of dividedWindows
    auto* sums = static_cast<uint16_t*>(a.sums);
    auto* out = reinterpret_cast<uint8_t*>(a.out);
    for (int32_t e = 0; e < a.count; e += kBlock)
        dividedWindows(a, sums + e, std::min(kBlock, a.count - e), out + e);
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
