// The 3x3 and 5x5 Gaussians on 8-bit rows with vector intrinsics, written
// once for the lane operations V of a level (rowKernels_avx2.cpp,
// rowKernels_avx512.cpp): the vertical step first, on the source rows in
// place (the next rows prefetched), into 16-bit columns that stay in the
// cache, then the horizontal step straight into the destination row.
// Everything here has internal linkage: each level file keeps its own copy.
#pragma once

#include <immintrin.h>

#include "filter/rowKernelBodies.h"

namespace {

// [1 2 1] down, then across, rounded like divideHalfEven<4> (at most 16 * 255:
// 16-bit lanes throughout).
template <class V>
struct Gauss3Steps {
    using Vec = typename V::Vec;
    static constexpr int32_t filter = ZAR_FIXED_GAUSS_3, size = 3;
    static void down(const Vec* v, uint16_t* columns, int32_t, int32_t j, typename V::Tail k) {
        V::store(columns + j, k, V::add(V::add(v[0], v[2]), V::add(v[1], v[1])));
    }
    static Vec across(const uint16_t* columns, int32_t, int32_t i, int32_t s, typename V::Tail k) {
        const Vec middle = V::load(columns + i + s, k);
        const Vec sum = V::add(V::add(V::load(columns + i, k), V::load(columns + i + 2 * s, k)),
                               V::add(middle, middle));
        const Vec odd = V::bitAnd(V::template shiftRight<4>(sum), V::set(1));
        return V::template shiftRight<4>(V::add(V::add(sum, odd), V::set(7)));
    }
};

// floor(X / 571) of X = p + q + r (three 16-bit parts, X at most
// kGauss5MaxSum): the estimate from the parts' quarters is the quotient or one
// less (see kGauss5Reciprocal), and the remainder, exact modulo 2^16, says
// which.
template <class V>
typename V::Vec quotient571(typename V::Vec p, typename V::Vec q, typename V::Vec r) {
    using Vec = typename V::Vec;
    const Vec x = V::add(V::add(p, q), r);
    const Vec quarters = V::add(V::add(V::template shiftRight<2>(p), V::template shiftRight<2>(q)),
                                V::template shiftRight<2>(r));
    const Vec estimate = V::mulHigh(quarters, V::set(kGauss5Reciprocal));
    return V::plusOneFromDivisor(estimate, V::sub(x, V::mul(estimate, V::set(571))), 571);
}

// The three weighted sums of each column of five rows (the kernel is
// symmetric, so its rows serve as columns), the last with the 285 of the
// rounding added (at most 255 * 255 + 285, still 16 bits); then across, the
// weighted sums of five columns divided by 571.
template <class V>
struct Gauss5Steps {
    using Vec = typename V::Vec;
    static constexpr int32_t filter = ZAR_FIXED_GAUSS_5, size = 5;
    static void down(const Vec* v, uint16_t* columns, int32_t m, int32_t j, typename V::Tail k) {
        constexpr auto& w = GaussWeights::integers;
        const Vec outer = V::add(v[0], v[4]), inner = V::add(v[1], v[3]);
        for (int32_t p = 0; p < 3; ++p) {
            Vec sum = V::add(V::add(V::mul(outer, V::set(w[p][0])), V::mul(inner, V::set(w[p][1]))),
                             V::mul(v[2], V::set(w[p][2])));
            if (p == 2) sum = V::add(sum, V::set(285));
            V::store(columns + p * m + j, k, sum);
        }
    }
    static Vec across(const uint16_t* columns, int32_t m, int32_t i, int32_t s,
                      typename V::Tail k) {
        const uint16_t *a = columns + i, *b = a + m, *c = b + m;
        return quotient571<V>(V::add(V::load(a, k), V::load(a + 4 * s, k)),
                              V::add(V::load(b + s, k), V::load(b + 3 * s, k)),
                              V::load(c + 2 * s, k));
    }
};

template <class Steps, class V, int32_t Bias>
void gaussBytes(const RowJob& job, void* scratch) {
    constexpr int32_t K = Steps::size;
    const int32_t n = job.count, s = job.elementStep, m = n + (K - 1) * s;
    if (job.storeStep != 1 || n < V::shortest)
        return kLevelKernels.at[Steps::filter][Bias ? kDepth8s : kDepth8u](job, scratch);
    uint16_t* columns = static_cast<uint16_t*>(scratch);
    for (int32_t row = 0; row < job.rows; ++row) {
        const uint8_t* v[K];
        for (int32_t t = 0; t < K; ++t)
            v[t] = reinterpret_cast<const uint8_t*>(job.src) +
                   static_cast<ptrdiff_t>(row + t) * job.srcStep;
        const uint8_t* ahead = v[K - 1] + 2 * static_cast<ptrdiff_t>(job.srcStep);
        for (int32_t j = 0; j < m; j += V::lanes) {
            const typename V::Tail k = V::tail(j, m);
            _mm_prefetch(reinterpret_cast<const char*>(ahead + j), _MM_HINT_T0);
            typename V::Vec rows[K];
            for (int32_t t = 0; t < K; ++t) rows[t] = V::template bytes<Bias>(v[t] + j, k);
            Steps::down(rows, columns, m, j, k);
        }
        auto* out = reinterpret_cast<uint8_t*>(job.dst + static_cast<ptrdiff_t>(row) * job.dstStep);
        const uint8_t* outAhead = out + 2 * static_cast<ptrdiff_t>(job.dstStep);
        for (int32_t i = 0; i < n; i += V::lanes) {
            const typename V::Tail k = V::tail(i, n);
            _mm_prefetch(reinterpret_cast<const char*>(outAhead + i), _MM_HINT_T0);
            V::template storeBytes<Bias>(out + i, k, Steps::across(columns, m, i, s, k));
        }
    }
}

// The Gaussian kernels of an 8-bit depth column, or null.
template <class V>
RowKernel gaussBytesKernel(int32_t filter, int32_t depthIndex) {
    const bool signedBytes = depthIndex == kDepth8s;
    if (depthIndex != kDepth8u && !signedBytes) return nullptr;
    if (filter == ZAR_FIXED_GAUSS_3)
        return signedBytes ? gaussBytes<Gauss3Steps<V>, V, 128> : gaussBytes<Gauss3Steps<V>, V, 0>;
    if (filter == ZAR_FIXED_GAUSS_5)
        return signedBytes ? gaussBytes<Gauss5Steps<V>, V, 128> : gaussBytes<Gauss5Steps<V>, V, 0>;
    return nullptr;
}

}  // namespace
