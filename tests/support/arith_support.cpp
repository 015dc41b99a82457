#include "support/arith_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <vector>

namespace zt {

// ---------------------------------------------------------------- reference

namespace {

struct Region {
    int32_t x, y, width, height;
};

// The roi clipped at the right and bottom edges, never negative.
Region clippedRegion(const ImageHeader* image, const Roi* roi) {
    if (!roi) return {0, 0, image->width, image->height};
    return {roi->xOffset, roi->yOffset,
            std::max(0, std::min(roi->width, image->width - roi->xOffset)),
            std::max(0, std::min(roi->height, image->height - roi->yOffset))};
}

std::vector<int32_t> processedChannelList(const RefView& v) {
    if (v.roi && v.roi->coi >= 1) return {v.roi->coi - 1};
    std::vector<int32_t> list;
    const int32_t count = v.pixels->nChannels - (v.alphaChannel ? 1 : 0);
    for (int32_t c = 0; c < count; ++c) list.push_back(c);
    return list;
}

// Range of an integer depth.
void depthRange(int32_t depth, double* lo, double* hi) {
    switch (depth) {
        case ZAR_DEPTH_8U:
            *lo = 0;
            *hi = 255;
            break;
        case ZAR_DEPTH_8S:
            *lo = -128;
            *hi = 127;
            break;
        case ZAR_DEPTH_16U:
            *lo = 0;
            *hi = 65535;
            break;
        case ZAR_DEPTH_16S:
            *lo = -32768;
            *hi = 32767;
            break;
        case ZAR_DEPTH_1U:
            *lo = 0;
            *hi = 1;
            break;
        default:
            *lo = -2147483648.0;
            *hi = 2147483647.0;
            break;
    }
}

double applyOp(RefOp op, int32_t depth, double a, double b, int32_t value) {
    if (op == RefOp::add) {
        if (depth == ZAR_DEPTH_32F) return static_cast<float>(a) + static_cast<float>(b);
        double lo, hi;
        depthRange(depth, &lo, &hi);
        return std::clamp(a + b, lo, hi);
    }
    const int32_t bits = depthBits(depth);
    const uint64_t width = bits == 32 ? 0xFFFFFFFFull : (1ull << bits) - 1;
    const uint64_t ua = static_cast<uint64_t>(static_cast<int64_t>(a)) & width;
    const uint64_t ub = static_cast<uint64_t>(static_cast<int64_t>(b)) & width;
    switch (op) {
        case RefOp::logicalOr:
            return static_cast<double>(ua | ub);
        case RefOp::logicalAnd:
            return static_cast<double>(ua & ub);
        default: {
            const uint64_t constant = static_cast<uint64_t>(static_cast<uint32_t>(value)) & width;
            return static_cast<double>(ua ^ constant);
        }
    }
}

}  // namespace

void referenceOp(RefOp op, const RefView& srcA, const RefView& srcB, const RefView& dst,
                 int32_t value, ImageHeader* expected) {
    const bool twoSources = op != RefOp::xorS;
    std::vector<const RefView*> operands = {&srcA};
    if (twoSources) operands.push_back(&srcB);
    operands.push_back(&dst);

    int32_t width = INT32_MAX, height = INT32_MAX;
    std::vector<Region> regions;
    std::vector<std::vector<int32_t>> channels;
    std::vector<const ImageHeader*> masks;
    std::vector<Region> maskRegions;
    for (const RefView* v : operands) {
        regions.push_back(clippedRegion(v->pixels, v->roi));
        channels.push_back(processedChannelList(*v));
        width = std::min(width, regions.back().width);
        height = std::min(height, regions.back().height);
        if (v->mask) {
            masks.push_back(v->mask);
            maskRegions.push_back(clippedRegion(v->mask, v->mask->roi));
            width = std::min(width, maskRegions.back().width);
            height = std::min(height, maskRegions.back().height);
        }
    }
    for (const auto& list : channels) ASSERT_EQ(list.size(), channels.front().size());

    const Region& ra = regions.front();
    const Region& rb = regions[twoSources ? 1 : 0];
    const Region& rd = regions.back();
    const auto& ca = channels.front();
    const auto& cb = channels[twoSources ? 1 : 0];
    const auto& cd = channels.back();
    const RefView& b = twoSources ? srcB : srcA;
    for (int32_t j = 0; j < height; ++j)
        for (int32_t i = 0; i < width; ++i) {
            bool selected = true;
            for (size_t m = 0; m < masks.size(); ++m)
                selected = selected &&
                           getSample(masks[m], maskRegions[m].x + i, maskRegions[m].y + j, 0) != 0;
            if (!selected) continue;
            for (size_t c = 0; c < cd.size(); ++c) {
                const double va = getSample(srcA.pixels, ra.x + i, ra.y + j, ca[c]);
                const double vb = getSample(b.pixels, rb.x + i, rb.y + j, cb[c]);
                setSample(expected, rd.x + i, rd.y + j, cd[c],
                          applyOp(op, dst.pixels->depth, va, vb, value));
            }
        }
}

// ------------------------------------------------------------ random cases

std::string runRandomCase(RefOp op, uint64_t seed) {
    Rng rng(seed);
    const bool twoSources = op != RefOp::xorS;
    const int32_t depth = op == RefOp::add
                              ? pick(rng, {ZAR_DEPTH_8U, ZAR_DEPTH_8S, ZAR_DEPTH_16U, ZAR_DEPTH_16S,
                                           ZAR_DEPTH_32S, ZAR_DEPTH_32F})
                              : pick(rng, {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                                           ZAR_DEPTH_16S, ZAR_DEPTH_32S});
    const int32_t count = twoSources ? 3 : 2;
    const bool sameGeometry = rng.range(0, 9) < 4;
    // 1-bit rows long enough for whole 64-bit windows between their edges.
    const int32_t maxWidth = depth == ZAR_DEPTH_1U ? 200 : 40;
    const int32_t width = rng.range(1, maxWidth), height = rng.range(1, 16);
    const int32_t align = pick(rng, {4, 8, 16, 32});
    const int32_t order = rng.range(0, 1);
    const int32_t n = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 3);
    const int32_t sharedForm = rng.range(0, 1) ? rng.range(0, 2) : -1;
    // The destination may be one of the sources' own headers.
    const int32_t alias = rng.range(0, 9) < 3 ? rng.range(0, count - 2) : -1;

    std::vector<OperandSpec> specs(count);
    for (int32_t k = 0; k < count; ++k) {
        OperandSpec& s = specs[k];
        s.depth = depth;
        s.dataOrder = depth == ZAR_DEPTH_1U ? rng.range(0, 1) : order;
        randomChannels(rng, depth, n, sharedForm >= 0 ? sharedForm : rng.range(0, 2), s);
        s.width = sameGeometry ? width : rng.range(1, maxWidth);
        s.height = sameGeometry ? height : rng.range(1, 16);
        s.align = sameGeometry ? align : pick(rng, {4, 8, 16, 32});
        s.hasRoi = s.roi.coi > 0 || rng.range(0, 9) < (sameGeometry ? 3 : 6);
        if (s.hasRoi) {
            const int32_t coi = s.roi.coi;
            s.roi = rng.range(0, 3) == 0 ? Roi{0, 0, 0, s.width, s.height}
                                         : randomRoi(rng, s.width, s.height);
            s.roi.coi = coi;
        }
        randomMaskAndTiles(rng, s, true);
    }
    std::vector<std::unique_ptr<Operand>> owned;
    std::vector<Operand*> operands;
    for (int32_t k = 0; k < count; ++k) {
        if (k == count - 1 && alias >= 0) {
            operands.push_back(operands[alias]);
            specs[k] = specs[alias];
            continue;
        }
        owned.push_back(std::make_unique<Operand>(specs[k], static_cast<uint32_t>(seed * 31 + k)));
        operands.push_back(owned.back().get());
    }
    const int32_t value = static_cast<int32_t>(rng.next());

    const std::string fault = runAgainstReference(op, *operands[0], *operands[1],
                                                  *operands[count - 1], value);
    if (fault.empty()) return fault;
    std::ostringstream what;
    what << "seed " << seed << " depth " << std::hex << depth << std::dec;
    if (alias >= 0) what << " dst is source " << alias;
    if (op == RefOp::xorS) what << " value " << value;
    what << describe(specs);
    return what.str() + ": " + fault;
}

std::string runAgainstReference(RefOp op, const Operand& a, const Operand& b, const Operand& d,
                                int32_t value) {
    const Image beforeA = a.snapshot(), beforeB = b.snapshot(), beforeD = d.snapshot();
    Image expected = copyImage(beforeD);
    referenceOp(op, viewOf(a, beforeA), viewOf(b, beforeB), viewOf(d, beforeD), value, expected);

    ErrorRecorder recorder;
    switch (op) {
        case RefOp::add:
            zarAdd(a.header(), b.header(), d.header());
            break;
        case RefOp::logicalOr:
            zarOr(a.header(), b.header(), d.header());
            break;
        case RefOp::logicalAnd:
            zarAnd(a.header(), b.header(), d.header());
            break;
        case RefOp::xorS:
            zarXorS(a.header(), d.header(), value);
            break;
    }
    if (!recorder.reports().empty())
        return "unexpected report " + recorder.reports().front().context;
    for (const Operand* operand : {&a, &b, &d})
        if (operand->store() && !operand->store()->balanced()) return "a tile was not released";
    return compareImages(expected, d.snapshot());
}

}  // namespace zt
