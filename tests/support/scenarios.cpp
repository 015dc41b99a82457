#include "scenarios.h"

namespace zt {

ImageHeader* Scenario::image(int32_t channels, int32_t depth, int32_t order, int32_t w, int32_t h) {
    plain_.emplace_back(channels, 0, depth, order, w, h);
    plain_.back().randomize(static_cast<uint32_t>(plain_.size()));
    return plain_.back();
}

ImageHeader* Scenario::tiles(int32_t channels, int32_t depth, int32_t order, int32_t tw,
                             int32_t th) {
    tiled_.push_back(std::make_unique<TileStore>(channels, 0, depth, order, 20, 12, tw, th));
    tiled_.back()->loadFrom(image(channels, depth, order, 20, 12));
    return *tiled_.back();
}

// A mask of the owner's own (its Image frees it), its region at (x, 1).
void Scenario::mask(ImageHeader* owner, int32_t x) {
    Image m(1, 0, ZAR_DEPTH_1U, 0, 16, 12);
    m.randomize(static_cast<uint32_t>(x + 7));
    m.setRoi(0, x, 1, 14, 10);
    owner->maskImage = zarCloneImage(m);
}

Scenario::Scenario(int32_t index) {
    Operands& o = operands;
    if (index == 0) {
        o.src = image(3, ZAR_DEPTH_8U, 0, 9, 7);
        o.src2 = image(3, ZAR_DEPTH_8U, 0, 9, 7);
        o.dst = image(3, ZAR_DEPTH_8U, 0, 6, 5);
    } else if (index <= 2) {
        for (ImageHeader** at : {&o.src, &o.src2, &o.dst}) {
            *at = image(1, index == 1 ? ZAR_DEPTH_8U : ZAR_DEPTH_1U, 0, 17, 12);
            mask(*at, static_cast<int32_t>(at - &o.src));
        }
    } else if (index == 3) {
        o.src = tiles(2, ZAR_DEPTH_16U, 1, 8, 8);
        o.src2 = image(2, ZAR_DEPTH_16U, 1, 20, 12);
        o.dst = tiles(2, ZAR_DEPTH_16U, 1, 16, 8);
    } else if (index == 4) {
        o.src = o.src2 = o.dst = tiles(1, ZAR_DEPTH_8U, 0, 8, 8);
    } else {
        o.src = o.src2 = image(1, ZAR_DEPTH_32F, 0, 9, 7);
        o.dst = image(1, ZAR_DEPTH_32F, 0, 9, 7);
    }
    o.xMap = image(1, ZAR_DEPTH_32F, 0, 6, 5);
    o.yMap = image(1, ZAR_DEPTH_32F, 0, 6, 5);
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
    auto add = [&](const ImageHeader* image) {
        if (image && image->imageData)
            bytes.insert(bytes.end(), image->imageData, image->imageData + image->imageSize);
    };
    for (const Image& image : plain_) add(image);
    for (const auto& store : tiled_) {
        const ImageHeader* t = store->image();
        Image copy(t->nChannels, 0, t->depth, t->dataOrder, t->width, t->height);
        store->storeTo(copy);
        add(copy);
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
