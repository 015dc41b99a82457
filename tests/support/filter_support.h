// Test support of the neighbourhood filters: the naive references of the blur
// and the fixed filters, written from the rules.
#pragma once

#include <cstdint>

#include "zar_test.h"

namespace ft {

inline constexpr int32_t kAllDepths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                                         ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};

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
// the rules of the filter and the depth.
void referenceFixedFilter(const ImageHeader* src, ImageHeader* out, int32_t filter);

}  // namespace ft
