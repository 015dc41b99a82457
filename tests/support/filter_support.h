// Test support of the neighbourhood filters: the naive references of the blur
// and the fixed filters, written from the rules.
#pragma once

#include <cstdint>
#include <vector>

#include "scenario.h"
#include "zar_test.h"

namespace ft {

inline constexpr int32_t kAllDepths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                                         ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};

// The sides of a random blur or fixed-filter case of about width x height
// (one side: in place): a random format (lanes: 3 to 6 interleaved channels of
// an integer depth past 1 bit, all processed), border modes (the high bit is
// ignored) and constants, regions (a third without) with a channel of interest
// on both sides or neither, masks and tiles; the destination up to two pixels
// larger, of either data order when 1-bit.
std::vector<zt::OperandSpec> randomSides(zt::Rng& rng, int32_t width, int32_t height, bool lanes,
                                         bool inPlace);

// Gives every side of an image the border mode and constant.
void setBorders(ImageHeader* image, int32_t mode, int32_t value);

// The blur of src into out (the destination's pixels, roi and mask) by the
// rules: every window summed directly from border-mapped samples, the integer
// part of the exact product with the single-precision reciprocal (rounded
// toward zero to single precision for 32F, compared with one half for 1-bit).
void referenceBlur(const ImageHeader* src, ImageHeader* out, int32_t nCols, int32_t nRows,
                   int32_t anchorX, int32_t anchorY);

// The same for a source whose four sides share one border mode and constant,
// from how often each window meets each image pixel: windows up to INT32_MAX.
void countedBlur(const ImageHeader* src, ImageHeader* out, int32_t nCols, int32_t nRows,
                 int32_t anchorX, int32_t anchorY);
// The fixed filter of src into out (the destination's pixels, roi and mask) by
// the rules of the filter and the depth, in the current rounding mode.
void referenceFixedFilter(const ImageHeader* src, ImageHeader* out, int32_t filter);

}  // namespace ft
