// zarRemap: checks, hand-worked cases, a randomized comparison with a naive
// reference, and tiled images on every side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>

#include "support/geometry_support.h"
#include "support/zar_test.h"

namespace {

using gt::fill;
using zt::Image;

Image map(int32_t width, int32_t height) { return Image(1, 0, ZAR_DEPTH_32F, 0, width, height); }

// Both maps at once from f(c, r) -> {x, y}.
template <class F>
void fillMaps(ImageHeader* xMap, ImageHeader* yMap, F f) {
    for (int32_t r = 0; r < xMap->height; ++r)
        for (int32_t c = 0; c < xMap->width; ++c) {
            const auto [x, y] = f(c, r);
            zt::setSample(xMap, c, r, 0, x);
            zt::setSample(yMap, c, r, 0, y);
        }
}

// Samples src at each position into a one-row 8U destination and gives the row.
std::vector<int32_t> remapRow(ImageHeader* src, const std::vector<std::pair<float, float>>& at,
                              int32_t mode) {
    const int32_t n = static_cast<int32_t>(at.size());
    Image xs = map(n, 1), ys = map(n, 1);
    fillMaps(xs, ys, [&](int32_t c, int32_t) { return at[c]; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, n, 1);
    zarRemap(src, xs, ys, dst, mode);
    return gt::rowValues(dst, 0);
}

void expectReport(const zt::ErrorRecorder& errors, ZarStatus status, const char* context,
                  int32_t line) {
    const zt::Report r = errors.only();
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.func, "zarRemap");
    EXPECT_EQ(r.context, context);
    EXPECT_EQ(r.file, "zarremap");
    EXPECT_EQ(r.line, line);
}

// ------------------------------------------------------------------ checks

class RemapChecks : public ::testing::Test {
  protected:
    zt::ErrorRecorder errors;
    Image src{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3};
    Image dst{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 9};
    Image xs = map(8, 8), ys = map(8, 8);
    void again() {
        errors.clear();
        zarSetStatus(STATUS_OK);
    }
    void expectUntouched() {
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(zt::getSample(dst, x, y, 0), 9);
    }
};

TEST_F(RemapChecks, HeaderValidation) {
    zarRemap(nullptr, xs, ys, dst, 0);
    expectReport(errors, STATUS_NULL_HEADER, "Incorrect Image", 858);
    again();
    zarRemap(src, xs, ys, nullptr, 0);
    expectReport(errors, STATUS_NULL_HEADER, "Incorrect Image", 859);
    again();
    zarRemap(src, nullptr, ys, dst, 0);
    expectReport(errors, STATUS_NULL_HEADER, "Incorrect Image", 860);
    again();
    ys->nChannels = 0;
    zarRemap(src, xs, ys, dst, 0);
    expectReport(errors, STATUS_BAD_CHANNELS, "Incorrect Image", 861);
    ys->nChannels = 1;
}

TEST_F(RemapChecks, ImageRelations) {
    Image d16(1, 0, ZAR_DEPTH_16U, 0, 8, 8);
    zarRemap(src, xs, ys, d16, 0);
    expectReport(errors, STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 862);
    again();
    dst->origin = 1;
    zarRemap(src, xs, ys, dst, 0);
    expectReport(errors, STATUS_BAD_ARG, "srcImage->origin != dstImage->origin", 862);
    dst->origin = 0;
    again();
    Image s3(3, 0, ZAR_DEPTH_8U, 0, 8, 8), d3(3, 0, ZAR_DEPTH_8U, 1, 8, 8);
    zarRemap(s3, xs, ys, d3, 0);
    expectReport(errors, STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 862);
    // Single-channel images and 1-bit images may differ in data order.
    again();
    Image plane1(1, 0, ZAR_DEPTH_8U, 1, 8, 8);
    zarRemap(src, xs, ys, plane1, 0);
    EXPECT_TRUE(errors.reports().empty());
    again();
    Image s8s(1, 0, ZAR_DEPTH_8S, 0, 8, 8), d8s(1, 0, ZAR_DEPTH_8S, 0, 8, 8);
    zarRemap(s8s, xs, ys, d8s, 0);
    expectReport(errors, STATUS_BAD_ARG,
                 "(srcImage->depth & ZAR_DEPTH_SIGN) || (srcImage->depth == ZAR_DEPTH_32F)", 863);
    again();
    Image s32(1, 0, ZAR_DEPTH_32F, 0, 8, 8), d32(1, 0, ZAR_DEPTH_32F, 0, 8, 8);
    zarRemap(s32, xs, ys, d32, 0);
    expectReport(errors, STATUS_BAD_ARG,
                 "(srcImage->depth & ZAR_DEPTH_SIGN) || (srcImage->depth == ZAR_DEPTH_32F)", 863);
    again();
    zarRemap(src, xs, ys, src, 0);
    expectReport(errors, STATUS_BAD_ARG, "This function is not in-place function", 867);
    expectUntouched();
}

TEST_F(RemapChecks, Maps) {
    Image wrong(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    Image two(2, 0, ZAR_DEPTH_32F, 0, 8, 8);
    Image alpha(2, 2, ZAR_DEPTH_32F, 0, 8, 8);
    const char* xText =
        "xMap->depth != ZAR_DEPTH_32F || xMap->nChannels != 1 || xMap->alphaChannel != 0";
    const char* yText =
        "yMap->depth != ZAR_DEPTH_32F || yMap->nChannels != 1 || yMap->alphaChannel != 0";
    for (ImageHeader* bad : {wrong.get(), two.get(), alpha.get()}) {
        again();
        zarRemap(src, bad, ys, dst, 0);
        expectReport(errors, STATUS_BAD_ARG, xText, 864);
        again();
        zarRemap(src, xs, bad, dst, 0);
        expectReport(errors, STATUS_BAD_ARG, yText, 865);
    }
    expectUntouched();
}

TEST_F(RemapChecks, ModeIsCheckedLastAndOnlyWhenAllElseHolds) {
    for (int32_t mode : {3, 19, -1, 35}) {
        again();
        zarRemap(src, xs, ys, dst, mode);
        expectReport(errors, STATUS_BAD_ARG,
                     "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && "
                     "interpolate != ZAR_INTER_CUBIC",
                     869);
    }
    again();
    zarRemap(src, xs, ys, src, 3);
    EXPECT_EQ(errors.only().line, 867);
    again();
    zarSetStatus(STATUS_ERROR);
    zarRemap(src, xs, ys, dst, 0);
    EXPECT_TRUE(errors.reports().empty());
    expectUntouched();
    zarSetStatus(STATUS_OK);
}

TEST_F(RemapChecks, ChecksGoOn) {
    Image s8s(1, 0, ZAR_DEPTH_8S, 0, 8, 8);
    Image wrong(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    zarRemap(s8s, wrong, wrong, s8s, 0);
    const auto& r = errors.reports();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].line, 863);
    EXPECT_EQ(r[1].line, 864);
    EXPECT_EQ(r[2].line, 865);
    EXPECT_EQ(r[3].line, 867);
}

TEST_F(RemapChecks, ProcessedChannelCounts) {
    Image s3(3, 0, ZAR_DEPTH_8U, 0, 8, 8), d4(4, 0, ZAR_DEPTH_8U, 0, 8, 8);
    zarRemap(s3, xs, ys, d4, 0);
    expectReport(errors, STATUS_BAD_ARG,
                 "Number of processed channels of srcImage != Number of processed channels of "
                 "dstImage",
                 799);
    // Four channels with alpha process three.
    again();
    Image d4a(4, 4, ZAR_DEPTH_8U, 0, 8, 8);
    zarRemap(s3, xs, ys, d4a, 0);
    EXPECT_TRUE(errors.reports().empty());
}

// ------------------------------------------------------------ hand-worked

class RemapCases : public ::testing::Test {
  protected:
    zt::ErrorRecorder errors;
    void TearDown() override { EXPECT_TRUE(errors.reports().empty()); }
};

TEST_F(RemapCases, IdentityMapsCopyTheRegionInEveryMode) {
    struct Format {
        int32_t depth, order, channels;
    };
    for (Format f :
         {Format{ZAR_DEPTH_8U, 0, 3}, Format{ZAR_DEPTH_8U, 1, 2}, Format{ZAR_DEPTH_16U, 0, 1},
          Format{ZAR_DEPTH_16U, 1, 3}, Format{ZAR_DEPTH_1U, 0, 1}})
        for (int32_t mode : {0, 1, 2, 16, 17, 18}) {
            SCOPED_TRACE(testing::Message() << "depth " << f.depth << " mode " << mode);
            Image src(f.channels, 0, f.depth, f.order, 13, 11);
            src.randomize(mode + 7 * f.depth);
            src.setRoi(0, 2, 3, 9, 7);  // x 2..10, y 3..9
            Image dst(f.channels, 0, f.depth, f.order, 9, 7);
            Image xs = map(9, 7), ys = map(9, 7);
            fillMaps(xs, ys, [](int32_t c, int32_t r) { return std::pair{c + 2.0, r + 3.0}; });
            zarRemap(src, xs, ys, dst, mode);
            for (int32_t k = 0; k < f.channels; ++k)
                for (int32_t r = 0; r < 7; ++r)
                    for (int32_t c = 0; c < 9; ++c)
                        ASSERT_EQ(zt::getSample(dst, c, r, k), zt::getSample(src, c + 2, r + 3, k));
        }
}

TEST_F(RemapCases, PositionsOutsideTheRegionLeaveTheDestination) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 10, 10, 4, 50);
    src.setRoi(0, 2, 2, 5, 5);  // bounds 2..6
    Image xs = map(6, 1), ys = map(6, 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float x[6] = {1.5f, 2.0f, 6.0f, 6.0001f, nan, 4.0f};
    const float y[6] = {2.0f, 2.0f, 6.0f, 2.0f, 2.0f, -0.0f};
    fillMaps(xs, ys, [&](int32_t c, int32_t) { return std::pair{x[c], y[c]}; });
    for (int32_t mode = 0; mode < 3; ++mode) {
        Image dst(1, 0, ZAR_DEPTH_8U, 0, 6, 1, 4, 9);
        zarRemap(src, xs, ys, dst, mode);
        EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{9, 50, 50, 9, 9, 9}));
    }
    // Negative zero fails even against a region starting at 0.
    Image whole(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 50);
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 2, 1, 4, 9);
    Image xz = map(2, 1), yz = map(2, 1);
    fillMaps(xz, yz, [](int32_t c, int32_t) { return std::pair{c ? 0.0 : -0.0, 0.0}; });
    zarRemap(whole, xz, yz, dst, ZAR_INTER_NN);
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{9, 50}));
}

TEST_F(RemapCases, NearestRoundsHalvesToEven) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 4);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 10 * y + x; });
    EXPECT_EQ(
        remapRow(src, {{2.5f, 0.5f}, {3.5f, 1.5f}, {0.49f, 2.5f}, {4.51f, 0.0f}, {1.0f, 2.6f}},
                 ZAR_INTER_NN),
        (std::vector<int32_t>{2, 24, 20, 5, 31}));
}

TEST_F(RemapCases, NearestFollowsTheRoundingModeInForce) {
    // The conversion takes the rounding mode the application set: downward
    // 2.7 picks column 2 and 1.5 row 1, upward 2.2 picks 3 and 1.5 picks 2.
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 4);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 10 * y + x; });
    const std::vector<std::pair<float, float>> at = {{2.7f, 1.5f}, {2.2f, 1.5f}};
    const int saved = std::fegetround();
    std::fesetround(FE_DOWNWARD);
    const std::vector<int32_t> down = remapRow(src, at, ZAR_INTER_NN);
    std::fesetround(FE_UPWARD);
    const std::vector<int32_t> up = remapRow(src, at, ZAR_INTER_NN);
    std::fesetround(saved);
    EXPECT_EQ(down, (std::vector<int32_t>{12, 12}));
    EXPECT_EQ(up, (std::vector<int32_t>{23, 23}));
    // The default: 2.7 -> 3, 2.2 -> 2, 1.5 -> 2 (halves to even).
    EXPECT_EQ(remapRow(src, at, ZAR_INTER_NN), (std::vector<int32_t>{23, 22}));
}

TEST_F(RemapCases, LinearRoundsToNearestEven) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 4);
    const int32_t row[6] = {100, 101, 102, 10, 20, 200};
    fill(src, [&](int32_t x, int32_t y, int32_t) { return y == 0 ? row[x] : 0; });
    // 100.5 -> 100, 101.5 -> 102, 0.3 of the way 10 -> 20 is 13, the last
    // column steps back (fraction 1), 0.75 of the way 20 -> 200 is 155.
    EXPECT_EQ(remapRow(src, {{0.5f, 0.0f}, {1.5f, 0.0f}, {3.3f, 0.0f}, {5.0f, 0.0f}, {4.75f, 0.0f}},
                       ZAR_INTER_LINEAR),
              (std::vector<int32_t>{100, 102, 13, 200, 155}));
}

TEST_F(RemapCases, LinearOnAOneColumnRegion) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 4);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 40 * y + x; });
    src.setRoi(0, 0, 0, 1, 4);
    // Column 0 of rows 1.5 (60) and 3 (the last row: 120).
    EXPECT_EQ(remapRow(src, {{0.0f, 1.5f}, {0.0f, 3.0f}}, ZAR_INTER_LINEAR),
              (std::vector<int32_t>{60, 120}));
}

TEST_F(RemapCases, CubicSaturatesAndTakesExactTaps) {
    for (int32_t depth : {ZAR_DEPTH_8U, ZAR_DEPTH_16U}) {
        const int32_t top = depth == ZAR_DEPTH_8U ? 255 : 65535;
        Image src(1, 0, depth, 0, 8, 6);
        const int32_t high[8] = {0, top, top, 0, top, 0, 0, top};
        fill(src, [&](int32_t x, int32_t, int32_t) { return high[x]; });
        Image xs = map(4, 1), ys = map(4, 1);
        // 1.5: taps 0..3 at t = 0.5, 1.125 top; 3.25: taps 2..5 (top, 0, top, 0)
        // at 0.25: (.25*4 + .0625*6 + .015625*(-4))/6 = 0.21875 top (55.78 and
        // 14335.78); 4.0 and 7.0 are exact taps.
        const float x[4] = {1.5f, 3.25f, 4.0f, 7.0f};
        fillMaps(xs, ys, [&](int32_t c, int32_t) { return std::pair{x[c], 2.0f}; });
        Image dst(1, 0, depth, 0, 4, 1, 4, 5);
        zarRemap(src, xs, ys, dst, ZAR_INTER_CUBIC);
        EXPECT_EQ(gt::rowValues(dst, 0),
                  (std::vector<int32_t>{top, top == 255 ? 56 : 14336, top, top}));

        const int32_t low[8] = {top, 0, 0, top, top, top, top, top};
        fill(src, [&](int32_t x, int32_t, int32_t) { return low[x]; });
        zarRemap(src, xs, ys, dst, ZAR_INTER_CUBIC);
        // -0.125 top saturates at 0.
        EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);
    }
}

TEST_F(RemapCases, CubicReproducesCubicsInBothAxes) {
    // The four-point cubic through samples of a cubic polynomial is that
    // polynomial: over p(x, y) = 1000 x^2 + 200 y^3 + 7 on a 4 x 4 image,
    // (1.5, 1.5) gives 2250 + 675 + 7 = 2932; (2.5, 0.25) sits past the
    // last-but-one column (taps 0..3, t = 1.5) and near the top (taps 0..3,
    // u = -0.75): 6250 + 3.125 + 7 = 6260.125 -> 6260; (0.5, 2.75) gives
    // 250 + 4159.375 + 7 = 4416.375 -> 4416.
    Image src(1, 0, ZAR_DEPTH_16U, 0, 4, 4);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 1000 * x * x + 200 * y * y * y + 7; });
    Image xs = map(3, 1), ys = map(3, 1);
    const std::pair<float, float> at[3] = {{1.5f, 1.5f}, {2.5f, 0.25f}, {0.5f, 2.75f}};
    fillMaps(xs, ys, [&](int32_t c, int32_t) { return at[c]; });
    Image dst(1, 0, ZAR_DEPTH_16U, 0, 3, 1);
    zarRemap(src, xs, ys, dst, ZAR_INTER_CUBIC);
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{2932, 6260, 4416}));
}

TEST_F(RemapCases, EightBitCubicRoundsTheCubic) {
    // (1.75, 1.75) on a 4 x 4 image: taps 0..3 both ways at t = u = 0.75,
    // where the Lagrange weights are -5, 35, 105, -7 (/128).  The rows give
    // 27850, 4250, 9250, 28500 /128 = 217.578125, 33.203125, 72.265625,
    // 222.65625 and the column (-5*217.578125 + 35*33.203125 + 105*72.265625
    // - 7*222.65625)/128 = 47.68..., stored as 48.
    Image src(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    const int32_t values[4][4] = {
        {100, 250, 200, 200}, {200, 200, 0, 250}, {250, 50, 100, 250}, {250, 250, 200, 0}};
    fill(src, [&](int32_t x, int32_t y, int32_t) { return values[y][x]; });
    EXPECT_EQ(remapRow(src, {{1.75f, 1.75f}}, ZAR_INTER_CUBIC), std::vector<int32_t>{48});
}

TEST_F(RemapCases, NarrowSourcesFallBack) {
    // 3 wide: CUBIC runs as LINEAR (0.5 between 0 and 200 is 100 exactly).
    Image src3(1, 0, ZAR_DEPTH_8U, 0, 3, 5);
    const int32_t row[3] = {0, 200, 0};
    fill(src3, [&](int32_t x, int32_t, int32_t) { return row[x]; });
    Image xs = map(2, 1), ys = map(2, 1);
    fillMaps(xs, ys, [](int32_t c, int32_t) { return std::pair{c ? 1.5 : 0.5, 2.0}; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 2, 1);
    zarRemap(src3, xs, ys, dst, ZAR_INTER_CUBIC);
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{100, 100}));
    // 1 wide: nearest (row 2.5 -> 2, 3.6 -> 4).
    Image src1(1, 0, ZAR_DEPTH_8U, 0, 1, 6);
    fill(src1, [](int32_t, int32_t y, int32_t) { return 10 * y; });
    fillMaps(xs, ys, [](int32_t c, int32_t) { return std::pair{0.0, c ? 3.6 : 2.5}; });
    zarRemap(src1, xs, ys, dst, ZAR_INTER_CUBIC);
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{20, 40}));
}

TEST_F(RemapCases, ModeSixteenIsIgnored) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 6);
    fill(src, [](int32_t x, int32_t, int32_t) { return 30 * x; });
    Image xs = map(1, 1), ys = map(1, 1);
    fillMaps(xs, ys, [](int32_t, int32_t) { return std::pair{2.25, 1.0}; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 1, 1);
    zarRemap(src, xs, ys, dst, 17);
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 68);  // 60 + 0.25 * 30 = 67.5 -> 68
    zarRemap(src, xs, ys, dst, 16);
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 60);
}

TEST_F(RemapCases, LargerMapsAreReadOverTheCommonSize) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 6);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 10 * y + x; });
    Image xs = map(6, 6), ys = map(6, 6);
    fillMaps(xs, ys, [](int32_t c, int32_t r) { return std::pair{5.0 - c, 1.0 * r}; });
    xs.setRoi(0, 1, 2, 5, 4);  // read from (1, 2)
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 5, 5, 4, 1);
    dst.setRoi(0, 1, 1, 3, 9);
    zarRemap(src, xs, ys, dst, ZAR_INTER_NN);
    // W x H = 3 x 4; dst (1 + c, 1 + r) <- src (4 - c, r).
    EXPECT_EQ(gt::rowValues(dst, 1), (std::vector<int32_t>{1, 4, 3, 2, 1}));
    EXPECT_EQ(gt::rowValues(dst, 4), (std::vector<int32_t>{1, 34, 33, 32, 1}));
    EXPECT_EQ(gt::rowValues(dst, 0), std::vector<int32_t>(5, 1));
}

TEST_F(RemapCases, ChannelOfInterestAndAlpha) {
    Image src(4, 4, ZAR_DEPTH_8U, 0, 4, 4);
    fill(src, [](int32_t x, int32_t y, int32_t c) { return 100 + 10 * c + 4 * y + x; });
    Image xs = map(4, 4), ys = map(4, 4);
    fillMaps(xs, ys, [](int32_t c, int32_t r) { return std::pair{3.0 - c, 1.0 * r}; });
    // Alpha stays.
    Image dst(4, 4, ZAR_DEPTH_8U, 0, 4, 4, 4, 7);
    zarRemap(src, xs, ys, dst, ZAR_INTER_NN);
    EXPECT_EQ(zt::getSample(dst, 0, 1, 0), 107);
    EXPECT_EQ(zt::getSample(dst, 0, 1, 2), 127);
    EXPECT_EQ(zt::getSample(dst, 0, 1, 3), 7);
    // Channel 2 into channel 1 of a three-channel image.
    src.setRoi(2, 0, 0, 4, 4);
    Image three(3, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 7);
    three.setRoi(1, 0, 0, 4, 4);
    zarRemap(src, xs, ys, three, ZAR_INTER_NN);
    EXPECT_EQ(zt::getSample(three, 1, 2, 0), 120);
    EXPECT_EQ(zt::getSample(three, 1, 2, 1), 7);
    // An image whose only channel is alpha: nothing happens.
    Image alphaOnly(1, 1, ZAR_DEPTH_8U, 0, 4, 4, 4, 7), plain(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 3);
    zarRemap(plain, xs, ys, alphaOnly, ZAR_INTER_NN);
    EXPECT_EQ(zt::getSample(alphaOnly, 2, 2, 0), 7);
}

// --------------------------------------------------------------- reference

// Naive remapping written from the rules, one value at a time.
struct Reference {
    const ImageHeader* src;
    const ImageHeader* xMap;
    const ImageHeader* yMap;
    ImageHeader* dst;
    int32_t mode;

    static int32_t channels(const ImageHeader* im) {
        return im->roi && im->roi->coi ? 1 : im->nChannels - (im->alphaChannel ? 1 : 0);
    }
    static int32_t first(const ImageHeader* im) {
        return im->roi && im->roi->coi ? im->roi->coi - 1 : 0;
    }
    static void region(const ImageHeader* im, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
        x = im->roi ? im->roi->xOffset : 0;
        y = im->roi ? im->roi->yOffset : 0;
        w = im->roi ? std::min(im->roi->width, im->width - x) : im->width;
        h = im->roi ? std::min(im->roi->height, im->height - y) : im->height;
    }
    static int32_t bits(float v) {
        int32_t b;
        std::memcpy(&b, &v, 4);
        return b;
    }

    // 8U cubic in the library's fixed-point scheme: 16.16 fractions, samples
    // times 16, 1/6 and 1/3 as 43691 >> 18 and >> 17, Horner with >> 16,
    // every shift rounding to nearest.
    static int64_t shiftRound(int64_t v, int s) { return (v + (int64_t{1} << (s - 1))) >> s; }
    static int64_t fixedCubic(const int64_t p[4], int64_t t, bool twice) {
        if (t == -65536) return twice ? 2 * p[0] : p[0];
        if (t == 0) return twice ? 2 * p[1] : p[1];
        if (t == 65536) return twice ? 2 * p[2] : p[2];
        if (t == 131072) return twice ? 2 * p[3] : p[3];
        const int64_t k1 = -2 * p[0] - 3 * p[1] + 6 * p[2] - p[3];
        const int64_t k2 = p[0] - 2 * p[1] + p[2];
        const int64_t k3 = -p[0] + 3 * p[1] - 3 * p[2] + p[3];
        const int shift = twice ? 17 : 18;
        const int64_t c1 = shiftRound(k1 * 43691, shift), c3 = shiftRound(k3 * 43691, shift);
        const int64_t c2 = twice ? k2 : shiftRound(k2, 1);
        const int64_t b = twice ? 2 * p[1] : p[1];
        return b + shiftRound(t * (c1 + shiftRound(t * (c2 + shiftRound(t * c3, 16)), 16)), 16);
    }
    static double doubleCubic(double a, double b, double c, double d, double t) {
        return b + t * ((-1.0 / 3.0) * a - 0.5 * b + c - (1.0 / 6.0) * d +
                        t * (0.5 * (a + c) - b + t * ((1.0 / 6.0) * (d - a) + 0.5 * (b - c))));
    }

    void run() {
        int32_t m = mode & ~16;
        if (src->depth == ZAR_DEPTH_1U || src->width == 1 || src->height == 1)
            m = 0;
        else if (m == 2 && (src->width < 4 || src->height < 4))
            m = 1;
        int32_t dx, dy, dw, dh, xx, xy, xw, xh, yx, yy, yw, yh, sx, sy, sw, sh;
        region(dst, dx, dy, dw, dh);
        region(xMap, xx, xy, xw, xh);
        region(yMap, yx, yy, yw, yh);
        region(src, sx, sy, sw, sh);
        const int32_t w = std::min({dw, xw, yw}), h = std::min({dh, xh, yh});
        if (w < 1 || h < 1 || sw < 1 || sh < 1) return;
        const int32_t x0 = sx, x1 = sx + sw - 1, y0 = sy, y1 = sy + sh - 1;
        const int32_t n = channels(src), sc = first(src), dc = first(dst);
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c) {
                const float x = static_cast<float>(zt::getSample(xMap, xx + c, xy + r, 0));
                const float y = static_cast<float>(zt::getSample(yMap, yx + c, yy + r, 0));
                if (bits(x) < bits(static_cast<float>(x0)) ||
                    bits(x) > bits(static_cast<float>(x1)) ||
                    bits(y) < bits(static_cast<float>(y0)) ||
                    bits(y) > bits(static_cast<float>(y1)))
                    continue;
                for (int32_t k = 0; k < n; ++k) {
                    auto p = [&](int32_t px, int32_t py) {
                        return zt::getSample(src, px, py, sc + k);
                    };
                    double v;
                    if (m == 0) {
                        v = p(static_cast<int32_t>(std::nearbyint(x)),
                              static_cast<int32_t>(std::nearbyint(y)));
                    } else {
                        int32_t ix = static_cast<int32_t>(std::nearbyint(x - 0.5 + 0.0000001));
                        int32_t iy = static_cast<int32_t>(std::nearbyint(y - 0.5 + 0.0000001));
                        if (m == 1) {
                            if (ix == x1 && ix > 0) --ix;
                            if (iy == y1 && iy > 0) --iy;
                            const double fx = x - ix, fy = y - iy;
                            const double top = p(ix, iy) + (p(ix + 1, iy) - p(ix, iy)) * fx;
                            const double bottom = p(ix, iy + 1) +
                                                  (p(ix + 1, iy + 1) - p(ix, iy + 1)) * fx;
                            v = std::nearbyint(top + (bottom - top) * fy);
                        } else {
                            auto base = [](int32_t i, int32_t size) {
                                return i <= 0 ? 0 : i >= size - 2 ? size - 4 : i - 1;
                            };
                            const int32_t bx = base(ix, src->width), by = base(iy, src->height);
                            const double t = x - bx - 1.0, u = y - by - 1.0;
                            if (src->depth == ZAR_DEPTH_8U) {
                                int64_t rows[4];
                                for (int32_t j = 0; j < 4; ++j) {
                                    int64_t s[4];
                                    for (int32_t i = 0; i < 4; ++i)
                                        s[i] = 16 * static_cast<int64_t>(p(bx + i, by + j));
                                    rows[j] = fixedCubic(s, std::llrint(t * 65536.0), false);
                                }
                                const int64_t sum = fixedCubic(rows, std::llrint(u * 65536.0),
                                                               true);
                                v = std::clamp<int64_t>((sum + 16) >> 5, 0, 255);
                            } else {
                                double rows[4];
                                for (int32_t j = 0; j < 4; ++j)
                                    rows[j] = doubleCubic(p(bx, by + j), p(bx + 1, by + j),
                                                          p(bx + 2, by + j), p(bx + 3, by + j), t);
                                v = std::clamp(std::nearbyint(doubleCubic(rows[0], rows[1], rows[2],
                                                                          rows[3], u)),
                                               0.0, 65535.0);
                            }
                        }
                    }
                    zt::setSample(dst, dx + c, dy + r, dc + k, v);
                }
            }
    }
};

struct RandomCase {
    Image src, dst, xMap, yMap;
    int32_t mode;
};

RandomCase randomCase(zt::Rng& rng) {
    const int32_t depths[] = {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_16U};
    const int32_t depth = depths[rng.range(0, 2)];
    const int32_t order = depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1);
    const int32_t nch = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
    const int32_t alpha = nch > 1 && rng.range(0, 3) == 0 ? nch : 0;
    const int32_t sw = rng.range(1, 24), sh = rng.range(1, 24);
    const int32_t dw = rng.range(1, 24), dh = rng.range(1, 24);
    RandomCase rc{Image(nch, alpha, depth, order, sw, sh, 4 << rng.range(0, 3)),
                  Image(nch, alpha, depth, order, dw, dh, 4 << rng.range(0, 3)),
                  map(rng.range(1, 26), rng.range(1, 26)), map(rng.range(1, 26), rng.range(1, 26)),
                  rng.range(0, 2) + 16 * rng.range(0, 1)};
    rc.src.randomize(rng.next());
    rc.dst.randomize(rng.next());
    const bool coi = nch > 1 && rng.range(0, 3) == 0;
    auto roi = [&](Image& im, bool withCoi) {
        if (!withCoi && rng.range(0, 1)) return;
        const int32_t x = rng.range(0, im->width - 1), y = rng.range(0, im->height - 1);
        im.setRoi(withCoi ? rng.range(1, nch) : 0, x, y, rng.range(1, im->width + 2 - x),
                  rng.range(1, im->height + 2 - y));
    };
    roi(rc.src, coi);
    roi(rc.dst, coi);
    roi(rc.xMap, false);
    roi(rc.yMap, false);
    // Positions spread a little beyond the source, with exact integers,
    // halves and negative values among them.
    for (ImageHeader* m : {rc.xMap.get(), rc.yMap.get()}) {
        const int32_t size = m == rc.xMap.get() ? sw : sh;
        for (int32_t r = 0; r < m->height; ++r)
            for (int32_t c = 0; c < m->width; ++c) {
                const int32_t kind = rng.range(0, 5);
                const double whole = rng.range(-1, size);
                const double v = kind == 0   ? whole
                                 : kind == 1 ? whole + 0.5
                                             : rng.range(-2000, 1000 * size + 1000) / 1000.0;
                zt::setSample(m, c, r, 0, v);
            }
    }
    return rc;
}

TEST(RemapRandom, MatchesTheNaiveReference) {
    zt::ErrorRecorder errors;
    zt::Rng rng(4242);
    for (int32_t n = 0; n < 700; ++n) {
        RandomCase rc = randomCase(rng);
        SCOPED_TRACE(testing::Message()
                     << "case " << n << " depth " << rc.src->depth << " mode " << rc.mode);
        Image expected = gt::copyOf(rc.dst);
        Reference{rc.src, rc.xMap, rc.yMap, expected, rc.mode}.run();
        zarRemap(rc.src, rc.xMap, rc.yMap, rc.dst, rc.mode);
        ASSERT_TRUE(errors.reports().empty());
        ASSERT_TRUE(gt::samePixels(expected, rc.dst));
    }
}

TEST(RemapRandom, EightBitCubicStaysWithTheExactCubic) {
    // Whatever the fixed-point details, the 8-bit cubic is the exact
    // four-point cubic rounded: off by at most one, and exact wherever the
    // cubic lies more than 0.125 from a half.
    zt::ErrorRecorder errors;
    zt::Rng rng(31337);
    Image src(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    Image xs = map(1, 1), ys = map(1, 1);
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 1, 1);
    int32_t exact = 0;
    for (int32_t n = 0; n < 4000; ++n) {
        src.randomize(rng.next());
        // Positions 1 .. 2 both ways: taps 0..3, t and u in 0 .. 1.
        const float x = 1.0f + rng.range(0, 4096) / 4096.0f,
                    y = 1.0f + rng.range(0, 4096) / 4096.0f;
        fillMaps(xs, ys, [&](int32_t, int32_t) { return std::pair{x, y}; });
        zarRemap(src, xs, ys, dst, ZAR_INTER_CUBIC);
        double rows[4];
        for (int32_t r = 0; r < 4; ++r)
            rows[r] = Reference::doubleCubic(
                zt::getSample(src, 0, r, 0), zt::getSample(src, 1, r, 0),
                zt::getSample(src, 2, r, 0), zt::getSample(src, 3, r, 0), x - 1.0);
        const double v = std::clamp(
            Reference::doubleCubic(rows[0], rows[1], rows[2], rows[3], y - 1.0), 0.0, 255.0);
        const double got = zt::getSample(dst, 0, 0, 0);
        ASSERT_LE(std::fabs(got - v), 1.0) << "at (" << x << ", " << y << ")";
        if (std::fabs(v - std::floor(v) - 0.5) > 0.125) {
            ASSERT_EQ(got, std::nearbyint(v)) << "at (" << x << ", " << y << ")";
            ++exact;
        }
    }
    EXPECT_GT(exact, 2000);
    EXPECT_TRUE(errors.reports().empty());
}

// ------------------------------------------------------------------- tiles

TEST(RemapTiles, TiledImagesGiveThePlainPixels) {
    zt::ErrorRecorder errors;
    zt::Rng rng(99);
    for (int32_t n = 0; n < 200; ++n) {
        RandomCase rc = randomCase(rng);
        const int32_t which = n % 15 + 1;  // every non-empty combination of tiled sides
        SCOPED_TRACE(testing::Message() << "case " << n << " tiled " << which << " depth "
                                        << rc.src->depth << " mode " << rc.mode);
        Image expected = gt::copyOf(rc.dst);
        Reference{rc.src, rc.xMap, rc.yMap, expected, rc.mode}.run();
        gt::Twin src(rc.src, which & 1, 8, 16), xs(rc.xMap, which & 2, 16, 8),
            ys(rc.yMap, which & 4, 8, 8), dst(rc.dst, which & 8, 8, 8);
        zarRemap(src.image(), xs.image(), ys.image(), dst.image(), rc.mode);
        ASSERT_TRUE(errors.reports().empty());
        ASSERT_TRUE(gt::samePixels(expected, dst.pixels()));
        for (gt::Twin* t : {&src, &xs, &ys, &dst})
            if (t->store()) {
                EXPECT_TRUE(t->store()->balanced());
            }
    }
}

TEST(RemapTiles, Failures) {
    zt::ErrorRecorder errors;
    Image srcPixels(1, 0, ZAR_DEPTH_8U, 0, 20, 20), dstPixels(1, 0, ZAR_DEPTH_8U, 0, 20, 20);
    Image xs = map(20, 20), ys = map(20, 20);
    {
        gt::Twin dst(dstPixels, true, 8, 8);
        dst.store()->refuse(1, 1);
        zarRemap(srcPixels, xs, ys, dst.image(), ZAR_INTER_LINEAR);
        expectReport(errors, STATUS_ERROR, "Error get tile to write", 757);
        EXPECT_TRUE(dst.store()->balanced());
    }
    for (int32_t side = 0; side < 2; ++side) {
        errors.clear();
        zarSetStatus(STATUS_OK);
        gt::Twin x(xs, side == 0, 8, 8), y(ys, side == 1, 8, 8), dst(dstPixels, true, 8, 8);
        (side == 0 ? x : y).store()->refuse(2, 0);
        zarRemap(srcPixels, x.image(), y.image(), dst.image(), ZAR_INTER_NN);
        expectReport(errors, STATUS_BACKTRACE, "", side == 0 ? 766 : 775);
        EXPECT_TRUE(dst.store()->balanced());
        // The destination tiles before the refused piece were done and given back.
        EXPECT_EQ(dst.store()->count(ZAR_TILE_WRITE), 3);
    }
    errors.clear();
    zarSetStatus(STATUS_OK);
    gt::Twin src(srcPixels, true, 8, 8);
    src.store()->refuse(0, 2);
    zarRemap(src.image(), xs, ys, dstPixels, ZAR_INTER_NN);
    expectReport(errors, STATUS_BACKTRACE, "", 672);
    zarSetStatus(STATUS_OK);
}

}  // namespace
