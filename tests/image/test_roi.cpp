// Resolution of regions, channels and tiles, and the tile protocol.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <vector>

#include "image/image.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

using Two = std::array<int32_t, 2>;
using Four = std::array<int32_t, 4>;

Four rectOf(const ImageHeader* image) {
    const Rect r = getRoiRect(image);
    return {r.x, r.y, r.width, r.height};
}
Two sizeOf(RoiSize s) { return {s.width, s.height}; }
Two clippedSize(const ImageHeader* image) { return sizeOf(getRoiSize(image, true)); }
Two fullSize(const ImageHeader* image) { return sizeOf(getRoiSize(image, false)); }
constexpr Four kNoBounds = {-99, -99, -99, -99};
// x0 y0 x1 y1, or kNoBounds where getRoiBounds finds the region empty.
Four boundsOf(const ImageHeader* image, bool clip) {
    RoiBounds b{};
    if (!getRoiBounds(image, clip, &b)) return kNoBounds;
    return {b.x0, b.y0, b.x1, b.y1};
}

// ----------------------------------------------------------- region size

TEST(Region, WithoutARoiTheWholeImage) {
    zt::Image image(2, 0, ZAR_DEPTH_16U, 0, 9, 4);
    EXPECT_EQ(rectOf(image), (Four{0, 0, 9, 4}));
    RoiOrigin origin = getRoiOrigin(image, 0);
    EXPECT_EQ(origin.address, image->imageData);
    EXPECT_EQ((Four{origin.width, origin.height, origin.bitOffset, 0}), (Four{9, 4, 0, 0}));
    EXPECT_EQ(clippedSize(image), (Two{9, 4}));
    EXPECT_EQ(boundsOf(image, true), (Four{0, 0, 8, 3}));
}

TEST(Region, ClippingAtTheRightAndBottom) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 12, 6);
    image.setRoi(0, 10, 1, 5, 3);  // past the right edge
    EXPECT_EQ(rectOf(image), (Four{10, 1, 2, 3}));
    EXPECT_EQ(getRoiOrigin(image, 0).width, 2);
    EXPECT_EQ(clippedSize(image), (Two{2, 3}));
    EXPECT_EQ(fullSize(image), (Two{5, 3}));
    image.setRoi(0, 15, 0, 5, 3);  // wholly right of the image
    EXPECT_EQ(getRoiOrigin(image, 0).width, 0);
    EXPECT_EQ(rectOf(image)[2], -3);  // getRoiRect does not raise to 0
    EXPECT_TRUE(getRoiSize(image, true).empty());
    EXPECT_EQ(boundsOf(image, true), kNoBounds);
    EXPECT_EQ(boundsOf(image, false), (Four{15, 0, 19, 2}));
    // Negative offsets: validation refuses them, these routines leave them alone.
    image.setRoi(0, -3, -1, 5, 9);
    EXPECT_EQ(rectOf(image), (Four{-3, -1, 5, 7}));  // 9 + min(0, 6 + 1 - 9)
    image.setRoi(0, -3, -2, 5, 20);
    EXPECT_EQ(clippedSize(image), (Two{2, 6}));
    EXPECT_EQ(fullSize(image), (Two{5, 20}));
    image.setRoi(0, 0, 6, 5, 2);  // starts below the last row
    EXPECT_TRUE(getRoiSize(image, true).empty());
    EXPECT_FALSE(getRoiSize(image, false).empty());
    image.setRoi(0, 0, 0, 0, 2);  // an empty roi is empty either way
    EXPECT_TRUE(getRoiSize(image, false).empty());
    image.setRoi(0, 0, 0, 3, -1);
    EXPECT_TRUE(getRoiSize(image, true).empty());
}

TEST(Region, CommonSizeIsTheSmallestAndEmptyWins) {
    zt::Image a(1, 0, ZAR_DEPTH_8U, 0, 12, 6);
    zt::Image b(1, 0, ZAR_DEPTH_8U, 0, 7, 9);
    zt::Image c(1, 0, ZAR_DEPTH_8U, 0, 20, 20);
    EXPECT_EQ(sizeOf(getCommonRoiSize(a, b, true)), (Two{7, 6}));
    c.setRoi(0, 2, 2, 5, 8);
    EXPECT_EQ(sizeOf(getCommonRoiSize(a, b, c, true)), (Two{5, 6}));
    EXPECT_EQ(getCommonRoiSize(a, nullptr, true).width, 12);
    EXPECT_EQ(getCommonRoiSize(a, b, nullptr, false).width, 7);
    c.setRoi(0, 30, 0, 5, 8);
    EXPECT_TRUE(getCommonRoiSize(a, b, c, true).empty());
    EXPECT_TRUE(getCommonRoiSize(c, a, true).empty());
    EXPECT_FALSE(getCommonRoiSize(c, a, false).empty());
}

TEST(Region, BoundsWithAndWithoutClip) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 10, 8);
    image.setRoi(0, -2, 3, 5, 10);
    EXPECT_EQ(boundsOf(image, false), (Four{-2, 3, 2, 12}));
    EXPECT_EQ(boundsOf(image, true), (Four{0, 3, 2, 7}));
    image.setRoi(0, -6, 0, 5, 1);  // x1 = -2
    EXPECT_EQ(boundsOf(image, true), kNoBounds);
    image.setRoi(0, 0, 8, 5, 1);  // y0 = height
    EXPECT_EQ(boundsOf(image, true), kNoBounds);
    image.setRoi(0, 0, 0, 0, 1);
    EXPECT_EQ(boundsOf(image, false), kNoBounds);
}

// -------------------------------------------------------- region origins

TEST(Region, OriginOfA1BitRegion) {
    zt::Image image(1, 0, ZAR_DEPTH_1U, 0, 40, 8);
    image.setRoi(0, 13, 2, 5, 5);
    RoiOrigin origin = getRoiOrigin(image, 0);
    EXPECT_EQ(origin.address, image->imageData + 2 * image->widthStep + 1);
    EXPECT_EQ(origin.bitOffset, 5);
    // A negative offset rounds toward minus infinity.
    image.setRoi(0, -3, 2, 5, 5);
    origin = getRoiOrigin(image, 0);
    EXPECT_EQ(origin.address, image->imageData + 2 * image->widthStep - 1);
    EXPECT_EQ(origin.bitOffset, 5);
    EXPECT_EQ(origin.width, 5);
}

TEST(Region, BitOrigin) {
    zt::Image bits(1, 0, ZAR_DEPTH_1U, 0, 40, 8);
    BitOrigin origin;
    ASSERT_TRUE(getRoiBitOrigin(bits, &origin));
    EXPECT_EQ(origin.address, bits->imageData);
    EXPECT_EQ(origin.widthStep, bits->widthStep);
    EXPECT_EQ(origin.bitOffset, 0);
    bits.setRoi(0, 21, 3, 2, 2);
    ASSERT_TRUE(getRoiBitOrigin(bits, &origin));
    EXPECT_EQ(origin.address, bits->imageData + 3 * bits->widthStep + 2);
    EXPECT_EQ(origin.bitOffset, 5);
    bits.setRoi(0, -9, -1, 2, 2);  // raised to 0
    ASSERT_TRUE(getRoiBitOrigin(bits, &origin));
    EXPECT_EQ(origin.address, bits->imageData);
    EXPECT_EQ(origin.bitOffset, 0);
    zt::Image bytes(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    EXPECT_FALSE(getRoiBitOrigin(bytes, &origin));
}

// Marks one value through the test's own addressing and finds it at addr.
void expectAddressHolds(ImageHeader* image, int32_t x, int32_t y, int32_t channel,
                        const char* address) {
    zt::Image probe(zarCloneImage(image));
    std::memset(probe->imageData, 0, probe->imageSize);
    zt::setSample(probe, x, y, channel, 1);
    const char* mapped = probe->imageData + (address - image->imageData);
    ASSERT_GE(mapped, probe->imageData);
    ASSERT_LT(mapped, probe->imageData + probe->imageSize);
    // The marked value is the one that starts at the address.
    int32_t bytes = zt::depthBits(image->depth) / 8;
    ASSERT_LE(mapped + bytes, probe->imageData + probe->imageSize);
    EXPECT_EQ(zt::getSample({const_cast<char*>(mapped), 0, 1, 1, image->depth, 0}, 0, 0, 0), 1)
        << x << "," << y << "," << channel;
}

TEST(Region, OriginsAndPixelAddressesAgreeWithSampleAccess) {
    const int32_t depths[] = {ZAR_DEPTH_8U, ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};
    zt::Rng rng(2024);
    for (int32_t depth : depths)
        for (int32_t order : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << depth << " " << order);
            zt::Image image(3, 0, depth, order, 11, 7, 8);
            for (int trial = 0; trial < 12; ++trial) {
                int32_t x = rng.range(0, 10), y = rng.range(0, 6), c = rng.range(0, 2);
                image.setRoi(0, x, y, rng.range(1, 11), rng.range(1, 7));
                expectAddressHolds(image, x, y, c, getRoiOrigin(image, c).address);
                expectAddressHolds(image, x, y, c, pixelAddress(image, x, y, c));
                image.setRoi(c + 1, x, y, 1, 1);
                CoiLayout layout;
                ASSERT_TRUE(getCoiOrigin(image, &layout));
                expectAddressHolds(image, x, y, c, layout.address);
            }
        }
}

TEST(Region, ChannelOffsetWithoutARoi) {
    zt::Image pixel(3, 0, ZAR_DEPTH_16U, 0, 5, 4);
    EXPECT_EQ(getRoiOrigin(pixel, 2).address, pixel->imageData + 4);
    zt::Image plane(3, 0, ZAR_DEPTH_16U, 1, 5, 4);
    EXPECT_EQ(getRoiOrigin(plane, 2).address, plane->imageData + 2 * 4 * plane->widthStep);
}

// ------------------------------------------------------------- channels

using Six = std::array<int32_t, 6>;

// first and last channel, x, y, width, height; all 0 when there is nothing to process.
Six channelsOf(const ImageHeader* image) {
    RoiChannels ch{};
    if (!getRoiChannels(image, &ch)) return {};
    return {ch.firstChannel, ch.lastChannel, ch.x, ch.y, ch.width, ch.height};
}

TEST(Channels, AlphaIsLeftOutUnlessItIsTheCoi) {
    zt::Image image(4, 4, ZAR_DEPTH_8U, 0, 6, 6);
    EXPECT_EQ(channelsOf(image), (Six{1, 3, 0, 0, 6, 6}));
    image.setRoi(4, 1, 2, 10, 3);
    EXPECT_EQ(channelsOf(image), (Six{4, 4, 1, 2, 5, 3}));
    image.setRoi(0, 1, 2, 2, 30);
    EXPECT_EQ(channelsOf(image), (Six{1, 3, 1, 2, 2, 4}));
    zt::Image three(3, 0, ZAR_DEPTH_8U, 0, 6, 6);
    EXPECT_EQ(channelsOf(three), (Six{1, 3, 0, 0, 6, 6}));
    three->alphaChannel = 2;  // not the last channel
    EXPECT_EQ(channelsOf(three), Six{});
    zt::Image alphaOnly(1, 1, ZAR_DEPTH_8U, 0, 6, 6);
    EXPECT_EQ(channelsOf(alphaOnly), Six{});
    alphaOnly.setRoi(1, 0, 0, 2, 2);
    EXPECT_EQ(channelsOf(alphaOnly), (Six{1, 1, 0, 0, 2, 2}));
}

TEST(Channels, CoiOriginInPixelOrder) {
    zt::Image image(4, 4, ZAR_DEPTH_16S, 0, 10, 6);
    CoiLayout l;
    ASSERT_TRUE(getCoiOrigin(image, &l));
    EXPECT_EQ(l.address, image->imageData);
    EXPECT_EQ(l.channels, 3);
    EXPECT_EQ(l.firstChannel, 0);
    EXPECT_EQ(l.nChannels, 4);
    EXPECT_EQ(l.widthStep, image->widthStep);
    EXPECT_EQ(l.planeStride, 6 * image->widthStep);
    image.setRoi(3, 2, 1, 3, 3);
    ASSERT_TRUE(getCoiOrigin(image, &l));
    EXPECT_EQ(l.address, image->imageData + image->widthStep + 4 * 2 * 2 + 2 * 2);
    EXPECT_EQ(l.channels, 1);
    EXPECT_EQ(l.firstChannel, 2);
    image.setRoi(0, 2, 1, 3, 3);
    ASSERT_TRUE(getCoiOrigin(image, &l));
    EXPECT_EQ(l.channels, 3);  // all but alpha
    image->alphaChannel = 0;
    ASSERT_TRUE(getCoiOrigin(image, &l));
    EXPECT_EQ(l.channels, 4);
}

TEST(Channels, CoiOriginInPlaneOrder) {
    zt::Image image(3, 0, ZAR_DEPTH_32F, 1, 10, 6);
    image.setRoi(2, 4, 5, 3, 1);
    CoiLayout l;
    ASSERT_TRUE(getCoiOrigin(image, &l));
    EXPECT_EQ(l.address, image->imageData + 5 * image->widthStep + 16 + 6 * image->widthStep);
    EXPECT_EQ(l.channels, 1);
    EXPECT_EQ(l.firstChannel, 1);
    EXPECT_EQ(l.planeStride, 6 * image->widthStep);
}

TEST(Channels, AnAlphaOnlyImageWithoutRoiHasNothingToProcess) {
    zt::Image image(1, 1, ZAR_DEPTH_8U, 0, 4, 4);
    CoiLayout l;
    EXPECT_FALSE(getCoiOrigin(image, &l));
    EXPECT_FALSE(getCoiLayout(image, true, &l));
    image.setRoi(1, 1, 1, 1, 1);
    ASSERT_TRUE(getCoiOrigin(image, &l));
    EXPECT_EQ(l.channels, 1);
}

TEST(Channels, BitPositionOf1BitImages) {
    zt::Image bits(1, 0, ZAR_DEPTH_1U, 0, 40, 6);
    bits.setRoi(0, 19, 2, 3, 3);
    CoiLayout l;
    ASSERT_TRUE(getCoiOrigin(bits, &l));
    EXPECT_EQ(l.address, bits->imageData + 2 * bits->widthStep);  // x is not in the address
    EXPECT_EQ(l.bitX, 19);
    EXPECT_EQ(l.channels, 1);
}

TEST(Channels, LayoutClampsOnlyWhenAsked) {
    zt::Image image(2, 0, ZAR_DEPTH_8U, 0, 10, 6);
    image.setRoi(0, -2, 3, 3, 3);
    CoiLayout l;
    ASSERT_TRUE(getCoiLayout(image, true, &l));
    EXPECT_EQ(l.address, image->imageData + 3 * image->widthStep);
    ASSERT_TRUE(getCoiLayout(image, false, &l));
    EXPECT_EQ(l.address, image->imageData + 3 * image->widthStep - 4);
    ASSERT_TRUE(getCoiOrigin(image, &l));  // the origin clamps
    EXPECT_EQ(l.address, image->imageData + 3 * image->widthStep);
}

// ---------------------------------------------------------- whole layout

TEST(WholeLayout, EqualFormatsWithoutRegionsAreOneRun) {
    zt::Image a(1, 0, ZAR_DEPTH_8U, 0, 10, 6);
    zt::Image b(1, 0, ZAR_DEPTH_8U, 0, 10, 6);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 1);
    EXPECT_EQ(isWholeImageLayout(a, b, 1), 0);
    a.setRoi(0, 0, 0, 10, 6);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 1);
    a.setRoi(1, 0, 0, 12, 60);  // coi 1 of a one-channel image, larger than the image
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 1);
    b.setRoi(0, 1, 0, 10, 6);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 0);
    b.setRoi(0, 0, 1, 10, 6);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 0);
    b.setRoi(0, 0, 0, 9, 6);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 0);
    b.setRoi(0, 0, 0, 10, 5);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 0);
}

TEST(WholeLayout, FormatsMustAgree) {
    zt::Image a(3, 0, ZAR_DEPTH_8U, 0, 10, 6);
    zt::Image b(3, 0, ZAR_DEPTH_8U, 0, 10, 6, 8);
    EXPECT_EQ(isWholeImageLayout(a, b, 0), 0);  // align
    zt::Image c(3, 0, ZAR_DEPTH_8U, 0, 10, 7);
    EXPECT_EQ(isWholeImageLayout(a, c, 0), 0);  // height
    zt::Image d(3, 0, ZAR_DEPTH_8U, 0, 11, 6);
    EXPECT_EQ(isWholeImageLayout(a, d, 0), 0);  // width
    zt::Image e(3, 0, ZAR_DEPTH_8U, 0, 10, 6);
    e->imageSize += 4;
    EXPECT_EQ(isWholeImageLayout(a, e, 0), 0);  // imageSize
    zt::Image f(3, 0, ZAR_DEPTH_8U, 0, 10, 6);
    f.setRoi(1, 0, 0, 10, 6);  // coi 1 of three channels
    EXPECT_EQ(isWholeImageLayout(a, f, 0), 0);
    EXPECT_EQ(isWholeImageLayout(f, a, 0), 0);
}

// ------------------------------------------------------------------ tiles

using Eight = std::array<int32_t, 8>;

// firstColumn, xInTile, columns, firstRow, yInTile, rows, tileWidth, tileHeight.
Eight spanOf(const ImageHeader* image, int32_t height, int32_t width) {
    const TileSpan s = getTileSpan(image, height, width);
    return {s.firstColumn, s.xInTile, s.columns,   s.firstRow,
            s.yInTile,     s.rows,    s.tileWidth, s.tileHeight};
}

TEST(Tiles, SpanOfARegion) {
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 100, 50, 32, 16);
    Roi roi{0, 60, 5, 10, 20};
    store.image()->roi = &roi;
    EXPECT_EQ(spanOf(store, 20, 10), (Eight{1, 28, 2, 0, 5, 2, 32, 16}));
    roi.xOffset = -5;  // raised to 0; rows 5..20
    EXPECT_EQ(spanOf(store, 16, 32), (Eight{0, 0, 1, 0, 5, 2, 32, 16}));
    store.image()->roi = nullptr;
}

TEST(Tiles, AnUntiledImageCountsAs128Tiles) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 300, 300);
    EXPECT_EQ(spanOf(image, 300, 300), (Eight{0, 0, 3, 0, 0, 3, 128, 128}));
    image.setRoi(0, 130, 250, 10, 10);
    EXPECT_EQ(spanOf(image, 10, 10), (Eight{1, 2, 1, 1, 122, 2, 128, 128}));
}

TEST(Tiles, SpanAgreesWithANaiveCover) {
    zt::Rng rng(77);
    for (int trial = 0; trial < 300; ++trial) {
        int32_t tw = 8 * rng.range(1, 5), th = 8 * rng.range(1, 5);
        zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 120, 90, tw, th);
        Roi roi{0, rng.range(0, 119), rng.range(0, 89), 0, 0};
        roi.width = rng.range(1, 120 - roi.xOffset);
        roi.height = rng.range(1, 90 - roi.yOffset);
        store.image()->roi = &roi;
        std::set<int32_t> columns, rows;
        for (int32_t x = roi.xOffset; x < roi.xOffset + roi.width; ++x) columns.insert(x / tw);
        for (int32_t y = roi.yOffset; y < roi.yOffset + roi.height; ++y) rows.insert(y / th);
        TileSpan span = getTileSpan(store, roi.height, roi.width);
        ASSERT_EQ(span.firstColumn, *columns.begin());
        ASSERT_EQ(span.firstRow, *rows.begin());
        ASSERT_EQ(span.columns, static_cast<int32_t>(columns.size()));
        ASSERT_EQ(span.rows, static_cast<int32_t>(rows.size()));
        ASSERT_EQ(span.xInTile, roi.xOffset - span.firstColumn * tw);
        ASSERT_EQ(span.yInTile, roi.yOffset - span.firstRow * th);
        store.image()->roi = nullptr;
    }
}

TEST(Tiles, FetchAndReleaseARow) {
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 40, 20, 16, 8);  // 3 x 3 tiles
    char* table[3] = {};
    EXPECT_EQ(fetchTileRow(store, table, 3, 0, 1, 1), 0);
    ASSERT_EQ(store.log().size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(store.log()[k].column, k);
        EXPECT_EQ(store.log()[k].row, 1);
        EXPECT_EQ(store.log()[k].mode, ZAR_TILE_READ);
        EXPECT_EQ(table[k], store.tileLayout(k, 1).data);
    }
    EXPECT_EQ(store.outstanding(), 3);
    store.image()->tileInfo->tileData = nullptr;
    releaseTileRow(store, table, 3, 0, 1, 1);
    ASSERT_EQ(store.log().size(), 6u);
    for (int k = 0; k < 3; ++k) {
        const zt::TileCall& call = store.log()[3 + k];
        EXPECT_EQ(call.column, 2 - k);  // reverse order
        EXPECT_EQ(call.row, 1);
        EXPECT_EQ(call.mode, ZAR_TILE_RELEASE);
        EXPECT_EQ(call.data, table[2 - k]);  // handed back with its own pointer
    }
    EXPECT_TRUE(store.balanced());
}

TEST(Tiles, ARefusedTileDoesNotStopTheRow) {
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 64, 16, 16, 8);
    store.refuse(1, 0);
    char* table[4] = {};
    EXPECT_EQ(fetchTileRow(store, table, 4, 0, 0, 1), 1);
    EXPECT_EQ(store.count(ZAR_TILE_READ), 4);
    EXPECT_EQ(table[1], nullptr);
    EXPECT_NE(table[3], nullptr);
    releaseTileRow(store, table, 4, 0, 0, 1);
    EXPECT_EQ(store.count(ZAR_TILE_RELEASE), 3);  // the refused tile is not handed back
    EXPECT_TRUE(store.balanced());
    EXPECT_EQ(store.outstanding(), 0);
}

TEST(Tiles, RightToLeftForWriting) {
    zt::TileStore store(2, 0, ZAR_DEPTH_16U, 1, 48, 16, 16, 8);
    char* table[3] = {};
    EXPECT_EQ(fetchTileRow(store, table, 3, 2, 1, -1, ZAR_TILE_WRITE), 0);
    ASSERT_EQ(store.log().size(), 3u);
    EXPECT_EQ(store.log()[0].column, 2);
    EXPECT_EQ(store.log()[1].column, 1);
    EXPECT_EQ(store.log()[2].column, 0);
    EXPECT_EQ(store.count(ZAR_TILE_WRITE), 3);
    EXPECT_EQ(table[0], store.tileLayout(2, 1).data);
    releaseTileRow(store, table, 3, 2, 1, -1);
    EXPECT_EQ(store.log()[3].column, 0);
    EXPECT_EQ(store.log()[5].column, 2);
    EXPECT_TRUE(store.balanced());
}

TEST(Tiles, TileLayoutMatchesTheTileStride) {
    // The row stride inside a tile is the tileWidthStep of the image; what a
    // fetched tile holds is laid out that way.
    zt::TileStore store(3, 0, ZAR_DEPTH_8U, 0, 40, 16, 16, 8, 8);
    zt::Image plain(3, 0, ZAR_DEPTH_8U, 0, 40, 16);
    plain.randomize(3);
    store.loadFrom(plain);
    char* table[3] = {};
    ASSERT_EQ(fetchTileRow(store, table, 3, 0, 1, 1), 0);
    int32_t step = tileWidthStep(store);
    for (int32_t k = 0; k < 3; ++k)
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 16 && 16 * k + x < 40; ++x)
                for (int32_t c = 0; c < 3; ++c)
                    ASSERT_EQ(static_cast<uint8_t>(table[k][y * step + x * 3 + c]),
                              zt::getSample(plain, 16 * k + x, 8 + y, c));
    releaseTileRow(store, table, 3, 0, 1, 1);
    EXPECT_TRUE(store.balanced());
}

}  // namespace
