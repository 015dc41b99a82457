// The fixed filters' row kernels compiled for AVX-512 (F, BW, VL), and the
// 5x5 Gaussian on 8-bit rows written with its intrinsics.
#include <immintrin.h>

#include "filter/rowKernelBodies.h"

namespace {

__mmask32 firstLanes(int32_t left) {
    return left >= 32 ? ~__mmask32{0} : (__mmask32{1} << left) - 1;
}

// 32 source bytes from p widened to 16-bit lanes, shifted by Bias (signed
// rows enter as v + 128, their top bit flipped).
template <int32_t Bias>
__m512i bytesAt(const uint8_t* p, __mmask32 k) {
    __m256i v = _mm256_maskz_loadu_epi8(k, p);
    if constexpr (Bias != 0) v = _mm256_xor_si256(v, _mm256_set1_epi8(static_cast<char>(0x80)));
    return _mm512_cvtepu8_epi16(v);
}

__m512i weighted(__m512i outer, __m512i inner, __m512i centre, const int32_t (&w)[5]) {
    auto times = [](__m512i v, int32_t f) { return _mm512_mullo_epi16(v, _mm512_set1_epi16(f)); };
    return _mm512_add_epi16(_mm512_add_epi16(times(outer, w[0]), times(inner, w[1])),
                            times(centre, w[2]));
}

// The three weighted columns of five source rows (the kernel is symmetric, so
// its rows serve as columns): values m of each, the last one with the 285 of
// the rounding added (at most 255 * 255 + 285, still 16 bits).
template <int32_t Bias>
void weightedColumns(const uint8_t* const* v, const uint8_t* ahead, int32_t m, uint16_t* a,
                     uint16_t* b, uint16_t* c) {
    constexpr auto& w = GaussWeights::integers;
    const __m512i half = _mm512_set1_epi16(285);
    for (int32_t j = 0; j < m; j += 32) {
        const __mmask32 k = firstLanes(m - j);
        _mm_prefetch(reinterpret_cast<const char*>(ahead + j), _MM_HINT_T0);
        const __m512i outer = _mm512_add_epi16(bytesAt<Bias>(v[0] + j, k),
                                               bytesAt<Bias>(v[4] + j, k));
        const __m512i inner = _mm512_add_epi16(bytesAt<Bias>(v[1] + j, k),
                                               bytesAt<Bias>(v[3] + j, k));
        const __m512i centre = bytesAt<Bias>(v[2] + j, k);
        _mm512_mask_storeu_epi16(a + j, k, weighted(outer, inner, centre, w[0]));
        _mm512_mask_storeu_epi16(b + j, k, weighted(outer, inner, centre, w[1]));
        _mm512_mask_storeu_epi16(c + j, k,
                                 _mm512_add_epi16(weighted(outer, inner, centre, w[2]), half));
    }
}

// floor(X / 571) of X = p + q + r (three 16-bit parts, X at most
// kGauss5MaxSum) in 16-bit lanes: the estimate from the parts' quarters is the
// quotient or one less (see kGauss5Reciprocal), and the remainder, exact
// modulo 2^16, says which.
__m512i quotient571(__m512i p, __m512i q, __m512i r) {
    const __m512i x = _mm512_add_epi16(_mm512_add_epi16(p, q), r);
    const __m512i quarters = _mm512_add_epi16(
        _mm512_add_epi16(_mm512_srli_epi16(p, 2), _mm512_srli_epi16(q, 2)),
        _mm512_srli_epi16(r, 2));
    const __m512i estimate = _mm512_mulhi_epu16(quarters, _mm512_set1_epi16(kGauss5Reciprocal));
    const __m512i rest = _mm512_sub_epi16(x, _mm512_mullo_epi16(estimate, _mm512_set1_epi16(571)));
    const __mmask32 short1 = _mm512_cmpge_epu16_mask(rest, _mm512_set1_epi16(571));
    return _mm512_mask_sub_epi16(estimate, short1, estimate, _mm512_set1_epi16(-1));
}

// Vertical step first (on the source rows in place), then the horizontal one
// on the three weighted rows, which stay in the cache.
template <int32_t Bias>
void gauss5Bytes(const RowJob& job, void* scratch) {
    if (job.storeStep != 1)
        return kLevelKernels.at[ZAR_FIXED_GAUSS_5][Bias ? kDepth8s : kDepth8u](job, scratch);
    const int32_t n = job.count, s = job.elementStep, m = n + 4 * s;
    uint16_t* a = static_cast<uint16_t*>(scratch);
    uint16_t* b = a + m;
    uint16_t* c = b + m;
    for (int32_t row = 0; row < job.rows; ++row) {
        const uint8_t* v[5];
        for (int32_t t = 0; t < 5; ++t)
            v[t] = reinterpret_cast<const uint8_t*>(job.src) +
                   static_cast<ptrdiff_t>(row + t) * job.srcStep;
        weightedColumns<Bias>(v, v[4] + 2 * static_cast<ptrdiff_t>(job.srcStep), m, a, b, c);
        auto* out = reinterpret_cast<uint8_t*>(job.dst + static_cast<ptrdiff_t>(row) * job.dstStep);
        for (int32_t i = 0; i < n; i += 32) {
            const __mmask32 k = firstLanes(n - i);
            _mm_prefetch(
                reinterpret_cast<const char*>(out + 2 * static_cast<ptrdiff_t>(job.dstStep) + i),
                _MM_HINT_ET0);
            auto at = [k](const uint16_t* p) { return _mm512_maskz_loadu_epi16(k, p); };
            const __m512i q = quotient571(_mm512_add_epi16(at(a + i), at(a + i + 4 * s)),
                                          _mm512_add_epi16(at(b + i + s), at(b + i + 3 * s)),
                                          at(c + i + 2 * s));
            __m256i bytes = _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, q);
            if constexpr (Bias != 0)
                bytes = _mm256_xor_si256(bytes, _mm256_set1_epi8(static_cast<char>(0x80)));
            _mm256_mask_storeu_epi8(out + i, k, bytes);
        }
    }
}

}  // namespace

RowKernel rowKernelAvx512(int32_t filter, int32_t depthIndex) {
    if (filter == ZAR_FIXED_GAUSS_5 && depthIndex == kDepth8u) return gauss5Bytes<0>;
    if (filter == ZAR_FIXED_GAUSS_5 && depthIndex == kDepth8s) return gauss5Bytes<128>;
    return kLevelKernels.at[filter][depthIndex];
}
