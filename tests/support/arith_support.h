// Test support for the arithmetic and logic operations: operands that are
// plain or tiled images with a roi and a mask, snapshots of their pixels, and
// a naive per-pixel reference of Add, Or, And and XorS.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "support/scenario.h"
#include "support/zar_test.h"
#include "zar.h"

namespace zt {

enum class RefOp { add, logicalOr, logicalAnd, xorS };

// Applies op the slow way, pixel by pixel, from the rules: the common size of
// the clipped regions (and of the masks' regions), the processed channels of
// each operand, the mask bits of every mask, saturation per depth (32F
// unclamped), bit operations on the samples' bit patterns.  expected starts as
// the destination's pixels and receives the result.  srcB is ignored for xorS.
void referenceOp(RefOp op, const RefView& srcA, const RefView& srcB, const RefView& dst,
                 int32_t value, ImageHeader* expected);

// Runs op on the operands' headers (b is ignored for xorS; the same operand
// may be given twice for in-place use), in return mode.  Empty when no report
// arrived, every tile handed out was released and every destination pixel
// equals referenceOp's; else a description of the first fault.
std::string runAgainstReference(RefOp op, const Operand& a, const Operand& b, const Operand& d,
                                int32_t value = 0);

// One randomized case of op from seed: random depth, data orders, channel
// layouts (channel of interest, alpha), sizes, regions reaching past the
// edges, masks on any operand, tiled operands and in-place use.  Runs the
// operation, compares every destination pixel with referenceOp and checks
// that every tile handed out was released.  Empty on success, else a
// description of the case and of the first difference.
std::string runRandomCase(RefOp op, uint64_t seed);

}  // namespace zt
