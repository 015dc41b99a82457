// The zoom engine's faster row kernels against its plain per-element kernels on
// random rows: every depth and mode they serve, with and without a mask, odd
// widths (across the scratch chunks), source pixel steps 1 to 6 (the one-load
// forms serve steps 1 and 3), pixel steps wider than the processed
// channels, and start offsets inside the rows.  The results must be equal bit
// for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "geometry/zoomKernels.h"
#include "support/zar_test.h"
#include "zar.h"

using namespace zt;

namespace {

struct RowShape {
    int32_t width, channels, srcPixelStep, dstPixelStep, dstStart;
};

RowShape randomShape(Rng& rng) {
    RowShape s;
    s.channels = rng.range(1, 5);
    s.width = rng.range(0, 3) == 0 ? rng.range(1, 9) : rng.range(100, 700);
    s.srcPixelStep = s.channels + rng.range(0, 1);
    s.dstPixelStep = s.channels + rng.range(0, 1);
    s.dstStart = rng.range(0, 3);
    return s;
}

template <typename T>
std::vector<T> randomValues(Rng& rng, size_t n) {
    std::vector<T> v(n);
    const int32_t maxValue = sizeof(T) == 1 ? 255 : 65535;
    for (T& x : v) x = static_cast<T>(rng.range(0, maxValue));
    return v;
}

// A random float in [lo, hi], sometimes landing on a half so that the rounding
// of ties is exercised.
float randomFloat(Rng& rng, float lo, float hi) {
    float unit = static_cast<float>(rng.next() % 1000001) / 1000000.0f;
    float v = lo + (hi - lo) * unit;
    if (rng.range(0, 7) == 0) v = static_cast<float>(static_cast<int32_t>(v)) + 0.5f;
    return v;
}

std::vector<char> maskBits(Rng& rng, int32_t bits) {
    std::vector<char> m((bits + 7) / 8 + 1);
    for (char& b : m) b = static_cast<char>(rng.next());
    return m;
}

// Source row and element tables for the horizontal pass: every element reads
// taps from elemOff - step to elemOff + 2 * step inside the row.
struct HorizontalInput {
    std::vector<int32_t> elemOff;
    std::vector<float> weights;
    int32_t count;
};

HorizontalInput horizontalInput(Rng& rng, const RowShape& s, int32_t mode, int32_t srcPixels) {
    HorizontalInput in;
    in.count = s.width * s.channels;
    in.elemOff.resize(in.count);
    const int32_t weightArrays = mode == ZAR_INTER_CUBIC ? 3 : 1;
    in.weights.resize(static_cast<size_t>(in.count) * weightArrays);
    for (int32_t c = 0; c < s.width; ++c) {
        int32_t pixel = rng.range(1, srcPixels - 3);
        float fraction = randomFloat(rng, 0.0f, mode == ZAR_INTER_CUBIC ? 2.0f : 1.0f);
        CubicWeights w = cubicWeights(fraction);
        for (int32_t k = 0; k < s.channels; ++k) {
            int32_t e = c * s.channels + k;
            in.elemOff[e] = pixel * s.srcPixelStep + k;
            if (mode == ZAR_INTER_CUBIC) {
                in.weights[e] = w.c1;
                in.weights[in.count + e] = w.c2;
                in.weights[2 * in.count + e] = w.c3;
            } else {
                in.weights[e] = fraction;
            }
        }
    }
    return in;
}

template <typename T>
void compareHorizontal(int32_t depth, int32_t mode, uint64_t seed) {
    Rng rng(seed);
    for (int n = 0; n < 60; ++n) {
        RowShape s = randomShape(rng);
        const int32_t srcPixels = rng.range(5, 900);
        std::vector<T> src = randomValues<T>(rng, static_cast<size_t>(srcPixels) * s.srcPixelStep);
        HorizontalInput in = horizontalInput(rng, s, mode, srcPixels);
        std::vector<float> fast(in.count + 1, -7.0f), plain(in.count + 1, -7.0f);
        ZoomKernels kf = selectZoomKernels(depth, mode, false, s.channels, s.srcPixelStep);
        ZoomKernels kp = selectZoomKernels(depth, mode, false, s.channels, s.srcPixelStep, true);
        ASSERT_NE(kf.horizontal, kp.horizontal);
        const char* row = reinterpret_cast<const char*>(src.data());
        kf.horizontal(row, fast.data(), in.elemOff.data(), in.weights.data(), in.count,
                      s.srcPixelStep);
        kp.horizontal(row, plain.data(), in.elemOff.data(), in.weights.data(), in.count,
                      s.srcPixelStep);
        ASSERT_EQ(0, std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(float)))
            << "depth " << depth << " mode " << mode << " case " << n;
    }
}

template <typename T>
void compareVertical(int32_t depth, int32_t mode, bool masked, uint64_t seed) {
    Rng rng(seed);
    const float hi = sizeof(T) == 1 ? 300.0f : 66000.0f;
    for (int n = 0; n < 60; ++n) {
        RowShape s = randomShape(rng);
        const int32_t count = s.width * s.channels;
        std::vector<std::vector<float>> rows(4, std::vector<float>(count));
        for (auto& r : rows)
            for (float& v : r) v = randomFloat(rng, -40.0f, hi);
        const float* work[4] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()};
        float fy = randomFloat(rng, 0.0f, 1.0f);
        CubicWeights cw = cubicWeights(randomFloat(rng, 0.0f, 2.0f));
        const void* rowWeight = mode == ZAR_INTER_CUBIC ? static_cast<const void*>(&cw)
                                                        : static_cast<const void*>(&fy);
        std::vector<char> bits = maskBits(rng, s.width + 9);
        MaskRow mask{masked ? bits.data() : nullptr, masked ? rng.range(0, 8) : 0};
        const size_t dstSize = static_cast<size_t>(s.dstStart) + s.width * s.dstPixelStep + 2;
        std::vector<T> fast = randomValues<T>(rng, dstSize);
        std::vector<T> plain = fast;
        ZoomKernels kf = selectZoomKernels(depth, mode, masked, s.channels, s.channels);
        ZoomKernels kp = selectZoomKernels(depth, mode, masked, s.channels, s.channels, true);
        ASSERT_NE(kf.vertical, kp.vertical);
        kf.vertical(work, rowWeight, reinterpret_cast<char*>(fast.data()), s.dstStart, s.width,
                    s.channels, s.dstPixelStep, mask);
        kp.vertical(work, rowWeight, reinterpret_cast<char*>(plain.data()), s.dstStart, s.width,
                    s.channels, s.dstPixelStep, mask);
        ASSERT_EQ(fast, plain) << "depth " << depth << " mode " << mode << " masked " << masked
                               << " case " << n;
    }
}

template <typename T>
void compareNearest(int32_t depth, uint64_t seed) {
    Rng rng(seed);
    for (int n = 0; n < 60; ++n) {
        RowShape s = randomShape(rng);
        const int32_t srcPixels = rng.range(1, 900);
        std::vector<T> src = randomValues<T>(rng, static_cast<size_t>(srcPixels) * s.srcPixelStep);
        std::vector<int32_t> colOff(s.width);
        for (int32_t& o : colOff) o = rng.range(0, srcPixels - 1) * s.srcPixelStep;
        const size_t dstSize = static_cast<size_t>(s.dstStart) + s.width * s.dstPixelStep + 2;
        std::vector<T> fast = randomValues<T>(rng, dstSize);
        std::vector<T> plain = fast;
        ZoomKernels kf = selectZoomKernels(depth, ZAR_INTER_NN, false, s.channels, s.srcPixelStep);
        ZoomKernels kp = selectZoomKernels(depth, ZAR_INTER_NN, false, s.channels, s.srcPixelStep,
                                           true);
        const char* row = reinterpret_cast<const char*>(src.data());
        MaskRow none{nullptr, 0};
        kf.nearest(row, reinterpret_cast<char*>(fast.data()), s.dstStart, colOff.data(), s.width,
                   s.channels, s.dstPixelStep, none);
        kp.nearest(row, reinterpret_cast<char*>(plain.data()), s.dstStart, colOff.data(), s.width,
                   s.channels, s.dstPixelStep, none);
        ASSERT_EQ(fast, plain) << "depth " << depth << " case " << n;
    }
}

}  // namespace

TEST(ZoomKernels, HorizontalPassesMatchThePlainLoops) {
    compareHorizontal<uint8_t>(ZAR_DEPTH_8U, ZAR_INTER_LINEAR, 11);
    compareHorizontal<uint16_t>(ZAR_DEPTH_16U, ZAR_INTER_LINEAR, 12);
    compareHorizontal<uint8_t>(ZAR_DEPTH_8U, ZAR_INTER_CUBIC, 13);
    compareHorizontal<uint16_t>(ZAR_DEPTH_16U, ZAR_INTER_CUBIC, 14);
}

// A shrink by about two on one-channel 8-bit rows: runs of consecutive pairs
// (read sixteen bytes at a time) broken by single steps of one or three, at
// random offsets and odd counts, against the plain loop.
TEST(ZoomKernels, LinearPairRunsMatchThePlainLoop) {
    Rng rng(31);
    for (int n = 0; n < 80; ++n) {
        const int32_t count = rng.range(1, 900);
        std::vector<int32_t> off(count);
        int32_t pos = rng.range(0, 5);
        for (int32_t e = 0; e < count; ++e) {
            off[e] = pos;
            pos += rng.range(0, 40) == 0 ? (rng.range(0, 1) ? 1 : 3) : 2;
        }
        std::vector<uint8_t> src = randomValues<uint8_t>(rng, static_cast<size_t>(pos) + 1);
        std::vector<float> weights(count);
        for (float& w : weights) w = randomFloat(rng, -0.00001f, 1.0f);
        std::vector<float> fast(count + 1, -7.0f), plain(count + 1, -7.0f);
        const char* row = reinterpret_cast<const char*>(src.data());
        selectZoomKernels(ZAR_DEPTH_8U, ZAR_INTER_LINEAR, false, 1, 1)
            .horizontal(row, fast.data(), off.data(), weights.data(), count, 1);
        selectZoomKernels(ZAR_DEPTH_8U, ZAR_INTER_LINEAR, false, 1, 1, true)
            .horizontal(row, plain.data(), off.data(), weights.data(), count, 1);
        ASSERT_EQ(0, std::memcmp(fast.data(), plain.data(), fast.size() * sizeof(float)))
            << "case " << n;
    }
}

TEST(ZoomKernels, VerticalPassesMatchThePlainLoops) {
    for (bool masked : {false, true}) {
        compareVertical<uint8_t>(ZAR_DEPTH_8U, ZAR_INTER_LINEAR, masked, 21);
        compareVertical<uint16_t>(ZAR_DEPTH_16U, ZAR_INTER_LINEAR, masked, 22);
        compareVertical<uint8_t>(ZAR_DEPTH_8U, ZAR_INTER_CUBIC, masked, 23);
        compareVertical<uint16_t>(ZAR_DEPTH_16U, ZAR_INTER_CUBIC, masked, 24);
    }
}

TEST(ZoomKernels, NearestRowsMatchThePlainLoop) {
    compareNearest<uint8_t>(ZAR_DEPTH_8U, 31);
    compareNearest<uint16_t>(ZAR_DEPTH_16U, 32);
}

// The vertical kernels saturate: values far outside the depth's range store its
// ends, and a linear value just below an integer is never rounded up.
TEST(ZoomKernels, VerticalSaturatesAndFloors) {
    std::vector<float> top = {-5.0f, 255.9f, 300.0f, 7.99f, 12.5f, 13.5f, 0.0f, 1000.0f, 3.0f};
    const float* work[2] = {top.data(), top.data()};
    float fy = 0.0f;
    std::vector<uint8_t> dst(top.size(), 9);
    ZoomKernels k = selectZoomKernels(ZAR_DEPTH_8U, ZAR_INTER_LINEAR, false, 1, 1);
    k.vertical(work, &fy, reinterpret_cast<char*>(dst.data()), 0, 9, 1, 1, MaskRow{nullptr, 0});
    EXPECT_EQ(dst, (std::vector<uint8_t>{0, 255, 255, 7, 12, 13, 0, 255, 3}));

    std::vector<float> wide(16, 70000.0f);
    wide[3] = -1.0f;
    wide[5] = 65534.7f;
    const float* work16[2] = {wide.data(), wide.data()};
    std::vector<uint16_t> dst16(16, 9);
    k = selectZoomKernels(ZAR_DEPTH_16U, ZAR_INTER_LINEAR, false, 1, 1);
    k.vertical(work16, &fy, reinterpret_cast<char*>(dst16.data()), 0, 16, 1, 1,
               MaskRow{nullptr, 0});
    std::vector<uint16_t> expected(16, 65535);
    expected[3] = 0;
    expected[5] = 65534;
    EXPECT_EQ(dst16, expected);
}

#if defined(ZAR_ZOOM_SSE2)
// The single-precision floor of the linear vertical pass against the double
// form nearestInt(v - 0.5 + 0.00001), saturated to both depths, for every float
// of magnitude at least 2^-10 in [-4, 131072] (values closer to zero give 0 in
// both, sampled below), four at a time.
TEST(ZoomKernels, SinglePrecisionFloorEqualsTheDoubleOne) {
    auto check = [](uint32_t firstBits, uint32_t lastBits) {
        int64_t mismatches = 0;
        for (uint64_t b = firstBits; b <= lastBits; b += 4) {
            float v[4];
            for (int32_t i = 0; i < 4; ++i) {
                uint32_t bits = static_cast<uint32_t>(std::min<uint64_t>(b + i, lastBits));
                std::memcpy(&v[i], &bits, 4);
            }
            int32_t fast[4];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(fast),
                             floorWithTolerance4(_mm_loadu_ps(v)));
            for (int32_t i = 0; i < 4; ++i) {
                int32_t ref = nearestInt(static_cast<double>(v[i]) - 0.5 + 0.00001);
                mismatches += std::clamp(ref, 0, 255) != std::clamp(fast[i], 0, 255);
                mismatches += std::clamp(ref, 0, 65535) != std::clamp(fast[i], 0, 65535);
            }
        }
        return mismatches;
    };
    auto bitsOf = [](float f) {
        uint32_t b;
        std::memcpy(&b, &f, 4);
        return b;
    };
    const float smallest = 1.0f / 1024.0f;
    EXPECT_EQ(0, check(bitsOf(smallest), bitsOf(131072.0f)));
    EXPECT_EQ(0, check(bitsOf(-smallest), bitsOf(-4.0f)));
    // hand-picked: just below and at the threshold, halves, zero and tiny values
    const float cases[] = {0.0f, -0.0f,      1e-30f, -1e-30f,   2.99999f, 2.9999905f,
                           0.5f, 254.99998f, 255.0f, 65534.99f, 65535.0f, -0.6f};
    for (float v : cases) {
        int32_t fast[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(fast), floorWithTolerance4(_mm_set1_ps(v)));
        int32_t ref = nearestInt(static_cast<double>(v) - 0.5 + 0.00001);
        EXPECT_EQ(std::clamp(ref, 0, 65535), std::clamp(fast[0], 0, 65535)) << v;
    }
}
#endif
