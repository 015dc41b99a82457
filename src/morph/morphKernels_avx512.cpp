// The 8- and 16-bit morphology row kernels compiled for 64-byte vectors (AVX-512 BW, with
// its byte and 16-bit maxima and minima).
#include "morph/morphSquareSimd.h"

namespace {

template <typename T, bool larger>
struct Lanes512 {
    using Vec = __m512i;
    static constexpr int32_t bytes = 64;
    static Vec load(const char* p) { return _mm512_loadu_si512(p); }
    static void store(char* p, Vec v) { _mm512_storeu_si512(p, v); }
    // The vector k bytes on from a, b following a (k below 32).
    template <int32_t k>
    static Vec shift(Vec a, Vec b) {
        static_assert(k < 32);
        const Vec lanes1 = _mm512_maskz_alignr_epi64(0xFF, b, a, 2);  // 16 bytes on
        if constexpr (k < 16) return _mm512_alignr_epi8(lanes1, a, k);
        const Vec lanes2 = _mm512_maskz_alignr_epi64(0xFF, b, a, 4);
        return _mm512_alignr_epi8(lanes2, lanes1, k - 16);
    }
    static Vec pick(Vec a, Vec b) {
        if constexpr (sizeof(T) == 1)
            return larger ? _mm512_max_epu8(a, b) : _mm512_min_epu8(a, b);
        else
            return larger ? _mm512_max_epu16(a, b) : _mm512_min_epu16(a, b);
    }
};

}  // namespace

void erodeRows8Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                      int32_t values, int32_t step) {
    valueRowsOf<Lanes512<uint8_t, false>, uint8_t, Smaller<uint8_t>>(kx, ky, rows, column, out,
                                                                     values, step);
}
void erodeRows16Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                       int32_t values, int32_t step) {
    valueRowsOf<Lanes512<uint16_t, false>, uint16_t, Smaller<uint16_t>>(kx, ky, rows, column, out,
                                                                        values, step);
}
void dilateRows8Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                       int32_t values, int32_t step) {
    valueRowsOf<Lanes512<uint8_t, true>, uint8_t, Larger<uint8_t>>(kx, ky, rows, column, out,
                                                                   values, step);
}
void dilateRows16Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                        int32_t values, int32_t step) {
    valueRowsOf<Lanes512<uint16_t, true>, uint16_t, Larger<uint16_t>>(kx, ky, rows, column, out,
                                                                      values, step);
}
