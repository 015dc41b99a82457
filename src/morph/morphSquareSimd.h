// The 3 x 3 square of the 8- and 16-bit morphology kernels with vector
// intrinsics, written once for the lanes V of a level (morphKernels_avx2.cpp,
// morphKernels_avx512.cpp).  Everything here has internal linkage: each level
// file keeps its own copy.
#pragma once

#include <immintrin.h>

#include "morph/morphRows.h"

namespace {

// The extreme of the three rows' values at byte o.
template <class V>
struct Rows3 {
    const char* a;
    const char* b;
    const char* c;
    [[gnu::always_inline]] typename V::Vec columnAt(int32_t o) const {
        return V::pick(V::pick(V::load(a + o), V::load(b + o)), V::load(c + o));
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
    const Rows3<V> rows{rowPointers[0], rowPointers[1], rowPointers[2]};
    constexpr int32_t n = V::bytes;
    int32_t j = 0;
    if (bytes + 2 * S >= 2 * n) {
        Vec current = rows.columnAt(0);
        for (; j + n <= bytes && j + 2 * n <= bytes + 2 * S; j += n) {
            const Vec next = rows.columnAt(j + n);
            const Vec across = V::across(current, next);
            V::store(out + j, V::pick(V::pick(current, V::template shift<S>(across, current)),
                                      V::template shift<2 * S>(across, current)));
            current = next;
        }
    }
    for (; j < bytes; j += n) {
        if (j + n > bytes) j = bytes - n;
        V::store(out + j, V::pick(V::pick(rows.columnAt(j), rows.columnAt(j + S)),
                                  rows.columnAt(j + 2 * S)));
    }
}

// The row kernel of a level: the 3 x 3 square over rows of at least one
// vector by square3, everything else by the generic passes.
template <class V, typename T, typename Pick>
void valueRowsOf(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                 int32_t values, int32_t step) {
    const int32_t bytes = values * static_cast<int32_t>(sizeof(T));
    if (kx == 3 && ky == 3 && bytes >= V::bytes) {
        switch (step * static_cast<int32_t>(sizeof(T))) {
            case 1:
                return square3<V, 1>(rows, out, bytes);
            case 2:
                return square3<V, 2>(rows, out, bytes);
            case 3:
                return square3<V, 3>(rows, out, bytes);
            case 4:
                return square3<V, 4>(rows, out, bytes);
            case 6:
                return square3<V, 6>(rows, out, bytes);
            case 8:
                return square3<V, 8>(rows, out, bytes);
        }
    }
    valueRowsBody<T, Pick>(kx, ky, rows, column, out, values, step);
}

}  // namespace
