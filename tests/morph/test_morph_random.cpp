// Random dilations and erosions (depths, layouts, regions, channels of
// interest, alpha, masks, border rules, iteration counts, plain and tiled
// sides, in place) against the naive reference, and refused tiles.
#include <gtest/gtest.h>

#include "support/morph_support.h"
#include "support/scenario.h"

namespace {

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
