// Resolution of regions, channels and tiles, and the tile protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "image/image.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

// ----------------------------------------------------------- region size

TEST(Region, ARoiPastTheRightEdgeIsClipped) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 12, 6);
    image.setRoi(0, 10, 1, 5, 3);
    EXPECT_EQ(getRoiRect(image).width, 2);
    EXPECT_EQ(getRoiOrigin(image, 0).width, 2);
    RoiSize size = getRoiSize(image, true);
    EXPECT_EQ(size.width, 2);
    EXPECT_EQ(size.height, 3);
    EXPECT_EQ(getRoiSize(image, false).width, 5);  // unclipped as it is
}

TEST(Region, ARoiWhollyRightOfTheImage) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 12, 6);
    image.setRoi(0, 15, 0, 5, 3);
    EXPECT_EQ(getRoiOrigin(image, 0).width, 0);
    EXPECT_EQ(getRoiRect(image).width, -3);  // getRoiRect does not raise to 0
    EXPECT_TRUE(getRoiSize(image, true).empty());
    RoiBounds bounds;
    EXPECT_FALSE(getRoiBounds(image, true, &bounds));
    EXPECT_TRUE(getRoiBounds(image, false, &bounds));
    EXPECT_EQ(bounds.x0, 15);
    EXPECT_EQ(bounds.x1, 19);
}

TEST(Region, WithoutARoiTheWholeImage) {
    zt::Image image(2, 0, ZAR_DEPTH_16U, 0, 9, 4);
    Rect rect = getRoiRect(image);
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.y, 0);
    EXPECT_EQ(rect.width, 9);
    EXPECT_EQ(rect.height, 4);
    RoiOrigin origin = getRoiOrigin(image, 0);
    EXPECT_EQ(origin.address, image->imageData);
    EXPECT_EQ(origin.width, 9);
    EXPECT_EQ(origin.height, 4);
    EXPECT_EQ(origin.bitOffset, 0);
    RoiSize size = getRoiSize(image, true);
    EXPECT_EQ(size.width, 9);
    EXPECT_EQ(size.height, 4);
    RoiBounds b;
    ASSERT_TRUE(getRoiBounds(image, true, &b));
    EXPECT_EQ(b.x0, 0);
    EXPECT_EQ(b.y0, 0);
    EXPECT_EQ(b.x1, 8);
    EXPECT_EQ(b.y1, 3);
}

TEST(Region, RectKeepsNegativeOffsets) {
    // Validation refuses such rois; the routine itself leaves them alone.
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 12, 6);
    image.setRoi(0, -3, -1, 5, 9);
    Rect rect = getRoiRect(image);
    EXPECT_EQ(rect.x, -3);
    EXPECT_EQ(rect.y, -1);
    EXPECT_EQ(rect.width, 5);
    EXPECT_EQ(rect.height, 7);  // 9 + min(0, 6 + 1 - 9)
}

TEST(Region, SizeWithClipAndNegativeOffsets) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 12, 6);
    image.setRoi(0, -3, -2, 5, 20);
    RoiSize size = getRoiSize(image, true);
    EXPECT_EQ(size.width, 2);
    EXPECT_EQ(size.height, 6);
    size = getRoiSize(image, false);
    EXPECT_EQ(size.width, 5);
    EXPECT_EQ(size.height, 20);
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
    RoiSize size = getCommonRoiSize(a, b, true);
    EXPECT_EQ(size.width, 7);
    EXPECT_EQ(size.height, 6);
    c.setRoi(0, 2, 2, 5, 8);
    size = getCommonRoiSize(a, b, c, true);
    EXPECT_EQ(size.width, 5);
    EXPECT_EQ(size.height, 6);
    size = getCommonRoiSize(a, nullptr, true);
    EXPECT_EQ(size.width, 12);
    size = getCommonRoiSize(a, b, nullptr, false);
    EXPECT_EQ(size.width, 7);
    c.setRoi(0, 30, 0, 5, 8);
    EXPECT_TRUE(getCommonRoiSize(a, b, c, true).empty());
    EXPECT_TRUE(getCommonRoiSize(c, a, true).empty());
    EXPECT_FALSE(getCommonRoiSize(c, a, false).empty());
}

TEST(Region, BoundsWithAndWithoutClip) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 10, 8);
    RoiBounds b;
    image.setRoi(0, -2, 3, 5, 10);
    ASSERT_TRUE(getRoiBounds(image, false, &b));
    EXPECT_EQ(b.x0, -2);
    EXPECT_EQ(b.y0, 3);
    EXPECT_EQ(b.x1, 2);
    EXPECT_EQ(b.y1, 12);
    ASSERT_TRUE(getRoiBounds(image, true, &b));
    EXPECT_EQ(b.x0, 0);
    EXPECT_EQ(b.y0, 3);
    EXPECT_EQ(b.x1, 2);
    EXPECT_EQ(b.y1, 7);
    image.setRoi(0, -6, 0, 5, 1);  // x1 = -2
    EXPECT_FALSE(getRoiBounds(image, true, &b));
    image.setRoi(0, 0, 8, 5, 1);  // y0 = height
    EXPECT_FALSE(getRoiBounds(image, true, &b));
    image.setRoi(0, 0, 0, 0, 1);
    EXPECT_FALSE(getRoiBounds(image, false, &b));
}

// -------------------------------------------------------- region origins

TEST(Region, OriginOfAChannelInPixelOrder) {
    zt::Image image(3, 0, ZAR_DEPTH_8U, 0, 10, 8);
    image.setRoi(0, 4, 3, 2, 2);
    EXPECT_EQ(getRoiOrigin(image, 2).address, image->imageData + 3 * image->widthStep + 14);
}

TEST(Region, OriginOfAChannelInPlaneOrder) {
    zt::Image image(3, 0, ZAR_DEPTH_16S, 1, 10, 8);
    image.setRoi(0, 2, 1, 4, 4);
    EXPECT_EQ(getRoiOrigin(image, 1).address,
              image->imageData + 8 * image->widthStep + 1 * image->widthStep + 4);
}

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

TEST(Channels, AlphaIsLeftOut) {
    zt::Image image(4, 4, ZAR_DEPTH_8U, 0, 6, 6);
    RoiChannels ch;
    ASSERT_TRUE(getRoiChannels(image, &ch));
    EXPECT_EQ(ch.firstChannel, 1);
    EXPECT_EQ(ch.lastChannel, 3);
    EXPECT_EQ(ch.width, 6);
    image.setRoi(4, 1, 2, 10, 3);
    ASSERT_TRUE(getRoiChannels(image, &ch));
    EXPECT_EQ(ch.firstChannel, 4);
    EXPECT_EQ(ch.lastChannel, 4);
    EXPECT_EQ(ch.x, 1);
    EXPECT_EQ(ch.y, 2);
    EXPECT_EQ(ch.width, 5);
    EXPECT_EQ(ch.height, 3);
    image.setRoi(0, 1, 2, 2, 30);
    ASSERT_TRUE(getRoiChannels(image, &ch));
    EXPECT_EQ(ch.lastChannel, 3);
    EXPECT_EQ(ch.height, 4);
}

TEST(Channels, AllWithoutAlphaAndFailures) {
    zt::Image image(3, 0, ZAR_DEPTH_8U, 0, 6, 6);
    RoiChannels ch;
    ASSERT_TRUE(getRoiChannels(image, &ch));
    EXPECT_EQ(ch.firstChannel, 1);
    EXPECT_EQ(ch.lastChannel, 3);
    image->alphaChannel = 2;  // not the last channel
    EXPECT_FALSE(getRoiChannels(image, &ch));
    zt::Image alphaOnly(1, 1, ZAR_DEPTH_8U, 0, 6, 6);
    EXPECT_FALSE(getRoiChannels(alphaOnly, &ch));
    alphaOnly.setRoi(1, 0, 0, 2, 2);
    ASSERT_TRUE(getRoiChannels(alphaOnly, &ch));
    EXPECT_EQ(ch.firstChannel, 1);
    EXPECT_EQ(ch.lastChannel, 1);
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

TEST(Channels, PixelAddress) {
    zt::Image pixel(3, 0, ZAR_DEPTH_32S, 0, 10, 6);
    EXPECT_EQ(pixelAddress(pixel, 2, 3, 1), pixel->imageData + 3 * pixel->widthStep + 24 + 4);
    zt::Image plane(3, 0, ZAR_DEPTH_8S, 1, 10, 6);
    EXPECT_EQ(pixelAddress(plane, 2, 3, 2), plane->imageData + 3 * plane->widthStep + 2 +
                                                2 * 6 * plane->widthStep);
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

TEST(Tiles, SpanOfARegion) {
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 100, 50, 32, 16);
    Roi roi{0, 60, 5, 10, 20};
    store.image()->roi = &roi;
    TileSpan span = getTileSpan(store, 20, 10);
    EXPECT_EQ(span.firstColumn, 1);
    EXPECT_EQ(span.xInTile, 28);
    EXPECT_EQ(span.columns, 2);
    EXPECT_EQ(span.firstRow, 0);
    EXPECT_EQ(span.yInTile, 5);
    EXPECT_EQ(span.rows, 2);
    EXPECT_EQ(span.tileWidth, 32);
    EXPECT_EQ(span.tileHeight, 16);
    roi.xOffset = -5;  // raised to 0
    span = getTileSpan(store, 16, 32);
    EXPECT_EQ(span.firstColumn, 0);
    EXPECT_EQ(span.xInTile, 0);
    EXPECT_EQ(span.columns, 1);
    EXPECT_EQ(span.rows, 2);  // rows 5..20
    store.image()->roi = nullptr;
}

TEST(Tiles, AnUntiledImageCountsAs128Tiles) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 300, 300);
    TileSpan span = getTileSpan(image, 300, 300);
    EXPECT_EQ(span.tileWidth, 128);
    EXPECT_EQ(span.tileHeight, 128);
    EXPECT_EQ(span.columns, 3);
    EXPECT_EQ(span.rows, 3);
    image.setRoi(0, 130, 250, 10, 10);
    span = getTileSpan(image, 10, 10);
    EXPECT_EQ(span.firstColumn, 1);
    EXPECT_EQ(span.firstRow, 1);
    EXPECT_EQ(span.xInTile, 2);
    EXPECT_EQ(span.yInTile, 122);
    EXPECT_EQ(span.columns, 1);
    EXPECT_EQ(span.rows, 2);
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
