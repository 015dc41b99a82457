// Hostile arguments: neighbourhoods and iteration counts up to INT32_MAX,
// tiled images INT32_MAX wide worked at their far end, and refusing tile
// callbacks.  Each must give the rules' result, or a report, in bounded time.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <ctime>
#include <functional>
#include <vector>

#include "support/filter_support.h"
#include "support/morph_support.h"
#include "support/scenario.h"

namespace {

using zt::getSample;

// Processor time of this process, not wall time: the bound is on the work done, and a CI
// machine running other tests beside this one must not make it fail.
double secondsTaken(const std::function<void()>& run) {
    const std::clock_t start = std::clock();
    run();
    return double(std::clock() - start) / CLOCKS_PER_SEC;
}

// Random values small enough that the floating-point depths sum exactly.
void fillValues(ImageHeader* image, uint32_t seed) {
    zt::Rng rng(seed);
    const int32_t depth = image->depth;
    const int32_t range = depth == ZAR_DEPTH_32F || depth == ZAR_DEPTH_1U ? 2
                          : depth == ZAR_DEPTH_32S || (depth & 0xFF) == 8 ? 256
                                                                          : 65536;
    const int32_t base = depth & ZAR_DEPTH_SIGN && depth != ZAR_DEPTH_32S ? range / 2 : 0;
    for (int32_t c = 0; c < image->nChannels; ++c)
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x)
                zt::setSample(image, x, y, c, rng.range(0, range - 1) - base);
}

// Issue cases 1 and 6: windows up to INT32_MAX on a 17 x 13 image.
TEST(HostileBlur, LargeWindowsMatchTheRulesCountedPerImagePixel) {
    struct Case {
        int32_t depth, channels, order, mode, nCols, nRows, ax, ay;
    };
    const Case cases[] = {
        {ZAR_DEPTH_8U, 1, 0, ZAR_BORDER_REPLICATE, INT_MAX, 1, 5, 0},
        {ZAR_DEPTH_8U, 3, 1, ZAR_BORDER_WRAP, 65536, 65536, 100, 40000},
        {ZAR_DEPTH_8S, 1, 0, ZAR_BORDER_REFLECT, 65536, 65536, 65535, 0},
        {ZAR_DEPTH_16U, 2, 0, ZAR_BORDER_CONSTANT, 70001, 3, 2, 1},
        {ZAR_DEPTH_16S, 1, 0, ZAR_BORDER_REFLECT, 3, INT_MAX, 1, INT_MAX - 1},
        {ZAR_DEPTH_1U, 1, 0, ZAR_BORDER_WRAP, 65536, 65536, 0, 0},
        {ZAR_DEPTH_32S, 1, 0, ZAR_BORDER_REPLICATE, 65536, 16384, 30000, 10000},
        {ZAR_DEPTH_32F, 3, 0, ZAR_BORDER_REFLECT, 65536, 4096, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << " " << c.nCols << "x" << c.nRows);
        zt::ErrorRecorder recorder;
        zt::Image src(c.channels, 0, c.depth, c.order, 17, 13),
            dst(c.channels, 0, c.depth, c.order, 17, 13);
        fillValues(src, 7);
        ft::setBorders(src, c.mode, 7);
        zt::Image expected = zt::copyImage(dst);
        ft::countedBlur(src, expected, c.nCols, c.nRows, c.ax, c.ay);
        EXPECT_LT(secondsTaken([&] { zarBlur(src, dst, c.nCols, c.nRows, c.ax, c.ay); }), 1.0);
        EXPECT_TRUE(recorder.reports().empty());
        EXPECT_EQ(zt::compareImages(expected, dst), "");
    }
    // Floating-point sums repeat every rounding: past bounded work, refused.
    zt::ErrorRecorder recorder;
    zt::Image src(1, 0, ZAR_DEPTH_32F, 0, 17, 13), dst(1, 0, ZAR_DEPTH_32F, 0, 17, 13);
    zarSetFP(dst, 2.5f);
    zarBlur(src, dst, INT_MAX, 1, 0, 0);
    ASSERT_EQ(recorder.reports().size(), 1u);
    EXPECT_EQ(recorder.reports()[0].status, STATUS_BAD_ARG);
    EXPECT_EQ(getSample(dst, 3, 3, 0), 2.5);
}

// The large-window way under regions, channels of interest, masks and tiles.
TEST(HostileBlur, LargeWindowsOnEveryWayOfWalking) {
    for (uint32_t seed = 0; seed < 4; ++seed) {
        zt::OperandSpec src, dst;
        src.nChannels = dst.nChannels = 3;
        src.depth = dst.depth = ZAR_DEPTH_16U;
        src.width = dst.width = 20;
        src.height = dst.height = 18;
        src.tileHeight = 16;
        dst.tileWidth = 16;
        for (int32_t side = 0; side < 4; ++side) src.borderModes[side] = ZAR_BORDER_REFLECT;
        src.hasRoi = dst.hasRoi = seed < 2;
        src.roi = Roi{seed == 0 ? 2 : 0, 3, 1, 15, 16};
        dst.roi = Roi{seed == 0 ? 3 : 0, 1, 2, 19, 14};
        dst.hasMask = seed % 2 == 0;
        dst.maskWidth = 17;
        dst.maskHeight = 16;
        const std::string fault = zt::runEverywhere(
            {src, dst}, seed, [](const auto& h) { zarBlur(h[0], h[1], 400, 300, 7, 9); },
            [](const auto& plain, const auto&, ImageHeader* expected) {
                ft::countedBlur(plain[0], expected, 400, 300, 7, 9);
            });
        EXPECT_EQ(fault, "") << seed;
    }
}

// Issue cases 2 and 5: the window cut to what the region's frame lets it see.
TEST(HostileMorph, EachSideOfTheWindowCutToTheRegion) {
    struct Case {
        int32_t width, height, n, depth;
    };
    for (const Case& c :
         {Case{1, 2500, 100000, ZAR_DEPTH_8U}, Case{2000, 1, INT_MAX, ZAR_DEPTH_16U},
          Case{5, 40, 7, ZAR_DEPTH_8U}, Case{70, 5, 30, ZAR_DEPTH_1U}})
        for (auto* op : {zarDilate, zarErode}) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " n " << c.n);
            zt::Image src(1, 0, c.depth, 0, c.width, c.height),
                dst(1, 0, c.depth, 0, c.width, c.height);
            src.randomize(c.width);
            ft::setBorders(src, ZAR_BORDER_REFLECT, 0);
            zt::Image expected = zt::copyImage(dst);
            mt::referenceMorph(src, expected, c.n, op == zarDilate);
            EXPECT_LT(secondsTaken([&] { op(src, dst, c.n); }), 1.0);
            EXPECT_EQ(zt::compareImages(expected, dst), "");
        }
    zt::ErrorRecorder recorder;
    zt::TileStore src(1, 0, ZAR_DEPTH_8U, 0, INT_MAX, 8, 64, 8);
    zt::TileStore dst(1, 0, ZAR_DEPTH_8U, 0, INT_MAX, 8, 64, 8);
    zarDilate(src, dst, INT_MAX);
    // No ring of that width can be held: recorded, not reported, nothing asked.
    EXPECT_EQ(zarGetStatus(), STATUS_NO_MEMORY);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(src.log().empty() && dst.log().empty());
}

// Issue case 3: every operation on a region in the tile column that ends
// past INT32_MAX.
TEST(HostileTiles, EveryOperationInTheLastTileColumn) {
    zt::ErrorRecorder recorder;
    zt::TileStore tiled(1, 0, ZAR_DEPTH_8U, 0, INT_MAX, 16, 8, 8);
    ft::setBorders(tiled, ZAR_BORDER_WRAP, 0);
    Roi last{0, INT_MAX - 5, 3, 5, 8};
    ImageHeader* t = tiled.image();
    t->roi = &last;
    zt::Image plain(1, 0, ZAR_DEPTH_8U, 0, 5, 8), back(1, 0, ZAR_DEPTH_8U, 0, 5, 8);
    zt::Image xMap(1, 0, ZAR_DEPTH_32F, 0, 5, 8), yMap(1, 0, ZAR_DEPTH_32F, 0, 5, 8);
    plain.randomize(3);
    zarSetFP(xMap, 2.0f);
    zarSetFP(yMap, 5.0f);
    zarCopy(plain, t);
    zarCopy(t, back);
    EXPECT_EQ(zt::compareImages(plain, back), "");
    zarAdd(t, plain, t);
    zarOr(t, t, t);
    zarAnd(plain, t, t);
    zarXorS(t, t, 0x55);
    zarBlur(t, back, 3, 3, 1, 1);
    zarBlur(plain, t, 5, 2, 4, 1);
    zarBlur(t, t, 3, 5, 1, 2);
    zarFixedFilter(t, back, ZAR_FIXED_SOBEL_X);
    zarDilate(t, back, 2);
    zarErode(plain, t, 1);
    zarDilate(t, t, 3);
    zarDecimate(t, back, 1, 2, 1, 1, ZAR_INTER_SUPER);
    zarResize(t, back, 2, 3, 1, 2, ZAR_INTER_SUPER);
    zarZoom(t, back, 1, 1, 3, 2, ZAR_INTER_CUBIC);
    zarZoom(plain, t, 3, 2, 1, 1, ZAR_INTER_LINEAR);
    zarRemap(plain, xMap, yMap, t, ZAR_INTER_NN);
    zarSet(t, 9);
    zarCopy(t, back);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(tiled.balanced());
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(getSample(back, x, y, 0), 9);
    t->roi = nullptr;
}

// Issue case 7: a refused tile request is handed back like every other.
TEST(HostileTiles, PutPixelHandsBackARefusedTile) {
    zt::ErrorRecorder recorder;
    zt::TileStore tiled(1, 0, ZAR_DEPTH_8U, 0, INT_MAX, 16, 8, 8);
    tiled.refuse((INT_MAX - 1) / 8, 1);
    const uint8_t pixel = 200;
    zarPutPixel(tiled, INT_MAX - 1, 9, &pixel);
    ASSERT_EQ(recorder.reports().size(), 1u);
    EXPECT_EQ(recorder.reports()[0].context, "Error get tile to write");
    ASSERT_EQ(tiled.log().size(), 2u);
    EXPECT_EQ(tiled.log()[1].mode, ZAR_TILE_RELEASE);
    EXPECT_EQ(tiled.log()[1].column, (INT_MAX - 1) / 8);
}

}  // namespace
