// Integer box-filter rows with 32-byte vectors: 8-bit values with 16-bit sums
// divided by a multiply-high, 16-bit values with 32-bit sums divided through
// the exact double product.  Window sums up to 16 columns wide are added
// column by column; wider ones and the row tails take the plain kernel's way.
#include <immintrin.h>

#include "filter/blurRows.h"
#include "zar.h"

namespace {

BlurRowFn plainRow(int32_t depth, int32_t sumBits) {
    return blurRowEntry(depth, sumBits)->variants.at[0];
}

__m256i load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }

// The window sum of 16 values from sums + e.
__m256i windowOf16(const uint16_t* sums, int32_t e, int32_t lanes, int32_t nCols) {
    __m256i w = load(sums + e);
    for (int32_t t = 1; t < nCols; ++t) w = _mm256_add_epi16(w, load(sums + e + t * lanes));
    return w;
}

__m256i divide16(__m256i w, const BlurDivider16& d) {
    const __m256i q = _mm256_mulhi_epu16(_mm256_subs_epu16(w, _mm256_set1_epi16(d.bias)),
                                         _mm256_set1_epi16(static_cast<int16_t>(d.multiplier)));
    return _mm256_srl_epi16(q, _mm_cvtsi32_si128(d.shift));
}

// The window sum of 8 values from sums + e.
__m256i windowOf8(const uint32_t* sums, int32_t e, int32_t lanes, int32_t nCols) {
    __m256i w = load(sums + e);
    for (int32_t t = 1; t < nCols; ++t) w = _mm256_add_epi32(w, load(sums + e + t * lanes));
    return w;
}

// trunc(int32(w) * scale) of 8 lanes; exact (see blurRow32).
__m256i scale8(__m256i w, __m256d scale) {
    const __m128i lo = _mm256_cvttpd_epi32(
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(w)), scale));
    const __m128i hi = _mm256_cvttpd_epi32(
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(w, 1)), scale));
    return _mm256_set_m128i(hi, lo);
}

}  // namespace

void blurRow8u16Avx2(const BlurRowArgs& a) {
    const BlurRowFn plain = plainRow(ZAR_DEPTH_8U, 16);
    if (a.nCols > 16) return plain(a);
    auto* sums = static_cast<uint16_t*>(a.sums);
    auto* out = reinterpret_cast<uint8_t*>(a.out);
    int32_t e = 0;
    for (; e + 32 <= a.count; e += 32) {
        const __m256i lo = divide16(windowOf16(sums, e, a.lanes, a.nCols), a.divider);
        const __m256i hi = divide16(windowOf16(sums, e + 16, a.lanes, a.nCols), a.divider);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + e), bytes);
    }
    plainWindows<uint16_t>(a, e, 1, plain);
    const auto* in = reinterpret_cast<const uint8_t*>(a.entering);
    const auto* old = reinterpret_cast<const uint8_t*>(a.leaving);
    int32_t j = 0;
    for (; j + 16 <= a.span; j += 16) {
        const __m256i entering = _mm256_cvtepu8_epi16(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j)));
        const __m256i leaving = _mm256_cvtepu8_epi16(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(old + j)));
        const __m256i moved = _mm256_add_epi16(load(sums + j), _mm256_sub_epi16(entering, leaving));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + j), moved);
    }
    plainMove<uint16_t>(a, j, 1, plain);
}

namespace {

template <bool Signed>
void blurRow16x32(const BlurRowArgs& a, BlurRowFn plain) {
    if (a.nCols > 16) return plain(a);
    auto* sums = static_cast<uint32_t*>(a.sums);
    auto* out = reinterpret_cast<uint16_t*>(a.out);
    const __m256d scale = _mm256_set1_pd(a.scale);
    int32_t e = 0;
    for (; e + 16 <= a.count; e += 16) {
        const __m256i lo = scale8(windowOf8(sums, e, a.lanes, a.nCols), scale);
        const __m256i hi = scale8(windowOf8(sums, e + 8, a.lanes, a.nCols), scale);
        // the results lie in the depth's range: the saturating packs keep them
        const __m256i packed = Signed ? _mm256_packs_epi32(lo, hi) : _mm256_packus_epi32(lo, hi);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + e),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
    plainWindows<uint32_t>(a, e, 2, plain);
    const auto* in = reinterpret_cast<const __m128i*>(a.entering);
    const auto* old = reinterpret_cast<const __m128i*>(a.leaving);
    int32_t j = 0;
    for (; j + 8 <= a.span; j += 8) {
        const __m128i x = _mm_loadu_si128(in + j / 8), y = _mm_loadu_si128(old + j / 8);
        const __m256i entering = Signed ? _mm256_cvtepi16_epi32(x) : _mm256_cvtepu16_epi32(x);
        const __m256i leaving = Signed ? _mm256_cvtepi16_epi32(y) : _mm256_cvtepu16_epi32(y);
        const __m256i moved = _mm256_add_epi32(load(sums + j), _mm256_sub_epi32(entering, leaving));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + j), moved);
    }
    plainMove<uint32_t>(a, j, 2, plain);
}

}  // namespace

void blurRow16u32Avx2(const BlurRowArgs& a) { blurRow16x32<false>(a, plainRow(ZAR_DEPTH_16U, 32)); }
void blurRow16s32Avx2(const BlurRowArgs& a) { blurRow16x32<true>(a, plainRow(ZAR_DEPTH_16S, 32)); }
