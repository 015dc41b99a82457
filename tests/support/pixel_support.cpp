#include "support/pixel_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace zt {

double pixelRule(PixelOp op, int32_t depth, double a, double b, double value) {
    const int32_t bits = depthBits(depth);
    const bool isSigned = (depth & ZAR_DEPTH_SIGN) != 0;
    const double lo = isSigned ? -std::ldexp(1, bits - 1) : 0;
    const double hi = std::ldexp(1, isSigned ? bits - 1 : bits) - 1;
    const uint64_t width = bits == 32 ? 0xFFFFFFFFull : (1ull << bits) - 1;
    const uint64_t ua = static_cast<uint64_t>(static_cast<int64_t>(a)) & width;
    const uint64_t ub = static_cast<uint64_t>(static_cast<int64_t>(b)) & width;
    switch (op) {
        case PixelOp::set:
            return depth == ZAR_DEPTH_32F ? value : std::clamp(value, lo, hi);
        case PixelOp::copy:
            return a;
        case PixelOp::add:
            return depth == ZAR_DEPTH_32F ? static_cast<float>(a) + static_cast<float>(b)
                                          : std::clamp(a + b, lo, hi);
        case PixelOp::logicalOr:
            return static_cast<double>(ua | ub);
        case PixelOp::logicalAnd:
            return static_cast<double>(ua & ub);
        default:
            return static_cast<double>(
                ua ^ (static_cast<uint64_t>(static_cast<int64_t>(value)) & width));
    }
}

void callPixelOp(PixelOp op, const std::vector<ImageHeader*>& h, double value) {
    switch (op) {
        case PixelOp::set:
            if (h.back()->depth == ZAR_DEPTH_32F)
                return zarSetFP(h.back(), static_cast<float>(value));
            return zarSet(h.back(), static_cast<int32_t>(value));
        case PixelOp::copy:
            return zarCopy(h[0], h.back());
        case PixelOp::add:
            return zarAdd(h[0], h[1], h[2]);
        case PixelOp::logicalOr:
            return zarOr(h[0], h[1], h[2]);
        case PixelOp::logicalAnd:
            return zarAnd(h[0], h[1], h[2]);
        case PixelOp::xorS:
            return zarXorS(h[0], h.back(), static_cast<int32_t>(value));
    }
}

namespace {

struct Region {
    const ImageHeader* image;
    int32_t x, y;
    std::vector<int32_t> channels;  // processed: the channel of interest, else all but alpha
};
void referencePixelOp(PixelOp op, const std::vector<ImageHeader*>& plain, double value,
                      ImageHeader* expected) {
    std::vector<Region> regions, masks;
    int32_t width = INT32_MAX, height = INT32_MAX;
    auto add = [&](const ImageHeader* image, std::vector<Region>& to) {
        const Roi* r = image->roi;
        to.push_back({image, r ? r->xOffset : 0, r ? r->yOffset : 0, {}});
        width = std::min(
            width, std::max(0, r ? std::min(r->width, image->width - r->xOffset) : image->width));
        height = std::min(height, std::max(0, r ? std::min(r->height, image->height - r->yOffset)
                                                : image->height));
    };
    for (const ImageHeader* image : plain) {
        add(image, regions);
        const int32_t coi = image->roi ? image->roi->coi : 0;
        std::vector<int32_t>& channels = regions.back().channels;
        for (int32_t c = 0; c < image->nChannels - (image->alphaChannel ? 1 : 0) && !coi; ++c)
            channels.push_back(c);
        if (coi) channels = {coi - 1};
        if (image->maskImage) add(image->maskImage, masks);
        ASSERT_EQ(regions.back().channels.size(), regions.front().channels.size());
    }
    const Region& d = regions.back();
    for (int32_t j = 0; j < height; ++j)
        for (int32_t i = 0; i < width; ++i) {
            bool selected = true;
            for (const Region& m : masks) selected &= getSample(m.image, m.x + i, m.y + j, 0) != 0;
            for (size_t c = 0; c < d.channels.size() && selected; ++c) {
                double sample[2] = {};
                for (size_t k = 0; k + 1 < regions.size(); ++k)
                    sample[k] = getSample(regions[k].image, regions[k].x + i, regions[k].y + j,
                                          regions[k].channels[c]);
                setSample(expected, d.x + i, d.y + j, d.channels[c],
                          pixelRule(op, d.image->depth, sample[0], sample[1], value));
            }
        }
}

}  // namespace

std::string runPixelOp(PixelOp op, const std::vector<OperandSpec>& specs, uint32_t seed,
                       double value) {
    return runEverywhere(
        specs, seed, [&](const auto& h) { callPixelOp(op, h, value); },
        [&](const auto& plain, const auto&, ImageHeader* expected) {
            referencePixelOp(op, plain, value, expected);
        });
}

std::vector<OperandSpec> randomPixelOperands(PixelOp op, Rng& rng) {
    // Every depth; the logical operations refuse 32F (Add hands 1-bit to Or).
    const bool logical = op == PixelOp::logicalOr || op == PixelOp::logicalAnd ||
                         op == PixelOp::xorS;
    const int32_t depth = pick(
        rng, {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_8S, ZAR_DEPTH_16U, ZAR_DEPTH_16S, ZAR_DEPTH_32S,
              logical ? ZAR_DEPTH_8U : ZAR_DEPTH_32F});
    // Sources first, the destination last.
    const int32_t count = op == PixelOp::set                           ? 1
                          : op == PixelOp::copy || op == PixelOp::xorS ? 2
                                                                       : 3;
    // 1-bit rows long enough for whole 64-bit windows between their edges.
    const int32_t maxWidth = depth == ZAR_DEPTH_1U ? 200 : 40;
    const bool same = rng.range(0, 9) < 4;  // the whole-buffer forms want equal geometry
    const int32_t width = rng.range(1, maxWidth), height = rng.range(1, 16);
    const int32_t align = pick(rng, {4, 8, 16, 32}), order = rng.range(0, 1);
    const int32_t n = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 3);
    const int32_t sharedForm = rng.range(0, 1) ? rng.range(0, 2) : -1;
    std::vector<OperandSpec> specs(count);
    for (OperandSpec& s : specs) {
        s.depth = depth;
        s.dataOrder = depth == ZAR_DEPTH_1U ? rng.range(0, 1) : order;
        randomChannels(rng, depth, n, sharedForm >= 0 ? sharedForm : rng.range(0, 2), s);
        s.width = same ? width : rng.range(1, maxWidth);
        s.height = same ? height : rng.range(1, 16);
        s.align = same ? align : pick(rng, {4, 8, 16, 32});
        s.hasRoi = s.roi.coi > 0 || rng.range(0, 9) < (same ? 3 : 6);
        const int32_t coi = s.roi.coi;
        s.roi = rng.range(0, 3) ? randomRoi(rng, s.width, s.height)
                                : Roi{0, 0, 0, s.width, s.height};
        s.roi.coi = coi;
        randomMaskAndTiles(rng, s, true);
    }
    if (op == PixelOp::set && depth != ZAR_DEPTH_1U && rng.range(0, 19) == 0) {
        specs[0].nChannels = specs[0].alphaChannel = 1;  // nothing to process without a region
        specs[0].roi.coi = 0;
    }
    if (op == PixelOp::copy && specs[0].hasMask && !specs[1].hasMask && rng.range(0, 2) == 0)
        specs[1].maskFrom = 0;
    if (count > 1 && rng.range(0, 9) < 3) {
        const int32_t source = rng.range(0, count - 2);
        specs.back() = specs[source];
        specs.back().sameAs = source;
    }
    return specs;
}

}  // namespace zt
