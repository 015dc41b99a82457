// zarDecimate: checks, hand-worked cases, a randomized comparison with a naive
// reference, and tiled images on either side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "support/geometry_support.h"
#include "support/zar_test.h"

namespace {

using gt::fill;
using zt::Image;

void decimate(ImageHeader* src, ImageHeader* dst, int32_t xDst, int32_t xSrc, int32_t yDst,
              int32_t ySrc, int32_t mode) {
    zarDecimate(src, dst, xDst, xSrc, yDst, ySrc, mode);
}

void expectReport(const zt::ErrorRecorder& errors, ZarStatus status, const char* context,
                  int32_t line, const char* func = "zarDecimate", const char* file = "zardecim") {
    const zt::Report r = errors.only();
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.func, func);
    EXPECT_EQ(r.context, context);
    EXPECT_EQ(r.file, file);
    EXPECT_EQ(r.line, line);
}

// ------------------------------------------------------------------ checks

struct CheckCase {
    const char* context;
    int32_t line;
};

class DecimateChecks : public ::testing::Test {
  protected:
    zt::ErrorRecorder errors;
    Image src{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3};
    Image dst{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 9};
    // The destination keeps its fill: nothing is touched after a report.
    void expectUntouched() {
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(zt::getSample(dst, x, y, 0), 9);
    }
};

TEST_F(DecimateChecks, NullHeadersReportTheValidationStatus) {
    decimate(nullptr, dst, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_NULL_HEADER, "Incorrect Image", 72);
    errors.clear();
    zarSetStatus(STATUS_OK);
    decimate(src, nullptr, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_NULL_HEADER, "Incorrect Image", 73);
}

TEST_F(DecimateChecks, SameImage) {
    decimate(src, src, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_BAD_ARG, "srcImage == dstImage", 74);
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(zt::getSample(src, x, 0, 0), 3);
}

TEST_F(DecimateChecks, FormatMismatches) {
    Image other16(1, 0, ZAR_DEPTH_16U, 0, 8, 8);
    decimate(src, other16, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 75);

    errors.clear();
    zarSetStatus(STATUS_OK);
    dst->origin = 1;
    decimate(src, dst, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_BAD_ARG, "srcImage->origin != dstImage->origin", 76);
    dst->origin = 0;

    errors.clear();
    zarSetStatus(STATUS_OK);
    Image plane(1, 0, ZAR_DEPTH_8U, 1, 8, 8, 4, 9);
    decimate(src, plane, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 77);
    expectUntouched();
}

TEST_F(DecimateChecks, ChannelOfInterestRules) {
    Image src3(3, 0, ZAR_DEPTH_8U, 0, 8, 8);
    Image dst3(3, 0, ZAR_DEPTH_8U, 0, 8, 8);
    src3.setRoi(2, 0, 0, 8, 8);
    dst3.setRoi(0, 0, 0, 8, 8);
    decimate(src3, dst3, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_BAD_ARG, "srcImage->roi->coi > 0 && dstImage->roi->coi == 0", 80);

    errors.clear();
    zarSetStatus(STATUS_OK);
    Image dst3b(3, 0, ZAR_DEPTH_8U, 0, 8, 8);
    decimate(src3, dst3b, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_BAD_ARG, "srcImage->roi->coi > 0 && dstImage->roi == ((void *)0)",
                 83);

    errors.clear();
    zarSetStatus(STATUS_OK);
    src3->roi->coi = 0;
    dst3->roi->coi = 1;
    decimate(src3, dst3, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_BAD_ARG, "dstImage->roi->coi > 0 && srcImage->roi->coi == 0", 88);

    errors.clear();
    zarSetStatus(STATUS_OK);
    Image src3b(3, 0, ZAR_DEPTH_8U, 0, 8, 8);
    decimate(src3b, dst3, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_BAD_ARG, "dstImage->roi->coi > 0 && srcImage->roi == ((void *)0)",
                 91);

    // A single-channel partner needs no channel of interest.
    errors.clear();
    zarSetStatus(STATUS_OK);
    decimate(src3b, dst, 1, 2, 1, 2, ZAR_INTER_NN);
    EXPECT_TRUE(errors.reports().empty());
}

TEST_F(DecimateChecks, ModeAndFactors) {
    const CheckCase cases[] = {
        {"interpolate != ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC or ZAR_INTER_SUPER", 100},
        {"xDst <= 0", 105},
        {"xSrc <= 0", 106},
        {"yDst <= 0", 107},
        {"ySrc <= 0", 108},
        {"xDst > xSrc", 110},
        {"yDst > ySrc", 111},
    };
    const int32_t args[][5] = {
        {1, 2, 1, 2, 4}, {0, 2, 1, 2, 0}, {1, -1, 1, 2, 0}, {1, 2, 0, 2, 0},
        {1, 2, 1, 0, 0}, {3, 2, 1, 2, 0}, {1, 2, 5, 4, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        errors.clear();
        zarSetStatus(STATUS_OK);
        SCOPED_TRACE(cases[i].context);
        decimate(src, dst, args[i][0], args[i][1], args[i][2], args[i][3], args[i][4]);
        if (i == 2 || i == 4) {
            // A source factor below 1 also makes the destination factor larger.
            ASSERT_EQ(errors.reports().size(), 2u);
            EXPECT_EQ(errors.reports()[1].line, i == 2 ? 110 : 111);
            EXPECT_EQ(errors.reports()[0].context, cases[i].context);
            EXPECT_EQ(errors.reports()[0].line, cases[i].line);
            continue;
        }
        expectReport(errors, STATUS_BAD_ARG, cases[i].context, cases[i].line);
    }
    expectUntouched();
}

TEST_F(DecimateChecks, ChecksGoOnAfterAFailure) {
    decimate(src, src, 0, 0, 2, 1, 9);
    const auto& r = errors.reports();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].line, 74);
    EXPECT_EQ(r[1].line, 100);
    EXPECT_EQ(r[2].line, 105);
    EXPECT_EQ(r[3].line, 106);
    EXPECT_EQ(r[4].line, 111);
}

TEST_F(DecimateChecks, EarlierNegativeStatusStopsQuietly) {
    zarSetStatus(STATUS_ERROR);
    decimate(src, dst, 1, 2, 1, 2, ZAR_INTER_NN);
    EXPECT_TRUE(errors.reports().empty());
    expectUntouched();
    zarSetStatus(STATUS_OK);
}

TEST_F(DecimateChecks, DepthsWithoutKernelsReportAndTouchNothing) {
    for (int32_t depth : {ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S}) {
        errors.clear();
        zarSetStatus(STATUS_OK);
        Image a(1, 0, depth, 0, 8, 8, 4, 5), b(1, 0, depth, 0, 8, 8, 4, 7);
        decimate(a, b, 1, 2, 1, 2, ZAR_INTER_NN);
        const zt::Report r = errors.only();
        EXPECT_EQ(r.status, STATUS_BAD_ARG);
        EXPECT_EQ(r.context,
                  "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && "
                  "srcImage->depth != ZAR_DEPTH_16U");
        EXPECT_EQ(r.file, "zardecim");
        EXPECT_EQ(zt::getSample(b, 0, 0, 0), 7);
    }
}

// ------------------------------------------------------------ hand-worked

class DecimateCases : public ::testing::Test {
  protected:
    zt::ErrorRecorder errors;
    void TearDown() override { EXPECT_TRUE(errors.reports().empty()); }
};

TEST_F(DecimateCases, ThreeToTwoNearestPicksMiddles) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 9, 4);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 10 * y + x; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 6, 4, 4, 200);
    decimate(src, dst, 2, 3, 1, 1, ZAR_INTER_NN);
    // trunc(0.5 + 1.5 i); the integral y axis starts at row 0.
    for (int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(gt::rowValues(dst, y),
                  (std::vector<int32_t>{10 * y, 10 * y + 2, 10 * y + 3, 10 * y + 5, 10 * y + 6,
                                        10 * y + 8}));
}

TEST_F(DecimateCases, TwoToOneLinearIsEverySecondPixel) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 6);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 20 * y + 3 * x; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 4, 3);
    decimate(src, dst, 1, 2, 1, 2, ZAR_INTER_LINEAR);
    for (int32_t y = 0; y < 3; ++y)
        EXPECT_EQ(gt::rowValues(dst, y),
                  (std::vector<int32_t>{40 * y, 40 * y + 6, 40 * y + 12, 40 * y + 18}));
}

TEST_F(DecimateCases, EqualFactorsCopyTheRegion) {
    for (int32_t mode : {ZAR_INTER_LINEAR, ZAR_INTER_CUBIC}) {
        Image src(3, 0, ZAR_DEPTH_16U, 0, 7, 5);
        src.randomize(11);
        Image dst(3, 0, ZAR_DEPTH_16U, 0, 7, 5);
        decimate(src, dst, 3, 3, 2, 2, mode);
        EXPECT_TRUE(gt::samePixels(src, dst));
    }
}

TEST_F(DecimateCases, TwoToOneSuperIsTheRoundedBlockMean) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    const int32_t values[4][4] = {
        {1, 2, 0, 0}, {3, 4, 0, 1}, {10, 11, 255, 255}, {10, 10, 255, 254}};
    fill(src, [&](int32_t x, int32_t y, int32_t) { return values[y][x]; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 2, 2);
    decimate(src, dst, 1, 2, 1, 2, ZAR_INTER_SUPER);
    // 10/4 + 0.5 = 3; 1/4 + 0.5 -> 0; 41/4 + 0.5 = 10.75 -> 10; 1019/4 + 0.5 = 255.25 -> 255.
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{3, 0}));
    EXPECT_EQ(gt::rowValues(dst, 1), (std::vector<int32_t>{10, 255}));
}

TEST_F(DecimateCases, SuperWeighsPartlyCoveredPixels) {
    // 3:2 in x over a 6-wide row: boxes [0,1.5), [1.5,3), [3,4.5), [4.5,6).
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 4);
    const int32_t row[6] = {10, 20, 40, 60, 80, 100};
    fill(src, [&](int32_t x, int32_t, int32_t) { return row[x]; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    decimate(src, dst, 2, 3, 1, 1, ZAR_INTER_SUPER);
    // (10 + 0.5*20)/1.5 = 13.33 -> 13; (0.5*20 + 40)/1.5 = 33.3 -> 33;
    // (60 + 0.5*80)/1.5 = 66.7 -> 67; (0.5*80 + 100)/1.5 = 93.3 -> 93.
    for (int32_t y = 0; y < 4; ++y)
        EXPECT_EQ(gt::rowValues(dst, y), (std::vector<int32_t>{13, 33, 67, 93}));
}

TEST_F(DecimateCases, NarrowSourceAlwaysUsesNearest) {
    // 3 pixels wide: LINEAR 2:3 vertically samples rows trunc(0.5 + 1.5 j).
    Image src(1, 0, ZAR_DEPTH_8U, 0, 3, 9);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 10 * y + x; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 3, 6);
    decimate(src, dst, 1, 1, 2, 3, ZAR_INTER_LINEAR);
    const int32_t rows[6] = {0, 2, 3, 5, 6, 8};
    for (int32_t y = 0; y < 6; ++y)
        EXPECT_EQ(gt::rowValues(dst, y),
                  (std::vector<int32_t>{10 * rows[y], 10 * rows[y] + 1, 10 * rows[y] + 2}));
}

TEST_F(DecimateCases, LinearTruncates) {
    // 3:2 in x: column 1 sits at 1.5 between 100 and 101: 100.5 -> 100.
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 4);
    const int32_t row[6] = {7, 100, 101, 9, 50, 51};
    fill(src, [&](int32_t x, int32_t, int32_t) { return row[x]; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    decimate(src, dst, 2, 3, 1, 1, ZAR_INTER_LINEAR);
    // Positions 0, 1.5, 3, 4.5.
    EXPECT_EQ(gt::rowValues(dst, 2), (std::vector<int32_t>{7, 100, 9, 50}));
}

TEST_F(DecimateCases, CubicSaturatesBothWays) {
    // 3:2 in x: column 1 sits at 1.5 with taps 0..3.
    for (int32_t depth : {ZAR_DEPTH_8U, ZAR_DEPTH_16U}) {
        const int32_t top = depth == ZAR_DEPTH_8U ? 255 : 65535;
        Image src(1, 0, depth, 0, 8, 4);
        Image dst(1, 0, depth, 0, 5, 4, 4, 77);
        const int32_t high[8] = {0, top, top, 0, 0, 0, 0, 0};
        fill(src, [&](int32_t x, int32_t, int32_t) { return high[x]; });
        decimate(src, dst, 2, 3, 1, 1, ZAR_INTER_CUBIC);
        // (6b + t(-2a-3b+6c-d) + ...)/6 at t = 0.5 is 1.125 top: saturates.
        EXPECT_EQ(zt::getSample(dst, 1, 0, 0), top);
        EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);  // first column takes its tap

        const int32_t low[8] = {top, 0, 0, top, top, top, top, top};
        fill(src, [&](int32_t x, int32_t, int32_t) { return low[x]; });
        decimate(src, dst, 2, 3, 1, 1, ZAR_INTER_CUBIC);
        // -0.125 top: saturates at 0.
        EXPECT_EQ(zt::getSample(dst, 1, 3, 0), 0);
        EXPECT_EQ(zt::getSample(dst, 0, 3, 0), top);
    }
}

TEST_F(DecimateCases, RegionsLimitTheOutput) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 10, 10);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 10 * y + x; });
    src.setRoi(0, 2, 2, 8, 8);
    // Smaller destination region: only 2 x 1 of the 4 x 4 output.
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 6, 6, 4, 250);
    dst.setRoi(0, 3, 4, 2, 1);
    decimate(src, dst, 1, 2, 1, 2, ZAR_INTER_NN);
    EXPECT_EQ(gt::rowValues(dst, 4), (std::vector<int32_t>{250, 250, 250, 22, 24, 250}));
    for (int32_t y : {0, 1, 2, 3, 5})
        EXPECT_EQ(gt::rowValues(dst, y), std::vector<int32_t>(6, 250));
    // Larger destination region: the rest stays.
    Image big(1, 0, ZAR_DEPTH_8U, 0, 6, 6, 4, 250);
    decimate(src, big, 1, 2, 1, 2, ZAR_INTER_NN);
    EXPECT_EQ(gt::rowValues(big, 3), (std::vector<int32_t>{82, 84, 86, 88, 250, 250}));
    EXPECT_EQ(gt::rowValues(big, 4), std::vector<int32_t>(6, 250));
}

TEST_F(DecimateCases, ChannelOfInterestOnBothSides) {
    Image src(3, 0, ZAR_DEPTH_8U, 1, 8, 8);
    fill(src, [](int32_t x, int32_t y, int32_t c) { return 100 * c + 10 * y + x; });
    src.setRoi(3, 0, 0, 8, 8);
    Image dst(2, 0, ZAR_DEPTH_8U, 1, 4, 4, 4, 1);
    dst.setRoi(1, 0, 0, 4, 4);
    decimate(src, dst, 1, 2, 1, 2, ZAR_INTER_NN);
    EXPECT_EQ(gt::rowValues(dst, 1, 0), (std::vector<int32_t>{220, 222, 224, 226}));
    EXPECT_EQ(gt::rowValues(dst, 1, 1), std::vector<int32_t>(4, 1));
}

TEST_F(DecimateCases, BitsNearestWithBitOffsets) {
    Image src(1, 0, ZAR_DEPTH_1U, 0, 20, 4);
    // Column x set when x is 2, 3 or 6 (mod 9).
    fill(src, [](int32_t x, int32_t, int32_t) { return x % 9 == 2 || x % 9 == 3 || x % 9 == 6; });
    src.setRoi(0, 3, 0, 12, 4);  // columns 3 .. 14
    Image dst(1, 0, ZAR_DEPTH_1U, 0, 16, 4, 4, 1);
    dst.setRoi(0, 5, 1, 8, 2);
    decimate(src, dst, 2, 3, 1, 1, ZAR_INTER_NN);
    // Picks 0, 2, 3, 5, 6, 8, 9, 11 of the region: source columns 3,5,6,8,9,11,12,14.
    const std::vector<int32_t> picked = {1, 0, 1, 0, 0, 1, 1, 0};
    std::vector<int32_t> expected(16, 1);
    std::copy(picked.begin(), picked.end(), expected.begin() + 5);
    EXPECT_EQ(gt::rowValues(dst, 1), expected);
    EXPECT_EQ(gt::rowValues(dst, 2), expected);
    EXPECT_EQ(gt::rowValues(dst, 0), std::vector<int32_t>(16, 1));
    EXPECT_EQ(gt::rowValues(dst, 3), std::vector<int32_t>(16, 1));
}

TEST_F(DecimateCases, BitsSuperSetsHalfCoveredBoxes) {
    Image src(1, 0, ZAR_DEPTH_1U, 0, 8, 4);
    const int32_t bits[4][8] = {{1, 1, 1, 0, 0, 0, 1, 1},
                                {0, 0, 0, 0, 0, 1, 1, 1},
                                {1, 0, 1, 1, 0, 0, 0, 0},
                                {1, 0, 1, 1, 0, 0, 0, 1}};
    fill(src, [&](int32_t x, int32_t y, int32_t) { return bits[y][x]; });
    Image dst(1, 0, ZAR_DEPTH_1U, 0, 4, 2);
    decimate(src, dst, 1, 2, 1, 2, ZAR_INTER_SUPER);
    // Box counts 2, 1, 1, 4 / 2, 4, 0, 1: set from 2 of 4 on.
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{1, 0, 0, 1}));
    EXPECT_EQ(gt::rowValues(dst, 1), (std::vector<int32_t>{1, 1, 0, 0}));
}

TEST_F(DecimateCases, BitsLinearCopiesBitsFromPositionZero) {
    Image src(1, 0, ZAR_DEPTH_1U, 0, 9, 4);
    fill(src, [](int32_t x, int32_t, int32_t) { return x == 1 || x == 4 || x == 7; });
    Image dst(1, 0, ZAR_DEPTH_1U, 0, 6, 4);
    decimate(src, dst, 2, 3, 1, 1, ZAR_INTER_LINEAR);
    // Positions 0, 1.5, 3, 4.5, 6, 7.5 truncated: columns 0, 1, 3, 4, 6, 7.
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{0, 1, 0, 1, 0, 1}));
}

TEST_F(DecimateCases, PositionsAddTheSingleFactorInDouble) {
    // 6:7 nearest: the factor 7/6 as a single-precision float is
    // 1.16666662693, a little below 7/6; added in double to 0.5, the positions
    // of columns 3 and 9 are 3.99999988 and 10.99999964 and truncate to 3 and
    // 10 (exact sevenths would give 4 and 11).
    Image src(1, 0, ZAR_DEPTH_8U, 0, 14, 4);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 10 * y + x; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 12, 4, 4, 200);
    decimate(src, dst, 6, 7, 1, 1, ZAR_INTER_NN);
    EXPECT_EQ(gt::rowValues(dst, 1),
              (std::vector<int32_t>{10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 22, 23}));
}

TEST_F(DecimateCases, LinearInterpolatesBothAxesAndTruncates) {
    // 3:2 both ways over p(x, y) = x * x + 10 y: positions 0, 1.5, 3, 4.5.
    // The first row interpolates only across, the first column only down;
    // (1.5, 1.5) is the mean of 11, 14, 21, 24 = 17.5 -> 17.
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 6);
    fill(src, [](int32_t x, int32_t y, int32_t) { return x * x + 10 * y; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    decimate(src, dst, 2, 3, 2, 3, ZAR_INTER_LINEAR);
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{0, 2, 9, 20}));
    EXPECT_EQ(gt::rowValues(dst, 1), (std::vector<int32_t>{15, 17, 24, 35}));
    EXPECT_EQ(gt::rowValues(dst, 2), (std::vector<int32_t>{30, 32, 39, 50}));
    EXPECT_EQ(gt::rowValues(dst, 3), (std::vector<int32_t>{45, 47, 54, 65}));
}

TEST_F(DecimateCases, CubicTapsMoveBackAtTheRightEdge) {
    // 3:2 across a 6-wide row 0, 0, 10, 20, 40, 80.  Column 1 (1.5): taps
    // 0..3 at t = 0.5: (0.5*40 + 0.25*30 - 0.125*10)/6 = 4.375 -> 4.  Column 2
    // (3.0): t = 0 gives 20.  Column 3 (4.5): 4 is not below 6 - 2, so the taps
    // are 2..5 (10, 20, 40, 80) at t = 1.5:
    // (120 + 1.5*80 + 2.25*30 + 3.375*10)/6 = 56.875 -> 56.
    for (int32_t depth : {ZAR_DEPTH_8U, ZAR_DEPTH_16U}) {
        Image src(1, 0, depth, 0, 6, 4);
        const int32_t row[6] = {0, 0, 10, 20, 40, 80};
        fill(src, [&](int32_t x, int32_t, int32_t) { return row[x]; });
        Image dst(1, 0, depth, 0, 4, 4, 4, 99);
        decimate(src, dst, 2, 3, 1, 1, ZAR_INTER_CUBIC);
        for (int32_t y = 0; y < 4; ++y)
            EXPECT_EQ(gt::rowValues(dst, y), (std::vector<int32_t>{0, 4, 20, 56}));
    }
}

TEST_F(DecimateCases, BitsSuperWeighsPartlyCoveredBits) {
    // 3:2 across, 1:2 down: boxes 1.5 x 2 of area 3, [0,1.5), [1.5,3), [3,4.5),
    // [4.5,6).  Rows 0-1: sums 0.5, 1.5, 1.5, 0.5; a mean of 1.5/3 = 0.5 sets.
    Image src(1, 0, ZAR_DEPTH_1U, 0, 6, 4);
    const int32_t bits[4][6] = {
        {0, 1, 1, 0, 1, 0}, {0, 0, 0, 1, 0, 0}, {1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}};
    fill(src, [&](int32_t x, int32_t y, int32_t) { return bits[y][x]; });
    Image dst(1, 0, ZAR_DEPTH_1U, 0, 4, 2);
    decimate(src, dst, 2, 3, 1, 2, ZAR_INTER_SUPER);
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{0, 1, 1, 0}));
    EXPECT_EQ(gt::rowValues(dst, 1), (std::vector<int32_t>{1, 1, 1, 1}));
}

// --------------------------------------------------------------- reference

// Naive decimation written from the rules, one value at a time.
struct Reference {
    const ImageHeader* src;
    ImageHeader* dst;
    int32_t xDst, xSrc, yDst, ySrc, mode;
    const TileInfo* srcTiles = nullptr;  // the tiles of a tiled twin of src

    static int32_t clippedWidth(const ImageHeader* im) {
        return im->roi ? std::min(im->roi->width, im->width - im->roi->xOffset) : im->width;
    }
    static int32_t clippedHeight(const ImageHeader* im) {
        return im->roi ? std::min(im->roi->height, im->height - im->roi->yOffset) : im->height;
    }
    static int32_t channels(const ImageHeader* im) {
        return im->roi && im->roi->coi ? 1 : im->nChannels;
    }
    static int32_t first(const ImageHeader* im) {
        return im->roi && im->roi->coi ? im->roi->coi - 1 : 0;
    }

    int32_t sx = 0, sy = 0, cols = 0, rows = 0, sc = 0, maxValue = 0;
    double at(int32_t x, int32_t y, int32_t c) const {
        return zt::getSample(src, sx + x, sy + y, sc + c);
    }
    static double lagrange(double a, double b, double c, double d, double t) {
        return (6.0 * b + t * (-2.0 * a - 3.0 * b + 6.0 * c - d) +
                t * t * (3.0 * a - 6.0 * b + 3.0 * c) + t * t * t * (-a + 3.0 * b - 3.0 * c + d)) *
               static_cast<double>(1.0f / 6.0f);
    }

    void run() {
        const int32_t w = std::min<int64_t>(clippedWidth(dst),
                                            int64_t{clippedWidth(src)} * xDst / xSrc);
        const int32_t h = std::min<int64_t>(clippedHeight(dst),
                                            int64_t{clippedHeight(src)} * yDst / ySrc);
        if (w < 1 || h < 1) return;
        const bool xInt = xSrc % xDst == 0, yInt = ySrc % yDst == 0;
        int32_t m = mode;
        const int32_t roiW = src->roi ? src->roi->width : src->width;
        const int32_t roiH = src->roi ? src->roi->height : src->height;
        if (src->width < 4 || src->height < 4)
            m = 0;
        else if (m != 3 && xInt && yInt)
            m = 0;
        else if (int64_t{xDst} * roiW / xSrc == 0 || int64_t{yDst} * roiH / ySrc == 0)
            m = 0;
        if (srcTiles && m == 3 &&
            ((xSrc + xDst - 1) / xDst > srcTiles->width ||
             (ySrc + yDst - 1) / yDst > srcTiles->height))
            m = 0;
        const bool bits = src->depth == ZAR_DEPTH_1U;
        if (bits && (m == 1 || m == 2)) m = 4;  // bit copy from position 0
        maxValue = bits ? 1 : src->depth == ZAR_DEPTH_8U ? 255 : 65535;
        const float kx = static_cast<float>(static_cast<double>(xSrc) / xDst);
        const float ky = static_cast<float>(static_cast<double>(ySrc) / yDst);
        const double x0 = m == 0 && !xInt ? 0.5 : 0.0, y0 = m == 0 && !yInt ? 0.5 : 0.0;
        sx = src->roi ? src->roi->xOffset : 0;
        sy = src->roi ? src->roi->yOffset : 0;
        cols = src->width - sx;
        rows = src->height - sy;
        sc = first(src);
        const int32_t dx = dst->roi ? dst->roi->xOffset : 0, dy = dst->roi ? dst->roi->yOffset : 0;
        const int32_t dc = first(dst);
        const int32_t nch = std::min(channels(src), channels(dst));
        for (int32_t c = 0; c < nch; ++c) {
            double y = y0;
            for (int32_t j = 0; j < h; ++j, y += ky) {
                double x = x0;
                for (int32_t i = 0; i < w; ++i, x += kx) {
                    double v = 0;
                    const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
                    const bool xDirect = xInt || (i == 0 && x0 < FLT_MIN);
                    const bool yDirect = yInt || (j == 0 && y0 < FLT_MIN);
                    if (m == 0 || m == 4) {
                        v = at(ix, iy, c);
                    } else if (m == 1) {
                        const double fx = x - ix, fy = y - iy;
                        if (xDirect && yDirect)
                            v = at(ix, iy, c);
                        else if (yDirect)
                            v = (1 - fx) * at(ix, iy, c) + fx * at(ix + 1, iy, c);
                        else if (xDirect)
                            v = at(ix, iy, c) * (1 - fy) + at(ix, iy + 1, c) * fy;
                        else
                            v = ((1 - fx) * at(ix, iy, c) + fx * at(ix + 1, iy, c)) * (1 - fy) +
                                ((1 - fx) * at(ix, iy + 1, c) + fx * at(ix + 1, iy + 1, c)) * fy;
                        v = static_cast<int32_t>(v);
                    } else if (m == 2) {
                        int32_t bx = ix, by = iy;
                        double t = x - ix, u = y - iy;
                        if (bx >= cols - 2) {
                            bx -= 1;
                            t += 1.0;
                        }
                        if (by >= rows - 2) {
                            by -= 1;
                            u += 1.0;
                        }
                        auto rowValue = [&](int32_t r) {
                            if (xDirect) return at(ix, r, c);
                            return lagrange(at(bx - 1, r, c), at(bx, r, c), at(bx + 1, r, c),
                                            at(bx + 2, r, c), t);
                        };
                        v = yDirect ? rowValue(iy)
                                    : lagrange(rowValue(by - 1), rowValue(by), rowValue(by + 1),
                                               rowValue(by + 2), u);
                        v = std::clamp<int32_t>(static_cast<int32_t>(v), 0, maxValue);
                    } else {
                        v = superValue(x, y, kx, ky, c);
                    }
                    zt::setSample(dst, dx + i, dy + j, dc + c, v);
                }
            }
        }
    }

    // Weighted sum over the box, edges by their covered fraction.
    double superValue(double x, double y, float kx, float ky, int32_t c) const {
        auto box = [](double s, float k, int32_t avail, double& start, double& end) {
            start = s;
            end = s + k;
            if (static_cast<int32_t>(end) >= avail) {
                start = avail - static_cast<double>(k);
                end = avail;
            }
        };
        double xs, xe, ys, ye;
        box(x, kx, cols, xs, xe);
        box(y, ky, rows, ys, ye);
        auto weight = [](int32_t p, double s, double e) {
            const int32_t first = static_cast<int32_t>(s), last = static_cast<int32_t>(e);
            const double w = p == first ? 1.0 - (s - first) : p == last ? e - last : 1.0;
            return (p == first || p == last) && w <= 0.0001 ? 0.0 : w;
        };
        double sum = 0;
        for (int32_t r = static_cast<int32_t>(ys); r <= static_cast<int32_t>(ye); ++r) {
            const double wr = weight(r, ys, ye);
            if (wr == 0.0) continue;
            double rowSum = 0;
            for (int32_t q = static_cast<int32_t>(xs); q <= static_cast<int32_t>(xe); ++q) {
                const double wq = weight(q, xs, xe);
                if (wq != 0.0) rowSum += wq * at(q, r, c);
            }
            sum += wr * rowSum;
        }
        const double area = static_cast<double>(kx) * static_cast<double>(ky);
        if (maxValue == 1) return sum / area + 0.5 >= 1.0 ? 1 : 0;
        return std::min(static_cast<int32_t>(sum * (1.0 / area) + 0.5), maxValue);
    }
};

struct RandomCase {
    Image src, dst;
    int32_t xDst, xSrc, yDst, ySrc, mode;
};

RandomCase randomCase(zt::Rng& rng) {
    const int32_t depths[] = {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_16U};
    const int32_t depth = depths[rng.range(0, 2)];
    const int32_t order = depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1);
    const int32_t nch = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
    const int32_t alpha = nch > 1 && rng.range(0, 3) == 0 ? nch : 0;
    const int32_t sw = rng.range(1, 40), sh = rng.range(1, 40);
    const int32_t dw = rng.range(1, 30), dh = rng.range(1, 30);
    RandomCase rc{Image(nch, alpha, depth, order, sw, sh, 4 << rng.range(0, 3)),
                  Image(nch, alpha, depth, order, dw, dh, 4 << rng.range(0, 3)),
                  0,
                  0,
                  0,
                  0,
                  0};
    rc.src.randomize(rng.next());
    rc.dst.randomize(rng.next());
    const bool coi = nch > 1 && rng.range(0, 3) == 0;
    if (coi || rng.range(0, 1)) {
        const int32_t x = rng.range(0, sw - 1), y = rng.range(0, sh - 1);
        rc.src.setRoi(coi ? rng.range(1, nch) : 0, x, y, rng.range(1, sw + 3 - x),
                      rng.range(1, sh + 3 - y));
    }
    if (coi || rng.range(0, 1)) {
        const int32_t x = rng.range(0, dw - 1), y = rng.range(0, dh - 1);
        rc.dst.setRoi(coi ? rng.range(1, nch) : 0, x, y, rng.range(1, dw + 3 - x),
                      rng.range(1, dh + 3 - y));
    }
    rc.xSrc = rng.range(1, 9);
    rc.xDst = rng.range(1, rc.xSrc);
    rc.ySrc = rng.range(1, 9);
    rc.yDst = rng.range(1, rc.ySrc);
    rc.mode = rng.range(0, 3);
    return rc;
}

TEST(DecimateRandom, MatchesTheNaiveReference) {
    zt::ErrorRecorder errors;
    zt::Rng rng(20261205);
    for (int32_t n = 0; n < 600; ++n) {
        RandomCase rc = randomCase(rng);
        SCOPED_TRACE(testing::Message() << "case " << n << " depth " << rc.src->depth << " mode "
                                        << rc.mode << " factors " << rc.xDst << "/" << rc.xSrc
                                        << ", " << rc.yDst << "/" << rc.ySrc);
        Image expected = gt::copyOf(rc.dst);
        Reference{rc.src, expected, rc.xDst, rc.xSrc, rc.yDst, rc.ySrc, rc.mode}.run();
        decimate(rc.src, rc.dst, rc.xDst, rc.xSrc, rc.yDst, rc.ySrc, rc.mode);
        ASSERT_TRUE(errors.reports().empty());
        ASSERT_TRUE(gt::samePixels(expected, rc.dst));
    }
}

// Wide rows and the common factors, so that every per-call column table and
// every row summing variant (two-pixel boxes over 1, 3 and 4 packed
// channels, other box widths, weighted boxes) runs over many columns.
TEST(DecimateRandom, WideRowsMatchTheNaiveReference) {
    zt::ErrorRecorder errors;
    zt::Rng rng(20261206);
    const int32_t factors[][2] = {{1, 2}, {2, 4}, {1, 3}, {2, 3}, {3, 5}, {1, 1}, {1, 4}};
    for (int32_t n = 0; n < 160; ++n) {
        const int32_t depth = rng.range(0, 1) ? ZAR_DEPTH_8U : ZAR_DEPTH_16U;
        const int32_t order = rng.range(0, 1), nch = rng.range(1, 4);
        const auto& fx = factors[rng.range(0, 6)];
        const auto& fy = factors[rng.range(0, 6)];
        const int32_t sw = rng.range(60, 200), sh = rng.range(4, 24);
        Image src(nch, 0, depth, order, sw, sh, 8);
        Image dst(nch, 0, depth, order, rng.range(20, 120), rng.range(2, 14), 8);
        src.randomize(rng.next());
        dst.randomize(rng.next());
        if (rng.range(0, 2) == 0) {
            const int32_t x = rng.range(0, 9), y = rng.range(0, 3);
            src.setRoi(nch > 1 && rng.range(0, 3) == 0 ? rng.range(1, nch) : 0, x, y,
                       sw - x - rng.range(0, 5), sh - y);
            if (src->roi->coi) dst.setRoi(rng.range(1, nch), 0, 0, dst->width, dst->height);
        }
        const int32_t mode = rng.range(0, 3);
        SCOPED_TRACE(testing::Message() << "case " << n << " depth " << depth << " mode " << mode
                                        << " channels " << nch << " order " << order << " factors "
                                        << fx[0] << "/" << fx[1] << ", " << fy[0] << "/" << fy[1]);
        Image expected = gt::copyOf(dst);
        Reference{src, expected, fx[0], fx[1], fy[0], fy[1], mode}.run();
        decimate(src, dst, fx[0], fx[1], fy[0], fy[1], mode);
        ASSERT_TRUE(errors.reports().empty());
        ASSERT_TRUE(gt::samePixels(expected, dst));
    }
}

// Super-sampling by one half on both axes over every width from 1 to 40
// (wide enough for whole runs of eight boxes, and every tail), at region
// offsets, in both orders and depths.
TEST(DecimateRandom, HalvingMatchesTheNaiveReference) {
    zt::ErrorRecorder errors;
    zt::Rng rng(20261207);
    for (int32_t width = 1; width <= 40; ++width) {
        const int32_t depth = width % 3 == 0 ? ZAR_DEPTH_16U : ZAR_DEPTH_8U;
        const int32_t order = rng.range(0, 1), nch = rng.range(1, 4);
        const int32_t x = rng.range(0, 3), y = rng.range(0, 1), rows = rng.range(1, 6);
        Image src(nch, 0, depth, order, 2 * width + x + rng.range(0, 1), 2 * rows + y, 8);
        Image dst(nch, 0, depth, order, width, rows, 8);
        src.randomize(rng.next());
        dst.randomize(rng.next());
        if (x || y) src.setRoi(0, x, y, 2 * width, 2 * rows);
        const int32_t k = rng.range(1, 2);
        SCOPED_TRACE(testing::Message()
                     << "width " << width << " depth " << depth << " channels " << nch << " order "
                     << order << " offset " << x << "," << y);
        Image expected = gt::copyOf(dst);
        Reference{src, expected, k, 2 * k, k, 2 * k, ZAR_INTER_SUPER}.run();
        decimate(src, dst, k, 2 * k, k, 2 * k, ZAR_INTER_SUPER);
        ASSERT_TRUE(errors.reports().empty());
        ASSERT_TRUE(gt::samePixels(expected, dst));
    }
}

// ------------------------------------------------------------------- tiles

TEST(DecimateTiles, TiledSidesGiveThePlainPixels) {
    zt::ErrorRecorder errors;
    zt::Rng rng(77);
    for (int32_t n = 0; n < 240; ++n) {
        RandomCase rc = randomCase(rng);
        const bool srcTiled = n % 3 != 1, dstTiled = n % 3 != 0;
        const int32_t tile = 8 << rng.range(0, 1);
        SCOPED_TRACE(testing::Message()
                     << "case " << n << " src tiled " << srcTiled << " dst tiled " << dstTiled
                     << " mode " << rc.mode << " factors " << rc.xDst << "/" << rc.xSrc << ", "
                     << rc.yDst << "/" << rc.ySrc);
        Image expected = gt::copyOf(rc.dst);
        gt::Twin src(rc.src, srcTiled, tile, 8), dst(rc.dst, dstTiled, 8, tile);
        Reference{rc.src,  expected, rc.xDst, rc.xSrc,
                  rc.yDst, rc.ySrc,  rc.mode, src.image()->tileInfo}
            .run();
        decimate(src.image(), dst.image(), rc.xDst, rc.xSrc, rc.yDst, rc.ySrc, rc.mode);
        ASSERT_TRUE(errors.reports().empty());
        ASSERT_TRUE(gt::samePixels(expected, dst.pixels()));
        if (srcTiled) {
            EXPECT_TRUE(src.store()->balanced());
        }
        if (dstTiled) {
            EXPECT_TRUE(dst.store()->balanced());
        }
    }
}

TEST(DecimateTiles, PositionsCarryAcrossDestinationTiles) {
    // 7:10 over tiles 8 wide: plain and tiled runs agree pixel for pixel.
    zt::ErrorRecorder errors;
    for (int32_t mode = 0; mode < 4; ++mode) {
        Image src(2, 0, ZAR_DEPTH_8U, 0, 60, 50);
        src.randomize(5 + mode);
        Image plain(2, 0, ZAR_DEPTH_8U, 0, 42, 35, 4, 3);
        Image tiledPixels(2, 0, ZAR_DEPTH_8U, 0, 42, 35, 4, 3);
        gt::Twin dst(tiledPixels, true, 8, 16);
        decimate(src, plain, 7, 10, 7, 10, mode);
        decimate(src, dst.image(), 7, 10, 7, 10, mode);
        EXPECT_TRUE(errors.reports().empty());
        EXPECT_TRUE(gt::samePixels(plain, dst.pixels()));
        EXPECT_TRUE(dst.store()->balanced());
        EXPECT_EQ(dst.store()->count(ZAR_TILE_WRITE), 6 * 3);
    }
}

TEST(DecimateTiles, SuperBoxWiderThanATileSamplesInstead) {
    // 2:19 boxes are 10 wide, more than the 8-pixel tiles: the tiled source
    // samples from 0.5 instead.
    zt::ErrorRecorder errors;
    Image src(1, 0, ZAR_DEPTH_8U, 0, 36, 16);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 7 * x + y; });
    gt::Twin tiled(src, true, 8, 8);
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 3, 16);
    decimate(tiled.image(), dst, 2, 19, 1, 1, ZAR_INTER_SUPER);
    // Columns trunc(0.5 + 9.5 i) = 0, 10, 19.
    EXPECT_EQ(gt::rowValues(dst, 2), (std::vector<int32_t>{2, 72, 135}));
    // The plain source averages the boxes: (7*(0+...+8) + 0.5*63)/9.5 + 2 = 32.
    decimate(src, dst, 2, 19, 1, 1, ZAR_INTER_SUPER);
    EXPECT_EQ(zt::getSample(dst, 0, 2, 0), 32);
    EXPECT_TRUE(tiled.store()->balanced());
    EXPECT_TRUE(errors.reports().empty());
}

TEST(DecimateTiles, OnlyTilesNearTheRegionAreRead) {
    zt::ErrorRecorder errors;
    Image src(1, 0, ZAR_DEPTH_8U, 0, 64, 64);
    src.randomize(3);
    src.setRoi(0, 16, 16, 16, 16);
    gt::Twin tiled(src, true, 8, 8);
    tiled.store()->refuse(7, 7);
    tiled.store()->refuse(0, 0);
    for (int32_t mode = 0; mode < 4; ++mode) {
        Image plain(1, 0, ZAR_DEPTH_8U, 0, 12, 12), fromTiles(1, 0, ZAR_DEPTH_8U, 0, 12, 12);
        decimate(src, plain, 3, 4, 3, 4, mode);
        decimate(tiled.image(), fromTiles, 3, 4, 3, 4, mode);
        EXPECT_TRUE(gt::samePixels(plain, fromTiles));
    }
    EXPECT_TRUE(errors.reports().empty());
    EXPECT_TRUE(tiled.store()->balanced());
}

TEST(DecimateTiles, NearestReadsTheSourceTileByTile) {
    // 1:2 nearest over 8 x 8 source tiles: destination pixel (i, j) takes
    // source pixel (2i, 2j), and each source tile serves a 4 x 4 piece.
    zt::ErrorRecorder errors;
    Image src(1, 0, ZAR_DEPTH_8U, 0, 32, 32);
    fill(src, [](int32_t x, int32_t y, int32_t) { return x + 5 * y; });
    gt::Twin tiled(src, true, 8, 8);
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 4, 250);
    decimate(tiled.image(), dst, 1, 2, 1, 2, ZAR_INTER_NN);
    EXPECT_TRUE(errors.reports().empty());
    EXPECT_EQ(tiled.store()->count(ZAR_TILE_READ), 16);
    EXPECT_TRUE(tiled.store()->balanced());
    for (int32_t j = 0; j < 16; ++j)
        for (int32_t i = 0; i < 16; ++i) ASSERT_EQ(zt::getSample(dst, i, j, 0), 2 * i + 10 * j);

    // Source tile (2, 1) refused: the pieces of the tiles before it (all of
    // tile row 0, then tiles (0, 1) and (1, 1)) are written, nothing after.
    Image partial(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 4, 250);
    tiled.store()->refuse(2, 1);
    decimate(tiled.image(), partial, 1, 2, 1, 2, ZAR_INTER_NN);
    expectReport(errors, STATUS_INTERNAL, "srcImage->tileInfo->callBack crash", 342);
    EXPECT_TRUE(tiled.store()->balanced());
    for (int32_t j = 0; j < 16; ++j)
        for (int32_t i = 0; i < 16; ++i) {
            const bool written = j < 4 || (j < 8 && i < 8);
            ASSERT_EQ(zt::getSample(partial, i, j, 0), written ? 2 * i + 10 * j : 250)
                << "pixel (" << i << ", " << j << ")";
        }
    zarSetStatus(STATUS_OK);
}

TEST(DecimateTiles, RefusedTilesAreReported) {
    zt::ErrorRecorder errors;
    Image src(1, 0, ZAR_DEPTH_8U, 0, 32, 32);
    Image dstPixels(1, 0, ZAR_DEPTH_8U, 0, 16, 16);
    {
        gt::Twin dst(dstPixels, true, 8, 8);
        dst.store()->refuse(1, 0);
        decimate(src, dst.image(), 1, 2, 1, 2, ZAR_INTER_NN);
        expectReport(errors, STATUS_INTERNAL, "dstImage->tileInfo->callBack crash", 347);
        EXPECT_TRUE(dst.store()->balanced());
        // Tile (0, 0) was done before the refusal; nothing after it.
        EXPECT_EQ(dst.store()->count(ZAR_TILE_WRITE), 2);
    }
    errors.clear();
    zarSetStatus(STATUS_OK);
    gt::Twin tiledSrc(src, true, 8, 8);
    tiledSrc.store()->refuse(2, 3);
    decimate(tiledSrc.image(), dstPixels, 1, 2, 1, 2, ZAR_INTER_LINEAR);
    expectReport(errors, STATUS_INTERNAL, "srcImage->tileInfo->callBack crash", 342);
    zarSetStatus(STATUS_OK);
}

}  // namespace
