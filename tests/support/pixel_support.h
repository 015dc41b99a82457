// Test support for Set, SetFP, Copy and PutPixel: naive per-pixel references
// written from the rules, and randomized cases over every layout.
#pragma once

#include <cstdint>
#include <string>

#include "support/arith_support.h"
#include "support/zar_test.h"

namespace zt {

// The fill value as the depth stores it: saturated to the integer range (the
// float itself for 32F).
double saturatedSample(int32_t depth, double value);

// Fills, the slow way, the processed channels of every pixel of the region
// (clipped to the image, limited by the mask's clipped region, under its 1
// bits) of expected, which starts as the destination's pixels.
void referenceSet(const RefView& dst, double value, ImageHeader* expected);

// Copies, the slow way, the processed channels of the common region of source,
// destination and masks (each mask's region read from its own offset; a pixel
// is copied when every given mask has a 1) into expected.
void referenceCopy(const RefView& src, const RefView& dst, ImageHeader* expected);

// One randomized Set (SetFP for 32F) from seed: depth, data order, channel of
// interest, alpha, region past the edges, mask, tiles, value out of range.
// Empty on success, else the case and the first difference.
std::string runRandomSet(uint64_t seed);

// One randomized Copy from seed: both images' layouts, regions, masks on
// either, both (the same or different), tiles on either or both, 1-bit bit
// offsets.  Empty on success, else the case and the first difference.
std::string runRandomCopy(uint64_t seed);

}  // namespace zt
