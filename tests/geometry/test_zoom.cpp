// zarZoom and the zoom engine: rules worked by hand, and random cases (masks,
// plain and tiled images) against the reference at every instruction-set level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/geometry_reference.h"
#include "support/geometry_support.h"
#include "support/scenario.h"

namespace {

using zt::Image;

// Rules a reference could get wrong alike: LINEAR floors (never rounds up,
// with the floor's tolerance), CUBIC saturates and rounds halves to even, the
// mode falls back on small sources, positions map end to end, extreme factors.
// Each row fills the source with pixel(x, y), zooms and reads the end of
// destination row (or column) 0.
TEST(ZoomRules, WorkedByHand) {
    const gt::Pixel across = [](int32_t x, int32_t) { return 10.0 * (x + 1); };
    const struct Row {
        const char* rule;
        int32_t depth, sw, sh;
        gt::Pixel pixel;
        int32_t dw, dh, xDst, xSrc, yDst, ySrc, mode;
        bool column;
        const char* expected;
    } rows[] = {
        {"NN 4 -> 8 takes each column twice", ZAR_DEPTH_16U, 4, 1, across, 8, 1, 2, 1, 1, 1, 0,
         false, "10 10 20 20 30 30 40 40"},
        {"LINEAR thirds are floored, end to end", ZAR_DEPTH_8U, 2, 2,
         [](int32_t x, int32_t) { return 200.0 * x; }, 4, 2, 2, 1, 1, 1, 1, false, "0 66 133 200"},
        {"LINEAR never rounds up (127.99 -> 127)", ZAR_DEPTH_8U, 2, 2,
         [](int32_t, int32_t y) { return 127.0 + y; }, 2, 100, 1, 1, 50, 1, 1, true, "127 127 128"},
        {"CUBIC saturates at the top", ZAR_DEPTH_8U, 4, 4,
         [](int32_t x, int32_t) { return x == 1 || x == 2 ? 255.0 : 0; }, 7, 4, 7, 4, 1, 1, 2,
         false, "0 159 255 255 255 159 0"},
        {"CUBIC saturates at 0", ZAR_DEPTH_8U, 4, 4,
         [](int32_t x, int32_t) { return x == 1 || x == 2 ? 0.0 : 255; }, 7, 4, 7, 4, 1, 1, 2,
         false, "255 96 0 0 0 96 255"},
        {"CUBIC rounds halves to even", ZAR_DEPTH_8U, 4, 4,
         [](int32_t x, int32_t) { return x + 1.0; }, 7, 4, 7, 4, 1, 1, 2, false, "1 2 2 2 3 4 4"},
        {"a one-column source runs LINEAR as NN; 0.5 goes up", ZAR_DEPTH_8U, 1, 5,
         [](int32_t, int32_t y) { return 10.0 * y; }, 1, 9, 1, 1, 9, 5, 1, true,
         "0 10 10 20 20 30 30 40 40"},
        {"a one-column source runs CUBIC as NN", ZAR_DEPTH_8U, 1, 5,
         [](int32_t, int32_t y) { return 10.0 * y; }, 2, 9, 2, 1, 2, 1, 2, true,
         "0 0 10 10 20 20 30 30 40"},
        {"a factor of 2e9 fills the region from column 0", ZAR_DEPTH_8U, 4, 1, across, 8, 1,
         2000000000, 1, 1, 1, 0, false, "10 10 10 10 10 10 10 10"},
    };
    zt::ErrorRecorder errors;
    for (const Row& r : rows) {
        Image src = gt::filled(r.depth, r.sw, r.sh, r.pixel);
        Image dst(1, 0, r.depth, ZAR_DATA_ORDER_PIXEL, r.dw, r.dh);
        zarZoom(src, dst, r.xDst, r.xSrc, r.yDst, r.ySrc, r.mode);
        const int32_t count = static_cast<int32_t>(std::count(
                                  r.expected, r.expected + std::strlen(r.expected), ' ')) +
                              1;
        EXPECT_EQ(gt::rowText(dst, 0, r.column, (r.column ? r.dh : r.dw) - count), r.expected)
            << r.rule;
    }
    EXPECT_TRUE(errors.reports().empty());
}

// Random depths, layouts, regions, channels of interest, factors and modes;
// masks on either side; plain and tiled sides; some sources wider than the
// 64-column blocks and destinations of many tiles.  Factors that shrink go
// through zarResize (zarZoom refuses them).
TEST(ZoomRandom, PlainAndTiledAgainstTheReference) {
    gt::randomCases(2024, 300, [](zt::Rng& rng, int32_t n) {
        zt::OperandSpec s = gt::randomFormat(rng);
        s.width = rng.range(1, 24) + (n % 5 == 0 ? 60 : 0);
        s.height = rng.range(1, 24);
        const int xDst = rng.range(1, 6), xSrc = rng.range(1, 6), yDst = rng.range(1, 6),
                  ySrc = rng.range(1, 6), mode = rng.range(0, 2);
        zt::OperandSpec d = s;
        d.width = rng.range(1, std::max(1, s.width * xDst / xSrc) + 6) + (n % 7 == 0 ? 70 : 0);
        d.height = rng.range(1, std::max(1, s.height * yDst / ySrc) + 6);
        gt::randomSides(rng, {&s, &d}, true);
        return gt::RandomCase{
            {s, d},
            [=](const std::vector<ImageHeader*>& h) {
                if (xDst >= xSrc && yDst >= ySrc)
                    zarZoom(h[0], h[1], xDst, xSrc, yDst, ySrc, mode);
                else
                    EXPECT_EQ(zarResize(h[0], h[1], xDst, xSrc, yDst, ySrc, mode), STATUS_OK);
            },
            [=](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                ImageHeader* expected) {
                zt::referenceZoom(plain[0], expected, xDst, xSrc, yDst, ySrc, mode);
            },
            "factors " + std::to_string(xDst) + "/" + std::to_string(xSrc) + ", " +
                std::to_string(yDst) + "/" + std::to_string(ySrc) + " mode " +
                std::to_string(mode)};
    });
}

}  // namespace
