// zarZoom and the zoom engine: the checks as a table, rules worked by hand,
// refused tiles, and random cases (masks, plain and tiled images) against the
// reference at every instruction-set level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "geometry/zoom.h"
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

struct Pair {
    Image src{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 5};
    Image dst{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 4, 1};
    Image rgb{3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 5};
    Image rgb8{3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 4, 1};
};

// Every check, in order: the argument checks go on after a failure and then
// stop the call; the destination keeps its pixels.
TEST(ZoomChecks, EveryCheck) {
    const char* const kMode =
        "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && interpolate != "
        "ZAR_INTER_CUBIC";
    const char* const kDepth =
        "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && srcImage->depth != "
        "ZAR_DEPTH_16U";
    const char* const kChannels =
        "Processed channels of srcImage != Processed channels of dstImage";
    const char* const kFactors = "xDst < xSrc || yDst < ySrc";
    using Call = void (*)(Pair&);
    const struct {
        Call call;
        std::vector<zt::Want> want;
    } rows[] = {
        {[](Pair& p) { zoomEngine(nullptr, p.dst, 2, 1, 2, 1, 0); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 705}}},
        {[](Pair& p) { zoomEngine(p.src, nullptr, 2, 1, 2, 1, 0); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 706}}},
        {[](Pair& p) {
             Image bad(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             bad->nChannels = 0;
             zarZoom(p.src, bad, 2, 1, 2, 1, 0);
             bad->nChannels = 1;
         },
         {{STATUS_BAD_CHANNELS, "Incorrect Image", 706}}},
        {[](Pair& p) { zoomEngine(p.src, p.dst, 2, 1, 2, 1, 3); }, {{STATUS_BAD_ARG, kMode, 707}}},
        {[](Pair& p) { zoomEngine(Image(1, 0, ZAR_DEPTH_16U, 1, 4, 4), p.dst, 2, 1, 2, 1, 7); },
         {{STATUS_BAD_ARG, kMode, 707},
          {STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 708},
          {STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 710}}},
        {[](Pair&) {
             for (int32_t depth : {ZAR_DEPTH_8S, ZAR_DEPTH_32F}) {
                 zarSetStatus(STATUS_OK);
                 zoomEngine(Image(1, 0, depth, 0, 4, 4), Image(1, 0, depth, 0, 8, 8), 0, 1, 2, -1,
                            0);
             }
         },
         {{STATUS_BAD_ARG, kDepth, 709},
          {STATUS_BAD_ARG, "xDst <= 0 || xSrc <= 0", 711},
          {STATUS_BAD_ARG, "yDst <= 0 || ySrc <= 0", 712},
          {STATUS_BAD_ARG, kDepth, 709},
          {STATUS_BAD_ARG, "xDst <= 0 || xSrc <= 0", 711},
          {STATUS_BAD_ARG, "yDst <= 0 || ySrc <= 0", 712}}},
        {[](Pair& p) { zarZoom(p.dst, p.dst, 1, 1, 1, 1, 0); },
         {{STATUS_BAD_ARG, "This function isn`t in-plase function", 728}}},
        {[](Pair& p) { zarZoom(p.rgb, p.dst, 2, 1, 2, 1, 0); }, {{STATUS_ERROR, kChannels, 450}}},
        {[](Pair& p) {
             p.rgb.setRoi(2, 0, 0, 4, 4);
             zarZoom(p.rgb, p.rgb8, 2, 1, 2, 1, 0);
         },
         {{STATUS_ERROR, kChannels, 453}}},
        {[](Pair& p) {
             zarZoom(p.src, p.dst, 1, 2, 1, 1, ZAR_INTER_LINEAR);
             zarZoom(p.src, p.dst, 1, 1, 2, 3, ZAR_INTER_LINEAR);
         },
         {{STATUS_BAD_ARG, kFactors, 1381}, {STATUS_BAD_ARG, kFactors, 1381}}},
        // An earlier failure in the status word stops the call quietly.
        {[](Pair& p) {
             zarSetStatus(STATUS_BAD_ARG);
             zoomEngine(p.src, p.dst, 2, 1, 2, 1, 0);
         },
         {}},
    };
    for (const auto& row : rows) {
        Pair pair;
        zt::ErrorRecorder errors;
        row.call(pair);
        zt::expectReports(errors, "zarZoom", "zarZoom", row.want);
        if (!row.want.empty()) {
            EXPECT_EQ(gt::rowText(pair.dst, 0), "1 1 1 1 1 1 1 1");
        }
        EXPECT_EQ(zt::getSample(pair.rgb8, 0, 0, 1), 1);
    }
}

// A refused tile stops the call; the line of a refused destination tile
// depends on whether the source is tiled.
TEST(ZoomTiles, RefusedTiles) {
    const auto spec = [](int32_t size, bool tiled) {
        zt::OperandSpec s;
        s.width = s.height = size;
        s.tiled = tiled;
        s.tileWidth = s.tileHeight = 16;
        return s;
    };
    const struct {
        bool srcTiled, dstTiled;
        int32_t mode, refused;
        zt::Want want;
    } rows[] = {{false, true, ZAR_INTER_NN, 1, {STATUS_ERROR, "Error get tile to write", 1360}},
                {true, true, ZAR_INTER_CUBIC, 1, {STATUS_ERROR, "Error get tile to write", 884}},
                {true, false, ZAR_INTER_LINEAR, 0, {STATUS_ERROR, "Error get tile to read", 0}}};
    for (const auto& r : rows) {
        zt::expectRefusal(
            {spec(10, r.srcTiled), spec(60, r.dstTiled)}, r.dstTiled ? 1 : 0, r.refused, r.refused,
            [&](const std::vector<ImageHeader*>& h) { zarZoom(h[0], h[1], 6, 1, 6, 1, r.mode); },
            "zarZoom", "zarZoom", r.want);
    }
}

// Random depths, layouts, regions, channels of interest, factors and modes;
// masks on either side; plain and tiled sides; some sources wider than the
// 64-column blocks and destinations of many tiles.  Factors that shrink go
// through zarResize (zarZoom refuses them).
TEST(ZoomRandom, PlainAndTiledAgainstTheReference) {
    gt::atEveryIsaLevel([](int32_t) {
        zt::Rng rng(2024);
        for (int n = 0; n < 300; ++n) {
            zt::OperandSpec s = gt::randomFormat(rng);
            s.width = rng.range(1, 24) + (n % 5 == 0 ? 60 : 0);
            s.height = rng.range(1, 24);
            const int xDst = rng.range(1, 6), xSrc = rng.range(1, 6), yDst = rng.range(1, 6),
                      ySrc = rng.range(1, 6), mode = rng.range(0, 2);
            zt::OperandSpec d = s;
            d.width = rng.range(1, std::max(1, s.width * xDst / xSrc) + 6) + (n % 7 == 0 ? 70 : 0);
            d.height = rng.range(1, std::max(1, s.height * yDst / ySrc) + 6);
            const int coi = s.nChannels > 1 && rng.range(0, 3) == 0 ? rng.range(1, s.nChannels) : 0;
            for (zt::OperandSpec* o : {&s, &d}) {
                const bool hasRoi = coi || rng.range(0, 2) != 0;
                zt::randomInsideRoi(rng, *o, hasRoi, coi ? rng.range(1, s.nChannels) : 0);
                zt::randomMaskAndTiles(rng, *o, !coi);
                o->maskOrder = 0;  // the zoomed source mask is pixel order: plane order is refused
            }
            const std::string fault = zt::runEverywhere(
                {s, d}, rng.next(),
                [&](const std::vector<ImageHeader*>& h) {
                    if (xDst >= xSrc && yDst >= ySrc)
                        zarZoom(h[0], h[1], xDst, xSrc, yDst, ySrc, mode);
                    else
                        EXPECT_EQ(zarResize(h[0], h[1], xDst, xSrc, yDst, ySrc, mode), STATUS_OK);
                },
                [&](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                    ImageHeader* expected) {
                    zt::referenceZoom(plain[0], expected, xDst, xSrc, yDst, ySrc, mode);
                });
            ASSERT_EQ(fault, "") << "case " << n << " factors " << xDst << "/" << xSrc << ", "
                                 << yDst << "/" << ySrc << " mode " << mode;
        }
    });
}

}  // namespace
