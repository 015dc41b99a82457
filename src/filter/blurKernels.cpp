// Box-filter kernels: running column sums moved down one row per result row and
// a running window sum moved along the row, so a result costs the same few
// additions whatever the neighbourhood size.  One kernel, specialised per depth
// family, masked and unmasked.
#include <cmath>
#include <type_traits>

#include "filter/filter.h"
#include "image/image.h"

namespace {

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

ExactScale exactScale(float scale) {
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

inline const char* rowAt(const char* first, int32_t step, int32_t row) {
    return first + static_cast<ptrdiff_t>(step) * row;
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
struct BitBlur {
    using Sum = int32_t;
    using Window = int32_t;
    using Scale = double;
    static Scale prepare(float scale) { return scale; }
    static Sum read(const char* row, const ChannelWalk& walk, int32_t j) {
        return getBit(reinterpret_cast<const uint8_t*>(row), walk.bitX + j);
    }
    static Sum add(Sum sum, Sum value) { return sum + value; }
    static Sum move(Sum sum, Sum entering, Sum leaving) { return sum + entering - leaving; }
    static void store(char* row, const ChannelWalk& walk, int32_t x, Window window, Scale scale) {
        putBit(reinterpret_cast<uint8_t*>(row), walk.bitX + x,
               static_cast<double>(window) * scale >= 0.5);
    }
};

// Per channel: column sums over the first nRows rows of the working block;
// per result row a window sum over nCols of them, moved along the row; then
// every column sum moved down one row.
template <class Depth, bool Masked>
bool blurChannels(const BlurJob& job) {
    using Sum = typename Depth::Sum;
    using Window = typename Depth::Window;
    const int32_t span = job.width + job.nCols;
    auto* sums = static_cast<Sum*>(alignedMalloc(sizeof(Sum) * span));
    if (!sums) return false;
    const auto scale = Depth::prepare(job.scale);
    for (int32_t c = 0; c < job.channels; ++c) {
        const char* src = job.src.first + c * job.src.channelStride;
        char* dst = job.dst.first + c * job.dst.channelStride;
        for (int32_t j = 0; j < span; ++j) sums[j] = Sum(0);
        for (int32_t r = 0; r < job.nRows; ++r) {
            const char* row = rowAt(src, job.src.step, r);
            for (int32_t j = 0; j < span; ++j)
                sums[j] = Depth::add(sums[j], Depth::read(row, job.src, j));
        }
        for (int32_t y = 0; y < job.height; ++y) {
            Window window = Window(0);
            for (int32_t j = 0; j < job.nCols; ++j) window += sums[j];
            char* out = dst + static_cast<ptrdiff_t>(job.dst.step) * y;
            const uint8_t* bits = Masked ? job.mask + static_cast<ptrdiff_t>(job.maskStep) * y
                                         : nullptr;
            for (int32_t x = 0; x < job.width; ++x) {
                if (!Masked || getBit(bits, job.maskBitX + x))
                    Depth::store(out, job.dst, x, window, scale);
                window += Window(sums[x + job.nCols]) - Window(sums[x]);
            }
            const char* leaving = rowAt(src, job.src.step, y);
            const char* entering = rowAt(src, job.src.step, y + job.nRows);
            for (int32_t j = 0; j < span; ++j)
                sums[j] = Depth::move(sums[j], Depth::read(entering, job.src, j),
                                      Depth::read(leaving, job.src, j));
        }
    }
    alignedFree(sums);
    return true;
}

// The unmasked kernel of the integer depths, done a row at a time in loops the
// compiler vectorises.  While every window sum S stays below 2^29 in size (the
// largest value times nCols * nRows), S * m is below 2^53 for the 24-bit m of
// the scale, so the double product S * scale is exact whatever the rounding
// mode and its truncation is the integer part that IntegerBlur takes by a
// shift; larger neighbourhoods go the IntegerBlur way.  Interleaved channels
// that are all processed share one pass: a row is then a run of values whose
// window sums take every lanes-th column sum.
// Windows of Lanes interleaved channels moved along the row, each channel's
// window held in a register so that the channels' additions overlap.
template <int32_t Lanes>
void movingWindows(const uint32_t* __restrict sums, uint32_t* __restrict windows, int32_t count,
                   int32_t reach) {
    uint32_t window[Lanes] = {};
    for (int32_t t = 0; t < reach; t += Lanes)
        for (int32_t l = 0; l < Lanes; ++l) window[l] += sums[t + l];
    for (int32_t e = 0; e < count; e += Lanes)
        for (int32_t l = 0; l < Lanes; ++l) {
            windows[e + l] = window[l];
            window[l] += sums[e + l + reach] - sums[e + l];
        }
}

// The window sums of a row: narrow windows column by column in whole-row
// passes that vectorise, wide ones by moving each window along the row.
void windowSums(const uint32_t* __restrict sums, uint32_t* __restrict windows, int32_t count,
                int32_t lanes, int32_t nCols) {
    const int32_t reach = nCols * lanes;
    if (nCols <= 8) {
        for (int32_t e = 0; e < count; ++e) windows[e] = sums[e];
        for (int32_t t = lanes; t < reach; t += lanes) {
            const uint32_t* __restrict column = sums + t;
            for (int32_t e = 0; e < count; ++e) windows[e] += column[e];
        }
        return;
    }
    switch (lanes) {
        case 1:
            return movingWindows<1>(sums, windows, count, reach);
        case 2:
            return movingWindows<2>(sums, windows, count, reach);
        case 3:
            return movingWindows<3>(sums, windows, count, reach);
        case 4:
            return movingWindows<4>(sums, windows, count, reach);
        default:
            for (int32_t l = 0; l < lanes; ++l) {
                uint32_t window = 0;
                for (int32_t t = l; t < reach; t += lanes) window += sums[t];
                windows[l] = window;
            }
            for (int32_t e = lanes; e < count; ++e)
                windows[e] = windows[e - lanes] + (sums[e - lanes + reach] - sums[e - lanes]);
    }
}

template <typename T, class Stride>
void blurIntegerPlane(const char* src, char* dst, const BlurJob& job, int32_t lanes, Stride stride,
                      uint32_t* __restrict sums, uint32_t* __restrict windows) {
    const int32_t count = job.width * lanes;
    const int32_t spanValues = (job.width + job.nCols) * lanes;
    const double scale = job.scale;
    for (int32_t j = 0; j < spanValues; ++j) sums[j] = 0;
    for (int32_t r = 0; r < job.nRows; ++r) {
        const T* __restrict row = reinterpret_cast<const T*>(rowAt(src, job.src.step, r));
        for (int32_t j = 0; j < spanValues; ++j) sums[j] += static_cast<uint32_t>(row[j * stride]);
    }
    for (int32_t y = 0; y < job.height; ++y) {
        windowSums(sums, windows, count, lanes, job.nCols);
        T* __restrict out = reinterpret_cast<T*>(dst + static_cast<ptrdiff_t>(job.dst.step) * y);
        for (int32_t e = 0; e < count; ++e)
            out[e * stride] = static_cast<T>(static_cast<int32_t>(
                static_cast<double>(static_cast<int32_t>(windows[e])) * scale));
        const T* __restrict leaving = reinterpret_cast<const T*>(rowAt(src, job.src.step, y));
        const T* __restrict entering = reinterpret_cast<const T*>(
            rowAt(src, job.src.step, y + job.nRows));
        for (int32_t j = 0; j < spanValues; ++j)
            sums[j] += static_cast<uint32_t>(entering[j * stride]) -
                       static_cast<uint32_t>(leaving[j * stride]);
    }
}

template <typename T>
bool blurIntegerRows(const BlurJob& job) {
    constexpr int64_t largestValue = sizeof(T) == 1 ? 255 : 65535;
    if (largestValue * job.nCols * job.nRows >= (int64_t{1} << 29) ||
        job.src.pixelStep != job.dst.pixelStep)
        return blurChannels<IntegerBlur<T>, false>(job);
    const int32_t pixelStep = job.src.pixelStep;
    const bool together = pixelStep > 1 && job.channels == pixelStep;
    const int32_t lanes = together ? pixelStep : 1;
    const size_t spanValues = static_cast<size_t>(job.width + job.nCols) * lanes;
    auto* sums = static_cast<uint32_t*>(
        alignedMalloc(sizeof(uint32_t) * (spanValues + static_cast<size_t>(job.width) * lanes)));
    if (!sums) return false;
    uint32_t* windows = sums + spanValues;
    const std::integral_constant<int32_t, 1> contiguous;
    for (int32_t c = 0; c < (together ? 1 : job.channels); ++c) {
        const char* src = job.src.first + c * job.src.channelStride;
        char* dst = job.dst.first + c * job.dst.channelStride;
        if (together || pixelStep == 1)
            blurIntegerPlane<T>(src, dst, job, lanes, contiguous, sums, windows);
        else
            blurIntegerPlane<T>(src, dst, job, 1, pixelStep, sums, windows);
    }
    alignedFree(sums);
    return true;
}

struct BlurKernelPair {
    int32_t depth;
    BlurKernel plain, masked;
    bool truncating;
};

constexpr BlurKernelPair kBlurKernels[] = {
    {ZAR_DEPTH_1U, blurChannels<BitBlur, false>, blurChannels<BitBlur, true>, false},
    {ZAR_DEPTH_8U, blurIntegerRows<uint8_t>, blurChannels<IntegerBlur<uint8_t>, true>, false},
    {ZAR_DEPTH_8S, blurIntegerRows<int8_t>, blurChannels<IntegerBlur<int8_t>, true>, false},
    {ZAR_DEPTH_16U, blurIntegerRows<uint16_t>, blurChannels<IntegerBlur<uint16_t>, true>, false},
    {ZAR_DEPTH_16S, blurIntegerRows<int16_t>, blurChannels<IntegerBlur<int16_t>, true>, false},
    {ZAR_DEPTH_32S, blurChannels<FloatBlur<int32_t>, false>, blurChannels<FloatBlur<int32_t>, true>,
     true},
    {ZAR_DEPTH_32F, blurChannels<FloatBlur<float>, false>, blurChannels<FloatBlur<float>, true>,
     true},
};

}  // namespace

BlurKernel selectBlurKernel(int32_t depth, bool masked, bool* truncating) {
    for (const BlurKernelPair& entry : kBlurKernels)
        if (entry.depth == depth) {
            *truncating = entry.truncating;
            return masked ? entry.masked : entry.plain;
        }
    *truncating = false;
    return nullptr;
}
