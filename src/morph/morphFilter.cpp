// The morphology engine: the filter's walk over a ring of source rows (read
// with the border rules) into the destination, and the working regions and
// combined mask of a call.
#include <algorithm>
#include <climits>
#include <cstring>

#include "image/image.h"
#include "image/region.h"
#include "image/rows.h"
#include "morph/morph.h"

namespace {

// Where the mask row is set the result, elsewhere the destination's own value.
void mergeUnderMask(const char* result, const char* maskRow, char* destination, int32_t words) {
    const uint32_t* o = reinterpret_cast<const uint32_t*>(result);
    const uint32_t* m = reinterpret_cast<const uint32_t*>(maskRow);
    uint32_t* d = reinterpret_cast<uint32_t*>(destination);
    for (int32_t i = 0; i < words; ++i) d[i] = (o[i] & m[i]) | (d[i] & ~m[i]);
}

struct MorphRun {
    ImageHeader* src;  // the headers whose pixels are read and written
    ImageHeader* dst;
    MorphRowsKernel kernel;
    int32_t channels;        // values per ring pixel: all channels at once, or one
    bool direct;             // results go straight into the destination rows
    int32_t kx, ky, nx, ny;  // window sides and half sides
    int32_t w, h;
    int32_t xs, ys, xd, yd;
    char* ring;
    ptrdiff_t stride;
    const ImageHeader* mask;  // the combined mask, or null
};

// Source row y of a channel by the row rule: the row clamped to the region's
// one-pixel frame, the w + 2 values from the frame column left of the region
// on read with the border rules, and the n - 1 values beyond the frame on
// either side repeating the frame pixel (n the horizontal half side).
bool readSourceRow(const MorphRun& run, int32_t y, int32_t channel, char* slot) {
    const int32_t clamped = std::clamp(y, run.ys - 1, run.ys + run.h);
    const int32_t n = run.nx;
    if (run.channels > 1) {
        const size_t pixelBytes = static_cast<size_t>(run.channels) * bytesPerValue(run.src->depth);
        char* frame = slot + (n - 1) * pixelBytes;
        if (!readPixelRow(run.src, run.xs - 1, clamped, frame, run.w + 2,
                          run.ring + run.ky * run.stride))
            return false;
        if (n > 1) {  // repeat the frame pixels outwards
            std::memcpy(slot, frame, pixelBytes);
            repeatBytes(slot, pixelBytes, (n - 1) * pixelBytes);
            repeatBytes(frame + (run.w + 1) * pixelBytes, pixelBytes, n * pixelBytes);
        }
        return true;
    }
    if (!readRowAt(run.src, run.xs - 1, clamped, channel, slot, n - 1, run.w + 2)) return false;
    if (n > 1) {
        const ValueRuns& runs = valueRunsFor(run.src->depth);
        runs.fill(slot, 0, n - 1, runs.get(slot, n - 1));
        runs.fill(slot, n + run.w + 1, n - 1, runs.get(slot, n + run.w));
    }
    return true;
}

MorphResult filterChannel(const MorphRun& run, int32_t srcChannel, int32_t dstChannel) {
    const int32_t k = run.ky;  // ring rows
    char* scratch = run.ring + k * run.stride;
    auto slot = [&](int32_t i) { return run.ring + i * run.stride; };
    // Rows clamped to the frame repeat; a repeat is copied from the slot that
    // holds it, so each source row is read once.
    int32_t lastRow = INT32_MIN;
    const char* lastSlot = nullptr;
    auto load = [&](int32_t y, char* into) {
        const int32_t clamped = std::clamp(y, run.ys - 1, run.ys + run.h);
        if (clamped == lastRow) {
            std::memcpy(into, lastSlot, static_cast<size_t>(run.stride));
        } else if (!readSourceRow(run, y, srcChannel, into)) {
            return false;
        }
        lastRow = clamped;
        lastSlot = into;
        return true;
    };
    for (int32_t i = 0; i < k - 1; ++i)
        if (!load(run.ys - run.ny + i, slot(i))) return MorphResult::TileReadRefused;

    const int32_t depthBits = bitDepth(run.dst->depth);
    const int32_t maskWords = static_cast<int32_t>((static_cast<int64_t>(depthBits) * run.w + 31) /
                                                   32);
    int32_t next = k - 1;
    for (int32_t r = 0; r < run.h; ++r) {
        if (!load(run.ys + r + run.ny, slot(next))) return MorphResult::TileReadRefused;
        next = (next + 1) % k;  // the oldest row, no longer needed once the columns are done
        if (run.direct) {
            run.kernel(run.kx, k, run.ring, run.stride,
                       pixelAddress(run.dst, run.xd, run.yd + r, dstChannel), run.w * run.channels,
                       run.channels);
            continue;
        }
        char* out = slot(next);
        run.kernel(run.kx, k, run.ring, run.stride, out, run.w, 1);
        const char* result = out;
        if (run.mask) {
            if (!readRowAt(run.dst, run.xd, run.yd + r, dstChannel, scratch, 0, run.w))
                return MorphResult::TileReadRefused;
            mergeUnderMask(out,
                           run.mask->imageData + static_cast<ptrdiff_t>(r) * run.mask->widthStep,
                           scratch, maskWords);
            result = scratch;
        }
        if (!writeRow(result, run.w, run.dst, run.xd, run.yd + r, dstChannel))
            return MorphResult::TileWriteRefused;
    }
    return MorphResult::Done;
}

// First and last processed channel (1-based): the channel of interest, or all
// channels but an alpha channel.
void processedChannels(const ImageHeader* image, int32_t* first, int32_t* last) {
    const int32_t coi = image->roi ? image->roi->coi : 0;
    *first = coi ? coi : 1;
    *last = coi ? coi : image->nChannels - (image->alphaChannel ? 1 : 0);
}

}  // namespace

MorphResult morphFilter(ImageHeader* src, ImageHeader* dst, int32_t kx, int32_t ky, MorphOp op,
                        ImageHeader* srcPixels, ImageHeader* dstPixels) {
    MorphRun run{};
    run.src = srcPixels ? srcPixels : src;
    run.dst = dstPixels ? dstPixels : dst;
    run.kernel = morphRowsKernelFor(op, src->depth, isaLevel());
    run.w = src->roi->width;
    run.h = src->roi->height;
    run.xs = src->roi->xOffset;
    run.ys = src->roi->yOffset;
    run.xd = dst->roi->xOffset;
    run.yd = dst->roi->yOffset;
    run.mask = dst->maskImage;
    run.kx = kx;
    run.ky = ky;
    run.nx = (kx - 1) / 2;
    run.ny = (ky - 1) / 2;
    int32_t srcFirst, srcLast, dstFirst, dstLast;
    processedChannels(src, &srcFirst, &srcLast);
    processedChannels(dst, &dstFirst, &dstLast);
    // Pixel-order images without tiles or mask whose every channel is
    // processed go all channels at once, over rows read and written whole.
    const bool untiled = !run.src->tileInfo && !run.dst->tileInfo;
    const bool wholePixels = untiled && !run.mask && bitDepth(src->depth) != 1 &&
                             src->dataOrder == ZAR_DATA_ORDER_PIXEL && src->nChannels > 1 &&
                             srcFirst == 1 && srcLast == src->nChannels && dstFirst == 1 &&
                             dstLast == dst->nChannels && kx < kBlockExtremeFrom;
    run.channels = wholePixels ? src->nChannels : 1;
    // Whole values of one channel (or of whole pixels) lie next to each other
    // in the destination rows; 1-bit results keep the ring, as the kernel
    // writes whole words.
    run.direct = untiled && !run.mask && bitDepth(src->depth) != 1 &&
                 (wholePixels || dst->nChannels == 1 || dst->dataOrder == ZAR_DATA_ORDER_PLANE);
    // The kernels count a ring row's values in int32: a longer row is as
    // impossible to hold as a ring too large to allocate.
    const int64_t rowValues = (int64_t{kx} + run.w - 1) * run.channels;
    run.stride = morphRingRowBytes(src->depth, rowValues);
    const int64_t ringBytes = static_cast<int64_t>(run.stride) * (int64_t{ky} + 1);
    if (rowValues <= INT32_MAX - 64 && ringBytes <= INT32_MAX)
        run.ring = static_cast<char*>(alignedMalloc(static_cast<size_t>(ringBytes)));
    if (!run.ring) {
        zarSetStatus(STATUS_NO_MEMORY);
        return MorphResult::NoMemory;
    }
    std::memset(run.ring, 0, static_cast<size_t>(ringBytes));  // row padding stays defined

    MorphResult result = MorphResult::Done;
    if (wholePixels)
        result = filterChannel(run, 0, 0);
    else
        for (int32_t c = srcFirst, d = dstFirst; c <= srcLast && result == MorphResult::Done;
             ++c, ++d)
            result = filterChannel(run, c - 1, d - 1);
    alignedFree(run.ring);
    return result;
}

namespace {

// The image's region clipped to the image, cut to the size of its mask's
// clipped region when it has a mask.
Rect maskedRegion(const ImageHeader* image) {
    Rect rect = getRoiRect(image);
    const ImageHeader* mask = image->maskImage;
    if (mask && mask->imageData) {
        const Rect maskRect = getRoiRect(mask);
        rect.width = std::min(rect.width, maskRect.width);
        rect.height = std::min(rect.height, maskRect.height);
    }
    return rect;
}

// A one-channel plane-order image of w x h for the combined mask, filled with
// fill; null (nothing left allocated) when it cannot be had.
ImageHeader* newWorkingMask(int32_t depth, int32_t w, int32_t h, int32_t fill) {
    static const char kNoName[4] = {0, 0, 0, 0};
    ImageHeader* mask = zarCreateImageHeader(1, 0, depth, kNoName, kNoName, ZAR_DATA_ORDER_PLANE, 0,
                                             8, w, h, nullptr, nullptr, nullptr, nullptr);
    if (!mask) return nullptr;
    zarAllocateImage(mask, 1, fill);
    if (!mask->imageData) {
        zarDeallocate(mask, ZAR_FREE_ALL);
        return nullptr;
    }
    return mask;
}

template <typename T>
void expandBits(const char* bits, char* values, int32_t width) {
    T* out = reinterpret_cast<T*>(values);
    for (int32_t x = 0; x < width; ++x)
        out[x] = getBit(reinterpret_cast<const uint8_t*>(bits), x) ? static_cast<T>(~T{0}) : T{0};
}

// Every set bit of the 1-bit image a becomes an all-ones value of b.
void expandMask(const ImageHeader* a, ImageHeader* b) {
    const int32_t bits = bitDepth(b->depth);
    for (int32_t y = 0; y < a->height; ++y) {
        const char* from = a->imageData + static_cast<ptrdiff_t>(y) * a->widthStep;
        char* to = b->imageData + static_cast<ptrdiff_t>(y) * b->widthStep;
        if (bits == 1) {
            std::memcpy(to, from, static_cast<size_t>((a->width + 7) / 8));
            continue;
        }
        if (bits == 8)
            expandBits<uint8_t>(from, to, a->width);
        else
            expandBits<uint16_t>(from, to, a->width);
    }
}

// The combined mask of the two images' masks as dst's mask; false when an
// image could not be allocated.
bool combineMasks(ImageHeader* srcMask, ImageHeader* dstMask, ImageHeader* dst, int32_t w,
                  int32_t h) {
    ImageHeader* a = newWorkingMask(ZAR_DEPTH_1U, w, h, -1);
    if (!a) return false;
    if (srcMask) zarAnd(srcMask, a, a);
    if (dstMask && zarGetStatus() == STATUS_OK) zarAnd(dstMask, a, a);
    ImageHeader* b = newWorkingMask(dst->depth, w, h, 0);
    if (b) {
        expandMask(a, b);
        dst->maskImage = b;
    }
    zarDeallocate(a, ZAR_FREE_ALL);
    return b != nullptr;
}

}  // namespace

void releaseWorkingRecords(ImageHeader* src, ImageHeader* dst) {
    zarDeallocate(src, ZAR_FREE_ROI);
    zarDeallocate(dst, ZAR_FREE_ROI);
    zarDeallocate(dst, ZAR_FREE_MASK);
}

ZarStatus prepareMorphRegions(ImageHeader* src, ImageHeader* dst, bool* outOfMemory) {
    *outOfMemory = false;
    const Rect srcRect = maskedRegion(src), dstRect = maskedRegion(dst);
    // An empty region gives a w or h below 1, which the caller skips.
    const int32_t w = std::max(0, std::min(srcRect.width, dstRect.width));
    const int32_t h = std::max(0, std::min(srcRect.height, dstRect.height));
    ImageHeader* srcMask = src->maskImage && src->maskImage->imageData ? src->maskImage : nullptr;
    ImageHeader* dstMask = dst->maskImage && dst->maskImage->imageData ? dst->maskImage : nullptr;
    // The working copies keep only records of their own: new rois and, on
    // the destination, the combined mask.
    src->roi = makeRoi(src->roi ? src->roi->coi : 0, srcRect.x, srcRect.y, w, h);
    dst->roi = makeRoi(dst->roi ? dst->roi->coi : 0, dstRect.x, dstRect.y, w, h);
    src->maskImage = nullptr;
    dst->maskImage = nullptr;
    if (!src->roi || !dst->roi) {
        *outOfMemory = true;
    } else if ((srcMask || dstMask) && w > 0 && h > 0) {
        // No mask image is made for an empty region: there is nothing to mask.
        *outOfMemory = !combineMasks(srcMask, dstMask, dst, w, h);
    }
    if (*outOfMemory) zarSetStatus(STATUS_NO_MEMORY);
    const ZarStatus status = zarGetStatus();
    if (status != STATUS_OK) releaseWorkingRecords(src, dst);
    return status;
}
