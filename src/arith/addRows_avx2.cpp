// Saturating 8- and 16-bit rows with 256-bit saturating adds, two vectors per
// step; the plain loop covers the tail and overlapping rows.
#include <immintrin.h>

#include "arith/addRowsBody.h"

namespace {

struct Vec {
    using V = __m256i;
    static V load(const char* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
    static void store(char* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
};

__m256i addU8(__m256i x, __m256i y) { return _mm256_adds_epu8(x, y); }
__m256i addS8(__m256i x, __m256i y) { return _mm256_adds_epi8(x, y); }
__m256i addU16(__m256i x, __m256i y) { return _mm256_adds_epu16(x, y); }
__m256i addS16(__m256i x, __m256i y) { return _mm256_adds_epi16(x, y); }

}  // namespace

void addRowsAvx2U8(const void* a, const void* b, void* d, int64_t n) {
    addRowsWith<Vec, 0, 1, addU8>(a, b, d, n);
}
void addRowsAvx2S8(const void* a, const void* b, void* d, int64_t n) {
    addRowsWith<Vec, 1, 1, addS8>(a, b, d, n);
}
void addRowsAvx2U16(const void* a, const void* b, void* d, int64_t n) {
    addRowsWith<Vec, 2, 2, addU16>(a, b, d, n);
}
void addRowsAvx2S16(const void* a, const void* b, void* d, int64_t n) {
    addRowsWith<Vec, 3, 2, addS16>(a, b, d, n);
}
