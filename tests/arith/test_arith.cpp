// zarAdd, zarOr, zarAnd and zarXorS: single samples and row padding worked by
// hand, 1-bit rows at every bit offset, the checks of each operation as a
// table, refused tiles, and random cases against the naive reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/arith_support.h"
#include "support/zar_test.h"

namespace {

using zt::Image;

void apply(zt::RefOp op, ImageHeader* a, ImageHeader* b, ImageHeader* d, int32_t value) {
    switch (op) {
        case zt::RefOp::add:
            return zarAdd(a, b, d);
        case zt::RefOp::logicalOr:
            return zarOr(a, b, d);
        case zt::RefOp::logicalAnd:
            return zarAnd(a, b, d);
        case zt::RefOp::xorS:
            return zarXorS(a, d, value);
    }
}

std::vector<uint8_t> allBytes(const ImageHeader* image) {
    return std::vector<uint8_t>(image->imageData, image->imageData + image->imageSize);
}

// Rules a reference could share a misreading of: saturation per depth, float
// sums unclamped, the XorS constant cut to the sample's width.  Each row runs
// once with a roi (row kernels) and once without (whole-buffer form).
TEST(Arith, SingleSamplesWorkedByHand) {
    constexpr double kMaxFloat = std::numeric_limits<float>::max();
    struct Row {
        zt::RefOp op;
        int32_t depth;
        double a, b;  // b: the XorS constant
        double expected;
    } rows[] = {
        {zt::RefOp::add, ZAR_DEPTH_8U, 200, 100, 255},
        {zt::RefOp::add, ZAR_DEPTH_8U, 100, 55, 155},
        {zt::RefOp::add, ZAR_DEPTH_8S, 100, 100, 127},
        {zt::RefOp::add, ZAR_DEPTH_8S, -100, -100, -128},
        {zt::RefOp::add, ZAR_DEPTH_16U, 60000, 5535, 65535},
        {zt::RefOp::add, ZAR_DEPTH_16U, 60000, 5534, 65534},
        {zt::RefOp::add, ZAR_DEPTH_16S, 30000, 3000, 32767},
        {zt::RefOp::add, ZAR_DEPTH_16S, -30000, -3000, -32768},
        {zt::RefOp::add, ZAR_DEPTH_32S, 2147483647, 1, 2147483647},
        {zt::RefOp::add, ZAR_DEPTH_32S, -2147483648.0, -1, -2147483648.0},
        {zt::RefOp::add, ZAR_DEPTH_32S, 2000000000, -2147483648.0, -147483648},
        {zt::RefOp::add, ZAR_DEPTH_32F, 1.5, 2.25, 3.75},
        {zt::RefOp::add, ZAR_DEPTH_32F, kMaxFloat, kMaxFloat, HUGE_VAL},
        {zt::RefOp::xorS, ZAR_DEPTH_8U, 0x12, 0x1FF, 0xED},
        {zt::RefOp::xorS, ZAR_DEPTH_8S, 5, 0x180, -123},
        {zt::RefOp::xorS, ZAR_DEPTH_16U, 0x00FF, 0x12345678, 0x5687},
        {zt::RefOp::xorS, ZAR_DEPTH_16S, 0, -1, -1},
        {zt::RefOp::xorS, ZAR_DEPTH_32S, -1, 0x0F0F0F0F, static_cast<int32_t>(0xF0F0F0F0)},
        {zt::RefOp::logicalOr, ZAR_DEPTH_16U, 0x0102, 0x3040, 0x3142},
        {zt::RefOp::logicalAnd, ZAR_DEPTH_8U, 0xF0, 0x3C, 0x30},
    };
    zt::ErrorRecorder recorder;
    for (const Row& r : rows)
        for (bool withRoi : {false, true}) {
            Image a(1, 0, r.depth, 0, 3, 2), b(1, 0, r.depth, 0, 3, 2), d(1, 0, r.depth, 0, 3, 2);
            zt::setSample(a.get(), 1, 0, 0, r.a);
            zt::setSample(b.get(), 1, 0, 0, r.b);
            if (withRoi)
                for (Image* image : {&a, &b, &d}) image->setRoi(0, 1, 0, 2, 1);
            apply(r.op, a, b, d, static_cast<int32_t>(r.b));
            EXPECT_EQ(zt::getSample(d.get(), 1, 0, 0), r.expected)
                << static_cast<int>(r.op) << " depth " << std::hex << r.depth;
        }
    EXPECT_TRUE(recorder.reports().empty());
}

// Without a roi the operations run over whole buffers, row padding included.
TEST(Arith, WholeBufferFormCoversRowPadding) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 100), b(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 200),
        d(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 0);
    zarAdd(a, b, d);
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(8, 255));
    zarXorS(a, d, 0xF0);
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(8, 100 ^ 0xF0));
}

// Bit order (most significant first) and the edges of a 1-bit region: six
// bits from A's bit 3 and B's bit 5 into D's bits 0..5 and then 6..11.
TEST(Arith, OneBitRowsWorkedByHand) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_1U, 0, 16, 1), b(1, 0, ZAR_DEPTH_1U, 0, 16, 1),
        d(1, 0, ZAR_DEPTH_1U, 0, 16, 1);
    auto bytes = [](Image& image, std::vector<uint8_t> v) {
        std::memcpy(image->imageData, v.data(), v.size());
    };
    bytes(a, {0xB2, 0x6C});  // bits 3..10: 1 0 0 1 0 0 1 1
    bytes(b, {0x04, 0x81});  // bits 5..12: 1 0 0 1 0 0 0 0
    bytes(d, {0x00, 0xAA});
    a.setRoi(0, 3, 0, 8, 1);
    b.setRoi(0, 5, 0, 8, 1);
    d.setRoi(0, 0, 0, 6, 1);
    zarOr(a, b, d);
    EXPECT_EQ(allBytes(d)[0], 0x90);
    EXPECT_EQ(allBytes(d)[1], 0xAA);
    bytes(d, {0xFF, 0xFF});
    d.setRoi(0, 6, 0, 6, 1);
    zarOr(a, b, d);
    EXPECT_EQ(allBytes(d)[0], 0xFE);
    EXPECT_EQ(allBytes(d)[1], 0x4F);
    // 1-bit addition is the OR of the images, and is checked as zarOr.
    bytes(d, {0x00, 0x00});
    zarAdd(a, b, d);
    EXPECT_EQ(allBytes(d)[0], 0x02);
    EXPECT_TRUE(recorder.reports().empty());
    Image d8(1, 0, ZAR_DEPTH_8U, 0, 16, 1);
    zarAdd(a, b, d8);
    zt::expectReports(recorder, "zarOr", "zaror",
                      {{STATUS_BAD_ARG, "(srcImageA->depth != dstImage->depth)"}});
}

// Every destination and source bit offset, widths around word and byte
// limits, with and without a mask.
TEST(Arith, OneBitRowsAtEveryBitOffset) {
    for (int32_t masked = 0; masked < 2; ++masked)
        for (int32_t offD = 0; offD < 8; ++offD)
            for (int32_t offA = 0; offA < 8; ++offA)
                for (int32_t width : {1, 7, 8, 9, 56, 63, 64, 65, 121, 130}) {
                    zt::OperandSpec sa, sb, sd;
                    for (zt::OperandSpec* s : {&sa, &sb, &sd}) {
                        s->depth = ZAR_DEPTH_1U;
                        s->width = 140;
                        s->height = 2;
                        s->hasRoi = true;
                    }
                    sa.roi = {0, offA, 0, width, 2};
                    sb.roi = {0, (offA + 3 * offD + 1) % 8 + 8, 0, width, 2};
                    sd.roi = {0, offD, 1, width, 1};
                    sd.hasMask = masked != 0;
                    sd.maskWidth = 140;
                    sd.maskHeight = 1;
                    sd.maskHasRoi = true;
                    sd.maskRoi = {0, (offA + offD) % 8, 0, 140, 1};
                    const uint32_t seed = static_cast<uint32_t>(offD * 97 + offA * 13 + width);
                    for (zt::RefOp op :
                         {zt::RefOp::logicalOr, zt::RefOp::logicalAnd, zt::RefOp::xorS}) {
                        zt::Operand a(sa, seed), b(sb, seed + 1), d(sd, seed + 2);
                        ASSERT_EQ(zt::runAgainstReference(op, a, b, d, 1), "")
                            << static_cast<int>(op) << " masked " << masked << " offD " << offD
                            << " offA " << offA << " width " << width;
                    }
                }
}

// ------------------------------------------------------------------ checks

struct Operands {
    Image a{1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 7}, b{1, 0, ZAR_DEPTH_8U, 0, 4, 4},
        d{1, 0, ZAR_DEPTH_8U, 0, 4, 4}, a16{1, 0, ZAR_DEPTH_16U, 0, 4, 4},
        b8s{1, 0, ZAR_DEPTH_8S, 0, 4, 4}, plane{1, 0, ZAR_DEPTH_8U, 1, 4, 4},
        three{3, 0, ZAR_DEPTH_8U, 0, 4, 4}, threePlane{3, 0, ZAR_DEPTH_8U, 1, 4, 4},
        f{1, 0, ZAR_DEPTH_32F, 0, 4, 4}, mask8{1, 0, ZAR_DEPTH_8U, 0, 4, 4};
    zt::TileStore tiledMask{1, 0, ZAR_DEPTH_1U, 0, 8, 8, 8, 8};
    ~Operands() { b->maskImage = nullptr; }
};

// The four operations whose checks the tables share, with their reports' function and file.
struct ArithOp {
    zt::RefOp op;
    const char *func, *file;
};
const ArithOp kArithOps[] = {{zt::RefOp::add, "zarAdd", "zaradd"},
                             {zt::RefOp::logicalOr, "zarOr", "zaror"},
                             {zt::RefOp::logicalAnd, "zarAnd", "zarand"},
                             {zt::RefOp::xorS, "zarXorS", "zarxors"}};

// Each row names the operands given (A, B, D); only the first failure of a
// call is reported and the destination keeps its pixels.
TEST(Arith, EveryCheckOfEachOperation) {
    using Pick = ImageHeader* (*)(Operands&);
    struct Row {
        Pick a, b, d;
        ZarStatus status;
        const char* context;  // A/B texts; for XorS (one source) the A text names srcImage
        const char* xorContext;
    };
    const Pick A = [](Operands& o) -> ImageHeader* { return o.a; };
    const Pick B = [](Operands& o) -> ImageHeader* { return o.b; };
    const Pick D = [](Operands& o) -> ImageHeader* { return o.d; };
    const Pick null = [](Operands&) -> ImageHeader* { return nullptr; };
    const Row rows[] = {
        {null, B, D, STATUS_NULL_HEADER, "Incorrect Image", "Incorrect Image"},
        {A, null, D, STATUS_NULL_HEADER, "Incorrect Image", nullptr},
        {A, B, null, STATUS_NULL_HEADER, "Incorrect Image", "Incorrect Image"},
        {[](Operands& o) -> ImageHeader* { return o.a16; },
         [](Operands& o) -> ImageHeader* { return o.b8s; }, D, STATUS_BAD_ARG,
         "(srcImageA->depth != dstImage->depth)", "(srcImage->depth != dstImage->depth)"},
        {A, [](Operands& o) -> ImageHeader* { return o.b8s; }, D, STATUS_BAD_ARG,
         "(srcImageB->depth != dstImage->depth)", nullptr},
        {[](Operands& o) -> ImageHeader* { return o.plane; },
         [](Operands& o) -> ImageHeader* { return o.three; }, D, STATUS_BAD_ARG,
         "(srcImageA->dataOrder != dstImage->dataOrder)",
         "(srcImage->dataOrder != dstImage->dataOrder)"},
        {A, [](Operands& o) -> ImageHeader* { return o.threePlane; }, D, STATUS_BAD_ARG,
         "(srcImageB->dataOrder != dstImage->dataOrder)", nullptr},
        {[](Operands& o) -> ImageHeader* { return o.three; },
         [](Operands& o) -> ImageHeader* { return o.three; }, D, STATUS_BAD_ARG,
         "(nChSrcA != nChDst)", "(nChSrc != nChDst)"},
        {A, [](Operands& o) -> ImageHeader* { return o.three; }, D, STATUS_BAD_ARG,
         "(nChSrcB != nChDst)", nullptr},
        {A,
         [](Operands& o) -> ImageHeader* {
             o.b->maskImage = o.mask8;
             return o.b;
         },
         D, STATUS_MASK_BAD_DEPTH, "Incorrect Image", nullptr},
        {A,
         [](Operands& o) -> ImageHeader* {
             o.b->maskImage = o.tiledMask;
             return o.b;
         },
         D, STATUS_MASK_TILED, "Incorrect Image", nullptr},
        {A, B,
         [](Operands& o) -> ImageHeader* {
             o.d.setRoi(0, 0, 0, 0, 4);
             return o.d;
         },
         STATUS_BAD_ROI_SIZE, "Incorrect Image", "Incorrect Image"},
        // A bad source A is reported before a bad destination.
        {[](Operands& o) -> ImageHeader* {
             o.a->nChannels = 0;
             return o.a;
         },
         B,
         [](Operands& o) -> ImageHeader* {
             o.d->align = 3;
             return o.d;
         },
         STATUS_BAD_CHANNELS, "Incorrect Image", "Incorrect Image"},
    };
    for (const ArithOp& op : kArithOps)
        for (const Row& r : rows) {
            const bool xorS = op.op == zt::RefOp::xorS;
            if (xorS && !r.xorContext) continue;
            Operands o;
            zt::ErrorRecorder recorder;
            apply(op.op, r.a(o), r.b(o), r.d(o), 1);
            const bool addNull = op.op == zt::RefOp::add && r.a(o) == nullptr;
            zt::expectReports(recorder, op.func, op.file,
                              {{addNull ? STATUS_BAD_ARG : r.status, addNull ? "srcImageA==0"
                                                                     : xorS  ? r.xorContext
                                                                             : r.context}});
            EXPECT_EQ(allBytes(o.d), std::vector<uint8_t>(16, 0)) << r.context;
            o.a->nChannels = 1;
        }
    // Floats: the logical operations refuse them once the checks have passed.
    for (const ArithOp& op : kArithOps) {
        if (op.op == zt::RefOp::add) continue;
        Operands o;
        zt::ErrorRecorder recorder;
        apply(op.op, o.f, o.f, o.f, 1);
        zt::expectReports(recorder, op.func, op.file,
                          {{STATUS_BAD_ARG, "This function does not support depth 32F"}});
    }
}

// In the default mode a report ends the process with exit code 1.
TEST(ArithDeathTest, DefaultModeExitsOnAReport) {
    Image b(1, 0, ZAR_DEPTH_8U, 0, 4, 4), f(1, 0, ZAR_DEPTH_32F, 0, 4, 4);
    EXPECT_EXIT(zarAdd(nullptr, b, b), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(zarOr(f, f, f), ::testing::ExitedWithCode(1), "");
}

// A refused tile stops the walk with the operand's context; every tile
// handed out is given back, the combined mask's too.
TEST(Arith, RefusedTilesOfEachOperand) {
    const char* contexts[] = {"(srcImageA->tileInfo->tileData == ((void*)(0)))",
                              "(srcImageB->tileInfo->tileData == ((void*)(0)))",
                              "(dstImage->tileInfo->tileData == ((void*)(0)))"};
    const char* xorContexts[] = {"(srcImage->tileInfo->tileData == ((void*)(0)))", nullptr,
                                 "(dstImage->tileInfo->tileData == ((void*)(0)))"};
    std::vector<zt::OperandSpec> specs(3);
    for (size_t k = 0; k < 3; ++k) {
        specs[k].depth = ZAR_DEPTH_16S;
        specs[k].width = specs[k].height = 24;
        specs[k].tiled = true;
        specs[k].tileWidth = 8 * (k + 1);
        specs[k].hasMask = k != 1;
        specs[k].maskWidth = specs[k].maskHeight = 24;
    }
    for (const ArithOp& op : kArithOps)
        for (size_t k = 0; k < 3; ++k) {
            const bool xorS = op.op == zt::RefOp::xorS;
            if (xorS && !xorContexts[k]) continue;
            zt::expectRefusal(
                specs, k, 0, 1,
                [&](const std::vector<ImageHeader*>& h) { apply(op.op, h[0], h[1], h[2], 3); },
                op.func, op.file, {STATUS_BAD_ARG, xorS ? xorContexts[k] : contexts[k]});
        }
}

// Random depths, layouts, channels of interest, alpha, regions past the
// edges, masks, tiles and in-place use against the naive reference.
TEST(Arith, RandomCasesAgainstTheReference) {
    const zt::RefOp ops[] = {zt::RefOp::add, zt::RefOp::logicalOr, zt::RefOp::logicalAnd,
                             zt::RefOp::xorS};
    for (uint64_t seed = 1; seed <= 2400; ++seed)
        ASSERT_EQ(zt::runRandomCase(ops[seed % 4], seed), "");
}

}  // namespace
