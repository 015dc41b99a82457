// Pixel allocation (checks, sizes, fill patterns), release by flags, and cloning.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <tuple>
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

}  // namespace
