#include "support/scenarios.h"

namespace zt {

// An image (tiled with tiles tileWidth x 8 when tileWidth > 0), with a mask of
// 16 x 12 whose region is at (maskX, 1) when maskX is not negative.
ImageHeader* Scenario::add(int32_t channels, int32_t depth, int32_t order, int32_t width,
                           int32_t height, int32_t tileWidth, int32_t maskX) {
    OperandSpec s;
    s.nChannels = channels;
    s.depth = depth;
    s.dataOrder = order;
    s.width = width;
    s.height = height;
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
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            setSample(o.xMap, x, y, 0, x * 1.25 + 0.5);
            setSample(o.yMap, x, y, 0, y * 1.25);
        }
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
        for (int32_t c = 0; c < made->nChannels && defined; ++c)
            for (int32_t y = 0; y < made->height; ++y)
                for (int32_t x = 0; x < made->width; ++x)
                    bytes.push_back(static_cast<uint8_t>(getSample(made, x, y, c)));
    }
    return bytes;
}

}  // namespace zt
