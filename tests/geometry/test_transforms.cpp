// zarDecimate, zarZoom and zarRemap: rules worked by hand as one table, and
// random cases on plain and tiled images against the naive references at
// every instruction-set level (checks and refused tiles: test_checks.cpp).
#include <gtest/gtest.h>

#include <array>
#include <cfenv>
#include <cstdlib>
#include <functional>

#include "support/geometry_reference.h"
#include "support/geometry_support.h"
#include "support/scenario.h"

namespace {

using zt::Image;

// Samples src at the positions ("x,y x,y ...") into a one-row destination
// filled with 9, with a region of src when rw > 0.
std::function<Image(Image&)> remap(const char* at, int32_t mode, int32_t rx = 0, int32_t ry = 0,
                                   int32_t rw = 0, int32_t rh = 0) {
    return [=](Image& src) {
        if (rw) src.setRoi(0, rx, ry, rw, rh);
        std::vector<float> v;
        char* end;
        for (const char* p = at;; p = end + (*end == ',')) {
            const float f = std::strtof(p, &end);
            if (end == p) break;
            v.push_back(f);
        }
        const int32_t n = static_cast<int32_t>(v.size() / 2);
        Image xs(1, 0, ZAR_DEPTH_32F, 0, n, 1), ys(1, 0, ZAR_DEPTH_32F, 0, n, 1);
        Image dst(1, 0, src->depth, 0, n, 1, 4, 9);
        for (int32_t c = 0; c < n; ++c) {
            zt::setSample(xs, c, 0, 0, v[2 * c]);
            zt::setSample(ys, c, 0, 0, v[2 * c + 1]);
        }
        zarRemap(src, xs, ys, dst, mode);
        return dst;
    };
}

// zarDecimate (or zarZoom when zoom) into a dw x dh destination filled with 1.
std::function<Image(Image&)> resize(bool zoom, int32_t dw, int32_t dh, int32_t xDst, int32_t xSrc,
                                    int32_t yDst, int32_t ySrc, int32_t mode) {
    return [=](Image& src) {
        Image dst(1, 0, src->depth, 0, dw, dh, 4, 1);
        (zoom ? zarZoom : zarDecimate)(src, dst, xDst, xSrc, yDst, ySrc, mode);
        return dst;
    };
}

// Rules a reference could get wrong alike: rounding ties (also under another
// rounding mode), LINEAR's floor with its tolerance, truncation, where
// decimation positions fall (a float factor added in double), taps moved at
// the edges, the outside-pixel rule of remap (by bit pattern: NaN and -0.0),
// 1-bit SUPER from half covered, an extreme factor.  Each row fills a source
// with pixel(x, y), runs the operation and reads destination row y.
TEST(GeometryRules, WorkedByHand) {
    const gt::Pixel ramp = [](int32_t x, int32_t y) { return 10.0 * y + x; };
    const gt::Pixel flat = [](int32_t, int32_t) { return 50.0; };
    const bool zoom = true, decimate = false;
    const struct Row {
        const char* rule;
        int32_t depth, sw, sh;
        gt::Pixel pixel;
        std::function<Image(Image&)> run;
        int32_t y;
        const char* expected;
        int rounding = FE_TONEAREST;
    } rows[] = {
        {"decimation positions add the float factor 7/6 in double", ZAR_DEPTH_8U, 14, 4, ramp,
         resize(decimate, 12, 4, 6, 7, 1, 1, 0), 1, "10 11 12 13 15 16 17 18 19 20 22 23"},
        {"SUPER rounds the block mean (2.5 -> 3)", ZAR_DEPTH_8U, 4, 4,
         [](int32_t x, int32_t y) { return x < 2 ? 1.0 + x + 2 * y : 255.0 - (x == 3 && y == 1); },
         resize(decimate, 2, 2, 1, 2, 1, 2, 3), 0, "3 255"},
        {"decimating LINEAR truncates", ZAR_DEPTH_8U, 6, 4,
         [](int32_t x, int32_t) { return std::array<double, 6>{7, 100, 101, 9, 50, 51}[x]; },
         resize(decimate, 4, 4, 2, 3, 1, 1, 1), 2, "7 100 9 50"},
        {"decimating CUBIC moves its taps back at the right edge", ZAR_DEPTH_16U, 6, 4,
         [](int32_t x, int32_t) { return std::array<double, 6>{0, 0, 10, 20, 40, 80}[x]; },
         resize(decimate, 4, 4, 2, 3, 1, 1, 2), 1, "0 4 20 56"},
        {"1-bit SUPER sets from half covered", ZAR_DEPTH_1U, 8, 4,
         [](int32_t x, int32_t y) { return double(y % 2 ? x > 4 : 0xE3 >> x & 1); },
         resize(decimate, 4, 2, 1, 2, 1, 2, 3), 0, "1 0 1 1"},
        {"zooming LINEAR never rounds up (127.99 -> 127)", ZAR_DEPTH_8U, 2, 2,
         [](int32_t, int32_t y) { return 127.0 + y; }, resize(zoom, 2, 100, 1, 1, 50, 1, 1), 98,
         "127 127"},
        {"zooming CUBIC rounds halves to even", ZAR_DEPTH_8U, 4, 4,
         [](int32_t x, int32_t) { return x + 1.0; }, resize(zoom, 7, 4, 7, 4, 1, 1, 2), 0,
         "1 2 2 2 3 4 4"},
        {"a zoom factor of 2e9 fills the region from column 0", ZAR_DEPTH_8U, 4, 1,
         [](int32_t x, int32_t) { return 10.0 * (x + 1); },
         resize(zoom, 8, 1, 2000000000, 1, 1, 1, 0), 0, "10 10 10 10 10 10 10 10"},
        {"remap NN rounds halves to even", ZAR_DEPTH_8U, 8, 4, ramp,
         remap("2.5,0.5 3.5,1.5 0.49,2.5 4.51,0 1,2.6", 0), 0, "2 24 20 5 31"},
        {"remap NN follows a downward rounding mode", ZAR_DEPTH_8U, 6, 4, ramp,
         remap("2.7,1.5 2.2,1.5", 0), 0, "12 12", FE_DOWNWARD},
        {"positions outside the region (NaN, -0.0) leave the destination", ZAR_DEPTH_8U, 10, 10,
         flat, remap("1.5,2 2,2 6,6 6.0001,2 nan,2 4,-0", 1, 2, 2, 5, 5), 0, "9 50 50 9 9 9"},
        {"-0.0 fails against a region starting at 0", ZAR_DEPTH_8U, 4, 4, flat,
         remap("-0,0 0,0", 0), 0, "9 50"},
        {"remap LINEAR rounds to nearest even; the last column steps back", ZAR_DEPTH_8U, 6, 4,
         [](int32_t x, int32_t y) { return y ? 0.0 : std::array{100, 101, 102, 10, 20, 200}[x]; },
         remap("0.5,0 1.5,0 3.3,0 5,0 4.75,0", 1), 0, "100 102 13 200 155"},
        {"remap CUBIC reproduces a cubic polynomial, taps moved at the edges", ZAR_DEPTH_16U, 4, 4,
         [](int32_t x, int32_t y) { return 1000.0 * x * x + 200 * y * y * y + 7; },
         remap("1.5,1.5 2.5,0.25 0.5,2.75", 2), 0, "2932 6260 4416"},
    };
    zt::ErrorRecorder errors;
    for (const Row& r : rows) {
        Image src = gt::filled(r.depth, r.sw, r.sh, r.pixel);
        std::fesetround(r.rounding);
        const Image dst = r.run(src);
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(gt::rowText(dst, r.y), r.expected) << r.rule;
    }
    EXPECT_TRUE(errors.reports().empty());
}

std::string factors(int32_t xDst, int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t mode) {
    return "factors " + std::to_string(xDst) + "/" + std::to_string(xSrc) + ", " +
           std::to_string(yDst) + "/" + std::to_string(ySrc) + " mode " + std::to_string(mode);
}

// Random depths, layouts, regions, channels of interest and factors; of five
// cases one has wide rows, one halves rows of up to 200 pixels with SUPER,
// one halves the columns only of packed 3 or 4 channels with SUPER, and one
// takes SUPER boxes about as wide as the 8-pixel tiles of a tiled source
// (SUPER through zarResize now and then, which hands it to decimation).
TEST(DecimateRandom, PlainAndTiledAgainstTheReference) {
    gt::randomCases(20261205, 300, [](zt::Rng& rng, int32_t n) {
        const int32_t kind = n % 5;
        zt::OperandSpec s = gt::randomFormat(rng);
        if (kind && s.depth == ZAR_DEPTH_1U) s.depth = ZAR_DEPTH_8U;
        if (kind == 3) {
            s.nChannels = rng.range(3, 4);
            s.alphaChannel = 0;
            s.dataOrder = ZAR_DATA_ORDER_PIXEL;
        }
        s.width = kind == 1 || kind == 2 ? rng.range(kind == 1 ? 60 : 1, 200) : rng.range(1, 40);
        s.height = rng.range(1, 40);
        int32_t f[4] = {rng.range(1, 9), 0, rng.range(1, 9), 0};  // xSrc, xDst, ySrc, yDst
        f[1] = rng.range(1, f[0]);
        f[3] = rng.range(1, f[2]);
        if (kind == 2) f[0] = f[2] = 2 * (f[1] = f[3] = rng.range(1, 2));
        if (kind == 3) f[0] = 2 * (f[1] = 1);
        zt::OperandSpec d = s;
        d.width = kind == 2 || kind == 3 ? s.width / 2 + 1 : rng.range(1, 30);
        d.height = rng.range(1, 30);
        gt::randomSides(rng, {&s, &d}, false);
        if (kind == 4) {  // boxes of 7 to 9 columns and rows
            for (int32_t k : {0, 2}) {
                f[k + 1] = rng.range(1, 2);
                f[k] = rng.range(8 * f[k + 1] - 1, 9 * f[k + 1]);
            }
            s.tiled = true;
            s.tileWidth = s.tileHeight = 8;
        }
        const int32_t mode = kind >= 2 ? ZAR_INTER_SUPER : rng.range(0, 3);
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
                zt::referenceDecimate(plain[0], expected, f[1], f[0], f[3], f[2], mode,
                                      specs[0].tiled ? &tiles : nullptr);
            },
            factors(f[1], f[0], f[3], f[2], mode)};
    });
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
            factors(xDst, xSrc, yDst, ySrc, mode)};
    });
}

// Random depths, layouts, regions, channels of interest, map sizes and
// positions (whole, halves, outside), modes with and without the flag 16;
// plain and tiled sides.
TEST(RemapRandom, PlainAndTiledAgainstTheReference) {
    gt::randomCases(4242, 300, [](zt::Rng& rng, int32_t) {
        zt::OperandSpec s = gt::randomFormat(rng), xs, ys;
        s.width = rng.range(1, 24);
        s.height = rng.range(1, 24);
        zt::OperandSpec d = s;
        d.width = rng.range(1, 24);
        d.height = rng.range(1, 24);
        for (zt::OperandSpec* m : {&xs, &ys}) {
            m->depth = ZAR_DEPTH_32F;
            m->width = rng.range(1, 26);
            m->height = rng.range(1, 26);
        }
        xs.positionSpan = s.width;
        ys.positionSpan = s.height;
        gt::randomSides(rng, {&s, &xs, &ys, &d}, false);
        const int32_t mode = rng.range(0, 2) + 16 * rng.range(0, 1);
        return gt::RandomCase{
            {s, xs, ys, d},
            [=](const std::vector<ImageHeader*>& h) { zarRemap(h[0], h[1], h[2], h[3], mode); },
            [=](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                ImageHeader* expected) {
                zt::referenceRemap(plain[0], plain[1], plain[2], expected, mode);
            },
            "mode " + std::to_string(mode)};
    });
}

}  // namespace
