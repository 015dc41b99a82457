// The decimation engine shared by zarDecimate's entry point: the job one
// kernel call runs, the kernels by depth and effective mode, and the walk over
// destination pieces (tiles) and source blocks (tiled sources).
#pragma once

#include <cstdint>

#include "zar.h"

// One kernel run: a destination piece and the source it samples.  Steps are
// in bytes; 1-bit images count x in bits from their bit offset.  Positions are
// measured in source pixels from the source region's top-left corner.
struct DecimateJob {
    char* dst;
    int32_t dstBit;
    intptr_t dstChannelStep, dstPixelStep, dstRowStep;
    const char* src;
    int32_t srcBit;
    intptr_t srcChannelStep, srcPixelStep, srcRowStep;
    int32_t channels, width, height;  // processed channels, piece size
    int32_t srcCols, srcRows;         // source pixels available to the image's edges
    float kx, ky;                     // source pixels per destination pixel
    bool xIntegral, yIntegral;        // the factor of that axis is a whole number
    bool planes;                      // plane-ordered images
};

// Kernels take the starting source positions of the piece's first column and
// row and leave in them the positions of the column and the row after the
// piece, so that the next piece continues the same sequence of additions.
// Positions accumulate in double precision by adding the single-precision
// factor, one addition per column (restarting at the first column on every
// row) and one per row.
// A kernel returns false when its scratch arrays could not be had.
using DecimateKernel = bool (*)(const DecimateJob&, double& x, double& y);

// The kernels of a depth (1U, 8U, 16U): NN, LINEAR and CUBIC in
// decimateSampling.cpp, SUPER in decimateSuper.cpp.
DecimateKernel samplingKernel(int32_t depth, int32_t mode);
DecimateKernel superKernel(int32_t depth);

// What a call fixes before the first pixel.
struct DecimateCall {
    int32_t width, height;      // destination pixels
    int32_t mode;               // effective mode
    int32_t channels;           // processed channels
    double xStart, yStart;      // starting positions
    float kx, ky;               // source pixels per destination pixel
    bool xIntegral, yIntegral;  // the factor of that axis is a whole number
};
enum class DecimateOutcome { Done, SourceRefused, DestinationRefused, NoMemory };

// Runs the kernels over the destination region, cut along the destination's
// tiles and the blocks of a tiled source (decimateWalk.cpp).
DecimateOutcome decimateRegion(ImageHeader* srcImage, ImageHeader* dstImage,
                               const DecimateCall& call);
