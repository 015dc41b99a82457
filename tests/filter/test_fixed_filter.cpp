// zarFixedFilter: the checks with their reported and returned codes as a
// table, rules worked by hand as table rows, and random cases (borders, masks,
// plain and tiled sides, wide rows) against the naive reference (refused
// tiles: test_blur.cpp).
#include <gtest/gtest.h>

#include <cfenv>
#include <functional>

#include "support/filter_support.h"
#include "support/geometry_support.h"
#include "support/scenario.h"

namespace {

struct Pair {
    zt::Image src{3, 0, ZAR_DEPTH_8U, 0, 6, 5}, dst{3, 0, ZAR_DEPTH_8U, 0, 6, 5, 4, 9};
};

// Every check with the code it reports and the code it returns (they differ
// for some relations); the destination keeps its pixels.
TEST(FixedFilterChecks, EveryCheck) {
    using Call = std::function<ZarStatus(Pair&)>;
    const auto other = [](int32_t n, int32_t alpha, int32_t depth, int32_t order) {
        return [=](Pair& p) {
            return zarFixedFilter(p.src, zt::Image(n, alpha, depth, order, 6, 5), 0);
        };
    };
    const struct {
        Call call;
        ZarStatus returned;
        std::vector<zt::Want> want;
    } rows[] = {
        {[](Pair& p) { return zarFixedFilter(nullptr, p.dst, 0); },
         STATUS_NULL_HEADER,
         {{STATUS_NULL_HEADER, "Incorrect Image", 6165}}},
        {[](Pair& p) { return zarFixedFilter(p.src, nullptr, 0); },
         STATUS_NULL_HEADER,
         {{STATUS_NULL_HEADER, "Incorrect Image", 6166}}},
        {[](Pair& p) {
             p.src.setRoi(4, 0, 0, 6, 5);
             return zarFixedFilter(p.src, p.dst, 0);
         },
         STATUS_BAD_COI,
         {{STATUS_BAD_COI, "Incorrect Image", 6165}}},
        {[](Pair& p) { return zarFixedFilter(p.dst, p.dst, 0); },
         STATUS_BAD_ARG,
         {{STATUS_BAD_ARG, "(srcImage==dstImage)", 6167}}},
        {other(3, 0, ZAR_DEPTH_16U, 0),
         STATUS_BAD_DEPTH,
         {{STATUS_BAD_ARG, "srcImage->depth!=dstImage->depth", 6168}}},
        {other(2, 0, ZAR_DEPTH_8U, 0),
         STATUS_BAD_CHANNELS,
         {{STATUS_BAD_ARG, "srcImage->nChannels!=dstImage->nChannels", 6170}}},
        {other(3, 3, ZAR_DEPTH_8U, 0),
         STATUS_BAD_ALPHA,
         {{STATUS_BAD_ARG, "srcImage->alphaChannel!=dstImage->alphaChannel", 6172}}},
        {other(3, 0, ZAR_DEPTH_8U, 1),
         STATUS_BACKTRACE,
         {{STATUS_BAD_ARG, "srcImage->dataOrder!=dstImage->dataOrder", 6182}}},
        {[](Pair& p) {
             p.src.setRoi(2, 0, 0, 6, 5);
             return zarFixedFilter(p.src, p.dst, 0);
         },
         STATUS_BAD_COI,
         {{STATUS_BAD_COI, "Number of interset channel input and output Image is not equal.",
           6213}}},
        {[](Pair& p) {
             zarFixedFilter(p.src, p.dst, -1);
             zarSetStatus(STATUS_OK);
             return zarFixedFilter(p.src, p.dst, 11);
         },
         STATUS_BAD_ARG,
         {{STATUS_BAD_ARG, "Unknow filter.", 6283}, {STATUS_BAD_ARG, "Unknow filter.", 6283}}},
        // A stale negative status ends the call and is returned.
        {[](Pair& p) {
             zarSetStatus(STATUS_NO_MEMORY);
             return zarFixedFilter(p.src, p.dst, 6);
         },
         STATUS_NO_MEMORY,
         {}},
        // Nothing to process: only alpha (before the filter check), an empty region,
        // 1-bit images of different data orders.
        {[](Pair&) {
             return zarFixedFilter(zt::Image(1, 1, ZAR_DEPTH_8U, 0, 6, 5),
                                   zt::Image(1, 1, ZAR_DEPTH_8U, 0, 6, 5), -7);
         },
         STATUS_OK,
         {}},
        {[](Pair& p) {
             p.dst.setRoi(0, 1, 5, 3, 3);
             return zarFixedFilter(p.src, p.dst, 6);
         },
         STATUS_OK,
         {}},
        {[](Pair&) {
             return zarFixedFilter(zt::Image(1, 0, ZAR_DEPTH_1U, 0, 6, 5),
                                   zt::Image(1, 0, ZAR_DEPTH_1U, 1, 6, 5), ZAR_FIXED_GAUSS_3);
         },
         STATUS_OK,
         {}},
    };
    for (const auto& row : rows) {
        Pair pair;
        pair.src.randomize(1);
        zt::ErrorRecorder recorder;
        EXPECT_EQ(row.call(pair), row.returned);
        zt::expectReports(recorder, "zarFixedFilter", "zarnlf", row.want);
        for (int32_t c = 0; c < 3; ++c) ASSERT_EQ(zt::getSample(pair.dst, 2, 2, c), 9);
    }
}

double spot(int32_t x, int32_t y, int32_t at, double value) {
    return x == at && y == at ? value : 0;
}

// Rules a reference could get wrong alike: halves to even (also under another
// rounding mode, which is given back), signed values, saturation, the sign of
// the gradients, 1-bit thresholds, constant borders, the 5 x 5 weights.  Each
// row fills a one-channel source with pixel(x, y) and borders (one mode,
// constant 0), filters and reads (x, y).
TEST(FixedFilterRules, WorkedByHand) {
    const gt::Pixel falling = [](int32_t x, int32_t) { return 100.0 - 10 * x; };
    const gt::Pixel down = [](int32_t, int32_t y) { return 7.0 * y; };
    const gt::Pixel spot1 = [](int32_t x, int32_t y) { return spot(x, y, 3, 1); };
    const struct Row {
        const char* rule;
        int32_t depth, width, height;
        gt::Pixel pixel;
        int32_t border, filter, x, y;
        double expected;
        int rounding;
    } rows[] = {
        {"Gauss 3: 8 / 16 -> 0", ZAR_DEPTH_8U, 3, 3,
         [](int32_t x, int32_t y) { return spot(x, y, 1, 2); }, 0, 6, 1, 1, 0, FE_TONEAREST},
        {"Gauss 3: 24 / 16 -> 2", ZAR_DEPTH_8U, 3, 3,
         [](int32_t x, int32_t y) { return spot(x, y, 1, 6); }, 0, 6, 1, 1, 2, FE_TONEAREST},
        {"Gauss 3: 40 / 16 -> 2", ZAR_DEPTH_8U, 3, 3,
         [](int32_t x, int32_t y) { return spot(x, y, 1, 10); }, 0, 6, 1, 1, 2, FE_TONEAREST},
        {"8S Gauss: -8 / 16 -> 0", ZAR_DEPTH_8S, 3, 3,
         [](int32_t x, int32_t y) { return spot(x, y, 1, -2); }, 0, 6, 1, 1, 0, FE_TONEAREST},
        {"16S Gauss: -24 / 16 -> -2", ZAR_DEPTH_16S, 3, 3,
         [](int32_t x, int32_t y) { return spot(x, y, 1, -6); }, 0, 6, 1, 1, -2, FE_TONEAREST},
        {"32S Gauss 12 / 16 -> 1 rounding upward", ZAR_DEPTH_32S, 3, 3,
         [](int32_t x, int32_t y) { return spot(x, y, 1, 3); }, 0, 6, 1, 1, 1, FE_UPWARD},
        {"32S Gauss 6 / 16 -> 0 rounding upward", ZAR_DEPTH_32S, 3, 3,
         [](int32_t x, int32_t y) { return spot(x, y, 1, 3); }, 0, 6, 0, 1, 0, FE_UPWARD},
        {"32S Gauss -24 / 16 -> -2 toward zero", ZAR_DEPTH_32S, 3, 3,
         [](int32_t x, int32_t y) { return spot(x, y, 1, -6); }, 0, 6, 1, 1, -2, FE_TOWARDZERO},
        {"32S Sobel X saturates", ZAR_DEPTH_32S, 3, 3,
         [](int32_t x, int32_t y) {
             return y != 1 ? 0.0 : x == 0 ? 2147483647.0 : x == 2 ? -2147483648.0 : 0;
         },
         0, ZAR_FIXED_SOBEL_X, 1, 1, 2147483647, FE_DOWNWARD},
        {"8S sharpen keeps -128", ZAR_DEPTH_8S, 5, 4, [](int32_t, int32_t) { return -128.0; }, 1,
         ZAR_FIXED_SHARPEN_3, 2, 2, -128, FE_TONEAREST},
        {"32F sharpen keeps 2.5", ZAR_DEPTH_32F, 5, 4, [](int32_t, int32_t) { return 2.5; }, 1,
         ZAR_FIXED_SHARPEN_3, 1, 2, 2.5, FE_TONEAREST},
        {"Prewitt X of a rising ramp saturates at 0", ZAR_DEPTH_8U, 5, 4,
         [](int32_t x, int32_t) { return 10.0 * x; }, 1, ZAR_FIXED_PREWITT_X, 2, 1, 0,
         FE_TONEAREST},
        {"Prewitt X: left minus right", ZAR_DEPTH_8U, 5, 4, falling, 1, ZAR_FIXED_PREWITT_X, 2, 1,
         60, FE_TONEAREST},
        {"Sobel X: left minus right", ZAR_DEPTH_8U, 5, 4, falling, 1, ZAR_FIXED_SOBEL_X, 2, 1, 80,
         FE_TONEAREST},
        {"Prewitt Y: below minus above", ZAR_DEPTH_16S, 4, 5, down, 1, ZAR_FIXED_PREWITT_Y, 1, 2,
         42, FE_TONEAREST},
        {"Sobel Y with the row above replicated", ZAR_DEPTH_16S, 4, 5, down, 1, ZAR_FIXED_SOBEL_Y,
         1, 0, 28, FE_TONEAREST},
        {"Laplace 5 beside", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_LAPLACE_5, 4, 3, 6,
         FE_TONEAREST},
        {"Laplace 5 knight", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_LAPLACE_5, 2, 1, -3,
         FE_TONEAREST},
        {"high pass 5 centre", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_HIGHPASS_5, 3, 3, 24,
         FE_TONEAREST},
        {"Gauss 5 keeps 100 at a corner", ZAR_DEPTH_16S, 6, 6,
         [](int32_t, int32_t) { return 100.0; }, 1, ZAR_FIXED_GAUSS_5, 0, 0, 100, FE_TONEAREST},
        {"1-bit Gauss: a weighted count of 6 stays 0", ZAR_DEPTH_1U, 5, 3,
         [](int32_t x, int32_t y) { return y == 1 && (x == 1 || x == 2) ? 1.0 : 0.0; }, 0, 6, 1, 1,
         0, FE_TONEAREST},
        {"1-bit Gauss: a weighted count of 8 sets", ZAR_DEPTH_1U, 5, 3,
         [](int32_t x, int32_t y) {
             return (y == 1 && (x == 1 || x == 2)) || (x == 1 && y == 0) ? 1.0 : 0.0;
         },
         0, 6, 1, 1, 1, FE_TONEAREST},
        {"constant borders darken a corner (9 of 16)", ZAR_DEPTH_8U, 5, 4,
         [](int32_t, int32_t) { return 160.0; }, 0, 6, 4, 3, 90, FE_TONEAREST},
    };
    zt::ErrorRecorder recorder;
    for (const Row& r : rows) {
        zt::Image src = gt::filled(r.depth, r.width, r.height, r.pixel);
        zt::Image dst(1, 0, r.depth, 0, r.width, r.height);
        ft::setBorders(src, r.border, 0);
        std::fesetround(r.rounding);
        EXPECT_EQ(zarFixedFilter(src, dst, r.filter), STATUS_OK) << r.rule;
        EXPECT_EQ(std::fegetround(), r.rounding) << r.rule;
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(zt::getSample(dst, r.x, r.y, 0), r.expected) << r.rule;
    }
    EXPECT_TRUE(recorder.reports().empty());
}

// Random filters, depths, layouts, borders (the high mode bit ignored),
// regions, channels of interest, alpha and masks; plain and tiled sides; now
// and then rows wider than a strip of the row kernels.
TEST(FixedFilterRandom, PlainAndTiledAgainstTheReference) {
    zt::Rng rng(77);
    for (int n = 0; n < 600; ++n) {
        zt::OperandSpec s;
        s.depth = ft::kAllDepths[rng.range(0, 6)];
        const int32_t filter = rng.range(0, 10);
        s.nChannels = s.depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
        s.alphaChannel = s.nChannels > 1 && rng.range(0, 2) == 0 ? s.nChannels : 0;
        s.dataOrder = rng.range(0, 1);
        s.width = n % 40 == 0  ? rng.range(1100, 1600)
                  : n % 8 == 0 ? rng.range(90, 140)
                               : rng.range(1, 20);
        s.height = n % 40 == 0 ? rng.range(3, 6) : rng.range(1, 14);
        for (int i = 0; i < 4; ++i) {
            s.borderModes[i] = rng.range(0, 7);
            s.borderValues[i] = rng.range(-200, 200);
        }
        const int32_t coi = s.nChannels > 1 && rng.range(0, 2) == 0 ? rng.range(1, s.nChannels) : 0;
        zt::OperandSpec d = s;
        d.dataOrder = s.depth == ZAR_DEPTH_1U ? rng.range(0, 1) : s.dataOrder;
        d.width = s.width + rng.range(0, 2);
        d.height = s.height + rng.range(0, 2);
        for (zt::OperandSpec* o : {&s, &d}) {
            const bool hasRoi = coi || rng.range(0, 2);
            zt::randomInsideRoi(rng, *o, hasRoi, coi && o == &d ? rng.range(1, s.nChannels) : coi);
            zt::randomMaskAndTiles(rng, *o, true);
        }
        const std::string fault = zt::runEverywhere(
            {s, d}, 900 + n,
            [&](const std::vector<ImageHeader*>& h) { zarFixedFilter(h[0], h[1], filter); },
            [&](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                ImageHeader* expected) { ft::referenceFixedFilter(plain[0], expected, filter); });
        ASSERT_EQ(fault, "") << "case " << n << " filter " << filter;
    }
}

}  // namespace
