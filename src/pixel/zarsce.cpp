// Set, SetFP and Copy: fill a region with a value, copy a region, on plain and
// tiled images, under the channel of interest, alpha channel and masks.
#include <bit>

#include "frame/frame.h"
#include "image/image.h"
#include "image/region.h"
#include "pixel/pixel.h"
#include "pixel/tiledCopy.h"

namespace {

constexpr ReportSite kSet{"zarSet", "zarsce"};
constexpr ReportSite kSetFP{"zarSetFP", "zarsce"};
constexpr ReportSite kCopy{"zarCopy", "zarsce"};

bool statusFailed() { return zarGetStatus() < 0; }

int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// The fill value saturated to the depth's range, as the bit pattern stored.
uint32_t saturatedFill(int32_t depth, int32_t value) {
    switch (depth) {
        case ZAR_DEPTH_1U:
            return static_cast<uint32_t>(clampInt(value, 0, 1));
        case ZAR_DEPTH_8U:
            return static_cast<uint32_t>(clampInt(value, 0, 255));
        case ZAR_DEPTH_8S:
            return static_cast<uint32_t>(clampInt(value, -128, 127)) & 0xFFu;
        case ZAR_DEPTH_16U:
            return static_cast<uint32_t>(clampInt(value, 0, 65535));
        case ZAR_DEPTH_16S:
            return static_cast<uint32_t>(clampInt(value, -32768, 32767)) & 0xFFFFu;
        default:
            return static_cast<uint32_t>(value);
    }
}

MaskRows maskRowsOf(const ImageHeader* mask) {
    BitOrigin origin{};
    if (mask == nullptr || !getRoiBitOrigin(mask, &origin)) return {nullptr, 0, 0};
    return {reinterpret_cast<const uint8_t*>(origin.address), origin.widthStep, origin.bitOffset};
}

// ------------------------------------------------------------------- forms

struct FormChoice {
    PixelForm form;
    int32_t planes;     // run forms: planes to visit
    int64_t runValues;  // run form: values per row and plane
};

// The form of a fill or copy.  Without a mask: plane order runs over each
// processed plane; pixel order runs over whole rows when every channel is
// processed (wholeRows), else pixel by pixel.  With a mask: pixel order, or
// plane order of single-channel images, pixel by pixel; else plane by plane.
FormChoice chooseForm(bool oneBit, bool masked, bool planeOrder, int32_t channels, bool wholeRows,
                      bool singleChannel, int32_t width, int32_t nChannels) {
    if (oneBit) return {PixelForm::Bits, 1, width};
    if (!masked) {
        if (planeOrder) return {PixelForm::Run, channels, width};
        if (wholeRows) return {PixelForm::Run, 1, static_cast<int64_t>(width) * nChannels};
        return {PixelForm::Pixel, 1, width};
    }
    if (!planeOrder || singleChannel) return {PixelForm::MaskedPixel, 1, width};
    return {PixelForm::MaskedRun, channels, width};
}

// ---------------------------------------------------------------------- Set

void setMaskedBits(ImageHeader* dstImage, ImageHeader* mask, uint32_t bit) {
    // The logical operations combine the destination with the mask; the
    // destination's own mask is detached meanwhile.
    dstImage->maskImage = nullptr;
    if (bit != 0) {
        zarOr(dstImage, mask, dstImage);
    } else {
        zarXorS(mask, mask, 1);  // invert the mask in place ...
        zarAnd(dstImage, mask, dstImage);
        zarXorS(mask, mask, 1);  // ... and back
    }
    dstImage->maskImage = mask;
    if (statusFailed()) report(kSet, STATUS_BACKTRACE, "", __LINE__);
}

void setTiled(ImageHeader* dstImage, const RoiSize& size, int32_t fillValue) {
    if (setTiles(dstImage, size, fillValue) == TiledEnd::RefusedWrite)
        report(kSet, STATUS_ERROR, "Error get tile to write", __LINE__);
}

void setPlain(ImageHeader* dstImage, const RoiSize& size, uint32_t value) {
    CoiLayout l;
    if (!getCoiOrigin(dstImage, &l)) return;  // an alpha-only image: nothing to fill
    const ImageHeader* mask = dstImage->maskImage;
    const bool plane = dstImage->dataOrder == ZAR_DATA_ORDER_PLANE;
    FillJob job{};
    job.dst = l.address;
    job.step = l.widthStep;
    job.planeStride = static_cast<int64_t>(dstImage->height) * l.widthStep;
    job.width = size.width;
    job.height = size.height;
    job.nChannels = l.nChannels;
    job.channels = l.channels;
    job.bitX = l.bitX;
    job.value = value;
    job.mask = maskRowsOf(mask);

    const FormChoice choice = chooseForm(dstImage->depth == ZAR_DEPTH_1U, mask != nullptr, plane,
                                         l.channels, l.channels == l.nChannels, l.nChannels == 1,
                                         size.width, l.nChannels);
    job.planes = choice.planes;
    job.runValues = choice.runValues;
    fillKernelFor(choice.form, bytesPerValue(dstImage->depth))(job);
}

// --------------------------------------------------------------------- Copy

bool isAlphaOnly(const ImageHeader* image) {
    CoiLayout unused;
    return !getCoiOrigin(image, &unused);
}

constexpr const char* kChannelsDiffer =
    "Number of processed channels of srcImage != Number of processed channels of dstImage";

// A new plain 1-bit image of one channel; null (status as the library left it)
// when its header or pixels could not be had.
ImageHeader* newBitImage(const char* channelSeq, int32_t dataOrder, int32_t origin, int32_t align,
                         int32_t width, int32_t height) {
    ImageHeader* image = zarCreateImageHeader(1, 0, ZAR_DEPTH_1U, "GRAY", channelSeq, dataOrder,
                                              origin, align, width, height, nullptr, nullptr,
                                              nullptr, nullptr);
    if (image == nullptr) return nullptr;
    zarAllocateImage(image, 0, 0);
    if (image->imageData == nullptr || statusFailed()) {
        zarDeallocate(image, ZAR_FREE_HEADER);
        return nullptr;
    }
    return image;
}

void freeBitImage(ImageHeader* image) {
    if (image != nullptr) zarDeallocate(image, ZAR_FREE_DATA | ZAR_FREE_HEADER);
}

// Each destination bit of the region under a 1 of the mask takes the source
// bit; built from Set, And and Or on a working copy of the mask.
void copyMaskedBits(ImageHeader* srcImage, ImageHeader* dstImage, ImageHeader* mask,
                    const RoiSize& size) {
    // "G" with its terminator padded to the four bytes a header holds.
    ImageHeader* work = newBitImage("G\0\0", mask->dataOrder, mask->origin, mask->align, size.width,
                                    size.height);
    if (work == nullptr) {
        // Creation reports its own failures; pixels that could not be had
        // are reported here, so that the caller sees a failed status.
        if (!statusFailed()) report(kCopy, STATUS_NO_MEMORY, "Out of memory", __LINE__);
        return;
    }

    ImageHeader* const srcMask = srcImage->maskImage;
    ImageHeader* const dstMask = dstImage->maskImage;
    ImageHeader* const maskOfMask = mask->maskImage;
    mask->maskImage = nullptr;
    zarCopy(mask, work);
    mask->maskImage = maskOfMask;

    dstImage->maskImage = work;
    zarSet(dstImage, 0);  // clear the bits under the mask
    srcImage->maskImage = nullptr;
    zarAnd(srcImage, work, work);     // the source bits under the mask
    zarOr(dstImage, work, dstImage);  // put them in

    freeBitImage(work);
    srcImage->maskImage = srcMask;
    dstImage->maskImage = dstMask;
    if (statusFailed()) report(kCopy, STATUS_BACKTRACE, "", __LINE__);
}

void copyPlain(ImageHeader* srcImage, ImageHeader* dstImage, const ImageHeader* mask,
               const RoiSize& size) {
    CoiLayout s, d;
    if (!getCoiOrigin(srcImage, &s) || !getCoiOrigin(dstImage, &d)) return;
    if (s.channels != d.channels) {
        report(kCopy, STATUS_BAD_ARG, kChannelsDiffer, __LINE__);
        return;
    }
    CopyJob job{};
    job.src = s.address;
    job.dst = d.address;
    job.srcStep = s.widthStep;
    job.dstStep = d.widthStep;
    job.srcPlane = static_cast<int64_t>(srcImage->height) * s.widthStep;
    job.dstPlane = static_cast<int64_t>(dstImage->height) * d.widthStep;
    job.width = size.width;
    job.height = size.height;
    job.srcChannels = s.nChannels;
    job.dstChannels = d.nChannels;
    job.channels = s.channels;
    job.srcBitX = s.bitX;
    job.dstBitX = d.bitX;
    job.mask = maskRowsOf(mask);

    const bool plane = srcImage->dataOrder == ZAR_DATA_ORDER_PLANE;
    const FormChoice choice = chooseForm(
        srcImage->depth == ZAR_DEPTH_1U, mask != nullptr, plane, s.channels,
        s.nChannels == d.nChannels && s.channels == s.nChannels,
        s.nChannels == 1 && d.nChannels == 1, size.width, s.nChannels);
    job.planes = choice.planes;
    job.runValues = choice.runValues;
    copyKernelFor(choice.form, bytesPerValue(srcImage->depth))(job);
}

// Source, destination or both tiled: piece by piece along the destination's
// tile grid (the source's when only the source is tiled), each piece copied
// by Copy between plain working headers.
void copyTiled(ImageHeader* srcImage, ImageHeader* dstImage, ImageHeader* mask,
               const RoiSize& size) {
    // As in the direct copy, an image whose only channel is alpha (and that
    // has no region) has nothing to copy; the working headers of the walk
    // carry a region and could no longer tell.
    if (isAlphaOnly(srcImage) || isAlphaOnly(dstImage)) return;
    switch (copyTiles(srcImage, dstImage, mask, size)) {
        case TiledEnd::RefusedWrite:
            report(kCopy, STATUS_ERROR, "Error get tile to write", __LINE__);
            break;
        case TiledEnd::RefusedRead:
            report(kCopy, STATUS_ERROR, "Error get tile to read", __LINE__);
            break;
        case TiledEnd::Failed:
            report(kCopy, STATUS_BACKTRACE, "", __LINE__);
            break;
        case TiledEnd::Done:
            break;
    }
}

// The effective mask's temporary form when source and destination carry
// different masks: their AND over the common size of the two mask regions.
// Returns false (after any report) when the copy must stop.
bool combineMasks(ImageHeader* srcMask, ImageHeader* dstMask, ImageHeader** combined) {
    const RoiSize size = getCommonRoiSize(srcMask, dstMask, true);
    if (size.empty()) return false;
    *combined = newBitImage("G   ", ZAR_DATA_ORDER_PLANE, srcMask->origin, 4, size.width,
                            size.height);
    if (*combined == nullptr) {
        report(kCopy, STATUS_BACKTRACE, "", __LINE__);
        return false;
    }
    zarAnd(srcMask, dstMask, *combined);
    if (statusFailed()) {
        report(kCopy, STATUS_BACKTRACE, "", __LINE__);
        return false;
    }
    return true;
}

// Copy from the choice of the effective mask on.
void copyRegion(ImageHeader* srcImage, ImageHeader* dstImage, ImageHeader* mask) {
    const RoiSize size = getCommonRoiSize(srcImage, dstImage, mask, true);
    if (size.empty()) return;
    if (mask != nullptr && dstImage->depth == ZAR_DEPTH_1U)
        copyMaskedBits(srcImage, dstImage, mask, size);
    else if (srcImage->tileInfo == nullptr && dstImage->tileInfo == nullptr)
        copyPlain(srcImage, dstImage, mask, size);
    else
        copyTiled(srcImage, dstImage, mask, size);
}

}  // namespace

void ZAR_STDCALL zarSet(ImageHeader* dstImage, int32_t fillValue) {
    if (ZarStatus status = validateHeader(dstImage)) {
        report(kSet, status, "Incorrect Image", __LINE__);
        return;
    }
    if (dstImage->depth == ZAR_DEPTH_32F) {
        report(kSet, STATUS_BAD_DEPTH, "You should use zarSetFP for this image", __LINE__);
        return;
    }
    const uint32_t value = saturatedFill(dstImage->depth, fillValue);
    ImageHeader* mask = dstImage->maskImage;
    const RoiSize size = getCommonRoiSize(dstImage, mask, true);
    if (size.empty()) return;  // a region starting outside its image
    if (mask != nullptr && dstImage->depth == ZAR_DEPTH_1U)
        setMaskedBits(dstImage, mask, value);
    else if (dstImage->tileInfo != nullptr)
        setTiled(dstImage, size, fillValue);
    else
        setPlain(dstImage, size, value);
}

void ZAR_STDCALL zarSetFP(ImageHeader* dstImage, float fillValue) {
    if (dstImage == nullptr) {
        report(kSetFP, STATUS_BAD_ARG, "dstImage==0", __LINE__);
        return;
    }
    if (dstImage->depth != ZAR_DEPTH_32F) {
        report(kSetFP, STATUS_BAD_DEPTH, "You should use zarSet for this image", __LINE__);
        return;
    }
    // The float's bits go through the 32-bit integer fill unchanged.
    dstImage->depth = ZAR_DEPTH_32S;
    zarSet(dstImage, std::bit_cast<int32_t>(fillValue));
    dstImage->depth = ZAR_DEPTH_32F;
    if (statusFailed()) report(kSetFP, STATUS_BACKTRACE, "", __LINE__);
}

void ZAR_STDCALL zarCopy(ImageHeader* srcImage, ImageHeader* dstImage) {
    if (ZarStatus status = validateHeader(srcImage)) {
        report(kCopy, status, "Incorrect Image", __LINE__);
        return;
    }
    if (ZarStatus status = validateHeader(dstImage)) {
        report(kCopy, status, "Incorrect Image", __LINE__);
        return;
    }
    // Every relation is checked and reported before giving up.
    if (srcImage->depth != dstImage->depth)
        report(kCopy, STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", __LINE__);
    if (srcImage->origin != dstImage->origin)
        report(kCopy, STATUS_BAD_ARG, "srcImage->origin != dstImage->origin", __LINE__);
    if (srcImage->depth != ZAR_DEPTH_1U &&
        !(srcImage->nChannels == 1 && dstImage->nChannels == 1) &&
        srcImage->dataOrder != dstImage->dataOrder)
        report(kCopy, STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", __LINE__);
    // The status word is not cleared on entry: an earlier failure stops here too.
    if (statusFailed()) return;
    if (srcImage == dstImage) return;

    ImageHeader* srcMask = srcImage->maskImage;
    ImageHeader* dstMask = dstImage->maskImage;
    ImageHeader* mask = srcMask != nullptr ? srcMask : dstMask;
    ImageHeader* combined = nullptr;
    if (srcMask != nullptr && dstMask != nullptr && srcMask != dstMask) {
        if (combineMasks(srcMask, dstMask, &combined)) copyRegion(srcImage, dstImage, combined);
    } else {
        copyRegion(srcImage, dstImage, mask);
    }
    freeBitImage(combined);
}
