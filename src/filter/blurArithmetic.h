// The arithmetic of the box filter per depth family, shared by the kernels
// and the large-window path: how a value enters a column sum, how a column sum
// moves down a row, and how a window sum becomes a result.  Every kernel and
// path goes through these, so their results agree to the bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "filter/filter.h"
#include "image/rows.h"

// The single-precision scale written as m / 2^k with an integer m of at most 24
// bits.  The exact product of a 32-bit sum and the scale is then the integer
// S * m (at most 55 bits) over a power of two, so its integer part comes out
// exactly by a shift that rounds toward zero: the same value as the product
// taken in the floating-point unit under rounding toward zero and truncated
// (the unit's result lies between the exact product and its integer part,
// which the 53-bit significand represents).
struct ExactScale {
    int64_t m;
    int32_t k;
};

inline ExactScale exactScale(float scale) {
    int exponent = 0;
    float fraction = std::frexp(scale, &exponent);  // scale = fraction * 2^exponent
    ExactScale exact{static_cast<int64_t>(std::ldexp(fraction, 24)), 24 - exponent};
    // |S * m| < 2^55: a shift of 56 or more leaves nothing.
    if (exact.k > 62) exact = {0, 0};
    return exact;
}

inline int64_t integerPart(int64_t product, int32_t k) {
    const int64_t towardZero = (product >> 63) & ((int64_t{1} << k) - 1);
    return (product + towardZero) >> k;
}

// 8U, 8S, 16U, 16S: 32-bit column and window sums (wrapping as 32-bit integers
// do); the result is the integer part of S * scale, of which the depth's low
// bits are stored.
template <typename T>
struct IntegerBlur {
    using Sum = uint32_t;
    using Window = uint32_t;
    using Scale = ExactScale;
    static Scale prepare(float scale) { return exactScale(scale); }
    static Sum read(const char* row, const ChannelWalk& walk, int32_t j) {
        return static_cast<Sum>(reinterpret_cast<const T*>(row)[j * walk.pixelStep]);
    }
    static Sum add(Sum sum, Sum value) { return sum + value; }
    static Sum move(Sum sum, Sum entering, Sum leaving) { return sum + entering - leaving; }
    static void store(char* row, const ChannelWalk& walk, int32_t x, Window window, Scale scale) {
        const int64_t product = static_cast<int64_t>(static_cast<int32_t>(window)) * scale.m;
        reinterpret_cast<T*>(row)[x * walk.pixelStep] = static_cast<T>(
            integerPart(product, scale.k));
    }
};

// 32S and 32F: single-precision column sums, the window sum in double
// precision.  Runs under rounding toward zero (set by the caller), which
// governs every rounding here; each addition to a column sum is rounded to
// single precision.
template <typename T>
struct FloatBlur {
    using Sum = float;
    using Window = double;
    using Scale = float;
    static Scale prepare(float scale) { return scale; }
    // 32S values enter as 32-bit integers, so that a column moves by their
    // 32-bit integer difference.
    static T read(const char* row, const ChannelWalk& walk, int32_t j) {
        return reinterpret_cast<const T*>(row)[j * walk.pixelStep];
    }
    static Sum add(Sum sum, T value) {
        return static_cast<float>(static_cast<double>(value) + static_cast<double>(sum));
    }
    static Sum move(Sum sum, T entering, T leaving) {
        double difference;
        if constexpr (std::is_same_v<T, int32_t>)
            difference = static_cast<int32_t>(static_cast<uint32_t>(entering) -
                                              static_cast<uint32_t>(leaving));
        else
            difference = static_cast<double>(entering) - static_cast<double>(leaving);
        return static_cast<float>(difference + static_cast<double>(sum));
    }
    static void store(char* row, const ChannelWalk& walk, int32_t x, Window window, Scale scale) {
        T& out = reinterpret_cast<T*>(row)[x * walk.pixelStep];
        if constexpr (std::is_same_v<T, int32_t>)  // truncated, low 32 bits
            out = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(window * scale)));
        else
            out = static_cast<float>(window * scale);
    }
};

// 1U: counts of set bits; a result bit is 1 when count * scale >= 0.5 (in
// double precision, under the caller's rounding mode).
// The counts are 32-bit and wrap as 32-bit integers do (a window of 2^32 set
// bits counts 0); the count is taken as a signed 32-bit integer.
struct BitBlur {
    using Sum = uint32_t;
    using Window = uint32_t;
    using Scale = double;
    static Scale prepare(float scale) { return scale; }
    static Sum read(const char* row, const ChannelWalk& walk, int32_t j) {
        return static_cast<Sum>(getBit(reinterpret_cast<const uint8_t*>(row), walk.bitX + j));
    }
    static Sum add(Sum sum, Sum value) { return sum + value; }
    static Sum move(Sum sum, Sum entering, Sum leaving) { return sum + entering - leaving; }
    static void store(char* row, const ChannelWalk& walk, int32_t x, Window window, Scale scale) {
        putBit(reinterpret_cast<uint8_t*>(row), walk.bitX + x,
               static_cast<double>(static_cast<int32_t>(window)) * scale >= 0.5);
    }
};
