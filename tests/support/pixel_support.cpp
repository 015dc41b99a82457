#include "support/pixel_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

namespace zt {

namespace {

struct Area {
    int32_t x, y, width, height;
};

// A region cut at the image's right and bottom edges (empty when it starts
// outside).
Area clipped(const ImageHeader* image, const Roi* roi) {
    if (roi == nullptr) return {0, 0, image->width, image->height};
    Area a{roi->xOffset, roi->yOffset, roi->width, roi->height};
    a.width = std::max(0, std::min(a.width, image->width - a.x));
    a.height = std::max(0, std::min(a.height, image->height - a.y));
    return a;
}

// Channels a region processes: the channel of interest, else every channel
// but alpha.
std::vector<int32_t> channelsOf(const RefView& v) {
    if (v.roi != nullptr && v.roi->coi > 0) return {v.roi->coi - 1};
    std::vector<int32_t> list;
    for (int32_t c = 0; c < v.pixels->nChannels; ++c)
        if (v.alphaChannel == 0 || c != v.alphaChannel - 1) list.push_back(c);
    return list;
}

struct MaskArea {
    const ImageHeader* mask;
    Area area;
};

// Narrows width and height to the mask's region; adds it to the list.
void addMask(const ImageHeader* mask, std::vector<MaskArea>* masks, int32_t* width,
             int32_t* height) {
    if (mask == nullptr) return;
    const Area a = clipped(mask, mask->roi);
    masks->push_back({mask, a});
    *width = std::min(*width, a.width);
    *height = std::min(*height, a.height);
}

bool underMasks(const std::vector<MaskArea>& masks, int32_t i, int32_t j) {
    for (const MaskArea& m : masks)
        if (getSample(m.mask, m.area.x + i, m.area.y + j, 0) == 0) return false;
    return true;
}

const std::initializer_list<int32_t> kAllDepths = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S,
                                                   ZAR_DEPTH_16U, ZAR_DEPTH_16S, ZAR_DEPTH_32S,
                                                   ZAR_DEPTH_32F};

void randomRegion(Rng& rng, int32_t width, int32_t height, Roi* roi) {
    const int32_t coi = roi->coi;
    *roi = randomRoi(rng, width, height);
    roi->coi = coi;
}

// Size, region, tiles and mask of an operand.
void randomGeometry(Rng& rng, OperandSpec* s) {
    s->width = rng.range(1, s->depth == ZAR_DEPTH_1U ? 90 : 30);
    s->height = rng.range(1, 12);
    s->align = pick(rng, {4, 8, 16, 32});
    s->hasRoi = s->roi.coi > 0 || rng.range(0, 9) < 6;
    if (s->hasRoi && rng.range(0, 3) != 0)
        randomRegion(rng, s->width, s->height, &s->roi);
    else if (s->hasRoi)
        s->roi = Roi{s->roi.coi, 0, 0, s->width, s->height};
    s->tiled = rng.range(0, 9) < 3;
    s->tileWidth = pick(rng, {8, 16, 24});
    s->tileHeight = pick(rng, {8, 16});
    s->hasMask = rng.range(0, 9) < 3;
    s->maskWidth = rng.range(1, s->width + 8);
    s->maskHeight = rng.range(1, s->height + 4);
    s->maskOrder = rng.range(0, 1);
    s->maskAlign = pick(rng, {4, 8, 16, 32});
    s->maskHasRoi = rng.range(0, 1) == 1;
    if (s->maskHasRoi) randomRegion(rng, s->maskWidth, s->maskHeight, &s->maskRoi);
}

// A channel layout that processes n channels: n channels, n + 1 with alpha,
// or (n = 1) a channel of interest.
void randomChannels(Rng& rng, int32_t n, OperandSpec* s) {
    s->roi.coi = 0;
    s->alphaChannel = 0;
    if (s->depth == ZAR_DEPTH_1U) {
        s->nChannels = 1;
        if (rng.range(0, 3) == 0) s->roi.coi = 1;
        return;
    }
    const int form = rng.range(0, 2);
    if (form == 2 && n == 1) {
        s->nChannels = rng.range(1, 4);
        s->alphaChannel = rng.range(0, 1) ? s->nChannels : 0;
        s->roi.coi = rng.range(1, s->nChannels);
    } else if (form == 1) {
        s->nChannels = n + 1;
        s->alphaChannel = n + 1;
    } else {
        s->nChannels = n;
    }
}

std::string describe(const OperandSpec& s) {
    std::ostringstream out;
    out << "{" << s.nChannels << "ch alpha " << s.alphaChannel << " depth " << std::hex << s.depth
        << std::dec << " order " << s.dataOrder << " " << s.width << "x" << s.height << " align "
        << s.align;
    if (s.hasRoi)
        out << " roi(" << s.roi.coi << "; " << s.roi.xOffset << "," << s.roi.yOffset << " "
            << s.roi.width << "x" << s.roi.height << ")";
    if (s.tiled) out << " tiles " << s.tileWidth << "x" << s.tileHeight;
    if (s.hasMask) {
        out << " mask " << s.maskWidth << "x" << s.maskHeight << " order " << s.maskOrder;
        if (s.maskHasRoi)
            out << " roi(" << s.maskRoi.xOffset << "," << s.maskRoi.yOffset << " "
                << s.maskRoi.width << "x" << s.maskRoi.height << ")";
    }
    return out.str() + "}";
}

// Faults common to both operations: reports, tiles held, pixels.
std::string checkRun(const ErrorRecorder& recorder, const Operand& dst,
                     const ImageHeader* expected) {
    if (!recorder.reports().empty())
        return "unexpected report \"" + recorder.reports().front().context + "\" from " +
               recorder.reports().front().func;
    if (dst.store() && !dst.store()->balanced()) return "a destination tile was not released";
    return compareImages(expected, dst.snapshot());
}

}  // namespace

double saturatedSample(int32_t depth, double value) {
    switch (depth) {
        case ZAR_DEPTH_1U:
            return std::clamp(value, 0.0, 1.0);
        case ZAR_DEPTH_8U:
            return std::clamp(value, 0.0, 255.0);
        case ZAR_DEPTH_8S:
            return std::clamp(value, -128.0, 127.0);
        case ZAR_DEPTH_16U:
            return std::clamp(value, 0.0, 65535.0);
        case ZAR_DEPTH_16S:
            return std::clamp(value, -32768.0, 32767.0);
        default:
            return value;
    }
}

void referenceSet(const RefView& dst, double value, ImageHeader* expected) {
    const Area d = clipped(dst.pixels, dst.roi);
    int32_t width = d.width, height = d.height;
    std::vector<MaskArea> masks;
    addMask(dst.mask, &masks, &width, &height);
    // An alpha-only image without a region has nothing to process.
    if (dst.roi == nullptr && dst.alphaChannel != 0 && dst.pixels->nChannels == 1) return;
    const std::vector<int32_t> channels = channelsOf(dst);
    for (int32_t j = 0; j < height; ++j)
        for (int32_t i = 0; i < width; ++i)
            if (underMasks(masks, i, j))
                for (int32_t c : channels) setSample(expected, d.x + i, d.y + j, c, value);
}

void referenceCopy(const RefView& src, const RefView& dst, ImageHeader* expected) {
    const Area s = clipped(src.pixels, src.roi), d = clipped(dst.pixels, dst.roi);
    int32_t width = std::min(s.width, d.width), height = std::min(s.height, d.height);
    std::vector<MaskArea> masks;
    addMask(src.mask, &masks, &width, &height);
    if (dst.mask != src.mask) addMask(dst.mask, &masks, &width, &height);
    const std::vector<int32_t> sc = channelsOf(src), dc = channelsOf(dst);
    ASSERT_EQ(sc.size(), dc.size());
    for (int32_t j = 0; j < height; ++j)
        for (int32_t i = 0; i < width; ++i)
            if (underMasks(masks, i, j))
                for (size_t k = 0; k < sc.size(); ++k)
                    setSample(expected, d.x + i, d.y + j, dc[k],
                              getSample(src.pixels, s.x + i, s.y + j, sc[k]));
}

std::string runRandomSet(uint64_t seed) {
    Rng rng(seed);
    OperandSpec s;
    s.depth = pick(rng, kAllDepths);
    s.dataOrder = rng.range(0, 1);
    randomChannels(rng, s.depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 3), &s);
    // Now and then an image whose only channel is alpha.
    if (s.depth != ZAR_DEPTH_1U && rng.range(0, 19) == 0) s = OperandSpec{1, 1, s.depth};
    randomGeometry(rng, &s);
    Operand image(s, static_cast<uint32_t>(seed * 13 + 1));
    const uint32_t r = rng.next();
    const int32_t value = rng.range(0, 1) ? static_cast<int32_t>(r)
                                          : static_cast<int32_t>(r % 140001) - 70000;
    const float floatValue = static_cast<float>(static_cast<int32_t>(r % 2001) - 1000) / 4.0f;

    const Image before = image.snapshot();
    Image expected = copyImage(before);
    const bool isFloat = s.depth == ZAR_DEPTH_32F;
    referenceSet(viewOf(image, before), isFloat ? floatValue : saturatedSample(s.depth, value),
                 expected);
    const Image maskBefore = image.mask() ? copyImage(image.mask()) : Image();

    ErrorRecorder recorder;
    if (isFloat)
        zarSetFP(image.header(), floatValue);
    else
        zarSet(image.header(), value);

    std::string fault = checkRun(recorder, image, expected);
    if (fault.empty() && image.header()->maskImage != image.mask()) fault = "mask not restored";
    if (fault.empty() && image.header()->depth != s.depth) fault = "depth not restored";
    if (fault.empty() && image.mask()) fault = compareImages(maskBefore, image.mask());
    if (fault.empty()) return fault;
    std::ostringstream what;
    what << "seed " << seed << " value " << (isFloat ? floatValue : value) << " " << describe(s);
    return what.str() + ": " + fault;
}

std::string runRandomCopy(uint64_t seed) {
    Rng rng(seed);
    OperandSpec src, dst;
    src.depth = dst.depth = pick(rng, kAllDepths);
    const int32_t n = src.depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 3);
    randomChannels(rng, n, &src);
    randomChannels(rng, n, &dst);
    src.dataOrder = rng.range(0, 1);
    // Data orders may differ only between 1-bit or single-channel images.
    const bool free = src.depth == ZAR_DEPTH_1U || (src.nChannels == 1 && dst.nChannels == 1);
    dst.dataOrder = free ? rng.range(0, 1) : src.dataOrder;
    randomGeometry(rng, &src);
    randomGeometry(rng, &dst);
    Operand a(src, static_cast<uint32_t>(seed * 17 + 2));
    Operand b(dst, static_cast<uint32_t>(seed * 17 + 5));
    // Sometimes the destination shares the source's mask.
    const bool sharedMask = a.mask() && !b.mask() && rng.range(0, 2) == 0;
    if (sharedMask) b.header()->maskImage = a.mask();
    ImageHeader* dstMask = b.header()->maskImage;

    const Image srcBefore = a.snapshot(), dstBefore = b.snapshot();
    Image expected = copyImage(dstBefore);
    RefView dstView = viewOf(b, dstBefore);
    dstView.mask = dstMask;
    referenceCopy(viewOf(a, srcBefore), dstView, expected);

    ErrorRecorder recorder;
    zarCopy(a.header(), b.header());

    std::string fault = checkRun(recorder, b, expected);
    if (fault.empty() && a.store() && !a.store()->balanced())
        fault = "a source tile was not released";
    if (fault.empty()) fault = compareImages(srcBefore, a.snapshot());
    if (fault.empty() && (a.header()->maskImage != a.mask() || b.header()->maskImage != dstMask))
        fault = "a mask pointer was not restored";
    if (fault.empty() && a.mask() && a.mask()->maskImage != nullptr)
        fault = "mask of mask left set";
    if (sharedMask) b.header()->maskImage = nullptr;
    if (fault.empty()) return fault;
    std::ostringstream what;
    what << "seed " << seed << " src " << describe(src) << " dst " << describe(dst)
         << (sharedMask ? " shared mask" : "");
    return what.str() + ": " + fault;
}

}  // namespace zt
