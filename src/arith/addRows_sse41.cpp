// Saturating 8- and 16-bit rows with 128-bit saturating adds, two vectors per
// step; the plain loop covers the tail and overlapping rows.
#include <emmintrin.h>

#include "arith/addRowsBody.h"

namespace {

struct Vec {
    using V = __m128i;
    static V load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
    static void store(char* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
};

__m128i addU8(__m128i x, __m128i y) { return _mm_adds_epu8(x, y); }
__m128i addS8(__m128i x, __m128i y) { return _mm_adds_epi8(x, y); }
__m128i addU16(__m128i x, __m128i y) { return _mm_adds_epu16(x, y); }
__m128i addS16(__m128i x, __m128i y) { return _mm_adds_epi16(x, y); }

}  // namespace

void addRowsSse41U8(const void* a, const void* b, void* d, int64_t n) {
    addRowsWith<Vec, 0, 1, addU8>(a, b, d, n);
}
void addRowsSse41S8(const void* a, const void* b, void* d, int64_t n) {
    addRowsWith<Vec, 1, 1, addS8>(a, b, d, n);
}
void addRowsSse41U16(const void* a, const void* b, void* d, int64_t n) {
    addRowsWith<Vec, 2, 2, addU16>(a, b, d, n);
}
void addRowsSse41S16(const void* a, const void* b, void* d, int64_t n) {
    addRowsWith<Vec, 3, 2, addS16>(a, b, d, n);
}
