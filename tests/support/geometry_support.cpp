#include "geometry_support.h"

namespace gt {

::testing::AssertionResult samePixels(const ImageHeader* expected, const ImageHeader* actual) {
    if (expected->width != actual->width || expected->height != actual->height ||
        expected->nChannels != actual->nChannels)
        return ::testing::AssertionFailure() << "different image formats";
    for (int32_t c = 0; c < expected->nChannels; ++c)
        for (int32_t y = 0; y < expected->height; ++y)
            for (int32_t x = 0; x < expected->width; ++x) {
                const double e = zt::getSample(expected, x, y, c);
                const double a = zt::getSample(actual, x, y, c);
                if (e != a)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") channel " << c << ": expected " << e
                           << ", got " << a;
            }
    return ::testing::AssertionSuccess();
}

zt::Image copyOf(const ImageHeader* plain) {
    zt::Image copy(zarCloneImage(plain));
    return copy;
}

Twin::Twin(ImageHeader* plain, bool tiled, int32_t tileWidth, int32_t tileHeight)
    : plain_(plain), tiled_(tiled) {
    if (!tiled) return;
    store_ = std::make_unique<zt::TileStore>(plain->nChannels, plain->alphaChannel, plain->depth,
                                             plain->dataOrder, plain->width, plain->height,
                                             tileWidth, tileHeight, plain->align);
    store_->loadFrom(plain);
    if (plain->roi) {
        roi_ = *plain->roi;
        store_->image()->roi = &roi_;
    }
}

Twin::~Twin() {
    if (store_) store_->image()->roi = nullptr;
}

ImageHeader* Twin::pixels() {
    if (tiled_) store_->storeTo(plain_);
    return plain_;
}

std::vector<int32_t> rowValues(const ImageHeader* image, int32_t y, int32_t channel) {
    std::vector<int32_t> values;
    for (int32_t x = 0; x < image->width; ++x)
        values.push_back(static_cast<int32_t>(zt::getSample(image, x, y, channel)));
    return values;
}

}  // namespace gt
