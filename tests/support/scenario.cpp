#include "support/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <utility>

namespace zt {

// ----------------------------------------------------------------- operands

Operand::Operand(const OperandSpec& s, uint32_t seed) {
    plain_ = Image(s.nChannels, s.alphaChannel, s.depth, s.dataOrder, s.width, s.height, s.align);
    plain_.randomize(seed);
    Rng positions(seed);
    forEachSample(plain_, [&](int32_t x, int32_t y, int32_t c) {
        const int32_t kind = positions.range(0, 5), whole = positions.range(-1, s.positionSpan);
        const double spot = positions.range(-2000, 1000 * s.positionSpan + 1000) / 1000.0;
        if (s.positionSpan > 0 && c == 0)
            setSample(plain_, x, y, 0, kind < 2 ? whole + 0.5 * kind : spot);
        else if (s.smallValues && s.depth == ZAR_DEPTH_32S)
            setSample(plain_, x, y, c, std::floor(getSample(plain_, x, y, c) / 65536.0));
    });
    if (s.hasMask) {
        mask_ = Image(1, 0, ZAR_DEPTH_1U, s.maskOrder, s.maskWidth, s.maskHeight, s.maskAlign);
        mask_.randomize(seed * 7u + 3u);
        // Every other mask in whole bytes of set or clear bits: long runs of either.
        for (int32_t k = 0; k < mask_->imageSize && seed % 2; ++k)
            mask_->imageData[k] = static_cast<char>(mask_->imageData[k] & 1 ? 0xFF : 0);
        if (s.maskHasRoi) mask_.setRoi(s.maskRoi);
    }
    if (s.tiled) {
        store_ = std::make_unique<TileStore>(s.nChannels, s.alphaChannel, s.depth, s.dataOrder,
                                             s.width, s.height, s.tileWidth, s.tileHeight, s.align);
        store_->fillBytes(0xA5);
        store_->copy(plain_, true);
        roi_ = s.roi;
        store_->image()->roi = s.hasRoi ? &roi_ : nullptr;
    } else if (s.hasRoi) {
        plain_.setRoi(s.roi);
    }
    header()->maskImage = mask_.get();
    std::copy_n(s.borderModes, 4, header()->borderModes);
    std::copy_n(s.borderValues, 4, header()->borderValues);
}

Operand::~Operand() {
    // The mask belongs to mask_, not to the image that carries it.
    if (plain_.get()) plain_->maskImage = nullptr;
}

Image Operand::snapshot() const {
    Image copy = copyImage(plain_.get());
    if (store_) store_->copy(copy, false);
    return copy;
}

Image copyImage(const ImageHeader* image) {
    Image copy(image->nChannels, image->alphaChannel, image->depth, image->dataOrder, image->width,
               image->height, image->align);
    EXPECT_EQ(copy->imageSize, image->imageSize);
    std::memcpy(copy->imageData, image->imageData,
                static_cast<size_t>(std::min(copy->imageSize, image->imageSize)));
    return copy;
}

std::string compareImages(const ImageHeader* expected, const ImageHeader* actual) {
    std::ostringstream out;  // the first difference
    forEachSample(expected, [&](int32_t x, int32_t y, int32_t c) {
        const double e = getSample(expected, x, y, c), a = getSample(actual, x, y, c);
        if (e != a && out.tellp() == 0)
            out << "pixel (" << x << ", " << y << ") channel " << c << ": expected " << e
                << ", got " << a;
    });
    return out.str();
}

int32_t pick(Rng& rng, std::initializer_list<int32_t> values) {
    return *(values.begin() + rng.range(0, static_cast<int32_t>(values.size()) - 1));
}

Roi randomRoi(Rng& rng, int32_t width, int32_t height) {
    return {0, rng.range(0, width + 2), rng.range(0, height + 2), rng.range(1, width + 4),
            rng.range(1, height + 4)};
}

void randomInsideRoi(Rng& rng, OperandSpec& s, bool hasRoi, int32_t coi) {
    s.hasRoi = hasRoi;
    s.roi = randomRoi(rng, s.width, s.height);
    s.roi.xOffset %= s.width;
    s.roi.yOffset %= s.height;
    s.roi.coi = coi;
}

void randomMaskAndTiles(Rng& rng, OperandSpec& s, bool mask) {
    s.tiled = rng.range(0, 9) < 3;
    s.tileWidth = pick(rng, {8, 16, 24, 32});
    s.tileHeight = pick(rng, {8, 16, 24});
    s.hasMask = mask && rng.range(0, 9) < 3;
    s.maskWidth = rng.range(1, s.width + 8);
    s.maskHeight = rng.range(1, s.height + 6);
    s.maskOrder = rng.range(0, 1);
    s.maskAlign = pick(rng, {4, 8, 16, 32});
    s.maskHasRoi = rng.range(0, 1) == 1;
    if (s.maskHasRoi) s.maskRoi = randomRoi(rng, s.maskWidth, s.maskHeight);
}

// Channel layouts that process n channels: form 0 n channels, form 1 n and an
// alpha channel, form 2 (n = 1) one channel of interest.
void randomChannels(Rng& rng, int32_t depth, int32_t n, int32_t form, OperandSpec& s) {
    const bool bits = depth == ZAR_DEPTH_1U, anyCoi = !bits && form == 2 && n == 1;
    s.nChannels = bits ? 1 : anyCoi ? rng.range(1, 4) : form >= 1 ? n + 1 : n;
    const int32_t alpha = anyCoi ? rng.range(0, 1) * s.nChannels : n + 1;
    s.alphaChannel = bits || form == 0 ? 0 : alpha;
    s.roi.coi = bits ? form == 2 : anyCoi ? rng.range(1, s.nChannels) : 0;
}

namespace {

// Operands made from specs, all plain when plain is set; an operand is another
// one (sameAs) or carries another one's mask (maskFrom) as its spec says.
struct Made {
    std::vector<std::unique_ptr<Operand>> owned;
    std::vector<Operand*> at;
    std::vector<ImageHeader*> headers;
};
Made makeOperands(const std::vector<OperandSpec>& specs, uint32_t seed, bool plain) {
    Made m;
    for (size_t k = 0; k < specs.size(); ++k) {
        OperandSpec s = specs[k];
        s.tiled = s.tiled && !plain;
        if (s.sameAs < 0) m.owned.push_back(std::make_unique<Operand>(s, seed + 7 * k));
        m.at.push_back(s.sameAs < 0 ? m.owned.back().get() : m.at[s.sameAs]);
        if (s.maskFrom >= 0) m.at[k]->header()->maskImage = m.at[s.maskFrom]->mask();
        m.headers.push_back(m.at[k]->header());
    }
    return m;
}

std::string runOnce(const std::vector<OperandSpec>& specs, uint32_t seed, const Operation& op,
                    const Reference& reference) {
    // The reference reads plain operands, the run has them as the specs say.
    const Made flat = makeOperands(specs, seed, true), real = makeOperands(specs, seed, false);
    // The expected image describes the destination's region: its roi and mask.
    const ImageHeader* destination = flat.headers.back();
    Image expected = copyImage(destination);
    if (const Roi* roi = destination->roi) expected.setRoi(*roi);
    expected->maskImage = destination->maskImage;
    reference(flat.headers, specs, expected);
    expected->maskImage = nullptr;
    std::vector<ImageHeader> before;
    for (const ImageHeader* h : real.headers) before.push_back(*h);
    ErrorRecorder recorder;
    op(real.headers);
    if (!recorder.reports().empty()) return "unexpected report " + recorder.reports()[0].context;
    std::string fault;
    for (size_t k = 0; k < specs.size() && fault.empty(); ++k) {
        const ImageHeader* h = real.headers[k];
        const Operand *was = flat.at[k], *is = real.at[k];
        const std::string which = "operand " + std::to_string(k) + ": ";
        if (is->store() && !is->store()->balanced()) return which + "a tile kept";
        if (h->maskImage != before[k].maskImage || h->roi != before[k].roi ||
            h->depth != before[k].depth)
            return which + "header not restored";
        if (is->mask()) fault = compareImages(was->mask(), is->mask());
        if (is->mask() && is->mask()->maskImage) fault = "the mask got a mask";
        if (fault.empty() && is != real.at.back())
            fault = compareImages(was->plain(), is->snapshot());
        if (!fault.empty()) fault = which + fault;
    }
    return fault.empty() ? compareImages(expected, real.at.back()->snapshot()) : fault;
}

// The specs in a line, for failure messages.
std::string describe(const std::vector<OperandSpec>& specs) {
    std::ostringstream out;
    for (const OperandSpec& s : specs)
        out << " {" << s.nChannels << "ch a" << s.alphaChannel << " d" << std::hex << s.depth
            << std::dec << " o" << s.dataOrder << " " << s.width << "x" << s.height
            << (s.hasRoi ? " roi" : "") << (s.tiled ? " tiled" : "") << (s.hasMask ? " mask" : "")
            << (s.sameAs >= 0 || s.maskFrom >= 0 ? " shared" : "") << "}";
    return out.str();
}

}  // namespace

std::string runEverywhere(const std::vector<OperandSpec>& specs, uint32_t seed, const Operation& op,
                          const Reference& reference) {
    for (const char* run : {"as given", "plain", "tiled"}) {
        std::vector<OperandSpec> made = specs;
        for (OperandSpec& s : made) s.tiled = run[0] == 'a' ? s.tiled : run[0] == 't';
        const std::string fault = runOnce(made, seed, op, reference);
        if (!fault.empty())
            return run + describe(made) + " seed " + std::to_string(seed) + ": " + fault;
    }
    return {};
}

void expectRefusal(const std::vector<OperandSpec>& specs, size_t k, int32_t column, int32_t row,
                   const Operation& op, const std::string& func, const std::string& file,
                   const Want& want) {
    const Made made = makeOperands(specs, 0, false);
    made.at[k]->store()->refuse(column, row);
    ErrorRecorder recorder;
    op(made.headers);
    expectReports(recorder, func, file, {want});
    for (const auto& operand : made.owned)
        EXPECT_TRUE(!operand->store() || operand->store()->balanced()) << want.context;
}

// ------------------------------------------------------------- scenarios

// An image (tiled with tiles tileWidth x 8 when tileWidth > 0), with a mask of
// 16 x 12 whose region is at (maskX, 1) when maskX is not negative.
ImageHeader* Scenario::add(int32_t channels, int32_t depth, int32_t order, int32_t width,
                           int32_t height, int32_t tileWidth, int32_t maskX) {
    OperandSpec s{channels, 0, depth, order, width, height};
    s.tiled = tileWidth > 0;
    s.tileWidth = tileWidth;
    s.hasMask = s.maskHasRoi = maskX >= 0;
    s.maskWidth = 16;
    s.maskHeight = 12;
    s.maskRoi = {0, maskX, 1, 14, 10};
    images_.push_back(std::make_unique<Operand>(s, static_cast<uint32_t>(images_.size() + 1)));
    return images_.back()->header();
}

Scenario::Scenario(int32_t index) {
    Operands& o = operands;
    if (index == 0) {
        o.src = add(3, ZAR_DEPTH_8U, 0, 9, 7);
        o.src2 = add(3, ZAR_DEPTH_8U, 0, 9, 7);
        o.dst = add(3, ZAR_DEPTH_8U, 0, 6, 5);
    } else if (index <= 2) {
        const int32_t depth = index == 1 ? ZAR_DEPTH_8U : ZAR_DEPTH_1U;
        o.src = add(1, depth, 0, 17, 12, 0, 0);
        o.src2 = add(1, depth, 0, 17, 12, 0, 1);
        o.dst = add(1, depth, 0, 17, 12, 0, 2);
    } else if (index == 3) {
        o.src = add(2, ZAR_DEPTH_16U, 1, 20, 12, 8);
        o.src2 = add(2, ZAR_DEPTH_16U, 1, 20, 12);
        o.dst = add(2, ZAR_DEPTH_16U, 1, 20, 12, 16);
    } else if (index == 4) {
        o.src = o.src2 = o.dst = add(1, ZAR_DEPTH_8U, 0, 20, 12, 8);
    } else {
        o.src = o.src2 = add(1, ZAR_DEPTH_32F, 0, 9, 7);
        o.dst = add(1, ZAR_DEPTH_32F, 0, 9, 7);
    }
    o.xMap = add(1, ZAR_DEPTH_32F, 0, 6, 5);
    o.yMap = add(1, ZAR_DEPTH_32F, 0, 6, 5);
    forEachSample(o.xMap, [&](int32_t x, int32_t y, int32_t) {
        setSample(o.xMap, x, y, 0, x * 1.25 + 0.5);
        setSample(o.yMap, x, y, 0, y * 1.25);
    });
    o.block = &rle_;
    o.blockSize = sizeof(rle_);
}

Scenario::~Scenario() {
    if (operands.made) zarDeallocate(operands.made, ZAR_FREE_ALL);
}

std::vector<uint8_t> Scenario::snapshot() const {
    std::vector<uint8_t> bytes;
    auto append = [&](const ImageHeader* image) {
        if (image) bytes.insert(bytes.end(), image->imageData, image->imageData + image->imageSize);
    };
    for (const auto& image : images_) {
        append(image->snapshot());
        append(image->mask());
    }
    // What a call made: its samples (row padding and the pixels of a clone of
    // a tiled image have no defined values).
    if (const ImageHeader* made = operands.made) {
        bytes.push_back(static_cast<uint8_t>(made->nChannels));
        const bool defined = made->imageData && !operands.src->tileInfo;
        if (defined)
            forEachSample(made, [&](int32_t x, int32_t y, int32_t c) {
                bytes.push_back(static_cast<uint8_t>(getSample(made, x, y, c)));
            });
    }
    return bytes;
}

}  // namespace zt
