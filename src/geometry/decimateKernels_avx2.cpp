// Decimation row kernels for AVX2 processors: the cubic passes, the Lagrange
// polynomial in double precision four lanes at a time in the plain kernel's
// order (decimateKernels.h); the plain kernels take the tails.
#include <immintrin.h>

#include <cstring>

#include "geometry/decimateKernels.h"
#include "geometry/lagrangeLanes.h"

namespace {

// Double-precision arithmetic on four lanes for lagrangeLanes.
struct Lanes4 {
    static __m256d set1(double v) { return _mm256_set1_pd(v); }
    static __m256d add(__m256d x, __m256d y) { return _mm256_add_pd(x, y); }
    static __m256d sub(__m256d x, __m256d y) { return _mm256_sub_pd(x, y); }
    static __m256d mul(__m256d x, __m256d y) { return _mm256_mul_pd(x, y); }
};
inline __m256d lagrange4x4(__m256d a, __m256d b, __m256d c, __m256d d, __m256d t) {
    return lagrangeLanes<__m256d, Lanes4>(a, b, c, d, t);
}

// Four lanes of the y pass, truncated and saturated to 0 .. kMax.
inline __m128i column4(const double* const* h, int32_t e, __m256d t, __m128i top) {
    const __m256d v = lagrange4x4(_mm256_loadu_pd(h[0] + e), _mm256_loadu_pd(h[1] + e),
                                  _mm256_loadu_pd(h[2] + e), _mm256_loadu_pd(h[3] + e), t);
    return _mm_min_epi32(_mm_max_epi32(_mm256_cvttpd_epi32(v), _mm_setzero_si128()), top);
}

}  // namespace

// Four lanes at a time: the taps read one by one, the polynomial in vectors.
template <typename T>
void cubicRowAvx2(const char* row, const CubicLanes& l, double* out) {
    const T* r = reinterpret_cast<const T*>(row);
    int32_t e = 0;
    for (; e + 4 <= l.count; e += 4) {
        const T *p0 = r + l.elemOff[e], *p1 = r + l.elemOff[e + 1];
        const T *p2 = r + l.elemOff[e + 2], *p3 = r + l.elemOff[e + 3];
        // built in registers: four stores read back as one vector would stall
        auto lanes = [&](int32_t i) {
            const int32_t k = i * l.tap;
            return _mm256_cvtepi32_pd(_mm_setr_epi32(p0[k], p1[k], p2[k], p3[k]));
        };
        _mm256_storeu_pd(out + e, lagrange4x4(lanes(0), lanes(1), lanes(2), lanes(3),
                                              _mm256_loadu_pd(l.ts + e)));
    }
    kCubicRows[sizeof(T) - 1].variants.at[0](
        row, CubicLanes{l.elemOff + e, nullptr, l.ts + e, l.tap, l.count - e}, out + e);
}

// Eight lanes at a time, narrowed to T.
template <typename T>
void cubicColumnAvx2(const double* const* h, double t, char* dst, int32_t count) {
    T* out = reinterpret_cast<T*>(dst);
    const __m256d vt = _mm256_set1_pd(t);
    const __m128i top = _mm_set1_epi32(T(~T(0)));
    int32_t e = 0;
    for (; e + 8 <= count; e += 8) {
        const __m128i lo = column4(h, e, vt, top), hi = column4(h, e + 4, vt, top);
        if constexpr (sizeof(T) == 1) {
            const __m128i words = _mm_packs_epi32(lo, hi);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + e), _mm_packus_epi16(words, words));
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), _mm_packus_epi32(lo, hi));
        }
    }
    const double* rest[4] = {h[0] + e, h[1] + e, h[2] + e, h[3] + e};
    kCubicColumns[sizeof(T) - 1].variants.at[0](rest, t, reinterpret_cast<char*>(out + e),
                                                count - e);
}

template void cubicRowAvx2<uint8_t>(const char*, const CubicLanes&, double*);
template void cubicRowAvx2<uint16_t>(const char*, const CubicLanes&, double*);
template void cubicColumnAvx2<uint8_t>(const double* const*, double, char*, int32_t);
template void cubicColumnAvx2<uint16_t>(const double* const*, double, char*, int32_t);
