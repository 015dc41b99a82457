// The region transfer engine: border rules on every side, tiled sources,
// failures, against a naive coordinate-mapping reference.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/image.h"
#include "image/region.h"
#include "support/zar_test.h"

namespace {

using zt::Image;
using zt::Layout;
using zt::TileStore;

const int32_t kDepths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                           ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};

// ------------------------------------------------------------- reference

Layout bufferLayout(char* data, int32_t stride, int32_t height, const ImageHeader* image) {
    return {data, stride, height, image->nChannels, image->depth, image->dataOrder};
}

// Compares every value of the buffer with the reference; returns the number of
// mismatches (reporting the first few).
int compareBuffer(const ImageHeader* header, const ImageHeader* plain, char* buffer, int32_t stride,
                  int32_t x, int32_t y, int32_t w, int32_t h) {
    Layout out = bufferLayout(buffer, stride, h, header);
    int mismatches = 0;
    for (int32_t c = 0; c < header->nChannels; ++c)
        for (int32_t j = 0; j < h; ++j)
            for (int32_t i = 0; i < w; ++i) {
                double want = zt::borderSample(plain, x + i, y + j, c, header);
                double got = zt::getSample(out, i, j, c);
                if (want != got && ++mismatches <= 3)
                    ADD_FAILURE() << "buffer (" << i << ", " << j << ") channel " << c << ": got "
                                  << got << ", want " << want << " (rect " << x << "," << y << " "
                                  << w << "x" << h << ")";
            }
    return mismatches;
}

void setBorders(ImageHeader* image, int32_t top, int32_t bottom, int32_t left, int32_t right) {
    image->borderModes[0] = top;
    image->borderModes[1] = bottom;
    image->borderModes[2] = left;
    image->borderModes[3] = right;
}

// A 5 x 4 8-bit one-channel image whose pixel (x, y) is 10 * y + x.
Image numberedImage() {
    Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 5, 4);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) zt::setSample(image, x, y, 0, 10 * y + x);
    return image;
}

uint8_t byteAt(char* buffer, int32_t stride, int32_t i, int32_t j) {
    return static_cast<uint8_t>(buffer[j * stride + i]);
}

// ------------------------------------------------------------- hand cases

// A rectangle of the numbered image under the border modes and values of the
// sides (top, bottom, left, right), and its bytes row by row.
struct HandCase {
    const char* name;
    int32_t modes[4], values[4];
    int32_t x, y, w, h;
    std::vector<uint8_t> want;
};

const int32_t kRep = ZAR_BORDER_REPLICATE, kRefl = ZAR_BORDER_REFLECT, kWrap = ZAR_BORDER_WRAP;

const HandCase kHandCases[] = {
    {"inside: an exact copy", {}, {}, 1, 1, 3, 2, {11, 12, 13, 21, 22, 23}},
    {"replicate corner",
     {kRep, kRep, kRep, kRep},
     {},
     -1,
     -1,
     3,
     3,
     {0, 0, 1, 0, 0, 1, 10, 10, 11}},
    {"reflect left, wrap right",
     {0, 0, kRefl, kWrap},
     {},
     -2,
     1,
     9,
     1,
     {11, 10, 10, 11, 12, 13, 14, 10, 11}},
    {"wrap left, reflect right",
     {0, 0, kWrap, kRefl},
     {},
     -1,
     2,
     8,
     1,
     {24, 20, 21, 22, 23, 24, 24, 23}},
    // -1..-5 map to 0..4, -6..-10 to 4..0, -11 to 0.
    {"reflect has period twice the size",
     {0, 0, kRefl, 0},
     {},
     -11,
     0,
     11,
     1,
     {0, 0, 1, 2, 3, 4, 4, 3, 2, 1, 0}},
    {"a corner takes the top rule",
     {ZAR_BORDER_CONSTANT, kRep, kRep, kRep},
     {99, 0, 77, 0},
     -2,
     -1,
     3,
     2,
     {99, 99, 99, 0, 0, 0}},
    {"the mode is the low two bits", {0, 0, 0x10 | kWrap, 0}, {}, -1, 0, 1, 1, {4}},
};

TEST(RegionTransfer, HandWorkedRectangles) {
    for (const HandCase& c : kHandCases) {
        SCOPED_TRACE(c.name);
        Image image = numberedImage();
        for (int side = 0; side < 4; ++side) {
            image->borderModes[side] = c.modes[side];
            image->borderValues[side] = c.values[side];
        }
        int32_t stride = 0;
        char* buffer = copyRegionWithBorder(image, c.x, c.y, c.w, c.h, &stride);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(stride, (c.w + 3) / 4 * 4);
        std::vector<uint8_t> got;
        for (int j = 0; j < c.h; ++j)
            for (int i = 0; i < c.w; ++i) got.push_back(byteAt(buffer, stride, i, j));
        EXPECT_EQ(got, c.want);
        freeRegionCopy(buffer);
    }
}

TEST(RegionTransfer, ConstantsInEveryChannel) {
    Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 50);
    setBorderMode(image, ZAR_BORDER_CONSTANT, ZAR_SIDE_ALL, 7);
    int32_t stride = 0;
    char* buffer = copyRegionWithBorder(image, -1, -1, 6, 6, &stride);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(stride, 20);  // 6 pixels x 3 bytes = 18, rounded up to 4
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 18; ++i) {
            bool inside = j >= 1 && j <= 4 && i >= 3 && i < 15;
            EXPECT_EQ(byteAt(buffer, stride, i, j), inside ? 50 : 7) << i << "," << j;
        }
    // The top band's padding takes the constant too.
    EXPECT_EQ(byteAt(buffer, stride, 18, 0), 7);
    EXPECT_EQ(byteAt(buffer, stride, 19, 0), 7);
    freeRegionCopy(buffer);
}

TEST(RegionTransfer, OneBitConstantsAreOddOrEven) {
    Image image(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 9, 3);
    image->borderValues[0] = 3;  // top: odd, set
    image->borderValues[1] = 2;  // bottom: even, clear
    image->borderValues[2] = 5;
    image->borderValues[3] = 4;
    zt::setSample(image, 0, 0, 0, 1);
    int32_t stride = 0;
    char* buffer = copyRegionWithBorder(image, -3, -1, 14, 5, &stride);
    ASSERT_NE(buffer, nullptr);
    Layout out = bufferLayout(buffer, stride, 5, image);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(zt::getSample(out, i, 0, 0), 1) << i;
        EXPECT_EQ(zt::getSample(out, i, 4, 0), 0) << i;
    }
    // Top band: every byte of the row, padding included.
    for (int b = 0; b < stride; ++b) EXPECT_EQ(static_cast<uint8_t>(buffer[b]), 0xFF);
    for (int j = 1; j <= 3; ++j) {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(zt::getSample(out, i, j, 0), 1);
        for (int i = 12; i < 14; ++i) EXPECT_EQ(zt::getSample(out, i, j, 0), 0);
    }
    EXPECT_EQ(zt::getSample(out, 3, 1, 0), 1);  // image pixel (0, 0)
    EXPECT_EQ(zt::getSample(out, 4, 1, 0), 0);
    freeRegionCopy(buffer);
}

TEST(RegionTransfer, UnusableHeadersGiveNull) {
    int32_t stride = -1;
    EXPECT_EQ(copyRegionWithBorder(nullptr, 0, 0, 1, 1, &stride), nullptr);
    Image image = numberedImage();
    image->dataOrder = 2;
    EXPECT_EQ(copyRegionWithBorder(image, 0, 0, 1, 1, &stride), nullptr);
    image->dataOrder = 0;
    image->depth = 7;
    EXPECT_EQ(copyRegionWithBorder(image, 0, 0, 1, 1, &stride), nullptr);
    image->depth = ZAR_DEPTH_8U;
    image->align = 12;
    EXPECT_EQ(copyRegionWithBorder(image, 0, 0, 1, 1, &stride), nullptr);
    image->align = 4;
    EXPECT_EQ(stride, -1);
    freeRegionCopy(nullptr);  // ignored
}

// ------------------------------------------------------------------ tiled

TEST(RegionTransferTiled, WrapReadsTheFirstTileColumnsAgain) {
    Image plain(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 8);
    plain.randomize(3);
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 8, 8, 8);
    store.loadFrom(plain);
    setBorders(store.image(), 0, 0, ZAR_BORDER_WRAP, ZAR_BORDER_WRAP);
    setBorders(plain, 0, 0, ZAR_BORDER_WRAP, ZAR_BORDER_WRAP);
    int32_t stride = 0;
    char* buffer = copyRegionWithBorder(store.image(), 20, 0, 20, 8, &stride);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(compareBuffer(plain, plain, buffer, stride, 20, 0, 20, 8), 0);
    freeRegionCopy(buffer);
    EXPECT_TRUE(store.balanced());
    bool readFirst = false, readSecond = false;
    for (const zt::TileCall& call : store.log()) {
        if (call.mode != ZAR_TILE_READ) continue;
        readFirst |= call.column == 0;
        readSecond |= call.column == 1;
    }
    EXPECT_TRUE(readFirst);
    EXPECT_TRUE(readSecond);
}

TEST(RegionTransferTiled, RefusedTileGivesNullAfterAskingForTheWholeRow) {
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 32, 16, 8, 8);
    store.refuse(1, 0);
    int32_t stride = 0;
    EXPECT_EQ(copyRegionWithBorder(store.image(), 0, 0, 32, 16, &stride), nullptr);
    std::vector<int32_t> asked;
    for (const zt::TileCall& call : store.log())
        if (call.mode == ZAR_TILE_READ) asked.push_back(call.column);
    EXPECT_EQ(asked, (std::vector<int32_t>{0, 1, 2, 3}));
    // The delivered tiles of the row were given back.
    EXPECT_EQ(store.count(ZAR_TILE_RELEASE), 3);
    EXPECT_TRUE(store.balanced());
}

TEST(RegionTransferTiled, TilesAreHeldOneRowAtATime) {
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 16, 24, 8, 8);
    int32_t stride = 0;
    char* buffer = copyRegionWithBorder(store.image(), 0, 0, 16, 24, &stride);
    ASSERT_NE(buffer, nullptr);
    freeRegionCopy(buffer);
    // read (0,r), read (1,r), release (1,r), release (0,r) per tile row.
    ASSERT_EQ(store.log().size(), 12u);
    for (int r = 0; r < 3; ++r) {
        const zt::TileCall* calls = &store.log()[4 * r];
        EXPECT_EQ(calls[0].mode, ZAR_TILE_READ);
        EXPECT_EQ(calls[0].column, 0);
        EXPECT_EQ(calls[1].column, 1);
        EXPECT_EQ(calls[2].mode, ZAR_TILE_RELEASE);
        EXPECT_EQ(calls[2].column, 1);
        EXPECT_EQ(calls[3].column, 0);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(calls[k].row, r);
    }
}

// ------------------------------------------------------------- randomized

struct RandomCase {
    int32_t depth, order, channels, alpha, width, height, align;
};

RandomCase randomCase(zt::Rng& rng) {
    RandomCase c;
    c.depth = kDepths[rng.range(0, 6)];
    c.order = rng.range(0, 1);
    c.channels = c.depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
    c.alpha = c.channels > 1 && rng.range(0, 3) == 0 ? c.channels : 0;
    // 1-bit rows long enough for the word-wide moves.
    c.width = rng.range(1, c.depth == ZAR_DEPTH_1U ? 150 : 21);
    c.height = rng.range(1, 19);
    const int32_t aligns[] = {4, 8, 16, 32};
    c.align = aligns[rng.range(0, 3)];
    return c;
}

void randomBorders(zt::Rng& rng, ImageHeader* image) {
    for (int s = 0; s < 4; ++s) {
        // High bits of the mode word are ignored.
        image->borderModes[s] = rng.range(0, 3) | (rng.range(0, 1) << 4);
        image->borderValues[s] = static_cast<int32_t>(rng.next() % 70000) - 35000;
    }
}

// A random rectangle that may reach past any side, sometimes far.
void randomRect(zt::Rng& rng, int32_t w, int32_t h, int32_t* x, int32_t* y, int32_t* rw,
                int32_t* rh) {
    *x = rng.range(-2 * w - 3, 2 * w + 3);
    *y = rng.range(-2 * h - 3, 2 * h + 3);
    *rw = rng.range(1, 3 * w + 8);
    *rh = rng.range(1, 3 * h + 8);
}

TEST(RegionTransferRandom, PlainSourcesMatchTheReference) {
    zt::Rng rng(20240601);
    for (int iteration = 0; iteration < 600; ++iteration) {
        RandomCase c = randomCase(rng);
        Image image(c.channels, c.alpha, c.depth, c.order, c.width, c.height, c.align);
        image.randomize(rng.next());
        randomBorders(rng, image);
        int32_t x, y, w, h;
        randomRect(rng, c.width, c.height, &x, &y, &w, &h);
        int32_t stride = 0;
        char* buffer = copyRegionWithBorder(image, x, y, w, h, &stride);
        ASSERT_NE(buffer, nullptr);
        RegionBuffer layout;
        ASSERT_TRUE(regionBufferLayout(image, w, h, &layout));
        EXPECT_EQ(stride, layout.stride);
        EXPECT_EQ(stride % c.align, 0);
        ASSERT_EQ(compareBuffer(image, image, buffer, stride, x, y, w, h), 0)
            << "iteration " << iteration << " depth " << c.depth << " order " << c.order;
        freeRegionCopy(buffer);
    }
}

TEST(RegionTransferRandom, TiledSourcesMatchTheReference) {
    zt::Rng rng(77);
    for (int iteration = 0; iteration < 300; ++iteration) {
        RandomCase c = randomCase(rng);
        c.width = rng.range(1, 40);
        c.height = rng.range(1, 30);
        Image plain(c.channels, c.alpha, c.depth, c.order, c.width, c.height, c.align);
        plain.randomize(rng.next());
        const int32_t tw = 8 * rng.range(1, 3), th = 8 * rng.range(1, 2);
        TileStore store(c.channels, c.alpha, c.depth, c.order, c.width, c.height, tw, th, c.align);
        store.loadFrom(plain);
        randomBorders(rng, store.image());
        int32_t x, y, w, h;
        randomRect(rng, c.width, c.height, &x, &y, &w, &h);
        int32_t stride = 0;
        char* buffer = copyRegionWithBorder(store.image(), x, y, w, h, &stride);
        ASSERT_NE(buffer, nullptr);
        ASSERT_EQ(compareBuffer(store.image(), plain, buffer, stride, x, y, w, h), 0)
            << "iteration " << iteration;
        freeRegionCopy(buffer);
        EXPECT_TRUE(store.balanced());
    }
}

}  // namespace
