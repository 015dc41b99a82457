// Box-filter kernels: running column sums moved down one row per result row and
// a running window sum moved along the row, so a result costs the same few
// additions whatever the neighbourhood size.  One kernel, specialised per depth
// family, masked and unmasked.
#include <cmath>
#include <type_traits>

#include "filter/blurRows.h"
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

// Column sums per channel over the first nRows source rows; per result row a
// window sum over nCols of them, moved along the row; then every column sum
// moved down one row.
template <class Depth, bool Masked>
bool blurChannels(const BlurJob& job) {
    using Sum = typename Depth::Sum;
    using Window = typename Depth::Window;
    const int32_t span = job.width + job.nCols;
    auto* sums = static_cast<Sum*>(alignedMalloc(sizeof(Sum) * span * job.channels));
    if (!sums) return false;
    const auto scale = Depth::prepare(job.scale);
    const ptrdiff_t step = job.src.step, channelStride = job.src.channelStride;
    const char* top = job.rows.at(0);
    for (int32_t c = 0; top && c < job.channels; ++c) {
        Sum* s = sums + static_cast<ptrdiff_t>(c) * span;
        for (int32_t j = 0; j < span; ++j) s[j] = Sum(0);
        for (int32_t r = 0; r < job.nRows; ++r) {
            const char* row = top + r * step + c * channelStride;
            for (int32_t j = 0; j < span; ++j)
                s[j] = Depth::add(s[j], Depth::read(row, job.src, j));
        }
    }
    bool ok = top != nullptr;
    for (int32_t y = 0; ok && y < job.height; ++y) {
        const char* leaving = job.rows.at(y);
        ok = leaving != nullptr;
        for (int32_t c = 0; ok && c < job.channels; ++c) {
            Sum* s = sums + static_cast<ptrdiff_t>(c) * span;
            Window window = Window(0);
            for (int32_t j = 0; j < job.nCols; ++j) window += s[j];
            char* out = job.dst.first + c * job.dst.channelStride +
                        static_cast<ptrdiff_t>(job.dst.step) * y;
            const uint8_t* bits = Masked ? job.mask + static_cast<ptrdiff_t>(job.maskStep) * y
                                         : nullptr;
            for (int32_t x = 0; x < job.width; ++x) {
                if (!Masked || getBit(bits, job.maskBitX + x))
                    Depth::store(out, job.dst, x, window, scale);
                window += Window(s[x + job.nCols]) - Window(s[x]);
            }
            const char* from = leaving + c * channelStride;
            const char* to = from + job.nRows * step;
            for (int32_t j = 0; j < span; ++j)
                s[j] = Depth::move(s[j], Depth::read(to, job.src, j),
                                   Depth::read(from, job.src, j));
        }
    }
    alignedFree(sums);
    return ok;
}

template <typename T>
constexpr int32_t depthOf() {
    if constexpr (sizeof(T) == 1) return std::is_signed_v<T> ? ZAR_DEPTH_8S : ZAR_DEPTH_8U;
    return std::is_signed_v<T> ? ZAR_DEPTH_16S : ZAR_DEPTH_16U;
}

// The first nRows source rows of each plane summed into its column sums.
template <typename T, class S>
void startSums(const BlurJob& job, const char* top, int32_t planes, int32_t span, S* sums) {
    for (int32_t c = 0; c < planes; ++c) {
        S* __restrict s = sums + static_cast<ptrdiff_t>(c) * span;
        for (int32_t j = 0; j < span; ++j) s[j] = 0;
        for (int32_t r = 0; r < job.nRows; ++r) {
            const T* __restrict row = reinterpret_cast<const T*>(top + r * job.src.step +
                                                                 c * job.src.channelStride);
            for (int32_t j = 0; j < span; ++j) s[j] = static_cast<S>(s[j] + static_cast<S>(row[j]));
        }
    }
}

// The unmasked kernel of the integer depths, a result row at a time by the row
// kernels of blurRows.h: 16-bit column sums for 8-bit values where the sums
// fit and a 16-bit divider is exact, else 32-bit sums while every window sum
// stays below 2^29 in size (so that its double product with the 24-bit scale
// is exact); larger neighbourhoods, and channels picked out of interleaved
// pixels, go the IntegerBlur way.  Interleaved channels that are all processed
// share one pass: a row is then a run of values whose window sums take every
// lanes-th column sum.
template <typename T>
bool blurIntegerRows(const BlurJob& job) {
    constexpr int64_t largestValue = sizeof(T) == 1 ? 255 : 65535;
    const int32_t pixelStep = job.src.pixelStep;
    const bool together = pixelStep > 1 && job.channels == pixelStep;
    if (largestValue * job.nCols * job.nRows >= (int64_t{1} << 29) ||
        pixelStep != job.dst.pixelStep || (pixelStep > 1 && !together))
        return blurChannels<IntegerBlur<T>, false>(job);
    const int32_t lanes = together ? pixelStep : 1, planes = together ? 1 : job.channels;
    BlurRowArgs args{};
    const bool narrow = depthOf<T>() == ZAR_DEPTH_8U &&
                        blurDivider16(job.nCols * job.nRows, &args.divider);
    const BlurRowFn row = blurRowEntry(depthOf<T>(), narrow ? 16 : 32)->variants.pick();
    const size_t sumBytes = narrow ? 2 : 4;
    args.count = job.width * lanes;
    args.span = (job.width + job.nCols) * lanes;
    args.lanes = lanes;
    args.nCols = job.nCols;
    args.scale = job.scale;
    char* memory = static_cast<char*>(
        alignedMalloc(sumBytes * (static_cast<size_t>(args.span) * planes + args.count)));
    if (!memory) return false;
    args.windows = memory + sumBytes * args.span * planes;
    const char* top = job.rows.at(0);
    if (top && narrow)
        startSums<T>(job, top, planes, args.span, reinterpret_cast<uint16_t*>(memory));
    else if (top)
        startSums<T>(job, top, planes, args.span, reinterpret_cast<uint32_t*>(memory));
    bool ok = top != nullptr;
    for (int32_t y = 0; ok && y < job.height; ++y) {
        const char* base = job.rows.at(y);
        ok = base != nullptr;
        for (int32_t c = 0; ok && c < planes; ++c) {
            args.sums = memory + sumBytes * args.span * c;
            args.leaving = base + c * job.src.channelStride;
            args.entering = args.leaving + job.nRows * job.src.step;
            args.out = job.dst.first + c * job.dst.channelStride +
                       static_cast<ptrdiff_t>(job.dst.step) * y;
            row(args);
        }
    }
    alignedFree(memory);
    return ok;
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
