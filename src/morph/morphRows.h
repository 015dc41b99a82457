// The bodies of the 8- and 16-bit morphology row kernels, compiled once per
// instruction-set level (morphKernels.cpp, morphKernels_avx2.cpp).  Every
// function has internal linkage, so that each file keeps its own copy built
// for its own level.
#pragma once

#include <cstddef>
#include <cstdint>

#include "morph/morphKernels.h"

static inline int32_t lesserOf(int32_t a, int32_t b) { return a < b ? a : b; }

template <typename T>
struct Larger {
    [[gnu::always_inline]] static T pick(T a, T b) { return a > b ? a : b; }
};
template <typename T>
struct Smaller {
    [[gnu::always_inline]] static T pick(T a, T b) { return a < b ? a : b; }
};

// The extremes of k neighbours with three comparisons per output whatever k:
// the row is cut into
// blocks of k; a window starting at j covers the end of j's block (suffix
// extreme, kept in result) and the start of the next (prefix extreme,
// computed over column in place).
template <typename T, typename Pick>
static void blockExtreme(T* column, T* result, int32_t k, int32_t w) {
    const int32_t length = k + w - 1;
    for (int32_t start = 0; start < w; start += k) {
        const int32_t end = lesserOf(start + k, length) - 1;
        T running = column[end];
        for (int32_t i = end; i >= start; --i) {
            running = Pick::pick(running, column[i]);
            if (i < w) result[i] = running;
        }
    }
    for (int32_t start = 0; start < length; start += k) {
        const int32_t end = lesserOf(start + k, length);
        for (int32_t i = start + 1; i < end; ++i) column[i] = Pick::pick(column[i - 1], column[i]);
    }
    for (int32_t j = 0; j < w; ++j) result[j] = Pick::pick(result[j], column[j + k - 1]);
}

// The kernels below run over [0, count) in blocks of 64 bytes' worth of
// values (a constant trip count, so each block is a few whole vector steps);
// the last block ends at count, overlapping the one before, instead of a
// scalar tail.  A block recomputes what it overlaps the same way: a kernel
// either writes d from other buffers or takes an extreme into d, which a
// second time leaves as it is.  Rows shorter than a block go value by value.
template <typename T>
constexpr int32_t kBlockValues = 64 / sizeof(T);
// The start of the block after the one at j, or count when j's was the last.
template <typename T>
[[gnu::always_inline]] static inline int32_t nextBlock(int32_t j, int32_t count) {
    constexpr int32_t n = kBlockValues<T>;
    return j + n == count ? count : (j + 2 * n <= count ? j + n : count - n);
}

// d = extreme(a, b, c) and d = extreme(d, sources...) over separate buffers.
template <typename T, typename Pick>
[[gnu::always_inline]] static inline void pickThree(T* __restrict d, const T* __restrict a,
                                                    const T* __restrict b, const T* __restrict c,
                                                    int32_t count) {
    constexpr int32_t n = kBlockValues<T>;
    if (count < n) {
        for (int32_t i = 0; i < count; ++i) d[i] = Pick::pick(Pick::pick(a[i], b[i]), c[i]);
        return;
    }
    for (int32_t j = 0; j < count; j = nextBlock<T>(j, count))
        for (int32_t i = j; i < j + n; ++i) d[i] = Pick::pick(Pick::pick(a[i], b[i]), c[i]);
}
template <typename T, typename Pick>
[[gnu::always_inline]] static inline void pickTwoInto(T* __restrict d, const T* __restrict a,
                                                      const T* __restrict b, int32_t count) {
    constexpr int32_t n = kBlockValues<T>;
    if (count < n) {
        for (int32_t i = 0; i < count; ++i) d[i] = Pick::pick(d[i], Pick::pick(a[i], b[i]));
        return;
    }
    for (int32_t j = 0; j < count; j = nextBlock<T>(j, count))
        for (int32_t i = j; i < j + n; ++i) d[i] = Pick::pick(d[i], Pick::pick(a[i], b[i]));
}
template <typename T, typename Pick>
[[gnu::always_inline]] static inline void pickFourInto(T* __restrict d, const T* __restrict a,
                                                       const T* __restrict b, const T* __restrict c,
                                                       const T* __restrict e, int32_t count) {
    constexpr int32_t n = kBlockValues<T>;
    auto four = [](T x, T y, T z, T u) { return Pick::pick(Pick::pick(x, y), Pick::pick(z, u)); };
    if (count < n) {
        for (int32_t i = 0; i < count; ++i) d[i] = Pick::pick(d[i], four(a[i], b[i], c[i], e[i]));
        return;
    }
    for (int32_t j = 0; j < count; j = nextBlock<T>(j, count))
        for (int32_t i = j; i < j + n; ++i) d[i] = Pick::pick(d[i], four(a[i], b[i], c[i], e[i]));
}

// d = extreme of seven buffers in one pass (a 7 x 7 square, three
// iterations, without storing and reloading d in between).
template <typename T, typename Pick>
[[gnu::always_inline]] static inline void pickSeven(T* __restrict d, const T* const* s,
                                                    int32_t count) {
    const T* __restrict a = s[0];
    const T* __restrict b = s[1];
    const T* __restrict c = s[2];
    const T* __restrict e = s[3];
    const T* __restrict f = s[4];
    const T* __restrict g = s[5];
    const T* __restrict h = s[6];
    auto seven = [](T x0, T x1, T x2, T x3, T x4, T x5, T x6) {
        return Pick::pick(Pick::pick(Pick::pick(x0, x1), Pick::pick(x2, x3)),
                          Pick::pick(Pick::pick(x4, x5), x6));
    };
    constexpr int32_t n = kBlockValues<T>;
    if (count < n) {
        for (int32_t i = 0; i < count; ++i) d[i] = seven(a[i], b[i], c[i], e[i], f[i], g[i], h[i]);
        return;
    }
    for (int32_t j = 0; j < count; j = nextBlock<T>(j, count))
        for (int32_t i = j; i < j + n; ++i) d[i] = seven(a[i], b[i], c[i], e[i], f[i], g[i], h[i]);
}

// d = the extreme of source(0) .. source(k - 1), k odd: seven sources (or
// three) in the first pass, then four (or the last two) per pass.
template <typename T, typename Pick, typename Source>
[[gnu::always_inline]] static inline void pickOfOdd(T* d, int32_t k, Source source, int32_t count) {
    int32_t i = 3;
    if (k >= 7) {
        const T* first[7] = {source(0), source(1), source(2), source(3),
                             source(4), source(5), source(6)};
        pickSeven<T, Pick>(d, first, count);
        i = 7;
    } else {
        pickThree<T, Pick>(d, source(0), source(1), source(2), count);
    }
    for (; i + 3 < k; i += 4)
        pickFourInto<T, Pick>(d, source(i), source(i + 1), source(i + 2), source(i + 3), count);
    if (i < k) pickTwoInto<T, Pick>(d, source(i), source(i + 1), count);
}

// 8- and 16-bit rows of `step` interleaved channels: the column extreme of
// the ky window rows into column, then the extreme of kx neighbouring pixels
// of that column per output value.  kx and ky are odd (2 n + 1), so a 3 x 3
// square is one vertical and one horizontal pass, a 7 x 7 square two of each.
template <typename T, typename Pick>
[[gnu::always_inline]] static inline void valueRowsBody(int32_t kx, int32_t ky,
                                                        const char* const* rows, char* columnBytes,
                                                        char* out, int32_t values, int32_t step) {
    const int32_t length = values + (kx - 1) * step;
    T* column = reinterpret_cast<T*>(columnBytes);
    pickOfOdd<T, Pick>(
        column, ky, [&](int32_t i) { return reinterpret_cast<const T*>(rows[i]); }, length);
    T* result = reinterpret_cast<T*>(out);
    if (kx >= kBlockExtremeFrom && step == 1) {
        blockExtreme<T, Pick>(column, result, kx, values);
        return;
    }
    pickOfOdd<T, Pick>(
        result, kx, [&](int32_t t) { return static_cast<const T*>(column + t * step); }, values);
}
