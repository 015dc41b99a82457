// The region transfer engine: hand-worked border rules, then random plain and
// tiled images under random borders against the border reference, and the
// tile protocol of tiled sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "image/image.h"
#include "image/region.h"
#include "support/zar_test.h"

namespace {

using zt::Image;
using zt::TileStore;

// Copies the rectangle x, y, w, h of header: its stride follows the region buffer layout and
// every value equals the reference on `plain` under the borders of `header`.
void expectRegion(ImageHeader* header, const ImageHeader* plain, int32_t x, int32_t y, int32_t w,
                  int32_t h) {
    int32_t stride = 0;
    char* buffer = copyRegionWithBorder(header, x, y, w, h, &stride);
    ASSERT_NE(buffer, nullptr);
    RegionBuffer layout;
    ASSERT_TRUE(regionBufferLayout(header, w, h, &layout));
    EXPECT_EQ(stride, layout.stride);
    EXPECT_EQ(stride % header->align, 0);
    const zt::Layout out{buffer, stride, h, header->nChannels, header->depth, header->dataOrder};
    for (int32_t c = 0; c < header->nChannels; ++c)
        for (int32_t j = 0; j < h; ++j)
            for (int32_t i = 0; i < w; ++i)
                ASSERT_EQ(zt::getSample(out, i, j, c),
                          zt::borderSample(plain, x + i, y + j, c, header))
                    << "buffer (" << i << ", " << j << ") channel " << c << " of rect " << x << ","
                    << y << " " << w << "x" << h;
    freeRegionCopy(buffer);
}

const int32_t kRep = ZAR_BORDER_REPLICATE, kRefl = ZAR_BORDER_REFLECT, kWrap = ZAR_BORDER_WRAP;

TEST(RegionTransfer, HandWorkedRectanglesOfANumberedImage) {
    // Rectangles of a 5 x 4 image whose pixel (x, y) is 10 y + x under border
    // modes and constants (top, bottom, left, right), and their bytes.
    struct Case {
        int32_t modes[4], values[4], x, y, w, h;
        std::vector<uint8_t> want;
    } cases[] = {
        {{}, {}, 1, 1, 3, 2, {11, 12, 13, 21, 22, 23}},  // inside: an exact copy
        {{kRep, kRep, kRep, kRep}, {}, -1, -1, 3, 3, {0, 0, 1, 0, 0, 1, 10, 10, 11}},
        {{0, 0, kRefl, kWrap}, {}, -2, 1, 9, 1, {11, 10, 10, 11, 12, 13, 14, 10, 11}},
        {{0, 0, kWrap, kRefl}, {}, -1, 2, 8, 1, {24, 20, 21, 22, 23, 24, 24, 23}},
        // reflect has period twice the size: -1..-5 map to 0..4, -6..-10 to 4..0
        {{0, 0, kRefl, 0}, {}, -11, 0, 11, 1, {0, 0, 1, 2, 3, 4, 4, 3, 2, 1, 0}},
        // a corner takes the top rule
        {{0, kRep, kRep, kRep}, {99, 0, 77, 0}, -2, -1, 3, 2, {99, 99, 99, 0, 0, 0}},
        {{0, 0, 0x10 | kWrap, 0}, {}, -1, 0, 1, 1, {4}},  // the mode is the low two bits
    };
    for (const Case& c : cases) {
        Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 5, 4);
        for (int32_t k = 0; k < 20; ++k)
            zt::setSample(image, k % 5, k / 5, 0, 10 * (k / 5) + k % 5);
        std::copy_n(c.modes, 4, image->borderModes);
        std::copy_n(c.values, 4, image->borderValues);
        int32_t stride = 0;
        char* buffer = copyRegionWithBorder(image, c.x, c.y, c.w, c.h, &stride);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(stride, (c.w + 3) / 4 * 4);
        std::vector<uint8_t> got;
        for (int j = 0; j < c.h; ++j)
            got.insert(got.end(), buffer + j * stride, buffer + j * stride + c.w);
        EXPECT_EQ(got, c.want) << c.x << "," << c.y;
        freeRegionCopy(buffer);
    }
}

TEST(RegionTransfer, ConstantsFillTheTopBandsPaddingOneBitConstantsAreOddOrEven) {
    Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 50);
    setBorderMode(image, ZAR_BORDER_CONSTANT, ZAR_SIDE_ALL, 7);
    Image bits(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 9, 3);
    for (int side = 0; side < 4; ++side) bits->borderValues[side] = 3 - side % 2;  // odd, even
    // 6 pixels x 3 bytes = 18, rounded up to 20 bytes of 7; 14 bits in 4 bytes of ones.
    for (auto [source, x, w, byte] :
         {std::tuple{image.get(), -1, 6, 7}, {bits.get(), -3, 14, 0xFF}}) {
        int32_t stride = 0;
        char* buffer = copyRegionWithBorder(source, x, -1, w, 5, &stride);
        for (int i = 0; i < stride; ++i) EXPECT_EQ(static_cast<uint8_t>(buffer[i]), byte) << i;
        EXPECT_EQ(stride, 20 - 16 * (byte == 0xFF));
        freeRegionCopy(buffer);
        expectRegion(source, source, x, -1, w, 5);
    }
}

TEST(RegionTransfer, UnusableHeadersGiveNull) {
    int32_t stride = -1;
    EXPECT_EQ(copyRegionWithBorder(nullptr, 0, 0, 1, 1, &stride), nullptr);
    Image image(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    for (int32_t ImageHeader::*field :
         {&ImageHeader::dataOrder, &ImageHeader::depth, &ImageHeader::align}) {
        const int32_t saved = image.get()->*field;
        image.get()->*field = 12;
        EXPECT_EQ(copyRegionWithBorder(image, 0, 0, 1, 1, &stride), nullptr);
        image.get()->*field = saved;
    }
    EXPECT_EQ(stride, -1);
    freeRegionCopy(nullptr);  // ignored
}

TEST(RegionTransfer, RandomImagesBordersAndRectanglesPlainAndTiled) {
    const int32_t depths[] = {1, 8, 16, 32, ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S};
    zt::Rng rng(20240601);
    for (int iteration = 0; iteration < 900; ++iteration) {
        SCOPED_TRACE(iteration);
        const bool tiled = iteration % 3 == 0;
        const int32_t depth = depths[rng.range(0, 6)], order = rng.range(0, 1);
        const int32_t n = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
        const int32_t alpha = n > 1 && rng.range(0, 3) == 0 ? n : 0;
        // 1-bit rows long enough for the word-wide moves.
        const int32_t width = rng.range(1, depth == ZAR_DEPTH_1U ? 150 : tiled ? 40 : 21);
        const int32_t height = rng.range(1, tiled ? 30 : 19), align = 4 << rng.range(0, 3);
        Image plain(n, alpha, depth, order, width, height, align);
        plain.randomize(rng.next());
        TileStore store(n, alpha, depth, order, width, height, 8 * rng.range(1, 3),
                        8 * rng.range(1, 2), align);
        store.loadFrom(plain);
        ImageHeader* image = tiled ? store.image() : plain.get();
        for (int s = 0; s < 4; ++s) {
            // High bits of the mode word are ignored.
            image->borderModes[s] = rng.range(0, 3) | (rng.range(0, 1) << 4);
            image->borderValues[s] = static_cast<int32_t>(rng.next() % 70000) - 35000;
        }
        // A rectangle that may reach past any side, sometimes far.
        const int32_t x = rng.range(-2 * width - 3, 2 * width + 3);
        const int32_t y = rng.range(-2 * height - 3, 2 * height + 3);
        expectRegion(image, plain, x, y, rng.range(1, 3 * width + 8), rng.range(1, 3 * height + 8));
        EXPECT_TRUE(store.balanced());
    }
}

TEST(RegionTransfer, TiledSourcesHoldOneTileRowAtATimeAndARefusalGivesNull) {
    // Tiles are read (0,r), (1,r) and released in reverse, row by row.
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 16, 24, 8, 8);
    int32_t stride = 0;
    freeRegionCopy(copyRegionWithBorder(store, 0, 0, 16, 24, &stride));
    std::vector<int32_t> calls, want;
    for (const zt::TileCall& call : store.log())
        calls.push_back(100 * call.mode + 10 * call.column + call.row);
    for (int r = 0; r < 3; ++r) want.insert(want.end(), {100 + r, 110 + r, 410 + r, 400 + r});
    EXPECT_EQ(calls, want);
    // Every tile of the row is asked for after a refusal; the delivered ones are given back.
    TileStore refusing(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 32, 16, 8, 8);
    refusing.refuse(1, 0);
    EXPECT_EQ(copyRegionWithBorder(refusing, 0, 0, 32, 16, &stride), nullptr);
    EXPECT_EQ(refusing.count(ZAR_TILE_READ), 4);
    EXPECT_EQ(refusing.count(ZAR_TILE_RELEASE), 3);
    EXPECT_TRUE(refusing.balanced());
}

// Rows may be walked as one run when both images cover their whole memory: a
// roi over everything counts, with coi 0 or the only channel, but not a flag.
TEST(WholeLayout, WholeRegionsAndTheOnlyChannelCountAsWhole) {
    Image a(1, 0, ZAR_DEPTH_8U, 0, 6, 3), b(1, 0, ZAR_DEPTH_8U, 0, 6, 3),
        c(3, 0, ZAR_DEPTH_8U, 0, 2, 3);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 1);
    EXPECT_EQ(isWholeImageLayout(a, b, 1), 0);
    a.setRoi(1, 0, 0, 6, 3);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 1);
    a.setRoi(0, 0, 0, 5, 3);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 0);
    EXPECT_EQ(isWholeImageLayout(b, c, 0), 0);
    c.setRoi(1, 0, 0, 2, 3);
    EXPECT_EQ(isWholeImageLayout(c, c, 0), 0);
}

}  // namespace
