// Row kernels that copy elements by a table of offsets: the nearest-neighbour
// rows of the zoom engine and the decimation (unmasked, packed destination).
#pragma once

#include <cstdint>

#include "frame/cpu.h"
#include "geometry/columnGroups.h"

// dst[e] = src[elemOff[e]] for count elements of the depth; groups (grouped
// with no second tap, byte lanes not needed) serve the vector forms.
using GatherRowFn = void (*)(const char* srcRow, char* dstRow, const int32_t* elemOff,
                             const ColumnGroup* groups, int32_t count);
struct GatherEntry {
    int32_t depth;
    Variants<GatherRowFn> variants;
};
extern const GatherEntry kGatherRows[2];

// The kernel for a depth (8U, 16U) when a vector form runs at the level,
// else null (the callers' own loops are then as fast as the plain kernel).
GatherRowFn gatherRowFor(int32_t depth, IsaLevel level);

template <typename T>
void gatherRowAvx512(const char* srcRow, char* dstRow, const int32_t* elemOff,
                     const ColumnGroup* groups, int32_t count);
