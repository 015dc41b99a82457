// Pixel allocation (checks, sizes, fill patterns), release by flags, and cloning.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "image/image.h"
#include "support/zar_test.h"
#include "zar.h"

namespace {

void ZAR_STDCALL noTiles(ImageHeader*, int32_t, int32_t, int32_t) {}

ImageHeader* header(int32_t nChannels, int32_t depth, int32_t order = 0, int32_t align = 4,
                    int32_t width = 7, int32_t height = 5) {
    return zarCreateImageHeader(nChannels, 0, depth, "RGB", "BGR", order, ZAR_ORIGIN_TL, align,
                                width, height, nullptr, nullptr, nullptr, nullptr);
}

TEST(AllocateImage, SizesAlignmentAndTheFillWordOfEveryDepth) {
    struct Case {
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
    int32_t align = 4;
    for (const Case& c : cases)
        for (int32_t order : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c.depth << " fill " << c.fill << " order " << order);
            align = align == 32 ? 4 : 2 * align;
            const int32_t n = c.depth == ZAR_DEPTH_1U ? 1 : 3;
            ImageHeader* image = header(n, c.depth, order, align, 9, 4);
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
            EXPECT_EQ(image->widthStep, step);
            EXPECT_EQ(image->imageSize, step * 4 * (order ? n : 1));
            std::vector<uint32_t> words(static_cast<size_t>(image->imageSize) / 4);
            std::memcpy(words.data(), image->imageData, words.size() * 4);
            EXPECT_EQ(words, std::vector<uint32_t>(words.size(), c.word));
            zarDeallocate(image, ZAR_FREE_ALL);
        }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(AllocateImage, ArgumentChecksInOrderWithTheirLines) {
    struct Site {
        const char* func;
        int32_t lines[5];
        int32_t goodDepth, wrongDepth;
        const char* depthContext;
        void (*allocate)(ImageHeader*);
    } sites[] = {
        {"zarAllocateImage",
         {256, 257, 258, 259, 269},
         ZAR_DEPTH_32S,
         ZAR_DEPTH_32F,
         "( image->depth == 32 )",
         [](ImageHeader* image) { zarAllocateImage(image, 1, 5); }},
        {"zarAllocateImageFP",
         {321, 322, 323, 324, 334},
         ZAR_DEPTH_32F,
         ZAR_DEPTH_32S,
         "( image->depth != 32 )",
         [](ImageHeader* image) { zarAllocateImageFP(image, 1, 5); }},
    };
    for (const Site& site : sites) {
        SCOPED_TRACE(site.func);
        zt::ErrorRecorder recorder;
        auto expect = [&](ZarStatus status, const char* context, int32_t line) {
            zt::expectReports(recorder, site.func, "zaralloc", {{status, context, line}});
            recorder.clear();
        };
        site.allocate(nullptr);
        expect(-5, "( image == ((void *)0) )", site.lines[0]);
        // Each step repairs the fault just reported: the next check speaks.
        ImageHeader* image = header(1, site.wrongDepth);
        char byte = 0;
        TileInfo tile{noTiles, 0, nullptr, 8, 8};
        image->imageData = &byte;
        image->tileInfo = &tile;
        image->width = 0;
        site.allocate(image);
        expect(-5, "( image->imageData != ((void *)0) )", site.lines[1]);
        image->imageData = nullptr;
        site.allocate(image);
        expect(-5, "( image->tileInfo != ((void *)0) )", site.lines[2]);
        image->tileInfo = nullptr;
        site.allocate(image);
        expect(-5, site.depthContext, site.lines[3]);
        image->depth = site.goodDepth;
        site.allocate(image);
        expect(-10, "Incorrect data-ins", site.lines[4]);
        EXPECT_EQ(image->imageDataBlock, nullptr);
        image->width = 7;
        site.allocate(image);
        EXPECT_TRUE(recorder.reports().empty());
        ASSERT_NE(image->imageData, nullptr);
        char* first = image->imageData;
        site.allocate(image);  // twice
        expect(-5, "( image->imageData != ((void *)0) )", site.lines[1]);
        EXPECT_EQ(image->imageData, first);
        zarDeallocate(image, ZAR_FREE_ALL);
    }
}

TEST(AllocateImage, ASizeBeyond32BitsLeavesThePixelsNullWithoutAReport) {
    zt::ErrorRecorder recorder;
    ImageHeader* image = header(4, ZAR_DEPTH_32S, 0, 4, 100000, 100000);
    zarAllocateImage(image, 1, 0);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_EQ(image->imageData, nullptr);
    EXPECT_EQ(image->imageDataBlock, nullptr);
    zarDeallocate(image, ZAR_FREE_ALL);
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
    zarDeallocate(image, ZAR_FREE_ROI);
    EXPECT_EQ((std::array<void*, 3>{image->roi, image->maskImage, image->tileInfo}),
              (std::array<void*, 3>{nullptr, mask, tile}));
    zarDeallocate(image, ZAR_FREE_DATA);
    EXPECT_EQ(image->imageData, nullptr);
    EXPECT_EQ(image->imageDataBlock, nullptr);
    zarDeallocate(image, ZAR_FREE_TILE);
    EXPECT_EQ(image->tileInfo, nullptr);
    zarDeallocate(image, ZAR_FREE_MASK);
    EXPECT_EQ(image->maskImage, nullptr);
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

// The clone has the source's format, fields and border settings, its own
// pixels (by the widthStep rule) and roi record, and no mask, tiles or tag.
void expectClone(const ImageHeader* source, const ImageHeader* clone) {
    ASSERT_NE(clone, nullptr);
    auto fields = [](const ImageHeader* h) {
        std::array<int32_t, 19> f{h->nChannels, h->alphaChannel, h->depth, h->dataOrder,
                                  h->origin,    h->align,        h->width, h->height};
        std::memcpy(&f[8], h->colorModel, 8);
        std::memcpy(&f[10], h->borderModes, 32);
        f[18] = h->headerId;
        return f;
    };
    std::array<int32_t, 19> want = fields(source);
    want[18] = 0;
    EXPECT_EQ(fields(clone), want);
    EXPECT_EQ((std::array<void*, 3>{clone->maskImage, clone->tileInfo, clone->imageTag}),
              (std::array<void*, 3>{}));
    ASSERT_NE(clone->imageData, nullptr);
    EXPECT_NE(clone->imageData, source->imageData);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(clone->imageData) % clone->align, 0u);
    const int32_t step = zt::expectedWidthStep(source->dataOrder, source->depth, source->align,
                                               source->nChannels, source->width);
    EXPECT_EQ(clone->widthStep, step);
    EXPECT_EQ(clone->imageSize,
              step * source->height * (source->dataOrder ? source->nChannels : 1));
    EXPECT_EQ(clone->roi == nullptr, source->roi == nullptr);
    if (source->roi) {
        EXPECT_NE(clone->roi, source->roi);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(clone->roi) % 32, 0u);
        EXPECT_EQ(std::memcmp(clone->roi, source->roi, sizeof(Roi)), 0);
    }
}

TEST(CloneImage, EveryDepthOrderAndAlignWithRoiMaskAndTag) {
    zt::ErrorRecorder recorder;
    zt::Image mask(1, 0, ZAR_DEPTH_1U, 0, 13, 6);
    int tag = 0;
    uint32_t seed = 1;
    for (int32_t depth : {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_8S, ZAR_DEPTH_16U, ZAR_DEPTH_16S,
                          ZAR_DEPTH_32S, ZAR_DEPTH_32F})
        for (int32_t order : {0, 1})
            for (int32_t align : {4, 32}) {
                SCOPED_TRACE(testing::Message() << depth << " " << order << " " << align);
                const int32_t n = depth == ZAR_DEPTH_1U ? 1 : 3;
                zt::Image source(n, 0, depth, order, 13, 6, align);
                source.randomize(seed++);
                setBorderMode(source, ZAR_BORDER_WRAP, ZAR_SIDE_LEFT, 1);
                source->origin = ZAR_ORIGIN_BL;
                source->headerId = 17;
                source->imageTag = &tag;
                source->maskImage = seed % 3 ? nullptr : mask.get();
                if (seed % 2) source.setRoi(n, 1, 2, 5, 6);
                zt::Image clone(zarCloneImage(source));
                source->maskImage = nullptr;
                expectClone(source, clone);
                EXPECT_EQ(std::memcmp(clone->imageData, source->imageData, source->imageSize), 0);
                if (!source->roi) continue;
                clone->roi->width = 1;
                EXPECT_EQ(source->roi->width, 5);
            }
    EXPECT_TRUE(recorder.reports().empty());
}

TEST(CloneImage, TiledAndApplicationSourcesAndFailures) {
    zt::ErrorRecorder recorder;
    // A tiled source gives a plain image without a tile being read.
    zt::TileStore store(2, 0, ZAR_DEPTH_16S, ZAR_DATA_ORDER_PLANE, 20, 12, 8, 8, 8);
    zt::Image tiledClone(zarCloneImage(store));
    expectClone(store.image(), tiledClone);
    EXPECT_TRUE(store.log().empty());
    // Application rows wider than the rule (copied row by row), then a block
    // shorter than its rows say and rows narrower than the rule: only what the
    // source holds is read (the sanitizer build checks the reads).
    for (int32_t order : {0, 1}) {
        ImageHeader* source = header(3, ZAR_DEPTH_16U, order, 4, 5, 4);
        const int32_t rule = source->widthStep;
        source->widthStep = rule + 20;
        source->imageSize = source->widthStep * 4 * (order == 1 ? 3 : 1);
        std::vector<char> pixels(static_cast<size_t>(source->imageSize));
        source->imageData = pixels.data();
        zt::Rng rng(9);
        for (char& byte : pixels) byte = static_cast<char>(rng.next());
        zt::Image clone(zarCloneImage(source));
        ASSERT_NE(clone.get(), nullptr);
        EXPECT_EQ(clone->widthStep, rule);
        for (int32_t c = 0; c < 3; ++c)
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 5; ++x)
                    ASSERT_EQ(zt::getSample(clone, x, y, c), zt::getSample(source, x, y, c));
        zarDeallocate(source, ZAR_FREE_HEADER);
    }
    ImageHeader* source = header(1, ZAR_DEPTH_8U, 0, 4, 8, 4);
    std::vector<char> pixels(static_cast<size_t>(source->imageSize), 7);
    source->imageData = pixels.data();
    for (int32_t step : {8, 4}) {
        source->widthStep = step;
        source->imageSize = 2 * 8;  // two rows of 8 or four of 4
        zt::Image clone(zarCloneImage(source));
        ASSERT_NE(clone.get(), nullptr);
        for (int32_t y = 0; y < 16 / step; ++y)
            for (int32_t x = 0; x < step; ++x) EXPECT_EQ(zt::getSample(clone, x, y, 0), 7);
    }
    EXPECT_TRUE(recorder.reports().empty());
    // Invalid sources, then pixels that cannot be had: the header and roi
    // made so far are released (the sanitizer build checks that nothing leaks).
    zt::Image byteMask(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
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

}  // namespace
