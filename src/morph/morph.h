// Morphology internals: dilation and erosion over (2n + 1) x (2n + 1) squares,
// computed as one separable pass over a ring of source rows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "morph/morphKernels.h"
#include "zar.h"

// Argument checks of zarDilate / zarErode; reports the first failure under
// funcName and returns STATUS_BAD_ARG, else the status word.
ZarStatus checkMorphArgs(const char* funcName, const ImageHeader* srcImage,
                         const ImageHeader* dstImage, int32_t nIterations);

// Gives the working copies src and dst rois of the common size and, when either
// image has a mask, dst a combined mask of dst's depth (all ones where both
// masks are set).  Returns the status word; *outOfMemory tells that a record or
// a mask image could not be allocated (the caller reports it).  On failure the
// working records are released again.
ZarStatus prepareMorphRegions(ImageHeader* src, ImageHeader* dst, bool* outOfMemory);
// Releases the working records prepareMorphRegions gave the copies.
void releaseWorkingRecords(ImageHeader* src, ImageHeader* dst);

enum class MorphResult { Done, NoMemory, TileReadRefused, TileWriteRefused };

// Runs the operation's kernel, kx wide and ky high, over the working regions of
// src into dst, channel by channel, honouring dst's combined mask.  A failed ring allocation
// records STATUS_NO_MEMORY and leaves dst unchanged.  Pixels are read from srcPixels and written to
// dstPixels when given: the caller's own headers, so that a tile callback sees the header the
// application passed, not a working copy.
MorphResult morphFilter(ImageHeader* src, ImageHeader* dst, int32_t kx, int32_t ky, MorphOp op,
                        ImageHeader* srcPixels = nullptr, ImageHeader* dstPixels = nullptr);
