// zarDilate and zarErode: the argument checks and the entry points; the
// engine is in morphFilter.cpp, the row kernels in morphKernels*.cpp.
#include <algorithm>

#include "image/image.h"
#include "morph/morph.h"

namespace {

constexpr const char* kFile = "ownMorph";

// Channels an operation processes: the channel of interest alone, else all
// channels but an alpha channel.
int32_t processedChannelCount(const ImageHeader* image) {
    if (image->roi && image->roi->coi != 0) return 1;
    return image->nChannels - (image->alphaChannel != 0 ? 1 : 0);
}

}  // namespace

ZarStatus checkMorphArgs(const char* funcName, const ImageHeader* srcImage,
                         const ImageHeader* dstImage, int32_t nIterations) {
    auto fail = [&](ZarStatus status, const char* context, int32_t line) {
        zarReportError(status, funcName, context, kFile, line);
        return STATUS_BAD_ARG;
    };
    if (validateHeader(srcImage) != 0) return fail(zarGetStatus(), "Incorrect Image", 85);
    if (validateHeader(dstImage) != 0) return fail(zarGetStatus(), "Incorrect Image", 86);
    if (nIterations < 1) return fail(STATUS_BAD_ARG, "Illegal number of of iterations", 89);
    const int32_t depth = srcImage->depth;
    if (depth != ZAR_DEPTH_1U && depth != ZAR_DEPTH_8U && depth != ZAR_DEPTH_16U)
        return fail(STATUS_BAD_ARG, "Illegal image depth", 94);
    if (depth != dstImage->depth)
        return fail(STATUS_BAD_ARG, "SRC and DST depth are different", 101);
    if (srcImage->dataOrder != dstImage->dataOrder)
        return fail(STATUS_BAD_ARG, "SRC and DST order are different", 106);
    if (srcImage->origin != dstImage->origin)
        return fail(STATUS_BAD_ARG, "SRC and DST orign are different", 111);
    if (processedChannelCount(srcImage) != processedChannelCount(dstImage))
        return fail(STATUS_BAD_ARG, "SRC and DST number of channels are different", 136);
    return zarGetStatus();
}

namespace {

void ownMorph(const char* funcName, ImageHeader* srcImage, ImageHeader* dstImage,
              int32_t nIterations, MorphOp op) {
    zarSetStatus(STATUS_OK);
    if (checkMorphArgs(funcName, srcImage, dstImage, nIterations) != STATUS_OK) return;
    ImageHeader src = *srcImage, dst = *dstImage;
    bool outOfMemory = false;
    if (prepareMorphRegions(&src, &dst, &outOfMemory) != STATUS_OK) {
        if (outOfMemory)
            zarReportError(STATUS_NO_MEMORY, funcName, "Out of memory", kFile, __LINE__);
        return;
    }
    MorphResult result = MorphResult::Done;
    const int32_t w = src.roi->width, h = src.roi->height;
    if (w >= 1 && h >= 1) {
        // The window sees the region and its one-pixel frame; beyond the frame
        // it sees frame pixels again.  From every pixel of a region w wide, a
        // half side of w already reaches both frame columns, so any larger
        // half side gives the same extreme: each side is cut on its own (a
        // 1 x N region no longer pays for an N x N window), which bounds the
        // ring and the work by the region's size.  A side past the int32
        // range is left to the ring's size check: no such ring can be held.
        auto side = [&](int32_t extent) {
            return static_cast<int32_t>(
                std::min<int64_t>(2 * int64_t{std::min(nIterations, extent)} + 1, INT32_MAX));
        };
        result = morphFilter(&src, &dst, side(w), side(h), op, srcImage, dstImage);
    }
    releaseWorkingRecords(&src, &dst);
    if (result == MorphResult::TileReadRefused)
        zarReportError(STATUS_ERROR, funcName, "Error get tile to read", kFile, __LINE__);
    else if (result == MorphResult::TileWriteRefused)
        zarReportError(STATUS_ERROR, funcName, "Error get tile to write", kFile, __LINE__);
}

}  // namespace

extern "C" ZAR_API void ZAR_STDCALL zarDilate(ImageHeader* srcImage, ImageHeader* dstImage,
                                              int32_t nIterations) {
    ownMorph("zarDilate", srcImage, dstImage, nIterations, MorphOp::Dilate);
}

extern "C" ZAR_API void ZAR_STDCALL zarErode(ImageHeader* srcImage, ImageHeader* dstImage,
                                             int32_t nIterations) {
    ownMorph("zarErode", srcImage, dstImage, nIterations, MorphOp::Erode);
}
