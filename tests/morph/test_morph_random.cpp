// Randomized comparisons against the naive reference, tiled images against
// plain ones, and the row readers and writers against the border rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/image.h"
#include "image/region.h"
#include "morph/morph.h"
#include "support/morph_support.h"
#include "support/zar_test.h"

namespace {

using zt::ErrorRecorder;
using zt::Image;
using zt::Rng;
using zt::TileStore;

const int32_t kDepths[] = {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_16U};

void randomBorders(ImageHeader* image, Rng& rng) {
    for (int32_t side = 0; side < 4; ++side) {
        // Only the low two bits of a mode word count.
        image->borderModes[side] = rng.range(0, 3) | (rng.range(0, 3) == 0 ? 0x40 : 0);
        image->borderValues[side] = rng.range(-3, 70000);
    }
}

Roi* randomRoi(Rng& rng, int32_t coi, int32_t width, int32_t height) {
    return zt::newRoi(coi, rng.range(0, width + 1), rng.range(0, height), rng.range(1, width + 2),
                      rng.range(1, height + 1));
}

// A mask that covers most of the region, sometimes less, with its own roi.
ImageHeader* randomMask(Rng& rng, int32_t width, int32_t height) {
    ImageHeader* mask = zt::newImage(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL,
                                     rng.range(1, width + 4), rng.range(1, height + 4));
    for (int32_t y = 0; y < mask->height; ++y)
        for (int32_t x = 0; x < mask->width; ++x)
            zt::setSample(mask, x, y, 0, rng.range(0, 3) != 0);
    if (rng.range(0, 1))
        mask->roi = zt::newRoi(0, rng.range(0, 3), rng.range(0, 2), rng.range(1, mask->width + 2),
                               rng.range(1, mask->height + 2));
    return mask;
}

struct Case {
    int32_t depth, order, n;
    bool dilate;
    Image src, dst;
};

// Random formats with equal processed channel counts, regions, channels of
// interest, masks and border rules.
Case randomCase(Rng& rng, uint32_t seed) {
    Case c;
    c.depth = kDepths[rng.range(0, 2)];
    c.order = rng.range(0, 1);
    // Mostly 1..4; sometimes large enough for the kernels' block form.
    c.n = rng.range(0, 5) ? rng.range(1, 4) : rng.range(12, 16);
    c.dilate = rng.range(0, 1) != 0;
    const bool bit = c.depth == ZAR_DEPTH_1U;
    const bool useCoi = bit ? rng.range(0, 1) != 0 : rng.range(0, 2) == 0;
    const int32_t processed = bit ? 1 : rng.range(1, 3);
    auto format = [&](int32_t* nChannels, int32_t* alpha) {
        if (bit) {
            *nChannels = 1, *alpha = 0;
        } else if (useCoi) {
            *nChannels = rng.range(1, 4);
            *alpha = rng.range(0, 1) ? *nChannels : 0;
        } else {
            *alpha = rng.range(0, 1);
            *nChannels = processed + *alpha;
            if (*alpha) *alpha = *nChannels;
        }
    };
    const int32_t maxW = bit ? 90 : 24;
    int32_t nc, alpha;
    format(&nc, &alpha);
    c.src = Image(nc, alpha, c.depth, c.order, rng.range(1, maxW), rng.range(1, 12),
                  4 << rng.range(0, 3));
    format(&nc, &alpha);
    c.dst = Image(nc, alpha, c.depth, c.order, rng.range(1, maxW), rng.range(1, 12),
                  4 << rng.range(0, 3));
    c.src.randomize(seed);
    c.dst.randomize(seed + 1);
    for (ImageHeader* image : {c.src.get(), c.dst.get()}) {
        // With a channel of interest any one channel, alpha included, is
        // processed.
        const int32_t coi = useCoi ? rng.range(1, image->nChannels) : 0;
        if (useCoi || rng.range(0, 2) != 0)
            image->roi = randomRoi(rng, coi, image->width, image->height);
        if (rng.range(0, 3) == 0) image->maskImage = randomMask(rng, image->width, image->height);
    }
    randomBorders(c.src, rng);
    randomBorders(c.dst, rng);
    return c;
}

void run(const Case& c, ImageHeader* src, ImageHeader* dst) {
    (c.dilate ? zarDilate : zarErode)(src, dst, c.n);
}

TEST(MorphRandom, MatchesTheReference) {
    Rng rng(20261205);
    int32_t changed = 0;
    for (int32_t iteration = 0; iteration < 600; ++iteration) {
        ErrorRecorder rec;
        Case c = randomCase(rng, 1000 + iteration);
        const std::vector<double> expected = mt::referenceMorph(c.src, c.dst, c.n, c.dilate);
        const std::vector<double> srcBefore = mt::allSamples(c.src);
        const std::vector<double> dstBefore = mt::allSamples(c.dst);
        run(c, c.src, c.dst);
        ASSERT_TRUE(rec.reports().empty())
            << "iteration " << iteration << ": " << rec.reports()[0].context;
        ASSERT_EQ(zarGetStatus(), STATUS_OK);
        const std::vector<double> got = mt::allSamples(c.dst);
        ASSERT_EQ(got, expected) << "iteration " << iteration << " depth " << c.depth << " n "
                                 << c.n << " dilate " << c.dilate;
        ASSERT_EQ(mt::allSamples(c.src), srcBefore);
        changed += got != dstBefore;
    }
    EXPECT_GT(changed, 250);  // the comparisons are not vacuous
}

// Pixel-order images of 2 to 4 channels, every channel processed, no tiles
// and no mask: the form that filters all channels of a row at once.
TEST(MorphRandom, WholePixelImagesMatchTheReference) {
    Rng rng(4242);
    int32_t changed = 0;
    for (int32_t iteration = 0; iteration < 300; ++iteration) {
        ErrorRecorder rec;
        const int32_t depth = rng.range(0, 1) ? ZAR_DEPTH_8U : ZAR_DEPTH_16U;
        const int32_t channels = rng.range(2, 4);
        const int32_t n = rng.range(0, 4) ? rng.range(1, 4) : rng.range(10, 14);
        const bool dilate = rng.range(0, 1) != 0;
        auto make = [&](uint32_t seed) {
            Image image(channels, 0, depth, ZAR_DATA_ORDER_PIXEL, rng.range(1, 40),
                        rng.range(1, 12), 4 << rng.range(0, 3));
            image.randomize(seed);
            if (rng.range(0, 2) != 0) image->roi = randomRoi(rng, 0, image->width, image->height);
            randomBorders(image, rng);
            return image;
        };
        Image src = make(7000 + iteration), dst = make(9000 + iteration);
        const std::vector<double> expected = mt::referenceMorph(src, dst, n, dilate);
        const std::vector<double> srcBefore = mt::allSamples(src);
        const std::vector<double> dstBefore = mt::allSamples(dst);
        (dilate ? zarDilate : zarErode)(src, dst, n);
        ASSERT_TRUE(rec.reports().empty()) << "iteration " << iteration;
        const std::vector<double> got = mt::allSamples(dst);
        ASSERT_EQ(got, expected) << "iteration " << iteration << " depth " << depth << " channels "
                                 << channels << " n " << n << " dilate " << dilate;
        ASSERT_EQ(mt::allSamples(src), srcBefore);
        changed += got != dstBefore;
    }
    EXPECT_GT(changed, 150);  // the comparisons are not vacuous
}

// A tiled image holding a plain image's pixels, roi, mask and border rules.
std::unique_ptr<TileStore> tiledCopy(const ImageHeader* plain, Rng& rng) {
    const int32_t tile = 8 * rng.range(1, 3);
    auto store = std::make_unique<TileStore>(plain->nChannels, plain->alphaChannel, plain->depth,
                                             plain->dataOrder, plain->width, plain->height, tile,
                                             8 * rng.range(1, 2), plain->align);
    store->loadFrom(plain);
    ImageHeader* image = store->image();
    if (plain->roi) {
        const Roi& r = *plain->roi;
        image->roi = zt::newRoi(r.coi, r.xOffset, r.yOffset, r.width, r.height);
    }
    image->maskImage = plain->maskImage;  // still owned by the plain image
    std::memcpy(image->borderModes, plain->borderModes, sizeof plain->borderModes);
    std::memcpy(image->borderValues, plain->borderValues, sizeof plain->borderValues);
    return store;
}

void releaseTiledCopy(TileStore& store) {
    store.image()->maskImage = nullptr;
    zarDeallocate(store.image(), ZAR_FREE_ROI);
}

TEST(MorphTiled, SameAsPlainAndEveryTileReleased) {
    Rng rng(77);
    for (int32_t iteration = 0; iteration < 200; ++iteration) {
        ErrorRecorder rec;
        Case c = randomCase(rng, 5000 + iteration);
        const std::vector<double> expected = mt::referenceMorph(c.src, c.dst, c.n, c.dilate);
        const int32_t which = rng.range(1, 3);  // 1: source tiled, 2: destination, 3: both
        std::unique_ptr<TileStore> src, dst;
        if (which & 1) src = tiledCopy(c.src, rng);
        if (which & 2) dst = tiledCopy(c.dst, rng);
        run(c, src ? src->image() : c.src.get(), dst ? dst->image() : c.dst.get());
        ASSERT_TRUE(rec.reports().empty()) << iteration;
        if (dst) {
            dst->storeTo(c.dst);
            EXPECT_TRUE(dst->balanced());
            // The destination is read only to merge under a combined mask.
            const bool masked = c.src->maskImage || c.dst->maskImage;
            EXPECT_EQ(dst->count(ZAR_TILE_READ) > 0, masked && dst->count(ZAR_TILE_WRITE) > 0);
            releaseTiledCopy(*dst);
        }
        ASSERT_EQ(mt::allSamples(c.dst), expected) << iteration;
        if (src) {
            EXPECT_TRUE(src->balanced());
            EXPECT_EQ(src->count(ZAR_TILE_WRITE), 0);
            releaseTiledCopy(*src);
        }
    }
}

TEST(MorphRandom, InPlaceOnTheSameRegion) {
    // Each source row is in the ring before the destination row it lies on
    // is written, so one image may be its own source, unless a wrapping
    // bottom border brings back rows already written.
    Rng rng(31);
    for (int32_t iteration = 0; iteration < 100; ++iteration) {
        ErrorRecorder rec;
        Case c = randomCase(rng, 9000 + iteration);
        zarDeallocate(c.src, ZAR_FREE_MASK);
        c.src->borderModes[1] &= ~1;  // wrap becomes reflect, replicate constant
        const std::vector<double> expected = mt::referenceMorph(c.src, c.src, c.n, c.dilate);
        run(c, c.src, c.src);
        ASSERT_TRUE(rec.reports().empty());
        ASSERT_EQ(mt::allSamples(c.src), expected) << iteration;
    }
}

TEST(MorphTiled, RefusedTilesAreReported) {
    for (bool refuseSource : {true, false}) {
        ErrorRecorder rec;
        Image plain(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 40, 20);
        plain.randomize(3);
        TileStore src(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 40, 20, 16, 8);
        TileStore dst(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 40, 20, 16, 8);
        src.loadFrom(plain);
        (refuseSource ? src : dst).refuse(1, 1);
        zarDilate(src, dst, 2);
        const zt::Report r = rec.only();
        EXPECT_EQ(r.status, STATUS_ERROR);
        EXPECT_EQ(r.func, "zarDilate");
        EXPECT_EQ(r.context, refuseSource ? "Error get tile to read" : "Error get tile to write");
        EXPECT_EQ(r.file, "ownMorph");
        EXPECT_GT(r.line, 0);
        EXPECT_TRUE(src.balanced());
        EXPECT_TRUE(dst.balanced());
        EXPECT_EQ(src.outstanding(), 0);
        EXPECT_EQ(dst.outstanding(), 0);
    }
}

// ----------------------------------------------------------- row access

double bufferValue(char* buffer, int32_t depth, int64_t pos) {
    const zt::Layout row{buffer, 1 << 20, 1, 1, depth, ZAR_DATA_ORDER_PLANE};
    return zt::getSample(row, static_cast<int32_t>(pos), 0, 0);
}

TEST(MorphRows, ReadRowFollowsTheBorderRulesFarOut) {
    Rng rng(11);
    for (int32_t iteration = 0; iteration < 300; ++iteration) {
        ErrorRecorder rec;
        const int32_t depth = kDepths[rng.range(0, 2)];
        const bool bit = depth == ZAR_DEPTH_1U;
        const int32_t nc = bit ? 1 : rng.range(1, 3);
        Image plain(nc, 0, depth, rng.range(0, 1), rng.range(1, 20), rng.range(1, 9));
        plain.randomize(100 + iteration);
        randomBorders(plain, rng);
        std::unique_ptr<TileStore> tiled = tiledCopy(plain, rng);
        const int32_t w = plain->width, h = plain->height;
        const int32_t x = rng.range(-3 * w - 2, 2 * w), y = rng.range(-3 * h - 2, 3 * h + 2);
        const int32_t count = rng.range(1, 4 * w + 5);
        const int32_t channel = rng.range(0, nc - 1);
        const int64_t pos = rng.range(0, 9);
        for (ImageHeader* image : {plain.get(), tiled->image()}) {
            std::vector<char> buffer(static_cast<size_t>(count + 16) * 2, 0x5A);
            ASSERT_TRUE(readRowAt(image, x, y, channel, buffer.data(), pos, count));
            for (int32_t i = 0; i < count; ++i)
                ASSERT_EQ(bufferValue(buffer.data(), depth, pos + i),
                          zt::borderSample(plain, x + i, y, channel))
                    << "iteration " << iteration << " i " << i;
            for (int64_t i = 0; i < pos; ++i)  // values before the run are kept
                ASSERT_EQ(bufferValue(buffer.data(), depth, i),
                          bufferValue(std::vector<char>(64, 0x5A).data(), depth, i));
        }
        EXPECT_TRUE(tiled->balanced());
        EXPECT_EQ(tiled->count(ZAR_TILE_WRITE), 0);
        releaseTiledCopy(*tiled);
        EXPECT_TRUE(rec.reports().empty());
    }
}

TEST(MorphRows, ReadRowWithBorderStartsAtTheBuffer) {
    ErrorRecorder rec;
    Image plain(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 3, 2);
    for (int32_t x = 0; x < 3; ++x) zt::setSample(plain, x, 1, 0, 10 + x);
    plain->borderModes[2] = ZAR_BORDER_REFLECT;
    plain->borderModes[3] = ZAR_BORDER_WRAP;
    char buffer[12];
    ASSERT_TRUE(readRowAt(plain, -4, 1, 0, buffer, 0, 12));
    // reflect: -4 -> 2, -3 -> 2, -2 -> 1, -1 -> 0; wrap: 3 -> 0, 4 -> 1 ...
    const int expected[12] = {12, 12, 11, 10, 10, 11, 12, 10, 11, 12, 10, 11};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(static_cast<uint8_t>(buffer[i]), expected[i]) << i;
}

TEST(MorphRows, WriteRowPlainAndTiled) {
    Rng rng(5);
    for (int32_t iteration = 0; iteration < 200; ++iteration) {
        ErrorRecorder rec;
        const int32_t depth = kDepths[rng.range(0, 2)];
        const int32_t nc = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 3);
        Image plain(nc, 0, depth, rng.range(0, 1), rng.range(1, 50), rng.range(1, 5));
        plain.randomize(iteration);
        std::unique_ptr<TileStore> tiled = tiledCopy(plain, rng);
        const int32_t x = rng.range(0, plain->width - 1), y = rng.range(0, plain->height - 1);
        const int32_t count = rng.range(1, plain->width - x), channel = rng.range(0, nc - 1);
        std::vector<char> values(static_cast<size_t>(count) * 2 + 8);
        for (char& v : values) v = static_cast<char>(rng.next());
        std::vector<double> expected = mt::allSamples(plain);
        for (int32_t i = 0; i < count; ++i)
            expected[mt::sampleIndex(plain, x + i, y, channel)] = bufferValue(values.data(), depth,
                                                                              i);
        ASSERT_TRUE(writeRow(values.data(), count, plain, x, y, channel));
        ASSERT_TRUE(writeRow(values.data(), count, tiled->image(), x, y, channel));
        EXPECT_EQ(mt::allSamples(plain), expected) << iteration;
        Image back(nc, 0, depth, plain->dataOrder, plain->width, plain->height);
        tiled->storeTo(back);
        EXPECT_EQ(mt::allSamples(back), expected) << iteration;
        EXPECT_TRUE(tiled->balanced());
        EXPECT_EQ(tiled->count(ZAR_TILE_READ), 0);
        releaseTiledCopy(*tiled);
    }
}

}  // namespace
