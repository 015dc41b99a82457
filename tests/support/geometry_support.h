// Test helpers of the geometric transforms and the neighbourhood filters:
// regions, filling and reading rows, the loop over instruction-set levels and
// random cases.
#pragma once

#include <functional>
#include <string>

#include "scenario.h"
#include "zar_test.h"

namespace gt {

// What an operation processes of an image: its roi clipped to the image (the
// whole image without one), cut to the size of its mask's region when masked,
// and its channels (the channel of interest, else all but alpha), 0-based.
struct Region {
    int32_t x, y, width, height, firstChannel, channels;
};
Region regionOf(const ImageHeader* image);

// Whether the image's mask (none: every position) allows region position (i, j).
bool maskAllows(const ImageHeader* image, int32_t i, int32_t j);

using Pixel = std::function<double(int32_t x, int32_t y)>;

// A one-channel plain image of the given depth filled with pixel(x, y).
zt::Image filled(int32_t depth, int32_t width, int32_t height, Pixel pixel);

// The values of channel 0 along row y, space-separated.
std::string rowText(const ImageHeader* image, int32_t y);

// The values of channel 0 in the w x h region at (x, y), rows separated by " / ".
std::string regionText(const ImageHeader* image, int32_t x, int32_t y, int32_t w, int32_t h);

// A random format of the geometric transforms: 1, 8 or 16 bits, either data
// order (1-bit: pixel order), one to four channels, now and then the last
// alpha (the only channel of some plane-order images).
zt::OperandSpec randomFormat(zt::Rng& rng);

// Runs run(level) with the instruction-set level capped to each level the
// processor has, from plain up, then lifts the cap.
void atEveryIsaLevel(const std::function<void(int32_t level)>& run);

// Random regions (now and then one channel of interest on every side with
// the first side's channels), alignments, tiles and, with masks, pixel-order
// masks for the sides of a transform.
void randomSides(zt::Rng& rng, std::initializer_list<zt::OperandSpec*> sides, bool masks);

// One random case: the operands, the operation, its naive reference and what
// a failure message names.
struct RandomCase {
    std::vector<zt::OperandSpec> specs;
    zt::Operation op;
    zt::Reference reference;
    std::string what;
};

// count cases from make(rng, n) at every instruction-set level, each run as
// made, plain and tiled against its reference (runEverywhere).
void randomCases(uint64_t seed, int32_t count,
                 const std::function<RandomCase(zt::Rng&, int32_t)>& make);

}  // namespace gt
