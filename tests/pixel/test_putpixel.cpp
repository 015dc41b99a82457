// zarPutPixel: every depth and data order, origin, 1-bit bits, tiles, checks.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "support/arith_support.h"
#include "support/pixel_support.h"
#include "support/zar_test.h"

namespace {

using zt::ErrorRecorder;
using zt::Image;
using zt::TileStore;

TEST(PutPixel, ThreeChannelsPixelOrder) {
    Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 3);
    const uint8_t pixel[3] = {10, 20, 30};
    ErrorRecorder recorder;
    zarPutPixel(image, 2, 1, pixel);
    EXPECT_TRUE(recorder.reports().empty());
    const char* at = image->imageData + image->widthStep + 6;
    EXPECT_EQ(std::memcmp(at, pixel, 3), 0);
    int nonZero = 0;
    for (int32_t k = 0; k < image->imageSize; ++k) nonZero += image->imageData[k] != 0;
    EXPECT_EQ(nonZero, 3);
}

TEST(PutPixel, ThreeChannelsPlaneOrder) {
    Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 4, 3);
    const uint8_t pixel[3] = {10, 20, 30};
    ErrorRecorder recorder;
    zarPutPixel(image, 2, 1, pixel);
    for (int32_t c = 0; c < 3; ++c)
        EXPECT_EQ(
            static_cast<uint8_t>(image->imageData[c * 3 * image->widthStep + image->widthStep + 2]),
            pixel[c]);
}

TEST(PutPixel, BottomLeftOriginFlipsRows) {
    Image image(1, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PIXEL, 3, 5);
    image->origin = ZAR_ORIGIN_BL;
    const int16_t pixel = -1234;
    ErrorRecorder recorder;
    zarPutPixel(image, 1, 0, &pixel);
    EXPECT_EQ(zt::getSample(image, 1, 4, 0), -1234);
    EXPECT_EQ(zt::getSample(image, 1, 0, 0), 0);
}

TEST(PutPixel, EveryDepthAndOrder) {
    const int32_t depths[] = {ZAR_DEPTH_8U,  ZAR_DEPTH_8S,  ZAR_DEPTH_16U,
                              ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};
    zt::Rng rng(21);
    for (int32_t depth : depths)
        for (int32_t order : {ZAR_DATA_ORDER_PIXEL, ZAR_DATA_ORDER_PLANE})
            for (int32_t channels = 1; channels <= 4; ++channels) {
                Image image(channels, channels == 4 ? 4 : 0, depth, order, 7, 5, 8);
                image.randomize(rng.next());
                Image expected = zt::copyImage(image);
                image.setRoi(channels > 1 ? 2 : 0, 0, 0, 1, 1);  // ignored
                const int32_t x = rng.range(0, 6), y = rng.range(0, 4);
                const int32_t size = zt::depthBits(depth) / 8;
                std::vector<char> pixel(static_cast<size_t>(channels * size));
                for (auto& b : pixel) b = static_cast<char>(rng.next());
                if (depth == ZAR_DEPTH_32F)  // keep the floats ordinary numbers
                    for (int32_t c = 0; c < channels; ++c) {
                        const float v = static_cast<float>(rng.range(-100, 100)) / 8;
                        std::memcpy(&pixel[c * 4], &v, 4);
                    }
                zt::Layout raw{pixel.data(), 0, 1, channels, depth, ZAR_DATA_ORDER_PIXEL};
                for (int32_t c = 0; c < channels; ++c)
                    zt::setSample(expected, x, y, c, zt::getSample(raw, 0, 0, c));
                ErrorRecorder recorder;
                zarPutPixel(image, x, y, pixel.data());
                EXPECT_TRUE(recorder.reports().empty());
                ASSERT_EQ(zt::compareImages(expected, image), "")
                    << depth << " order " << order << " channels " << channels;
            }
}

TEST(PutPixel, OneBitUsesBitZero) {
    Image image(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 2);
    image->imageData[image->widthStep] = 0;
    image->imageData[image->widthStep + 1] = static_cast<char>(0xFF);
    const uint8_t three = 3, two = 2;
    ErrorRecorder recorder;
    zarPutPixel(image, 5, 1, &three);
    EXPECT_EQ(static_cast<uint8_t>(image->imageData[image->widthStep]), 0b00000100);
    zarPutPixel(image, 9, 1, &two);
    EXPECT_EQ(static_cast<uint8_t>(image->imageData[image->widthStep + 1]), 0b10111111);
    EXPECT_EQ(image->imageData[0], 0);
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(PutPixel, TiledWritesIntoTheTile) {
    TileStore store(2, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 130, 100, 64, 64);
    const uint16_t pixel[2] = {0x1111, 0x2222};
    ErrorRecorder recorder;
    zarPutPixel(store.image(), 70, 10, pixel);
    EXPECT_TRUE(recorder.reports().empty());
    ASSERT_EQ(store.log().size(), 2u);
    EXPECT_EQ(store.log()[0].mode, ZAR_TILE_WRITE);
    EXPECT_EQ(store.log()[0].column, 1);
    EXPECT_EQ(store.log()[0].row, 0);
    EXPECT_EQ(store.log()[1].mode, ZAR_TILE_RELEASE);
    EXPECT_TRUE(store.balanced());
    const zt::Layout tile = store.tileLayout(1, 0);
    EXPECT_EQ(zt::getSample(tile, 6, 10, 0), 0x1111);
    EXPECT_EQ(zt::getSample(tile, 6, 10, 1), 0x2222);
}

TEST(PutPixel, TiledOneBitWithBottomLeftOrigin) {
    TileStore store(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 20, 20, 8, 8);
    store.image()->origin = ZAR_ORIGIN_BL;
    const uint8_t one = 1;
    ErrorRecorder recorder;
    zarPutPixel(store.image(), 13, 2, &one);  // row 17: tile (1, 2), in-tile (5, 1)
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(store.log()[0].column, 1);
    EXPECT_EQ(store.log()[0].row, 2);
    EXPECT_EQ(zt::getSample(store.tileLayout(1, 2), 5, 1, 0), 1);
    EXPECT_TRUE(store.balanced());
}

TEST(PutPixelRandom, ManyPutsMatchTheReference) {
    const int32_t depths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                              ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};
    zt::Rng rng(99);
    for (int iteration = 0; iteration < 200; ++iteration) {
        const int32_t depth = depths[rng.range(0, 6)];
        const int32_t order = rng.range(0, 1);
        const int32_t channels = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
        const int32_t width = rng.range(1, 40), height = rng.range(1, 30);
        const int32_t align = 4 << rng.range(0, 3);
        const int32_t origin = rng.range(0, 1);
        const bool tiled = rng.range(0, 1) == 1;
        Image expected(channels, 0, depth, order, width, height, align);
        expected.randomize(rng.next());
        Image plain = zt::copyImage(expected);
        plain->origin = origin;
        std::unique_ptr<TileStore> store;
        if (tiled) {
            store = std::make_unique<TileStore>(channels, 0, depth, order, width, height,
                                                8 * rng.range(1, 3), 8 * rng.range(1, 2), align);
            store->loadFrom(expected);
            store->image()->origin = origin;
        }
        ImageHeader* target = tiled ? store->image() : plain.get();
        ErrorRecorder recorder;
        for (int put = 0; put < 10; ++put) {
            const int32_t x = rng.range(0, width - 1), y = rng.range(0, height - 1);
            const int32_t row = origin == ZAR_ORIGIN_BL ? height - 1 - y : y;
            double values[4];
            char pixel[16];
            for (int32_t c = 0; c < channels; ++c) {
                values[c] = depth == ZAR_DEPTH_1U ? rng.range(0, 1) : rng.range(-100, 100);
                if (depth == ZAR_DEPTH_8U || depth == ZAR_DEPTH_16U) values[c] += 100;
                // A 1-bit pixel is one byte whose bit 0 is used.
                const int32_t sampleDepth = depth == ZAR_DEPTH_1U ? ZAR_DEPTH_8U : depth;
                zt::setSample(zt::Layout{pixel, 0, 1, channels, sampleDepth, ZAR_DATA_ORDER_PIXEL},
                              0, 0, c, values[c]);
                zt::setSample(expected, x, row, c, values[c]);
            }
            zarPutPixel(target, x, y, pixel);
        }
        EXPECT_TRUE(recorder.reports().empty());
        if (tiled) {
            EXPECT_TRUE(store->balanced());
            store->storeTo(plain);
        }
        ASSERT_EQ(zt::compareImages(expected, plain), "") << "iteration " << iteration;
    }
}

TEST(PutPixelChecks, InvalidHeaderAndPositions) {
    const uint8_t pixel[1] = {1};
    ErrorRecorder recorder;
    zarPutPixel(nullptr, 0, 0, pixel);
    zt::expectOneReport(recorder, STATUS_NULL_HEADER, "zarPutPixel", "Incorrect Image", "zarPutPx");
    Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 3);
    const struct {
        int32_t x, y;
        const char* context;
    } cases[] = {{4, 0, "((x>width-1) || (x<0))"},
                 {-1, 0, "((x>width-1) || (x<0))"},
                 {0, 3, "((y>height-1) || (y<0))"},
                 {0, -1, "((y>height-1) || (y<0))"},
                 {9, -9, "((x>width-1) || (x<0))"}};
    for (const auto& c : cases) {
        recorder.clear();
        zarPutPixel(image, c.x, c.y, pixel);
        zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarPutPixel", c.context, "zarPutPx");
    }
    for (int32_t k = 0; k < image->imageSize; ++k) EXPECT_EQ(image->imageData[k], 0);
}

TEST(PutPixelChecks, RefusedTile) {
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 16, 16, 8, 8);
    store.refuse(0, 1);
    const uint8_t pixel[1] = {1};
    ErrorRecorder recorder;
    zarPutPixel(store.image(), 3, 9, pixel);
    zt::expectOneReport(recorder, STATUS_ERROR, "zarPutPixel", "Error get tile to write",
                        "zarPutPx");
    EXPECT_TRUE(store.balanced());
    EXPECT_EQ(store.log().size(), 1u);
}

}  // namespace
