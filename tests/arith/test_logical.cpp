// zarOr, zarAnd and zarXorS: hand-worked cases, 1-bit rows at every bit
// offset, masks, tiles, every check with its report, randomized comparison
// with a naive per-pixel reference.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/arith_support.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

using zt::Image;

uint8_t* row(ImageHeader* image, int32_t y) {
    return reinterpret_cast<uint8_t*>(image->imageData) + static_cast<size_t>(y) * image->widthStep;
}

void setBytes(ImageHeader* image, int32_t y, std::initializer_list<uint8_t> bytes) {
    std::memcpy(row(image, y), bytes.begin(), bytes.size());
}

std::vector<uint8_t> bytesOf(ImageHeader* image, int32_t y, size_t count) {
    return std::vector<uint8_t>(row(image, y), row(image, y) + count);
}

std::vector<uint8_t> allBytes(const ImageHeader* image) {
    return std::vector<uint8_t>(image->imageData, image->imageData + image->imageSize);
}

// ------------------------------------------------------------ hand-worked

TEST(LogicalOr, OneBitRowsAtBitOffsetsThreeAndFive) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_1U, 0, 16, 1), b(1, 0, ZAR_DEPTH_1U, 0, 16, 1),
        d(1, 0, ZAR_DEPTH_1U, 0, 16, 1);
    // A bits 3..10: 1 0 0 1 0 0 1 1;  B bits 5..12: 1 0 0 1 0 0 0 0.
    setBytes(a, 0, {0xB2, 0x6C});
    setBytes(b, 0, {0x04, 0x81});
    setBytes(d, 0, {0x00, 0xAA});
    a.setRoi(0, 3, 0, 8, 1);
    b.setRoi(0, 5, 0, 8, 1);
    d.setRoi(0, 0, 0, 6, 1);
    zarOr(a, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    // Six bits 1 0 0 1 0 0, bits 6 and 7 and the second byte keep their values.
    EXPECT_EQ(bytesOf(d, 0, 2), (std::vector<uint8_t>{0x90, 0xAA}));

    setBytes(d, 0, {0xFF, 0xFF});
    d.setRoi(0, 6, 0, 6, 1);
    zarOr(a, b, d);
    EXPECT_EQ(bytesOf(d, 0, 2), (std::vector<uint8_t>{0xFE, 0x4F}));
}

TEST(LogicalAnd, OneBitRowsAcrossManyBytes) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_1U, 0, 80, 2, 4, 0), b(1, 0, ZAR_DEPTH_1U, 0, 80, 2, 4, 0),
        d(1, 0, ZAR_DEPTH_1U, 0, 80, 2, 4, 0);
    // A: all ones from bit 1; B: alternate bits from bit 2; D region from bit 7.
    std::memset(a->imageData, 0xFF, a->imageSize);
    std::memset(b->imageData, 0xAA, b->imageSize);
    std::memset(d->imageData, 0x00, d->imageSize);
    a.setRoi(0, 1, 0, 70, 2);
    b.setRoi(0, 2, 0, 70, 2);
    d.setRoi(0, 7, 1, 70, 1);
    zarAnd(a, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    // B bit 2 + i is 1 for even i: D bit 7 + i = 1 for even i, i < 70.
    for (int32_t x = 0; x < 80; ++x) {
        const int32_t i = x - 7;
        const double expected = (i >= 0 && i < 70 && i % 2 == 0) ? 1 : 0;
        EXPECT_EQ(zt::getSample(d.get(), x, 1, 0), expected) << x;
        EXPECT_EQ(zt::getSample(d.get(), x, 0, 0), 0) << x;
    }
}

TEST(LogicalXorS, InvertsAOneBitRegionAndRestoresIt) {
    zt::ErrorRecorder recorder;
    Image m(1, 0, ZAR_DEPTH_1U, 0, 30, 3);
    m.randomize(5);
    const std::vector<uint8_t> original = allBytes(m);
    Image before(1, 0, ZAR_DEPTH_1U, 0, 30, 3);
    std::memcpy(before->imageData, m->imageData, m->imageSize);
    m.setRoi(0, 3, 1, 10, 5);
    zarXorS(m, m, 1);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 30; ++x) {
            const bool inside = x >= 3 && x < 13 && y >= 1;
            const double old = zt::getSample(before.get(), x, y, 0);
            EXPECT_EQ(zt::getSample(m.get(), x, y, 0), inside ? 1 - old : old) << x << "," << y;
        }
    zarXorS(m, m, 1);
    EXPECT_EQ(allBytes(m), original);
}

TEST(LogicalXorS, EvenConstantLeavesOneBitImagesAsTheyAre) {
    zt::ErrorRecorder recorder;
    Image s(1, 0, ZAR_DEPTH_1U, 0, 21, 4), d(1, 0, ZAR_DEPTH_1U, 0, 21, 4);
    s.randomize(9);
    d.setRoi(0, 2, 0, 15, 4);
    zarXorS(s, d, 2);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 21; ++x)
            EXPECT_EQ(zt::getSample(d.get(), x, y, 0),
                      x >= 2 && x < 17 ? zt::getSample(s.get(), x - 2, y, 0) : 0);
}

TEST(LogicalXorS, ConstantTakesTheLowBitsThatFitTheSample) {
    zt::ErrorRecorder recorder;
    struct Case {
        int32_t depth, value;
        double in, out;
    } cases[] = {
        {ZAR_DEPTH_8U, 0x1FF, 0x12, 0xED},
        {ZAR_DEPTH_8S, 0x180, 5, -123},  // 5 ^ 0x80 = 0x85
        {ZAR_DEPTH_16U, 0x12345678, 0x00FF, 0x5687},
        {ZAR_DEPTH_16S, -1, 0, -1},
        {ZAR_DEPTH_32S, 0x0F0F0F0F, -1, static_cast<int32_t>(0xF0F0F0F0)},
    };
    for (const Case& c : cases) {
        Image s(1, 0, c.depth, 0, 5, 2), d(1, 0, c.depth, 0, 5, 2);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 5; ++x) zt::setSample(s.get(), x, y, 0, c.in);
        s.setRoi(0, 1, 0, 3, 2);  // not the whole image: the kernel path
        d.setRoi(0, 1, 0, 3, 2);
        zarXorS(s, d, c.value);
        EXPECT_EQ(zt::getSample(d.get(), 2, 1, 0), c.out) << std::hex << c.depth;
        EXPECT_EQ(zt::getSample(d.get(), 0, 1, 0), 0) << std::hex << c.depth;
    }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(LogicalXorS, WholeBufferFormCoversRowPadding) {
    zt::ErrorRecorder recorder;
    // 3 bytes of pixels per row, widthStep 4: the padding byte is XORed too.
    Image s(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 0x11), d(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 0);
    zarXorS(s, d, 0xF0);
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(8, 0xE1));
}

TEST(LogicalOr, WholeBufferFormCoversRowPadding) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_16U, 0, 1, 3, 4, 0x0102), b(1, 0, ZAR_DEPTH_16U, 0, 1, 3, 4, 0x3040),
        d(1, 0, ZAR_DEPTH_16U, 0, 1, 3, 4, 0);
    zarOr(a, b, d);
    for (size_t i = 0; i < 12; i += 2) {
        EXPECT_EQ(static_cast<uint8_t>(d->imageData[i]), 0x42) << i;
        EXPECT_EQ(static_cast<uint8_t>(d->imageData[i + 1]), 0x31) << i;
    }
}

TEST(LogicalOr, OneBitImagesOfDifferentDataOrdersAreAccepted) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_1U, 0, 12, 2, 4, 0), b(1, 0, ZAR_DEPTH_1U, 1, 12, 2, 4, 1),
        d(1, 0, ZAR_DEPTH_1U, 1, 12, 2, 4, 0);
    zarOr(a, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(d.get(), 11, 1, 0), 1);
}

TEST(LogicalAnd, MasksOnSourceAndDestinationBothSelect) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_8U, 0, 4, 1, 4, 0xF0), b(1, 0, ZAR_DEPTH_8U, 0, 4, 1, 4, 0x3C),
        d(1, 0, ZAR_DEPTH_8U, 0, 4, 1, 4, 0x77);
    zt::AttachedMask maskA(a, 4, 1), maskD(d, 8, 1);
    setBytes(maskA, 0, {0xA0});  // 1 0 1 0
    setBytes(maskD, 0, {0x0C});  // 0 0 0 0 1 1 0 0, from bit 2: 0 0 1 1
    maskD.setRoi(2, 0, 4, 1);
    zarAnd(a, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(bytesOf(d, 0, 4), (std::vector<uint8_t>{0x77, 0x77, 0x30, 0x77}));
}

TEST(LogicalOr, ChannelOfInterestAndAlphaSamples) {
    zt::ErrorRecorder recorder;
    // A: 3 channels, coi 2; B: one channel; D: 4 channels with alpha, coi 3.
    Image a(3, 0, ZAR_DEPTH_16S, 0, 3, 2, 4, 0), b(1, 0, ZAR_DEPTH_16S, 0, 3, 2, 4, 0),
        d(4, 4, ZAR_DEPTH_16S, 0, 3, 2, 4, 0x0101);
    for (int32_t x = 0; x < 3; ++x)
        for (int32_t c = 0; c < 3; ++c) zt::setSample(a.get(), x, 1, c, (c + 1) << 12);
    zt::setSample(b.get(), 2, 1, 0, 0x10);
    a.setRoi(2, 0, 0, 3, 2);
    b.setRoi(0, 0, 0, 3, 2);
    d.setRoi(3, 0, 0, 3, 2);
    zarOr(a, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(d.get(), 2, 1, 2), 0x2010);
    EXPECT_EQ(zt::getSample(d.get(), 1, 1, 2), 0x2000);
    EXPECT_EQ(zt::getSample(d.get(), 0, 0, 2), 0);
    for (int32_t c : {0, 1, 3}) EXPECT_EQ(zt::getSample(d.get(), 2, 1, c), 0x0101) << c;
}

// ------------------------------------------------------- bit offsets 0..7

// Every destination and source bit offset, widths around word and byte
// limits, with and without a mask; compared with the naive reference.
TEST(LogicalBitRows, EveryBitOffsetOnBothSides) {
    for (int32_t masked = 0; masked < 2; ++masked)
        for (int32_t offD = 0; offD < 8; ++offD)
            for (int32_t offA = 0; offA < 8; ++offA)
                for (int32_t width : {1, 7, 8, 9, 56, 63, 64, 65, 121, 130}) {
                    const int32_t offB = (offA + 3 * offD + 1) % 8;
                    const int32_t offM = (offA + offD) % 8;
                    zt::OperandSpec sa, sb, sd;
                    sa.depth = sb.depth = sd.depth = ZAR_DEPTH_1U;
                    sa.width = sb.width = sd.width = 140;
                    sa.height = sb.height = sd.height = 2;
                    sa.hasRoi = sb.hasRoi = sd.hasRoi = true;
                    sa.roi = {0, offA, 0, width, 2};
                    sb.roi = {0, offB + 8, 0, width, 2};
                    sd.roi = {0, offD, 1, width, 1};
                    sd.hasMask = masked != 0;
                    sd.maskWidth = 140;
                    sd.maskHeight = 1;
                    sd.maskHasRoi = true;
                    sd.maskRoi = {0, offM, 0, 140, 1};
                    const uint32_t seed = static_cast<uint32_t>(offD * 97 + offA * 13 + width);
                    for (zt::RefOp op :
                         {zt::RefOp::logicalOr, zt::RefOp::logicalAnd, zt::RefOp::xorS}) {
                        zt::Operand a(sa, seed), b(sb, seed + 1), d(sd, seed + 2);
                        Image expected = zt::copyImage(d.plain());
                        zt::referenceOp(op, zt::viewOf(a, a.plain()), zt::viewOf(b, b.plain()),
                                        zt::viewOf(d, d.plain()), 1, expected);
                        if (op == zt::RefOp::logicalOr) zarOr(a.header(), b.header(), d.header());
                        if (op == zt::RefOp::logicalAnd) zarAnd(a.header(), b.header(), d.header());
                        if (op == zt::RefOp::xorS) zarXorS(a.header(), d.header(), 1);
                        ASSERT_EQ(zt::compareImages(expected, d.plain()), "")
                            << "op " << static_cast<int>(op) << " masked " << masked << " offD "
                            << offD << " offA " << offA << " offB " << offB << " width " << width;
                    }
                }
}

// ------------------------------------------------------------------ tiles

TEST(LogicalTiles, OrOfATiledSourceIntoATiledDestination) {
    zt::OperandSpec sa, sb, sd;
    sa.depth = sb.depth = sd.depth = ZAR_DEPTH_8U;
    sa.width = sb.width = sd.width = 40;
    sa.height = sb.height = sd.height = 20;
    sa.tiled = true;
    sa.tileWidth = 16;
    sa.tileHeight = 8;
    sd.tiled = true;
    sd.tileWidth = 8;
    sd.tileHeight = 16;
    sd.hasRoi = true;
    sd.roi = {0, 3, 5, 30, 14};
    zt::Operand a(sa, 1), b(sb, 2), d(sd, 3);
    EXPECT_EQ(zt::runAgainstReference(zt::RefOp::logicalOr, a, b, d), "");
    EXPECT_EQ(a.store()->count(ZAR_TILE_WRITE), 0);
    EXPECT_EQ(d.store()->count(ZAR_TILE_READ), 0);
    EXPECT_GT(d.store()->count(ZAR_TILE_WRITE), 0);
}

TEST(LogicalTiles, InPlaceXorOnATiledImageAsksForWriteTilesOnly) {
    zt::ErrorRecorder recorder;
    zt::OperandSpec s;
    s.depth = ZAR_DEPTH_1U;
    s.width = 50;
    s.height = 17;
    s.tiled = true;
    s.tileWidth = 16;
    s.tileHeight = 8;
    s.hasRoi = true;
    s.roi = {0, 5, 3, 40, 12};
    zt::Operand m(s, 4);
    Image before = m.snapshot();
    zarXorS(m.header(), m.header(), 1);
    EXPECT_TRUE(recorder.reports().empty());
    Image after = m.snapshot();
    for (int32_t y = 0; y < 17; ++y)
        for (int32_t x = 0; x < 50; ++x) {
            const bool inside = x >= 5 && x < 45 && y >= 3 && y < 15;
            const double old = zt::getSample(before.get(), x, y, 0);
            ASSERT_EQ(zt::getSample(after.get(), x, y, 0), inside ? 1 - old : old);
        }
    EXPECT_EQ(m.store()->count(ZAR_TILE_READ), 0);
    // Tile rows 0..1 and columns 0..2 of the region: 2 rows of 3 tiles.
    EXPECT_EQ(m.store()->count(ZAR_TILE_WRITE), 6);
    EXPECT_EQ(m.store()->count(ZAR_TILE_RELEASE), 6);
    EXPECT_TRUE(m.store()->balanced());
}

// --------------------------------------------------------------- checks

using BinaryOp = void(ZAR_STDCALL*)(ImageHeader*, ImageHeader*, ImageHeader*);
struct BinaryName {
    BinaryOp fn;
    const char* func;
    const char* file;
};
const BinaryName kBinaryOps[] = {{zarOr, "zarOr", "zaror"}, {zarAnd, "zarAnd", "zarand"}};

TEST(LogicalChecks, InvalidOperandsInValidationOrder) {
    for (const BinaryName& op : kBinaryOps) {
        zt::ErrorRecorder recorder;
        Image a(1, 0, ZAR_DEPTH_8U, 0, 4, 4), b(1, 0, ZAR_DEPTH_8U, 0, 4, 4),
            d(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
        op.fn(nullptr, b, d);
        zt::expectOneReport(recorder, STATUS_NULL_HEADER, op.func, "Incorrect Image", op.file);
        recorder.clear();
        op.fn(a, nullptr, d);
        zt::expectOneReport(recorder, STATUS_NULL_HEADER, op.func, "Incorrect Image", op.file);
        recorder.clear();
        op.fn(a, b, nullptr);
        zt::expectOneReport(recorder, STATUS_NULL_HEADER, op.func, "Incorrect Image", op.file);
        recorder.clear();
        // A bad source A is reported before a bad destination.
        a->nChannels = 0;
        d->align = 3;
        op.fn(a, b, d);
        zt::expectOneReport(recorder, STATUS_BAD_CHANNELS, op.func, "Incorrect Image", op.file);
        recorder.clear();
        a->nChannels = 1;
        op.fn(a, b, d);
        zt::expectOneReport(recorder, STATUS_BAD_ALIGN, op.func, "Incorrect Image", op.file);
        recorder.clear();
        d->align = 4;
        // A mask of the wrong depth makes its image invalid.
        Image mask(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
        b->maskImage = mask;
        op.fn(a, b, d);
        zt::expectOneReport(recorder, STATUS_MASK_BAD_DEPTH, op.func, "Incorrect Image", op.file);
        b->maskImage = nullptr;
    }
}

TEST(LogicalChecks, RelationsInOrderWithOneReport) {
    for (const BinaryName& op : kBinaryOps) {
        zt::ErrorRecorder recorder;
        Image a8(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 7), b8(1, 0, ZAR_DEPTH_8U, 0, 4, 4),
            d8(1, 0, ZAR_DEPTH_8U, 0, 4, 4), a16(1, 0, ZAR_DEPTH_16U, 0, 4, 4),
            b8s(1, 0, ZAR_DEPTH_8S, 0, 4, 4), plane8(1, 0, ZAR_DEPTH_8U, 1, 4, 4),
            three8(3, 0, ZAR_DEPTH_8U, 0, 4, 4), threePlane(3, 0, ZAR_DEPTH_8U, 1, 4, 4);
        const std::vector<uint8_t> unchanged = allBytes(d8);
        struct Case {
            ImageHeader *a, *b;
            const char* context;
        } cases[] = {
            // Several failures at once: only the first is reported.
            {a16, b8s, "(srcImageA->depth != dstImage->depth)"},
            {a8, b8s, "(srcImageB->depth != dstImage->depth)"},
            {plane8, three8, "(srcImageA->dataOrder != dstImage->dataOrder)"},
            {a8, threePlane, "(srcImageB->dataOrder != dstImage->dataOrder)"},
            {three8, three8, "(nChSrcA != nChDst)"},
            {a8, three8, "(nChSrcB != nChDst)"},
        };
        for (const Case& c : cases) {
            recorder.clear();
            op.fn(c.a, c.b, d8);
            zt::expectOneReport(recorder, STATUS_BAD_ARG, op.func, c.context, op.file);
            EXPECT_EQ(allBytes(d8), unchanged);
        }
    }
}

TEST(LogicalChecks, FloatImagesAreRefusedAfterTheChecks) {
    for (const BinaryName& op : kBinaryOps) {
        zt::ErrorRecorder recorder;
        Image a(1, 0, ZAR_DEPTH_32F, 0, 4, 4, 4, 1), b(1, 0, ZAR_DEPTH_32F, 0, 4, 4, 4, 2),
            d(1, 0, ZAR_DEPTH_32F, 0, 4, 4, 4, 0);
        op.fn(a, b, d);
        zt::expectOneReport(recorder, STATUS_BAD_ARG, op.func,
                            "This function does not support depth 32F", op.file);
        EXPECT_EQ(zt::getSample(d.get(), 1, 1, 0), 0);
        // Also with a combined mask (which is released again).
        zt::AttachedMask maskA(a, 4, 4), maskD(d, 4, 4);
        recorder.clear();
        op.fn(a, b, d);
        zt::expectOneReport(recorder, STATUS_BAD_ARG, op.func,
                            "This function does not support depth 32F", op.file);
    }
    zt::ErrorRecorder recorder;
    Image s(1, 0, ZAR_DEPTH_32F, 0, 4, 4), d(1, 0, ZAR_DEPTH_32F, 0, 4, 4);
    zarXorS(s, d, 1);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarXorS",
                        "This function does not support depth 32F", "zarxors");
}

TEST(LogicalChecks, XorSChecks) {
    zt::ErrorRecorder recorder;
    Image s8(1, 0, ZAR_DEPTH_8U, 0, 4, 4), d8(1, 0, ZAR_DEPTH_8U, 0, 4, 4),
        s16(1, 0, ZAR_DEPTH_16U, 1, 4, 4), plane8(1, 0, ZAR_DEPTH_8U, 1, 4, 4),
        three8(3, 0, ZAR_DEPTH_8U, 0, 4, 4), bit(1, 0, ZAR_DEPTH_1U, 1, 4, 4),
        bitD(1, 0, ZAR_DEPTH_1U, 0, 4, 4);
    zarXorS(nullptr, d8, 1);
    zt::expectOneReport(recorder, STATUS_NULL_HEADER, "zarXorS", "Incorrect Image", "zarxors");
    recorder.clear();
    zarXorS(s8, nullptr, 1);
    zt::expectOneReport(recorder, STATUS_NULL_HEADER, "zarXorS", "Incorrect Image", "zarxors");
    recorder.clear();
    zarXorS(s16, d8, 1);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarXorS", "(srcImage->depth != dstImage->depth)",
                        "zarxors");
    recorder.clear();
    zarXorS(plane8, d8, 1);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarXorS",
                        "(srcImage->dataOrder != dstImage->dataOrder)", "zarxors");
    recorder.clear();
    zarXorS(three8, d8, 1);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarXorS", "(nChSrc != nChDst)", "zarxors");
    recorder.clear();
    zarXorS(bit, bitD, 1);  // 1-bit images of different data orders are fine
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(zt::getSample(bitD.get(), 3, 3, 0), 1);
}

// A refused tile stops the walk with the operand's context; every tile
// already handed out is given back.
TEST(LogicalChecks, RefusedTilesOfEachOperand) {
    struct Case {
        int32_t refused;  // 0: A, 1: B, 2: D
        const char* context;
    } cases[] = {
        {0, "(srcImageA->tileInfo->tileData == ((void*)(0)))"},
        {1, "(srcImageB->tileInfo->tileData == ((void*)(0)))"},
        {2, "(dstImage->tileInfo->tileData == ((void*)(0)))"},
    };
    for (const BinaryName& op : kBinaryOps)
        for (const Case& c : cases) {
            zt::ErrorRecorder recorder;
            zt::TileStore a(1, 0, ZAR_DEPTH_16S, 0, 32, 32, 8, 8),
                b(1, 0, ZAR_DEPTH_16S, 0, 32, 32, 16, 8), d(1, 0, ZAR_DEPTH_16S, 0, 32, 32, 8, 16);
            zt::TileStore* stores[] = {&a, &b, &d};
            stores[c.refused]->refuse(1, 1);
            op.fn(a, b, d);
            zt::expectOneReport(recorder, STATUS_BAD_ARG, op.func, c.context, op.file);
            for (zt::TileStore* s : stores) {
                EXPECT_TRUE(s->balanced()) << c.context;
                EXPECT_EQ(s->outstanding(), 0);
            }
            // The walk stopped at the refusal: nothing asked for afterwards.
            const auto& log = stores[c.refused]->log();
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.back().data, nullptr);
            EXPECT_EQ(log.back().column, 1);
            EXPECT_EQ(log.back().row, 1);
        }
    zt::ErrorRecorder recorder;
    zt::TileStore s(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 8, 8), d(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 8, 8);
    s.refuse(0, 1);
    zarXorS(s, d, 3);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarXorS",
                        "(srcImage->tileInfo->tileData == ((void*)(0)))", "zarxors");
    EXPECT_TRUE(s.balanced());
    EXPECT_TRUE(d.balanced());
    recorder.clear();
    s.clearLog();
    d.clearLog();
    d.refuse(1, 0);
    zarXorS(s, d, 3);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarXorS",
                        "(dstImage->tileInfo->tileData == ((void*)(0)))", "zarxors");
    EXPECT_TRUE(s.balanced());
    EXPECT_TRUE(d.balanced());
}

// ------------------------------------------------------------- randomized

TEST(LogicalRandom, OrAgainstTheReference) {
    for (uint64_t seed = 1; seed <= 700; ++seed)
        ASSERT_EQ(zt::runRandomCase(zt::RefOp::logicalOr, seed), "");
}

TEST(LogicalRandom, AndAgainstTheReference) {
    for (uint64_t seed = 1001; seed <= 1700; ++seed)
        ASSERT_EQ(zt::runRandomCase(zt::RefOp::logicalAnd, seed), "");
}

TEST(LogicalRandom, XorSAgainstTheReference) {
    for (uint64_t seed = 2001; seed <= 2700; ++seed)
        ASSERT_EQ(zt::runRandomCase(zt::RefOp::xorS, seed), "");
}

}  // namespace
