// zarBlur: the checks as a table, rules worked by hand as table rows, and
// random cases (plain, tiled, masked, in place) against the naive reference.
#include <gtest/gtest.h>

#include <cfenv>
#include <vector>

#include "support/filter_support.h"
#include "support/geometry_support.h"
#include "support/scenario.h"
#include "support/zar_test.h"

namespace {

using zt::getSample;

// ---------------------------------------------------------------- checks

struct Pair {
    zt::Image src{1, 0, ZAR_DEPTH_8U, 0, 6, 5}, dst{1, 0, ZAR_DEPTH_8U, 0, 6, 5, 4, 9};
    zt::Image alphaOnly{1, 1, ZAR_DEPTH_8U, 0, 6, 5}, three{3, 0, ZAR_DEPTH_8U, 0, 6, 5};
    zt::Image mask{1, 0, ZAR_DEPTH_1U, 0, 6, 5};
    ~Pair() { src->maskImage = dst->maskImage = nullptr; }
};

TEST(BlurChecks, EveryCheck) {
    using Call = void (*)(Pair&);
    const char* const kAlpha = "bad alpha channel's number";
    const char* const kWindow = "(anchorX>=nCols||anchorY>=nRows)";
    const struct {
        Call call;
        std::vector<zt::Want> want;
    } rows[] = {
        {[](Pair& p) { zarBlur(nullptr, p.dst, 3, 3, 1, 1); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 383}}},
        {[](Pair& p) { zarBlur(p.src, nullptr, 3, 3, 1, 1); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 384}}},
        {[](Pair& p) {
             zt::Image other(1, 0, ZAR_DEPTH_16U, 0, 6, 5);
             zarBlur(p.src, other, 3, 3, 1, 1);
         },
         {{STATUS_BAD_ARG, "(srcImage->depth!=dstImage->depth)", 385}}},
        {[](Pair& p) { zarBlur(p.src, p.dst, 3, -1, 1, 0); },
         {{STATUS_BAD_ARG, "(nRows<0||nCols<0)", 386}}},
        {[](Pair& p) { zarBlur(p.src, p.dst, 3, 3, -1, 1); },
         {{STATUS_BAD_ARG, "(anchorX<0||anchorY<0)", 387}}},
        {[](Pair& p) {
             zarBlur(p.src, p.dst, 0, 3, 0, 1);
             zarBlur(p.src, p.dst, 3, 2, 1, 2);
         },
         {{STATUS_BAD_ARG, kWindow, 388}, {STATUS_BAD_ARG, kWindow, 388}}},
        {[](Pair& p) { zarBlur(p.src, p.alphaOnly, 3, 3, 1, 1); },
         {{STATUS_BAD_ALPHA, kAlpha, 400}}},
        {[](Pair& p) { zarBlur(p.alphaOnly, p.dst, 3, 3, 1, 1); },
         {{STATUS_BAD_ALPHA, kAlpha, 403}}},
        {[](Pair& p) { zarBlur(p.three, p.dst, 3, 3, 1, 1); },
         {{STATUS_BAD_CHANNELS, "bad channel's number", 406}}},
        // A valid mask whose only channel is alpha cannot be resolved.
        {[](Pair& p) {
             p.mask->alphaChannel = 1;
             p.src->maskImage = p.mask;
             zarBlur(p.src, p.dst, 3, 3, 1, 1);
             p.src->maskImage = nullptr;
             p.dst->maskImage = p.mask;
             zarBlur(p.src, p.dst, 3, 3, 1, 1);
         },
         {{STATUS_BAD_ALPHA, kAlpha, 409}, {STATUS_BAD_ALPHA, kAlpha, 412}}},
        // A region starting right of the image changes nothing.
        {[](Pair& p) {
             p.dst.setRoi(0, 6, 0, 2, 2);
             zarBlur(p.src, p.dst, 3, 3, 1, 1);
         },
         {}},
    };
    for (const auto& row : rows) {
        Pair pair;
        zt::ErrorRecorder recorder;
        row.call(pair);
        zt::expectReports(recorder, "zarBlur", "zarBlur", row.want);
        for (int32_t x = 0; x < 6; ++x) ASSERT_EQ(getSample(pair.dst, x, 0, 0), 9);
    }
}

// ----------------------------------------------------------- hand-worked

// Rules a reference could get wrong alike: truncation (toward zero, also under
// another rounding mode), the single-precision reciprocal, 1-bit thresholds,
// the anchor, every border mode.  Each row fills a one-channel source with
// pixel(x, y), sets its borders (one mode, constant 7) and reads (x, y).
TEST(BlurRules, WorkedByHand) {
    using Pixel = gt::Pixel;
    const struct Row {
        const char* rule;
        int32_t depth, width, height;
        Pixel pixel;
        int32_t border, constant, nCols, nRows, anchorX, anchorY, x, y;
        double expected;
        int rounding;
    } rows[] = {
        {"2295 x single(1/9) stays 255", ZAR_DEPTH_8U, 5, 4, [](int32_t, int32_t) { return 255.0; },
         1, 0, 3, 3, 1, 1, 4, 3, 255, FE_TONEAREST},
        {"a window summing to 8 gives 0", ZAR_DEPTH_8U, 7, 3,
         [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 8.0 : 0.0; }, 0, 0, 3, 3, 1, 1, 1, 1,
         0, FE_TONEAREST},
        {"a window summing to 17 gives 1", ZAR_DEPTH_8U, 7, 3,
         [](int32_t x, int32_t y) { return x == 4 && y == 1 ? 17.0 : 0.0; }, 0, 0, 3, 3, 1, 1, 5, 0,
         1, FE_TONEAREST},
        {"25 x 65535 x single(1/25) gives 65534", ZAR_DEPTH_16U, 6, 6,
         [](int32_t, int32_t) { return 65535.0; }, 1, 0, 5, 5, 2, 2, 5, 5, 65534, FE_TONEAREST},
        {"8S -10 stays -10", ZAR_DEPTH_8S, 4, 4, [](int32_t, int32_t) { return -10.0; }, 1, 0, 3, 3,
         1, 1, 2, 2, -10, FE_TONEAREST},
        {"8S sum -8 truncates to 0", ZAR_DEPTH_8S, 4, 4,
         [](int32_t x, int32_t y) { return x + y == 0 ? -8.0 : 0.0; }, 0, 0, 3, 3, 1, 1, 1, 1, 0,
         FE_TONEAREST},
        {"16S -300 stays -300", ZAR_DEPTH_16S, 4, 4, [](int32_t, int32_t) { return -300.0; }, 1, 0,
         3, 3, 1, 1, 3, 3, -300, FE_TONEAREST},
        {"32F (2^24 + 3) / 2 goes toward zero", ZAR_DEPTH_32F, 2, 1,
         [](int32_t x, int32_t) { return x ? 3.0 : 16777216.0; }, 1, 0, 2, 1, 0, 0, 0, 0, 8388609,
         FE_UPWARD},
        {"32S -3.5 truncates under a downward mode", ZAR_DEPTH_32S, 2, 1,
         [](int32_t x, int32_t) { return x ? 0.0 : -7.0; }, 1, 0, 2, 1, 0, 0, 0, 0, -3,
         FE_DOWNWARD},
        {"1-bit: five of nine set", ZAR_DEPTH_1U, 3, 3,
         [](int32_t x, int32_t y) {
             return y == 0 || (x + y == 1) || (x == 1 && y == 2) ? 1.0 : 0.0;
         },
         0, 0, 3, 3, 1, 1, 1, 1, 1, FE_TONEAREST},
        {"1-bit: four of nine set", ZAR_DEPTH_1U, 3, 3,
         [](int32_t x, int32_t y) { return y == 0 || (x == 0 && y == 1) ? 1.0 : 0.0; }, 0, 0, 3, 3,
         1, 1, 1, 1, 0, FE_TONEAREST},
        {"a 1 x 1 window copies", ZAR_DEPTH_16S, 3, 2, [](int32_t x, int32_t) { return -7.0 * x; },
         0, 0, 1, 1, 0, 0, 2, 1, -14, FE_TONEAREST},
        {"the anchor on the left cell", ZAR_DEPTH_8U, 6, 1,
         [](int32_t x, int32_t) { return 30.0 * x; }, 1, 0, 3, 1, 0, 0, 3, 0, 120, FE_TONEAREST},
        {"constant border, left", ZAR_DEPTH_8U, 4, 1,
         [](int32_t x, int32_t) { return 10.0 * (x + 1); }, 0, 7, 5, 1, 2, 0, 0, 0, 14,
         FE_TONEAREST},
        {"replicate border, right", ZAR_DEPTH_8U, 4, 1,
         [](int32_t x, int32_t) { return 10.0 * (x + 1); }, 1, 0, 5, 1, 2, 0, 3, 0, 34,
         FE_TONEAREST},
        {"reflect border, left", ZAR_DEPTH_8U, 4, 1,
         [](int32_t x, int32_t) { return 10.0 * (x + 1); }, 2, 0, 5, 1, 2, 0, 0, 0, 18,
         FE_TONEAREST},
        {"wrap border, right", ZAR_DEPTH_8U, 4, 1,
         [](int32_t x, int32_t) { return 10.0 * (x + 1); }, 3, 0, 5, 1, 2, 0, 3, 0, 24,
         FE_TONEAREST},
    };
    zt::ErrorRecorder recorder;
    for (const Row& r : rows) {
        zt::Image src = gt::filled(r.depth, r.width, r.height, r.pixel);
        zt::Image dst(1, 0, r.depth, 0, r.width, r.height);
        ft::setBorders(src, r.border, r.constant);
        std::fesetround(r.rounding);
        zarBlur(src, dst, r.nCols, r.nRows, r.anchorX, r.anchorY);
        EXPECT_EQ(std::fegetround(), r.rounding) << r.rule;  // the caller's mode is given back
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(getSample(dst, r.x, r.y, 0), r.expected) << r.rule;
    }
    EXPECT_TRUE(recorder.reports().empty());
}

// ------------------------------------------------------------ random cases

// Random depths, layouts, windows, anchors, borders, regions, channels of
// interest, alpha and masks; plain and tiled sides, every sixth case in place (small windows);
// now and then rows wide enough for the row kernels' strips and a large window.
// In place on a tiled image, results wait in a ring of (tile rows + 2) slots; a window reaching
// further back than that ring reads tiles already written back, so the separate-image reference
// holds there only for small windows.
TEST(BlurRandom, PlainAndTiledAgainstTheReference) {
    zt::Rng rng(2024);
    for (int n = 0; n < 500; ++n) {
        // Every tenth: windows past 8 columns over 3 to 6 interleaved channels, all processed.
        const bool lanes = n % 10 == 5;
        zt::OperandSpec s;
        s.depth = ft::kAllDepths[lanes ? rng.range(1, 4) : rng.range(0, 6)];
        s.nChannels = s.depth == ZAR_DEPTH_1U ? 1 : lanes ? rng.range(3, 6) : rng.range(1, 4);
        s.alphaChannel = !lanes && s.nChannels > 1 && rng.range(0, 2) == 0 ? s.nChannels : 0;
        s.dataOrder = s.depth == ZAR_DEPTH_1U || lanes ? 0 : rng.range(0, 1);
        s.smallValues = true;
        for (int i = 0; i < 4; ++i) {
            s.borderModes[i] = rng.range(0, 3);
            s.borderValues[i] = rng.range(-3, 300);
        }
        int32_t nCols, nRows;
        do {
            nCols = n % 20 == 0 ? rng.range(40, 92) : lanes ? rng.range(9, 30) : rng.range(1, 7);
            nRows = rng.range(1, 6);
        } while (nCols * nRows == 1);
        const int32_t anchorX = rng.range(0, nCols - 1), anchorY = rng.range(0, nRows - 1);
        const int32_t coi = !lanes && s.nChannels > 1 && rng.range(0, 2) == 0 ? s.nChannels : 0;
        std::vector<zt::OperandSpec> specs;
        for (int32_t side = 0; side < (n % 6 == 3 && !lanes ? 1 : 2); ++side) {
            zt::OperandSpec o = s;
            o.width = (n % 10 == 0 ? rng.range(50, 110) : rng.range(1, 19)) +
                      (side ? rng.range(0, 3) : 0);
            o.height = rng.range(1, 15) + (side ? rng.range(0, 3) : 0);
            const bool hasRoi = coi || rng.range(0, 3) != 0;
            zt::randomInsideRoi(rng, o, hasRoi, coi ? rng.range(1, coi) : 0);
            zt::randomMaskAndTiles(rng, o, true);
            specs.push_back(o);
        }
        const std::string fault = zt::runEverywhere(
            specs, 1000 + n,
            [&](const std::vector<ImageHeader*>& h) {
                zarBlur(h[0], h.back(), nCols, nRows, anchorX, anchorY);
            },
            [&](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                ImageHeader* expected) {
                ft::referenceBlur(plain[0], expected, nCols, nRows, anchorX, anchorY);
            });
        ASSERT_EQ(fault, "") << "case " << n << " window " << nCols << "x" << nRows << " anchor "
                             << anchorX << "," << anchorY;
    }
}

// A refused tile stops either filter with a report and every tile given back.
TEST(FilterTiles, RefusedTiles) {
    zt::OperandSpec plain, tiled;
    plain.width = plain.height = tiled.width = tiled.height = 16;
    tiled.tiled = true;
    auto blur = [](const std::vector<ImageHeader*>& h) { zarBlur(h[0], h.back(), 3, 3, 1, 1); };
    auto fixed = [](const std::vector<ImageHeader*>& h) {
        EXPECT_EQ(zarFixedFilter(h[0], h[1], 6), STATUS_ERROR);
    };
    const char *const kRead = "Error get tile to read", *const kWrite = "Error get tile to write";
    zt::expectRefusal({plain, tiled}, 1, 1, 0, blur, "zarBlur", "zarBlur", {STATUS_ERROR, kWrite});
    zt::expectRefusal({tiled}, 0, 0, 0, blur, "zarBlur", "zarBlur", {STATUS_ERROR, kRead});
    zt::expectRefusal({plain, tiled}, 1, 1, 1, fixed, "zarFixedFilter", "zarnlf",
                      {STATUS_ERROR, kWrite});
    zt::expectRefusal({tiled, plain}, 0, 0, 1, fixed, "zarFixedFilter", "zarnlf",
                      {STATUS_ERROR, kRead});
}

}  // namespace
