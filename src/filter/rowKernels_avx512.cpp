// The fixed filters' row kernels compiled for AVX-512 (F, BW, VL), and the 3x3
// and 5x5 Gaussians on 8-bit rows written with its intrinsics.
#include <immintrin.h>

#include "filter/rowKernelBodies.h"
#include "geometry/windowsAvx512.h"

namespace {

// 32 source bytes from p widened to 16-bit lanes, shifted by Bias (signed
// rows enter as v + 128, their top bit flipped).
template <int32_t Bias>
__m512i bytesAt(const uint8_t* p, __mmask32 k) {
    __m256i v = _mm256_maskz_loadu_epi8(k, p);
    if constexpr (Bias != 0) v = _mm256_xor_si256(v, _mm256_set1_epi8(static_cast<char>(0x80)));
    return _mm512_cvtepu8_epi16(v);
}

__m512i times(__m512i v, int32_t f) { return _mm512_mullo_epi16(v, _mm512_set1_epi16(f)); }

__m512i loadLanes(__mmask32 k, const uint16_t* p) { return _mm512_maskz_loadu_epi16(k, p); }

// [1 2 1] down, then across, rounded like divideHalfEven<4> (at most 16 * 255:
// 16-bit lanes throughout).
struct Gauss3Steps {
    static constexpr int32_t filter = ZAR_FIXED_GAUSS_3, size = 3;
    static void down(const __m512i* v, uint16_t* columns, int32_t, int32_t j, __mmask32 k) {
        const __m512i sum = _mm512_add_epi16(_mm512_add_epi16(v[0], v[2]),
                                             _mm512_add_epi16(v[1], v[1]));
        _mm512_mask_storeu_epi16(columns + j, k, sum);
    }
    static __m512i across(const uint16_t* columns, int32_t, int32_t i, int32_t s, __mmask32 k) {
        const __m512i middle = loadLanes(k, columns + i + s);
        const __m512i sum = _mm512_add_epi16(
            _mm512_add_epi16(loadLanes(k, columns + i), loadLanes(k, columns + i + 2 * s)),
            _mm512_add_epi16(middle, middle));
        const __m512i odd = _mm512_and_si512(_mm512_srli_epi16(sum, 4), _mm512_set1_epi16(1));
        return _mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(sum, odd), _mm512_set1_epi16(7)),
                                 4);
    }
};

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
    const __m512i rest = _mm512_sub_epi16(x, times(estimate, 571));
    const __mmask32 short1 = _mm512_cmpge_epu16_mask(rest, _mm512_set1_epi16(571));
    return _mm512_mask_sub_epi16(estimate, short1, estimate, _mm512_set1_epi16(-1));
}

// The three weighted sums of each column of five rows (the kernel is
// symmetric, so its rows serve as columns), the last with the 285 of the
// rounding added (at most 255 * 255 + 285, still 16 bits); then across, the
// weighted sums of five columns divided by 571.
struct Gauss5Steps {
    static constexpr int32_t filter = ZAR_FIXED_GAUSS_5, size = 5;
    static void down(const __m512i* v, uint16_t* columns, int32_t m, int32_t j, __mmask32 k) {
        constexpr auto& w = GaussWeights::integers;
        const __m512i outer = _mm512_add_epi16(v[0], v[4]), inner = _mm512_add_epi16(v[1], v[3]);
        for (int32_t p = 0; p < 3; ++p) {
            __m512i sum = _mm512_add_epi16(
                _mm512_add_epi16(times(outer, w[p][0]), times(inner, w[p][1])),
                times(v[2], w[p][2]));
            if (p == 2) sum = _mm512_add_epi16(sum, _mm512_set1_epi16(285));
            _mm512_mask_storeu_epi16(columns + p * m + j, k, sum);
        }
    }
    static __m512i across(const uint16_t* columns, int32_t m, int32_t i, int32_t s, __mmask32 k) {
        const uint16_t *a = columns + i, *b = a + m, *c = b + m;
        return quotient571(_mm512_add_epi16(loadLanes(k, a), loadLanes(k, a + 4 * s)),
                           _mm512_add_epi16(loadLanes(k, b + s), loadLanes(k, b + 3 * s)),
                           loadLanes(k, c + 2 * s));
    }
};

// A Gaussian on 8-bit rows, the vertical step first (on the source rows in
// place, the next rows prefetched) into 16-bit columns that stay in the cache,
// then the horizontal one straight into the destination row.
template <class Steps, int32_t Bias>
void gaussBytes(const RowJob& job, void* scratch) {
    constexpr int32_t K = Steps::size;
    if (job.storeStep != 1)
        return kLevelKernels.at[Steps::filter][Bias ? kDepth8s : kDepth8u](job, scratch);
    const int32_t n = job.count, s = job.elementStep, m = n + (K - 1) * s;
    uint16_t* columns = static_cast<uint16_t*>(scratch);
    for (int32_t row = 0; row < job.rows; ++row) {
        const uint8_t* v[K];
        for (int32_t t = 0; t < K; ++t)
            v[t] = reinterpret_cast<const uint8_t*>(job.src) +
                   static_cast<ptrdiff_t>(row + t) * job.srcStep;
        const uint8_t* ahead = v[K - 1] + 2 * static_cast<ptrdiff_t>(job.srcStep);
        for (int32_t j = 0; j < m; j += 32) {
            const __mmask32 k = lowBits32(m - j);
            _mm_prefetch(reinterpret_cast<const char*>(ahead + j), _MM_HINT_T0);
            __m512i rows[K];
            for (int32_t t = 0; t < K; ++t) rows[t] = bytesAt<Bias>(v[t] + j, k);
            Steps::down(rows, columns, m, j, k);
        }
        auto* out = reinterpret_cast<uint8_t*>(job.dst + static_cast<ptrdiff_t>(row) * job.dstStep);
        const uint8_t* outAhead = out + 2 * static_cast<ptrdiff_t>(job.dstStep);
        for (int32_t i = 0; i < n; i += 32) {
            const __mmask32 k = lowBits32(n - i);
            _mm_prefetch(reinterpret_cast<const char*>(outAhead + i), _MM_HINT_T0);
            __m256i bytes = _mm512_maskz_cvtepi16_epi8(~__mmask32{0},
                                                       Steps::across(columns, m, i, s, k));
            if constexpr (Bias != 0)
                bytes = _mm256_xor_si256(bytes, _mm256_set1_epi8(static_cast<char>(0x80)));
            _mm256_mask_storeu_epi8(out + i, k, bytes);
        }
    }
}

}  // namespace

RowKernel rowKernelAvx512(int32_t filter, int32_t depthIndex) {
    const bool bytes = depthIndex == kDepth8u || depthIndex == kDepth8s;
    const bool signedBytes = depthIndex == kDepth8s;
    if (bytes && filter == ZAR_FIXED_GAUSS_3)
        return signedBytes ? gaussBytes<Gauss3Steps, 128> : gaussBytes<Gauss3Steps, 0>;
    if (bytes && filter == ZAR_FIXED_GAUSS_5)
        return signedBytes ? gaussBytes<Gauss5Steps, 128> : gaussBytes<Gauss5Steps, 0>;
    return kLevelKernels.at[filter][depthIndex];
}
