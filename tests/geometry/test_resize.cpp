// zarResize: routing to decimation (super-sampling) or to the zoom engine
// (every other mode), the direction check and the backtrace rule.
#include <gtest/gtest.h>

#include "geometry/zoom.h"
#include "support/geometry_support.h"
#include "support/zar_test.h"

namespace {

using zt::Image;

// Each row: factors, mode and the status word before the call; what the call
// returns and every report, in order; the destination keeps its pixels.
TEST(Resize, ChecksAndBacktraces) {
    const char* const kSuper = "(interpolate == ZAR_INTER_SUPER) && (xDst > xSrc || yDst > ySrc)";
    const zt::Report kBacktrace{STATUS_BACKTRACE, "zarResize", "", "zarresiz", 59};
    const struct {
        int32_t xDst, xSrc, yDst, ySrc, mode;
        ZarStatus before, returned;
        std::vector<zt::Report> reports;
    } rows[] = {
        {2,
         1,
         1,
         1,
         ZAR_INTER_SUPER,
         STATUS_OK,
         STATUS_BAD_ARG,
         {{STATUS_BAD_ARG, "zarResize", kSuper, "zarresiz", 56}}},
        {1,
         2,
         3,
         2,
         ZAR_INTER_SUPER,
         STATUS_OK,
         STATUS_BAD_ARG,
         {{STATUS_BAD_ARG, "zarResize", kSuper, "zarresiz", 56}}},
        {0,
         2,
         1,
         2,
         ZAR_INTER_SUPER,
         STATUS_OK,
         STATUS_BACKTRACE,
         {{STATUS_BAD_ARG, "zarDecimate", "xDst <= 0", "zardecim", 105}, kBacktrace}},
        {1,
         2,
         1,
         2,
         7,
         STATUS_OK,
         STATUS_BACKTRACE,
         {{STATUS_BAD_ARG, "zarZoom",
           "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && interpolate != "
           "ZAR_INTER_CUBIC",
           "zarZoom", 707},
          kBacktrace}},
        {1, 2, 1, 2, ZAR_INTER_SUPER, STATUS_ERROR, STATUS_BACKTRACE, {kBacktrace}},
        {1, 2, 1, 2, ZAR_INTER_NN, STATUS_ERROR, STATUS_BACKTRACE, {kBacktrace}},
        // A positive status word is no failure: it is returned.
        {1, 2, 1, 2, ZAR_INTER_SUPER, 5, 5, {}},
        {1, 2, 1, 2, ZAR_INTER_LINEAR, 5, 5, {}},
    };
    for (const auto& r : rows) {
        Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3), dst(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 4, 9);
        zt::ErrorRecorder errors;
        zarSetStatus(r.before);
        EXPECT_EQ(zarResize(src, dst, r.xDst, r.xSrc, r.yDst, r.ySrc, r.mode), r.returned);
        ASSERT_EQ(errors.reports().size(), r.reports.size()) << r.mode;
        for (size_t k = 0; k < r.reports.size(); ++k) {
            const zt::Report &got = errors.reports()[k], &want = r.reports[k];
            EXPECT_EQ(got.status, want.status);
            EXPECT_EQ(got.func, want.func);
            EXPECT_EQ(got.context, want.context);
            EXPECT_EQ(got.file, want.file);
            EXPECT_EQ(got.line, want.line);
        }
        if (r.returned < 0) {
            EXPECT_EQ(gt::rowValues(dst, 0), std::vector<int32_t>(16, 9));
        }
    }
}

// SUPER goes wholly to zarDecimate (even when one axis keeps its size), every
// other mode to the zoom engine, which shrinks too (zarZoom refuses that).
TEST(Resize, RoutesToDecimateOrTheZoomEngine) {
    zt::ErrorRecorder errors;
    zt::Rng rng(31);
    for (int32_t n = 0; n < 80; ++n) {
        const int32_t mode = n % 4 == 3 ? ZAR_INTER_SUPER : n % 4;
        const int32_t depth = n % 3 == 0 ? ZAR_DEPTH_1U : n % 3 == 1 ? ZAR_DEPTH_8U : ZAR_DEPTH_16U;
        const int32_t nch = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 3);
        const int32_t order = depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1);
        Image src(nch, 0, depth, order, rng.range(4, 30), rng.range(4, 30));
        src.randomize(rng.next());
        Image viaResize(nch, 0, depth, order, rng.range(1, 30), rng.range(1, 30));
        viaResize.randomize(rng.next());
        Image direct = gt::copyOf(viaResize);
        const int32_t xSrc = rng.range(1, 7), ySrc = rng.range(1, 7);
        const int32_t xDst = mode == ZAR_INTER_SUPER ? rng.range(1, xSrc) : rng.range(1, 9);
        const int32_t yDst = mode == ZAR_INTER_SUPER ? ySrc : rng.range(1, 9);
        EXPECT_EQ(zarResize(src, viaResize, xDst, xSrc, yDst, ySrc, mode), STATUS_OK);
        if (mode == ZAR_INTER_SUPER)
            zarDecimate(src, direct, xDst, xSrc, yDst, ySrc, mode);
        else
            zoomEngine(src, direct, xDst, xSrc, yDst, ySrc, mode);
        ASSERT_TRUE(gt::samePixels(direct, viaResize)) << "case " << n;
    }
    EXPECT_TRUE(errors.reports().empty());
}

}  // namespace
