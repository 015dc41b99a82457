#include "geometry_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "frame/cpu.h"

namespace gt {

Region regionOf(const ImageHeader* image) {
    Region r{0, 0, image->width, image->height, 0, image->nChannels - (image->alphaChannel > 0)};
    if (const Roi* roi = image->roi) {
        r.x = roi->xOffset;
        r.y = roi->yOffset;
        r.width = std::min(roi->width, image->width - roi->xOffset);
        r.height = std::min(roi->height, image->height - roi->yOffset);
        if (roi->coi) r = {r.x, r.y, r.width, r.height, roi->coi - 1, 1};
    }
    if (image->maskImage) {
        const Region mask = regionOf(image->maskImage);
        r.width = std::min(r.width, mask.width);
        r.height = std::min(r.height, mask.height);
    }
    return r;
}

bool maskAllows(const ImageHeader* image, int32_t i, int32_t j) {
    if (!image->maskImage) return true;
    const Region r = regionOf(image->maskImage);
    return zt::getSample(image->maskImage, r.x + i, r.y + j, 0) != 0;
}

zt::Image filled(int32_t depth, int32_t width, int32_t height, Pixel pixel) {
    zt::Image image(1, 0, depth, ZAR_DATA_ORDER_PIXEL, width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) zt::setSample(image, x, y, 0, pixel(x, y));
    return image;
}

std::string regionText(const ImageHeader* image, int32_t x, int32_t y, int32_t w, int32_t h) {
    std::ostringstream text;
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i)
            text << (i ? " " : j ? " / " : "") << zt::getSample(image, x + i, y + j, 0);
    return text.str();
}

std::string rowText(const ImageHeader* image, int32_t y) {
    return regionText(image, 0, y, image->width, 1);
}

zt::OperandSpec randomFormat(zt::Rng& rng) {
    zt::OperandSpec s;
    s.depth = zt::pick(rng, {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_16U});
    s.dataOrder = s.depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1);
    // three interleaved channels most often: their groups of 16 values start inside a pixel
    s.nChannels = s.depth == ZAR_DEPTH_1U ? 1 : zt::pick(rng, {1, 2, 3, 3, 4});
    // now and then the last channel alpha, even the only one (of a plane-order image)
    const bool alpha = rng.range(0, 3) == 0 && (s.nChannels > 1 || s.dataOrder == 1);
    s.alphaChannel = alpha ? s.nChannels : 0;
    return s;
}

void atEveryIsaLevel(const std::function<void(int32_t)>& run) {
    for (int32_t level = 0; level <= static_cast<int32_t>(detectedIsaLevel()); ++level) {
        setMaxIsaForTests(static_cast<IsaLevel>(level));
        SCOPED_TRACE(testing::Message() << "instruction-set level " << level);
        run(level);
    }
    setMaxIsaForTests(IsaLevel::avx512);
}

void randomSides(zt::Rng& rng, std::initializer_list<zt::OperandSpec*> sides, bool masks) {
    const int32_t n = sides.begin()[0]->nChannels;
    const bool coi = n > 1 && rng.range(0, 3) == 0;
    for (zt::OperandSpec* o : sides) {
        const bool withCoi = coi && o->nChannels == n;
        o->align = 4 << rng.range(0, 3);
        zt::randomInsideRoi(rng, *o, withCoi || rng.range(0, 1), withCoi ? rng.range(1, n) : 0);
        zt::randomMaskAndTiles(rng, *o, masks && !coi);
        o->maskOrder = ZAR_DATA_ORDER_PIXEL;
    }
}

void randomCases(uint64_t seed, int32_t count,
                 const std::function<RandomCase(zt::Rng&, int32_t)>& make) {
    atEveryIsaLevel([&](int32_t) {
        zt::Rng rng(seed);
        for (int32_t n = 0; n < count; ++n) {
            const RandomCase c = make(rng, n);
            ASSERT_EQ(zt::runEverywhere(c.specs, rng.next(), c.op, c.reference), "")
                << "case " << n << ": " << c.what;
        }
    });
}

}  // namespace gt
