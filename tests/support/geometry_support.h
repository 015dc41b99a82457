// Test helpers of the geometric transforms: image comparison and tiled twins
// of plain images.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "zar_test.h"

namespace gt {

// Every channel value of the two plain images (same size and format) is equal.
::testing::AssertionResult samePixels(const ImageHeader* expected, const ImageHeader* actual);

// A plain copy of a plain image: same format, roi and pixels.
zt::Image copyOf(const ImageHeader* plain);

// The same image either plain (the given one) or tiled: a tile store loaded
// with its pixels and carrying a copy of its roi.
class Twin {
  public:
    Twin(ImageHeader* plain, bool tiled, int32_t tileWidth = 8, int32_t tileHeight = 8);
    ~Twin();
    ImageHeader* image() const { return tiled_ ? store_->image() : plain_; }
    zt::TileStore* store() const { return store_.get(); }
    // The pixels as a plain image of the original's format (the original
    // itself when plain).
    ImageHeader* pixels();

  private:
    ImageHeader* plain_;
    bool tiled_;
    std::unique_ptr<zt::TileStore> store_;
    Roi roi_{};
};

// Sets every value of the plain image to f(x, y, channel).
template <class F>
void fill(ImageHeader* image, F f) {
    for (int32_t c = 0; c < image->nChannels; ++c)
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x) zt::setSample(image, x, y, c, f(x, y, c));
}

// Values of a given channel of a row, for compact expectations.
std::vector<int32_t> rowValues(const ImageHeader* image, int32_t y, int32_t channel = 0);

}  // namespace gt
