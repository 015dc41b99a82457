// Saturating sums of 8- and 16-bit rows with the processor's saturating
// vector adds; the plain sample loop covers the tail, machines without SSE2
// and overlapping rows.
#include <cstdint>

#include "arith/kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

template <class T>
void plainAddRow(const T* a, const T* b, T* d, int64_t from, int64_t n) {
    const SaturatedAdd op(0);
    for (int64_t i = from; i < n; ++i) d[i] = op(a[i], b[i]);
}

#if defined(__SSE2__)

constexpr int64_t kBlockBytes = 32;  // two vectors per step

// A block reads its sources before it stores, as the plain loop would when
// d is s itself or lies at least a block away from s (a store then never
// reaches a source sample that a later block reads, nor one this block read
// after the plain loop would have stored it).
bool blockSafe(const void* source, const void* destination) {
    const auto s = reinterpret_cast<uintptr_t>(source);
    const auto d = reinterpret_cast<uintptr_t>(destination);
    return s == d || (s > d ? s - d : d - s) >= static_cast<uintptr_t>(kBlockBytes);
}

// The saturating vector add of 16 bytes of T's lanes (T picks the overload).
inline __m128i addLanes(const uint8_t*, __m128i x, __m128i y) { return _mm_adds_epu8(x, y); }
inline __m128i addLanes(const int8_t*, __m128i x, __m128i y) { return _mm_adds_epi8(x, y); }
inline __m128i addLanes(const uint16_t*, __m128i x, __m128i y) { return _mm_adds_epu16(x, y); }
inline __m128i addLanes(const int16_t*, __m128i x, __m128i y) { return _mm_adds_epi16(x, y); }

#endif

template <class T>
void addRowOf(const T* a, const T* b, T* d, int64_t n) {
    int64_t i = 0;
#if defined(__SSE2__)
    constexpr int64_t kLanes = kBlockBytes / static_cast<int64_t>(sizeof(T));
    if (blockSafe(a, d) && blockSafe(b, d)) {
        for (; i + kLanes <= n; i += kLanes) {
            auto pa = reinterpret_cast<const __m128i*>(a + i);
            auto pb = reinterpret_cast<const __m128i*>(b + i);
            const __m128i lo = addLanes(a, _mm_loadu_si128(pa), _mm_loadu_si128(pb));
            const __m128i hi = addLanes(a, _mm_loadu_si128(pa + 1), _mm_loadu_si128(pb + 1));
            auto pd = reinterpret_cast<__m128i*>(d + i);
            _mm_storeu_si128(pd, lo);
            _mm_storeu_si128(pd + 1, hi);
        }
    }
#endif
    plainAddRow(a, b, d, i, n);
}

}  // namespace

void saturatedAddRow(const uint8_t* a, const uint8_t* b, uint8_t* d, int64_t n) {
    addRowOf(a, b, d, n);
}
void saturatedAddRow(const int8_t* a, const int8_t* b, int8_t* d, int64_t n) {
    addRowOf(a, b, d, n);
}
void saturatedAddRow(const uint16_t* a, const uint16_t* b, uint16_t* d, int64_t n) {
    addRowOf(a, b, d, n);
}
void saturatedAddRow(const int16_t* a, const int16_t* b, int16_t* d, int64_t n) {
    addRowOf(a, b, d, n);
}
