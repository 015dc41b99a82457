// Row kernels of the decimation: 8-bit rows halved both ways, where the
// rounded mean of a 2x2 box is (sum + 2) >> 2.
#pragma once

#include <cstdint>

#include "frame/cpu.h"

// lanes lanes (i, c) of C packed channels from columns 2i, 2i+1 of rows r0 and
// r1 (lanes a multiple of C).
using RowHalver = void (*)(const uint8_t* r0, const uint8_t* r1, uint8_t* out, int32_t lanes);
struct RowHalverEntry {
    int32_t channels;  // C: 1, 3 or 4
    Variants<RowHalver> variants;
};
extern const RowHalverEntry kRowHalvers[3];

// The halver for C channels at an instruction-set level; null for other C.
RowHalver rowHalverFor(int32_t channels, IsaLevel level);

void halveRowsSse41C1(const uint8_t* r0, const uint8_t* r1, uint8_t* out, int32_t lanes);
