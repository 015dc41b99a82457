// zarFixedFilter: the check table with its reported and returned codes,
// hand-worked results per filter and depth, a naive reference over random
// cases and tiled images against plain ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <utility>
#include <vector>

#include "support/filter_support.h"
#include "support/image_support.h"
#include "support/zar_test.h"

namespace {

using ft::expectSame;
using ft::fill;
using ft::kReplicate;
using ft::kZeros;
using zt::getSample;
using zt::setSample;

// ------------------------------------------------------------ reference

struct Kernel {
    int32_t size;
    std::vector<int32_t> k;  // size x size, row 0 above
};

Kernel kernelOf(int32_t filter) {
    switch (filter) {
        case 0:
            return {3, {1, 0, -1, 1, 0, -1, 1, 0, -1}};
        case 1:
            return {3, {-1, -1, -1, 0, 0, 0, 1, 1, 1}};
        case 2:
            return {3, {1, 0, -1, 2, 0, -2, 1, 0, -1}};
        case 3:
            return {3, {-1, -2, -1, 0, 0, 0, 1, 2, 1}};
        case 4:
        case 8:
            return {3, {-1, -1, -1, -1, 8, -1, -1, -1, -1}};
        case 5:
            return {5, {-1, -3, -4, -3, -1, -3, 0,  6,  0,  -3, -4, 6, 20,
                        6,  -4, -3, 0,  6,  0,  -3, -1, -3, -4, -3, -1}};
        case 6:
            return {3, {1, 2, 1, 2, 4, 2, 1, 2, 1}};
        case 7:
            return {5, {2,  7,  12, 7,  2,  7,  31, 52, 31, 7,  12, 52, 127,
                        52, 12, 7,  31, 52, 31, 7,  2,  7,  12, 7,  2}};
        case 9: {
            std::vector<int32_t> k(25, -1);
            k[12] = 24;
            return {5, k};
        }
        default:
            return {3, {-1, -1, -1, -1, 16, -1, -1, -1, -1}};
    }
}

float f32(double v) { return static_cast<float>(v); }

// The single-precision factored form for the float paths, per pixel: each
// row's horizontal value rounded to single precision, the vertical
// combination likewise, then the division by a power of two.
float floatResult(int32_t filter, const std::vector<std::vector<float>>& v) {
    using Row = std::vector<float>;
    const auto weighted = [&](const Row& r, const double* w) {
        double t = w[0] * double(r[0]);
        for (int i = 1; i < 5; ++i) t += w[i] * double(r[i]);
        return f32(t);
    };
    switch (filter) {
        case 0:
        case 2: {
            float d[3];
            for (int r = 0; r < 3; ++r) d[r] = f32(double(v[r][0]) - double(v[r][2]));
            return f32(double(d[0]) + (filter == 2 ? 2.0 : 1.0) * d[1] + double(d[2]));
        }
        case 1:
        case 3: {
            float s[3];
            const double c = filter == 3 ? 2.0 : 1.0;
            for (int r = 0; r < 3; ++r) s[r] = f32(double(v[r][0]) + c * v[r][1] + double(v[r][2]));
            return f32(double(s[2]) - double(s[0]));
        }
        case 4:
        case 8:
        case 10: {
            float box[3];
            for (int r = 0; r < 3; ++r) box[r] = f32(double(v[r][0]) + double(v[r][1]) + v[r][2]);
            const float centre = f32((filter == 10 ? 17.0 : 9.0) * v[1][1]);
            const float result = f32(double(centre) - (double(box[0]) + box[1] + box[2]));
            return filter == 10 ? result * 0.125f : result;
        }
        case 6: {
            float s[3];
            for (int r = 0; r < 3; ++r)
                s[r] = f32(double(v[r][0]) + 2.0 * v[r][1] + double(v[r][2]));
            return f32(double(s[0]) + 2.0 * s[1] + double(s[2])) * 0.0625f;
        }
        case 9: {
            float box[5];
            for (int r = 0; r < 5; ++r) {
                double t = v[r][0];
                for (int i = 1; i < 5; ++i) t += v[r][i];
                box[r] = f32(t);
            }
            const float centre = f32(25.0 * v[2][2]);
            double boxes = box[0];
            for (int r = 1; r < 5; ++r) boxes += box[r];
            return f32(double(centre) - boxes);
        }
        default: {  // 5 and 7
            double a[5], b[5], c[5];
            const double laplace[3][5] = {
                {-1, -3, -4, -3, -1}, {-3, 0, 6, 0, -3}, {-4, 6, 20, 6, -4}};
            const int gauss[3][5] = {{2, 7, 12, 7, 2}, {7, 31, 52, 31, 7}, {12, 52, 127, 52, 12}};
            for (int i = 0; i < 5; ++i) {
                a[i] = filter == 5 ? laplace[0][i] : double(gauss[0][i] / 571.0f);
                b[i] = filter == 5 ? laplace[1][i] : double(gauss[1][i] / 571.0f);
                c[i] = filter == 5 ? laplace[2][i] : double(gauss[2][i] / 571.0f);
            }
            return f32(double(weighted(v[0], a)) + weighted(v[1], b) + weighted(v[2], c) +
                       weighted(v[3], b) + weighted(v[4], a));
        }
    }
}

// One result by the rules of the filter and the depth.
double filterResult(int32_t filter, int32_t depth, const std::vector<std::vector<double>>& v) {
    const Kernel kernel = kernelOf(filter);
    const int32_t n = kernel.size;
    if (depth != ZAR_DEPTH_1U && depth != ZAR_DEPTH_32S && depth != ZAR_DEPTH_32F && filter != 7) {
        int64_t sum = 0;
        for (int32_t r = 0; r < n; ++r)
            for (int32_t c = 0; c < n; ++c) sum += kernel.k[r * n + c] * int64_t(v[r][c]);
        if (filter == 6) sum = ft::divideHalfEven(sum, 4);
        if (filter == 10) sum = ft::divideHalfEven(sum, 3);
        return double(std::clamp(sum, ft::depthMin(depth), ft::depthMax(depth)));
    }
    if (depth == ZAR_DEPTH_1U) {
        int64_t sum = 0, ones = 0;
        for (int32_t r = 0; r < n; ++r)
            for (int32_t c = 0; c < n; ++c) {
                sum += kernel.k[r * n + c] * int64_t(v[r][c]);
                ones += int64_t(v[r][c]);
            }
        const bool centre = v[n / 2][n / 2] != 0;
        switch (filter) {
            case 10:
                return centre;  // not filtered: copied
            case 4:
            case 8:
            case 9:
                return centre && ones != n * n;
            case 6:
                return sum > 7;
            case 7:
                return sum > 285;
            case 5:
                return sum > 0;
            default:
                return sum >= 1;
        }
    }
    std::vector<std::vector<float>> values(n, std::vector<float>(n));
    for (int32_t r = 0; r < n; ++r)
        for (int32_t c = 0; c < n; ++c) values[r][c] = f32(v[r][c]);
    const float result = floatResult(filter, values);
    if (depth == ZAR_DEPTH_32F) return result;
    const double lo = double(ft::depthMin(depth)), hi = double(ft::depthMax(depth));
    return std::clamp(std::nearbyint(double(result)), lo, hi);
}

int32_t coiOf(const ImageHeader* image) { return image->roi ? image->roi->coi : 0; }

// The filter of src into a copy of dst's pixels, by the rules.
zt::Image referenceFilter(const ImageHeader* src, const ImageHeader* dst, int32_t filter) {
    zt::Image out = ft::copyOf(dst);
    const ft::Region s = ft::regionOf(src), d = ft::regionOf(dst);
    int32_t w = 0, h = 0;
    ft::processedSize(src, dst, &w, &h);
    std::vector<std::pair<int32_t, int32_t>> channels;  // source, destination
    if (coiOf(dst))
        channels.push_back({coiOf(src) ? coiOf(src) - 1 : 0, coiOf(dst) - 1});
    else
        for (int32_t c = 0; c < dst->nChannels - (src->alphaChannel || dst->alphaChannel); ++c)
            channels.push_back({c, c});
    const Kernel kernel = kernelOf(filter);
    const int32_t anchor = kernel.size / 2;
    std::vector<std::vector<double>> v(kernel.size, std::vector<double>(kernel.size));
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) {
            if (!ft::maskAllows(src, i, j) || !ft::maskAllows(dst, i, j)) continue;
            for (auto [sc, dc] : channels) {
                for (int32_t r = 0; r < kernel.size; ++r)
                    for (int32_t c = 0; c < kernel.size; ++c)
                        v[r][c] = ft::borderSample(src, s.x + i - anchor + c, s.y + j - anchor + r,
                                                   sc);
                setSample(out.get(), d.x + i, d.y + j, dc, filterResult(filter, src->depth, v));
            }
        }
    return out;
}

// ---------------------------------------------------------------- checks

struct FixedFilterChecks : ::testing::Test {
    zt::ErrorRecorder recorder;
    zt::Image src{3, 0, ZAR_DEPTH_8U, 0, 6, 5};
    zt::Image dst{3, 0, ZAR_DEPTH_8U, 0, 6, 5};

    void expectReport(ZarStatus status, const char* context, int32_t line) {
        zt::expectReport(recorder, status, "zarFixedFilter", context, "zarnlf", line);
    }
};

TEST_F(FixedFilterChecks, InvalidHeaders) {
    EXPECT_EQ(zarFixedFilter(nullptr, dst, 0), STATUS_NULL_HEADER);
    expectReport(STATUS_NULL_HEADER, "Incorrect Image", 6165);
    recorder.clear();
    EXPECT_EQ(zarFixedFilter(src, nullptr, 0), STATUS_NULL_HEADER);
    expectReport(STATUS_NULL_HEADER, "Incorrect Image", 6166);
}

TEST_F(FixedFilterChecks, SameImage) {
    EXPECT_EQ(zarFixedFilter(src, src, 0), STATUS_BAD_ARG);
    expectReport(STATUS_BAD_ARG, "(srcImage==dstImage)", 6167);
}

TEST_F(FixedFilterChecks, ReportedAndReturnedCodesDiffer) {
    zt::Image depth(3, 0, ZAR_DEPTH_16U, 0, 6, 5);
    EXPECT_EQ(zarFixedFilter(src, depth, 0), STATUS_BAD_DEPTH);
    expectReport(STATUS_BAD_ARG, "srcImage->depth!=dstImage->depth", 6168);
    recorder.clear();
    zt::Image channels(2, 0, ZAR_DEPTH_8U, 0, 6, 5);
    EXPECT_EQ(zarFixedFilter(src, channels, 0), STATUS_BAD_CHANNELS);
    expectReport(STATUS_BAD_ARG, "srcImage->nChannels!=dstImage->nChannels", 6170);
    recorder.clear();
    zt::Image alpha(3, 3, ZAR_DEPTH_8U, 0, 6, 5);
    EXPECT_EQ(zarFixedFilter(src, alpha, 0), STATUS_BAD_ALPHA);
    expectReport(STATUS_BAD_ARG, "srcImage->alphaChannel!=dstImage->alphaChannel", 6172);
    recorder.clear();
    zt::Image planes(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 6, 5);
    EXPECT_EQ(zarFixedFilter(src, planes, 0), STATUS_BACKTRACE);
    expectReport(STATUS_BAD_ARG, "srcImage->dataOrder!=dstImage->dataOrder", 6182);
}

TEST_F(FixedFilterChecks, BitImagesMayDifferInDataOrder) {
    zt::Image a(1, 0, ZAR_DEPTH_1U, 0, 6, 5), b(1, 0, ZAR_DEPTH_1U, 1, 6, 5);
    EXPECT_EQ(zarFixedFilter(a, b, ZAR_FIXED_GAUSS_3), STATUS_OK);
    EXPECT_TRUE(recorder.reports().empty());
}

TEST_F(FixedFilterChecks, ChannelCountsOfInterest) {
    src.randomize(1);
    src.setRoi(2, 0, 0, 6, 5);
    EXPECT_EQ(zarFixedFilter(src, dst, 0), STATUS_BAD_COI);
    expectReport(STATUS_BAD_COI, "Number of interset channel input and output Image is not equal.",
                 6213);
    for (int32_t c = 0; c < 3; ++c) EXPECT_EQ(getSample(dst, 2, 2, c), 0);
}

TEST_F(FixedFilterChecks, CoiBeyondTheChannelsFailsValidationFirst) {
    Roi roi{4, 0, 0, 6, 5};
    src->roi = &roi;
    EXPECT_EQ(zarFixedFilter(src, dst, 0), STATUS_BAD_COI);
    src->roi = nullptr;
    expectReport(STATUS_BAD_COI, "Incorrect Image", 6165);
}

TEST_F(FixedFilterChecks, UnknownFilter) {
    EXPECT_EQ(zarFixedFilter(src, dst, -1), STATUS_BAD_ARG);
    expectReport(STATUS_BAD_ARG, "Unknow filter.", 6283);
    recorder.clear();
    EXPECT_EQ(zarFixedFilter(src, dst, 11), STATUS_BAD_ARG);
    expectReport(STATUS_BAD_ARG, "Unknow filter.", 6283);
}

TEST_F(FixedFilterChecks, StaleNegativeStatusEndsTheCall) {
    zarSetStatus(STATUS_NO_MEMORY);
    src.randomize(2);
    EXPECT_EQ(zarFixedFilter(src, dst, 6), STATUS_NO_MEMORY);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(getSample(dst, 3, 3, 0), 0);
}

TEST_F(FixedFilterChecks, OnlyAlphaToProcess) {
    zt::Image a(1, 1, ZAR_DEPTH_8U, 0, 6, 5), b(1, 1, ZAR_DEPTH_8U, 0, 6, 5, 4, 9);
    a.randomize(3);
    EXPECT_EQ(zarFixedFilter(a, b, -7), STATUS_OK);  // ends before the filter check
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(getSample(b, 2, 2, 0), 9);
}

TEST_F(FixedFilterChecks, EmptyRegion) {
    src.randomize(4);
    dst.setRoi(0, 1, 5, 3, 3);  // starts below the image
    EXPECT_EQ(zarFixedFilter(src, dst, 6), STATUS_OK);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(getSample(dst, 1, 4, 0), 0);
}

// ----------------------------------------------------------- hand-worked

struct FixedFilterCases : ::testing::Test {
    zt::ErrorRecorder recorder;
};

TEST_F(FixedFilterCases, GaussThreeRoundsHalvesToEven) {
    // A single pixel p: its own weighted sum is 4p.  8 -> 0.5 -> 0, 24 -> 1.5 -> 2,
    // 40 -> 2.5 -> 2, 36 -> 2.25 -> 2, 28 -> 1.75 -> 2.
    const int32_t centres[] = {2, 6, 10, 9, 7};
    const double results[] = {0, 2, 2, 2, 2};
    const double beside[] = {0, 1, 1, 1, 1};  // 2p / 16
    for (int i = 0; i < 5; ++i) {
        zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 3, 3), dst(1, 0, ZAR_DEPTH_8U, 0, 3, 3);
        setSample(src, 1, 1, 0, centres[i]);
        EXPECT_EQ(zarFixedFilter(src, dst, ZAR_FIXED_GAUSS_3), STATUS_OK);
        EXPECT_EQ(getSample(dst, 1, 1, 0), results[i]) << centres[i];
        EXPECT_EQ(getSample(dst, 0, 1, 0), beside[i]) << centres[i];
    }
}

TEST_F(FixedFilterCases, SharpenKeepsConstantsOnEveryIntegerDepth) {
    const std::pair<int32_t, double> cases[] = {
        {ZAR_DEPTH_8U, 200}, {ZAR_DEPTH_8S, -1},     {ZAR_DEPTH_8S, -128}, {ZAR_DEPTH_16U, 65535},
        {ZAR_DEPTH_16S, -1}, {ZAR_DEPTH_16S, 32767}, {ZAR_DEPTH_32S, -5},  {ZAR_DEPTH_32F, 2.5}};
    for (auto [depth, value] : cases) {
        zt::Image src(2, 0, depth, 0, 5, 4), dst(2, 0, depth, 0, 5, 4);
        fill(src, value);
        ft::setBorders(src, kReplicate, kZeros);
        EXPECT_EQ(zarFixedFilter(src, dst, ZAR_FIXED_SHARPEN_3), STATUS_OK);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 5; ++x)
                for (int32_t c = 0; c < 2; ++c)
                    ASSERT_EQ(getSample(dst, x, y, c), value) << depth << " " << value;
    }
}

TEST_F(FixedFilterCases, SignedBiasIsRemoved) {
    // Gauss on -1 everywhere gives -1; a lone -2 at the centre of zeros gives
    // -8 / 16 = -0.5 -> 0 (even); a lone -6 gives -24 / 16 = -1.5 -> -2.
    for (int32_t depth : {ZAR_DEPTH_8S, ZAR_DEPTH_16S}) {
        zt::Image src(1, 0, depth, 0, 3, 3), dst(1, 0, depth, 0, 3, 3);
        fill(src, -1);
        ft::setBorders(src, kReplicate, kZeros);
        zarFixedFilter(src, dst, ZAR_FIXED_GAUSS_3);
        EXPECT_EQ(getSample(dst, 0, 0, 0), -1);
        fill(src, 0);
        ft::setBorders(src, kZeros, kZeros);
        setSample(src, 1, 1, 0, -2);
        zarFixedFilter(src, dst, ZAR_FIXED_GAUSS_3);
        EXPECT_EQ(getSample(dst, 1, 1, 0), 0);
        setSample(src, 1, 1, 0, -6);
        zarFixedFilter(src, dst, ZAR_FIXED_GAUSS_3);
        EXPECT_EQ(getSample(dst, 1, 1, 0), -2);
    }
}

TEST_F(FixedFilterCases, PrewittAndSobelDirections) {
    zt::Image rising(1, 0, ZAR_DEPTH_8U, 0, 5, 4), falling(1, 0, ZAR_DEPTH_8U, 0, 5, 4);
    zt::Image dst(1, 0, ZAR_DEPTH_8U, 0, 5, 4);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            setSample(rising, x, y, 0, 10 * x);
            setSample(falling, x, y, 0, 100 - 10 * x);
        }
    ft::setBorders(rising, kReplicate, kZeros);
    ft::setBorders(falling, kReplicate, kZeros);
    zarFixedFilter(rising, dst, ZAR_FIXED_PREWITT_X);
    EXPECT_EQ(getSample(dst, 2, 1, 0), 0);  // -60 saturates
    zarFixedFilter(falling, dst, ZAR_FIXED_PREWITT_X);
    EXPECT_EQ(getSample(dst, 2, 1, 0), 60);  // 3 rows of 20
    zarFixedFilter(falling, dst, ZAR_FIXED_SOBEL_X);
    EXPECT_EQ(getSample(dst, 2, 1, 0), 80);  // 20 + 40 + 20
    // Rows getting brighter downward: Prewitt Y positive.
    zt::Image down(1, 0, ZAR_DEPTH_16S, 0, 4, 5), downDst(1, 0, ZAR_DEPTH_16S, 0, 4, 5);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 4; ++x) setSample(down, x, y, 0, 7 * y);
    ft::setBorders(down, kReplicate, kZeros);
    zarFixedFilter(down, downDst, ZAR_FIXED_PREWITT_Y);
    EXPECT_EQ(getSample(downDst, 1, 2, 0), 42);  // 3 x 14
    zarFixedFilter(down, downDst, ZAR_FIXED_SOBEL_Y);
    EXPECT_EQ(getSample(downDst, 1, 2, 0), 56);  // 4 x 14
    EXPECT_EQ(getSample(downDst, 1, 0, 0), 28);  // replicated row above: 4 x 7
}

TEST_F(FixedFilterCases, GaussFiveKeepsAConstant) {
    for (int32_t depth : {ZAR_DEPTH_8U, ZAR_DEPTH_16S, ZAR_DEPTH_32S}) {
        zt::Image src(1, 0, depth, 0, 6, 6), dst(1, 0, depth, 0, 6, 6);
        fill(src, 100);
        ft::setBorders(src, kReplicate, kZeros);
        zarFixedFilter(src, dst, ZAR_FIXED_GAUSS_5);
        EXPECT_EQ(getSample(dst, 0, 0, 0), 100) << depth;
        EXPECT_EQ(getSample(dst, 3, 2, 0), 100) << depth;
    }
}

TEST_F(FixedFilterCases, LaplaceAndHighPassOnASpot) {
    // A lone 1 in zeros: each filter gives its kernel, mirrored, around the spot.
    zt::Image src(1, 0, ZAR_DEPTH_16S, 0, 7, 7), dst(1, 0, ZAR_DEPTH_16S, 0, 7, 7);
    setSample(src, 3, 3, 0, 1);
    zarFixedFilter(src, dst, ZAR_FIXED_LAPLACE_5);
    EXPECT_EQ(getSample(dst, 3, 3, 0), 20);
    EXPECT_EQ(getSample(dst, 4, 3, 0), 6);
    EXPECT_EQ(getSample(dst, 1, 1, 0), -1);
    EXPECT_EQ(getSample(dst, 2, 1, 0), -3);
    zarFixedFilter(src, dst, ZAR_FIXED_HIGHPASS_5);
    EXPECT_EQ(getSample(dst, 3, 3, 0), 24);
    EXPECT_EQ(getSample(dst, 5, 5, 0), -1);
    EXPECT_EQ(getSample(dst, 0, 0, 0), 0);
    zarFixedFilter(src, dst, ZAR_FIXED_LAPLACE_3);
    EXPECT_EQ(getSample(dst, 3, 3, 0), 8);
    EXPECT_EQ(getSample(dst, 2, 4, 0), -1);
}

TEST_F(FixedFilterCases, LaplaceAndHighPassThreeAgreeOnEveryDepth) {
    for (int32_t depth : ft::kAllDepths) {
        zt::Image src(1, 0, depth, 0, 9, 7), a(1, 0, depth, 0, 9, 7), b(1, 0, depth, 0, 9, 7);
        src.randomize(20);
        zarFixedFilter(src, a, ZAR_FIXED_LAPLACE_3);
        zarFixedFilter(src, b, ZAR_FIXED_HIGHPASS_3);
        expectSame(a, b, "4 vs 8");
    }
}

TEST_F(FixedFilterCases, FloatConversionsRoundToNearestAndRestoreTheMode) {
    // 32S Gauss: a lone 3 gives 12 / 16 = 0.75 -> 1 at the spot and 6 / 16 ->
    // 0.375 -> 0 beside it, whatever the caller's mode; 8U Gauss 5 likewise.
    zt::Image src(1, 0, ZAR_DEPTH_32S, 0, 3, 3), dst(1, 0, ZAR_DEPTH_32S, 0, 3, 3);
    setSample(src, 1, 1, 0, 3);
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        zarFixedFilter(src, dst, ZAR_FIXED_GAUSS_3);
        EXPECT_EQ(std::fegetround(), mode);
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(getSample(dst, 1, 1, 0), 1);
        EXPECT_EQ(getSample(dst, 0, 1, 0), 0);
    }
    // Ties go to the even neighbour: 8 / 16 -> 0, 24 / 16 -> 2, -24 / 16 -> -2.
    const double centres[] = {2, 6, -6}, results[] = {0, 2, -2};
    for (int i = 0; i < 3; ++i) {
        setSample(src, 1, 1, 0, centres[i]);
        zarFixedFilter(src, dst, ZAR_FIXED_GAUSS_3);
        EXPECT_EQ(getSample(dst, 1, 1, 0), results[i]) << centres[i];
    }
    // 32S saturates: 2^31 - 1 next to -2^31 under Sobel X.
    setSample(src, 0, 1, 0, 2147483647);
    setSample(src, 2, 1, 0, -2147483647.0 - 1);
    zarFixedFilter(src, dst, ZAR_FIXED_SOBEL_X);
    EXPECT_EQ(getSample(dst, 1, 1, 0), 2147483647);
}

TEST_F(FixedFilterCases, BitImages) {
    // Filter 10 copies; filter 6 sets a pixel when the weighted count reaches 8.
    zt::Image src(1, 0, ZAR_DEPTH_1U, 0, 12, 5), dst(1, 0, ZAR_DEPTH_1U, 0, 12, 5);
    src.randomize(30);
    EXPECT_EQ(zarFixedFilter(src, dst, ZAR_FIXED_SHARPEN_3), STATUS_OK);
    expectSame(src, dst, "sharpen copies bits");
    zt::Image spot(1, 0, ZAR_DEPTH_1U, 0, 5, 3), out(1, 0, ZAR_DEPTH_1U, 0, 5, 3);
    setSample(spot, 1, 1, 0, 1);  // weight 4 at (1, 1)
    setSample(spot, 2, 1, 0, 1);  // (1, 1): 4 + 2 = 6; (2, 1): 6
    zarFixedFilter(spot, out, ZAR_FIXED_GAUSS_3);
    EXPECT_EQ(getSample(out, 1, 1, 0), 0);
    setSample(spot, 1, 0, 0, 1);  // (1, 1): 6 + 2 = 8
    zarFixedFilter(spot, out, ZAR_FIXED_GAUSS_3);
    EXPECT_EQ(getSample(out, 1, 1, 0), 1);
    EXPECT_EQ(getSample(out, 2, 1, 0), 0);  // 4 + 2 + 1 = 7
}

TEST_F(FixedFilterCases, ConstantBordersDarkenTheEdges) {
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 5, 4), dst(1, 0, ZAR_DEPTH_8U, 0, 5, 4);
    fill(src, 160);
    zarFixedFilter(src, dst, ZAR_FIXED_GAUSS_3);
    EXPECT_EQ(getSample(dst, 2, 1, 0), 160);
    EXPECT_EQ(getSample(dst, 2, 0, 0), 120);  // 12 of 16
    EXPECT_EQ(getSample(dst, 0, 0, 0), 90);   // 9 of 16
    EXPECT_EQ(getSample(dst, 4, 3, 0), 90);
}

TEST_F(FixedFilterCases, EveryBorderModeAndDepth) {
    for (int32_t mode = 0; mode < 4; ++mode)
        for (int32_t depth : ft::kAllDepths) {
            zt::Image src(1, 0, depth, 0, 7, 6), dst(1, 0, depth, 0, 7, 6);
            src.randomize(40 + mode);
            const int32_t modes[4] = {mode, mode, mode, mode}, values[4] = {3, 1, 2, 5};
            ft::setBorders(src, modes, values);
            for (int32_t filter = 0; filter <= 10; ++filter) {
                zt::Image expected = referenceFilter(src, dst, filter);
                EXPECT_EQ(zarFixedFilter(src, dst, filter), STATUS_OK);
                expectSame(expected, dst,
                           "mode " + std::to_string(mode) + " depth " + std::to_string(depth) +
                               " filter " + std::to_string(filter));
            }
        }
}

TEST_F(FixedFilterCases, AlphaAndChannelOfInterest) {
    zt::Image src(4, 4, ZAR_DEPTH_8U, 0, 6, 5), dst(4, 4, ZAR_DEPTH_8U, 0, 6, 5, 4, 77);
    src.randomize(50);
    zt::Image expected = referenceFilter(src, dst, ZAR_FIXED_SOBEL_Y);
    EXPECT_EQ(zarFixedFilter(src, dst, ZAR_FIXED_SOBEL_Y), STATUS_OK);
    expectSame(expected, dst, "alpha kept");
    EXPECT_EQ(getSample(dst, 3, 3, 3), 77);

    zt::Image planeSrc(3, 0, ZAR_DEPTH_16S, 1, 6, 5), planeDst(3, 0, ZAR_DEPTH_16S, 1, 6, 5);
    planeSrc.randomize(51);
    planeSrc.setRoi(3, 0, 0, 6, 5);
    planeDst.setRoi(1, 0, 0, 6, 5);
    zt::Image before = ft::copyOf(planeDst);
    ft::Borrowed borrowed(before, planeDst);
    EXPECT_EQ(zarFixedFilter(planeSrc, planeDst, ZAR_FIXED_GAUSS_5), STATUS_OK);
    expectSame(referenceFilter(planeSrc, before, ZAR_FIXED_GAUSS_5), planeDst, "coi 3 -> 1");
}

TEST_F(FixedFilterCases, MasksOneAndTwo) {
    for (int which = 1; which <= 3; ++which)
        for (int32_t depth : {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_16S, ZAR_DEPTH_32F}) {
            const int32_t channels = depth == ZAR_DEPTH_1U ? 1 : 3;
            zt::Image src(channels, 0, depth, 0, 11, 9);
            zt::Image dst(channels, 0, depth, 0, 11, 9, 4, 1);
            src.randomize(60 + which);
            src.setRoi(0, 1, 1, 10, 8);
            if (which & 1) ft::attachRandomMask(src, 12, 10, 300 + which);
            if (which & 2) ft::attachRandomMask(dst, 11, 9, 400 + which);
            zt::Image before = ft::copyOf(dst);
            ft::Borrowed borrowed(before, dst);
            EXPECT_EQ(zarFixedFilter(src, dst, ZAR_FIXED_LAPLACE_5), STATUS_OK);
            expectSame(referenceFilter(src, before, ZAR_FIXED_LAPLACE_5), dst,
                       "masks " + std::to_string(which) + " depth " + std::to_string(depth));
        }
}

TEST_F(FixedFilterCases, RoiSizesDiffer) {
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 10, 9), dst(1, 0, ZAR_DEPTH_8U, 0, 10, 9, 4, 1);
    src.randomize(70);
    src.setRoi(0, 4, 0, 9, 9);  // clipped to 6 x 9
    dst.setRoi(0, 2, 3, 8, 4);  // 8 x 4: common 6 x 4
    zt::Image before = ft::copyOf(dst);
    ft::Borrowed borrowed(before, dst);
    zarFixedFilter(src, dst, ZAR_FIXED_SHARPEN_3);
    expectSame(referenceFilter(src, before, ZAR_FIXED_SHARPEN_3), dst, "roi");
    EXPECT_EQ(getSample(dst, 8, 3, 0), 1);
    EXPECT_EQ(getSample(dst, 2, 7, 0), 1);
}

// ------------------------------------------------------------ randomized

TEST(FixedFilterRandom, MatchesTheNaiveReference) {
    zt::ErrorRecorder recorder;
    zt::Rng rng(77);
    for (int n = 0; n < 500; ++n) {
        const int32_t depth = ft::kAllDepths[rng.range(0, 6)];
        const int32_t filter = rng.range(0, 10);
        const int32_t nChannels = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
        const int32_t alpha = nChannels > 1 && rng.range(0, 2) == 0 ? nChannels : 0;
        const int32_t order = rng.range(0, 1);
        const int32_t width = rng.range(1, 20), height = rng.range(1, 14);
        zt::Image src(nChannels, alpha, depth, order, width, height);
        zt::Image dst(nChannels, alpha, depth, depth == ZAR_DEPTH_1U ? rng.range(0, 1) : order,
                      rng.range(1, 22), rng.range(1, 16));
        src.randomize(900 + n);
        dst.randomize(1900 + n);
        int32_t modes[4], values[4];
        for (int i = 0; i < 4; ++i) {
            modes[i] = rng.range(0, 7);  // the high bit is ignored
            values[i] = rng.range(-200, 200);
        }
        ft::setBorders(src, modes, values);
        const int32_t coi = nChannels > 1 && rng.range(0, 2) == 0 ? rng.range(1, nChannels) : 0;
        if (rng.range(0, 2) || coi)
            src.setRoi(coi, rng.range(0, width - 1), rng.range(0, height - 1),
                       rng.range(1, width + 2), rng.range(1, height + 2));
        if (rng.range(0, 2) || coi)
            dst.setRoi(coi ? rng.range(1, nChannels) : 0, rng.range(0, dst->width - 1),
                       rng.range(0, dst->height - 1), rng.range(1, dst->width),
                       rng.range(1, dst->height));
        if (rng.range(0, 4) == 0) ft::attachRandomMask(src, width, height, 2900 + n);
        if (rng.range(0, 4) == 0) ft::attachRandomMask(dst, dst->width, dst->height, 3900 + n);
        zt::Image before = ft::copyOf(dst);
        ft::Borrowed borrowed(before, dst);
        zt::Image expected = referenceFilter(src, before, filter);
        ASSERT_EQ(zarFixedFilter(src, dst, filter), STATUS_OK) << "case " << n;
        ASSERT_TRUE(recorder.reports().empty());
        std::string where;
        ASSERT_EQ(ft::countDifferences(expected, dst, &where), 0)
            << "case " << n << " filter " << filter << " depth " << depth << " order " << order
            << " channels " << nChannels << " masks " << !!src->maskImage << !!dst->maskImage
            << where;
    }
}

// ----------------------------------------------------------------- tiled

struct TiledCase {
    int32_t depth, dataOrder, nChannels, filter;
    int32_t width, height, tileWidth, tileHeight;
};

const TiledCase kTiledCases[] = {
    {ZAR_DEPTH_8U, 0, 3, ZAR_FIXED_GAUSS_5, 37, 29, 16, 8},
    {ZAR_DEPTH_16S, 1, 2, ZAR_FIXED_SHARPEN_3, 20, 21, 8, 8},
    {ZAR_DEPTH_32F, 0, 1, ZAR_FIXED_LAPLACE_5, 25, 17, 8, 16},
    {ZAR_DEPTH_1U, 0, 1, ZAR_FIXED_GAUSS_3, 33, 19, 16, 8},
    {ZAR_DEPTH_32S, 1, 3, ZAR_FIXED_SOBEL_X, 18, 18, 8, 8},
    {ZAR_DEPTH_8S, 0, 2, ZAR_FIXED_HIGHPASS_5, 4, 3, 8, 8},
};

TEST(FixedFilterTiled, TiledSourceAndDestinationEqualPlain) {
    zt::ErrorRecorder recorder;
    for (const TiledCase& t : kTiledCases) {
        zt::Image src(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height);
        src.randomize(80 + t.width);
        const int32_t modes[4] = {1, 2, 3, 0}, values[4] = {0, 0, 0, 5};
        ft::setBorders(src, modes, values);
        zt::Image dst(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height);
        dst.randomize(90);
        zt::Image plainResult = ft::copyOf(dst);
        Roi srcRoi{0, 1, 1, t.width, t.height}, dstRoi{0, 2, 0, t.width - 1, t.height};
        src->roi = &srcRoi;
        plainResult->roi = &dstRoi;
        EXPECT_EQ(zarFixedFilter(src, plainResult, t.filter), STATUS_OK);

        zt::TileStore tiledSrc(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height, t.tileWidth,
                               t.tileHeight);
        tiledSrc.loadFrom(src);
        ft::setBorders(tiledSrc.image(), modes, values);
        tiledSrc.image()->roi = &srcRoi;
        zt::TileStore tiledDst(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height, t.tileWidth,
                               t.tileHeight);
        tiledDst.loadFrom(dst);
        tiledDst.image()->roi = &dstRoi;
        // Tiled source into a plain destination, plain into tiled, tiled into tiled.
        zt::Image fromTiles = ft::copyOf(dst);
        fromTiles->roi = &dstRoi;
        EXPECT_EQ(zarFixedFilter(tiledSrc.image(), fromTiles, t.filter), STATUS_OK);
        EXPECT_EQ(zarFixedFilter(src, tiledDst.image(), t.filter), STATUS_OK);
        zt::Image intoTiles = ft::copyOf(dst);
        tiledDst.storeTo(intoTiles);
        tiledDst.loadFrom(dst);
        EXPECT_EQ(zarFixedFilter(tiledSrc.image(), tiledDst.image(), t.filter), STATUS_OK);
        zt::Image bothTiled = ft::copyOf(dst);
        tiledDst.storeTo(bothTiled);
        src->roi = nullptr;
        plainResult->roi = nullptr;
        fromTiles->roi = nullptr;
        tiledSrc.image()->roi = nullptr;
        tiledDst.image()->roi = nullptr;
        EXPECT_TRUE(recorder.reports().empty());
        EXPECT_TRUE(tiledSrc.balanced());
        EXPECT_TRUE(tiledDst.balanced());
        EXPECT_EQ(tiledSrc.count(ZAR_TILE_WRITE), 0);
        expectSame(plainResult, fromTiles, "tiled source");
        expectSame(plainResult, intoTiles, "tiled destination");
        expectSame(plainResult, bothTiled, "both tiled");
    }
}

TEST(FixedFilterTiled, MaskedTiledDestinationEqualsPlain) {
    zt::ErrorRecorder recorder;
    zt::Image src(2, 0, ZAR_DEPTH_16U, 0, 27, 21);
    src.randomize(95);
    ft::attachRandomMask(src, 27, 21, 96);
    zt::Image plainDst(2, 0, ZAR_DEPTH_16U, 0, 27, 21, 4, 3);
    ft::attachRandomMask(plainDst, 30, 25, 97);
    zt::TileStore store(2, 0, ZAR_DEPTH_16U, 0, 27, 21, 8, 16);
    store.loadFrom(plainDst);
    store.image()->maskImage = plainDst->maskImage;
    Roi roi{0, 3, 2, 20, 19};
    store.image()->roi = &roi;
    plainDst->roi = &roi;
    EXPECT_EQ(zarFixedFilter(src, plainDst, ZAR_FIXED_LAPLACE_5), STATUS_OK);
    EXPECT_EQ(zarFixedFilter(src, store.image(), ZAR_FIXED_LAPLACE_5), STATUS_OK);
    store.image()->maskImage = nullptr;
    store.image()->roi = nullptr;
    plainDst->roi = nullptr;
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(store.balanced());
    zt::Image viaTiles = ft::copyOf(plainDst);
    store.storeTo(viaTiles);
    expectSame(plainDst, viaTiles, "masked tiled destination");
}

TEST(FixedFilterTiled, DestinationTilesInRowOrder) {
    zt::ErrorRecorder recorder;
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 24, 16);
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 24, 16, 8, 8);
    EXPECT_EQ(zarFixedFilter(src, store.image(), 0), STATUS_OK);
    std::vector<std::pair<int32_t, int32_t>> writes;
    for (const zt::TileCall& call : store.log())
        if (call.mode == ZAR_TILE_WRITE) writes.push_back({call.column, call.row});
    const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 0}, {1, 0}, {2, 0},
                                                               {0, 1}, {1, 1}, {2, 1}};
    EXPECT_EQ(writes, expected);
    EXPECT_TRUE(store.balanced());
}

TEST(FixedFilterTiled, RefusedTilesAreReported) {
    zt::ErrorRecorder recorder;
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 16, 16);
    zt::TileStore dst(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 8, 8);
    dst.refuse(1, 1);
    EXPECT_EQ(zarFixedFilter(src, dst.image(), 6), STATUS_ERROR);
    zt::Report r = recorder.only();
    EXPECT_EQ(r.status, STATUS_ERROR);
    EXPECT_EQ(r.func, "zarFixedFilter");
    EXPECT_EQ(r.context, "Error get tile to write");
    EXPECT_EQ(r.file, "zarnlf");
    EXPECT_TRUE(dst.balanced());

    recorder.clear();
    zt::TileStore tiledSrc(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 8, 8);
    tiledSrc.refuse(0, 1);
    zt::Image plainDst(1, 0, ZAR_DEPTH_8U, 0, 16, 16);
    EXPECT_EQ(zarFixedFilter(tiledSrc.image(), plainDst, 6), STATUS_ERROR);
    r = recorder.only();
    EXPECT_EQ(r.context, "Error get tile to read");
}

}  // namespace

// Larger images through the vectorised row kernels: every filter on every
// integer depth, odd widths and a region offset, against the naive reference.
TEST(FixedFilterRandom, LargeImagesMatchTheNaiveReference) {
    zt::ErrorRecorder recorder;
    const int32_t depths[] = {ZAR_DEPTH_8U, ZAR_DEPTH_8S, ZAR_DEPTH_16U, ZAR_DEPTH_16S};
    int n = 0;
    for (int32_t depth : depths)
        for (int32_t filter = 0; filter <= 10; ++filter) {
            ++n;
            const int32_t nChannels = 1 + n % 3;
            const int32_t width = 97 + 2 * n, height = 23;
            zt::Image src(nChannels, 0, depth, ZAR_DATA_ORDER_PIXEL, width, height);
            zt::Image dst(nChannels, 0, depth, ZAR_DATA_ORDER_PIXEL, width, height);
            src.randomize(5100 + n);
            dst.randomize(6100 + n);
            if (n % 2) {
                src.setRoi(0, 1 + n % 5, 2, width - 3 - n % 5, height - 4);
                dst.setRoi(0, 3, 1, width - 5, height - 2);
            }
            zt::Image before = ft::copyOf(dst);
            ft::Borrowed borrowed(before, dst);
            zt::Image expected = referenceFilter(src, before, filter);
            ASSERT_EQ(zarFixedFilter(src, dst, filter), STATUS_OK);
            ASSERT_TRUE(recorder.reports().empty());
            std::string where;
            ASSERT_EQ(ft::countDifferences(expected, dst, &where), 0)
                << "filter " << filter << " depth " << depth << where;
        }
}

// Rows wider than a strip of the kernel, in pixels, single channels and planes.
TEST(FixedFilterRandom, RowsWiderThanAStripMatchTheNaiveReference) {
    zt::ErrorRecorder recorder;
    struct Wide {
        int32_t depth, nChannels, coi, order, filter;
    };
    const Wide cases[] = {{ZAR_DEPTH_8U, 3, 0, 0, 7},   {ZAR_DEPTH_8U, 1, 0, 0, 5},
                          {ZAR_DEPTH_16S, 1, 0, 0, 10}, {ZAR_DEPTH_8S, 3, 2, 0, 6},
                          {ZAR_DEPTH_16U, 2, 0, 1, 9},  {ZAR_DEPTH_32F, 4, 0, 0, 2}};
    int n = 0;
    for (const Wide& c : cases) {
        ++n;
        const int32_t width = 1500 + 7 * n, height = 8;
        zt::Image src(c.nChannels, 0, c.depth, c.order, width, height);
        zt::Image dst(c.nChannels, 0, c.depth, c.order, width, height);
        src.randomize(7100 + n);
        dst.randomize(7200 + n);
        src.setRoi(c.coi, 3, 1, width - 5, height - 1);
        dst.setRoi(c.coi, 1, 0, width - 2, height);
        zt::Image before = ft::copyOf(dst);
        ft::Borrowed borrowed(before, dst);
        zt::Image expected = referenceFilter(src, before, c.filter);
        ASSERT_EQ(zarFixedFilter(src, dst, c.filter), STATUS_OK);
        ASSERT_TRUE(recorder.reports().empty());
        std::string where;
        ASSERT_EQ(ft::countDifferences(expected, dst, &where), 0)
            << "filter " << c.filter << " depth " << c.depth << where;
    }
}
