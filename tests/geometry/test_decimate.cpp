// zarDecimate: rules worked by hand, and random cases on plain and tiled images
// against the reference at every level (checks and refused tiles: test_checks.cpp).
#include <gtest/gtest.h>

#include <array>

#include "support/geometry_reference.h"
#include "support/geometry_support.h"
#include "support/scenario.h"

namespace {

using zt::Image;

// Rules a reference could get wrong alike: where positions fall (a float
// factor added in double), truncation, rounding of box means, saturation,
// taps moved back at the edge, 1-bit rules.  Each row fills the source with
// pixel(x, y), decimates and compares destination row y.
TEST(DecimateRules, WorkedByHand) {
    const gt::Pixel ramp = [](int32_t x, int32_t y) { return 10.0 * y + x; };
    const struct Row {
        const char* rule;
        int32_t depth, sw, sh;
        gt::Pixel pixel;
        int32_t dw, dh, xDst, xSrc, yDst, ySrc, mode, y;
        const char* expected;
    } rows[] = {
        {"NN 2:3 takes trunc(0.5 + 1.5 i)", ZAR_DEPTH_8U, 9, 4, ramp, 6, 4, 2, 3, 1, 1, 0, 1,
         "10 12 13 15 16 18"},
        {"positions add the float factor 7/6 in double", ZAR_DEPTH_8U, 14, 4, ramp, 12, 4, 6, 7, 1,
         1, 0, 1, "10 11 12 13 15 16 17 18 19 20 22 23"},
        {"SUPER rounds the block mean (2.5 -> 3)", ZAR_DEPTH_8U, 4, 4,
         [](int32_t x, int32_t y) { return x < 2 ? 1.0 + x + 2 * y : 255.0 - (x == 3 && y == 1); },
         2, 2, 1, 2, 1, 2, 3, 0, "3 255"},
        {"SUPER weighs partly covered pixels", ZAR_DEPTH_8U, 6, 4,
         [](int32_t x, int32_t) { return x ? 20.0 * x : 10.0; }, 4, 4, 2, 3, 1, 1, 3, 2,
         "13 33 67 93"},
        {"a source under 4 wide samples (NN)", ZAR_DEPTH_8U, 3, 9, ramp, 3, 6, 1, 1, 2, 3, 1, 3,
         "50 51 52"},
        {"LINEAR truncates", ZAR_DEPTH_8U, 6, 4,
         [](int32_t x, int32_t) { return std::array<double, 6>{7, 100, 101, 9, 50, 51}[x]; }, 4, 4,
         2, 3, 1, 1, 1, 2, "7 100 9 50"},
        {"LINEAR on both axes truncates the mean", ZAR_DEPTH_8U, 6, 6,
         [](int32_t x, int32_t y) { return x * x + 10.0 * y; }, 4, 4, 2, 3, 2, 3, 1, 1,
         "15 17 24 35"},
        {"CUBIC saturates at 0", ZAR_DEPTH_16U, 8, 4,
         [](int32_t x, int32_t) { return x == 1 || x == 2 ? 0.0 : 65535; }, 5, 4, 2, 3, 1, 1, 2, 3,
         "65535 0 65535 65535 65535"},
        {"CUBIC taps move back at the right edge", ZAR_DEPTH_16U, 6, 4,
         [](int32_t x, int32_t) { return std::array<double, 6>{0, 0, 10, 20, 40, 80}[x]; }, 4, 4, 2,
         3, 1, 1, 2, 1, "0 4 20 56"},
        {"1-bit LINEAR copies bits from position 0", ZAR_DEPTH_1U, 9, 4,
         [](int32_t x, int32_t) { return x % 3 == 1 ? 1.0 : 0.0; }, 6, 4, 2, 3, 1, 1, 1, 0,
         "0 1 0 1 0 1"},
        {"1-bit SUPER sets from half covered", ZAR_DEPTH_1U, 8, 4,
         [](int32_t x, int32_t y) { return double(y % 2 ? x > 4 : 0xE3 >> x & 1); }, 4, 2, 1, 2, 1,
         2, 3, 0, "1 0 1 1"},
    };
    zt::ErrorRecorder recorder;
    for (const Row& r : rows) {
        Image src = gt::filled(r.depth, r.sw, r.sh, r.pixel);
        Image dst(1, 0, r.depth, 0, r.dw, r.dh, 4, 1);
        zarDecimate(src, dst, r.xDst, r.xSrc, r.yDst, r.ySrc, r.mode);
        EXPECT_EQ(gt::rowText(dst, r.y), r.expected) << r.rule;
    }
    EXPECT_TRUE(recorder.reports().empty());
}

// A SUPER box wider than a source tile samples from 0.5 instead of averaging.
TEST(DecimateRules, SuperBoxWiderThanATileSamples) {
    zt::ErrorRecorder recorder;
    Image src = gt::filled(ZAR_DEPTH_8U, 36, 16, [](int32_t x, int32_t y) { return 7.0 * x + y; });
    zt::TileStore tiled(1, 0, ZAR_DEPTH_8U, 0, 36, 16, 8, 8);
    tiled.loadFrom(src);
    Image dst(1, 0, ZAR_DEPTH_8U, 0, 3, 16);
    zarDecimate(tiled, dst, 2, 19, 1, 1, ZAR_INTER_SUPER);
    EXPECT_EQ(gt::rowText(dst, 2), "2 72 135");
    // The plain source averages: (7 * (0 + ... + 8) + 0.5 * 63) / 9.5 + 2 = 32.
    zarDecimate(src, dst, 2, 19, 1, 1, ZAR_INTER_SUPER);
    EXPECT_EQ(gt::rowText(dst, 2).substr(0, 3), "32 ");
    EXPECT_TRUE(recorder.reports().empty());
}

// Random depths, layouts, regions, channels of interest and factors; every
// third case has wide rows, every third halves rows of up to 200 pixels with
// SUPER (through zarResize, which hands SUPER to decimation).
TEST(DecimateRandom, PlainAndTiledAgainstTheReference) {
    gt::randomCases(20261205, 300, [](zt::Rng& rng, int32_t n) {
        const int32_t kind = n % 3;
        zt::OperandSpec s = gt::randomFormat(rng);
        if (kind && s.depth == ZAR_DEPTH_1U) s.depth = ZAR_DEPTH_8U;
        s.width = kind ? rng.range(kind == 1 ? 60 : 1, 200) : rng.range(1, 40);
        s.height = rng.range(1, 40);
        int32_t f[4] = {rng.range(1, 9), 0, rng.range(1, 9), 0};  // xSrc, xDst, ySrc, yDst
        f[1] = rng.range(1, f[0]);
        f[3] = rng.range(1, f[2]);
        if (kind == 2) f[0] = f[2] = 2 * (f[1] = f[3] = rng.range(1, 2));
        zt::OperandSpec d = s;
        d.width = kind == 2 ? s.width / 2 + 1 : rng.range(1, 30);
        d.height = rng.range(1, 30);
        gt::randomSides(rng, {&s, &d}, false);
        const int32_t mode = kind == 2 ? ZAR_INTER_SUPER : rng.range(0, 3);
        return gt::RandomCase{
            {s, d},
            [=](const std::vector<ImageHeader*>& h) {
                if (mode == ZAR_INTER_SUPER && n % 2)
                    EXPECT_EQ(zarResize(h[0], h[1], f[1], f[0], f[3], f[2], mode), STATUS_OK);
                else
                    zarDecimate(h[0], h[1], f[1], f[0], f[3], f[2], mode);
            },
            [=](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>& specs,
                ImageHeader* expected) {
                const TileInfo tiles{nullptr, 0, nullptr, specs[0].tileWidth, specs[0].tileHeight};
                zt::DecimateReference reference{plain[0], expected, f[1], f[0], f[3], f[2], mode};
                if (specs[0].tiled) reference.srcTiles = &tiles;
                reference.run();
            },
            "mode " + std::to_string(mode) + " factors " + std::to_string(f[1]) + "/" +
                std::to_string(f[0]) + ", " + std::to_string(f[3]) + "/" + std::to_string(f[2])};
    });
}

}  // namespace
