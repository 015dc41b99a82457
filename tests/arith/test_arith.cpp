// zarAdd, zarOr, zarAnd and zarXorS (and zarSet's saturation): single samples
// and row padding worked by hand, the checks of each operation as a table, and
// refused tiles.  The random cases (1-bit rows at every bit offset among them)
// are the pixel test's.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/pixel_support.h"

namespace {

using zt::Image;
using zt::PixelOp;

std::vector<uint8_t> allBytes(const ImageHeader* image) {
    return std::vector<uint8_t>(image->imageData, image->imageData + image->imageSize);
}

// Rules a reference could share a misreading of: saturation at one end of
// each depth (Set's 1-bit value taken after it; the random cases reach both
// ends), float sums unclamped, SetFP's float bits, the XorS constant cut to
// the sample's width.  Each row runs once with a roi (row
// kernels) and once without (whole-buffer form).
TEST(Arith, SingleSamplesWorkedByHand) {
    constexpr double kMaxFloat = std::numeric_limits<float>::max();
    const struct Row {
        PixelOp op;
        int32_t depth;
        double a, b, expected;  // b: the value of Set, the constant of XorS
    } rows[] = {
        {PixelOp::set, ZAR_DEPTH_8U, 0, 300, 255},
        {PixelOp::set, ZAR_DEPTH_16S, 0, -40000, -32768},
        {PixelOp::set, ZAR_DEPTH_32S, 0, INT32_MIN, INT32_MIN},
        {PixelOp::set, ZAR_DEPTH_32F, 0, -0.0, -0.0},
        {PixelOp::set, ZAR_DEPTH_1U, 0, 7, 1},
        {PixelOp::set, ZAR_DEPTH_1U, 0, -1, 0},
        {PixelOp::add, ZAR_DEPTH_8S, -100, -100, -128},
        {PixelOp::add, ZAR_DEPTH_16U, 60000, 5534, 65534},
        {PixelOp::add, ZAR_DEPTH_32S, 2147483647, 1, 2147483647},
        {PixelOp::add, ZAR_DEPTH_32S, -2147483648.0, -1, -2147483648.0},
        {PixelOp::add, ZAR_DEPTH_32S, 2000000000, -2147483648.0, -147483648},
        {PixelOp::add, ZAR_DEPTH_32F, kMaxFloat, kMaxFloat, HUGE_VAL},
        {PixelOp::add, ZAR_DEPTH_1U, 1, 1, 1},  // the OR of the images
        {PixelOp::xorS, ZAR_DEPTH_8U, 0x12, 0x1FF, 0xED},
        {PixelOp::xorS, ZAR_DEPTH_8S, 5, 0x180, -123},
        {PixelOp::xorS, ZAR_DEPTH_16U, 0x00FF, 0x12345678, 0x5687},
        {PixelOp::xorS, ZAR_DEPTH_32S, -1, 0x0F0F0F0F, static_cast<int32_t>(0xF0F0F0F0)},
    };
    zt::ErrorRecorder recorder;
    for (const Row& r : rows)
        for (bool withRoi : {false, true}) {
            Image a(1, 0, r.depth, 0, 3, 2), b(1, 0, r.depth, 0, 3, 2),
                d(1, 0, r.depth, 0, 3, 2, 4, r.op == PixelOp::set);
            zt::setSample(a.get(), 1, 0, 0, r.a);
            zt::setSample(b.get(), 1, 0, 0, r.b);
            if (withRoi)
                for (Image* image : {&a, &b, &d}) image->setRoi(0, 1, 0, 2, 1);
            zt::callPixelOp(r.op, {a, b, d}, r.b);
            const double got = zt::getSample(d.get(), 1, 0, 0);
            EXPECT_TRUE(got == r.expected && std::signbit(got) == std::signbit(r.expected))
                << static_cast<int>(r.op) << " depth " << std::hex << r.depth << ": " << got;
        }
    EXPECT_TRUE(recorder.reports().empty());
}

// Without a roi (or with one over everything) the operations run over whole buffers, row
// padding included.
TEST(Arith, WholeBufferFormCoversRowPadding) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 100), b(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 200),
        d(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 0);
    zarAdd(a, b, d);
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(8, 255));
    zarXorS(a, d, 0xF0);
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(8, 100 ^ 0xF0));
    a.setRoi(0, 0, 0, 3, 2);  // a roi over the whole image with every channel counts as none
    zarXorS(a, d, 0x0F);
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(8, 100 ^ 0x0F));
}

// ------------------------------------------------------------------ checks

struct Operands {
    Image a{1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 7}, b{1, 0, ZAR_DEPTH_8U, 0, 4, 4},
        d{1, 0, ZAR_DEPTH_8U, 0, 4, 4}, a16{1, 0, ZAR_DEPTH_16U, 0, 4, 4},
        b8s{1, 0, ZAR_DEPTH_8S, 0, 4, 4}, plane{1, 0, ZAR_DEPTH_8U, 1, 4, 4},
        three{3, 0, ZAR_DEPTH_8U, 0, 4, 4}, threePlane{3, 0, ZAR_DEPTH_8U, 1, 4, 4},
        mask8{1, 0, ZAR_DEPTH_8U, 0, 4, 4}, bits{1, 0, ZAR_DEPTH_1U, 0, 4, 4};
    zt::TileStore tiledMask{1, 0, ZAR_DEPTH_1U, 0, 8, 8, 8, 8};
    ImageHeader* pick(int32_t k) {
        Image* all[] = {&a, &b, &d, &a16, &b8s, &plane, &three, &threePlane, &bits};
        return k < 0 ? nullptr : all[k]->get();
    }
    ~Operands() { b->maskImage = nullptr; }
};
enum { kNull = -1, kA, kB, kD, kA16, kB8S, kPlane, kThree, kThreePlane, kBits };

// The four operations whose checks the table shares, with their reports' function and file.
struct ArithOp {
    PixelOp op;
    const char *func, *file;
};
const ArithOp kArithOps[] = {{PixelOp::add, "zarAdd", "zaradd"},
                             {PixelOp::logicalOr, "zarOr", "zaror"},
                             {PixelOp::logicalAnd, "zarAnd", "zarand"},
                             {PixelOp::xorS, "zarXorS", "zarxors"}};

// Each row names the operands given (A, B, D) and a change made first; only
// the first failure of a call is reported and the destination keeps its
// pixels.  The A text names srcImage for XorS (one source); rows without an
// XorS text do not apply to it.
TEST(Arith, EveryCheckOfEachOperation) {
    enum Change { none, maskOfDepth8, tiledMask, emptyRoi, badAAndD };
    const struct Row {
        int32_t a, b, d;
        Change change;
        ZarStatus status;
        const char *context, *xorContext;
    } rows[] = {
        {kNull, kB, kD, none, STATUS_NULL_HEADER, "Incorrect Image", "Incorrect Image"},
        {kA, kNull, kD, none, STATUS_NULL_HEADER, "Incorrect Image", nullptr},
        {kA, kB, kNull, none, STATUS_NULL_HEADER, "Incorrect Image", "Incorrect Image"},
        {kA16, kB8S, kD, none, STATUS_BAD_ARG, "(srcImageA->depth != dstImage->depth)",
         "(srcImage->depth != dstImage->depth)"},
        {kA, kB8S, kD, none, STATUS_BAD_ARG, "(srcImageB->depth != dstImage->depth)", nullptr},
        {kPlane, kThree, kD, none, STATUS_BAD_ARG, "(srcImageA->dataOrder != dstImage->dataOrder)",
         "(srcImage->dataOrder != dstImage->dataOrder)"},
        {kA, kThreePlane, kD, none, STATUS_BAD_ARG, "(srcImageB->dataOrder != dstImage->dataOrder)",
         nullptr},
        {kThree, kThree, kD, none, STATUS_BAD_ARG, "(nChSrcA != nChDst)", "(nChSrc != nChDst)"},
        {kA, kThree, kD, none, STATUS_BAD_ARG, "(nChSrcB != nChDst)", nullptr},
        {kA, kB, kD, maskOfDepth8, STATUS_MASK_BAD_DEPTH, "Incorrect Image", nullptr},
        {kA, kB, kD, tiledMask, STATUS_MASK_TILED, "Incorrect Image", nullptr},
        {kA, kB, kD, emptyRoi, STATUS_BAD_ROI_SIZE, "Incorrect Image", "Incorrect Image"},
        // A bad source A is reported before a bad destination.
        {kA, kB, kD, badAAndD, STATUS_BAD_CHANNELS, "Incorrect Image", "Incorrect Image"},
    };
    for (const ArithOp& op : kArithOps)
        for (const Row& r : rows) {
            const bool xorS = op.op == PixelOp::xorS;
            if (xorS && !r.xorContext) continue;
            Operands o;
            o.b->maskImage = r.change == maskOfDepth8 ? o.mask8.get()
                             : r.change == tiledMask  ? o.tiledMask.image()
                                                      : nullptr;
            if (r.change == emptyRoi) o.d.setRoi(0, 0, 0, 0, 4);
            if (r.change == badAAndD) o.a->nChannels = 0, o.d->align = 3;
            zt::ErrorRecorder recorder;
            zt::callPixelOp(op.op, {o.pick(r.a), o.pick(r.b), o.pick(r.d)}, 1);
            const bool addNull = op.op == PixelOp::add && r.a == kNull;
            zt::expectReports(recorder, op.func, op.file,
                              {{addNull ? STATUS_BAD_ARG : r.status, addNull ? "srcImageA==0"
                                                                     : xorS  ? r.xorContext
                                                                             : r.context}});
            EXPECT_EQ(allBytes(o.d), std::vector<uint8_t>(16, 0)) << r.context;
            o.a->nChannels = 1;
        }
    for (const ArithOp& op : kArithOps) {
        Operands o;
        zt::ErrorRecorder recorder;
        if (op.op == PixelOp::add) {  // 1-bit addition is zarOr, with its checks and reports
            zt::callPixelOp(op.op, {o.bits, o.bits, o.d}, 1);
            zt::expectReports(recorder, "zarOr", "zaror",
                              {{STATUS_BAD_ARG, "(srcImageA->depth != dstImage->depth)"}});
            continue;
        }
        // Floats: the logical operations refuse them once the checks have passed.
        Image f(1, 0, ZAR_DEPTH_32F, 0, 4, 4);
        zt::callPixelOp(op.op, {f, f, f}, 1);
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
                              "(dstImage->tileInfo->tileData == ((void*)(0)))",
                              "(srcImage->tileInfo->tileData == ((void*)(0)))"};
    std::vector<zt::OperandSpec> specs(3);
    for (size_t k = 0; k < 3; ++k) {
        specs[k].depth = ZAR_DEPTH_16S;
        specs[k].width = specs[k].height = specs[k].maskWidth = specs[k].maskHeight = 24;
        specs[k].tiled = true;
        specs[k].tileWidth = 8 * (k + 1);
        specs[k].hasMask = k != 1;
    }
    for (const ArithOp& op : kArithOps)
        for (size_t k = 0; k < 3; ++k) {
            const bool xorS = op.op == PixelOp::xorS;
            if (xorS && k == 1) continue;
            zt::expectRefusal(
                specs, k, 0, 1,
                [&](const std::vector<ImageHeader*>& h) { zt::callPixelOp(op.op, h, 3); }, op.func,
                op.file, {STATUS_BAD_ARG, contexts[xorS && k == 0 ? 3 : k]});
        }
}

}  // namespace
