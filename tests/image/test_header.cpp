// Header creation, validation and its order of checks, the widthStep rule,
// the border setter and the roi constructor.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image/image.h"
#include "support/image_support.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

void ZAR_STDCALL noTiles(ImageHeader*, int32_t, int32_t, int32_t) {}

ImageHeader* createHeader(int32_t nChannels, int32_t alpha, int32_t depth, int32_t order,
                          int32_t align, int32_t width, int32_t height) {
    return zarCreateImageHeader(nChannels, alpha, depth, "RGB", "BGR", order, ZAR_ORIGIN_TL, align,
                                width, height, nullptr, nullptr, nullptr, nullptr);
}

// Border modes then values, top, bottom, left, right.
std::array<int32_t, 8> bordersOf(const ImageHeader* image) {
    std::array<int32_t, 8> out{};
    for (int side = 0; side < 4; ++side) {
        out[side] = image->borderModes[side];
        out[4 + side] = image->borderValues[side];
    }
    return out;
}

// ------------------------------------------------------------ widthStep rule

TEST(WidthStep, AgreesWithANaiveRuleForEveryFormat) {
    const int32_t depths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                              ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};
    for (int32_t depth : depths)
        for (int32_t order : {0, 1})
            for (int32_t align : {4, 8, 16, 32})
                for (int32_t channels = 1; channels <= (depth == ZAR_DEPTH_1U ? 1 : 4); ++channels)
                    for (int32_t width = 1; width <= 70; ++width)
                        ASSERT_EQ(computeWidthStep(order, depth, align, channels, width),
                                  zt::expectedWidthStep(order, depth, align, channels, width))
                            << depth << " " << order << " " << align << " " << channels << " "
                            << width;
}

TEST(CreateImageHeader, FillsEveryField) {
    zt::ErrorRecorder recorder;
    Roi roi{0, 1, 2, 3, 4};
    TileInfo tile{noTiles, 0, nullptr, 8, 8};
    int tag = 0;
    ImageHeader* image = zarCreateImageHeader(3, 3, ZAR_DEPTH_16U, "RGBx", "BGRy", 1, 1, 8, 5, 7,
                                              &roi, nullptr, &tag, &tile);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image) % 32, 0u);
    EXPECT_EQ((std::array{image->headerSize, image->headerId, image->nChannels, image->alphaChannel,
                          image->depth, image->dataOrder, image->origin, image->align, image->width,
                          image->height}),
              (std::array{static_cast<int32_t>(sizeof(ImageHeader)), 0, 3, 3, ZAR_DEPTH_16U, 1, 1,
                          8, 5, 7}));
    EXPECT_EQ(std::memcmp(image->colorModel, "RGBx", 4), 0);
    EXPECT_EQ(std::memcmp(image->channelSeq, "BGRy", 4), 0);
    EXPECT_EQ(image->roi, &roi);
    EXPECT_EQ(image->maskImage, nullptr);
    EXPECT_EQ(image->imageTag, &tag);
    EXPECT_EQ(image->tileInfo, &tile);
    EXPECT_EQ(image->imageData, nullptr);
    EXPECT_EQ(image->imageDataBlock, nullptr);
    EXPECT_EQ(image->widthStep, 16);  // computed for a tiled image too
    EXPECT_EQ(image->imageSize, 16 * 7 * 3);
    EXPECT_EQ(bordersOf(image), (std::array<int32_t, 8>{}));
    zarDeallocate(image, ZAR_FREE_HEADER);
}

TEST(CreateImageHeader, SizesFollowTheRule) {
    zt::ErrorRecorder recorder;
    struct Case {
        int32_t channels, depth, order, align, width, height, step, size;
    } cases[] = {
        {1, ZAR_DEPTH_8U, 0, 4, 1, 9, 4, 36},
        {1, ZAR_DEPTH_1U, 0, 4, 33, 2, 8, 16},
        {3, ZAR_DEPTH_16U, 0, 8, 5, 3, 32, 96},
        {3, ZAR_DEPTH_16U, 1, 8, 5, 3, 16, 16 * 3 * 3},
    };
    for (const Case& c : cases) {
        ImageHeader* image = createHeader(c.channels, 0, c.depth, c.order, c.align, c.width,
                                          c.height);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->widthStep, c.step);
        EXPECT_EQ(image->imageSize, c.size);
        zarDeallocate(image, ZAR_FREE_HEADER);
    }
    EXPECT_TRUE(recorder.reports().empty());
}

// ---------------------------------------------------- creation check order

// Arguments of zarCreateImageHeader, valid as they start.
struct CreateArgs {
    int32_t nChannels = 1, alpha = 0, depth = ZAR_DEPTH_1U;
    const char* model = "GRAY";
    const char* seq = "GRAY";
    int32_t order = 0, origin = 0, align = 4, width = 8, height = 8;
    ImageHeader* mask = nullptr;
};

struct Fault {
    std::string name;
    ZarStatus code;
    std::string field;  // faults on one field are never combined
    std::function<void(CreateArgs&)> apply;
};

// The creation checks in their order; later faults must not hide earlier ones.
std::vector<Fault> creationFaults(ImageHeader* badMask) {
    return {
        {"height 0", -10, "size", [](CreateArgs& a) { a.height = 0; }},
        {"width 0", -10, "size", [](CreateArgs& a) { a.width = 0; }},
        {"no channels", -15, "channels", [](CreateArgs& a) { a.nChannels = 0; }},
        {"two 1-bit channels", -16, "channels", [](CreateArgs& a) { a.nChannels = 2; }},
        {"no colour model", -14, "model", [](CreateArgs& a) { a.model = nullptr; }},
        {"no channel sequence", -14, "model", [](CreateArgs& a) { a.seq = nullptr; }},
        {"depth 7", -17, "depth", [](CreateArgs& a) { a.depth = 7; }},
        {"alpha 2", -18, "alpha", [](CreateArgs& a) { a.alpha = 2; }},
        {"order 2", -19, "order", [](CreateArgs& a) { a.order = 2; }},
        {"origin -1", -20, "origin", [](CreateArgs& a) { a.origin = -1; }},
        {"align 2", -21, "align", [](CreateArgs& a) { a.align = 2; }},
        {"8-bit mask", -117, "mask", [badMask](CreateArgs& a) { a.mask = badMask; }},
    };
}

ImageHeader* create(const CreateArgs& a) {
    return zarCreateImageHeader(a.nChannels, a.alpha, a.depth, a.model, a.seq, a.order, a.origin,
                                a.align, a.width, a.height, nullptr, a.mask, nullptr, nullptr);
}

void expectCreationReport(const zt::ErrorRecorder& recorder, ZarStatus code) {
    zt::expectReport(recorder, code, "zarCreateImageHeader", "Incorrect data-ins", "zaralloc", 148);
    EXPECT_EQ(zarGetStatus(), code);
}

TEST(CreateImageHeader, EachCheckAloneAndEveryPairInOrder) {
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    std::vector<Fault> faults = creationFaults(byteMask);
    zt::ErrorRecorder recorder;
    for (size_t i = 0; i < faults.size(); ++i) {
        for (size_t j = i; j < faults.size(); ++j) {
            if (j != i && faults[j].field == faults[i].field) continue;
            // Two 1-bit channels only fail as such while the depth is 1-bit.
            if (faults[i].name == "two 1-bit channels" && faults[j].field == "depth") continue;
            SCOPED_TRACE(faults[i].name + " + " + faults[j].name);
            recorder.clear();
            CreateArgs args;
            faults[i].apply(args);
            faults[j].apply(args);
            EXPECT_EQ(create(args), nullptr);
            expectCreationReport(recorder, faults[i].code);
        }
    }
}

TEST(CreateImageHeader, TakesTextsWithoutTerminatorAndRecordsUnchecked) {
    zt::ErrorRecorder recorder;
    const char model[4] = {'G', 'R', 'A', 'Y'};
    const char seq[4] = {'G', 'R', 'A', 'Y'};
    Roi roi{99, -5, -5, 0, -1};
    TileInfo tile{nullptr, 0, nullptr, 3, 0};
    ImageHeader* image = zarCreateImageHeader(1, 0, ZAR_DEPTH_8U, model, seq, 0, 0, 4, 4, 4, &roi,
                                              nullptr, nullptr, &tile);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(std::memcmp(image->colorModel, "GRAY", 4), 0);
    EXPECT_EQ(std::memcmp(image->channelSeq, "GRAY", 4), 0);
    EXPECT_EQ(image->roi, &roi);
    EXPECT_EQ(image->tileInfo, &tile);
    zarDeallocate(image, ZAR_FREE_HEADER);
    // Alpha is 0 or the channel count (accepted in FillsEveryField).
    EXPECT_EQ(createHeader(3, 1, ZAR_DEPTH_8U, 0, 4, 2, 2), nullptr);
    expectCreationReport(recorder, -18);
}

TEST(CreateImageHeader, EveryDepthCodeAndNoOther) {
    zt::ErrorRecorder recorder;
    for (int32_t depth :
         {ZAR_DEPTH_8U, ZAR_DEPTH_8S, ZAR_DEPTH_16U, ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F}) {
        ImageHeader* image = createHeader(2, 0, depth, 0, 4, 3, 3);
        EXPECT_NE(image, nullptr) << depth;
        zarDeallocate(image, ZAR_FREE_HEADER);
    }
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t depth : {0, 2, 24, 64, static_cast<int32_t>(0x80000001),
                          static_cast<int32_t>(0x80000000), ZAR_DEPTH_SIGN | 33}) {
        recorder.clear();
        EXPECT_EQ(createHeader(2, 0, depth, 0, 4, 3, 3), nullptr) << depth;
        expectCreationReport(recorder, -17);
    }
}

TEST(CreateImageHeader, TheMaskRule) {
    zt::ErrorRecorder recorder;
    CreateArgs args;
    // A mask of depth 8 gives -117 whatever else is wrong with it.
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    byteMask->imageSize = 0;
    byteMask->width = 0;
    args.mask = byteMask;
    EXPECT_EQ(create(args), nullptr);
    expectCreationReport(recorder, -117);

    // A tiled 1-bit mask gives -26, even when it is otherwise invalid.
    zt::TileStore tiledMask(1, 0, ZAR_DEPTH_1U, 0, 16, 16, 12, 8);
    recorder.clear();
    args.mask = tiledMask;
    EXPECT_EQ(create(args), nullptr);
    expectCreationReport(recorder, -26);
    EXPECT_TRUE(tiledMask.log().empty());

    // A valid 1-bit mask is accepted and referenced, not copied.
    zt::Image goodMask(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    recorder.clear();
    args.mask = goodMask;
    ImageHeader* image = create(args);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->maskImage, goodMask.get());
    EXPECT_TRUE(recorder.reports().empty());
    zarDeallocate(image, ZAR_FREE_HEADER);

    // The mask's own failure c gives c - 100.
    goodMask.setRoi(5, 0, 0, 2, 2);
    recorder.clear();
    EXPECT_EQ(create(args), nullptr);
    expectCreationReport(recorder, -124);
}

// ------------------------------------------------------------ validation

// A valid plain 1-bit header with pixels, or a tiled one.
class Validate : public ::testing::Test {
  protected:
    void SetUp() override {
        plain = zt::Image(1, 0, ZAR_DEPTH_1U, 0, 16, 16);
        tiled.headerSize = sizeof(ImageHeader);
        tiled.nChannels = 1;
        tiled.depth = ZAR_DEPTH_1U;
        tiled.align = 4;
        tiled.width = tiled.height = 32;
        tiled.tileInfo = &tile;
    }
    zt::Image plain;
    ImageHeader tiled{};
    TileInfo tile{noTiles, 0, nullptr, 16, 8};
    Roi roi{0, 0, 0, 4, 4};
    Roi maskRoi{0, 0, 0, 4, 4};
};

struct HeaderFault {
    std::string name;
    ZarStatus code;
    std::string field;
    std::function<void(ImageHeader*)> apply;
};

TEST_F(Validate, OnlyAFaultSetsTheStatusAndNoneCallsTheHandler) {
    zt::ErrorRecorder recorder;
    zarSetStatus(-77);
    EXPECT_EQ(validateHeader(plain), 0);
    tiled.imageSize = 0;  // a tiled header needs no sizes
    tiled.widthStep = 0;
    EXPECT_EQ(validateHeader(&tiled), 0);
    EXPECT_EQ(zarGetStatus(), -77);
    EXPECT_EQ(validateHeader(nullptr), -9);
    EXPECT_EQ(zarGetStatus(), -9);
    plain->depth = 3;
    EXPECT_EQ(validateHeader(plain), -17);
    EXPECT_EQ(zarGetStatus(), -17);
    EXPECT_TRUE(recorder.reports().empty());
    plain->depth = ZAR_DEPTH_1U;
    zarSetStatus(0);
}

TEST_F(Validate, EachCheckAloneAndEveryPairInOrder) {
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    ImageHeader* byteMaskPtr = byteMask;
    Roi* roiPtr = &roi;
    // The checks of both kinds of header in their order; tiled-only checks
    // are skipped for the plain header and the size checks for the tiled one.
    std::vector<HeaderFault> faults = {
        {"both pointers", -12, "pointers",
         [](ImageHeader* h) {
             static char byte;
             if (h->tileInfo)
                 h->imageData = &byte;
             else
                 h->imageData = nullptr;
         }},
        {"imageSize 0", -10, "imageSize", [](ImageHeader* h) { h->imageSize = 0; }},
        {"widthStep 0", -13, "widthStep", [](ImageHeader* h) { h->widthStep = 0; }},
        {"width 0", -10, "size", [](ImageHeader* h) { h->width = 0; }},
        {"height -3", -10, "size", [](ImageHeader* h) { h->height = -3; }},
        {"no channels", -15, "channels", [](ImageHeader* h) { h->nChannels = 0; }},
        {"two 1-bit channels", -16, "channels", [](ImageHeader* h) { h->nChannels = 2; }},
        {"depth 12", -17, "depth", [](ImageHeader* h) { h->depth = 12; }},
        {"alpha 3", -18, "alpha", [](ImageHeader* h) { h->alphaChannel = 3; }},
        {"order 5", -19, "order", [](ImageHeader* h) { h->dataOrder = 5; }},
        {"origin 2", -20, "origin", [](ImageHeader* h) { h->origin = 2; }},
        {"align 64", -21, "align", [](ImageHeader* h) { h->align = 64; }},
        {"8-bit mask", -117, "mask", [byteMaskPtr](ImageHeader* h) { h->maskImage = byteMaskPtr; }},
        {"no callback", -22, "callback", [](ImageHeader* h) { h->tileInfo->callBack = nullptr; }},
        {"tile width 0", -23, "tileWidth", [](ImageHeader* h) { h->tileInfo->width = 0; }},
        {"tile width 12", -23, "tileWidth", [](ImageHeader* h) { h->tileInfo->width = 12; }},
        {"tile height 0", -23, "tileHeight", [](ImageHeader* h) { h->tileInfo->height = 0; }},
        {"tile height 20", -23, "tileHeight", [](ImageHeader* h) { h->tileInfo->height = 20; }},
        {"coi 2", -24, "coi",
         [roiPtr](ImageHeader* h) {
             h->roi = roiPtr;
             roiPtr->coi = 2;
         }},
        {"coi -1", -24, "coi",
         [roiPtr](ImageHeader* h) {
             h->roi = roiPtr;
             roiPtr->coi = -1;
         }},
        {"roi height 0", -25, "roiHeight",
         [roiPtr](ImageHeader* h) {
             h->roi = roiPtr;
             roiPtr->height = 0;
         }},
        {"roi width -1", -25, "roiWidth",
         [roiPtr](ImageHeader* h) {
             h->roi = roiPtr;
             roiPtr->width = -1;
         }},
        {"roi x -1", -11, "roiX",
         [roiPtr](ImageHeader* h) {
             h->roi = roiPtr;
             roiPtr->xOffset = -1;
         }},
        {"roi y -2", -11, "roiY",
         [roiPtr](ImageHeader* h) {
             h->roi = roiPtr;
             roiPtr->yOffset = -2;
         }},
    };
    auto tiledOnly = [](const std::string& f) {
        return f == "callback" || f == "tileWidth" || f == "tileHeight";
    };
    auto plainOnly = [](const std::string& f) { return f == "imageSize" || f == "widthStep"; };
    for (bool isTiled : {false, true}) {
        for (size_t i = 0; i < faults.size(); ++i) {
            for (size_t j = i; j < faults.size(); ++j) {
                const HeaderFault& a = faults[i];
                const HeaderFault& b = faults[j];
                if (j != i && a.field == b.field) continue;
                if (isTiled ? plainOnly(a.field) || plainOnly(b.field)
                            : tiledOnly(a.field) || tiledOnly(b.field))
                    continue;
                if (a.name == "two 1-bit channels" && b.field == "depth") continue;
                // alpha 3 is the channel count in a header with three channels
                if (a.name == "two 1-bit channels" && b.field == "alpha") continue;
                if (a.field == "channels" && b.name == "coi 2") continue;
                SCOPED_TRACE(std::string(isTiled ? "tiled: " : "plain: ") + a.name + " + " +
                             b.name);
                ImageHeader header = isTiled ? tiled : *plain.get();
                TileInfo tileCopy = tile;
                if (isTiled) header.tileInfo = &tileCopy;
                roi = Roi{0, 0, 0, 4, 4};
                a.apply(&header);
                b.apply(&header);
                zarSetStatus(0);
                EXPECT_EQ(validateHeader(&header), a.code);
                EXPECT_EQ(zarGetStatus(), a.code);
            }
        }
    }
    zarSetStatus(0);
}

TEST_F(Validate, ARoiMayReachPastTheImage) {
    roi = Roi{1, 100, 200, 50, 50};
    plain->roi = &roi;
    EXPECT_EQ(validateHeader(plain), 0);
    plain->roi = nullptr;
}

TEST_F(Validate, SizesAndTextFieldsAreNotCompared) {
    plain->widthStep = 1;
    plain->imageSize = 1;
    plain->headerSize = 3;
    plain->headerId = 99;
    std::memset(plain->colorModel, 0, 4);
    plain->borderModes[0] = 77;
    EXPECT_EQ(validateHeader(plain), 0);
    plain->widthStep = 4;
    plain->imageSize = 64;
}

TEST_F(Validate, MaskFaultsGiveTheirCodeMinus100) {
    zt::Image mask(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    plain->maskImage = mask;
    struct Case {
        ZarStatus code;
        std::function<void(ImageHeader*)> apply;
    } cases[] = {
        {-124,
         [this](ImageHeader* m) {
             maskRoi.coi = 5;
             m->roi = &maskRoi;
         }},
        {-125,
         [this](ImageHeader* m) {
             maskRoi.width = 0;
             m->roi = &maskRoi;
         }},
        {-111,
         [this](ImageHeader* m) {
             maskRoi.yOffset = -1;
             m->roi = &maskRoi;
         }},
        {-112, [](ImageHeader* m) { m->imageData = nullptr; }},
        {-110, [](ImageHeader* m) { m->imageSize = 0; }},
        {-113, [](ImageHeader* m) { m->widthStep = -4; }},
        {-115, [](ImageHeader* m) { m->nChannels = 0; }},
        {-116, [](ImageHeader* m) { m->nChannels = 3; }},
        {-118, [](ImageHeader* m) { m->alphaChannel = 2; }},
        {-119, [](ImageHeader* m) { m->dataOrder = 3; }},
        {-120, [](ImageHeader* m) { m->origin = 3; }},
        {-121, [](ImageHeader* m) { m->align = 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ImageHeader saved = *mask.get();
        maskRoi = Roi{0, 0, 0, 4, 4};
        c.apply(mask);
        zarSetStatus(0);
        EXPECT_EQ(validateHeader(plain), c.code);
        EXPECT_EQ(zarGetStatus(), c.code);  // the header's code overwrites the mask's
        *mask.get() = saved;
    }
    // The mask's mask is validated too.
    zt::Image inner(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    mask->maskImage = inner;
    EXPECT_EQ(validateHeader(plain), -117 - 100);
    mask->maskImage = nullptr;
    plain->maskImage = nullptr;
    zarSetStatus(0);
}

TEST_F(Validate, MaskOfDepth8AndTiledMask) {
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    byteMask->nChannels = 0;  // anything else wrong does not matter
    plain->maskImage = byteMask;
    EXPECT_EQ(validateHeader(plain), -117);
    zt::TileStore tiledMask(1, 0, ZAR_DEPTH_1U, 0, 16, 16, 8, 8);
    plain->maskImage = tiledMask;
    EXPECT_EQ(validateHeader(plain), -26);
    plain->maskImage = nullptr;
    zarSetStatus(0);
}

// ------------------------------------------------------- roi and borders

TEST(MakeRoi, HoldsTheValuesUncheckedInAnAlignedRecord) {
    Roi* roi = makeRoi(-3, -1, 1000, 0, -7);
    ASSERT_NE(roi, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(roi) % 32, 0u);
    EXPECT_EQ(roi->coi, -3);
    EXPECT_EQ(roi->xOffset, -1);
    EXPECT_EQ(roi->yOffset, 1000);
    EXPECT_EQ(roi->width, 0);
    EXPECT_EQ(roi->height, -7);
    alignedFree(roi);
}

TEST(AlignedMalloc, BlocksAre32ByteAlignedAndWritable) {
    std::vector<void*> blocks;
    for (size_t size : {0u, 1u, 3u, 31u, 32u, 33u, 100u, 4096u}) {
        auto* p = static_cast<unsigned char*>(alignedMalloc(size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
        std::memset(p, 0xAB, size);
        blocks.push_back(p);
    }
    for (void* p : blocks) alignedFree(p);
    alignedFree(nullptr);  // does nothing
}

TEST(SetBorderMode, WritesTheChosenSidesWithTheClampedValue) {
    zt::Image image(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    const int32_t kRefl = ZAR_BORDER_REFLECT, kWrap = ZAR_BORDER_WRAP;
    setBorderMode(image, kRefl, ZAR_SIDE_TOP | ZAR_SIDE_RIGHT, 300);
    EXPECT_EQ(bordersOf(image), (std::array<int32_t, 8>{kRefl, 0, 0, kRefl, 255, 0, 0, 255}));
    setBorderMode(image, kWrap, ZAR_SIDE_BOTTOM | ZAR_SIDE_LEFT, -5);
    EXPECT_EQ(bordersOf(image),
              (std::array<int32_t, 8>{kRefl, kWrap, kWrap, kRefl, 255, 0, 0, 255}));
}

TEST(SetBorderMode, ClampsToEveryDepthsRange) {
    struct Case {
        int32_t depth, value, stored;
    } cases[] = {
        {ZAR_DEPTH_1U, 5, 1},
        {ZAR_DEPTH_1U, -5, 0},
        {ZAR_DEPTH_8U, 256, 255},
        {ZAR_DEPTH_8U, -1, 0},
        {ZAR_DEPTH_8S, 128, 127},
        {ZAR_DEPTH_8S, -129, -128},
        {ZAR_DEPTH_16U, 70000, 65535},
        {ZAR_DEPTH_16U, -1, 0},
        {ZAR_DEPTH_16S, 40000, 32767},
        {ZAR_DEPTH_16S, -40000, -32768},
        {ZAR_DEPTH_32S, INT32_MIN, INT32_MIN},
        {ZAR_DEPTH_32F, 123456789, 123456789},
        {ZAR_DEPTH_8U, 17, 17},
        {ZAR_DEPTH_16S, -7, -7},
    };
    for (const Case& c : cases) {
        ImageHeader header{};
        header.depth = c.depth;
        setBorderMode(&header, ZAR_BORDER_CONSTANT, ZAR_SIDE_ALL, c.value);
        for (int side = 0; side < 4; ++side)
            EXPECT_EQ(header.borderValues[side], c.stored) << c.depth << " " << c.value;
    }
}

TEST(TileWidthStep, RowStrideInsideATile) {
    zt::TileStore store(3, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PIXEL, 40, 20, 24, 16, 16);
    EXPECT_EQ(tileWidthStep(store), 144);  // 24 * 3 * 2 = 144, a multiple of 16
    zt::TileStore planes(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 40, 20, 8, 8, 32);
    EXPECT_EQ(tileWidthStep(planes), 32);
    zt::Image plainImage(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    EXPECT_EQ(tileWidthStep(plainImage), 0);
    EXPECT_EQ(tileWidthStep(nullptr), 0);
    store.image()->tileInfo->width = 12;  // invalid
    EXPECT_EQ(tileWidthStep(store), 0);
    store.image()->tileInfo->width = 24;
    zarSetStatus(0);
}

}  // namespace
