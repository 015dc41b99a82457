// The body of the vector variants of the saturating add rows, shared by the
// files of each instruction-set level (static: each keeps its own copy).  Vec
// gives the vector type V with its unaligned load and store; Add is the
// saturating add of the depth's lanes.
#pragma once

#include <cstdint>

#include "arith/addRows.h"

// A block of two vectors reads its sources before it stores, as the plain loop
// would when d is s itself or lies at least a block away from s (a store then
// never reaches a source sample that a later block reads, nor one this block
// read after the plain loop would have stored it).
static inline bool blockSafe(const void* source, const void* destination, uintptr_t blockBytes) {
    const auto s = reinterpret_cast<uintptr_t>(source);
    const auto d = reinterpret_cast<uintptr_t>(destination);
    return s == d || (s > d ? s - d : d - s) >= blockBytes;
}

template <class Vec, int32_t Entry, int32_t ValueBytes, auto Add>
static void addRowsWith(const void* a, const void* b, void* d, int64_t n) {
    constexpr int64_t blockBytes = 2 * sizeof(typename Vec::V);
    constexpr int64_t lanes = blockBytes / ValueBytes;
    const char* pa = static_cast<const char*>(a);
    const char* pb = static_cast<const char*>(b);
    char* pd = static_cast<char*>(d);
    int64_t i = 0;
    if (blockSafe(a, d, blockBytes) && blockSafe(b, d, blockBytes)) {
        constexpr int64_t half = sizeof(typename Vec::V);
        for (; i + lanes <= n; i += lanes) {
            const int64_t at = i * ValueBytes;
            const auto lo = Add(Vec::load(pa + at), Vec::load(pb + at));
            const auto hi = Add(Vec::load(pa + at + half), Vec::load(pb + at + half));
            Vec::store(pd + at, lo);
            Vec::store(pd + at + half, hi);
        }
    }
    const int64_t at = i * ValueBytes;
    kAddRows[Entry].variants.at[0](pa + at, pb + at, pd + at, n - i);
}
