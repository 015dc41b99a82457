// zarSet and zarSetFP: saturation, channels, masks, 1-bit offsets, tiles and
// every check.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "support/arith_support.h"
#include "support/pixel_support.h"
#include "support/zar_test.h"

namespace {

using zt::AttachedMask;
using zt::ErrorRecorder;
using zt::Image;
using zt::TileStore;

// Sets every value of a one-pixel image of the depth and reads it back.
double setOnePixel(int32_t depth, int32_t value) {
    Image image(1, 0, depth, ZAR_DATA_ORDER_PIXEL, 1, 1);
    ErrorRecorder recorder;
    zarSet(image, value);
    EXPECT_TRUE(recorder.reports().empty());
    return zt::getSample(image, 0, 0, 0);
}

TEST(Set, SaturatesToTheDepth) {
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_8U, 300), 255);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_8U, -5), 0);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_8U, 77), 77);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_8S, 200), 127);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_8S, -200), -128);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_16U, 70000), 65535);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_16U, -1), 0);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_16S, -40000), -32768);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_16S, 40000), 32767);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_32S, INT32_MIN), INT32_MIN);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_32S, 123456789), 123456789);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_1U, 7), 1);
    EXPECT_EQ(setOnePixel(ZAR_DEPTH_1U, -1), 0);
}

TEST(Set, ChannelOfInterestAndAlpha) {
    Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 3, 4, 5);
    image.setRoi(2, 1, 1, 2, 2);
    ErrorRecorder recorder;
    zarSet(image, 9);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x)
            for (int32_t c = 0; c < 3; ++c) {
                const bool set = c == 1 && x >= 1 && x < 3 && y >= 1;
                EXPECT_EQ(zt::getSample(image, x, y, c), set ? 9 : 5);
            }

    Image alpha(4, 4, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PIXEL, 3, 2, 4, 5);
    zarSet(alpha, -3);
    for (int32_t x = 0; x < 3; ++x) {
        for (int32_t c = 0; c < 3; ++c) EXPECT_EQ(zt::getSample(alpha, x, 1, c), -3);
        EXPECT_EQ(zt::getSample(alpha, x, 1, 3), 5);
    }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(Set, PlaneOrderFillsEveryPlaneOverTheRegion) {
    Image image(3, 0, ZAR_DEPTH_32S, ZAR_DATA_ORDER_PLANE, 5, 4, 8, 1);
    image.setRoi(0, 3, 2, 9, 9);
    ErrorRecorder recorder;
    zarSet(image, -77);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t c = 0; c < 3; ++c)
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 5; ++x)
                EXPECT_EQ(zt::getSample(image, x, y, c), x >= 3 && y >= 2 ? -77 : 1);
}

TEST(Set, WholeImageWithoutPaddingIsFilledAsOneRun) {
    Image image(2, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 6, 3);
    ASSERT_EQ(image->widthStep, 12);
    ErrorRecorder recorder;
    zarSet(image, 0xBEEF);
    for (int32_t k = 0; k < image->imageSize / 2; ++k) {
        uint16_t v;
        std::memcpy(&v, image->imageData + 2 * k, 2);
        ASSERT_EQ(v, 0xBEEF) << k;
    }
}

TEST(Set, MaskLimitsTheRegion) {
    Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 4, 4, 1);
    image.setRoi(0, 1, 1, 6, 3);
    AttachedMask mask(image, 8, 8, 0);
    mask.setRoi(2, 3, 4, 2);  // 4 x 2 from (2, 3)
    zt::setSample(mask, 2, 3, 0, 1);
    zt::setSample(mask, 5, 3, 0, 1);
    zt::setSample(mask, 3, 4, 0, 1);
    zt::setSample(mask, 6, 4, 0, 1);  // outside the mask's region
    ErrorRecorder recorder;
    zarSet(image, 200);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            const bool set = (x == 1 && y == 1) || (x == 4 && y == 1) || (x == 2 && y == 2);
            EXPECT_EQ(zt::getSample(image, x, y, 0), set ? 200 : 1) << x << "," << y;
        }
}

TEST(Set, MaskedMultiChannelForms) {
    // Pixel order with a coi, and plane order with all channels.
    for (int32_t order : {ZAR_DATA_ORDER_PIXEL, ZAR_DATA_ORDER_PLANE}) {
        Image image(3, 0, ZAR_DEPTH_32S, order, 3, 1, 4, 0);
        if (order == ZAR_DATA_ORDER_PIXEL) image.setRoi(3, 0, 0, 3, 1);
        AttachedMask mask(image, 3, 1, 0);
        zt::setSample(mask, 1, 0, 0, 1);
        ErrorRecorder recorder;
        zarSet(image, 5);
        EXPECT_TRUE(recorder.reports().empty());
        for (int32_t x = 0; x < 3; ++x)
            for (int32_t c = 0; c < 3; ++c) {
                const bool set = x == 1 && (order == ZAR_DATA_ORDER_PLANE || c == 2);
                EXPECT_EQ(zt::getSample(image, x, 0, c), set ? 5 : 0) << order << " " << x << c;
            }
    }
}

TEST(Set, OneBitTwoPixelsFromOffsetFive) {
    Image image(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 1);
    image->imageData[0] = 0;
    image->imageData[1] = 0;
    image.setRoi(0, 5, 0, 2, 1);
    ErrorRecorder recorder;
    zarSet(image, 1);
    EXPECT_EQ(static_cast<uint8_t>(image->imageData[0]), 4 + 2);
    EXPECT_EQ(image->imageData[1], 0);
    image->imageData[0] = static_cast<char>(0xFF);
    zarSet(image, 0);
    EXPECT_EQ(static_cast<uint8_t>(image->imageData[0]), 0xF9);
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(Set, OneBitEveryOffsetAndWidth) {
    for (int32_t x = 0; x < 8; ++x)
        for (int32_t w : {1, 3, 8, 9, 17, 40}) {
            Image image(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PLANE, 64, 2);
            image.randomize(static_cast<uint32_t>(x * 100 + w));
            Image expected = zt::copyImage(image);
            image.setRoi(0, 8 + x, 1, w, 1);
            for (int32_t i = 0; i < w; ++i) zt::setSample(expected, 8 + x + i, 1, 0, 1);
            ErrorRecorder recorder;
            zarSet(image, 1);
            ASSERT_EQ(zt::compareImages(expected, image), "") << x << " " << w;
        }
}

TEST(Set, MaskedOneBitLeavesTheMaskAsItWas) {
    Image image(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 8, 2);
    std::memset(image->imageData, 0xFF, static_cast<size_t>(image->imageSize));
    AttachedMask mask(image, 8, 2, 0);
    mask->imageData[0] = static_cast<char>(0b01010011);
    mask->imageData[mask->widthStep] = static_cast<char>(0b10000000);
    Image maskBefore = zt::copyImage(mask);
    ErrorRecorder recorder;
    zarSet(image, 0);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(static_cast<uint8_t>(image->imageData[0]), 0b10101100);
    EXPECT_EQ(static_cast<uint8_t>(image->imageData[image->widthStep]), 0b01111111);
    EXPECT_EQ(zt::compareImages(maskBefore, mask), "");
    EXPECT_EQ(image->maskImage, mask.get());

    std::memset(image->imageData, 0, static_cast<size_t>(image->imageSize));
    zarSet(image, 5);
    EXPECT_EQ(static_cast<uint8_t>(image->imageData[0]), 0b01010011);
    EXPECT_EQ(image->maskImage, mask.get());
}

TEST(Set, RegionOutsideAndAlphaOnlyAreNoErrors) {
    Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 3);
    image.setRoi(0, 1, 4, 2, 2);
    ErrorRecorder recorder;
    zarSet(image, 9);
    Image alphaOnly(1, 1, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 3);
    zarSet(alphaOnly, 9);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(zt::getSample(image, x, y, 0), 3);
            EXPECT_EQ(zt::getSample(alphaOnly, x, y, 0), 3);
        }
    // With a mask region outside the mask.
    image.setRoi(0, 0, 0, 4, 4);
    AttachedMask mask(image, 4, 4);
    mask.setRoi(4, 0, 1, 1);
    zarSet(image, 9);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(image, 0, 0, 0), 3);
}

TEST(SetTiled, ThreeByTwoTilesInOrder) {
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 40, 20, 8, 8);
    Roi roi{0, 5, 6, 15, 4};  // columns 0..2, rows 0..1
    store.image()->roi = &roi;
    ErrorRecorder recorder;
    zarSet(store.image(), 44);
    EXPECT_TRUE(recorder.reports().empty());
    ASSERT_EQ(store.log().size(), 12u);
    int32_t k = 0;
    for (int32_t row = 0; row < 2; ++row)
        for (int32_t column = 0; column < 3; ++column) {
            EXPECT_EQ(store.log()[k].mode, ZAR_TILE_WRITE);
            EXPECT_EQ(store.log()[k].column, column);
            EXPECT_EQ(store.log()[k].row, row);
            EXPECT_EQ(store.log()[k + 1].mode, ZAR_TILE_RELEASE);
            EXPECT_EQ(store.log()[k + 1].column, column);
            k += 2;
        }
    EXPECT_TRUE(store.balanced());
    Image out(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 40, 20);
    store.storeTo(out);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 40; ++x)
            EXPECT_EQ(zt::getSample(out, x, y, 0), x >= 5 && x < 20 && y >= 6 && y < 10 ? 44 : 0);
}

TEST(SetTiled, MaskMovesWithThePieces) {
    TileStore store(2, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 20, 12, 8, 8);
    Roi roi{2, 3, 1, 20, 20};
    store.image()->roi = &roi;
    Image mask(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 30, 20);
    mask.randomize(8);
    mask.setRoi(0, 4, 2, 30, 30);
    store.image()->maskImage = mask.get();
    ErrorRecorder recorder;
    zarSet(store.image(), -9);
    store.image()->maskImage = nullptr;
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(store.balanced());
    Image out(2, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 20, 12);
    store.storeTo(out);
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t y = 0; y < 12; ++y)
            for (int32_t x = 0; x < 20; ++x) {
                const bool set = c == 1 && x >= 3 && y >= 1 &&
                                 zt::getSample(mask, 4 + x - 3, 2 + y - 1, 0) != 0;
                ASSERT_EQ(zt::getSample(out, x, y, c), set ? -9 : 0) << x << "," << y << "," << c;
            }
}

// -------------------------------------------------------------------- SetFP

TEST(SetFP, WritesTheFloatBits) {
    Image image(2, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 3, 2, 4, 1);
    ErrorRecorder recorder;
    zarSetFP(image, -0.0f);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(image->depth, ZAR_DEPTH_32F);
    for (int32_t k = 0; k < 12; ++k) {
        uint32_t bits;
        std::memcpy(&bits, image->imageData + 4 * k, 4);
        EXPECT_EQ(bits, 0x80000000u);
    }
    image.setRoi(1, 1, 1, 1, 1);
    zarSetFP(image, 2.5f);
    EXPECT_EQ(zt::getSample(image, 1, 1, 0), 2.5);
    EXPECT_EQ(std::bit_cast<uint32_t>(static_cast<float>(zt::getSample(image, 1, 1, 1))),
              0x80000000u);
}

TEST(SetFP, TiledImageGetsTheFloatBits) {
    TileStore store(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 10, 10, 8, 8);
    ErrorRecorder recorder;
    zarSetFP(store.image(), 1.25f);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(store.image()->depth, ZAR_DEPTH_32F);
    EXPECT_EQ(store.count(ZAR_TILE_WRITE), 4);
    Image out(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 10, 10);
    store.storeTo(out);
    EXPECT_EQ(zt::getSample(out, 9, 9, 0), 1.25);
}

// ----------------------------------------------------------------- checks

TEST(SetChecks, InvalidHeader) {
    ErrorRecorder recorder;
    zarSet(nullptr, 1);
    zt::expectOneReport(recorder, STATUS_NULL_HEADER, "zarSet", "Incorrect Image", "zarsce");
    recorder.clear();
    Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
    Image tiledMask(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 4, 4);
    TileInfo info{};
    tiledMask->tileInfo = &info;
    image->maskImage = tiledMask.get();
    zarSet(image, 1);
    image->maskImage = nullptr;
    tiledMask->tileInfo = nullptr;
    zt::expectOneReport(recorder, STATUS_MASK_TILED, "zarSet", "Incorrect Image", "zarsce");
}

TEST(SetChecks, FloatImageNeedsSetFP) {
    Image image(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 2, 2);
    ErrorRecorder recorder;
    zarSet(image, 1);
    zt::expectOneReport(recorder, STATUS_BAD_DEPTH, "zarSet",
                        "You should use zarSetFP for this image", "zarsce");
    EXPECT_EQ(zt::getSample(image, 0, 0, 0), 0);
}

TEST(SetChecks, RefusedTileStopsTheFill) {
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 16, 8, 8);
    store.refuse(2, 0);
    ErrorRecorder recorder;
    zarSet(store.image(), 6);
    zt::expectOneReport(recorder, STATUS_ERROR, "zarSet", "Error get tile to write", "zarsce");
    EXPECT_TRUE(store.balanced());
    EXPECT_EQ(store.count(ZAR_TILE_WRITE), 3);
    EXPECT_EQ(store.count(ZAR_TILE_RELEASE), 2);
    Image out(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 16);
    store.storeTo(out);
    EXPECT_EQ(zt::getSample(out, 15, 7, 0), 6);  // tiles before keep the value
    EXPECT_EQ(zt::getSample(out, 0, 8, 0), 0);
}

TEST(SetChecks, InnerFailureOfMaskedOneBit) {
    TileStore store(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 8, 8, 8);
    store.refuse(1, 0);
    Image mask(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 8, 4, 1);
    store.image()->maskImage = mask.get();
    ErrorRecorder recorder;
    zarSet(store.image(), 1);
    ImageHeader* after = store.image()->maskImage;
    store.image()->maskImage = nullptr;
    EXPECT_EQ(after, mask.get());
    ASSERT_GE(recorder.reports().size(), 2u);
    const zt::Report& last = recorder.reports().back();
    EXPECT_EQ(last.status, STATUS_BACKTRACE);
    EXPECT_EQ(last.func, "zarSet");
    EXPECT_EQ(last.context, "");
    EXPECT_EQ(last.file, "zarsce");
    EXPECT_TRUE(store.balanced());
}

TEST(SetFPChecks, NullHeaderAndWrongDepth) {
    ErrorRecorder recorder;
    zarSetFP(nullptr, 1.0f);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarSetFP", "dstImage==0", "zarsce");
    recorder.clear();
    Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 2, 2, 4, 4);
    zarSetFP(image, 1.0f);
    zt::expectOneReport(recorder, STATUS_BAD_DEPTH, "zarSetFP",
                        "You should use zarSet for this image", "zarsce");
    EXPECT_EQ(image->depth, ZAR_DEPTH_8U);
    EXPECT_EQ(zt::getSample(image, 1, 1, 0), 4);
}

TEST(SetFPChecks, NestedFailureIsBacktracedAndDepthRestored) {
    Image image(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 2, 2);
    image->widthStep = 0;
    ErrorRecorder recorder;
    zarSetFP(image, 1.0f);
    image->widthStep = 8;
    ASSERT_EQ(recorder.reports().size(), 2u);
    EXPECT_EQ(recorder.reports()[0].status, STATUS_BAD_WIDTH_STEP);
    EXPECT_EQ(recorder.reports()[0].func, "zarSet");
    EXPECT_EQ(recorder.reports()[0].context, "Incorrect Image");
    EXPECT_EQ(recorder.reports()[1].status, STATUS_BACKTRACE);
    EXPECT_EQ(recorder.reports()[1].func, "zarSetFP");
    EXPECT_EQ(recorder.reports()[1].context, "");
    EXPECT_EQ(recorder.reports()[1].file, "zarsce");
    EXPECT_EQ(image->depth, ZAR_DEPTH_32F);
}

}  // namespace
