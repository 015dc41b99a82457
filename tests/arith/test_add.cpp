// zarAdd: saturation per depth, channels of interest, alpha, masks, in-place
// use, tiled operands and the walk's tile requests, every check with its
// report, and a randomized comparison with a naive per-pixel reference.
// Also the mask combiner on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "arith/arith.h"
#include "support/arith_support.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

using zt::Image;

std::vector<uint8_t> allBytes(const ImageHeader* image) {
    return std::vector<uint8_t>(image->imageData, image->imageData + image->imageSize);
}

// One sample of each image at (1, 0) set, the sum read back from there; the
// images are 3 wide so that the rows have padding, with a roi so that the
// row kernels run, and without one for the whole-buffer form.
double addOne(int32_t depth, double a, double b, bool withRoi) {
    Image ia(1, 0, depth, 0, 3, 2), ib(1, 0, depth, 0, 3, 2), id(1, 0, depth, 0, 3, 2);
    zt::setSample(ia.get(), 1, 0, 0, a);
    zt::setSample(ib.get(), 1, 0, 0, b);
    if (withRoi) {
        ia.setRoi(0, 1, 0, 2, 1);
        ib.setRoi(0, 1, 0, 2, 1);
        id.setRoi(0, 1, 0, 2, 1);
    }
    zarAdd(ia, ib, id);
    return zt::getSample(id.get(), 1, 0, 0);
}

// ------------------------------------------------------------ saturation

TEST(Add, SaturatesToEachDepthsRange) {
    zt::ErrorRecorder recorder;
    struct Case {
        int32_t depth;
        double a, b, sum;
    } cases[] = {
        {ZAR_DEPTH_8U, 200, 100, 255},
        {ZAR_DEPTH_8U, 100, 55, 155},
        {ZAR_DEPTH_8S, 100, 100, 127},
        {ZAR_DEPTH_8S, -100, -100, -128},
        {ZAR_DEPTH_8S, -100, 50, -50},
        {ZAR_DEPTH_16U, 60000, 6000, 65535},
        {ZAR_DEPTH_16U, 60000, 5535, 65535},
        {ZAR_DEPTH_16U, 60000, 5534, 65534},
        {ZAR_DEPTH_16S, 30000, 3000, 32767},
        {ZAR_DEPTH_16S, -30000, -3000, -32768},
        {ZAR_DEPTH_32S, 2147483647, 1, 2147483647},
        {ZAR_DEPTH_32S, -2147483648.0, -1, -2147483648.0},
        {ZAR_DEPTH_32S, 2000000000, -2147483648.0, -147483648},
        {ZAR_DEPTH_32F, 1.5, 2.25, 3.75},
        {ZAR_DEPTH_32F, -1e30, -2e30, static_cast<double>(-1e30f + -2e30f)},
    };
    for (const Case& c : cases)
        for (bool withRoi : {false, true})
            EXPECT_EQ(addOne(c.depth, c.a, c.b, withRoi), c.sum)
                << std::hex << c.depth << std::dec << " " << c.a << " + " << c.b;
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(Add, FloatSumsAreNeverClamped) {
    zt::ErrorRecorder recorder;
    const double big = std::numeric_limits<float>::max();
    EXPECT_TRUE(std::isinf(addOne(ZAR_DEPTH_32F, big, big, true)));
    EXPECT_TRUE(std::isinf(addOne(ZAR_DEPTH_32F, big, big, false)));
}

TEST(Add, WholeBufferFormAddsRowPaddingToo) {
    zt::ErrorRecorder recorder;
    // Width 3 of 8U, widthStep 4: the fourth byte of each row is padding.
    Image a(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 100), b(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 200),
        d(1, 0, ZAR_DEPTH_8U, 0, 3, 2, 4, 0);
    zarAdd(a, b, d);
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(8, 255));
}

// -------------------------------------------------------------- layouts

TEST(Add, OneBitImagesAreTheOrOfTheImages) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_1U, 0, 4, 1), b(1, 0, ZAR_DEPTH_1U, 0, 4, 1),
        d(1, 0, ZAR_DEPTH_1U, 0, 4, 1);
    a->imageData[0] = static_cast<char>(0xC0);  // 1 1 0 0
    b->imageData[0] = static_cast<char>(0xA0);  // 1 0 1 0
    zarAdd(a, b, d);
    EXPECT_EQ(static_cast<uint8_t>(d->imageData[0]) & 0xF0, 0xE0);  // 1 + 1 = 1
    EXPECT_TRUE(recorder.reports().empty());

    // Its checks are those of zarOr, under that name.
    Image d8(1, 0, ZAR_DEPTH_8U, 0, 4, 1);
    zarAdd(a, b, d8);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarOr", "(srcImageA->depth != dstImage->depth)",
                        "zaror");
    recorder.clear();
    zarAdd(a, nullptr, d);
    zt::expectOneReport(recorder, STATUS_NULL_HEADER, "zarOr", "Incorrect Image", "zaror");
}

TEST(Add, InPlaceIntoEitherSource) {
    zt::ErrorRecorder recorder;
    Image a(2, 0, ZAR_DEPTH_16S, 1, 5, 3, 8, 1000), b(2, 0, ZAR_DEPTH_16S, 1, 5, 3, 8, 7);
    zt::setSample(b.get(), 4, 2, 1, -3000);
    zarAdd(a, b, a);
    EXPECT_EQ(zt::getSample(a.get(), 0, 0, 0), 1007);
    EXPECT_EQ(zt::getSample(a.get(), 4, 2, 1), -2000);
    zarAdd(a, b, b);
    EXPECT_EQ(zt::getSample(b.get(), 0, 0, 0), 1014);
    EXPECT_EQ(zt::getSample(b.get(), 4, 2, 1), -5000);
    zarAdd(a, a, a);
    EXPECT_EQ(zt::getSample(a.get(), 3, 1, 1), 2014);
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(Add, ChannelOfInterestOnEachOperand) {
    zt::ErrorRecorder recorder;
    // A: 3 channels coi 2, B: 1 channel coi 1, D: 3 channels coi 3.
    Image a(3, 0, ZAR_DEPTH_8U, 0, 4, 2), b(1, 0, ZAR_DEPTH_8U, 0, 4, 2),
        d(3, 0, ZAR_DEPTH_8U, 0, 4, 2, 4, 9);
    for (int32_t x = 0; x < 4; ++x) {
        for (int32_t c = 0; c < 3; ++c) zt::setSample(a.get(), x, 1, c, 10 * (c + 1) + x);
        zt::setSample(b.get(), x, 1, 0, 100);
    }
    a.setRoi(2, 0, 0, 4, 2);
    b.setRoi(1, 0, 0, 4, 2);
    d.setRoi(3, 0, 0, 4, 2);
    zarAdd(a, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(zt::getSample(d.get(), x, 1, 2), 120 + x);
        EXPECT_EQ(zt::getSample(d.get(), x, 0, 2), 0);
        EXPECT_EQ(zt::getSample(d.get(), x, 1, 0), 9);
        EXPECT_EQ(zt::getSample(d.get(), x, 1, 1), 9);
    }
}

TEST(Add, AlphaSamplesKeepTheirValues) {
    zt::ErrorRecorder recorder;
    for (int32_t order : {0, 1}) {
        Image a(4, 4, ZAR_DEPTH_16U, order, 3, 2, 4, 10),
            b(3, 0, ZAR_DEPTH_16U, order, 3, 2, 4, 20), d(4, 4, ZAR_DEPTH_16U, order, 3, 2, 4, 5);
        zarAdd(a, b, d);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 3; ++x) {
                for (int32_t c = 0; c < 3; ++c) EXPECT_EQ(zt::getSample(d.get(), x, y, c), 30);
                EXPECT_EQ(zt::getSample(d.get(), x, y, 3), 5);
            }
    }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(Add, RegionsOfDifferentOffsetsAndTheSmallestSize) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_32S, 0, 6, 6), b(1, 0, ZAR_DEPTH_32S, 0, 6, 6),
        d(1, 0, ZAR_DEPTH_32S, 0, 6, 6, 4, -1);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            zt::setSample(a.get(), x, y, 0, 10 * y + x);
            zt::setSample(b.get(), x, y, 0, 1000 * y + 100 * x);
        }
    a.setRoi(0, 2, 1, 4, 4);  // clipped to 4 x 4
    b.setRoi(0, 0, 3, 9, 9);  // clipped to 6 x 3
    d.setRoi(0, 1, 0, 2, 5);  // 2 x 5
    zarAdd(a, b, d);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 3 && y < 3;  // 2 wide, 3 high
            const int32_t i = x - 1, j = y;
            const double expected = inside ? (10 * (j + 1) + (i + 2)) + (1000 * (j + 3) + 100 * i)
                                           : -1;
            EXPECT_EQ(zt::getSample(d.get(), x, y, 0), expected) << x << "," << y;
        }
}

// ---------------------------------------------------------------- masks

TEST(Add, MasksOnSourceAndDestinationBothSelect) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_8S, 0, 8, 1, 4, 1), b(1, 0, ZAR_DEPTH_8S, 0, 8, 1, 4, 2),
        d(1, 0, ZAR_DEPTH_8S, 0, 8, 1, 4, 0);
    zt::AttachedMask maskA(a, 8, 1, 0), maskD(d, 16, 1, 0, ZAR_DATA_ORDER_PLANE);
    maskA->imageData[0] = static_cast<char>(0xF0);  // 1111 0000
    maskD->imageData[0] = static_cast<char>(0x0A);  // 0000 1010
    maskD->imageData[1] = static_cast<char>(0xFF);
    maskD.setRoi(3, 0, 8, 1);
    zarAdd(a, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    // maskD bits 3..10: 0 1 0 1 0 1 1 1; AND 1111 0000 -> 0 1 0 1 0 0 0 0.
    const double expected[] = {0, 3, 0, 3, 0, 0, 0, 0};
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(zt::getSample(d.get(), x, 0, 0), expected[x]) << x;
}

// Every operation: two masks whose common region is empty end the call
// without a report and without a change.
TEST(Add, MasksWithAnEmptyCommonRegionChangeNothing) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_16U, 0, 4, 4, 4, 1), b(1, 0, ZAR_DEPTH_16U, 0, 4, 4, 4, 2),
        d(1, 0, ZAR_DEPTH_16U, 0, 4, 4, 4, 0);
    zt::AttachedMask maskB(b, 4, 4), maskD(d, 4, 4);
    maskD.setRoi(0, 7, 4, 4);  // below the mask image
    zarAdd(a, b, d);
    zarOr(a, b, d);
    maskD.setRoi(4, 0, 2, 2);  // right of the mask image
    zarAnd(a, b, d);
    zarXorS(a, d, 5);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(d->imageSize, 0));
}

// A combined mask that cannot be allocated (two mask headers claiming an
// enormous size) is reported as out of memory; nothing changes.
TEST(Add, CombinedMaskWithoutMemory) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 1), b(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 2),
        d(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 0);
    char bits[8] = {};
    ImageHeader huge{};
    huge.nChannels = 1;
    huge.depth = ZAR_DEPTH_1U;
    huge.align = 4;
    huge.width = huge.height = 1 << 30;
    huge.imageData = bits;
    huge.imageSize = 8;
    huge.widthStep = 4;
    ImageHeader huge2 = huge;
    a->maskImage = &huge;
    d->maskImage = &huge2;
    zarAdd(a, b, d);
    zt::expectOneReport(recorder, STATUS_NO_MEMORY, "zarAdd", "Out of memory", "zaradd");
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(d->imageSize, 0));
    recorder.clear();
    zarOr(a, b, d);
    zt::expectOneReport(recorder, STATUS_NO_MEMORY, "zarOr", "Out of memory", "zaror");
    recorder.clear();
    zarAnd(a, b, d);
    zt::expectOneReport(recorder, STATUS_NO_MEMORY, "zarAnd", "Out of memory", "zarand");
    recorder.clear();
    zarXorS(a, d, 1);
    zt::expectOneReport(recorder, STATUS_NO_MEMORY, "zarXorS", "Out of memory", "zarxors");
    a->maskImage = d->maskImage = nullptr;
}

// ----------------------------------------------------------------- tiles

TEST(AddTiles, ThreeTiledImagesWithDifferentTileSizes) {
    zt::ErrorRecorder recorder;
    zt::OperandSpec sa, sb, sd;
    for (zt::OperandSpec* s : {&sa, &sb, &sd}) {
        s->depth = ZAR_DEPTH_16S;
        s->nChannels = 3;
        s->dataOrder = ZAR_DATA_ORDER_PLANE;
        s->width = 24;
        s->height = 16;
        s->tiled = true;
    }
    sa.tileWidth = 8, sa.tileHeight = 8;
    sb.tileWidth = 16, sb.tileHeight = 8;
    sd.tileWidth = 8, sd.tileHeight = 16;
    zt::Operand a(sa, 11), b(sb, 12), d(sd, 13);
    EXPECT_EQ(zt::runAgainstReference(zt::RefOp::add, a, b, d), "");

    // Rows of pieces are 8 high; each tile is asked for and given back once
    // per row of pieces that uses it, in column order.
    struct Call {
        int32_t column, row, mode;
    };
    auto expectLog = [](const zt::TileStore& store, const std::vector<Call>& calls) {
        ASSERT_EQ(store.log().size(), calls.size());
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(store.log()[i].column, calls[i].column) << i;
            EXPECT_EQ(store.log()[i].row, calls[i].row) << i;
            EXPECT_EQ(store.log()[i].mode, calls[i].mode) << i;
        }
        EXPECT_TRUE(store.balanced());
    };
    const int32_t R = ZAR_TILE_READ, W = ZAR_TILE_WRITE, X = ZAR_TILE_RELEASE;
    expectLog(*a.store(), {{0, 0, R},
                           {0, 0, X},
                           {1, 0, R},
                           {1, 0, X},
                           {2, 0, R},
                           {2, 0, X},
                           {0, 1, R},
                           {0, 1, X},
                           {1, 1, R},
                           {1, 1, X},
                           {2, 1, R},
                           {2, 1, X}});
    expectLog(
        *b.store(),
        {{0, 0, R}, {0, 0, X}, {1, 0, R}, {1, 0, X}, {0, 1, R}, {0, 1, X}, {1, 1, R}, {1, 1, X}});
    expectLog(*d.store(), {{0, 0, W},
                           {0, 0, X},
                           {1, 0, W},
                           {1, 0, X},
                           {2, 0, W},
                           {2, 0, X},
                           {0, 0, W},
                           {0, 0, X},
                           {1, 0, W},
                           {1, 0, X},
                           {2, 0, W},
                           {2, 0, X}});
}

TEST(AddTiles, TiledDestinationGivenAsSourceToo) {
    zt::ErrorRecorder recorder;
    zt::OperandSpec sd, sb;
    sd.depth = sb.depth = ZAR_DEPTH_8U;
    sd.width = sb.width = 20;
    sd.height = sb.height = 10;
    sd.tiled = true;
    sd.tileWidth = 16;
    sd.tileHeight = 8;
    sd.hasRoi = true;
    sd.roi = {0, 2, 3, 17, 7};
    sb.hasRoi = true;
    sb.roi = {0, 1, 0, 19, 10};
    sb.hasMask = true;
    sb.maskWidth = 30;
    sb.maskHeight = 12;
    zt::Operand d(sd, 21), b(sb, 22);
    EXPECT_EQ(zt::runAgainstReference(zt::RefOp::add, d, b, d), "");
    // The shared header asks only for write tiles: 2 tile rows x 2 columns.
    EXPECT_EQ(d.store()->count(ZAR_TILE_READ), 0);
    EXPECT_EQ(d.store()->count(ZAR_TILE_WRITE), 4);
    EXPECT_TRUE(d.store()->balanced());
}

TEST(AddTiles, OneTiledImageGivenAsBothSources) {
    zt::OperandSpec st, sd;
    st.depth = sd.depth = ZAR_DEPTH_16U;
    st.nChannels = sd.nChannels = 2;
    st.width = sd.width = 21;
    st.height = sd.height = 13;
    st.tiled = true;
    st.tileWidth = 8;
    st.tileHeight = 8;
    st.hasRoi = true;
    st.roi = {0, 4, 2, 30, 30};
    sd.tiled = true;
    sd.tileWidth = 16;
    sd.tileHeight = 8;
    sd.hasMask = true;
    sd.maskWidth = 21;
    sd.maskHeight = 13;
    zt::Operand t(st, 31), d(sd, 32);
    EXPECT_EQ(zt::runAgainstReference(zt::RefOp::add, t, t, d), "");
    // Source rows from 2, destination rows from 0, tile rows 8 high in both:
    // rows of pieces 6, 2 and 3 high, each over the source's tile columns
    // 0..2; each source asks for its tiles on its own.
    EXPECT_EQ(t.store()->count(ZAR_TILE_READ), 2 * 3 * 3);
    EXPECT_EQ(t.store()->count(ZAR_TILE_WRITE), 0);
}

TEST(AddTiles, ARegionOutsideTheImageAsksForNoTile) {
    zt::ErrorRecorder recorder;
    zt::TileStore a(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 8, 8), b(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 8, 8);
    Image d(1, 0, ZAR_DEPTH_8U, 0, 16, 16);
    d.setRoi(0, 16, 0, 4, 4);
    zarAdd(a, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(a.log().empty());
    EXPECT_TRUE(b.log().empty());
}

TEST(AddTiles, RefusedTilesOfEachOperand) {
    struct Case {
        int32_t refused;
        const char* context;
    } cases[] = {
        {0, "(srcImageA->tileInfo->tileData == ((void*)(0)))"},
        {1, "(srcImageB->tileInfo->tileData == ((void*)(0)))"},
        {2, "(dstImage->tileInfo->tileData == ((void*)(0)))"},
    };
    for (const Case& c : cases) {
        zt::ErrorRecorder recorder;
        zt::TileStore a(2, 0, ZAR_DEPTH_32F, 0, 24, 24, 8, 8),
            b(2, 0, ZAR_DEPTH_32F, 0, 24, 24, 16, 16), d(2, 0, ZAR_DEPTH_32F, 0, 24, 24, 24, 8);
        zt::TileStore* stores[] = {&a, &b, &d};
        // Combined mask too: it must be released when the walk stops.
        zt::AttachedMask maskA(a, 24, 24), maskD(d, 24, 24);
        stores[c.refused]->refuse(c.refused == 2 ? 0 : 1, 1);
        zarAdd(a, b, d);
        zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarAdd", c.context, "zaradd");
        for (zt::TileStore* s : stores) EXPECT_TRUE(s->balanced()) << c.context;
        EXPECT_EQ(stores[c.refused]->log().back().data, nullptr);
    }
}

// --------------------------------------------------------------- checks

TEST(AddChecks, EveryCheckInOrder) {
    zt::ErrorRecorder recorder;
    Image a(1, 0, ZAR_DEPTH_8U, 0, 4, 4), b(1, 0, ZAR_DEPTH_8U, 0, 4, 4),
        d(1, 0, ZAR_DEPTH_8U, 0, 4, 4), a16(1, 0, ZAR_DEPTH_16U, 0, 4, 4),
        b8s(1, 0, ZAR_DEPTH_8S, 0, 4, 4), plane(1, 0, ZAR_DEPTH_8U, 1, 4, 4),
        three(3, 0, ZAR_DEPTH_8U, 0, 4, 4), threePlane(3, 0, ZAR_DEPTH_8U, 1, 4, 4),
        alpha2(2, 2, ZAR_DEPTH_8U, 0, 4, 4);
    zarAdd(nullptr, b, d);
    zt::expectOneReport(recorder, STATUS_BAD_ARG, "zarAdd", "srcImageA==0", "zaradd");
    struct Case {
        ImageHeader *a, *b, *d;
        ZarStatus status;
        const char* context;
    } cases[] = {
        {a, nullptr, d, STATUS_NULL_HEADER, "Incorrect Image"},
        {a, b, nullptr, STATUS_NULL_HEADER, "Incorrect Image"},
        {a16, b8s, d, STATUS_BAD_ARG, "(srcImageA->depth != dstImage->depth)"},
        {a, b8s, d, STATUS_BAD_ARG, "(srcImageB->depth != dstImage->depth)"},
        {plane, three, d, STATUS_BAD_ARG, "(srcImageA->dataOrder != dstImage->dataOrder)"},
        {a, threePlane, d, STATUS_BAD_ARG, "(srcImageB->dataOrder != dstImage->dataOrder)"},
        {three, three, d, STATUS_BAD_ARG, "(nChSrcA != nChDst)"},
        {a, three, d, STATUS_BAD_ARG, "(nChSrcB != nChDst)"},
    };
    for (const Case& c : cases) {
        recorder.clear();
        zarAdd(c.a, c.b, c.d);
        zt::expectOneReport(recorder, c.status, "zarAdd", c.context, "zaradd");
    }
    // A two-channel image with an alpha channel processes one channel.
    recorder.clear();
    zarAdd(alpha2, b, d);
    EXPECT_TRUE(recorder.reports().empty());
    // An invalid destination (bad roi) after valid sources.
    d.setRoi(0, 0, 0, 0, 4);
    recorder.clear();
    zarAdd(a, b, d);
    zt::expectOneReport(recorder, STATUS_BAD_ROI_SIZE, "zarAdd", "Incorrect Image", "zaradd");
    // A tiled mask makes its image invalid.
    d.setRoi(0, 0, 0, 4, 4);
    zt::TileStore tiledMask(1, 0, ZAR_DEPTH_1U, 0, 8, 8, 8, 8);
    b->maskImage = tiledMask;
    recorder.clear();
    zarAdd(a, b, d);
    zt::expectOneReport(recorder, STATUS_MASK_TILED, "zarAdd", "Incorrect Image", "zaradd");
    b->maskImage = nullptr;
    EXPECT_EQ(allBytes(d), std::vector<uint8_t>(d->imageSize, 0));
}

// In the default mode a report ends the process with exit code 1.
TEST(AddChecksDeathTest, DefaultModeExitsOnAReport) {
    Image b(1, 0, ZAR_DEPTH_8U, 0, 4, 4), d(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    Image f(1, 0, ZAR_DEPTH_32F, 0, 4, 4);
    EXPECT_EXIT(zarAdd(nullptr, b, d), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(zarOr(f, f, f), ::testing::ExitedWithCode(1), "");
}

// ------------------------------------------------------- mask combiner

TEST(MaskCombiner, NoneOrOneMaskIsUsedAsItIs) {
    zt::ErrorRecorder recorder;
    Image m(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    MaskCombination none = combineMasks(nullptr, nullptr, nullptr);
    EXPECT_EQ(none.mask, nullptr);
    EXPECT_EQ(none.code, kMaskAsIs);
    for (int32_t k = 0; k < 3; ++k) {
        ImageHeader* masks[3] = {nullptr, nullptr, nullptr};
        masks[k] = m;
        MaskCombination one = combineMasks(masks[0], masks[1], masks[2]);
        EXPECT_EQ(one.mask, m.get());
        EXPECT_EQ(one.code, kMaskAsIs);
        releaseMaskCombination(one);  // does nothing
    }
    EXPECT_NE(m->imageData, nullptr);
}

TEST(MaskCombiner, TheAndOfEachMasksRegionFromItsBitOffset) {
    zt::ErrorRecorder recorder;
    Image m1(1, 0, ZAR_DEPTH_1U, 0, 40, 5, 4), m2(1, 0, ZAR_DEPTH_1U, 1, 30, 6, 16),
        m3(1, 0, ZAR_DEPTH_1U, 0, 50, 4, 8);
    m1.randomize(1);
    m2.randomize(2);
    m3.randomize(3);
    m1->origin = ZAR_ORIGIN_BL;
    m1.setRoi(0, 5, 1, 30, 4);   // 30 x 4
    m2.setRoi(0, 3, 0, 40, 6);   // clipped to 27 x 6
    m3.setRoi(0, 17, 0, 33, 9);  // clipped to 33 x 4
    MaskCombination two = combineMasks(m1, nullptr, m2);
    ASSERT_EQ(two.code, kMaskCombined);
    ImageHeader* c = two.mask;
    EXPECT_EQ(c->nChannels, 1);
    EXPECT_EQ(c->alphaChannel, 0);
    EXPECT_EQ(c->depth, ZAR_DEPTH_1U);
    EXPECT_EQ(std::memcmp(c->colorModel, "GRAY", 4), 0);
    EXPECT_EQ(c->channelSeq[0], 'G');
    EXPECT_EQ(c->dataOrder, ZAR_DATA_ORDER_PLANE);
    EXPECT_EQ(c->origin, ZAR_ORIGIN_BL);
    EXPECT_EQ(c->align, 8);
    EXPECT_EQ(c->width, 27);
    EXPECT_EQ(c->height, 4);
    EXPECT_EQ(c->roi, nullptr);
    EXPECT_EQ(c->maskImage, nullptr);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 27; ++x)
            ASSERT_EQ(zt::getSample(c, x, y, 0), zt::getSample(m1.get(), 5 + x, 1 + y, 0) *
                                                     zt::getSample(m2.get(), 3 + x, y, 0));
    releaseMaskCombination(two);

    MaskCombination three = combineMasks(m2, m3, m1);
    ASSERT_EQ(three.code, kMaskCombined);
    EXPECT_EQ(three.mask->origin, ZAR_ORIGIN_TL);  // the first mask's
    EXPECT_EQ(three.mask->width, 27);
    EXPECT_EQ(three.mask->height, 4);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 27; ++x)
            ASSERT_EQ(zt::getSample(three.mask, x, y, 0),
                      zt::getSample(m1.get(), 5 + x, 1 + y, 0) *
                          zt::getSample(m2.get(), 3 + x, y, 0) *
                          zt::getSample(m3.get(), 17 + x, y, 0));
    releaseMaskCombination(three);
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(MaskCombiner, EmptyCommonRegion) {
    zt::ErrorRecorder recorder;
    Image m1(1, 0, ZAR_DEPTH_1U, 0, 8, 8), m2(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    m2.setRoi(0, 9, 0, 4, 4);
    MaskCombination empty = combineMasks(m1, m2, nullptr);
    EXPECT_EQ(empty.mask, nullptr);
    EXPECT_EQ(empty.code, kMaskEmpty);
    EXPECT_TRUE(recorder.reports().empty());
}

// ------------------------------------------------------------- randomized

TEST(AddRandom, AgainstTheReference) {
    for (uint64_t seed = 5001; seed <= 6200; ++seed)
        ASSERT_EQ(zt::runRandomCase(zt::RefOp::add, seed), "");
}

}  // namespace
