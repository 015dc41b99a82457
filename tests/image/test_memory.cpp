// Pixel allocation with its checks and fill patterns, release by flags, and cloning.
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

ImageHeader* header(int32_t nChannels, int32_t depth, int32_t order = 0, int32_t align = 4,
                    int32_t width = 7, int32_t height = 5) {
    return zarCreateImageHeader(nChannels, 0, depth, "RGB", "BGR", order, ZAR_ORIGIN_TL, align,
                                width, height, nullptr, nullptr, nullptr, nullptr);
}

using zt::expectReport;

// Every 32-bit word of the pixel block, row padding included.
std::vector<uint32_t> words(const ImageHeader* image) {
    std::vector<uint32_t> out(static_cast<size_t>(image->imageSize) / 4);
    std::memcpy(out.data(), image->imageData, out.size() * 4);
    return out;
}

// ------------------------------------------------------------- allocation

TEST(AllocateImage, SetsPixelsSizesAndAlignment) {
    zt::ErrorRecorder recorder;
    for (int32_t align : {4, 8, 16, 32}) {
        ImageHeader* image = header(3, ZAR_DEPTH_16S, 0, align, 5, 3);
        image->widthStep = 999;  // overwritten by the rule
        image->imageSize = 1;
        zarAllocateImage(image, 0, 0);
        ASSERT_NE(image->imageData, nullptr);
        ASSERT_NE(image->imageDataBlock, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(image->imageData) % align, 0u);
        EXPECT_GE(image->imageData, image->imageDataBlock);
        EXPECT_LT(image->imageData - image->imageDataBlock, align);
        int32_t step = zt::expectedWidthStep(0, ZAR_DEPTH_16S, align, 3, 5);
        EXPECT_EQ(image->widthStep, step);
        EXPECT_EQ(image->imageSize, step * 3);
        std::memset(image->imageData, 1, image->imageSize);  // the whole block is usable
        zarDeallocate(image, ZAR_FREE_ALL);
    }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(AllocateImage, FillPatternsOfEveryIntegerDepth) {
    zt::ErrorRecorder recorder;
    struct Case {
        int32_t depth, fill;
        uint32_t word;
    } cases[] = {
        {ZAR_DEPTH_8U, 0x1234, 0x34343434u},
        {ZAR_DEPTH_8S, -2, 0xFEFEFEFEu},
        {ZAR_DEPTH_16U, -1, 0xFFFFFFFFu},
        {ZAR_DEPTH_16S, 0x12345, 0x23452345u},
        {ZAR_DEPTH_32S, -123456, 0xFFFE1DC0u},
        {ZAR_DEPTH_1U, 2, 0u},
        {ZAR_DEPTH_1U, 3, 0xFFFFFFFFu},
        {ZAR_DEPTH_1U, -1, 0xFFFFFFFFu},
        {ZAR_DEPTH_8U, 0, 0u},
    };
    for (const Case& c : cases) {
        for (int32_t order : {0, 1}) {
            SCOPED_TRACE(::testing::Message()
                         << c.depth << " fill " << c.fill << " order " << order);
            int32_t channels = c.depth == ZAR_DEPTH_1U ? 1 : 3;
            ImageHeader* image = header(channels, c.depth, order, 8, 9, 4);
            zarAllocateImage(image, 1, c.fill);
            ASSERT_NE(image->imageData, nullptr);
            for (uint32_t w : words(image)) ASSERT_EQ(w, c.word);
            zarDeallocate(image, ZAR_FREE_ALL);
        }
    }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(AllocateImageFP, WritesTheFloatsBitPattern) {
    zt::ErrorRecorder recorder;
    for (int32_t order : {0, 1}) {
        ImageHeader* image = header(2, ZAR_DEPTH_32F, order, 32, 3, 3);
        zarAllocateImageFP(image, 1, 1.5f);
        ASSERT_NE(image->imageData, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(image->imageData) % 32, 0u);
        for (uint32_t w : words(image)) ASSERT_EQ(w, 0x3FC00000u);
        EXPECT_EQ(zt::getSample(image, 2, 2, 1), 1.5);
        zarDeallocate(image, ZAR_FREE_ALL);
    }
    ImageHeader* image = header(1, ZAR_DEPTH_32F);
    zarAllocateImageFP(image, 1, -0.0f);
    for (uint32_t w : words(image)) ASSERT_EQ(w, 0x80000000u);
    zarDeallocate(image, ZAR_FREE_ALL);
    EXPECT_TRUE(recorder.reports().empty());
}

struct AllocSite {
    const char* func;
    int32_t lines[5];
    int32_t goodDepth, wrongDepth;
    const char* depthContext;
    void (*allocate)(ImageHeader*);
};

void allocInt(ImageHeader* image) { zarAllocateImage(image, 1, 5); }
void allocFloat(ImageHeader* image) { zarAllocateImageFP(image, 1, 5.0f); }

const AllocSite kSites[] = {
    {"zarAllocateImage",
     {256, 257, 258, 259, 269},
     ZAR_DEPTH_32S,
     ZAR_DEPTH_32F,
     "( image->depth == 32 )",
     allocInt},
    {"zarAllocateImageFP",
     {321, 322, 323, 324, 334},
     ZAR_DEPTH_32F,
     ZAR_DEPTH_32S,
     "( image->depth != 32 )",
     allocFloat},
};

void ZAR_STDCALL noTiles(ImageHeader*, int32_t, int32_t, int32_t) {}

TEST(AllocateImage, ArgumentChecksInOrderWithTheirLines) {
    for (const AllocSite& site : kSites) {
        SCOPED_TRACE(site.func);
        zt::ErrorRecorder recorder;
        site.allocate(nullptr);
        expectReport(recorder, -5, site.func, "( image == ((void *)0) )", "zaralloc",
                     site.lines[0]);

        // Pixels already there: reported before the tile and depth checks.
        ImageHeader* image = header(1, site.wrongDepth);
        char byte = 0;
        image->imageData = &byte;
        TileInfo tile{noTiles, 0, nullptr, 8, 8};
        image->tileInfo = &tile;
        image->width = 0;
        recorder.clear();
        site.allocate(image);
        expectReport(recorder, -5, site.func, "( image->imageData != ((void *)0) )", "zaralloc",
                     site.lines[1]);

        image->imageData = nullptr;
        recorder.clear();
        site.allocate(image);
        expectReport(recorder, -5, site.func, "( image->tileInfo != ((void *)0) )", "zaralloc",
                     site.lines[2]);

        image->tileInfo = nullptr;
        recorder.clear();
        site.allocate(image);
        expectReport(recorder, -5, site.func, site.depthContext, "zaralloc", site.lines[3]);

        image->depth = site.goodDepth;
        recorder.clear();
        site.allocate(image);
        expectReport(recorder, -10, site.func, "Incorrect data-ins", "zaralloc", site.lines[4]);
        EXPECT_EQ(image->imageData, nullptr);
        EXPECT_EQ(image->imageDataBlock, nullptr);

        image->width = 7;
        recorder.clear();
        site.allocate(image);
        EXPECT_TRUE(recorder.reports().empty());
        ASSERT_NE(image->imageData, nullptr);

        // Allocating twice.
        char* first = image->imageData;
        recorder.clear();
        site.allocate(image);
        expectReport(recorder, -5, site.func, "( image->imageData != ((void *)0) )", "zaralloc",
                     site.lines[1]);
        EXPECT_EQ(image->imageData, first);
        zarDeallocate(image, ZAR_FREE_ALL);
    }
}

TEST(AllocateImage, HeaderChecksInTheCreationOrder) {
    zt::ErrorRecorder recorder;
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    zt::TileStore tiledMask(1, 0, ZAR_DEPTH_1U, 0, 16, 16, 8, 8);
    zt::Image badMask(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    badMask.setRoi(0, 0, 0, 0, 3);
    ImageHeader* byteMaskHeader = byteMask;
    ImageHeader* tiledMaskHeader = tiledMask;
    ImageHeader* badMaskHeader = badMask;
    // Each case breaks its own check and the next one: the earlier is reported.
    struct Case {
        ZarStatus code;
        std::function<void(ImageHeader*)> apply;
    } cases[] = {
        {-10,
         [](ImageHeader* h) {
             h->height = 0;
             h->nChannels = 0;
         }},
        {-15,
         [](ImageHeader* h) {
             h->nChannels = -1;
             h->depth = 5;
         }},
        {-16,
         [](ImageHeader* h) {
             h->nChannels = 2;
             h->depth = ZAR_DEPTH_1U;
             h->alphaChannel = 1;
         }},
        {-17,
         [](ImageHeader* h) {
             h->depth = 5;
             h->alphaChannel = 2;
         }},
        {-18,
         [](ImageHeader* h) {
             h->alphaChannel = 2;
             h->dataOrder = 2;
         }},
        {-19,
         [](ImageHeader* h) {
             h->dataOrder = 2;
             h->origin = 2;
         }},
        {-20,
         [](ImageHeader* h) {
             h->origin = 2;
             h->align = 7;
         }},
        {-21,
         [=](ImageHeader* h) {
             h->align = 7;
             h->maskImage = byteMaskHeader;
         }},
        {-117, [=](ImageHeader* h) { h->maskImage = byteMaskHeader; }},
        {-26, [=](ImageHeader* h) { h->maskImage = tiledMaskHeader; }},
        {-125, [=](ImageHeader* h) { h->maskImage = badMaskHeader; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ImageHeader* image = header(1, ZAR_DEPTH_8U);
        c.apply(image);
        recorder.clear();
        zarAllocateImage(image, 1, 0);
        expectReport(recorder, c.code, "zarAllocateImage", "Incorrect data-ins", "zaralloc", 269);
        EXPECT_EQ(image->imageData, nullptr);
        EXPECT_EQ(zarGetStatus(), c.code);
        zarDeallocate(image, ZAR_FREE_HEADER);
    }
}

TEST(AllocateImage, Accepts32SAndAMaskedHeader) {
    zt::ErrorRecorder recorder;
    zt::Image mask(1, 0, ZAR_DEPTH_1U, 0, 7, 5);
    ImageHeader* image = header(1, ZAR_DEPTH_32S);
    image->maskImage = mask;
    zarAllocateImage(image, 1, 9);
    EXPECT_TRUE(recorder.reports().empty());
    ASSERT_NE(image->imageData, nullptr);
    EXPECT_EQ(zt::getSample(image, 6, 4, 0), 9);
    image->maskImage = nullptr;
    zarDeallocate(image, ZAR_FREE_ALL);
}

TEST(AllocateImage, ASizeBeyond32BitsLeavesThePixelsNullWithoutAReport) {
    zt::ErrorRecorder recorder;
    ImageHeader* image = header(4, ZAR_DEPTH_32S, 0, 4, 100000, 100000);
    ASSERT_NE(image, nullptr);
    zarAllocateImage(image, 1, 0);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(image->imageData, nullptr);
    EXPECT_EQ(image->imageDataBlock, nullptr);
    zarDeallocate(image, ZAR_FREE_ALL);
}

// ------------------------------------------------------------ deallocation

TEST(Deallocate, NullImageIsIgnoredAndDataFlagLeavesApplicationPixelsAlone) {
    zarDeallocate(nullptr, ZAR_FREE_ALL);
    ImageHeader* image = header(1, ZAR_DEPTH_8U);
    std::vector<char> pixels(static_cast<size_t>(image->imageSize), 3);
    image->imageData = pixels.data();
    ImageHeader before = *image;
    zarDeallocate(image, ZAR_FREE_DATA);
    EXPECT_EQ(std::memcmp(&before, image, sizeof(ImageHeader)), 0);
    zarDeallocate(image, ZAR_FREE_HEADER);
}

TEST(Deallocate, EachFlagReleasesOnlyItsPart) {
    // Each part is its own block; the sanitizer build checks that every one is
    // freed exactly once across the steps and that nothing else is touched.
    ImageHeader* maskHeader = zt::newImage(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    maskHeader->roi = makeRoi(1, 0, 0, 2, 2);
    ImageHeader* image = zt::newImage(1, 0, ZAR_DEPTH_8U, 0, 8, 8);
    image->roi = makeRoi(0, 1, 1, 2, 2);
    image->maskImage = maskHeader;
    ImageHeader* tiledPart = header(1, ZAR_DEPTH_8U);
    auto* tile = static_cast<TileInfo*>(alignedMalloc(sizeof(TileInfo)));
    *tile = TileInfo{noTiles, 0, nullptr, 8, 8};
    tiledPart->tileInfo = tile;

    zarDeallocate(image, ZAR_FREE_ROI);
    EXPECT_EQ(image->roi, nullptr);
    EXPECT_EQ(image->maskImage, maskHeader);
    EXPECT_NE(image->imageData, nullptr);

    zarDeallocate(image, ZAR_FREE_DATA);
    EXPECT_EQ(image->imageData, nullptr);
    EXPECT_EQ(image->imageDataBlock, nullptr);
    EXPECT_EQ(image->maskImage, maskHeader);

    zarDeallocate(tiledPart, ZAR_FREE_TILE);
    EXPECT_EQ(tiledPart->tileInfo, nullptr);
    zarDeallocate(tiledPart, ZAR_FREE_HEADER);

    zarDeallocate(image, ZAR_FREE_MASK);  // the mask's header, pixels and roi
    EXPECT_EQ(image->maskImage, nullptr);
    zarDeallocate(image, ZAR_FREE_HEADER);
}

TEST(Deallocate, AllFlagsFreeEveryPartOnce) {
    ImageHeader* inner = zt::newImage(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    ImageHeader* mask = zt::newImage(1, 0, ZAR_DEPTH_1U, 0, 8, 8);
    mask->roi = makeRoi(0, 0, 0, 4, 4);
    mask->maskImage = inner;  // the mask's own mask is not released with it
    ImageHeader* image = header(2, ZAR_DEPTH_16U);
    image->roi = makeRoi(1, 0, 0, 3, 3);
    image->maskImage = mask;
    zarAllocateImage(image, 1, 0);
    auto* tile = static_cast<TileInfo*>(alignedMalloc(sizeof(TileInfo)));
    *tile = TileInfo{noTiles, 0, nullptr, 8, 8};
    image->tileInfo = tile;
    zarDeallocate(image, ZAR_FREE_ALL);
    zarDeallocate(inner, ZAR_FREE_ALL);
}

// ------------------------------------------------------------------ clone

// Compares every channel value of the whole image.
void expectSamePixels(const ImageHeader* a, const ImageHeader* b) {
    for (int32_t c = 0; c < a->nChannels; ++c)
        for (int32_t y = 0; y < a->height; ++y)
            for (int32_t x = 0; x < a->width; ++x)
                ASSERT_EQ(zt::getSample(a, x, y, c), zt::getSample(b, x, y, c))
                    << x << "," << y << "," << c;
}

void expectSameFormat(const ImageHeader* source, const ImageHeader* clone) {
    auto format = [](const ImageHeader* h) {
        return std::array<int32_t, 8>{h->nChannels, h->alphaChannel, h->depth, h->dataOrder,
                                      h->origin,    h->align,        h->width, h->height};
    };
    EXPECT_EQ(format(clone), format(source));
    EXPECT_EQ(std::memcmp(clone->colorModel, source->colorModel, 4), 0);
    EXPECT_EQ(std::memcmp(clone->channelSeq, source->channelSeq, 4), 0);
    EXPECT_EQ(clone->headerId, 0);
    EXPECT_EQ(clone->maskImage, nullptr);
    EXPECT_EQ(clone->tileInfo, nullptr);
    EXPECT_EQ(clone->imageTag, nullptr);
    EXPECT_NE(clone->imageData, nullptr);
    EXPECT_NE(clone->imageDataBlock, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(clone->imageData) % clone->align, 0u);
    int32_t step = zt::expectedWidthStep(source->dataOrder, source->depth, source->align,
                                         source->nChannels, source->width);
    EXPECT_EQ(clone->widthStep, step);
    EXPECT_EQ(clone->imageSize,
              step * source->height * (source->dataOrder == 1 ? source->nChannels : 1));
    EXPECT_EQ(std::memcmp(clone->borderModes, source->borderModes, sizeof clone->borderModes), 0);
    EXPECT_EQ(std::memcmp(clone->borderValues, source->borderValues, sizeof clone->borderValues),
              0);
}

TEST(CloneImage, PlainImagesOfEveryDepthAndOrder) {
    zt::ErrorRecorder recorder;
    const int32_t depths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                              ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};
    uint32_t seed = 1;
    for (int32_t depth : depths)
        for (int32_t order : {0, 1})
            for (int32_t align : {4, 32}) {
                SCOPED_TRACE(::testing::Message() << depth << " " << order << " " << align);
                int32_t channels = depth == ZAR_DEPTH_1U ? 1 : 3;
                zt::Image source(channels, 0, depth, order, 13, 6, align);
                source.randomize(seed++);
                setBorderMode(source, ZAR_BORDER_WRAP, ZAR_SIDE_LEFT, 1);
                source->origin = ZAR_ORIGIN_BL;
                zt::Image clone(zarCloneImage(source));
                ASSERT_NE(clone.get(), nullptr);
                expectSameFormat(source, clone);
                EXPECT_NE(clone->imageData, source->imageData);
                EXPECT_EQ(std::memcmp(clone->imageData, source->imageData, source->imageSize), 0);
                expectSamePixels(source, clone);
            }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(CloneImage, KeepsTheRoiValuesInANewRecord) {
    zt::ErrorRecorder recorder;
    zt::Image source(3, 3, ZAR_DEPTH_8U, 0, 10, 10);
    source.setRoi(2, 1, 2, 5, 6);
    zt::Image clone(zarCloneImage(source));
    ASSERT_NE(clone.get(), nullptr);
    ASSERT_NE(clone->roi, nullptr);
    EXPECT_NE(clone->roi, source->roi);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(clone->roi) % 32, 0u);
    const Roi& r = *clone->roi;
    EXPECT_EQ((std::array{r.coi, r.xOffset, r.yOffset, r.width, r.height}),
              (std::array{2, 1, 2, 5, 6}));
    clone->roi->width = 1;
    EXPECT_EQ(source->roi->width, 5);
    expectSamePixels(source, clone);  // the whole image is copied, not the region
}

TEST(CloneImage, DropsMaskAndTag) {
    zt::ErrorRecorder recorder;
    zt::Image mask(1, 0, ZAR_DEPTH_1U, 0, 6, 6);
    zt::Image source(1, 0, ZAR_DEPTH_16U, 0, 6, 6);
    source.randomize(5);
    int tag = 0;
    source->maskImage = mask;
    source->imageTag = &tag;
    source->headerId = 17;
    zt::Image clone(zarCloneImage(source));
    source->maskImage = nullptr;
    ASSERT_NE(clone.get(), nullptr);
    expectSameFormat(source, clone);
    expectSamePixels(source, clone);
}

TEST(CloneImage, TiledSourceGivesAPlainImageWithoutReadingTiles) {
    zt::ErrorRecorder recorder;
    zt::TileStore store(2, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 20, 12, 8, 8, 8);
    zt::Image clone(zarCloneImage(store));
    ASSERT_NE(clone.get(), nullptr);
    EXPECT_TRUE(recorder.reports().empty());
    expectSameFormat(store.image(), clone);
    EXPECT_TRUE(store.log().empty());
    EXPECT_EQ(validateHeader(clone), 0);
}

TEST(CloneImage, WiderRowsThanTheRuleAreCopiedRowByRow) {
    zt::ErrorRecorder recorder;
    for (int32_t order : {0, 1}) {
        SCOPED_TRACE(order);
        // An application header with 20 bytes of extra padding per row.
        ImageHeader* source = header(3, ZAR_DEPTH_16U, order, 4, 5, 4);
        int32_t rule = source->widthStep;
        source->widthStep = rule + 20;
        source->imageSize = source->widthStep * 4 * (order == 1 ? 3 : 1);
        std::vector<char> pixels(static_cast<size_t>(source->imageSize));
        source->imageData = pixels.data();
        zt::Rng rng(9);
        for (int32_t c = 0; c < 3; ++c)
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 5; ++x) zt::setSample(source, x, y, c, rng.next() & 0xFFFF);
        zt::Image clone(zarCloneImage(source));
        ASSERT_NE(clone.get(), nullptr);
        EXPECT_EQ(clone->widthStep, rule);
        expectSamePixels(source, clone);
        zarDeallocate(source, ZAR_FREE_HEADER);
    }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(CloneImage, ShortSourceBlockIsNotReadPastItsEnd) {
    // widthStep as the rule but an imageSize that stops after two rows: only
    // what the source holds is copied (the sanitizer build checks the reads).
    zt::ErrorRecorder recorder;
    ImageHeader* source = header(1, ZAR_DEPTH_8U, 0, 4, 8, 4);
    source->imageSize = 2 * source->widthStep;
    std::vector<char> pixels(static_cast<size_t>(source->imageSize), 7);
    source->imageData = pixels.data();
    zt::Image clone(zarCloneImage(source));
    ASSERT_NE(clone.get(), nullptr);
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(zt::getSample(clone, x, 1, 0), 7);
    // Narrower rows than the rule: each row is copied as far as it goes.
    source->widthStep = 4;
    source->imageSize = 16;
    zt::Image narrow(zarCloneImage(source));
    ASSERT_NE(narrow.get(), nullptr);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(zt::getSample(narrow, x, y, 0), 7);
    zarDeallocate(source, ZAR_FREE_HEADER);
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(CloneImage, InvalidSourceIsReported) {
    zt::ErrorRecorder recorder;
    EXPECT_EQ(zarCloneImage(nullptr), nullptr);
    expectReport(recorder, -9, "zarCloneImage", "Incorrect Image", "zarClone", 37);
    zt::Image source(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    source.setRoi(0, 0, 0, 0, 1);
    recorder.clear();
    EXPECT_EQ(zarCloneImage(source), nullptr);
    expectReport(recorder, -25, "zarCloneImage", "Incorrect Image", "zarClone", 37);
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    source.setRoi(0, 0, 0, 1, 1);
    source->maskImage = byteMask;
    recorder.clear();
    EXPECT_EQ(zarCloneImage(source), nullptr);
    expectReport(recorder, -117, "zarCloneImage", "Incorrect Image", "zarClone", 37);
    source->maskImage = nullptr;
}

TEST(CloneImage, PixelsThatCannotBeHadAreReported) {
    // A header whose size by the rule does not fit 32 bits: the clone's pixel
    // allocation fails, the header and roi made so far are released (the
    // sanitizer build checks that nothing leaks).
    zt::ErrorRecorder recorder;
    ImageHeader* source = header(4, ZAR_DEPTH_32F, 0, 4, 100000, 100000);
    char pixels[16] = {};
    source->imageData = pixels;
    source->widthStep = 16;
    source->imageSize = 16;
    source->roi = makeRoi(0, 0, 0, 1, 1);
    EXPECT_EQ(zarCloneImage(source), nullptr);
    expectReport(recorder, -4, "zarCloneImage",
                 "Not enough memory to allocate imageData for clone image", "zarClone", 88);
    zarDeallocate(source, ZAR_FREE_HEADER | ZAR_FREE_ROI);
}

}  // namespace
