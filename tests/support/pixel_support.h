// The per-pixel operations Set, SetFP, Copy, Add, Or, And and XorS: one naive
// reference written from the rules, the calls themselves, and random operands.
#pragma once

#include <cstdint>
#include <vector>

#include "support/scenario.h"

namespace zt {

enum class PixelOp { set, copy, add, logicalOr, logicalAnd, xorS };

// One result sample: Set the value saturated to the depth (32F: the value), Copy
// a, Add a + b saturated (32F: the single-precision sum), Or and And the bit
// patterns of a and b combined, XorS a with value cut to the sample's width.
double pixelRule(PixelOp op, int32_t depth, double a, double b, double value);

// The operation on the headers, the last the destination: Set (SetFP for 32F)
// of value, Copy and XorS (value the constant) of the first, the others of the first two.
void callPixelOp(PixelOp op, const std::vector<ImageHeader*>& h, double value);

// runEverywhere of op with value against the naive reference, which applies
// op the slow way to the plain operands: over the smallest width and height
// of every operand's region and every mask's region (each clipped to its
// image), where every mask bit is 1, the processed channels of each operand
// in order.
std::string runPixelOp(PixelOp op, const std::vector<OperandSpec>& specs, uint32_t seed,
                       double value);

// Random operands of op: a depth it takes, one processed channel count (channel
// of interest, alpha), one data order (any for 1-bit), the same geometry now and
// then, regions past the edges, masks, tiles; now and then an alpha-only Set,
// a Copy sharing the source's mask, or a destination that is a source.
std::vector<OperandSpec> randomPixelOperands(PixelOp op, Rng& rng);

}  // namespace zt
