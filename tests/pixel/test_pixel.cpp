// zarSet, zarSetFP, zarCopy and zarPutPixel: rules worked by hand (bit order,
// tile order), the checks of each entry point as a table, refused tiles, random
// cases of every per-pixel operation against the naive references, and
// sources and destinations that overlap in memory.
#include <gtest/gtest.h>

#include <cstring>

#include "support/pixel_support.h"

namespace {

using zt::ErrorRecorder;
using zt::Image;
using zt::TileStore;

uint8_t byteAt(const ImageHeader* image, int32_t k) {
    return static_cast<uint8_t>(image->imageData[k]);
}

// A region of 3 x 2 tiles: write then release each tile, rows outer.
TEST(Set, TilesInOrder) {
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 40, 20, 8, 8);
    Roi roi{0, 5, 6, 15, 4};
    store.image()->roi = &roi;
    ErrorRecorder recorder;
    zarSet(store.image(), 44);
    EXPECT_TRUE(recorder.reports().empty());
    ASSERT_EQ(store.log().size(), 12u);
    for (int32_t k = 0; k < 12; ++k) {
        EXPECT_EQ(store.log()[k].mode, k % 2 ? ZAR_TILE_RELEASE : ZAR_TILE_WRITE);
        EXPECT_EQ(store.log()[k].column, k / 2 % 3);
        EXPECT_EQ(store.log()[k].row, k / 6);
    }
}

// Source bits 3..15 into destination bits 6..18, most significant bit first.
TEST(Copy, OneBitOffsetThreeToSix) {
    Image src(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 24, 1);
    Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 24, 1);
    const uint8_t srcBytes[3] = {0b10110101, 0b01101100, 0b11100011}, dstBytes[3] = {0xFF, 0, 0xFF};
    std::memcpy(src->imageData, srcBytes, 3);
    std::memcpy(dst->imageData, dstBytes, 3);
    src.setRoi(0, 3, 0, 13, 1);
    dst.setRoi(0, 6, 0, 13, 1);
    ErrorRecorder recorder;
    zarCopy(src, dst);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(byteAt(dst, 0), 0b11111110);
    EXPECT_EQ(byteAt(dst, 1), 0b10101101);
    EXPECT_EQ(byteAt(dst, 2), 0b10011111);
}

// ------------------------------------------------------------------ checks

struct Images {
    Image a{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 1};
    Image b{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 0};
    Image mask8{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4};
    Image f{1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 4, 4};
    TileStore tiled3{3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 24, 16, 8, 8};
    const uint8_t pixel[4] = {1, 1, 1, 1};
    ~Images() { a->maskImage = b->maskImage = nullptr; }
};

// Each row calls one entry point after changing the images; the destination
// (b) keeps its pixels.  Line 0: the line is this library's own choice.
TEST(PixelChecks, EveryCheckOfEveryEntryPoint) {
    const zt::Want null{STATUS_NULL_HEADER, "Incorrect Image"};
    const zt::Want both{STATUS_BAD_ARG, "srcImage->depth != dstImage->depth"};
    const zt::Want origin{STATUS_BAD_ARG, "srcImage->origin != dstImage->origin"};
    const zt::Want x{STATUS_BAD_ARG, "((x>width-1) || (x<0))"};
    const zt::Want y{STATUS_BAD_ARG, "((y>height-1) || (y<0))"};
    const struct Row {
        const char* func;
        void (*call)(Images&);
        std::vector<zt::Want> want;
    } rows[] = {
        {"zarSet", [](Images&) { zarSet(nullptr, 1); }, {null}},
        {"zarSet",
         [](Images& i) {
             i.b->maskImage = i.mask8;
             zarSet(i.b, 1);
         },
         {{STATUS_MASK_BAD_DEPTH, "Incorrect Image"}}},
        {"zarSet",
         [](Images& i) { zarSet(i.f, 1); },
         {{STATUS_BAD_DEPTH, "You should use zarSetFP for this image"}}},
        {"zarSetFP", [](Images&) { zarSetFP(nullptr, 1); }, {{STATUS_BAD_ARG, "dstImage==0"}}},
        {"zarSetFP",
         [](Images& i) { zarSetFP(i.b, 1); },
         {{STATUS_BAD_DEPTH, "You should use zarSet for this image"}}},
        {"zarCopy", [](Images& i) { zarCopy(nullptr, i.b); }, {null}},
        {"zarCopy",
         [](Images& i) {
             i.b->widthStep = 0;
             zarCopy(i.a, i.b);
             i.b->widthStep = 4;
         },
         {{STATUS_BAD_WIDTH_STEP, "Incorrect Image"}}},
        {"zarCopy",
         [](Images& i) {
             Image src(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 4, 4);
             Image dst(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             dst->origin = ZAR_ORIGIN_BL;
             zarCopy(src, dst);
             // single channels: no data order check
             i.b->origin = ZAR_ORIGIN_BL;
             i.b->dataOrder = ZAR_DATA_ORDER_PLANE;
             zarCopy(i.f, i.b);
         },
         {both,
          origin,
          {STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder"},
          both,
          origin}},
        {"zarCopy",
         [](Images& i) { zarCopy(i.tiled3, i.b); },
         {{STATUS_BAD_ARG,
           "Number of processed channels of srcImage != Number of processed channels of "
           "dstImage"}}},
        {"zarPutPixel", [](Images& i) { zarPutPixel(nullptr, 0, 0, i.pixel); }, {null}},
        {"zarPutPixel",
         [](Images& i) {
             for (const auto& [px, py] : {std::pair{4, 0}, {-1, 0}, {9, -9}, {0, 4}, {0, -1}})
                 zarPutPixel(i.b, px, py, i.pixel);
         },
         {x, x, x, y, y}},
    };
    for (const Row& r : rows) {
        Images images;
        ErrorRecorder recorder;
        r.call(images);
        const std::string file = r.func == std::string("zarPutPixel") ? "zarPutPx" : "zarsce";
        zt::expectReports(recorder, r.func, file, r.want);
        for (int32_t k = 0; k < 16; ++k) ASSERT_EQ(byteAt(images.b, k), 0) << r.want[0].context;
    }
    // An earlier failure in the status word stops a copy silently.
    Images images;
    ErrorRecorder recorder;
    zarSetStatus(STATUS_BAD_ARG);
    zarCopy(images.a, images.b);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(byteAt(images.b, 0), 0);
}

// Inner failures come back as backtraces: SetFP's nested Set, Copy's tiled
// pieces and the masked 1-bit forms (through the logical operations).
TEST(PixelChecks, InnerFailuresAreBacktraced) {
    ErrorRecorder recorder;
    Image image(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 2, 2);
    image->widthStep = 0;
    zarSetFP(image, 1.0f);
    image->widthStep = 8;
    ASSERT_EQ(recorder.reports().size(), 2u);
    EXPECT_EQ(recorder.reports()[0].func, "zarSet");
    EXPECT_EQ(recorder.reports()[0].status, STATUS_BAD_WIDTH_STEP);
    EXPECT_EQ(recorder.reports()[1].func, "zarSetFP");
    EXPECT_EQ(recorder.reports()[1].status, STATUS_BACKTRACE);
    EXPECT_EQ(recorder.reports()[1].context, "");
    EXPECT_EQ(image->depth, ZAR_DEPTH_32F);

    for (bool copy : {false, true}) {
        recorder.clear();
        TileStore store(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 8, 8, 8);
        store.refuse(copy ? 0 : 1, 0);
        Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 8);
        Image mask(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 16, 8, 4, 1);
        ImageHeader* masked = copy ? dst.get() : store.image();
        masked->maskImage = mask;
        copy ? zarCopy(store.image(), dst) : zarSet(store.image(), 1);
        EXPECT_EQ(masked->maskImage, mask.get());
        masked->maskImage = nullptr;
        EXPECT_EQ(mask->maskImage, nullptr);
        ASSERT_GE(recorder.reports().size(), 2u);
        const zt::Report& last = recorder.reports().back();
        EXPECT_EQ(last.status, STATUS_BACKTRACE);
        EXPECT_EQ(last.func, copy ? "zarCopy" : "zarSet");
        EXPECT_EQ(last.context, "");
        EXPECT_EQ(last.file, "zarsce");
        EXPECT_TRUE(store.balanced());
    }
}

// A refused tile stops the call at that tile; every tile handed out is released.
TEST(PixelChecks, RefusedTiles) {
    zt::OperandSpec plain, tiled;
    plain.width = tiled.width = 24;
    tiled.tiled = true;
    const zt::Want write{STATUS_ERROR, "Error get tile to write"};
    const zt::Want read{STATUS_ERROR, "Error get tile to read"};
    const zt::Want backtrace{STATUS_BACKTRACE, ""};
    auto set = [](const std::vector<ImageHeader*>& h) { zarSet(h[0], 6); };
    auto copy = [](const std::vector<ImageHeader*>& h) { zarCopy(h[0], h[1]); };
    auto put = [](const std::vector<ImageHeader*>& h) {
        const uint8_t one = 1;
        zarPutPixel(h[0], 3, 7, &one);
    };
    zt::expectRefusal({tiled}, 0, 2, 0, set, "zarSet", "zarsce", write);
    zt::expectRefusal({tiled}, 0, 0, 0, put, "zarPutPixel", "zarPutPx", write);
    zt::expectRefusal({tiled, plain}, 0, 1, 0, copy, "zarCopy", "zarsce", read);
    zt::expectRefusal({plain, tiled}, 1, 0, 0, copy, "zarCopy", "zarsce", write);
    zt::expectRefusal({tiled, tiled}, 0, 1, 0, copy, "zarCopy", "zarsce", backtrace);
}

// ------------------------------------------------------------ random cases

// Every operation on random operands (depths, layouts, channels of interest,
// alpha, regions past the edges, masks, tiles, in place) against the reference.
TEST(PixelRandom, EveryOperationAgainstTheReference) {
    const zt::PixelOp ops[] = {zt::PixelOp::set,       zt::PixelOp::copy,       zt::PixelOp::add,
                               zt::PixelOp::logicalOr, zt::PixelOp::logicalAnd, zt::PixelOp::xorS};
    for (uint32_t seed = 1; seed <= 4800; ++seed) {
        zt::Rng rng(seed);
        const zt::PixelOp op = ops[seed % 6];
        const std::vector<zt::OperandSpec> specs = zt::randomPixelOperands(op, rng);
        const uint32_t r = rng.next();
        const double value = specs[0].depth == ZAR_DEPTH_32F
                                 ? static_cast<int32_t>(r % 2001 - 1000) / 4.0
                             : rng.range(0, 1) ? static_cast<int32_t>(r)
                                               : static_cast<int32_t>(r % 140001) - 70000;
        ASSERT_EQ(zt::runPixelOp(op, specs, seed, value), "") << "value " << value;
    }
}

// Whole images of several megabytes (one run of 2.7 MB): fills and copies that long take
// their own store loop.
TEST(PixelRandom, SetAndCopyOfWholeImagesOfSeveralMegabytes) {
    for (const zt::PixelOp op : {zt::PixelOp::set, zt::PixelOp::copy}) {
        std::vector<zt::OperandSpec> specs(op == zt::PixelOp::set ? 1 : 2);
        for (zt::OperandSpec& s : specs) {
            s.width = 1704;
            s.height = 1601;
        }
        ASSERT_EQ(zt::runPixelOp(op, specs, 5, 0x4D), "");
    }
}

// Random puts into plain and tiled images of every depth, order and origin;
// the op and the reference draw the same positions and values from one seed.
TEST(PixelRandom, PutPixelAgainstTheReference) {
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        zt::Rng rng(seed);
        zt::OperandSpec s;
        s.depth = zt::pick(rng, {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                                 ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F});
        s.dataOrder = rng.range(0, 1);
        s.nChannels = s.depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
        s.width = rng.range(1, 40);
        s.height = rng.range(1, 30);
        s.align = zt::pick(rng, {4, 8, 16, 32});
        s.tileWidth = zt::pick(rng, {8, 16, 24});
        s.tileHeight = zt::pick(rng, {8, 16});
        const int32_t origin = rng.range(0, 1);
        // Ten puts: position, then the pixel's samples (1-bit: only bit 0 counts).
        auto puts = [&](auto&& each) {
            zt::Rng draw(seed);
            char pixel[16];
            const zt::Layout one{
                pixel, 0, 1, s.nChannels, s.depth == ZAR_DEPTH_1U ? ZAR_DEPTH_8U : s.depth, 0};
            for (int put = 0; put < 10; ++put) {
                const int32_t x = draw.range(0, s.width - 1), y = draw.range(0, s.height - 1);
                for (int32_t c = 0; c < s.nChannels; ++c)
                    zt::setSample(one, 0, 0, c, draw.range(-100, 200));
                each(x, y, pixel, one);
            }
        };
        auto op = [&](const std::vector<ImageHeader*>& h) {
            h[0]->origin = origin;
            puts([&](int32_t x, int32_t y, const char* pixel, const zt::Layout&) {
                zarPutPixel(h[0], x, y, pixel);
            });
        };
        auto reference = [&](const auto&, const auto&, ImageHeader* expected) {
            puts([&](int32_t x, int32_t y, const char*, const zt::Layout& one) {
                for (int32_t c = 0; c < s.nChannels; ++c)
                    zt::setSample(expected, x, origin ? s.height - 1 - y : y, c,
                                  zt::getSample(one, 0, 0, c));
            });
        };
        ASSERT_EQ(zt::runEverywhere({s}, seed, op, reference), "");
    }
}

// ------------------------------------------------------------------ overlap

// Source and destination headers over one block of memory: Copy, Add, Or, And,
// XorS and the masked 1-bit Set keep the rules' order (rows first to last,
// each from its lowest address upward) whether or not the rows are padded,
// compared with that order written out below.

constexpr int32_t kXorValue = 0x5A5A5A5B;

// Where the two headers start: the destination rowShift rows after the
// source (negative: before), each region starting srcX / dstX pixels in.
struct Placement {
    int32_t rowShift, srcX, dstX;
};

// The rules' order over the block's memory: rows first to last, each sample
// (bit) of a row from the lowest address up, every read seeing the writes
// before it.  The masked Set of 1 is the Or of the mask (the source) into the
// destination.
void expectedRows(zt::PixelOp op, const zt::Layout& block, const Placement& p, int32_t width,
                  int32_t height) {
    const int32_t srcRow = p.rowShift < 0 ? -p.rowShift : 0,
                  dstRow = p.rowShift > 0 ? p.rowShift : 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t i = 0; i < (width - std::max(p.srcX, p.dstX)) * block.nChannels; ++i) {
            const int32_t c = i % block.nChannels, x = i / block.nChannels;
            const double a = zt::getSample(block, p.srcX + x, srcRow + y, c);
            const double d = zt::getSample(block, p.dstX + x, dstRow + y, c);
            zt::setSample(block, p.dstX + x, dstRow + y, c,
                          zt::pixelRule(op == zt::PixelOp::set ? zt::PixelOp::logicalOr : op,
                                        block.depth, a, d, kXorValue));
        }
}

// Every operation x format x padded or unpadded rows x placement.  Rows of 8
// pixels (64 for 1-bit) fill their 8-byte alignment exactly: one block move
// could join them; 7 (13) leave padding.
TEST(Overlap, RowsFirstToLastWithAndWithoutPadding) {
    const std::pair<int32_t, int32_t> formats[] = {{ZAR_DEPTH_8U, 1},
                                                   {ZAR_DEPTH_16U, 1},
                                                   {ZAR_DEPTH_32F, 1},
                                                   {ZAR_DEPTH_8U, 3},
                                                   {ZAR_DEPTH_1U, 1}};
    const Placement placements[] = {{1, 0, 0}, {-1, 1, 0}, {0, 0, 1}};
    const int32_t height = 3;
    for (zt::PixelOp op : {zt::PixelOp::copy, zt::PixelOp::add, zt::PixelOp::logicalOr,
                           zt::PixelOp::logicalAnd, zt::PixelOp::xorS, zt::PixelOp::set})
        for (const auto& [depth, channels] : formats)
            for (bool padded : {false, true})
                for (const Placement& p : placements) {
                    const bool bits = depth == ZAR_DEPTH_1U;
                    const bool bitwise = op != zt::PixelOp::copy && op != zt::PixelOp::add;
                    if ((bitwise && depth == ZAR_DEPTH_32F) || (op == zt::PixelOp::set && !bits))
                        continue;  // refused by those operations
                    const int32_t width = padded ? (bits ? 13 : 7) : (bits ? 64 : 8);
                    SCOPED_TRACE(testing::Message()
                                 << "op " << static_cast<int>(op) << " depth " << depth << " x"
                                 << channels << " width " << width << " rows " << p.rowShift
                                 << " x " << p.srcX << "/" << p.dstX);
                    zt::ErrorRecorder recorder;
                    zt::Image block(channels, 0, depth, 0, width, height + 1, 8);
                    block.randomize(static_cast<uint32_t>(width * 31 + static_cast<int>(op)));
                    std::vector<char> expected(block->imageData,
                                               block->imageData + block->imageSize);
                    // Two whole-image headers of `height` rows over the block.
                    const int32_t step = block->widthStep;
                    ImageHeader src = *block.get(), dst = *block.get();
                    src.height = dst.height = height;
                    src.imageSize = dst.imageSize = step * height;
                    src.imageData += p.rowShift < 0 ? -p.rowShift * step : 0;
                    dst.imageData += p.rowShift > 0 ? p.rowShift * step : 0;
                    Roi srcRoi{0, p.srcX, 0, width - p.srcX, height},
                        dstRoi{0, p.dstX, 0, width - p.dstX, height};
                    if (p.srcX) src.roi = &srcRoi;
                    if (p.dstX) dst.roi = &dstRoi;
                    if (op == zt::PixelOp::set)
                        dst.maskImage = &src;  // the mask is the source's memory
                    zt::callPixelOp(op, {&src, &dst, &dst}, op == zt::PixelOp::set ? 1 : kXorValue);
                    EXPECT_TRUE(recorder.reports().empty());
                    expectedRows(op,
                                 zt::Layout{expected.data(), step, height + 1, channels, depth, 0},
                                 p, width, height);
                    EXPECT_EQ(0, std::memcmp(block->imageData, expected.data(), expected.size()));
                }
}

}  // namespace
