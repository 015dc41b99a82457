// The 8- and 16-bit morphology row kernels compiled for 32-byte vectors (and
// AVX2's unsigned 16-bit maximum and minimum).
#include "morph/morphSquareSimd.h"

namespace {

template <typename T, bool larger>
struct Lanes256 {
    using Vec = __m256i;
    static constexpr int32_t bytes = 32;
    static Vec load(const char* p) { return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p)); }
    static void store(char* p, Vec v) { _mm256_storeu_si256(reinterpret_cast<Vec*>(p), v); }
    // The vector k bytes on from a, b following a (k below 32).
    template <int32_t k>
    static Vec shift(Vec a, Vec b) {
        static_assert(k < 32);
        const Vec half = _mm256_permute2x128_si256(a, b, 0x21);  // 16 bytes on
        if constexpr (k < 16) return _mm256_alignr_epi8(half, a, k);
        return _mm256_alignr_epi8(b, half, k - 16);
    }
    static Vec pick(Vec a, Vec b) {
        if constexpr (sizeof(T) == 1)
            return larger ? _mm256_max_epu8(a, b) : _mm256_min_epu8(a, b);
        else
            return larger ? _mm256_max_epu16(a, b) : _mm256_min_epu16(a, b);
    }
};

}  // namespace

void erodeRows8Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                    int32_t values, int32_t step) {
    valueRowsOf<Lanes256<uint8_t, false>, uint8_t, Smaller<uint8_t>>(kx, ky, rows, column, out,
                                                                     values, step);
}
void erodeRows16Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                     int32_t values, int32_t step) {
    valueRowsOf<Lanes256<uint16_t, false>, uint16_t, Smaller<uint16_t>>(kx, ky, rows, column, out,
                                                                        values, step);
}
void dilateRows8Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                     int32_t values, int32_t step) {
    valueRowsOf<Lanes256<uint8_t, true>, uint8_t, Larger<uint8_t>>(kx, ky, rows, column, out,
                                                                   values, step);
}
void dilateRows16Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                      int32_t values, int32_t step) {
    valueRowsOf<Lanes256<uint16_t, true>, uint16_t, Larger<uint16_t>>(kx, ky, rows, column, out,
                                                                      values, step);
}
