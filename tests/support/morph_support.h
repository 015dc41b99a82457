// The naive reference of the morphology, written from the rules.
#pragma once

#include <cstdint>

#include "zar.h"

namespace mt {

// Writes into the plain dst (roi and mask attached) what zarDilate (dilate) or
// zarErode with nIterations = n gives, per pixel over the square.
void referenceMorph(const ImageHeader* src, ImageHeader* dst, int64_t n, bool dilate);

}  // namespace mt
