// Box-filter kernels: running column sums moved down one row per result row and
// a running window sum moved along the row, so a result costs the same few
// additions whatever the neighbourhood size.  One kernel, specialised per depth
// family, masked and unmasked.
#include <cmath>
#include <type_traits>

#include "filter/blurArithmetic.h"
#include "filter/blurRows.h"
#include "filter/filter.h"
#include "image/image.h"

namespace {

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
    constexpr double largestValue = sizeof(T) == 1 ? 255 : 65535;  // a product past int64 too
    const int32_t pixelStep = job.src.pixelStep;
    const bool together = pixelStep > 1 && job.channels == pixelStep;
    if (largestValue * job.nCols * job.nRows >= 0x1p29 || pixelStep != job.dst.pixelStep ||
        (pixelStep > 1 && !together))
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
    args.outAhead = 2 * static_cast<ptrdiff_t>(job.dst.step);
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
