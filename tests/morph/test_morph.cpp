// zarDilate and zarErode: the argument checks as one table in their order,
// with exact reports (the status word is reset on entry); rules worked by hand
// where a reference could go wrong alike (the one-pixel frame a region sees,
// border constants per side, corners by the top and bottom rules, stored as
// the depth stores them, iteration counts up to the largest); random cases (depths, layouts,
// regions, channels of interest, alpha, masks, border rules, iteration counts, plain and tiled
// sides, in place) against the naive reference; refused tiles.
#include <gtest/gtest.h>

#include <string>

#include "support/geometry_support.h"
#include "support/morph_support.h"
#include "support/scenario.h"

namespace {

using zt::Image;

struct Images {
    Image a{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 9};
    Image b{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 3};
};

TEST(MorphChecks, EveryCheck) {
    using Call = void (*)(void(ZAR_STDCALL*)(ImageHeader*, ImageHeader*, int32_t), Images&);
    const char* const kChannels = "SRC and DST number of channels are different";
    const struct {
        Call call;
        std::vector<zt::Want> want;
    } rows[] = {
        {[](auto op, Images& i) { op(nullptr, i.b, 1); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 85}}},
        {[](auto op, Images& i) { op(i.a, nullptr, 1); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 86}}},
        {[](auto op, Images&) { op(nullptr, nullptr, 0); },  // the source first
         {{STATUS_NULL_HEADER, "Incorrect Image", 85}}},
        {[](auto op, Images& i) {
             i.b.setRoi(2, 0, 0, 2, 2);  // coi beyond the channels
             op(i.a, i.b, 1);
         },
         {{STATUS_BAD_COI, "Incorrect Image", 86}}},
        {[](auto op, Images& i) {
             op(i.a, i.b, 0);
             op(i.a, i.b, -3);
         },
         {{STATUS_BAD_ARG, "Illegal number of of iterations", 89},
          {STATUS_BAD_ARG, "Illegal number of of iterations", 89}}},
        {[](auto op, Images&) {
             for (int32_t depth : {ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F})
                 op(Image(1, 0, depth, 0, 4, 4), Image(1, 0, depth, 0, 4, 4), 1);
         },
         {{STATUS_BAD_ARG, "Illegal image depth", 94},
          {STATUS_BAD_ARG, "Illegal image depth", 94},
          {STATUS_BAD_ARG, "Illegal image depth", 94},
          {STATUS_BAD_ARG, "Illegal image depth", 94}}},
        // The source's depth is checked before it is compared.
        {[](auto op, Images& i) {
             op(i.a, Image(1, 0, ZAR_DEPTH_32F, 0, 4, 4), 1);
             op(i.a, Image(1, 0, ZAR_DEPTH_16U, 0, 4, 4), 1);
         },
         {{STATUS_BAD_ARG, "SRC and DST depth are different", 101},
          {STATUS_BAD_ARG, "SRC and DST depth are different", 101}}},
        {[](auto op, Images& i) {
             op(i.a, Image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 4, 4), 1);
         },
         {{STATUS_BAD_ARG, "SRC and DST order are different", 106}}},
        {[](auto op, Images& i) {
             i.a->origin = ZAR_ORIGIN_BL;
             op(i.a, i.b, 1);
         },
         {{STATUS_BAD_ARG, "SRC and DST orign are different", 111}}},
        {[](auto op, Images& i) {
             Image four(4, 0, ZAR_DEPTH_8U, 0, 4, 4);
             op(i.a, Image(3, 0, ZAR_DEPTH_8U, 0, 4, 4), 1);
             op(Image(4, 4, ZAR_DEPTH_8U, 0, 4, 4), four, 1);  // 3 processed channels against 4
             four.setRoi(2, 0, 0, 4, 4);
             op(i.a, four, 1);  // a channel of interest counts as one channel
         },
         {{STATUS_BAD_ARG, kChannels, 136}, {STATUS_BAD_ARG, kChannels, 136}}},
        // The status word is reset on entry; empty regions do nothing.
        {[](auto op, Images& i) {
             zarSetStatus(STATUS_BAD_ARG);
             i.a.setRoi(0, 7, 1, 3, 3);
             op(i.a, i.b, 2);
             EXPECT_EQ(zarGetStatus(), STATUS_OK);
             i.a.setRoi(0, 1, 4, 3, 3);
             op(i.a, i.b, 1);
         },
         {}},
    };
    for (auto op : {zarDilate, zarErode})
        for (const auto& row : rows) {
            Images images;
            zt::ErrorRecorder recorder;
            row.call(op, images);
            zt::expectReports(recorder, op == zarDilate ? "zarDilate" : "zarErode", "ownMorph",
                              row.want);
            for (int32_t x = 0; x < 4; ++x) ASSERT_EQ(zt::getSample(images.b, x, 1, 0), 3);
        }
}

// Each row fills a source of w x h with pixel(x, y) and the given borders
// (mode, constants top, bottom, left, right), gives source and destination
// (filled with 77) regions of sw x sh at (sx, sy) and (dx, dy) (sw 0: none),
// and reads the destination region row by row.
TEST(MorphHand, WorkedByHand) {
    const struct Row {
        const char* rule;
        bool dilate;
        int32_t n, depth, w, h;
        gt::Pixel pixel;
        int32_t mode, top, bottom, left, right, sx, sy, dx, dy, sw, sh;
        const char* expected;
    } rows[] = {
        {"dilate: the region sees its frame, not beyond", true, 3, ZAR_DEPTH_8U, 12, 12,
         [](int32_t x, int32_t y) {
             const int32_t at[][3] = {{2, 5, 250},  {5, 1, 240}, {9, 4, 230},
                                      {6, 10, 220}, {3, 6, 100}, {8, 7, 30}};
             for (const auto& p : at)
                 if (x == p[0] && y == p[1]) return double(p[2]);
             return 0.0;
         },
         0, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4,
         "100 100 100 30 / 100 100 100 30 / 100 100 100 30 / 100 100 100 30"},
        {"erode: the frame row below, not beyond", false, 3, ZAR_DEPTH_8U, 12, 12,
         [](int32_t x, int32_t y) {
             return x == 1 && y == 4 ? 1.0 : x == 5 && y == 9 ? 2.0 : x == 5 && y == 8 ? 50 : 200;
         },
         0, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4,
         "200 200 200 200 / 50 50 50 50 / 50 50 50 50 / 50 50 50 50"},
        {"constants per side; corners by top and bottom; 336 stored as 80", true, 1, ZAR_DEPTH_8U,
         3, 3, [](int32_t, int32_t) { return 50.0; }, 0, 60, 70, 336, 40, 0, 0, 0, 0, 0, 0,
         "80 60 60 / 80 50 50 / 80 70 70"},
        {"every iteration count sees the whole frame", true, 0x7FFFFFFF, ZAR_DEPTH_8U, 4, 4,
         [](int32_t x, int32_t y) { return 4.0 * y + x + 1; }, 0, 0, 0, 0, 0, 1, 1, 0, 0, 2, 2,
         "16 16 / 16 16"},
        {"1-bit: an odd constant sets the frame", false, 1, ZAR_DEPTH_1U, 4, 2,
         [](int32_t, int32_t) { return 1.0; }, 0, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0,
         "1 1 1 1 / 1 1 1 1"},
        {"1-bit: an even constant clears it", false, 1, ZAR_DEPTH_1U, 4, 2,
         [](int32_t, int32_t) { return 1.0; }, 0, 3, 3, 2, 3, 0, 0, 0, 0, 0, 0,
         "0 1 1 1 / 0 1 1 1"},
    };
    for (const Row& r : rows) {
        zt::ErrorRecorder recorder;
        zt::Image src = gt::filled(r.depth, r.w, r.h, r.pixel);
        zt::Image dst(1, 0, r.depth, 0, r.w, r.h, 4, r.depth == ZAR_DEPTH_1U ? 1 : 77);
        const int32_t constants[4] = {r.top, r.bottom, r.left, r.right};
        for (int32_t side = 0; side < 4; ++side) {
            src->borderModes[side] = r.mode;
            src->borderValues[side] = constants[side];
        }
        if (r.sw) {
            src.setRoi(0, r.sx, r.sy, r.sw, r.sh);
            dst.setRoi(0, r.dx, r.dy, r.sw, r.sh);
        }
        (r.dilate ? zarDilate : zarErode)(src, dst, r.n);
        const std::string got = r.sw ? gt::regionText(dst, r.dx, r.dy, r.sw, r.sh)
                                     : gt::regionText(dst, 0, 0, r.w, r.h);
        EXPECT_EQ(got, r.expected) << r.rule;
        EXPECT_TRUE(recorder.reports().empty()) << r.rule;
    }
}

// A random operand of the given depth processing n channels; the border mode
// words carry bits beyond the low two that count.
zt::OperandSpec randomSide(zt::Rng& rng, int32_t depth, int32_t n, int32_t form) {
    zt::OperandSpec s;
    s.depth = depth;
    s.dataOrder = rng.range(0, 1);
    zt::randomChannels(rng, depth, n, form, s);
    s.align = 4 << rng.range(0, 3);
    s.width = rng.range(1, depth == ZAR_DEPTH_1U ? 90 : 40);
    s.height = rng.range(1, 12);
    s.hasRoi = form == 2 || rng.range(0, 2) != 0;
    const int32_t coi = s.roi.coi;
    s.roi = zt::randomRoi(rng, s.width, s.height);
    s.roi.coi = coi;
    for (int32_t side = 0; side < 4; ++side) {
        s.borderModes[side] = rng.range(0, 3) | (rng.range(0, 3) == 0 ? 0x40 : 0);
        s.borderValues[side] = rng.range(-3, 70000);
    }
    zt::randomMaskAndTiles(rng, s, true);
    return s;
}

TEST(MorphRandom, PlainAndTiledAgainstTheReference) {
    zt::Rng rng(20261205);
    for (int32_t i = 0; i < 600; ++i) {
        const int32_t depth = zt::pick(rng, {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_16U});
        // Mostly 1..4; every third case about the square of 25 where the kernels' block form
        // starts (and interleaved pixels stop going whole).
        const int32_t n = rng.range(0, 2) ? rng.range(1, 4) : rng.range(11, 16);
        const int32_t channels = rng.range(1, 3), form = rng.range(0, 2);
        const bool dilate = rng.range(0, 1), inPlace = i % 6 == 0;
        std::vector<zt::OperandSpec> specs = {
            randomSide(rng, depth, channels, form == 2 ? 2 : rng.range(0, 1))};
        if (inPlace) {
            specs[0].hasMask = false;
            // A wrapping bottom border would bring back rows already written.
            specs[0].borderModes[1] &= ~1;
        } else {
            specs.push_back(randomSide(rng, depth, channels, form == 2 ? 2 : rng.range(0, 1)));
            specs[1].dataOrder = specs[0].dataOrder;
        }
        const std::string fault = zt::runEverywhere(
            specs, 1000 + i,
            [&](const std::vector<ImageHeader*>& h) {
                (dilate ? zarDilate : zarErode)(h[0], h.back(), n);
            },
            [&](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                ImageHeader* expected) { mt::referenceMorph(plain[0], expected, n, dilate); });
        ASSERT_EQ(fault, "") << "case " << i << " n " << n << " dilate " << dilate;
    }
}

TEST(MorphTiles, RefusedTiles) {
    zt::OperandSpec tiled;
    tiled.width = 40;
    tiled.height = 20;
    tiled.tiled = true;
    tiled.tileWidth = 16;
    const auto dilate = [](const std::vector<ImageHeader*>& h) { zarDilate(h[0], h[1], 2); };
    for (size_t refused : {0, 1})
        zt::expectRefusal(
            {tiled, tiled}, refused, 1, 1, dilate, "zarDilate", "ownMorph",
            {STATUS_ERROR, refused ? "Error get tile to write" : "Error get tile to read"});
}

}  // namespace
