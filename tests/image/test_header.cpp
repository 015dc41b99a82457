// Header creation, allocation's header check and validation with their order of checks (one
// table of faults, each alone and every pair), the widthStep rule, the border setter and the
// tile stride.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "image/image.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

void ZAR_STDCALL noTiles(ImageHeader*, int32_t, int32_t, int32_t) {}

// The rule for every format, in the internal helper and in every fourth header made (planes
// hold one row size per channel).
TEST(WidthStep, TheRuleForEveryFormatInHeadersAndTheTileStride) {
    for (int32_t depth : {1, 8, 16, 32, ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S})
        for (int32_t order : {0, 1})
            for (int32_t align : {4, 8, 16, 32})
                for (int32_t n = 1; n <= (depth == ZAR_DEPTH_1U ? 1 : 4); ++n)
                    for (int32_t width = 1; width <= 70; ++width) {
                        const int32_t step = zt::expectedWidthStep(order, depth, align, n, width);
                        ASSERT_EQ(computeWidthStep(order, depth, align, n, width), step);
                        if (width % 4) continue;
                        ImageHeader* image = zarCreateImageHeader(n, 0, depth, "RGB", "BGR", order,
                                                                  0, align, width, 3, nullptr,
                                                                  nullptr, nullptr, nullptr);
                        ASSERT_NE(image, nullptr);
                        EXPECT_EQ((std::array{image->widthStep, image->imageSize}),
                                  (std::array{step, step * 3 * (order ? n : 1)}));
                        zarDeallocate(image, ZAR_FREE_HEADER);
                    }
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
// or tiled) with a roi, its tile and roi records and the texts creation takes.
struct Subject {
    ImageHeader h;
    TileInfo tile{noTiles, 0, nullptr, 16, 8};
    Roi roi{0, 0, 0, 4, 4};
    const char *model = "GRAY", *seq = "GRAY";
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
    // A mask failing with code c gives c - 100, the mask's mask too: spoiled copies of goodMask
    // checked after the tiled mask.
    const std::pair<ZarStatus, std::function<void(ImageHeader&, Roi&)>> maskFaults[] = {
        {-124, [](ImageHeader& m, Roi& r) { m.roi = &r, r.coi = 5; }},
        {-125, [](ImageHeader& m, Roi& r) { m.roi = &r, r.width = 0; }},
        {-111, [](ImageHeader& m, Roi& r) { m.roi = &r, r.yOffset = -1; }},
        {-112, [](ImageHeader& m, Roi&) { m.imageData = nullptr; }},
        {-110, [](ImageHeader& m, Roi&) { m.imageSize = 0; }},
        {-113, [](ImageHeader& m, Roi&) { m.widthStep = -4; }},
        {-115, [](ImageHeader& m, Roi&) { m.nChannels = 0; }},
        {-116, [](ImageHeader& m, Roi&) { m.nChannels = 3; }},
        {-118, [](ImageHeader& m, Roi&) { m.alphaChannel = 2; }},
        {-119, [](ImageHeader& m, Roi&) { m.dataOrder = 3; }},
        {-120, [](ImageHeader& m, Roi&) { m.origin = 3; }},
        {-121, [](ImageHeader& m, Roi&) { m.align = 1; }},
        {-217, [&](ImageHeader& m, Roi&) { m.maskImage = byteMask; }},
    };
    std::list<std::pair<ImageHeader, Roi>> masks;
    for (const auto& [code, spoil] : maskFaults) {
        masks.push_back({*goodMask.get(), Roi{0, 0, 0, 4, 4}});
        spoil(masks.back().first, masks.back().second);
        faults.insert(faults.begin() + 19,
                      {"mask " + std::to_string(code), code, "mask", kArgs,
                       [m = &masks.back().first](Subject& s) { s.h.maskImage = m; }});
    }
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
                Subject s{*plain.get()};
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

}  // namespace
