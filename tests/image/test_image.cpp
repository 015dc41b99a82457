// Images: header creation, allocation's header check and validation with their order of checks
// (one table of faults, each alone and every pair), the widthStep rule, the border setter and the
// tile stride; pixel allocation (checks, sizes, fill patterns), release by flags, and cloning;
// the region transfer engine (hand-worked border rules, then random plain and tiled images under
// random borders against the border reference, and the tile protocol of tiled sources).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "image/image.h"
#include "image/region.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

using zt::Image;
using zt::TileStore;

void ZAR_STDCALL noTiles(ImageHeader*, int32_t, int32_t, int32_t) {}

// The rule for every format in the layout helper that headers, allocation and the tile stride
// share (headers and allocation are checked against it below).
TEST(WidthStep, TheRuleForEveryFormatAndTheTileStride) {
    for (int32_t depth : {1, 8, 16, 32, ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S})
        for (int32_t order : {0, 1})
            for (int32_t align : {4, 8, 16, 32})
                for (int32_t n = 1; n <= (depth == ZAR_DEPTH_1U ? 1 : 4); ++n)
                    for (int32_t width = 1; width <= 70; ++width)
                        ASSERT_EQ(computeWidthStep(order, depth, align, n, width),
                                  zt::expectedWidthStep(order, depth, align, n, width));
    zt::TileStore store(3, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PIXEL, 40, 20, 24, 16, 16);
    zt::Image plainImage(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    EXPECT_EQ(tileWidthStep(store), 144);  // 24 * 3 * 2, a multiple of 16
    EXPECT_EQ(tileWidthStep(plainImage) + tileWidthStep(nullptr), 0);
    store.image()->tileInfo->width = 12;  // invalid
    EXPECT_EQ(tileWidthStep(store), 0);
    zarSetStatus(0);
}

TEST(CreateImageHeader, FillsEveryFieldAndTakesTextsWithoutTerminator) {
    zt::ErrorRecorder recorder;
    Roi roi{99, -5, -5, 0, -1};  // not checked
    TileInfo tile{noTiles, 0, nullptr, 8, 8};
    const char model[4] = {'R', 'G', 'B', 'x'}, seq[4] = {'B', 'G', 'R', 'y'};
    int tag = 0;
    ImageHeader* image = zarCreateImageHeader(3, 3, ZAR_DEPTH_16U, model, seq, 1, 1, 8, 5, 7, &roi,
                                              nullptr, &tag, &tile);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image) % 32, 0u);
    EXPECT_EQ((std::array{image->headerSize, image->headerId, image->nChannels, image->alphaChannel,
                          image->depth, image->dataOrder, image->origin, image->align, image->width,
                          image->height, image->widthStep, image->imageSize}),
              (std::array{static_cast<int32_t>(sizeof(ImageHeader)), 0, 3, 3, ZAR_DEPTH_16U, 1, 1,
                          8, 5, 7, 16, 16 * 7 * 3}));
    EXPECT_EQ(std::memcmp(image->colorModel, "RGBxBGRy", 8), 0);
    EXPECT_EQ(
        (std::array<const void*, 6>{image->roi, image->maskImage, image->imageTag, image->tileInfo,
                                    image->imageData, image->imageDataBlock}),
        (std::array<const void*, 6>{&roi, nullptr, &tag, &tile, nullptr, nullptr}));
    for (int side = 0; side < 4; ++side)
        EXPECT_EQ(image->borderModes[side] | image->borderValues[side], 0);
    zarDeallocate(image, ZAR_FREE_HEADER);
}

// A valid 1-bit 16 x 16 header (plain with pixels, plain without for creation and allocation,
// or tiled) with a roi, its tile and roi records, the texts creation takes, and a valid 1-bit
// 8 x 8 mask to spoil, with its own roi record.
struct Subject {
    ImageHeader h, mask;
    TileInfo tile{noTiles, 0, nullptr, 16, 8};
    Roi roi{0, 0, 0, 4, 4}, maskRoi{0, 0, 0, 4, 4};
    const char *model = "GRAY", *seq = "GRAY";
    ImageHeader& spoiledMask() { return *(h.maskImage = &mask); }
    Roi& spoiledMaskRoi() { return *(spoiledMask().roi = &maskRoi); }
};

// Who makes each check: creation, allocation, validation of a plain or of a tiled header.
enum Kind { kCreate = 1, kAllocate = 2, kPlain = 4, kTiled = 8, kArgs = 15, kValid = 12 };

// One fault, its code and the field it breaks (faults on one field are never combined).
struct Fault {
    std::string name;
    ZarStatus code;
    std::string field;
    int kinds;
    std::function<void(Subject&)> apply;
};

TEST(HeaderChecks, EachFaultAloneAndEveryPairInOrder) {
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4), goodMask(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    zt::TileStore tiledMask(1, 0, ZAR_DEPTH_1U, 0, 16, 16, 8, 8);
    static char byte;
    std::vector<Fault> faults = {
        {"both pointers", -12, "pointers", kValid,
         [](Subject& s) { s.h.imageData = s.h.tileInfo ? &byte : nullptr; }},
        {"imageSize 0", -10, "imageSize", kPlain, [](Subject& s) { s.h.imageSize = 0; }},
        {"widthStep 0", -13, "widthStep", kPlain, [](Subject& s) { s.h.widthStep = 0; }},
        {"width 0", -10, "size", kArgs, [](Subject& s) { s.h.width = 0; }},
        {"height -3", -10, "size", kArgs, [](Subject& s) { s.h.height = -3; }},
        {"no channels", -15, "channels", kArgs, [](Subject& s) { s.h.nChannels = 0; }},
        {"two 1-bit channels", -16, "channels", kArgs, [](Subject& s) { s.h.nChannels = 2; }},
        {"no colour model", -14, "model", kCreate, [](Subject& s) { s.model = nullptr; }},
        {"no channel sequence", -14, "model", kCreate, [](Subject& s) { s.seq = nullptr; }},
        {"depth 12", -17, "depth", kArgs, [](Subject& s) { s.h.depth = 12; }},
        {"depth sign only", -17, "depth", kArgs, [](Subject& s) { s.h.depth = ZAR_DEPTH_SIGN; }},
        {"signed 1-bit", -17, "depth", kArgs, [](Subject& s) { s.h.depth = ZAR_DEPTH_SIGN | 1; }},
        {"alpha 3", -18, "alpha", kArgs, [](Subject& s) { s.h.alphaChannel = 3; }},
        {"order 5", -19, "order", kArgs, [](Subject& s) { s.h.dataOrder = 5; }},
        {"origin -1", -20, "origin", kArgs, [](Subject& s) { s.h.origin = -1; }},
        {"align 64", -21, "align", kArgs, [](Subject& s) { s.h.align = 64; }},
        {"align 2", -21, "align", kArgs, [](Subject& s) { s.h.align = 2; }},
        {"8-bit mask", -117, "mask", kArgs, [&](Subject& s) { s.h.maskImage = byteMask; }},
        {"tiled mask", -26, "mask", kArgs, [&](Subject& s) { s.h.maskImage = tiledMask; }},
        // A mask failing with code c gives c - 100, the mask's mask too.
        {"mask coi", -124, "mask", kArgs, [](Subject& s) { s.spoiledMaskRoi().coi = 5; }},
        {"mask roi width", -125, "mask", kArgs, [](Subject& s) { s.spoiledMaskRoi().width = 0; }},
        {"mask roi y", -111, "mask", kArgs, [](Subject& s) { s.spoiledMaskRoi().yOffset = -1; }},
        {"mask pixels", -112, "mask", kArgs,
         [](Subject& s) { s.spoiledMask().imageData = nullptr; }},
        {"mask size", -110, "mask", kArgs, [](Subject& s) { s.spoiledMask().imageSize = 0; }},
        {"mask step", -113, "mask", kArgs, [](Subject& s) { s.spoiledMask().widthStep = -4; }},
        {"mask channels", -115, "mask", kArgs, [](Subject& s) { s.spoiledMask().nChannels = 0; }},
        {"mask 1-bit", -116, "mask", kArgs, [](Subject& s) { s.spoiledMask().nChannels = 3; }},
        {"mask alpha", -118, "mask", kArgs, [](Subject& s) { s.spoiledMask().alphaChannel = 2; }},
        {"mask order", -119, "mask", kArgs, [](Subject& s) { s.spoiledMask().dataOrder = 3; }},
        {"mask origin", -120, "mask", kArgs, [](Subject& s) { s.spoiledMask().origin = 3; }},
        {"mask align", -121, "mask", kArgs, [](Subject& s) { s.spoiledMask().align = 1; }},
        {"mask's mask", -217, "mask", kArgs,
         [&](Subject& s) { s.spoiledMask().maskImage = byteMask; }},
        {"no callback", -22, "callback", kTiled, [](Subject& s) { s.tile.callBack = nullptr; }},
        {"tile width 0", -23, "tileWidth", kTiled, [](Subject& s) { s.tile.width = 0; }},
        {"tile width 12", -23, "tileWidth", kTiled, [](Subject& s) { s.tile.width = 12; }},
        {"tile height 0", -23, "tileHeight", kTiled, [](Subject& s) { s.tile.height = 0; }},
        {"tile height 20", -23, "tileHeight", kTiled, [](Subject& s) { s.tile.height = 20; }},
        {"coi 2", -24, "coi", kValid, [](Subject& s) { s.roi.coi = 2; }},
        {"coi -1", -24, "coi", kValid, [](Subject& s) { s.roi.coi = -1; }},
        {"roi height 0", -25, "roiH", kValid, [](Subject& s) { s.roi.height = 0; }},
        {"roi width -1", -25, "roiW", kValid, [](Subject& s) { s.roi.width = -1; }},
        {"roi x -1", -11, "roiX", kValid, [](Subject& s) { s.roi.xOffset = -1; }},
        {"roi y -2", -11, "roiY", kValid, [](Subject& s) { s.roi.yOffset = -2; }},
    };
    zt::Image plain(1, 0, ZAR_DEPTH_1U, 0, 16, 16);
    zt::ErrorRecorder recorder;
    for (int kind : {kCreate, kAllocate, kPlain, kTiled})
        for (size_t i = 0; i < faults.size(); ++i)
            for (size_t j = i; j < faults.size(); ++j) {
                const Fault &f = faults[i], &g = faults[j];
                if ((j != i && g.field == f.field) || !(f.kinds & g.kinds & kind)) continue;
                // Two 1-bit channels only fail as such while the depth is 1-bit.
                if (f.name == "two 1-bit channels" && g.field == "depth") continue;
                SCOPED_TRACE(std::to_string(kind) + ": " + f.name + " + " + g.name);
                Subject s{*plain.get(), *goodMask.get()};
                s.h.roi = &s.roi;
                if (kind != kPlain) s.h.imageData = nullptr;
                if (kind == kTiled) s.h.tileInfo = &s.tile, s.h.imageSize = s.h.widthStep = 0;
                f.apply(s);
                g.apply(s);
                recorder.clear();
                zarSetStatus(0);
                if (kind == kCreate) {
                    EXPECT_EQ(
                        zarCreateImageHeader(s.h.nChannels, s.h.alphaChannel, s.h.depth, s.model,
                                             s.seq, s.h.dataOrder, s.h.origin, s.h.align, s.h.width,
                                             s.h.height, nullptr, s.h.maskImage, nullptr, nullptr),
                        nullptr);
                    zt::expectReports(recorder, "zarCreateImageHeader", "zaralloc",
                                      {{f.code, "Incorrect data-ins", 148}});
                } else if (kind == kAllocate) {
                    zarAllocateImage(&s.h, 1, 0);
                    zt::expectReports(recorder, "zarAllocateImage", "zaralloc",
                                      {{f.code, "Incorrect data-ins", 269}});
                    EXPECT_EQ(s.h.imageData, nullptr);
                } else {
                    EXPECT_EQ(validateHeader(&s.h), f.code);
                    EXPECT_TRUE(recorder.reports().empty());  // validation reports nothing
                }
                EXPECT_EQ(zarGetStatus(), f.code);
            }
    EXPECT_TRUE(tiledMask.log().empty());
    zarSetStatus(0);
}

TEST(HeaderChecks, ValidationIgnoresSizesTextsAndBordersAndSetsTheStatusOnlyOnAFault) {
    zt::Image plain(1, 0, ZAR_DEPTH_1U, 0, 16, 16);
    zarSetStatus(-77);
    Roi pastTheImage{1, 100, 200, 50, 50};
    plain->roi = &pastTheImage;
    plain->widthStep = plain->imageSize = plain->headerSize = 1;
    plain->headerId = 99;
    std::memset(plain->colorModel, 0, 8);
    plain->borderModes[0] = 77;
    EXPECT_EQ(validateHeader(plain), 0);
    plain->roi = nullptr;
    TileInfo tile{noTiles, 0, nullptr, 16, 8};  // a tiled header needs no sizes
    plain->tileInfo = &tile, plain->imageData = nullptr, plain->imageSize = plain->widthStep = 0;
    EXPECT_EQ(validateHeader(plain), 0);
    plain->tileInfo = nullptr, plain->imageData = plain->imageDataBlock;
    EXPECT_EQ(zarGetStatus(), -77);
    EXPECT_EQ(validateHeader(nullptr), -9);
    EXPECT_EQ(zarGetStatus(), -9);
    zarSetStatus(0);
}

// Top and right take a value under the depth's range, bottom and left one over it.
TEST(SetBorderMode, WritesTheChosenSidesWithTheValueClampedToTheDepth) {
    // depth, a value under the range and what is stored, one over it and what is stored
    const int32_t cases[][5] = {{ZAR_DEPTH_1U, -5, 0, 5, 1},
                                {ZAR_DEPTH_8U, -1, 0, 256, 255},
                                {ZAR_DEPTH_8S, -129, -128, 128, 127},
                                {ZAR_DEPTH_16U, -1, 0, 70000, 65535},
                                {ZAR_DEPTH_16S, -40000, -32768, 40000, 32767},
                                {ZAR_DEPTH_32S, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                                {ZAR_DEPTH_32F, -123456789, -123456789, 123456789, 123456789}};
    for (const auto& c : cases) {
        ImageHeader h{};
        h.depth = c[0];
        setBorderMode(&h, ZAR_BORDER_REFLECT, ZAR_SIDE_TOP | ZAR_SIDE_RIGHT, c[1]);
        setBorderMode(&h, ZAR_BORDER_WRAP, ZAR_SIDE_BOTTOM | ZAR_SIDE_LEFT, c[3]);
        EXPECT_EQ((std::array{h.borderModes[0], h.borderModes[1], h.borderModes[2],
                              h.borderModes[3], h.borderValues[0], h.borderValues[1],
                              h.borderValues[2], h.borderValues[3]}),
                  (std::array{2, 3, 3, 2, c[2], c[4], c[4], c[2]}))
            << c[0];
    }
}

// ------------------------------------------------------------ pixels

ImageHeader* header(int32_t nChannels, int32_t depth, int32_t order = 0, int32_t align = 4,
                    int32_t width = 7, int32_t height = 5) {
    return zarCreateImageHeader(nChannels, 0, depth, "RGB", "BGR", order, ZAR_ORIGIN_TL, align,
                                width, height, nullptr, nullptr, nullptr, nullptr);
}

// The clone has the source's format, fields and border settings, its own pixels (by the
// widthStep rule, the source's values) and roi record, and no mask, tiles or tag.
void expectClone(const ImageHeader* source, const ImageHeader* clone) {
    ASSERT_NE(clone, nullptr);
    ImageHeader want = *source;
    want.headerId = 0, want.maskImage = nullptr, want.tileInfo = nullptr, want.imageTag = nullptr;
    want.widthStep = zt::expectedWidthStep(source->dataOrder, source->depth, source->align,
                                           source->nChannels, source->width);
    want.imageSize = want.widthStep * source->height * (source->dataOrder ? source->nChannels : 1);
    want.roi = clone->roi, want.imageData = clone->imageData;
    want.imageDataBlock = clone->imageDataBlock;
    EXPECT_EQ(std::memcmp(&want, clone, sizeof want), 0);
    ASSERT_NE(clone->imageData, nullptr);
    EXPECT_NE(clone->imageData, source->imageData);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(clone->imageData) % clone->align, 0u);
    EXPECT_EQ(clone->roi == nullptr, source->roi == nullptr);
    if (source->roi) {
        EXPECT_NE(clone->roi, source->roi);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(clone->roi) % 32, 0u);
        EXPECT_EQ(std::memcmp(clone->roi, source->roi, sizeof(Roi)), 0);
    }
    if (source->tileInfo) return;
    // Row by row, as much of each row as both strides and the source's block hold.
    const int64_t rows = int64_t{source->height} * (source->dataOrder ? source->nChannels : 1);
    const int32_t bytes = std::min(source->widthStep, clone->widthStep);
    for (int64_t r = 0; r < rows; ++r)
        for (int64_t b = 0; b < bytes && r * source->widthStep + b < source->imageSize; ++b)
            ASSERT_EQ(clone->imageData[r * clone->widthStep + b],
                      source->imageData[r * source->widthStep + b]);
}

// Every depth and order (aligns in turn): the allocation's sizes, alignment and fill word (the
// pixels of a source that cannot be had, beyond 32 bits, are null without a report); then a
// clone of the image with random values, border settings, a tag and now and then a roi or a
// mask, which the clone does not share.
TEST(AllocateAndClone, EveryDepthOrderAndAlign) {
    const struct {
        int32_t depth, fill;
        float fillFP;
        uint32_t word;
    } cases[] = {
        {ZAR_DEPTH_8U, 0x1234, 0, 0x34343434u},   {ZAR_DEPTH_8S, -2, 0, 0xFEFEFEFEu},
        {ZAR_DEPTH_16U, -1, 0, 0xFFFFFFFFu},      {ZAR_DEPTH_16S, 0x12345, 0, 0x23452345u},
        {ZAR_DEPTH_32S, -123456, 0, 0xFFFE1DC0u}, {ZAR_DEPTH_1U, 2, 0, 0u},
        {ZAR_DEPTH_1U, 3, 0, 0xFFFFFFFFu},        {ZAR_DEPTH_32F, 0, 1.5f, 0x3FC00000u},
        {ZAR_DEPTH_32F, 0, -0.0f, 0x80000000u},
    };
    zt::ErrorRecorder recorder;
    zt::Image mask(1, 0, ZAR_DEPTH_1U, 0, 13, 6);
    int tag = 0;
    int32_t align = 4;
    uint32_t seed = 1;
    for (const auto& c : cases)
        for (int32_t order : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c.depth << " fill " << c.fill << " order " << order);
            align = align == 32 ? 4 : 2 * align;
            const int32_t n = c.depth == ZAR_DEPTH_1U ? 1 : 3;
            zt::Image image(header(n, c.depth, order, align, 9, 4));
            image->widthStep = 999;  // overwritten by the rule
            image->imageSize = 1;
            if (c.depth == ZAR_DEPTH_32F)
                zarAllocateImageFP(image, 1, c.fillFP);
            else
                zarAllocateImage(image, 1, c.fill);
            ASSERT_NE(image->imageData, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(image->imageData) % align, 0u);
            EXPECT_GE(image->imageData, image->imageDataBlock);
            EXPECT_LT(image->imageData - image->imageDataBlock, align);
            const int32_t step = zt::expectedWidthStep(order, c.depth, align, n, 9);
            EXPECT_EQ((std::array{image->widthStep, image->imageSize}),
                      (std::array{step, step * 4 * (order ? n : 1)}));
            std::vector<uint32_t> words(static_cast<size_t>(image->imageSize) / 4);
            std::memcpy(words.data(), image->imageData, words.size() * 4);
            EXPECT_EQ(words, std::vector<uint32_t>(words.size(), c.word));
            image.randomize(seed++);
            setBorderMode(image, ZAR_BORDER_WRAP, ZAR_SIDE_LEFT, 1);
            image->origin = ZAR_ORIGIN_BL;
            image->headerId = 17;
            image->imageTag = &tag;
            image->maskImage = seed % 3 ? nullptr : mask.get();
            if (seed % 2) image.setRoi(n, 1, 2, 5, 2);
            zt::Image clone(zarCloneImage(image));
            expectClone(image, clone);
            image->maskImage = nullptr;
            if (!image->roi) continue;
            clone->roi->width = 1;
            EXPECT_EQ(image->roi->width, 5);
        }
    ImageHeader* image = header(4, ZAR_DEPTH_32S, 0, 4, 100000, 100000);
    zarAllocateImage(image, 1, 0);
    EXPECT_EQ((std::array{image->imageData, image->imageDataBlock}), (std::array<char*, 2>{}));
    zarDeallocate(image, ZAR_FREE_ALL);
    EXPECT_TRUE(recorder.reports().empty());
}

// The checks of both allocators in order (their lines differ by the same steps): each row
// repairs the fault it reported, so the next check speaks; then the image is allocated, and a
// second allocation is refused and keeps the first pixels.
TEST(AllocateImage, ArgumentChecksInOrderWithTheirLines) {
    zt::ErrorRecorder recorder;
    for (bool fp : {false, true}) {
        const char* func = fp ? "zarAllocateImageFP" : "zarAllocateImage";
        char byte = 0;
        TileInfo tile{noTiles, 0, nullptr, 8, 8};
        ImageHeader* image = header(1, fp ? ZAR_DEPTH_32S : ZAR_DEPTH_32F);
        image->imageData = &byte, image->tileInfo = &tile, image->width = 0;
        const std::tuple<ImageHeader*, ZarStatus, const char*, int32_t> steps[] = {
            {nullptr, -5, "( image == ((void *)0) )", 0},
            {image, -5, "( image->imageData != ((void *)0) )", 1},
            {image, -5, "( image->tileInfo != ((void *)0) )", 2},
            {image, -5, fp ? "( image->depth != 32 )" : "( image->depth == 32 )", 3},
            {image, -10, "Incorrect data-ins", 13},
            {image, 0, "", 0},
            {image, -5, "( image->imageData != ((void *)0) )", 1},
        };
        char* first = nullptr;
        for (int k = 0; k < 7; ++k) {
            const auto& [argument, status, context, offset] = steps[k];
            SCOPED_TRACE(std::string(func) + " " + context);
            recorder.clear();
            fp ? zarAllocateImageFP(argument, 1, 5) : zarAllocateImage(argument, 1, 5);
            if (status)
                zt::expectReports(recorder, func, "zaralloc",
                                  {{status, context, (fp ? 321 : 256) + offset}});
            EXPECT_EQ(image->imageDataBlock == nullptr, k < 5);
            EXPECT_TRUE(k != 6 || image->imageData == first);
            first = image->imageData;
            if (k == 1) image->imageData = nullptr;
            if (k == 2) image->tileInfo = nullptr;
            if (k == 3) image->depth = fp ? ZAR_DEPTH_32F : ZAR_DEPTH_32S;
            if (k == 4) image->width = 7;
        }
        EXPECT_NE(first, nullptr);
        zarDeallocate(image, ZAR_FREE_ALL);
    }
}

TEST(Deallocate, EachFlagReleasesOnlyItsPart) {
    // Each part is its own block: the sanitizer build checks that every one is
    // freed exactly once and that nothing else is touched.
    zarDeallocate(nullptr, ZAR_FREE_ALL);
    ImageHeader* mask = zt::newImage(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    ImageHeader* inner = zt::newImage(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    mask->roi = makeRoi(1, 0, 0, 2, 2);
    mask->maskImage = inner;  // the mask's own mask is not released with it
    ImageHeader* image = zt::newImage(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    image->roi = makeRoi(0, 1, 1, 2, 2);
    image->maskImage = mask;
    auto* tile = static_cast<TileInfo*>(alignedMalloc(sizeof(TileInfo)));
    image->tileInfo = tile;
    const std::pair<int32_t, std::array<void*, 5>> steps[] = {
        {ZAR_FREE_ROI, {nullptr, mask, tile, image->imageData, image->imageDataBlock}},
        {ZAR_FREE_DATA, {nullptr, mask, tile, nullptr, nullptr}},
        {ZAR_FREE_TILE, {nullptr, mask, nullptr, nullptr, nullptr}},
        {ZAR_FREE_MASK, {}},
    };
    for (const auto& [flag, left] : steps) {
        zarDeallocate(image, flag);
        EXPECT_EQ((std::array<void*, 5>{image->roi, image->maskImage, image->tileInfo,
                                        image->imageData, image->imageDataBlock}),
                  left);
    }
    zarDeallocate(image, ZAR_FREE_HEADER);
    zarDeallocate(inner, ZAR_FREE_ALL);
    // Pixels the application supplied are left alone.
    image = header(1, ZAR_DEPTH_8U);
    std::vector<char> pixels(static_cast<size_t>(image->imageSize), 3);
    image->imageData = pixels.data();
    const ImageHeader before = *image;
    zarDeallocate(image, ZAR_FREE_DATA);
    EXPECT_EQ(std::memcmp(&before, image, sizeof(ImageHeader)), 0);
    zarDeallocate(image, ZAR_FREE_ALL);
}

TEST(CloneImage, TiledAndApplicationSourcesAndFailures) {
    zt::ErrorRecorder recorder;
    // A tiled source gives a plain image without a tile being read.
    zt::TileStore store(2, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 20, 12, 8, 8, 8);
    zt::Image tiledClone(zarCloneImage(store));
    expectClone(store.image(), tiledClone);
    EXPECT_TRUE(store.log().empty());
    // Application rows wider than the rule (copied row by row), a block shorter than its rows
    // say and rows narrower than the rule: only what the source holds is read (the sanitizer
    // build checks the reads).
    const int32_t layouts[][7] = {{3, 16, 0, 5, 4, 20, 0},
                                  {3, 16, 1, 5, 4, 20, 0},
                                  {1, 8, 0, 8, 4, 0, 16},
                                  {1, 8, 0, 8, 4, -4, 16}};
    zt::Rng rng(9);
    for (const auto& l : layouts) {  // n, depth, order, w, h, extra step, size (0: all rows)
        ImageHeader* source = header(l[0], l[1], l[2], 4, l[3], l[4]);
        source->widthStep += l[5];
        source->imageSize = l[6] ? l[6] : source->widthStep * l[4] * (l[2] ? l[0] : 1);
        std::vector<char> pixels(static_cast<size_t>(source->imageSize));
        for (char& byte : pixels) byte = static_cast<char>(rng.next());
        source->imageData = pixels.data();
        zt::Image clone(zarCloneImage(source));
        expectClone(source, clone);
        zarDeallocate(source, ZAR_FREE_HEADER);
    }
    EXPECT_TRUE(recorder.reports().empty());
    // Invalid sources, then pixels that cannot be had: the header and roi
    // made so far are released (the sanitizer build checks that nothing leaks).
    ImageHeader* source = header(1, ZAR_DEPTH_8U, 0, 4, 8, 4);
    char pixels[32] = {};
    source->imageData = pixels;
    source->roi = makeRoi(0, 0, 0, 0, 1);
    const std::pair<ImageHeader*, ZarStatus> invalid[] = {{nullptr, -9}, {source, -25}};
    for (const auto& [image, code] : invalid) {
        EXPECT_EQ(zarCloneImage(image), nullptr);
        zt::expectReports(recorder, "zarCloneImage", "zarClone", {{code, "Incorrect Image", 37}});
        recorder.clear();
    }
    source->roi->width = 1;
    source->width = source->height = 100000;
    source->nChannels = 4;
    source->depth = ZAR_DEPTH_32F;
    EXPECT_EQ(zarCloneImage(source), nullptr);
    zt::expectReports(recorder, "zarCloneImage", "zarClone",
                      {{-4, "Not enough memory to allocate imageData for clone image", 88}});
    zarDeallocate(source, ZAR_FREE_HEADER | ZAR_FREE_ROI);
}

// ------------------------------------------------------------ regions

// Copies the rectangle x, y, w, h of header: its stride follows the region buffer layout and
// every value equals the reference on `plain` under the borders of `header`.
void expectRegion(ImageHeader* header, const ImageHeader* plain, int32_t x, int32_t y, int32_t w,
                  int32_t h) {
    int32_t stride = 0;
    char* buffer = copyRegionWithBorder(header, x, y, w, h, &stride);
    ASSERT_NE(buffer, nullptr);
    RegionBuffer layout;
    ASSERT_TRUE(regionBufferLayout(header, w, h, &layout));
    EXPECT_EQ(stride, layout.stride);
    EXPECT_EQ(stride % header->align, 0);
    const zt::Layout out{buffer, stride, h, header->nChannels, header->depth, header->dataOrder};
    for (int32_t c = 0; c < header->nChannels; ++c)
        for (int32_t j = 0; j < h; ++j)
            for (int32_t i = 0; i < w; ++i)
                ASSERT_EQ(zt::getSample(out, i, j, c),
                          zt::borderSample(plain, x + i, y + j, c, header))
                    << "buffer (" << i << ", " << j << ") channel " << c << " of rect " << x << ","
                    << y << " " << w << "x" << h;
    freeRegionCopy(buffer);
}

const int32_t kRep = ZAR_BORDER_REPLICATE, kRefl = ZAR_BORDER_REFLECT, kWrap = ZAR_BORDER_WRAP;

TEST(RegionTransfer, HandWorkedRectanglesOfANumberedImage) {
    // Rectangles of a 5 x 4 image whose pixel (x, y) is 10 y + x under border
    // modes and constants (top, bottom, left, right), and their bytes.
    struct Case {
        int32_t modes[4], values[4], x, y, w, h;
        std::vector<uint8_t> want;
    } cases[] = {
        {{}, {}, 1, 1, 3, 2, {11, 12, 13, 21, 22, 23}},  // inside: an exact copy
        {{kRep, kRep, kRep, kRep}, {}, -1, -1, 3, 3, {0, 0, 1, 0, 0, 1, 10, 10, 11}},
        {{0, 0, kRefl, kWrap}, {}, -2, 1, 9, 1, {11, 10, 10, 11, 12, 13, 14, 10, 11}},
        {{0, 0, kWrap, kRefl}, {}, -1, 2, 8, 1, {24, 20, 21, 22, 23, 24, 24, 23}},
        // reflect has period twice the size: -1..-5 map to 0..4, -6..-10 to 4..0
        {{0, 0, kRefl, 0}, {}, -11, 0, 11, 1, {0, 0, 1, 2, 3, 4, 4, 3, 2, 1, 0}},
        // a corner takes the top rule
        {{0, kRep, kRep, kRep}, {99, 0, 77, 0}, -2, -1, 3, 2, {99, 99, 99, 0, 0, 0}},
        {{0, 0, 0x10 | kWrap, 0}, {}, -1, 0, 1, 1, {4}},  // the mode is the low two bits
    };
    for (const Case& c : cases) {
        Image image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 5, 4);
        for (int32_t k = 0; k < 20; ++k)
            zt::setSample(image, k % 5, k / 5, 0, 10 * (k / 5) + k % 5);
        std::copy_n(c.modes, 4, image->borderModes);
        std::copy_n(c.values, 4, image->borderValues);
        int32_t stride = 0;
        char* buffer = copyRegionWithBorder(image, c.x, c.y, c.w, c.h, &stride);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(stride, (c.w + 3) / 4 * 4);
        std::vector<uint8_t> got;
        for (int j = 0; j < c.h; ++j)
            got.insert(got.end(), buffer + j * stride, buffer + j * stride + c.w);
        EXPECT_EQ(got, c.want) << c.x << "," << c.y;
        freeRegionCopy(buffer);
    }
}

TEST(RegionTransfer, ConstantsFillTheTopBandsPaddingOneBitConstantsAreOddOrEven) {
    Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 50);
    setBorderMode(image, ZAR_BORDER_CONSTANT, ZAR_SIDE_ALL, 7);
    Image bits(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 9, 3);
    for (int side = 0; side < 4; ++side) bits->borderValues[side] = 3 - side % 2;  // odd, even
    // 6 pixels x 3 bytes = 18, rounded up to 20 bytes of 7; 14 bits in 4 bytes of ones.
    for (auto [source, x, w, byte] :
         {std::tuple{image.get(), -1, 6, 7}, {bits.get(), -3, 14, 0xFF}}) {
        int32_t stride = 0;
        char* buffer = copyRegionWithBorder(source, x, -1, w, 5, &stride);
        for (int i = 0; i < stride; ++i) EXPECT_EQ(static_cast<uint8_t>(buffer[i]), byte) << i;
        EXPECT_EQ(stride, 20 - 16 * (byte == 0xFF));
        freeRegionCopy(buffer);
        expectRegion(source, source, x, -1, w, 5);
    }
}

TEST(RegionTransfer, UnusableHeadersGiveNull) {
    int32_t stride = -1;
    EXPECT_EQ(copyRegionWithBorder(nullptr, 0, 0, 1, 1, &stride), nullptr);
    Image image(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    for (int32_t ImageHeader::*field :
         {&ImageHeader::dataOrder, &ImageHeader::depth, &ImageHeader::align}) {
        const int32_t saved = image.get()->*field;
        image.get()->*field = 12;
        EXPECT_EQ(copyRegionWithBorder(image, 0, 0, 1, 1, &stride), nullptr);
        image.get()->*field = saved;
    }
    EXPECT_EQ(stride, -1);
    freeRegionCopy(nullptr);  // ignored
}

TEST(RegionTransfer, RandomImagesBordersAndRectanglesPlainAndTiled) {
    const int32_t depths[] = {1, 8, 16, 32, ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S};
    zt::Rng rng(20240601);
    for (int iteration = 0; iteration < 900; ++iteration) {
        SCOPED_TRACE(iteration);
        const bool tiled = iteration % 3 == 0;
        const int32_t depth = depths[rng.range(0, 6)], order = rng.range(0, 1);
        const int32_t n = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
        const int32_t alpha = n > 1 && rng.range(0, 3) == 0 ? n : 0;
        // 1-bit rows long enough for the word-wide moves.
        const int32_t width = rng.range(1, depth == ZAR_DEPTH_1U ? 150 : tiled ? 40 : 21);
        const int32_t height = rng.range(1, tiled ? 30 : 19), align = 4 << rng.range(0, 3);
        Image plain(n, alpha, depth, order, width, height, align);
        plain.randomize(rng.next());
        TileStore store(n, alpha, depth, order, width, height, 8 * rng.range(1, 3),
                        8 * rng.range(1, 2), align);
        store.copy(plain, true);
        ImageHeader* image = tiled ? store.image() : plain.get();
        for (int s = 0; s < 4; ++s) {
            // High bits of the mode word are ignored.
            image->borderModes[s] = rng.range(0, 3) | (rng.range(0, 1) << 4);
            image->borderValues[s] = static_cast<int32_t>(rng.next() % 70000) - 35000;
        }
        // A rectangle that may reach past any side, sometimes far.
        const int32_t x = rng.range(-2 * width - 3, 2 * width + 3);
        const int32_t y = rng.range(-2 * height - 3, 2 * height + 3);
        expectRegion(image, plain, x, y, rng.range(1, 3 * width + 8), rng.range(1, 3 * height + 8));
        EXPECT_TRUE(store.balanced());
    }
}

TEST(RegionTransfer, TiledSourcesHoldOneTileRowAtATimeAndARefusalGivesNull) {
    // Tiles are read (0,r), (1,r) and released in reverse, row by row.
    TileStore store(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 16, 24, 8, 8);
    int32_t stride = 0;
    freeRegionCopy(copyRegionWithBorder(store, 0, 0, 16, 24, &stride));
    std::vector<int32_t> calls, want;
    for (const zt::TileCall& call : store.log())
        calls.push_back(100 * call.mode + 10 * call.column + call.row);
    for (int r = 0; r < 3; ++r) want.insert(want.end(), {100 + r, 110 + r, 410 + r, 400 + r});
    EXPECT_EQ(calls, want);
    // Every tile of the row is asked for after a refusal; the delivered ones are given back.
    TileStore refusing(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 32, 16, 8, 8);
    refusing.refuse(1, 0);
    EXPECT_EQ(copyRegionWithBorder(refusing, 0, 0, 32, 16, &stride), nullptr);
    int32_t reads = 0, releases = 0;
    for (const zt::TileCall& call : refusing.log()) {
        reads += call.mode == ZAR_TILE_READ;
        releases += call.mode == ZAR_TILE_RELEASE;
    }
    EXPECT_EQ(reads, 4);
    EXPECT_EQ(releases, 3);
    EXPECT_TRUE(refusing.balanced());
}

}  // namespace
