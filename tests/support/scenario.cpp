#include "support/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <utility>

namespace zt {

// ----------------------------------------------------------------- operands

Operand::Operand(const OperandSpec& s, uint32_t seed) : spec_(s) {
    plain_ = Image(s.nChannels, s.alphaChannel, s.depth, s.dataOrder, s.width, s.height, s.align);
    plain_.randomize(seed);
    if (s.smallValues && s.depth == ZAR_DEPTH_32S)
        for (int32_t c = 0; c < s.nChannels; ++c)
            for (int32_t y = 0; y < s.height; ++y)
                for (int32_t x = 0; x < s.width; ++x)
                    setSample(plain_, x, y, c, std::floor(getSample(plain_, x, y, c) / 65536.0));
    Rng positions(seed);
    for (int32_t y = 0; y < s.height && s.positionSpan > 0; ++y)
        for (int32_t x = 0; x < s.width; ++x) {
            const int32_t kind = positions.range(0, 5), whole = positions.range(-1, s.positionSpan);
            setSample(plain_, x, y, 0,
                      kind < 2 ? whole + 0.5 * kind
                               : positions.range(-2000, 1000 * s.positionSpan + 1000) / 1000.0);
        }
    if (s.hasMask) {
        mask_ = Image(1, 0, ZAR_DEPTH_1U, s.maskOrder, s.maskWidth, s.maskHeight, s.maskAlign);
        mask_.randomize(seed * 7u + 3u);
        // Every other mask in whole bytes of set or clear bits: long runs of either.
        for (int32_t k = 0; k < mask_->imageSize && seed % 2; ++k)
            mask_->imageData[k] = static_cast<char>(mask_->imageData[k] & 1 ? 0xFF : 0);
        if (s.maskHasRoi)
            mask_.setRoi(s.maskRoi.coi, s.maskRoi.xOffset, s.maskRoi.yOffset, s.maskRoi.width,
                         s.maskRoi.height);
    }
    if (s.tiled) {
        store_ = std::make_unique<TileStore>(s.nChannels, s.alphaChannel, s.depth, s.dataOrder,
                                             s.width, s.height, s.tileWidth, s.tileHeight, s.align);
        store_->fillBytes(0xA5);
        store_->loadFrom(plain_);
        roi_ = s.roi;
        store_->image()->roi = s.hasRoi ? &roi_ : nullptr;
        store_->image()->maskImage = mask_.get();
    } else {
        if (s.hasRoi)
            plain_.setRoi(s.roi.coi, s.roi.xOffset, s.roi.yOffset, s.roi.width, s.roi.height);
        plain_->maskImage = mask_.get();
    }
    for (int side = 0; side < 4; ++side) {
        header()->borderModes[side] = s.borderModes[side];
        header()->borderValues[side] = s.borderValues[side];
    }
}

Operand::~Operand() {
    // The mask belongs to mask_, not to the image that carries it.
    if (plain_.get()) plain_->maskImage = nullptr;
}

ImageHeader* Operand::header() const { return store_ ? store_->image() : plain_.get(); }

Image Operand::snapshot() const {
    Image copy = copyImage(plain_.get());
    if (store_) store_->storeTo(copy);
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
    for (int32_t c = 0; c < expected->nChannels; ++c)
        for (int32_t y = 0; y < expected->height; ++y)
            for (int32_t x = 0; x < expected->width; ++x) {
                const double e = getSample(expected, x, y, c);
                const double a = getSample(actual, x, y, c);
                if (e != a) {
                    std::ostringstream out;
                    out << "pixel (" << x << ", " << y << ") channel " << c << ": expected " << e
                        << ", got " << a;
                    return out.str();
                }
            }
    return {};
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

std::string runOnce(const std::vector<OperandSpec>& specs, uint32_t seed, const Operation& op,
                    const Reference& reference) {
    std::vector<std::unique_ptr<Operand>> owned;
    std::vector<Operand*> flat, real;  // the reference's plain operands, the run's
    std::vector<ImageHeader*> plain, headers;
    for (size_t k = 0; k < specs.size(); ++k) {
        const OperandSpec& s = specs[k];
        if (s.sameAs >= 0) {
            flat.push_back(flat[s.sameAs]);
            real.push_back(real[s.sameAs]);
        } else {
            OperandSpec f = s;
            f.tiled = false;
            for (const OperandSpec* made : {&std::as_const(f), &s}) {
                owned.push_back(std::make_unique<Operand>(*made, seed + 7 * k));
                (made == &f ? flat : real).push_back(owned.back().get());
            }
        }
        if (s.maskFrom >= 0) {
            flat[k]->header()->maskImage = flat[s.maskFrom]->mask();
            real[k]->header()->maskImage = real[s.maskFrom]->mask();
        }
        plain.push_back(flat[k]->header());
        headers.push_back(real[k]->header());
    }
    // The expected image describes the destination's region: its roi and mask.
    Image expected = copyImage(plain.back());
    if (const Roi* roi = plain.back()->roi)
        expected.setRoi(roi->coi, roi->xOffset, roi->yOffset, roi->width, roi->height);
    expected->maskImage = plain.back()->maskImage;
    reference(plain, specs, expected);
    expected->maskImage = nullptr;
    std::vector<ImageHeader> before;
    for (const ImageHeader* h : headers) before.push_back(*h);
    ErrorRecorder recorder;
    op(headers);
    if (!recorder.reports().empty()) return "unexpected report " + recorder.reports()[0].context;
    std::string fault;
    for (size_t k = 0; k < specs.size() && fault.empty(); ++k) {
        const ImageHeader* h = headers[k];
        const std::string which = "operand " + std::to_string(k) + ": ";
        if (real[k]->store() && !real[k]->store()->balanced()) return which + "a tile kept";
        if (h->maskImage != before[k].maskImage || h->roi != before[k].roi ||
            h->depth != before[k].depth)
            return which + "header not restored";
        if (real[k]->mask()) fault = compareImages(flat[k]->mask(), real[k]->mask());
        if (real[k]->mask() && real[k]->mask()->maskImage) fault = "the mask got a mask";
        if (fault.empty() && real[k] != real.back())
            fault = compareImages(flat[k]->plain(), real[k]->snapshot());
        if (!fault.empty()) fault = which + fault;
    }
    return fault.empty() ? compareImages(expected, real.back()->snapshot()) : fault;
}

}  // namespace

std::string describe(const std::vector<OperandSpec>& specs) {
    std::ostringstream out;
    for (const OperandSpec& s : specs) {
        out << " {" << s.nChannels << "ch a" << s.alphaChannel << " d" << std::hex << s.depth
            << std::dec << " o" << s.dataOrder << " " << s.width << "x" << s.height;
        if (s.hasRoi)
            out << " roi " << s.roi.coi << ":" << s.roi.xOffset << "," << s.roi.yOffset << " "
                << s.roi.width << "x" << s.roi.height;
        if (s.tiled) out << " tiles " << s.tileWidth << "x" << s.tileHeight;
        if (s.hasMask) out << " mask " << s.maskWidth << "x" << s.maskHeight;
        if (s.sameAs >= 0 || s.maskFrom >= 0) out << " same " << s.sameAs << " mask " << s.maskFrom;
        out << "}";
    }
    return out.str();
}

std::string runEverywhere(const std::vector<OperandSpec>& specs, uint32_t seed, const Operation& op,
                          const Reference& reference) {
    std::vector<OperandSpec> plain = specs, tiled = specs;
    for (OperandSpec& s : plain) s.tiled = false;
    for (OperandSpec& s : tiled) s.tiled = true;
    const std::vector<OperandSpec>* runs[] = {&specs, &plain, &tiled};
    const char* names[] = {"as given", "plain", "tiled"};
    for (int i = 0; i < 3; ++i) {
        const std::string fault = runOnce(*runs[i], seed, op, reference);
        if (!fault.empty())
            return std::string(names[i]) + describe(*runs[i]) + " seed " + std::to_string(seed) +
                   ": " + fault;
    }
    return {};
}

void expectRefusal(const std::vector<OperandSpec>& specs, size_t k, int32_t column, int32_t row,
                   const Operation& op, const std::string& func, const std::string& file,
                   const Want& want) {
    std::vector<std::unique_ptr<Operand>> operands;
    std::vector<ImageHeader*> headers;
    for (size_t i = 0; i < specs.size(); ++i) {
        operands.push_back(std::make_unique<Operand>(specs[i], static_cast<uint32_t>(i)));
        headers.push_back(operands.back()->header());
    }
    operands[k]->store()->refuse(column, row);
    ErrorRecorder recorder;
    op(headers);
    expectReports(recorder, func, file, {want});
    for (const auto& operand : operands)
        if (operand->store()) {
            EXPECT_TRUE(operand->store()->balanced()) << want.context;
        }
}

}  // namespace zt
