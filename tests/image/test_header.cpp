// Header creation and validation with their order of checks (every fault alone
// and every pair), the widthStep rule, the border setter and the tile stride.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image/image.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

void ZAR_STDCALL noTiles(ImageHeader*, int32_t, int32_t, int32_t) {}

const int32_t kDepths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                           ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};

TEST(WidthStep, TheRuleForEveryFormatWorkedCasesAndTheTileStride) {
    for (int32_t depth : kDepths)
        for (int32_t order : {0, 1})
            for (int32_t align : {4, 8, 16, 32})
                for (int32_t n = 1; n <= (depth == ZAR_DEPTH_1U ? 1 : 4); ++n)
                    for (int32_t width = 1; width <= 70; ++width)
                        ASSERT_EQ(computeWidthStep(order, depth, align, n, width),
                                  zt::expectedWidthStep(order, depth, align, n, width));
    // channels, depth, order, align, width, height -> widthStep, imageSize.
    const int32_t worked[][8] = {{1, ZAR_DEPTH_8U, 0, 4, 1, 9, 4, 36},
                                 {1, ZAR_DEPTH_1U, 0, 4, 33, 2, 8, 16},
                                 {3, ZAR_DEPTH_16U, 0, 8, 5, 3, 32, 96},
                                 {3, ZAR_DEPTH_16U, 1, 8, 5, 3, 16, 144}};
    for (const auto& c : worked) {
        ImageHeader* image = zarCreateImageHeader(c[0], 0, c[1], "RGB", "BGR", c[2], 0, c[3], c[4],
                                                  c[5], nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ((std::array{image->widthStep, image->imageSize}), (std::array{c[6], c[7]}));
        zarDeallocate(image, ZAR_FREE_HEADER);
    }
    zt::TileStore store(3, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PIXEL, 40, 20, 24, 16, 16);
    EXPECT_EQ(tileWidthStep(store), 144);  // 24 * 3 * 2, a multiple of 16
    zt::Image plainImage(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    EXPECT_EQ(tileWidthStep(plainImage), 0);
    EXPECT_EQ(tileWidthStep(nullptr), 0);
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

// Arguments of zarCreateImageHeader, valid as they start.
struct CreateArgs {
    int32_t nChannels = 1, alpha = 0, depth = ZAR_DEPTH_1U;
    const char* model = "GRAY";
    const char* seq = "GRAY";
    int32_t order = 0, origin = 0, align = 4, width = 8, height = 8;
    ImageHeader* mask = nullptr;
};

// One fault, its code and the field it breaks (faults on one field are never combined).
template <class Target>
struct Fault {
    std::string name;
    ZarStatus code;
    std::string field;
    std::function<void(Target&)> apply;
};

TEST(CreateImageHeader, EachCheckAloneAndEveryPairInOrder) {
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4), badMask(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    badMask.setRoi(5, 0, 0, 2, 2);  // coi 5 of one channel: the mask's own -24
    zt::TileStore tiledMask(1, 0, ZAR_DEPTH_1U, 0, 16, 16, 8, 8);
    ImageHeader *m8 = byteMask, *mBad = badMask, *mTiled = tiledMask;
    using F = Fault<CreateArgs>;
    const std::vector<F> faults = {
        {"height 0", -10, "size", [](CreateArgs& a) { a.height = 0; }},
        {"width 0", -10, "size", [](CreateArgs& a) { a.width = 0; }},
        {"no channels", -15, "channels", [](CreateArgs& a) { a.nChannels = 0; }},
        {"two 1-bit channels", -16, "channels", [](CreateArgs& a) { a.nChannels = 2; }},
        {"no colour model", -14, "model", [](CreateArgs& a) { a.model = nullptr; }},
        {"no channel sequence", -14, "model", [](CreateArgs& a) { a.seq = nullptr; }},
        {"depth 7", -17, "depth", [](CreateArgs& a) { a.depth = 7; }},
        {"depth sign only", -17, "depth", [](CreateArgs& a) { a.depth = ZAR_DEPTH_SIGN; }},
        {"depth signed 1-bit", -17, "depth", [](CreateArgs& a) { a.depth = ZAR_DEPTH_SIGN | 1; }},
        {"alpha 2", -18, "alpha", [](CreateArgs& a) { a.alpha = 2; }},
        {"order 2", -19, "order", [](CreateArgs& a) { a.order = 2; }},
        {"origin -1", -20, "origin", [](CreateArgs& a) { a.origin = -1; }},
        {"align 2", -21, "align", [](CreateArgs& a) { a.align = 2; }},
        {"8-bit mask", -117, "mask", [m8](CreateArgs& a) { a.mask = m8; }},
        {"tiled mask", -26, "mask", [mTiled](CreateArgs& a) { a.mask = mTiled; }},
        {"mask with coi 5", -124, "mask", [mBad](CreateArgs& a) { a.mask = mBad; }},
    };
    auto create = [](const CreateArgs& a) {
        return zarCreateImageHeader(a.nChannels, a.alpha, a.depth, a.model, a.seq, a.order,
                                    a.origin, a.align, a.width, a.height, nullptr, a.mask, nullptr,
                                    nullptr);
    };
    zt::ErrorRecorder recorder;
    for (size_t i = 0; i < faults.size(); ++i)
        for (size_t j = i; j < faults.size(); ++j) {
            const F &f = faults[i], &g = faults[j];
            if (j != i && g.field == f.field) continue;
            // Two 1-bit channels only fail as such while the depth is 1-bit.
            if (f.name == "two 1-bit channels" && g.field == "depth") continue;
            SCOPED_TRACE(f.name + " + " + g.name);
            recorder.clear();
            CreateArgs a;
            f.apply(a);
            g.apply(a);
            EXPECT_EQ(create(a), nullptr);
            zt::expectReports(recorder, "zarCreateImageHeader", "zaralloc",
                              {{f.code, "Incorrect data-ins", 148}});
            EXPECT_EQ(zarGetStatus(), f.code);
            if (f.field == "model" || g.field == "model") continue;
            // Allocation applies the same checks to the header's own fields.
            ImageHeader* h = create(CreateArgs{});
            h->nChannels = a.nChannels, h->alphaChannel = a.alpha, h->depth = a.depth;
            h->dataOrder = a.order, h->origin = a.origin, h->align = a.align;
            h->width = a.width, h->height = a.height, h->maskImage = a.mask;
            recorder.clear();
            zarAllocateImage(h, 1, 0);
            zt::expectReports(recorder, "zarAllocateImage", "zaralloc",
                              {{f.code, "Incorrect data-ins", 269}});
            EXPECT_EQ(h->imageData, nullptr);
            zarDeallocate(h, ZAR_FREE_HEADER);
        }
    EXPECT_TRUE(tiledMask.log().empty());
}

// A valid plain 1-bit header with pixels, or a tiled one.
class Validate : public ::testing::Test {
  protected:
    void SetUp() override {
        tiled.headerSize = sizeof(ImageHeader);
        tiled.nChannels = 1;
        tiled.depth = ZAR_DEPTH_1U;
        tiled.align = 4;
        tiled.width = tiled.height = 32;
        tiled.tileInfo = &tile;
    }
    zt::Image plain{1, 0, ZAR_DEPTH_1U, 0, 16, 16};
    ImageHeader tiled{};
    TileInfo tile{noTiles, 0, nullptr, 16, 8};
};

TEST_F(Validate, OnlyAFaultSetsTheStatusAndNoneCallsTheHandler) {
    zt::ErrorRecorder recorder;
    zarSetStatus(-77);
    // Sizes, texts, borders and a roi past the image are not compared.
    Roi pastTheImage{1, 100, 200, 50, 50};
    plain->roi = &pastTheImage;
    plain->widthStep = plain->imageSize = plain->headerSize = 1;
    plain->headerId = 99;
    std::memset(plain->colorModel, 0, 8);
    plain->borderModes[0] = 77;
    EXPECT_EQ(validateHeader(plain), 0);
    plain->roi = nullptr;
    tiled.imageSize = tiled.widthStep = 0;  // a tiled header needs no sizes
    EXPECT_EQ(validateHeader(&tiled), 0);
    EXPECT_EQ(zarGetStatus(), -77);
    EXPECT_EQ(validateHeader(nullptr), -9);
    EXPECT_EQ(zarGetStatus(), -9);
    EXPECT_TRUE(recorder.reports().empty());
    zarSetStatus(0);
}

TEST_F(Validate, EachCheckAloneAndEveryPairInOrder) {
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    zt::TileStore tiledMask(1, 0, ZAR_DEPTH_1U, 0, 16, 16, 8, 8);
    ImageHeader *m8 = byteMask, *mTiled = tiledMask;
    static char byte;
    Roi roi;
    Roi* r = &roi;
    using F = Fault<ImageHeader>;
    // The checks of both kinds of header in their order; tiled-only checks are
    // skipped for the plain header and the size checks for the tiled one.
    const std::vector<F> faults = {
        {"both pointers", -12, "pointers",
         [](ImageHeader& h) { h.imageData = h.tileInfo ? &byte : nullptr; }},
        {"imageSize 0", -10, "imageSize", [](ImageHeader& h) { h.imageSize = 0; }},
        {"widthStep 0", -13, "widthStep", [](ImageHeader& h) { h.widthStep = 0; }},
        {"width 0", -10, "size", [](ImageHeader& h) { h.width = 0; }},
        {"height -3", -10, "size", [](ImageHeader& h) { h.height = -3; }},
        {"no channels", -15, "channels", [](ImageHeader& h) { h.nChannels = 0; }},
        {"two 1-bit channels", -16, "channels", [](ImageHeader& h) { h.nChannels = 2; }},
        {"depth 12", -17, "depth", [](ImageHeader& h) { h.depth = 12; }},
        {"alpha 3", -18, "alpha", [](ImageHeader& h) { h.alphaChannel = 3; }},
        {"order 5", -19, "order", [](ImageHeader& h) { h.dataOrder = 5; }},
        {"origin 2", -20, "origin", [](ImageHeader& h) { h.origin = 2; }},
        {"align 64", -21, "align", [](ImageHeader& h) { h.align = 64; }},
        {"8-bit mask", -117, "mask", [m8](ImageHeader& h) { h.maskImage = m8; }},
        {"tiled mask", -26, "mask", [mTiled](ImageHeader& h) { h.maskImage = mTiled; }},
        {"no callback", -22, "callback", [](ImageHeader& h) { h.tileInfo->callBack = nullptr; }},
        {"tile width 0", -23, "tileWidth", [](ImageHeader& h) { h.tileInfo->width = 0; }},
        {"tile width 12", -23, "tileWidth", [](ImageHeader& h) { h.tileInfo->width = 12; }},
        {"tile height 0", -23, "tileHeight", [](ImageHeader& h) { h.tileInfo->height = 0; }},
        {"tile height 20", -23, "tileHeight", [](ImageHeader& h) { h.tileInfo->height = 20; }},
        {"coi 2", -24, "coi", [r](ImageHeader& h) { h.roi = r, r->coi = 2; }},
        {"coi -1", -24, "coi", [r](ImageHeader& h) { h.roi = r, r->coi = -1; }},
        {"roi height 0", -25, "roiHeight", [r](ImageHeader& h) { h.roi = r, r->height = 0; }},
        {"roi width -1", -25, "roiWidth", [r](ImageHeader& h) { h.roi = r, r->width = -1; }},
        {"roi x -1", -11, "roiX", [r](ImageHeader& h) { h.roi = r, r->xOffset = -1; }},
        {"roi y -2", -11, "roiY", [r](ImageHeader& h) { h.roi = r, r->yOffset = -2; }},
    };
    auto tiledOnly = [](const std::string& f) {
        return f.rfind("tile", 0) == 0 || f == "callback";
    };
    auto plainOnly = [](const std::string& f) { return f == "imageSize" || f == "widthStep"; };
    for (bool isTiled : {false, true})
        for (size_t i = 0; i < faults.size(); ++i)
            for (size_t j = i; j < faults.size(); ++j) {
                const F &a = faults[i], &b = faults[j];
                if (j != i && a.field == b.field) continue;
                if (isTiled ? plainOnly(a.field) || plainOnly(b.field)
                            : tiledOnly(a.field) || tiledOnly(b.field))
                    continue;
                // alpha 3 or coi 2 is valid once there are more channels
                if (a.field == "channels" && (b.field == "depth" || b.field == "alpha")) continue;
                if (a.field == "channels" && b.name == "coi 2") continue;
                SCOPED_TRACE(std::string(isTiled ? "tiled: " : "plain: ") + a.name + " + " +
                             b.name);
                ImageHeader header = isTiled ? tiled : *plain.get();
                TileInfo tileCopy = tile;
                if (isTiled) header.tileInfo = &tileCopy;
                roi = Roi{0, 0, 0, 4, 4};
                a.apply(header);
                b.apply(header);
                zarSetStatus(0);
                EXPECT_EQ(validateHeader(&header), a.code);
                EXPECT_EQ(zarGetStatus(), a.code);
            }
    zarSetStatus(0);
}

TEST_F(Validate, MaskFaultsGiveTheirCodeMinus100) {
    zt::Image mask(1, 0, ZAR_DEPTH_1U, 0, 8, 8), inner(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    plain->maskImage = mask;
    Roi maskRoi;
    const std::vector<std::pair<ZarStatus, std::function<void(ImageHeader*)>>> cases = {
        {-124, [&](ImageHeader* m) { maskRoi.coi = 5, m->roi = &maskRoi; }},
        {-125, [&](ImageHeader* m) { maskRoi.width = 0, m->roi = &maskRoi; }},
        {-111, [&](ImageHeader* m) { maskRoi.yOffset = -1, m->roi = &maskRoi; }},
        {-112, [](ImageHeader* m) { m->imageData = nullptr; }},
        {-110, [](ImageHeader* m) { m->imageSize = 0; }},
        {-113, [](ImageHeader* m) { m->widthStep = -4; }},
        {-115, [](ImageHeader* m) { m->nChannels = 0; }},
        {-116, [](ImageHeader* m) { m->nChannels = 3; }},
        {-118, [](ImageHeader* m) { m->alphaChannel = 2; }},
        {-119, [](ImageHeader* m) { m->dataOrder = 3; }},
        {-120, [](ImageHeader* m) { m->origin = 3; }},
        {-121, [](ImageHeader* m) { m->align = 1; }},
        {-217, [&](ImageHeader* m) { m->maskImage = inner; }},  // the mask's mask too
    };
    for (const auto& [code, apply] : cases) {
        SCOPED_TRACE(code);
        const ImageHeader saved = *mask.get();
        maskRoi = Roi{0, 0, 0, 4, 4};
        apply(mask);
        zarSetStatus(0);
        EXPECT_EQ(validateHeader(plain), code);
        EXPECT_EQ(zarGetStatus(), code);  // the header's code overwrites the mask's
        *mask.get() = saved;
    }
    plain->maskImage = nullptr;
    zarSetStatus(0);
}

TEST(SetBorderMode, WritesTheChosenSidesWithTheValueClampedToTheDepth) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    setBorderMode(image, ZAR_BORDER_REFLECT, ZAR_SIDE_TOP | ZAR_SIDE_RIGHT, 300);
    setBorderMode(image, ZAR_BORDER_WRAP, ZAR_SIDE_BOTTOM | ZAR_SIDE_LEFT, -5);
    EXPECT_EQ((std::array{image->borderModes[0], image->borderModes[1], image->borderModes[2],
                          image->borderModes[3], image->borderValues[0], image->borderValues[1],
                          image->borderValues[2], image->borderValues[3]}),
              (std::array{2, 3, 3, 2, 255, 0, 0, 255}));
    // depth, a value under the range and what is stored, one over it and what is stored
    const int32_t cases[][5] = {{ZAR_DEPTH_1U, -5, 0, 5, 1},
                                {ZAR_DEPTH_8U, -1, 0, 256, 255},
                                {ZAR_DEPTH_8S, -129, -128, 128, 127},
                                {ZAR_DEPTH_16U, -1, 0, 70000, 65535},
                                {ZAR_DEPTH_16S, -40000, -32768, 40000, 32767},
                                {ZAR_DEPTH_32S, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                                {ZAR_DEPTH_32F, -123456789, -123456789, 123456789, 123456789}};
    for (const auto& c : cases)
        for (int k : {1, 3}) {
            ImageHeader header{};
            header.depth = c[0];
            setBorderMode(&header, ZAR_BORDER_CONSTANT, ZAR_SIDE_ALL, c[k]);
            for (int side = 0; side < 4; ++side)
                EXPECT_EQ(header.borderValues[side], c[k + 1]) << c[0] << " " << c[k];
        }
}

}  // namespace
