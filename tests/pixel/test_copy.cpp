// zarCopy: hand-worked cases over layouts, masks and tiles, and every check.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "support/arith_support.h"
#include "support/pixel_support.h"
#include "support/zar_test.h"

namespace {

using zt::AttachedMask;
using zt::ErrorRecorder;
using zt::Image;
using zt::TileStore;

constexpr const char* kChannelsDiffer =
    "Number of processed channels of srcImage != Number of processed channels of dstImage";

// Value of sample (x, y, c) of a test pattern: distinct per position.
double patternValue(int32_t x, int32_t y, int32_t c) { return 1 + x + 16 * y + 64 * c; }

void fillPattern(ImageHeader* image) {
    for (int32_t c = 0; c < image->nChannels; ++c)
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x)
                zt::setSample(image, x, y, c, patternValue(x, y, c));
}

// ------------------------------------------------------------- hand cases

TEST(Copy, SameHeaderChangesNothing) {
    Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 6, 4);
    image.randomize(1);
    Image before = zt::copyImage(image);
    ErrorRecorder recorder;
    zarCopy(image, image);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::compareImages(before, image), "");
}

TEST(Copy, CommonRegionFromEachOffset) {
    Image src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 16, 24);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 16, 24, 4, 0);
    fillPattern(src);
    src.setRoi(0, 2, 3, 10, 10);
    dst.setRoi(0, 5, 1, 4, 20);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t y = 0; y < 24; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const bool inside = x >= 5 && x < 9 && y >= 1 && y < 11;
            const double want = inside ? patternValue(x - 5 + 2, y - 1 + 3, 0) : 0;
            ASSERT_EQ(zt::getSample(dst, x, y, 0), want) << x << "," << y;
        }
}

TEST(Copy, ChannelOfInterestIntoOneChannel) {
    Image src(3, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PIXEL, 5, 3);
    Image dst(1, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PIXEL, 5, 3);
    fillPattern(src);
    src.setRoi(2, 0, 0, 5, 3);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(zt::getSample(dst, x, y, 0), patternValue(x, y, 1));

    src->roi->coi = 0;
    Image before = zt::copyImage(dst);
    zarCopy(src, dst);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarCopy", kChannelsDiffer, "zarsce");
    EXPECT_EQ(zt::compareImages(before, dst), "");
}

TEST(Copy, AlphaChannelKeepsItsValues) {
    Image src(4, 4, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 3, 2);
    Image dst(4, 4, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 3, 2, 4, 9);
    fillPattern(src);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t x = 0; x < 3; ++x) {
        for (int32_t c = 0; c < 3; ++c)
            EXPECT_EQ(zt::getSample(dst, x, 1, c), patternValue(x, 1, c));
        EXPECT_EQ(zt::getSample(dst, x, 1, 3), 9);
    }
}

TEST(Copy, PlaneOrderWholeImagesAsOneRun) {
    // Rows without padding and whole planes: one run over all three planes.
    Image src(3, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PLANE, 4, 5);
    Image dst(3, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PLANE, 4, 5);
    ASSERT_EQ(src->widthStep, 16);
    fillPattern(src);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(std::memcmp(src->imageData, dst->imageData, static_cast<size_t>(src->imageSize)), 0);
}

TEST(Copy, OneBitOffsetThreeToSix) {
    Image src(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 24, 1);
    Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 24, 1);
    const uint8_t srcBytes[3] = {0b10110101, 0b01101100, 0b11100011};
    std::memcpy(src->imageData, srcBytes, 3);
    std::memset(dst->imageData, 0xFF, 3);
    dst->imageData[1] = 0;
    src.setRoi(0, 3, 0, 13, 1);
    dst.setRoi(0, 6, 0, 13, 1);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    // Source bits 3..15: 1 0101 0110 1100; destination bits 6..18 take them.
    // dst: 111111 10 | 1010110 1 | 100 11111
    EXPECT_EQ(static_cast<uint8_t>(dst->imageData[0]), 0b11111110);
    EXPECT_EQ(static_cast<uint8_t>(dst->imageData[1]), 0b10101101);
    EXPECT_EQ(static_cast<uint8_t>(dst->imageData[2]), 0b10011111);
}

TEST(Copy, OneBitEveryOffsetPair) {
    zt::Rng rng(4);
    for (int32_t sx = 0; sx < 8; ++sx)
        for (int32_t dx = 0; dx < 8; ++dx) {
            Image src(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 120, 2);
            Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PLANE, 120, 2);
            src.randomize(rng.next());
            dst.randomize(rng.next());
            const int32_t w = rng.range(1, 100);
            src.setRoi(0, 8 + sx, 0, w, 2);
            dst.setRoi(0, dx, 0, w, 2);
            Image expected = zt::copyImage(dst);
            for (int32_t y = 0; y < 2; ++y)
                for (int32_t i = 0; i < w; ++i)
                    zt::setSample(expected, dx + i, y, 0, zt::getSample(src, 8 + sx + i, y, 0));
            ErrorRecorder recorder;
            zarCopy(src, dst);
            EXPECT_TRUE(recorder.reports().empty());
            ASSERT_EQ(zt::compareImages(expected, dst), "") << sx << " -> " << dx << " w " << w;
        }
}

TEST(Copy, DifferentMasksCopyWhereBothAreSet) {
    Image src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 1);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 1, 4, 0);
    fillPattern(src);
    AttachedMask srcMask(src, 4, 1, 0), dstMask(dst, 4, 1, 0);
    srcMask->imageData[0] = static_cast<char>(0b11000000);  // pixels 0, 1
    dstMask->imageData[0] = static_cast<char>(0b01100000);  // pixels 1, 2
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);
    EXPECT_EQ(zt::getSample(dst, 1, 0, 0), patternValue(1, 0, 0));
    EXPECT_EQ(zt::getSample(dst, 2, 0, 0), 0);
    EXPECT_EQ(src->maskImage, srcMask.get());
    EXPECT_EQ(dst->maskImage, dstMask.get());
}

TEST(Copy, CombinedMaskPairsEachMaskRegion) {
    Image src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 6, 1);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 6, 1, 4, 0);
    fillPattern(src);
    AttachedMask srcMask(src, 8, 1, 0), dstMask(dst, 8, 1, 0);
    srcMask->imageData[0] = static_cast<char>(0b00111111);  // from bit 2 on: 1 1 1 1 1 1
    srcMask.setRoi(2, 0, 6, 1);
    dstMask->imageData[0] = static_cast<char>(0b00010100);  // from bit 1 on: 0 0 1 0 1 0 0
    dstMask.setRoi(1, 0, 7, 1);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t x = 0; x < 6; ++x)
        EXPECT_EQ(zt::getSample(dst, x, 0, 0), x == 2 || x == 4 ? patternValue(x, 0, 0) : 0) << x;
}

TEST(Copy, SharedMask) {
    Image src(2, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 8, 2);
    Image dst(2, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 8, 2, 4, 0);
    fillPattern(src);
    AttachedMask mask(src, 8, 2, 0);
    mask->imageData[mask->widthStep] = static_cast<char>(0b10000001);
    dst->maskImage = mask.get();
    ErrorRecorder recorder;
    zarCopy(src, dst);
    dst->maskImage = nullptr;
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 8; ++x)
                EXPECT_EQ(zt::getSample(dst, x, y, c),
                          y == 1 && (x == 0 || x == 7) ? patternValue(x, y, c) : 0);
}

TEST(Copy, MaskedOneBitTakesSourceBitsUnderTheMask) {
    Image src(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 8, 1);
    Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 8, 1);
    src->imageData[0] = static_cast<char>(0b10100101);
    dst->imageData[0] = static_cast<char>(0b11110000);
    AttachedMask mask(dst, 8, 1, 0);
    mask->imageData[0] = static_cast<char>(0b00111100);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    // Bits 2..5 from the source (1 0 0 1), the rest kept (11 .... 00).
    EXPECT_EQ(static_cast<uint8_t>(dst->imageData[0]), 0b11100100);
    EXPECT_EQ(static_cast<uint8_t>(mask->imageData[0]), 0b00111100);
    EXPECT_EQ(dst->maskImage, mask.get());
    EXPECT_EQ(src->maskImage, nullptr);
}

TEST(Copy, MaskedOneBitWithSourceMaskAtOffsets) {
    Image src(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 1);
    Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PLANE, 16, 1);
    src->imageData[0] = static_cast<char>(0xFF);
    src->imageData[1] = static_cast<char>(0xFF);
    src.setRoi(0, 3, 0, 10, 1);
    dst.setRoi(0, 5, 0, 10, 1);
    AttachedMask mask(src, 16, 1, 0);
    mask->imageData[0] = static_cast<char>(0b00000101);  // from bit 4 on: 0 1 0 1
    mask.setRoi(4, 0, 4, 1);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    // Region 4 wide: destination pixels 6 and 8 set.
    EXPECT_EQ(static_cast<uint8_t>(dst->imageData[0]), 0b00000010);
    EXPECT_EQ(static_cast<uint8_t>(dst->imageData[1]), 0b10000000);
    EXPECT_EQ(src->maskImage, mask.get());
}

TEST(Copy, RegionOutsideIsNoError) {
    Image src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 5);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 0);
    src.setRoi(0, 4, 0, 2, 2);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);
    // A mask region outside its mask stops the copy as well.
    src.setRoi(0, 0, 0, 2, 2);
    AttachedMask mask(dst, 4, 4);
    mask.setRoi(1, 4, 1, 1);
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);
}

TEST(Copy, OrdersMayDifferForOneBitAndSingleChannels) {
    Image src(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 5, 2);
    Image dst(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 5, 2);
    fillPattern(src);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::compareImages(src, dst), "");
}

// ------------------------------------------------------------------ tiles

TEST(CopyTiled, SourceTilesAreReadThenReleasedRowsOuter) {
    Image plain(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 20, 20);
    fillPattern(plain);
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 20, 20, 8, 8);
    store.loadFrom(plain);
    Roi roi{0, 6, 7, 4, 2};  // columns 0..1, rows 0..1
    store.image()->roi = &roi;
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 2);
    ErrorRecorder recorder;
    zarCopy(store.image(), dst);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(zt::getSample(dst, x, y, 0), patternValue(6 + x, 7 + y, 0));
    const std::vector<std::array<int32_t, 3>> want = {
        {0, 0, ZAR_TILE_READ},    {0, 0, ZAR_TILE_RELEASE}, {1, 0, ZAR_TILE_READ},
        {1, 0, ZAR_TILE_RELEASE}, {0, 1, ZAR_TILE_READ},    {0, 1, ZAR_TILE_RELEASE},
        {1, 1, ZAR_TILE_READ},    {1, 1, ZAR_TILE_RELEASE}};
    ASSERT_EQ(store.log().size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(store.log()[k].column, want[k][0]);
        EXPECT_EQ(store.log()[k].row, want[k][1]);
        EXPECT_EQ(store.log()[k].mode, want[k][2]);
    }
    EXPECT_TRUE(store.balanced());
}

TEST(CopyTiled, BothTiledWithDifferentGrids) {
    Image plain(3, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 30, 20);
    fillPattern(plain);
    TileStore src(3, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 30, 20, 8, 16);
    src.loadFrom(plain);
    TileStore dst(3, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 25, 25, 16, 8);
    Roi srcRoi{0, 3, 2, 27, 18}, dstRoi{0, 5, 4, 30, 30};
    src.image()->roi = &srcRoi;
    dst.image()->roi = &dstRoi;
    ErrorRecorder recorder;
    zarCopy(src.image(), dst.image());
    EXPECT_TRUE(recorder.reports().empty());
    Image out(3, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 25, 25);
    dst.storeTo(out);
    for (int32_t c = 0; c < 3; ++c)
        for (int32_t y = 0; y < 25; ++y)
            for (int32_t x = 0; x < 25; ++x) {
                const bool inside = x >= 5 && y >= 4 && y < 4 + 18;
                ASSERT_EQ(zt::getSample(out, x, y, c), inside ? patternValue(x - 2, y - 2, c) : 0)
                    << x << "," << y << "," << c;
            }
    EXPECT_TRUE(src.balanced());
    EXPECT_TRUE(dst.balanced());
    EXPECT_EQ(dst.count(ZAR_TILE_READ), 0);
    EXPECT_EQ(src.count(ZAR_TILE_WRITE), 0);
}

TEST(CopyTiled, PlainSourceIntoTiledDestinationWithMask) {
    Image src(1, 0, ZAR_DEPTH_32S, ZAR_DATA_ORDER_PIXEL, 20, 10);
    fillPattern(src);
    TileStore dst(1, 0, ZAR_DEPTH_32S, ZAR_DATA_ORDER_PIXEL, 20, 10, 8, 8);
    AttachedMask mask(src, 20, 10, 0);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 20; ++x) zt::setSample(mask, x, y, 0, (x + y) % 3 == 0);
    ErrorRecorder recorder;
    zarCopy(src, dst.image());
    EXPECT_TRUE(recorder.reports().empty());
    Image out(1, 0, ZAR_DEPTH_32S, ZAR_DATA_ORDER_PIXEL, 20, 10);
    dst.storeTo(out);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 20; ++x)
            EXPECT_EQ(zt::getSample(out, x, y, 0), (x + y) % 3 == 0 ? patternValue(x, y, 0) : 0);
    EXPECT_TRUE(dst.balanced());
    EXPECT_EQ(dst.count(ZAR_TILE_WRITE), 6);
}

// ----------------------------------------------------------------- checks

TEST(CopyChecks, InvalidHeaders) {
    Image good(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
    {
        ErrorRecorder recorder;
        zarCopy(nullptr, good);
        zt::expectOneReport(recorder, STATUS_NULL_HEADER, "zarCopy", "Incorrect Image", "zarsce");
    }
    {
        ErrorRecorder recorder;
        zarCopy(good, nullptr);
        zt::expectOneReport(recorder, STATUS_NULL_HEADER, "zarCopy", "Incorrect Image", "zarsce");
    }
    {
        Image bad(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
        bad->widthStep = 0;
        ErrorRecorder recorder;
        zarCopy(good, bad);
        zt::expectOneReport(recorder, STATUS_BAD_WIDTH_STEP, "zarCopy", "Incorrect Image",
                            "zarsce");
    }
    {
        Image byteMask(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
        good->maskImage = byteMask.get();
        ErrorRecorder recorder;
        zarCopy(good, good);
        good->maskImage = nullptr;
        zt::expectOneReport(recorder, STATUS_MASK_BAD_DEPTH, "zarCopy", "Incorrect Image",
                            "zarsce");
    }
}

TEST(CopyChecks, EveryRelationFailureIsReported) {
    Image src(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 1);
    Image dst(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 4, 4, 4, 0);
    dst->origin = ZAR_ORIGIN_BL;
    ErrorRecorder recorder;
    zarCopy(src, dst);
    const char* want[] = {"srcImage->depth != dstImage->depth",
                          "srcImage->origin != dstImage->origin",
                          "srcImage->dataOrder != dstImage->dataOrder"};
    ASSERT_EQ(recorder.reports().size(), 3u);
    for (int k = 0; k < 3; ++k) {
        const zt::Report& r = recorder.reports()[k];
        EXPECT_EQ(r.status, STATUS_BAD_ARG);
        EXPECT_EQ(r.func, "zarCopy");
        EXPECT_EQ(r.context, want[k]);
        EXPECT_EQ(r.file, "zarsce");
        EXPECT_GT(r.line, 0);
    }
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);
}

TEST(CopyChecks, DepthAndOriginGiveTwoReportsAndNoCopy) {
    Image src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 1);
    Image dst(1, 0, ZAR_DEPTH_8S, ZAR_DATA_ORDER_PLANE, 4, 4, 4, 0);
    dst->origin = ZAR_ORIGIN_BL;
    ErrorRecorder recorder;
    zarCopy(src, dst);
    ASSERT_EQ(recorder.reports().size(), 2u);  // single channels: no order check
    EXPECT_EQ(recorder.reports()[0].context, "srcImage->depth != dstImage->depth");
    EXPECT_EQ(recorder.reports()[1].context, "srcImage->origin != dstImage->origin");
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);
}

TEST(CopyChecks, OrderCheckSkippedForOneBit) {
    Image src(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 9, 2, 4, 1);
    Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PLANE, 9, 2, 4, 0);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::compareImages(src, dst), "");
}

TEST(CopyChecks, EarlierFailureStopsTheCopy) {
    Image src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 1);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 0);
    ErrorRecorder recorder;
    zarSetStatus(STATUS_BAD_ARG);
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);
}

TEST(CopyChecks, RefusedSourceTile) {
    Image plain(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 8);
    fillPattern(plain);
    TileStore src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 8, 8, 8);
    src.loadFrom(plain);
    src.refuse(1, 0);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 8);
    ErrorRecorder recorder;
    zarCopy(src.image(), dst);
    zt::expectOneReport(recorder, STATUS_ERROR, "zarCopy", "Error get tile to read", "zarsce");
    EXPECT_TRUE(src.balanced());
    // The first tile stays copied; the copy stopped at the refused one.
    EXPECT_EQ(zt::getSample(dst, 7, 7, 0), patternValue(7, 7, 0));
    EXPECT_EQ(zt::getSample(dst, 16, 0, 0), 0);
    EXPECT_EQ(src.count(ZAR_TILE_READ), 2);
}

TEST(CopyChecks, RefusedDestinationTile) {
    Image src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 8, 4, 3);
    TileStore dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 8, 8, 8);
    dst.refuse(0, 0);
    ErrorRecorder recorder;
    zarCopy(src, dst.image());
    zt::expectOneReport(recorder, STATUS_ERROR, "zarCopy", "Error get tile to write", "zarsce");
    EXPECT_TRUE(dst.balanced());
    EXPECT_EQ(dst.count(ZAR_TILE_WRITE), 1);
}

TEST(CopyChecks, RefusedTileOfTiledSourceIntoTiledDestination) {
    TileStore src(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 16, 16, 8, 8);
    TileStore dst(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 16, 16, 8, 8);
    src.refuse(1, 1);
    ErrorRecorder recorder;
    zarCopy(src.image(), dst.image());
    zt::expectBacktrace(recorder, "zarCopy", "zarsce");
    EXPECT_TRUE(src.balanced());
    EXPECT_TRUE(dst.balanced());
    EXPECT_EQ(dst.count(ZAR_TILE_WRITE), 4);
    EXPECT_EQ(dst.count(ZAR_TILE_RELEASE), 4);
}

TEST(CopyChecks, InnerFailureOfMaskedOneBitRestoresHeaders) {
    TileStore src(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 8, 8, 8);
    src.refuse(0, 0);
    Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 8);
    AttachedMask mask(dst, 16, 8);
    ErrorRecorder recorder;
    zarCopy(src.image(), dst);
    ASSERT_GE(recorder.reports().size(), 2u);
    const zt::Report& last = recorder.reports().back();
    EXPECT_EQ(last.status, STATUS_BACKTRACE);
    EXPECT_EQ(last.func, "zarCopy");
    EXPECT_EQ(last.context, "");
    EXPECT_EQ(last.file, "zarsce");
    EXPECT_EQ(dst->maskImage, mask.get());
    EXPECT_EQ(src.image()->maskImage, nullptr);
    EXPECT_EQ(mask->maskImage, nullptr);
    EXPECT_TRUE(src.balanced());
}

TEST(CopyTiled, AlphaOnlyImagesCopyNothing) {
    TileStore src(1, 1, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 8, 8);
    src.fillBytes(7);
    Image dst(1, 1, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 4, 0);
    ErrorRecorder recorder;
    zarCopy(src.image(), dst);
    Image plain(1, 1, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 4, 7);
    zarCopy(plain, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(dst, 3, 3, 0), 0);
    EXPECT_TRUE(src.log().empty());
}

TEST(CopyChecks, ChannelCountsOnTilesAreReportedOnce) {
    TileStore src(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 16, 8, 8);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 16, 4, 0);
    ErrorRecorder recorder;
    zarCopy(src.image(), dst);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarCopy", kChannelsDiffer, "zarsce");
    EXPECT_TRUE(src.balanced());
    EXPECT_EQ(zt::getSample(dst, 0, 0, 0), 0);
}

}  // namespace
