// zarBlur and zarFixedFilter: the checks as tables, rules worked by hand as
// one table, and random cases (borders, masks, plain, tiled and in-place
// sides, wide rows) against the naive references; refused tiles.
#include <gtest/gtest.h>

#include <array>
#include <cfenv>
#include <functional>
#include <vector>

#include "support/filter_support.h"
#include "support/geometry_support.h"
#include "support/scenario.h"

namespace {

// The images a check row names: an 8-bit source and destination (filled with
// 9) and formats that differ from them, in one and three channels.
enum { kNone = -1, kSrc, kDst, kAlphaOnly, kThree, k16U, kSrc3, kDst3, k16U3, kTwo, kThreeAlpha };
enum { kPlane3 = kThreeAlpha + 1, kAlphaOnly2, kBits, kBitsPlane };
struct Images {
    zt::Image all[14] = {{1, 0, ZAR_DEPTH_8U, 0, 6, 5},       {1, 0, ZAR_DEPTH_8U, 0, 6, 5, 4, 9},
                         {1, 1, ZAR_DEPTH_8U, 0, 6, 5},       {3, 0, ZAR_DEPTH_8U, 0, 6, 5},
                         {1, 0, ZAR_DEPTH_16U, 0, 6, 5},      {3, 0, ZAR_DEPTH_8U, 0, 6, 5},
                         {3, 0, ZAR_DEPTH_8U, 0, 6, 5, 4, 9}, {3, 0, ZAR_DEPTH_16U, 0, 6, 5},
                         {2, 0, ZAR_DEPTH_8U, 0, 6, 5},       {3, 3, ZAR_DEPTH_8U, 0, 6, 5},
                         {3, 0, ZAR_DEPTH_8U, 1, 6, 5},       {1, 1, ZAR_DEPTH_8U, 0, 6, 5},
                         {1, 0, ZAR_DEPTH_1U, 0, 6, 5},       {1, 0, ZAR_DEPTH_1U, 1, 6, 5}};
    zt::Image mask{1, 1, ZAR_DEPTH_1U, 0, 6, 5};  // a valid mask whose only channel is alpha
    ImageHeader* operator[](int32_t k) { return k == kNone ? nullptr : all[k].get(); }
    ~Images() { all[kSrc]->maskImage = all[kDst]->maskImage = nullptr; }
};
using Call = std::function<ZarStatus(Images&)>;
struct Row {
    Call call;
    std::vector<zt::Want> want;
    ZarStatus returned = STATUS_OK;  // zarFixedFilter's
};

Call blur(int32_t s, int32_t d, int32_t nCols = 3, int32_t nRows = 3, int32_t ax = 1,
          int32_t ay = 1) {
    return [=](Images& i) {
        zarBlur(i[s], i[d], nCols, nRows, ax, ay);
        return STATUS_OK;
    };
}
Call fixed(int32_t s, int32_t d, int32_t filter = 0) {
    return [=](Images& i) { return zarFixedFilter(i[s], i[d], filter); };
}
// First image k gets the status word, the alpha-only mask or a region
// (channel of interest, offset), then call.
Call after(Call call, int32_t k, ZarStatus status, bool mask, Roi roi = {-1, 0, 0, 0, 0}) {
    return [=](Images& i) {
        zarSetStatus(status);
        if (mask) i[k]->maskImage = i.mask;
        if (roi.coi >= 0) i.all[k].setRoi(roi.coi, roi.xOffset, roi.yOffset, roi.width, roi.height);
        return call(i);
    };
}

// Each check in its order with its report; the destination keeps its pixels.
TEST(BlurChecks, EveryCheck) {
    const char* const kAlpha = "bad alpha channel's number";
    const zt::Want kWindow{STATUS_BAD_ARG, "(anchorX>=nCols||anchorY>=nRows)", 388};
    const Row rows[] = {
        {blur(kNone, kDst), {{STATUS_NULL_HEADER, "Incorrect Image", 383}}},
        {blur(kSrc, kNone), {{STATUS_NULL_HEADER, "Incorrect Image", 384}}},
        {blur(kSrc, k16U), {{STATUS_BAD_ARG, "(srcImage->depth!=dstImage->depth)", 385}}},
        {blur(kSrc, kDst, 3, -1, 1, 0), {{STATUS_BAD_ARG, "(nRows<0||nCols<0)", 386}}},
        {blur(kSrc, kDst, 3, 3, -1, 1), {{STATUS_BAD_ARG, "(anchorX<0||anchorY<0)", 387}}},
        {blur(kSrc, kDst, 0, 3, 0, 1), {kWindow}},
        {blur(kSrc, kDst, 3, 2, 1, 2), {kWindow}},
        {blur(kSrc, kAlphaOnly), {{STATUS_BAD_ALPHA, kAlpha, 400}}},
        {blur(kAlphaOnly, kDst), {{STATUS_BAD_ALPHA, kAlpha, 403}}},
        {blur(kThree, kDst), {{STATUS_BAD_CHANNELS, "bad channel's number", 406}}},
        {after(blur(kSrc, kDst), kSrc, STATUS_OK, true), {{STATUS_BAD_ALPHA, kAlpha, 409}}},
        {after(blur(kSrc, kDst), kDst, STATUS_OK, true), {{STATUS_BAD_ALPHA, kAlpha, 412}}},
        // A region starting right of the image changes nothing.
        {after(blur(kSrc, kDst), kDst, STATUS_OK, false, {0, 6, 0, 2, 2}), {}},
    };
    for (const Row& row : rows) {
        Images images;
        zt::ErrorRecorder recorder;
        row.call(images);
        zt::expectReports(recorder, "zarBlur", "zarBlur", row.want);
        for (int32_t x = 0; x < 6; ++x) ASSERT_EQ(zt::getSample(images[kDst], x, 0, 0), 9);
    }
}

// Every check with the code it reports and the code it returns (they differ
// for some relations); the destination keeps its pixels.
TEST(FixedFilterChecks, EveryCheck) {
    const zt::Want kUnknown{STATUS_BAD_ARG, "Unknow filter.", 6283};
    const Row rows[] = {
        {fixed(kNone, kDst3), {{STATUS_NULL_HEADER, "Incorrect Image", 6165}}, STATUS_NULL_HEADER},
        {fixed(kSrc3, kNone), {{STATUS_NULL_HEADER, "Incorrect Image", 6166}}, STATUS_NULL_HEADER},
        {after(fixed(kSrc3, kDst3), kSrc3, STATUS_OK, false, {4, 0, 0, 6, 5}),
         {{STATUS_BAD_COI, "Incorrect Image", 6165}},
         STATUS_BAD_COI},
        {fixed(kDst3, kDst3), {{STATUS_BAD_ARG, "(srcImage==dstImage)", 6167}}, STATUS_BAD_ARG},
        {fixed(kSrc3, k16U3),
         {{STATUS_BAD_ARG, "srcImage->depth!=dstImage->depth", 6168}},
         STATUS_BAD_DEPTH},
        {fixed(kSrc3, kTwo),
         {{STATUS_BAD_ARG, "srcImage->nChannels!=dstImage->nChannels", 6170}},
         STATUS_BAD_CHANNELS},
        {fixed(kSrc3, kThreeAlpha),
         {{STATUS_BAD_ARG, "srcImage->alphaChannel!=dstImage->alphaChannel", 6172}},
         STATUS_BAD_ALPHA},
        {fixed(kSrc3, kPlane3),
         {{STATUS_BAD_ARG, "srcImage->dataOrder!=dstImage->dataOrder", 6182}},
         STATUS_BACKTRACE},
        {after(fixed(kSrc3, kDst3), kSrc3, STATUS_OK, false, {2, 0, 0, 6, 5}),
         {{STATUS_BAD_COI, "Number of interset channel input and output Image is not equal.",
           6213}},
         STATUS_BAD_COI},
        {fixed(kSrc3, kDst3, -1), {kUnknown}, STATUS_BAD_ARG},
        {fixed(kSrc3, kDst3, 11), {kUnknown}, STATUS_BAD_ARG},
        // A stale negative status ends the call and is returned.
        {after(fixed(kSrc3, kDst3, 6), kSrc3, STATUS_NO_MEMORY, false), {}, STATUS_NO_MEMORY},
        // Nothing to process: only alpha (before the filter check), an empty region,
        // 1-bit images of different data orders.
        {fixed(kAlphaOnly, kAlphaOnly2, -7), {}},
        {after(fixed(kSrc3, kDst3, 6), kDst3, STATUS_OK, false, {0, 1, 5, 3, 3}), {}},
        {fixed(kBits, kBitsPlane, ZAR_FIXED_GAUSS_3), {}},
    };
    for (const Row& row : rows) {
        Images images;
        images.all[kSrc3].randomize(1);
        zt::ErrorRecorder recorder;
        EXPECT_EQ(row.call(images), row.returned);
        zt::expectReports(recorder, "zarFixedFilter", "zarnlf", row.want);
        for (int32_t c = 0; c < 3; ++c) ASSERT_EQ(zt::getSample(images[kDst3], 2, 2, c), 9);
    }
}

template <int32_t V>
double all(int32_t, int32_t) {
    return V;
}

// value at (x, y), else 0.
gt::Pixel spot(int32_t x, int32_t y, double value) {
    return [=](int32_t i, int32_t j) { return i == x && j == y ? value : 0; };
}

// Rules a reference could get wrong alike: rounding (halves to even for the
// fixed filters, toward zero for the blur, under any caller's rounding mode,
// which is given back), the single-precision reciprocal of the blur, signed
// values, the sign of the gradients, the 5 x 5 weights, 1-bit thresholds, the
// reflect and wrap borders.  Each row fills a one-channel source with
// pixel(x, y) and borders (one mode, constant 0), blurs with the window
// (columns, rows, anchor) or runs the fixed filter and reads (x, y).
TEST(FilterRules, WorkedByHand) {
    const gt::Pixel falling = [](int32_t x, int32_t) { return 100.0 - 10 * x; };
    const gt::Pixel down = [](int32_t, int32_t y) { return 7.0 * y; };
    const gt::Pixel spot3 = spot(3, 3, 1);
    const gt::Pixel rising = [](int32_t x, int32_t) { return 10.0 * (x + 1); };
    using Run = std::function<void(ImageHeader*, ImageHeader*)>;
    const auto fixed = [](int32_t filter) -> Run {
        return [=](ImageHeader* s, ImageHeader* d) { zarFixedFilter(s, d, filter); };
    };
    const auto blur = [](int32_t nCols, int32_t nRows, int32_t ax, int32_t ay) -> Run {
        return [=](ImageHeader* s, ImageHeader* d) { zarBlur(s, d, nCols, nRows, ax, ay); };
    };
    const struct Row {
        const char* rule;
        int32_t depth, width, height;
        gt::Pixel pixel;
        int32_t border;
        Run run;
        int32_t x, y;
        double expected;
        int rounding = FE_TONEAREST;
    } rows[] = {
        {"Gauss 3: 24 / 16 -> 2", ZAR_DEPTH_8U, 3, 3, spot(1, 1, 6), 0, fixed(6), 1, 1, 2},
        {"Gauss 3: 40 / 16 -> 2", ZAR_DEPTH_8U, 3, 3, spot(1, 1, 10), 0, fixed(6), 1, 1, 2},
        {"16S Gauss: -24 / 16 -> -2", ZAR_DEPTH_16S, 3, 3, spot(1, 1, -6), 0, fixed(6), 1, 1, -2},
        {"32S Gauss 6 / 16 -> 0 rounding upward", ZAR_DEPTH_32S, 3, 3, spot(1, 1, 3), 0, fixed(6),
         0, 1, 0, FE_UPWARD},
        {"32S Gauss -24 / 16 -> -2 toward zero", ZAR_DEPTH_32S, 3, 3, spot(1, 1, -6), 0, fixed(6),
         1, 1, -2, FE_TOWARDZERO},
        {"Prewitt X: left minus right", ZAR_DEPTH_8U, 5, 4, falling, 1, fixed(ZAR_FIXED_PREWITT_X),
         2, 1, 60},
        {"Sobel X: left minus right", ZAR_DEPTH_8U, 5, 4, falling, 1, fixed(ZAR_FIXED_SOBEL_X), 2,
         1, 80},
        {"Prewitt Y: below minus above", ZAR_DEPTH_16S, 4, 5, down, 1, fixed(ZAR_FIXED_PREWITT_Y),
         1, 2, 42},
        {"Sobel Y with the row above replicated", ZAR_DEPTH_16S, 4, 5, down, 1,
         fixed(ZAR_FIXED_SOBEL_Y), 1, 0, 28},
        {"Laplace 5 knight", ZAR_DEPTH_16S, 7, 7, spot3, 0, fixed(ZAR_FIXED_LAPLACE_5), 2, 1, -3},
        {"high pass 5 centre", ZAR_DEPTH_16S, 7, 7, spot3, 0, fixed(ZAR_FIXED_HIGHPASS_5), 3, 3,
         24},
        {"Gauss 5 keeps 100 at a corner", ZAR_DEPTH_16S, 6, 6, all<100>, 1,
         fixed(ZAR_FIXED_GAUSS_5), 0, 0, 100},
        {"1-bit Gauss: a weighted count of 6 stays 0", ZAR_DEPTH_1U, 5, 3,
         [](int32_t x, int32_t y) { return y == 1 && (x == 1 || x == 2) ? 1.0 : 0.0; }, 0, fixed(6),
         1, 1, 0},
        {"1-bit Gauss: a weighted count of 8 sets", ZAR_DEPTH_1U, 5, 3,
         [](int32_t x, int32_t y) {
             return (y == 1 && (x == 1 || x == 2)) || (x == 1 && y == 0) ? 1.0 : 0.0;
         },
         0, fixed(6), 1, 1, 1},
        {"blur: 2295 x single(1/9) stays 255", ZAR_DEPTH_8U, 5, 4, all<255>, 1, blur(3, 3, 1, 1), 4,
         3, 255},
        {"blur: a window summing to 17 gives 1", ZAR_DEPTH_8U, 7, 3, spot(4, 1, 17), 0,
         blur(3, 3, 1, 1), 5, 0, 1},
        {"blur: 25 x 65535 x single(1/25) gives 65534", ZAR_DEPTH_16U, 6, 6, all<65535>, 1,
         blur(5, 5, 2, 2), 5, 5, 65534},
        {"blur: 8S sum -8 truncates to 0", ZAR_DEPTH_8S, 4, 4, spot(0, 0, -8), 0, blur(3, 3, 1, 1),
         1, 1, 0},
        {"blur: 32F (2^24 + 3) / 2 goes toward zero", ZAR_DEPTH_32F, 2, 1,
         [](int32_t x, int32_t) { return x ? 3.0 : 16777216.0; }, 1, blur(2, 1, 0, 0), 0, 0,
         8388609, FE_UPWARD},
        {"blur: 32S -3.5 truncates under a downward mode", ZAR_DEPTH_32S, 2, 1,
         [](int32_t x, int32_t) { return x ? 0.0 : -7.0; }, 1, blur(2, 1, 0, 0), 0, 0, -3,
         FE_DOWNWARD},
        {"blur: 1-bit, five of nine set", ZAR_DEPTH_1U, 3, 3,
         [](int32_t x, int32_t y) {
             return y == 0 || (x + y == 1) || (x == 1 && y == 2) ? 1.0 : 0.0;
         },
         0, blur(3, 3, 1, 1), 1, 1, 1},
        {"blur: 1-bit, four of nine set", ZAR_DEPTH_1U, 3, 3,
         [](int32_t x, int32_t y) { return y == 0 || (x == 0 && y == 1) ? 1.0 : 0.0; }, 0,
         blur(3, 3, 1, 1), 1, 1, 0},
        {"blur: a 1 x 1 window copies", ZAR_DEPTH_16S, 3, 2,
         [](int32_t x, int32_t) { return -7.0 * x; }, 0, blur(1, 1, 0, 0), 2, 1, -14},
        {"blur: reflect border, left", ZAR_DEPTH_8U, 4, 1, rising, 2, blur(5, 1, 2, 0), 0, 0, 18},
        {"blur: wrap border, right", ZAR_DEPTH_8U, 4, 1, rising, 3, blur(5, 1, 2, 0), 3, 0, 24},
    };
    zt::ErrorRecorder recorder;
    for (const Row& r : rows) {
        zt::Image src = gt::filled(r.depth, r.width, r.height, r.pixel);
        zt::Image dst(1, 0, r.depth, 0, r.width, r.height);
        ft::setBorders(src, r.border, 0);
        std::fesetround(r.rounding);
        r.run(src, dst);
        EXPECT_EQ(std::fegetround(), r.rounding) << r.rule;
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(zt::getSample(dst, r.x, r.y, 0), r.expected) << r.rule;
    }
    EXPECT_TRUE(recorder.reports().empty());
}

// Random depths, layouts, windows, anchors, borders, regions, channels of
// interest, alpha and masks; plain and tiled sides, every sixth case in place
// (small windows); now and then rows wide enough for the row kernels' strips
// and a large window.  In place on a tiled image, results wait in a ring of
// (tile rows + 2) slots; a window reaching further back than that ring reads
// tiles already written back, so the separate-image reference holds there
// only for small windows.
TEST(BlurRandom, PlainAndTiledAgainstTheReference) {
    zt::Rng rng(2024);
    for (int n = 0; n < 500; ++n) {
        // Every tenth: windows past 8 columns over 3 to 6 interleaved channels, all processed.
        const bool lanes = n % 10 == 5;
        int32_t nCols, nRows;
        do {
            nCols = n % 20 == 0 ? rng.range(40, 92) : lanes ? rng.range(9, 30) : rng.range(1, 7);
            nRows = rng.range(1, 6);
        } while (nCols * nRows == 1);
        const int32_t anchorX = rng.range(0, nCols - 1), anchorY = rng.range(0, nRows - 1);
        std::vector<zt::OperandSpec> specs = ft::randomSides(
            rng, n % 10 == 0 ? rng.range(50, 110) : rng.range(1, 19), rng.range(1, 15), lanes,
            n % 6 == 3 && !lanes);
        for (zt::OperandSpec& o : specs) o.smallValues = true;
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

// Random filters, depths, layouts, borders, regions, channels of interest,
// alpha and masks; plain and tiled sides; now and then rows wider than a
// strip of the row kernels; at every instruction-set level, under each
// rounding mode in turn (the float forms combine in the caller's mode).
TEST(FixedFilterRandom, PlainAndTiledAgainstTheReference) {
    gt::atEveryIsaLevel([](int32_t level) {
        zt::Rng rng(77 + level);
        for (int n = 0; n < 150; ++n) {
            const int32_t filter = rng.range(0, 10);
            const int32_t width = n % 40 == 0  ? rng.range(1100, 1600)
                                  : n % 8 == 0 ? rng.range(90, 140)
                                               : rng.range(1, 20);
            const std::vector<zt::OperandSpec> specs = ft::randomSides(
                rng, width, n % 40 == 0 ? rng.range(3, 6) : rng.range(1, 14), false, false);
            const int mode = std::array{FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}[n % 4];
            std::fesetround(mode);
            const std::string fault = zt::runEverywhere(
                specs, 900 + n,
                [&](const std::vector<ImageHeader*>& h) {
                    zarFixedFilter(h[0], h[1], filter);
                    EXPECT_EQ(std::fegetround(), mode);
                },
                [&](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                    ImageHeader* expected) {
                    ft::referenceFixedFilter(plain[0], expected, filter);
                });
            std::fesetround(FE_TONEAREST);
            ASSERT_EQ(fault, "") << "case " << n << " filter " << filter << " mode " << mode;
        }
    });
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
