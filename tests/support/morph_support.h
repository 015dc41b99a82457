// Naive references for the morphology tests, written from the rules.
#pragma once

#include <cstdint>
#include <vector>

#include "zar.h"

namespace mt {

// Every channel value of a plain image, channel by channel, row by row.
std::vector<double> allSamples(const ImageHeader* plain);
size_t sampleIndex(const ImageHeader* plain, int32_t x, int32_t y, int32_t channel);

// What a plain destination holds after zarDilate (dilate) or zarErode with
// nIterations = n, computed per pixel over the square from the rules.
std::vector<double> referenceMorph(const ImageHeader* src, const ImageHeader* dst, int64_t n,
                                   bool dilate);

}  // namespace mt
