// zarRemap: rules worked by hand, and random cases on plain and tiled images
// against the reference at every instruction-set level.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdlib>

#include "support/geometry_reference.h"
#include "support/geometry_support.h"
#include "support/scenario.h"

namespace {

using zt::Image;

double steps(int32_t x, int32_t) { return x == 0 || x == 3 || (x > 4 && x < 7) ? 0.0 : 1.0; }

Image map(int32_t width, int32_t height) { return Image(1, 0, ZAR_DEPTH_32F, 0, width, height); }

// Samples src at the positions ("x,y x,y ...") into a one-row destination
// filled with 9 and gives the row.
std::string remapRow(ImageHeader* src, const char* at, int32_t mode) {
    std::vector<float> v;
    char* end;
    for (const char* p = at;; p = end + (*end == ',')) {
        const float f = std::strtof(p, &end);
        if (end == p) break;
        v.push_back(f);
    }
    const int32_t n = static_cast<int32_t>(v.size() / 2);
    Image xs = map(n, 1), ys = map(n, 1), dst(1, 0, src->depth, 0, n, 1, 4, 9);
    for (int32_t c = 0; c < n; ++c) {
        zt::setSample(xs, c, 0, 0, v[2 * c]);
        zt::setSample(ys, c, 0, 0, v[2 * c + 1]);
    }
    zarRemap(src, xs, ys, dst, mode);
    return gt::rowText(dst, 0);
}

// Rules a reference could get wrong alike: halves to even (also under another
// rounding mode), the outside-pixel rule (by bit pattern: NaN and -0.0), the
// last column stepping back, saturation, the 8-bit cubic's rounding, fallbacks
// on narrow sources, the flag 16.  Each row fills the source with pixel(x, y),
// gives it a region (width 0: none) and samples the positions.
TEST(RemapRules, WorkedByHand) {
    const gt::Pixel ramp = [](int32_t x, int32_t y) { return 10.0 * y + x; };
    const gt::Pixel flat = [](int32_t, int32_t) { return 50.0; };
    const struct Row {
        const char* rule;
        int32_t depth, sw, sh;
        gt::Pixel pixel;
        int32_t rx, ry, rw, rh;
        const char* at;
        int32_t mode;
        const char* expected;
        int rounding;
    } rows[] = {
        {"NN rounds halves to even", ZAR_DEPTH_8U, 8, 4, ramp, 0, 0, 0, 0,
         "2.5,0.5 3.5,1.5 0.49,2.5 4.51,0 1,2.6", 0, "2 24 20 5 31", FE_TONEAREST},
        {"NN follows a downward rounding mode", ZAR_DEPTH_8U, 6, 4, ramp, 0, 0, 0, 0,
         "2.7,1.5 2.2,1.5", 0, "12 12", FE_DOWNWARD},
        {"NN follows an upward rounding mode", ZAR_DEPTH_8U, 6, 4, ramp, 0, 0, 0, 0,
         "2.7,1.5 2.2,1.5", 0, "23 23", FE_UPWARD},
        {"positions outside the region (NaN, -0.0) leave the destination", ZAR_DEPTH_8U, 10, 10,
         flat, 2, 2, 5, 5, "1.5,2 2,2 6,6 6.0001,2 nan,2 4,-0", 1, "9 50 50 9 9 9", FE_TONEAREST},
        {"-0.0 fails against a region starting at 0", ZAR_DEPTH_8U, 4, 4, flat, 0, 0, 0, 0,
         "-0,0 0,0", 0, "9 50", FE_TONEAREST},
        {"LINEAR rounds to nearest even; the last column steps back", ZAR_DEPTH_8U, 6, 4,
         [](int32_t x, int32_t y) { return y ? 0.0 : std::array{100, 101, 102, 10, 20, 200}[x]; },
         0, 0, 0, 0, "0.5,0 1.5,0 3.3,0 5,0 4.75,0", 1, "100 102 13 200 155", FE_TONEAREST},
        {"LINEAR on a one-column region", ZAR_DEPTH_8U, 6, 4,
         [](int32_t x, int32_t y) { return 40.0 * y + x; }, 0, 0, 1, 4, "0,1.5 0,3", 1, "60 120",
         FE_TONEAREST},
        {"CUBIC saturates; exact positions take the tap", ZAR_DEPTH_16U, 8, 6,
         [](int32_t x, int32_t y) { return 65535 * steps(x, y); }, 0, 0, 0, 0,
         "1.5,2 3.25,2 4,2 7,2", 2, "65535 14336 65535 65535", FE_TONEAREST},
        {"8-bit CUBIC rounds 55.78", ZAR_DEPTH_8U, 8, 6,
         [](int32_t x, int32_t y) { return 255 * steps(x, y); }, 0, 0, 0, 0, "3.25,2", 2, "56",
         FE_TONEAREST},
        {"CUBIC saturates at 0", ZAR_DEPTH_8U, 8, 6,
         [](int32_t x, int32_t) { return x == 1 || x == 2 ? 0.0 : 255; }, 0, 0, 0, 0, "1.5,2", 2,
         "0", FE_TONEAREST},
        {"CUBIC reproduces a cubic polynomial, taps moved at the edges", ZAR_DEPTH_16U, 4, 4,
         [](int32_t x, int32_t y) { return 1000.0 * x * x + 200 * y * y * y + 7; }, 0, 0, 0, 0,
         "1.5,1.5 2.5,0.25 0.5,2.75", 2, "2932 6260 4416", FE_TONEAREST},
        {"a 3-wide source runs CUBIC as LINEAR", ZAR_DEPTH_8U, 3, 5,
         [](int32_t x, int32_t) { return x == 1 ? 200.0 : 0; }, 0, 0, 0, 0, "0.5,2 1.5,2", 2,
         "100 100", FE_TONEAREST},
        {"a 1-wide source runs CUBIC as NN", ZAR_DEPTH_8U, 1, 6,
         [](int32_t, int32_t y) { return 10.0 * y; }, 0, 0, 0, 0, "0,2.5 0,3.6", 2, "20 40",
         FE_TONEAREST},
        {"mode 17 is LINEAR (67.5 -> 68)", ZAR_DEPTH_8U, 6, 6,
         [](int32_t x, int32_t) { return 30.0 * x; }, 0, 0, 0, 0, "2.25,1", 17, "68", FE_TONEAREST},
        {"mode 16 is NN", ZAR_DEPTH_8U, 6, 6, [](int32_t x, int32_t) { return 30.0 * x; }, 0, 0, 0,
         0, "2.25,1", 16, "60", FE_TONEAREST},
    };
    zt::ErrorRecorder errors;
    for (const Row& r : rows) {
        Image src = gt::filled(r.depth, r.sw, r.sh, r.pixel);
        if (r.rw) src.setRoi(0, r.rx, r.ry, r.rw, r.rh);
        std::fesetround(r.rounding);
        const std::string got = remapRow(src, r.at, r.mode);
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(got, r.expected) << r.rule;
    }
    EXPECT_TRUE(errors.reports().empty());
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
