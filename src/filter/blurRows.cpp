// The plain row kernels of the integer box filter (the reference of the
// variants in blurRows_avx2.cpp and blurRows_avx512.cpp) and their table.
#include "filter/blurRows.h"

#include <type_traits>

#include "zar.h"

bool blurDivider16(int32_t area, BlurDivider16* divider) {
    if (area < 2 || int64_t{255} * area > 65535) return false;
    const float scale = static_cast<float>(1.0 / area);
    // fl(1/N) * N is exact in double (24 + 9 bits).
    const uint16_t bias = static_cast<double>(scale) * area < 1.0 ? 1 : 0;
    const int64_t largest = int64_t{255} * area - bias;
    // With m = ceil(2^L / N) = (2^L + excess) / N and S = jN + r (r < N),
    // S m / 2^L = j + (r + S excess / 2^L) / N, below j + 1 for every S up to
    // largest when largest * excess < 2^L.  The largest L with m < 2^16 leaves
    // the smallest relative excess.
    for (int32_t l = 31; l >= 16; --l) {
        const int64_t m = ((int64_t{1} << l) + area - 1) / area;
        if (m > 65535) continue;
        if (largest * (m * area - (int64_t{1} << l)) >= (int64_t{1} << l)) return false;
        *divider = {bias, static_cast<uint16_t>(m), l - 16};
        return true;
    }
    return false;
}

namespace {

// Windows of Lanes interleaved channels moved along the row, each channel's
// window held in a register so that the channels' additions overlap.
template <int32_t Lanes, class S>
void movingWindows(const S* __restrict sums, S* __restrict windows, int32_t count, int32_t reach) {
    S window[Lanes] = {};
    for (int32_t t = 0; t < reach; t += Lanes)
        for (int32_t l = 0; l < Lanes; ++l) window[l] = static_cast<S>(window[l] + sums[t + l]);
    for (int32_t e = 0; e < count; e += Lanes)
        for (int32_t l = 0; l < Lanes; ++l) {
            windows[e + l] = window[l];
            window[l] = static_cast<S>(window[l] + sums[e + l + reach] - sums[e + l]);
        }
}

// The window sums of a row (wrapping as S does; the true sums fit S): narrow
// windows column by column in whole-row passes that vectorise, wide ones by
// moving each window along the row.
template <class S>
void windowSums(const S* __restrict sums, S* __restrict windows, int32_t count, int32_t lanes,
                int32_t nCols) {
    const int32_t reach = nCols * lanes;
    if (nCols <= 8) {
        for (int32_t e = 0; e < count; ++e) windows[e] = sums[e];
        for (int32_t t = lanes; t < reach; t += lanes) {
            const S* __restrict column = sums + t;
            for (int32_t e = 0; e < count; ++e) windows[e] = static_cast<S>(windows[e] + column[e]);
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
                S window = 0;
                for (int32_t t = l; t < reach; t += lanes)
                    window = static_cast<S>(window + sums[t]);
                windows[l] = window;
            }
            for (int32_t e = lanes; e < count; ++e)
                windows[e] = static_cast<S>(windows[e - lanes] + sums[e - lanes + reach] -
                                            sums[e - lanes]);
    }
}

// The column sums moved down a row (wrapping as S does).
template <typename T, class S>
void moveSums(S* __restrict sums, const char* entering, const char* leaving, int32_t span) {
    const T* __restrict in = reinterpret_cast<const T*>(entering);
    const T* __restrict out = reinterpret_cast<const T*>(leaving);
    for (int32_t j = 0; j < span; ++j)
        sums[j] = static_cast<S>(sums[j] + static_cast<S>(in[j]) - static_cast<S>(out[j]));
}

// 8-bit values, 16-bit sums.
void blurRow8u16(const BlurRowArgs& a) {
    auto* sums = static_cast<uint16_t*>(a.sums);
    auto* windows = static_cast<uint16_t*>(a.windows);
    if (a.count > 0) windowSums(sums, windows, a.count, a.lanes, a.nCols);
    const BlurDivider16 d = a.divider;
    auto* out = reinterpret_cast<uint8_t*>(a.out);
    for (int32_t e = 0; e < a.count; ++e) {
        const uint32_t s = windows[e] > d.bias ? windows[e] - d.bias : 0;
        out[e] = static_cast<uint8_t>((s * d.multiplier) >> (16 + d.shift));
    }
    moveSums<uint8_t>(sums, a.entering, a.leaving, a.span);
}

// 32-bit sums of any integer depth: the double product of the sum (below 2^29
// in size) and the 24-bit scale is exact, and truncated it is the rule's result;
// the depth's low bits are stored.
template <typename T>
void blurRow32(const BlurRowArgs& a) {
    auto* sums = static_cast<uint32_t*>(a.sums);
    auto* windows = static_cast<uint32_t*>(a.windows);
    if (a.count > 0) windowSums(sums, windows, a.count, a.lanes, a.nCols);
    auto* out = reinterpret_cast<T*>(a.out);
    for (int32_t e = 0; e < a.count; ++e)
        out[e] = static_cast<T>(
            static_cast<int32_t>(static_cast<double>(static_cast<int32_t>(windows[e])) * a.scale));
    moveSums<T>(sums, a.entering, a.leaving, a.span);
}

}  // namespace

const BlurRowEntry kBlurRows[5] = {
    {ZAR_DEPTH_8U,
     16,
     {blurRow8u16, nullptr, ZAR_AVX2(blurRow8u16Avx2), ZAR_AVX512(blurRow8u16Avx512)}},
    {ZAR_DEPTH_8U, 32, {blurRow32<uint8_t>}},
    {ZAR_DEPTH_8S, 32, {blurRow32<int8_t>}},
    {ZAR_DEPTH_16U, 32, {blurRow32<uint16_t>, nullptr, ZAR_AVX2(blurRow16u32Avx2)}},
    {ZAR_DEPTH_16S, 32, {blurRow32<int16_t>, nullptr, ZAR_AVX2(blurRow16s32Avx2)}},
};

const BlurRowEntry* blurRowEntry(int32_t depth, int32_t sumBits) {
    for (const BlurRowEntry& entry : kBlurRows)
        if (entry.depth == depth && entry.sumBits == sumBits) return &entry;
    return nullptr;
}
