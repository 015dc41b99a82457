// The kernels of zarRemap: one W x H region of 8-bit or 16-bit pixels sampled
// at positions read from two single-precision maps, in NN, LINEAR or CUBIC
// mode, pixel by pixel or plane by plane.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame/cpu.h"

// One kernel run over a W x H region.  Steps are in bytes.  The source start
// is the image's pixel (0, 0) in the first processed channel: positions are
// absolute image coordinates.
struct RemapJob {
    const char* src;
    const char* srcEnd;  // one past the last byte of the source's pixels
    intptr_t srcChannelStep, srcPixelStep, srcRowStep;
    char* dst;
    int32_t dstBit;
    intptr_t dstChannelStep, dstPixelStep, dstRowStep;
    const char* xMap;
    const char* yMap;
    intptr_t xMapStep, yMapStep;
    int32_t channels, width, height;
    int32_t srcWidth, srcHeight;  // the whole source image
    int32_t x1, y1;               // last column and row of the source region
    // The region's bounds as single-precision bit patterns read as signed
    // integers: ordering them orders non-negative floats, and negative values
    // (negative zero included) and NaNs fall outside.
    int32_t lowX, highX, lowY, highY;
};
using RemapKernel = void (*)(const RemapJob&);

inline int32_t floatBits(float value) {
    int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The table of the 8U and 16U kernels, indexed by (6 for 16U) + (3 for the
// plane layout) + mode.  The plain kernels round in the floating-point unit's
// current mode; the others give the same bits under the default mode only.
struct RemapEntry {
    int32_t depth;
    bool planes;
    int32_t mode;
    Variants<RemapKernel> variants;
};
extern const RemapEntry kRemapKernels[12];

// 1-bit images: nearest neighbour, bits most significant first.
void remapBits(const RemapJob& job);

// A job for the single pixel (c, r) of pass (plane) pass of job: what the
// vector kernels hand to the plain kernel.
RemapJob remapPixelJob(const RemapJob& job, bool planes, int32_t pass, int32_t c, int32_t r);

template <typename T, int32_t Mode, bool Planes>
void remapAvx512(const RemapJob& job);
