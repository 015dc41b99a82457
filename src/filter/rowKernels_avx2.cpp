// The fixed filters' row kernels compiled for AVX2, with the 8-bit Gaussians
// of gaussRowsSimd.h in 16 lanes: without masks, the last block of a row
// overlaps the one before and stores the same values again.
#include <immintrin.h>

#include <algorithm>

#include "filter/gaussRowsSimd.h"
#include "filter/rowKernelBodies.h"

namespace {

struct Lanes256 {
    using Vec = __m256i;
    struct Tail {};
    static constexpr int32_t lanes = 16, shortest = 16;
    static Tail tail(int32_t& at, int32_t end) {
        at = std::min(at, end - lanes);
        return {};
    }
    static Vec set(int32_t v) { return _mm256_set1_epi16(static_cast<int16_t>(v)); }
    static Vec add(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
    static Vec sub(Vec a, Vec b) { return _mm256_sub_epi16(a, b); }
    static Vec mul(Vec a, Vec b) { return _mm256_mullo_epi16(a, b); }
    static Vec mulHigh(Vec a, Vec b) { return _mm256_mulhi_epu16(a, b); }
    static Vec bitAnd(Vec a, Vec b) { return _mm256_and_si256(a, b); }
    template <int32_t N>
    static Vec shiftRight(Vec a) {
        return _mm256_srli_epi16(a, N);
    }
    // estimate + 1 where rest >= divisor: where the unsigned maximum of the
    // two is rest, the comparison gives -1
    static Vec plusOneFromDivisor(Vec estimate, Vec rest, int32_t divisor) {
        return _mm256_sub_epi16(estimate,
                                _mm256_cmpeq_epi16(_mm256_max_epu16(rest, set(divisor)), rest));
    }
    static Vec load(const uint16_t* p, Tail) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static void store(uint16_t* p, Tail, Vec v) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
    }
    template <int32_t Bias>
    static Vec bytes(const uint8_t* p, Tail) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if constexpr (Bias != 0) v = _mm_xor_si128(v, _mm_set1_epi8(static_cast<char>(0x80)));
        return _mm256_cvtepu8_epi16(v);
    }
    template <int32_t Bias>
    static void storeBytes(uint8_t* p, Tail, Vec v) {
        __m128i b = _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        if constexpr (Bias != 0) b = _mm_xor_si128(b, _mm_set1_epi8(static_cast<char>(0x80)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), b);
    }
};

}  // namespace

RowKernel rowKernelAvx2(int32_t filter, int32_t depthIndex) {
    if (RowKernel gauss = gaussBytesKernel<Lanes256>(filter, depthIndex)) return gauss;
    return kLevelKernels.at[filter][depthIndex];
}
