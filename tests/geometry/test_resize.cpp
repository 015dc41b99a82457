// zarResize: routing to decimation (super-sampling) or to the zoom engine
// (every other mode), the direction check and the backtrace rule.
#include <gtest/gtest.h>

#include "support/geometry_support.h"
#include "support/zar_test.h"

namespace {

using gt::fill;
using zt::Image;

void expectReport(const zt::Report& r, ZarStatus status, const char* func, const char* context,
                  const char* file, int32_t line) {
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.func, func);
    EXPECT_EQ(r.context, context);
    EXPECT_EQ(r.file, file);
    EXPECT_EQ(r.line, line);
}

class ResizeTest : public ::testing::Test {
  protected:
    zt::ErrorRecorder errors;
};

TEST_F(ResizeTest, SuperMayOnlyShrink) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3), dst(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 4, 9);
    const char* context = "(interpolate == ZAR_INTER_SUPER) && (xDst > xSrc || yDst > ySrc)";
    EXPECT_EQ(zarResize(src, dst, 2, 1, 1, 1, ZAR_INTER_SUPER), STATUS_BAD_ARG);
    expectReport(errors.only(), STATUS_BAD_ARG, "zarResize", context, "zarresiz", 56);
    errors.clear();
    zarSetStatus(STATUS_OK);
    EXPECT_EQ(zarResize(src, dst, 1, 2, 3, 2, ZAR_INTER_SUPER), STATUS_BAD_ARG);
    expectReport(errors.only(), STATUS_BAD_ARG, "zarResize", context, "zarresiz", 56);
    EXPECT_EQ(gt::rowValues(dst, 0), std::vector<int32_t>(16, 9));
    zarSetStatus(STATUS_OK);
}

TEST_F(ResizeTest, SuperWithOneAxisUnchangedDecimatesTheOther) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    const int32_t values[4][4] = {{1, 2, 3, 4}, {2, 2, 6, 9}, {0, 0, 255, 100}, {1, 0, 254, 101}};
    fill(src, [&](int32_t x, int32_t y, int32_t) { return values[y][x]; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 4, 2);
    EXPECT_EQ(zarResize(src, dst, 5, 5, 1, 2, ZAR_INTER_SUPER), STATUS_OK);
    // Means of row pairs, rounded: 1.5 -> 2, 2, 4.5 -> 5, 6.5 -> 7; 0.5 -> 1, 0, 254.5 -> 255,
    // 100.5 -> 101.
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{2, 2, 5, 7}));
    EXPECT_EQ(gt::rowValues(dst, 1), (std::vector<int32_t>{1, 0, 255, 101}));
    EXPECT_TRUE(errors.reports().empty());
}

TEST_F(ResizeTest, SuperGoesWhollyToDecimate) {
    zt::Rng rng(31);
    for (int32_t n = 0; n < 40; ++n) {
        const int32_t depth = n % 3 == 0 ? ZAR_DEPTH_1U : n % 3 == 1 ? ZAR_DEPTH_8U : ZAR_DEPTH_16U;
        const int32_t nch = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 3);
        Image src(nch, 0, depth, 0, rng.range(4, 30), rng.range(4, 30));
        src.randomize(rng.next());
        Image viaResize(nch, 0, depth, 0, rng.range(1, 20), rng.range(1, 20));
        viaResize.randomize(rng.next());
        Image viaDecimate = gt::copyOf(viaResize);
        const int32_t xSrc = rng.range(1, 7), ySrc = rng.range(1, 7);
        const int32_t xDst = rng.range(1, xSrc), yDst = rng.range(1, ySrc);
        EXPECT_EQ(zarResize(src, viaResize, xDst, xSrc, yDst, ySrc, ZAR_INTER_SUPER), STATUS_OK);
        zarDecimate(src, viaDecimate, xDst, xSrc, yDst, ySrc, ZAR_INTER_SUPER);
        ASSERT_TRUE(gt::samePixels(viaDecimate, viaResize));
    }
    EXPECT_TRUE(errors.reports().empty());
}

TEST_F(ResizeTest, DecimateFailuresAreBacktraced) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8), dst(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    EXPECT_EQ(zarResize(src, dst, 0, 2, 1, 2, ZAR_INTER_SUPER), STATUS_BACKTRACE);
    ASSERT_EQ(errors.reports().size(), 2u);
    expectReport(errors.reports()[0], STATUS_BAD_ARG, "zarDecimate", "xDst <= 0", "zardecim", 105);
    expectReport(errors.reports()[1], STATUS_BACKTRACE, "zarResize", "", "zarresiz", 59);
    zarSetStatus(STATUS_OK);
}

TEST_F(ResizeTest, EarlierNegativeStatusIsBacktraced) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3), dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 9);
    for (int32_t mode : {ZAR_INTER_SUPER, ZAR_INTER_NN}) {
        errors.clear();
        zarSetStatus(STATUS_ERROR);
        EXPECT_EQ(zarResize(src, dst, 1, 2, 1, 2, mode), STATUS_BACKTRACE);
        ASSERT_FALSE(errors.reports().empty());
        expectReport(errors.reports().back(), STATUS_BACKTRACE, "zarResize", "", "zarresiz", 59);
        EXPECT_EQ(gt::rowValues(dst, 0), std::vector<int32_t>(4, 9));
    }
    zarSetStatus(STATUS_OK);
}

TEST_F(ResizeTest, SuccessReturnsTheStatusWord) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8), dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    zarSetStatus(5);  // a positive status is not a failure
    EXPECT_EQ(zarResize(src, dst, 1, 2, 1, 2, ZAR_INTER_SUPER), 5);
    EXPECT_EQ(zarResize(src, dst, 1, 2, 1, 2, ZAR_INTER_LINEAR), 5);
    EXPECT_TRUE(errors.reports().empty());
    zarSetStatus(STATUS_OK);
}

TEST_F(ResizeTest, OtherModesGoToTheZoomEngine) {
    // An invalid mode is rejected by the zoom engine's own check.
    Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8), dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 9);
    EXPECT_EQ(zarResize(src, dst, 1, 2, 1, 2, 7), STATUS_BACKTRACE);
    ASSERT_EQ(errors.reports().size(), 2u);
    expectReport(errors.reports()[0], STATUS_BAD_ARG, "zarZoom",
                 "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && "
                 "interpolate != ZAR_INTER_CUBIC",
                 "zarZoom", 707);
    expectReport(errors.reports()[1], STATUS_BACKTRACE, "zarResize", "", "zarresiz", 59);
    EXPECT_EQ(gt::rowValues(dst, 0), std::vector<int32_t>(4, 9));
    zarSetStatus(STATUS_OK);
}

TEST_F(ResizeTest, NearestEnlargingPicksEachColumnTwice) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 4, 1);
    fill(src, [](int32_t x, int32_t, int32_t) { return 10 + x; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 8, 1);
    EXPECT_EQ(zarResize(src, dst, 2, 1, 1, 1, ZAR_INTER_NN), STATUS_OK);
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{10, 10, 11, 11, 12, 12, 13, 13}));
    EXPECT_TRUE(errors.reports().empty());
}

TEST_F(ResizeTest, LinearShrinksOneAxisAndEnlargesTheOtherInOnePass) {
    // 4 x 2 -> 2 x 4: columns at 0 and 3 (factor 3/1), rows at 0, 1/3, 2/3, 1.
    Image src(1, 0, ZAR_DEPTH_8U, 0, 4, 2);
    const int32_t values[2][4] = {{10, 20, 30, 40}, {70, 80, 90, 100}};
    fill(src, [&](int32_t x, int32_t y, int32_t) { return values[y][x]; });
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 2, 4);
    EXPECT_EQ(zarResize(src, dst, 1, 2, 2, 1, ZAR_INTER_LINEAR), STATUS_OK);
    EXPECT_EQ(gt::rowValues(dst, 0), (std::vector<int32_t>{10, 40}));
    EXPECT_EQ(gt::rowValues(dst, 1), (std::vector<int32_t>{30, 60}));
    EXPECT_EQ(gt::rowValues(dst, 2), (std::vector<int32_t>{50, 80}));
    EXPECT_EQ(gt::rowValues(dst, 3), (std::vector<int32_t>{70, 100}));
    EXPECT_TRUE(errors.reports().empty());
}

TEST_F(ResizeTest, ShrinkingThatZoomRefusesSucceedsHere) {
    Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8), dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    zarZoom(src, dst, 1, 2, 1, 2, ZAR_INTER_LINEAR);
    EXPECT_EQ(errors.only().context, "xDst < xSrc || yDst < ySrc");
    errors.clear();
    zarSetStatus(STATUS_OK);
    EXPECT_EQ(zarResize(src, dst, 1, 2, 1, 2, ZAR_INTER_LINEAR), STATUS_OK);
    EXPECT_TRUE(errors.reports().empty());
}

TEST_F(ResizeTest, EnlargingMatchesZoom) {
    zt::Rng rng(8);
    for (int32_t n = 0; n < 30; ++n) {
        const int32_t mode = n % 3;
        Image src(2, 0, ZAR_DEPTH_16U, n % 2, rng.range(1, 12), rng.range(1, 12));
        src.randomize(rng.next());
        Image viaResize(2, 0, ZAR_DEPTH_16U, n % 2, rng.range(1, 30), rng.range(1, 30));
        Image viaZoom = gt::copyOf(viaResize);
        const int32_t xSrc = rng.range(1, 4), ySrc = rng.range(1, 4);
        const int32_t xDst = rng.range(xSrc, 9), yDst = rng.range(ySrc, 9);
        EXPECT_EQ(zarResize(src, viaResize, xDst, xSrc, yDst, ySrc, mode), STATUS_OK);
        zarZoom(src, viaZoom, xDst, xSrc, yDst, ySrc, mode);
        ASSERT_TRUE(gt::samePixels(viaZoom, viaResize));
    }
    EXPECT_TRUE(errors.reports().empty());
}

TEST_F(ResizeTest, TiledSuperGivesThePlainPixels) {
    Image src(3, 0, ZAR_DEPTH_8U, 1, 40, 30);
    src.randomize(12);
    src.setRoi(0, 3, 2, 33, 25);
    Image plain(3, 0, ZAR_DEPTH_8U, 1, 20, 20), pixels(3, 0, ZAR_DEPTH_8U, 1, 20, 20);
    gt::Twin tiledSrc(src, true, 16, 8), tiledDst(pixels, true, 8, 8);
    EXPECT_EQ(zarResize(src, plain, 3, 5, 2, 3, ZAR_INTER_SUPER), STATUS_OK);
    EXPECT_EQ(zarResize(tiledSrc.image(), tiledDst.image(), 3, 5, 2, 3, ZAR_INTER_SUPER),
              STATUS_OK);
    EXPECT_TRUE(gt::samePixels(plain, tiledDst.pixels()));
    EXPECT_TRUE(tiledSrc.store()->balanced());
    EXPECT_TRUE(tiledDst.store()->balanced());
    EXPECT_TRUE(errors.reports().empty());
}

}  // namespace
