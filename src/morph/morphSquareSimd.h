// The 3 x 3 square of the 8- and 16-bit morphology kernels with vector
// intrinsics, written once for the lanes V of a level (morphKernels_avx2.cpp,
// morphKernels_avx512.cpp).  Everything here has internal linkage: each level
// file keeps its own copy.
#pragma once

#include <immintrin.h>

#include <type_traits>

#include "morph/morphRows.h"

namespace {

// The extreme of K rows' values at byte o (the pointers held here, so that
// the stores to out do not make the loop reload them).
template <class V, int32_t K>
struct RowsOf {
    const char* at[K];
    explicit RowsOf(const char* const* rows) {
        for (int32_t i = 0; i < K; ++i) at[i] = rows[i];
    }
    [[gnu::always_inline]] typename V::Vec columnAt(int32_t o) const {
        typename V::Vec v = V::load(at[0] + o);
        for (int32_t i = 1; i < K; ++i) v = V::pick(v, V::load(at[i] + o));
        return v;
    }
};

// One pass per row for a 3 x 3 square of pixels S bytes apart: the column
// extremes of a vector and of the next stay in registers and the two shifted
// windows come from lane shifts, so no column row is stored and read back.
// The vectors without a full next one (the last, or all of a short row)
// take their three columns by unaligned loads; the last ends at the row's
// end, overlapping the one before (out never overlaps the rows).  bytes is
// at least one vector.
template <class V, int32_t S>
void square3(const char* const* rowPointers, char* out, int32_t bytes) {
    using Vec = typename V::Vec;
    const RowsOf<V, 3> rows(rowPointers);
    constexpr int32_t n = V::bytes;
    int32_t j = 0;
    if (bytes + 2 * S >= 2 * n) {
        Vec current = rows.columnAt(0);
        for (; j + n <= bytes && j + 2 * n <= bytes + 2 * S; j += n) {
            const Vec next = rows.columnAt(j + n);
            V::store(out + j, V::pick(V::pick(current, V::template shift<S>(current, next)),
                                      V::template shift<2 * S>(current, next)));
            current = next;
        }
    }
    for (; j < bytes; j += n) {
        if (j + n > bytes) j = bytes - n;
        V::store(out + j, V::pick(V::pick(rows.columnAt(j), rows.columnAt(j + S)),
                                  rows.columnAt(j + 2 * S)));
    }
}

// A 7 x 7 square (three iterations of the 3 x 3 one) of pixels S bytes
// apart, 6 S at most one vector, over the vectors that have a full next one:
// the column extremes a of a vector and b of the next, then windows doubled
// by lane shifts: pairs p1 = a | a >> S, fours p2 = p1 | p1 >> 2 S, sevens
// p2 | p2 >> 3 S.  The next vector's pairs and fours (q1, q2) are needed only
// in their first 3 S and 5 S values, which need nothing past b: a shift of
// b into itself leaves its end wrong, not its start.  Returns where it
// stopped; the caller finishes the row.
template <class V, int32_t S>
int32_t square7(const char* const* rowPointers, char* out, int32_t bytes) {
    using Vec = typename V::Vec;
    static_assert(6 * S <= V::bytes);
    const RowsOf<V, 7> rows(rowPointers);
    constexpr int32_t n = V::bytes;
    int32_t j = 0;
    if (bytes + 6 * S < 2 * n) return j;
    Vec a = rows.columnAt(0);
    for (; j + n <= bytes && j + 2 * n <= bytes + 6 * S; j += n) {
        const Vec b = rows.columnAt(j + n);
        const Vec p1 = V::pick(a, V::template shift<S>(a, b));
        const Vec q1 = V::pick(b, V::template shift<S>(b, b));
        const Vec p2 = V::pick(p1, V::template shift<2 * S>(p1, q1));
        const Vec q2 = V::pick(q1, V::template shift<2 * S>(q1, q1));
        V::store(out + j, V::pick(p2, V::template shift<3 * S>(p2, q2)));
        a = b;
    }
    return j;
}

template <class V, int32_t S>
constexpr bool kSevenFits = 6 * S <= V::bytes;

// square(std::integral_constant<int32_t, S>{}) for the byte distance S of a
// step (1, 2, 3, 4, 6 or 8); false for others.
template <class Square>
[[gnu::always_inline]] inline bool byStepBytes(int32_t stepBytes, Square square) {
    switch (stepBytes) {
        case 1:
            return square(std::integral_constant<int32_t, 1>{});
        case 2:
            return square(std::integral_constant<int32_t, 2>{});
        case 3:
            return square(std::integral_constant<int32_t, 3>{});
        case 4:
            return square(std::integral_constant<int32_t, 4>{});
        case 6:
            return square(std::integral_constant<int32_t, 6>{});
        case 8:
            return square(std::integral_constant<int32_t, 8>{});
    }
    return false;
}

// The row kernel of a level: the 3 x 3 and 7 x 7 squares over rows of at
// least one vector by square3 and square7, everything else (and the end of a
// row square7 leaves, as one last generic block) by the generic passes.
template <class V, typename T, typename Pick>
void valueRowsOf(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                 int32_t values, int32_t step) {
    constexpr int32_t size = static_cast<int32_t>(sizeof(T));
    const int32_t bytes = values * size;
    if (kx == 3 && ky == 3 && bytes >= V::bytes && byStepBytes(step * size, [&](auto s) {
            square3<V, s()>(rows, out, bytes);
            return true;
        }))
        return;
    if (kx == 7 && ky == 7 && bytes >= V::bytes) {
        int32_t done = 0;  // nothing where seven pixels of the step do not fit a vector
        byStepBytes(step * size, [&](auto s) {
            if constexpr (kSevenFits<V, s()>) done = square7<V, s()>(rows, out, bytes);
            return true;
        });
        if (done == bytes) return;
        // The rest from a whole vector back, so the generic passes take it
        // in vector blocks (they rewrite a few results the same).
        const int32_t from = done > 0 ? lesserOf(done, bytes - V::bytes) / size * size : 0;
        const char* rest[7];
        for (int32_t i = 0; i < 7; ++i) rest[i] = rows[i] + from;
        return valueRowsBody<T, Pick>(kx, ky, rest, column, out + from, values - from / size, step);
    }
    valueRowsBody<T, Pick>(kx, ky, rows, column, out, values, step);
}

}  // namespace
