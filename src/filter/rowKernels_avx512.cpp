// The fixed filters' row kernels compiled for AVX-512 (F, BW, VL), with the
// 8-bit Gaussians of gaussRowsSimd.h in 32 lanes, row tails masked.
#include <immintrin.h>

#include "filter/gaussRowsSimd.h"
#include "filter/rowKernelBodies.h"
#include "geometry/windowsAvx512.h"

namespace {

struct Lanes512 {
    using Vec = __m512i;
    using Tail = __mmask32;
    static constexpr int32_t lanes = 32, shortest = 0;
    static Tail tail(int32_t at, int32_t end) { return lowBits32(end - at); }
    static Vec set(int32_t v) { return _mm512_set1_epi16(static_cast<int16_t>(v)); }
    static Vec add(Vec a, Vec b) { return _mm512_add_epi16(a, b); }
    static Vec sub(Vec a, Vec b) { return _mm512_sub_epi16(a, b); }
    static Vec mul(Vec a, Vec b) { return _mm512_mullo_epi16(a, b); }
    static Vec mulHigh(Vec a, Vec b) { return _mm512_mulhi_epu16(a, b); }
    static Vec bitAnd(Vec a, Vec b) { return _mm512_and_si512(a, b); }
    template <int32_t N>
    static Vec shiftRight(Vec a) {
        return _mm512_srli_epi16(a, N);
    }
    // estimate + 1 where rest >= divisor (unsigned)
    static Vec plusOneFromDivisor(Vec estimate, Vec rest, int32_t divisor) {
        return _mm512_mask_sub_epi16(estimate, _mm512_cmpge_epu16_mask(rest, set(divisor)),
                                     estimate, set(-1));
    }
    static Vec load(const uint16_t* p, Tail k) { return _mm512_maskz_loadu_epi16(k, p); }
    static void store(uint16_t* p, Tail k, Vec v) { _mm512_mask_storeu_epi16(p, k, v); }
    // Source bytes widened, shifted by Bias (signed rows enter as v + 128,
    // their top bit flipped); results narrowed, the bias taken off.
    template <int32_t Bias>
    static Vec bytes(const uint8_t* p, Tail k) {
        __m256i v = _mm256_maskz_loadu_epi8(k, p);
        if constexpr (Bias != 0) v = _mm256_xor_si256(v, _mm256_set1_epi8(static_cast<char>(0x80)));
        return _mm512_cvtepu8_epi16(v);
    }
    template <int32_t Bias>
    static void storeBytes(uint8_t* p, Tail k, Vec v) {
        __m256i b = _mm512_maskz_cvtepi16_epi8(~__mmask32{0}, v);
        if constexpr (Bias != 0) b = _mm256_xor_si256(b, _mm256_set1_epi8(static_cast<char>(0x80)));
        _mm256_mask_storeu_epi8(p, k, b);
    }
};

}  // namespace

RowKernel rowKernelAvx512(int32_t filter, int32_t depthIndex) {
    if (RowKernel gauss = gaussBytesKernel<Lanes512>(filter, depthIndex)) return gauss;
    return kLevelKernels.at[filter][depthIndex];
}
