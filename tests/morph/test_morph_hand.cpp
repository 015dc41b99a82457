// Hand-worked dilations and erosions on small images.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/zar_test.h"

namespace {

using zt::ErrorRecorder;
using zt::Image;
using Rows = std::vector<std::vector<int>>;

Image makeImage(int32_t depth, const Rows& rows, int32_t nChannels = 1, int32_t alpha = 0,
                int32_t order = ZAR_DATA_ORDER_PIXEL) {
    Image image(nChannels, alpha, depth, order, static_cast<int32_t>(rows[0].size()),
                static_cast<int32_t>(rows.size()));
    for (int32_t c = 0; c < nChannels; ++c)
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x)
                zt::setSample(image, static_cast<int32_t>(x), static_cast<int32_t>(y), c,
                              rows[y][x]);
    return image;
}

Rows channelOf(const ImageHeader* image, int32_t channel = 0) {
    Rows rows(image->height, std::vector<int>(image->width));
    for (int32_t y = 0; y < image->height; ++y)
        for (int32_t x = 0; x < image->width; ++x)
            rows[y][x] = static_cast<int>(zt::getSample(image, x, y, channel));
    return rows;
}

const Rows kRamp = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};

TEST(MorphHand, Dilate3x3WithConstantZeroBorders) {
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, kRamp);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 0);
    zarDilate(src, dst, 1);
    EXPECT_TRUE(rec.reports().empty());
    const Rows expected = {{6, 7, 8, 8}, {10, 11, 12, 12}, {14, 15, 16, 16}, {14, 15, 16, 16}};
    EXPECT_EQ(channelOf(dst), expected);
    EXPECT_EQ(channelOf(src), kRamp);  // the source is only read
}

TEST(MorphHand, ErodeWithDefaultBordersIsZeroAlongTheEdge) {
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, kRamp);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 99);
    zarErode(src, dst, 1);
    const Rows expected = {{0, 0, 0, 0}, {0, 1, 2, 0}, {0, 5, 6, 0}, {0, 0, 0, 0}};
    EXPECT_EQ(channelOf(dst), expected);
}

TEST(MorphHand, ErodeWithReplicateBorders) {
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, kRamp);
    for (int32_t side = 0; side < 4; ++side) src->borderModes[side] = ZAR_BORDER_REPLICATE;
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 99);
    zarErode(src, dst, 1);
    const Rows expected = {{1, 1, 2, 3}, {1, 1, 2, 3}, {5, 5, 6, 7}, {9, 9, 10, 11}};
    EXPECT_EQ(channelOf(dst), expected);
}

TEST(MorphHand, BorderConstantsPerSide) {
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, {{50, 50, 50}, {50, 50, 50}, {50, 50, 50}});
    // top 60, bottom 70, left 80 (low byte of 336), right 40: only the
    // corners show whose rule wins (top and bottom).
    const int32_t values[4] = {60, 70, 336, 40};
    for (int32_t side = 0; side < 4; ++side) src->borderValues[side] = values[side];
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 3, 3, 4, 0);
    zarDilate(src, dst, 1);
    const Rows expected = {{80, 60, 60}, {80, 50, 50}, {80, 70, 70}};
    EXPECT_EQ(channelOf(dst), expected);
}

TEST(MorphHand, FiveByFive) {
    ErrorRecorder rec;
    Rows rows(7, std::vector<int>(7, 0));
    rows[3][3] = 200;
    rows[0][6] = 90;
    Image src = makeImage(ZAR_DEPTH_8U, rows);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 7, 7, 4, 1);
    zarDilate(src, dst, 2);
    Rows expected(7, std::vector<int>(7, 0));
    for (int y = 0; y <= 2; ++y)
        for (int x = 4; x <= 6; ++x) expected[y][x] = 90;
    for (int y = 1; y <= 5; ++y)
        for (int x = 1; x <= 5; ++x) expected[y][x] = 200;
    EXPECT_EQ(channelOf(dst), expected);

    // Erosion: a dark pixel spreads over its 5 x 5 square; replicate borders.
    Rows bright(7, std::vector<int>(7, 100));
    bright[3][3] = 7;
    bright[6][0] = 30;
    Image src2 = makeImage(ZAR_DEPTH_8U, bright);
    for (int32_t side = 0; side < 4; ++side) src2->borderModes[side] = ZAR_BORDER_REPLICATE;
    zarErode(src2, dst, 2);
    Rows eroded(7, std::vector<int>(7, 100));
    for (int y = 4; y <= 6; ++y)
        for (int x = 0; x <= 2; ++x) eroded[y][x] = 30;
    for (int y = 1; y <= 5; ++y)
        for (int x = 1; x <= 5; ++x) eroded[y][x] = 7;
    EXPECT_EQ(channelOf(dst), eroded);
    EXPECT_TRUE(rec.reports().empty());
}

TEST(MorphHand, ReplicateCornerRegionSeesRowZeroAbove) {
    // A region at the top-left corner; the frame row above is a copy of row
    // 0 (and the frame column left a copy of column 0).
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, {{9, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}});
    for (int32_t side = 0; side < 4; ++side) src->borderModes[side] = ZAR_BORDER_REPLICATE;
    src.setRoi(0, 0, 0, 2, 2);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 5);
    dst.setRoi(0, 0, 0, 2, 2);
    zarDilate(src, dst, 3);
    // Every region pixel sees (0, 0): 9; the rest keeps 5.
    const Rows expected = {{9, 9, 5, 5}, {9, 9, 5, 5}, {5, 5, 5, 5}, {5, 5, 5, 5}};
    EXPECT_EQ(channelOf(dst), expected);
}

TEST(MorphHand, InnerRegionWithNThreeSeesOnlyItsFrame) {
    ErrorRecorder rec;
    Rows rows(12, std::vector<int>(12, 0));
    rows[5][2] = 250;   // two columns left of the region: beyond the frame
    rows[1][5] = 240;   // two rows above: beyond the frame
    rows[4][9] = 230;   // right of the frame column
    rows[10][6] = 220;  // below the frame row
    rows[6][3] = 100;   // on the left frame column
    rows[7][8] = 30;    // on the right frame column
    Image src = makeImage(ZAR_DEPTH_8U, rows);
    src.setRoi(0, 4, 4, 4, 4);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 12, 12, 4, 77);
    dst.setRoi(0, 4, 4, 4, 4);
    zarDilate(src, dst, 3);
    // Columns 4..6 reach the left frame column (x - 3 <= 3), column 7 does
    // not and sees the right frame column; every row reaches rows 3..8.
    Rows expected(12, std::vector<int>(12, 77));
    for (int y = 4; y < 8; ++y) {
        for (int x = 4; x < 7; ++x) expected[y][x] = 100;
        expected[y][7] = 30;
    }
    EXPECT_EQ(channelOf(dst), expected);

    // Erosion of a bright field: the same frame rule with the minimum.
    Rows field(12, std::vector<int>(12, 200));
    field[4][1] = 1;   // beyond the left frame
    field[9][5] = 2;   // below the bottom frame row
    field[8][5] = 50;  // on the bottom frame row
    Image src2 = makeImage(ZAR_DEPTH_8U, field);
    src2.setRoi(0, 4, 4, 4, 4);
    zarErode(src2, dst, 3);
    // Rows 5..7 reach row 8 (y + 3 >= 8), row 4 does not; every column
    // reaches column 5.
    for (int x = 4; x < 8; ++x) expected[4][x] = 200;
    for (int y = 5; y < 8; ++y)
        for (int x = 4; x < 8; ++x) expected[y][x] = 50;
    EXPECT_EQ(channelOf(dst), expected);
    EXPECT_TRUE(rec.reports().empty());
}

// A plain 1-bit image (a mask, or a 1-bit source) from rows of '0' and '1'.
ImageHeader* newMask(const std::vector<std::string>& rows) {
    ImageHeader* mask = zt::newImage(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL,
                                     static_cast<int32_t>(rows[0].size()),
                                     static_cast<int32_t>(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x)
            zt::setSample(mask, static_cast<int32_t>(x), static_cast<int32_t>(y), 0,
                          rows[y][x] == '1');
    return mask;
}

TEST(MorphHand, ZeroDestinationMaskLeavesItUnchanged) {
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, kRamp);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 42);
    dst->maskImage = newMask({"0000", "0000", "0000", "0000"});
    zarDilate(src, dst, 1);
    EXPECT_TRUE(rec.reports().empty());
    EXPECT_EQ(channelOf(dst), Rows(4, std::vector<int>(4, 42)));
    // The caller's mask is kept and not changed.
    ASSERT_NE(dst->maskImage, nullptr);
    EXPECT_EQ(zt::getSample(dst->maskImage, 1, 1, 0), 0);
}

TEST(MorphHand, SourceAndDestinationMasksCombine) {
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, kRamp);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 42);
    // The source mask's region starts at (1, 0): its pixel (1 + i, j) masks
    // region pixel (i, j).
    src->maskImage = newMask({"01111", "00110", "01101", "01111"});
    src->maskImage->roi = zt::newRoi(0, 1, 0, 4, 4);
    dst->maskImage = newMask({"1101", "1111", "1011", "0111"});
    zarDilate(src, dst, 1);
    EXPECT_TRUE(rec.reports().empty());
    // Source mask seen from (1, 0): 1111 / 0110 / 1101 / 1111; AND with the
    // destination mask: 1101 / 0110 / 1001 / 0111.
    const Rows expected = {{6, 7, 42, 8}, {42, 11, 12, 42}, {14, 42, 42, 16}, {42, 15, 16, 16}};
    EXPECT_EQ(channelOf(dst), expected);
}

TEST(MorphHand, MaskCutsTheRegion) {
    // A destination mask smaller than the image limits the common size.
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, kRamp);
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 42);
    dst->maskImage = newMask({"111", "111"});
    zarDilate(src, dst, 1);
    // The working source region is 3 x 2, its frame is column 3 and row 2.
    const Rows expected = {{6, 7, 8, 42}, {10, 11, 12, 42}, {42, 42, 42, 42}, {42, 42, 42, 42}};
    EXPECT_EQ(channelOf(dst), expected);
}

TEST(MorphHand, ChannelOfInterestTwoIntoThree) {
    ErrorRecorder rec;
    Image src(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 3, 3, 4, 0);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            zt::setSample(src, x, y, 0, 200);
            zt::setSample(src, x, y, 1, x + 3 * y + 1);  // 1..9
            zt::setSample(src, x, y, 2, 250);
        }
    src.setRoi(2, 0, 0, 3, 3);
    Image dst(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 3, 3, 4, 11);
    dst.setRoi(3, 0, 0, 3, 3);
    zarErode(src, dst, 1);
    EXPECT_TRUE(rec.reports().empty());
    const Rows expected = {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}};  // constant 0 frame
    EXPECT_EQ(channelOf(dst, 2), expected);
    EXPECT_EQ(channelOf(dst, 0), Rows(3, std::vector<int>(3, 11)));
    EXPECT_EQ(channelOf(dst, 1), Rows(3, std::vector<int>(3, 11)));
    // With replicate borders the centre channel's erosion shows its values.
    for (int32_t side = 0; side < 4; ++side) src->borderModes[side] = ZAR_BORDER_REPLICATE;
    zarDilate(src, dst, 1);
    const Rows dilated = {{5, 6, 6}, {8, 9, 9}, {8, 9, 9}};
    EXPECT_EQ(channelOf(dst, 2), dilated);
}

TEST(MorphHand, ThreeChannelsAgainstFourWithAlpha) {
    for (int32_t order : {ZAR_DATA_ORDER_PIXEL, ZAR_DATA_ORDER_PLANE}) {
        ErrorRecorder rec;
        Image src(3, 0, ZAR_DEPTH_8U, order, 3, 2, 4, 0);
        for (int32_t c = 0; c < 3; ++c) zt::setSample(src, c, c % 2, c, 10 * (c + 1));
        Image dst(4, 4, ZAR_DEPTH_8U, order, 3, 2, 4, 5);
        zarDilate(src, dst, 1);
        EXPECT_TRUE(rec.reports().empty());
        // Channel c has one bright pixel, seen by every pixel of a 3 x 2 image
        // except those two columns away.
        const Rows c0 = {{10, 10, 0}, {10, 10, 0}};
        const Rows c1 = {{20, 20, 20}, {20, 20, 20}};
        const Rows c2 = {{0, 30, 30}, {0, 30, 30}};
        EXPECT_EQ(channelOf(dst, 0), c0);
        EXPECT_EQ(channelOf(dst, 1), c1);
        EXPECT_EQ(channelOf(dst, 2), c2);
        EXPECT_EQ(channelOf(dst, 3), Rows(2, std::vector<int>(3, 5)));  // alpha untouched
    }
}

TEST(MorphHand, RegionsOfDifferentSizes) {
    ErrorRecorder rec;
    Rows rows(5, std::vector<int>(6, 0));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) rows[y][x] = 10 * y + x;
    Image src = makeImage(ZAR_DEPTH_8U, rows);
    src.setRoi(0, 1, 1, 5, 3);  // common size with the destination: 3 x 3
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 6, 6, 4, 255);
    dst.setRoi(0, 2, 0, 3, 6);
    zarErode(src, dst, 1);
    EXPECT_TRUE(rec.reports().empty());
    // Working source region: columns 1..3, rows 1..3; the minimum of the 3 x 3
    // square around source (1 + i, 1 + j) is source (i, j): 10 j + i.
    Rows expected(6, std::vector<int>(6, 255));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) expected[j][2 + i] = 10 * j + i;
    EXPECT_EQ(channelOf(dst), expected);
}

std::string bitsOf(const ImageHeader* image, int32_t y) {
    std::string s;
    for (int32_t x = 0; x < image->width; ++x) s += zt::getSample(image, x, y, 0) ? '1' : '0';
    return s;
}

TEST(MorphHand, OneBitAtOddOffsets) {
    ErrorRecorder rec;
    Image src(newMask({"000000000000000000000", "000010000000110000001", "000000000000000000000"}));
    src.setRoi(0, 3, 0, 13, 3);  // frame columns 2 and 16; bit 20 lies beyond
    const std::string stripes = "101010101010101010101";
    Image dst(newMask({stripes, stripes, stripes}));
    dst.setRoi(0, 5, 0, 13, 3);
    zarDilate(src, dst, 1);
    EXPECT_TRUE(rec.reports().empty());
    // Region bit i sees source columns 2 + i .. 4 + i: the set bits 4, 12 and
    // 13 light i = 0..2 and 8..11, in every row.
    for (int32_t y = 0; y < 3; ++y)
        EXPECT_EQ(bitsOf(dst, y),
                  "10101"
                  "1110000011110"
                  "101")
            << y;

    Image ones(
        newMask({"111111111111111111111", "111111101111111111111", "111111111111111111111"}));
    ones.setRoi(0, 3, 0, 13, 3);
    zarErode(ones, dst, 1);
    // Rows 0 and 2 see the constant-0 rows outside the image; row 1 loses
    // i = 3..5 to the clear bit 7.
    EXPECT_EQ(bitsOf(dst, 0),
              "10101"
              "0000000000000"
              "101");
    EXPECT_EQ(bitsOf(dst, 1),
              "10101"
              "1110001111111"
              "101");
    EXPECT_EQ(bitsOf(dst, 2),
              "10101"
              "0000000000000"
              "101");
    EXPECT_TRUE(rec.reports().empty());
}

TEST(MorphHand, OneBitWithConstantBorderOne) {
    // A 1-bit border constant counts when odd: 3 sets the frame, 2 clears it.
    ErrorRecorder rec;
    Image src(newMask({"1111", "1111"}));
    Image dst(newMask({"0000", "0000"}));
    for (int32_t side = 0; side < 4; ++side) src->borderValues[side] = 3;
    zarErode(src, dst, 1);
    EXPECT_EQ(bitsOf(dst, 0), "1111");
    EXPECT_EQ(bitsOf(dst, 1), "1111");
    src->borderValues[2] = 2;  // left
    zarErode(src, dst, 1);
    EXPECT_EQ(bitsOf(dst, 0), "0111");
    EXPECT_EQ(bitsOf(dst, 1), "0111");
}

TEST(MorphHand, SixteenBit) {
    ErrorRecorder rec;
    const Rows values = {{1000, 2, 3}, {4, 5, 6}, {7, 8, 300}};
    Image src = makeImage(ZAR_DEPTH_16U, values);
    src->borderValues[0] = 70000;  // top: the low 16 bits, 4464
    Image dst(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 3, 3, 4, 0);
    zarDilate(src, dst, 1);
    const Rows dilated = {{4464, 4464, 4464}, {1000, 1000, 300}, {8, 300, 300}};
    EXPECT_EQ(channelOf(dst), dilated);

    Image high = makeImage(ZAR_DEPTH_16U,
                           {{65535, 65535, 65535}, {65535, 40000, 65535}, {65535, 65535, 65535}});
    for (int32_t side = 0; side < 4; ++side) high->borderModes[side] = ZAR_BORDER_REFLECT;
    zarErode(high, dst, 1);
    EXPECT_EQ(channelOf(dst), Rows(3, std::vector<int>(3, 40000)));
    EXPECT_TRUE(rec.reports().empty());
}

TEST(MorphHand, ManyIterationsSeeTheWholeRegionAndFrame) {
    ErrorRecorder rec;
    Image src = makeImage(ZAR_DEPTH_8U, kRamp);
    src.setRoi(0, 1, 1, 2, 2);  // frame: the whole image
    Image dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 0);
    dst.setRoi(0, 0, 0, 2, 2);
    for (int32_t n : {2, 1000, 0x7FFFFFFF}) {
        zarDilate(src, dst, n);
        EXPECT_EQ(channelOf(dst),
                  (Rows{{16, 16, 0, 0}, {16, 16, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}))
            << n;
    }
    EXPECT_TRUE(rec.reports().empty());
}

}  // namespace
