// zarDilate and zarErode: the argument checks as one table in their order,
// with exact reports (the status word is reset on entry); rules worked by hand
// where a reference could go wrong alike (the one-pixel frame a region sees,
// border constants per side, corners by the top and bottom rules, stored as
// the depth stores them, iteration counts up to the largest); random cases (depths, layouts,
// regions, channels of interest, alpha, masks, border rules, iteration counts, plain and tiled
// sides, in place) against the naive reference; refused tiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "support/geometry_support.h"
#include "support/morph_support.h"
#include "support/scenario.h"

namespace {

using zt::Image;

// The images a check row names: an 8-bit source and destination (filled with
// 9 and 3) and formats that differ from them.
enum { kNone = -1, kA, kB, k8S, k16S, k32S, k32F, k16U, kPlane, kThree, kFour, kFourAlpha };
struct Images {
    Image all[11] = {{1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 9}, {1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 3},
                     {1, 0, ZAR_DEPTH_8S, 0, 4, 4},       {1, 0, ZAR_DEPTH_16S, 0, 4, 4},
                     {1, 0, ZAR_DEPTH_32S, 0, 4, 4},      {1, 0, ZAR_DEPTH_32F, 0, 4, 4},
                     {1, 0, ZAR_DEPTH_16U, 0, 4, 4},      {1, 0, ZAR_DEPTH_8U, 1, 4, 4},
                     {3, 0, ZAR_DEPTH_8U, 0, 4, 4},       {4, 0, ZAR_DEPTH_8U, 0, 4, 4},
                     {4, 4, ZAR_DEPTH_8U, 0, 4, 4}};
    ImageHeader* operator[](int32_t k) { return k == kNone ? nullptr : all[k].get(); }
};
using Op = void(ZAR_STDCALL*)(ImageHeader*, ImageHeader*, int32_t);
using Call = std::function<void(Op, Images&)>;

Call morph(int32_t s, int32_t d, int32_t n = 1) {
    return [=](Op op, Images& i) { op(i[s], i[d], n); };
}
// First the status word, image k's origin and region, then call.
Call after(Call call, int32_t k, ZarStatus status, int32_t origin, Roi roi = {-1, 0, 0, 0, 0}) {
    return [=](Op op, Images& i) {
        zarSetStatus(status);
        i[k]->origin = origin;
        if (roi.coi >= 0) i.all[k].setRoi(roi.coi, roi.xOffset, roi.yOffset, roi.width, roi.height);
        call(op, i);
    };
}

// The argument checks in their order with exact reports; a call without a
// report leaves the status word at zero (it is reset on entry).
TEST(MorphChecks, EveryCheck) {
    const zt::Want kDepth{STATUS_BAD_ARG, "Illegal image depth", 94};
    const zt::Want kDiffer{STATUS_BAD_ARG, "SRC and DST depth are different", 101};
    const zt::Want kChannels{STATUS_BAD_ARG, "SRC and DST number of channels are different", 136};
    const zt::Want kIterations{STATUS_BAD_ARG, "Illegal number of of iterations", 89};
    const struct {
        Call call;
        std::vector<zt::Want> want;
    } rows[] = {
        {morph(kNone, kB), {{STATUS_NULL_HEADER, "Incorrect Image", 85}}},
        {morph(kA, kNone), {{STATUS_NULL_HEADER, "Incorrect Image", 86}}},
        {morph(kNone, kNone, 0), {{STATUS_NULL_HEADER, "Incorrect Image", 85}}},  // source first
        {after(morph(kA, kB), kB, STATUS_OK, 0, {2, 0, 0, 2, 2}),  // coi beyond the channels
         {{STATUS_BAD_COI, "Incorrect Image", 86}}},
        {morph(kA, kB, 0), {kIterations}},
        {morph(kA, kB, -3), {kIterations}},
        {morph(k8S, k8S), {kDepth}},
        {morph(k16S, k16S), {kDepth}},
        {morph(k32S, k32S), {kDepth}},
        {morph(k32F, k32F), {kDepth}},
        // The source's depth is checked before it is compared.
        {morph(kA, k32F), {kDiffer}},
        {morph(kA, k16U), {kDiffer}},
        {morph(kA, kPlane), {{STATUS_BAD_ARG, "SRC and DST order are different", 106}}},
        {after(morph(kA, kB), kA, STATUS_OK, ZAR_ORIGIN_BL),
         {{STATUS_BAD_ARG, "SRC and DST orign are different", 111}}},
        {morph(kA, kThree), {kChannels}},
        {morph(kFourAlpha, kFour), {kChannels}},  // 3 processed channels against 4
        // A channel of interest counts as one channel; empty regions do nothing.
        {after(morph(kA, kFour), kFour, STATUS_OK, 0, {2, 0, 0, 4, 4}), {}},
        {after(morph(kA, kB, 2), kA, STATUS_BAD_ARG, 0, {0, 7, 1, 3, 3}), {}},
        {after(morph(kA, kB), kA, STATUS_BAD_ARG, 0, {0, 1, 4, 3, 3}), {}},
    };
    for (Op op : {zarDilate, zarErode})
        for (const auto& row : rows) {
            Images images;
            zt::ErrorRecorder recorder;
            row.call(op, images);
            zt::expectReports(recorder, op == zarDilate ? "zarDilate" : "zarErode", "ownMorph",
                              row.want);
            if (row.want.empty()) {
                EXPECT_EQ(zarGetStatus(), STATUS_OK);
            }
            for (int32_t x = 0; x < 4; ++x) ASSERT_EQ(zt::getSample(images[kB], x, 1, 0), 3);
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

// A random operand of the given depth processing n channels, of a random
// width or, for wide rows, the given width over the whole of its region's rows
// in pixel order without a mask (whole pixels at once when every channel is
// processed); the border mode words carry bits beyond the low two that count.
zt::OperandSpec randomSide(zt::Rng& rng, int32_t depth, int32_t n, int32_t form, int32_t wide) {
    zt::OperandSpec s;
    s.depth = depth;
    s.dataOrder = wide ? ZAR_DATA_ORDER_PIXEL : rng.range(0, 1);
    zt::randomChannels(rng, depth, n, form, s);
    s.align = 4 << rng.range(0, 3);
    s.width = wide ? wide : rng.range(1, depth == ZAR_DEPTH_1U ? 90 : 40);
    s.height = wide ? rng.range(3, 8) : rng.range(1, 12);
    s.hasRoi = form == 2 || rng.range(0, 2) != 0;
    const int32_t coi = s.roi.coi;
    s.roi = zt::randomRoi(rng, s.width, s.height);
    s.roi.coi = coi;
    if (wide) s.roi = {coi, rng.range(0, 2), 0, wide, s.height};
    for (int32_t side = 0; side < 4; ++side) {
        s.borderModes[side] = rng.range(0, 3) | (rng.range(0, 3) == 0 ? 0x40 : 0);
        s.borderValues[side] = rng.range(-3, 70000);
    }
    zt::randomMaskAndTiles(rng, s, !wide);
    return s;
}

// At every instruction-set level.  Mostly squares of 3 to 9; every third case
// about the square of 25 where the kernels' block form starts (and interleaved
// pixels stop going whole); every third a 3 x 3 or 7 x 7 square over rows whose
// bytes end within a pixel or two of a whole number of 32-byte vectors, whole
// pixels or not, where the one-pass kernels take their main loops and tails.
TEST(MorphRandom, PlainAndTiledAgainstTheReference) {
    gt::randomCases(20261205, 300, [](zt::Rng& rng, int32_t i) {
        // The wide cases walk every channel count, square, operation and depth in turn.
        const int32_t shape = i % 3, k = i / 3;
        const int32_t depth = shape == 2
                                  ? (k & 32 ? ZAR_DEPTH_16U : ZAR_DEPTH_8U)
                                  : zt::pick(rng, {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_16U});
        const int32_t n = shape == 2 ? (k & 8 ? 3 : 1)
                          : shape    ? rng.range(11, 16)
                                     : rng.range(1, 4);
        const int32_t channels = shape == 2 ? 1 + k % 8 : rng.range(1, 3), form = rng.range(0, 2);
        const bool dilate = shape == 2 ? k & 16 : rng.range(0, 1), inPlace = i % 6 == 0;
        // wide: bytes a few pixels either side of a whole number of 32-byte vectors
        const int32_t vectors = 32 * rng.range(1, 8) / (depth == ZAR_DEPTH_16U ? 2 : 1);
        const int32_t wide = shape == 2 ? std::max(1, vectors / channels + rng.range(-3, 2)) : 0;
        auto side = [&] {
            return randomSide(rng, depth, channels,
                              wide        ? 0
                              : form == 2 ? 2
                                          : rng.range(0, 1),
                              wide);
        };
        std::vector<zt::OperandSpec> specs = {side()};
        if (inPlace) {
            specs[0].hasMask = false;
            // A wrapping bottom border would bring back rows already written.
            specs[0].borderModes[1] &= ~1;
        } else {
            specs.push_back(side());
            specs[1].dataOrder = specs[0].dataOrder;
        }
        return gt::RandomCase{
            specs,
            [=](const std::vector<ImageHeader*>& h) {
                (dilate ? zarDilate : zarErode)(h[0], h.back(), n);
            },
            [=](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                ImageHeader* expected) { mt::referenceMorph(plain[0], expected, n, dilate); },
            "n " + std::to_string(n) + (dilate ? " dilate" : " erode")};
    });
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
