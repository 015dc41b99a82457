// Decimation: shrinks the source region into the destination region by the
// rational factors xDst/xSrc and yDst/ySrc with nearest-neighbour, linear,
// cubic or area (super-sampling) interpolation.  This file holds the checks
// and the entry point; the kernels and the walk are in decimate*.cpp.
#include <algorithm>

#include "frame/frame.h"
#include "geometry/decimate.h"
#include "geometry/geometry.h"

namespace {

constexpr ReportSite kSite{"zarDecimate", "zardecim"};

// ------------------------------------------------------------------ checks

// The argument checks in their order; each failure is reported and the checks
// go on.  False when the operation must not go on.
bool checkArguments(const ImageHeader* src, const ImageHeader* dst, int32_t xDst, int32_t xSrc,
                    int32_t yDst, int32_t ySrc, int32_t interpolate) {
    if (ZarStatus s = validateHeader(src)) {
        report(kSite, s, "Incorrect Image", 72);
        return false;
    }
    if (ZarStatus s = validateHeader(dst)) {
        report(kSite, s, "Incorrect Image", 73);
        return false;
    }
    if (src == dst) report(kSite, STATUS_BAD_ARG, "srcImage == dstImage", 74);
    if (src->depth != dst->depth)
        report(kSite, STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 75);
    if (src->origin != dst->origin)
        report(kSite, STATUS_BAD_ARG, "srcImage->origin != dstImage->origin", 76);
    if (src->dataOrder != dst->dataOrder)
        report(kSite, STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 77);
    if (src->roi && src->roi->coi > 0 && dst->nChannels > 1) {
        if (dst->roi && dst->roi->coi == 0)
            report(kSite, STATUS_BAD_ARG, "srcImage->roi->coi > 0 && dstImage->roi->coi == 0", 80);
        else if (!dst->roi)
            report(kSite, STATUS_BAD_ARG, "srcImage->roi->coi > 0 && dstImage->roi == ((void *)0)",
                   83);
    }
    if (dst->roi && dst->roi->coi > 0 && src->nChannels > 1) {
        if (src->roi && src->roi->coi == 0)
            report(kSite, STATUS_BAD_ARG, "dstImage->roi->coi > 0 && srcImage->roi->coi == 0", 88);
        else if (!src->roi)
            report(kSite, STATUS_BAD_ARG, "dstImage->roi->coi > 0 && srcImage->roi == ((void *)0)",
                   91);
    }
    if (interpolate < ZAR_INTER_NN || interpolate > ZAR_INTER_SUPER)
        report(kSite, STATUS_BAD_ARG,
               "interpolate != ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC or "
               "ZAR_INTER_SUPER",
               100);
    if (xDst < 1) report(kSite, STATUS_BAD_ARG, "xDst <= 0", 105);
    if (xSrc < 1) report(kSite, STATUS_BAD_ARG, "xSrc <= 0", 106);
    if (yDst < 1) report(kSite, STATUS_BAD_ARG, "yDst <= 0", 107);
    if (ySrc < 1) report(kSite, STATUS_BAD_ARG, "ySrc <= 0", 108);
    if (xDst > xSrc) report(kSite, STATUS_BAD_ARG, "xDst > xSrc", 110);
    if (yDst > ySrc) report(kSite, STATUS_BAD_ARG, "yDst > ySrc", 111);
    // The status word is not cleared on entry: an earlier failure stops us too.
    if (zarGetStatus() < 0) return false;
    // Only 1U, 8U and 16U have kernels; other depths touch no pixel.
    if (src->depth != ZAR_DEPTH_1U && src->depth != ZAR_DEPTH_8U && src->depth != ZAR_DEPTH_16U) {
        report(kSite, STATUS_BAD_ARG,
               "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && "
               "srcImage->depth != ZAR_DEPTH_16U",
               __LINE__);
        return false;
    }
    return true;
}

// The mode actually run, decided on the source image before any pixel is touched.
int32_t effectiveMode(const ImageHeader* src, int32_t xDst, int32_t xSrc, int32_t yDst,
                      int32_t ySrc, int32_t mode) {
    const bool xIntegral = xSrc % xDst == 0, yIntegral = ySrc % yDst == 0;
    const int32_t roiWidth = src->roi ? src->roi->width : src->width;
    const int32_t roiHeight = src->roi ? src->roi->height : src->height;
    if (src->width < 4 || src->height < 4) return ZAR_INTER_NN;
    if (mode != ZAR_INTER_SUPER && xIntegral && yIntegral) return ZAR_INTER_NN;
    if (int64_t{xDst} * roiWidth / xSrc == 0 || int64_t{yDst} * roiHeight / ySrc == 0)
        return ZAR_INTER_NN;
    // A tiled source is read in blocks no larger than a tile: a box wider or
    // higher than a tile is sampled instead.
    if (src->tileInfo && mode == ZAR_INTER_SUPER &&
        ((int64_t{xSrc} + xDst - 1) / xDst > src->tileInfo->width ||
         (int64_t{ySrc} + yDst - 1) / yDst > src->tileInfo->height))
        return ZAR_INTER_NN;
    return mode;
}

// Processed channels: the channel of interest alone, else all (an alpha
// channel counts as an ordinary one).
int32_t processedChannels(const ImageHeader* image) {
    return image->roi && image->roi->coi > 0 ? 1 : image->nChannels;
}

}  // namespace

void ZAR_STDCALL zarDecimate(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                             int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate) {
    if (!checkArguments(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate)) return;

    const Rect srcRect = getRoiRect(srcImage), dstRect = getRoiRect(dstImage);
    if (srcRect.width < 1 || srcRect.height < 1) return;
    DecimateCall call{};
    call.width = static_cast<int32_t>(
        std::min<int64_t>(dstRect.width, int64_t{srcRect.width} * xDst / xSrc));
    call.height = static_cast<int32_t>(
        std::min<int64_t>(dstRect.height, int64_t{srcRect.height} * yDst / ySrc));
    if (call.width < 1 || call.height < 1) return;

    call.mode = effectiveMode(srcImage, xDst, xSrc, yDst, ySrc, interpolate);
    call.xIntegral = xSrc % xDst == 0;
    call.yIntegral = ySrc % yDst == 0;
    // Nearest neighbour samples the middle of each source span on a
    // fractional axis; 1-bit LINEAR and CUBIC copy bits from position 0.
    call.xStart = call.mode == ZAR_INTER_NN && !call.xIntegral ? 0.5 : 0.0;
    call.yStart = call.mode == ZAR_INTER_NN && !call.yIntegral ? 0.5 : 0.0;
    call.channels = std::min(processedChannels(srcImage), processedChannels(dstImage));
    call.kx = static_cast<float>(static_cast<double>(xSrc) / xDst);
    call.ky = static_cast<float>(static_cast<double>(ySrc) / yDst);

    switch (decimateRegion(srcImage, dstImage, call)) {
        case DecimateOutcome::SourceRefused:
            report(kSite, STATUS_INTERNAL, "srcImage->tileInfo->callBack crash", 342);
            break;
        case DecimateOutcome::DestinationRefused:
            report(kSite, STATUS_INTERNAL, "dstImage->tileInfo->callBack crash", 347);
            break;
        case DecimateOutcome::NoMemory:
            report(kSite, STATUS_NO_MEMORY, "Out of memory", __LINE__);
            break;
        case DecimateOutcome::Done:
            break;
    }
}
