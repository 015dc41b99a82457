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
    bool inPlace;            // source rows inside the image are read where they lie
    int32_t kx, ky, nx, ny;  // window sides and half sides
    int32_t w, h;
    int32_t xs, ys, xd, yd;
    // Outputs [innerFrom, innerTo) read only image columns that need no border
    // rule; with inPlace they come straight from the image rows.
    int32_t innerFrom, innerTo;
    char* ring;  // ky row slots, the column scratch and an output row
    ptrdiff_t stride;
    const char** pointers;    // 3 ky: the window's rows as three pieces
    const ImageHeader* mask;  // the combined mask, or null
};

// Positions [p0, p1) of source row y (clamped to the region's one-pixel frame)
// into slot: position p is column xs - nx + p clamped to the frame; frame
// pixels are read with the border rules, positions beyond the frame repeat
// the frame pixel.
bool readPadded(const MorphRun& run, int32_t y, int32_t channel, int32_t p0, int32_t p1,
                char* slot) {
    const int32_t n = run.nx;
    const int32_t qa = std::min(std::max(p0, n - 1), n + run.w);  // positions read
    const int32_t qb = std::max(std::min(p1, n + run.w + 1), qa + 1);
    const int32_t x = run.xs - n + qa;
    if (run.channels > 1) {
        const size_t pixelBytes = static_cast<size_t>(run.channels) * bytesPerValue(run.src->depth);
        if (!readPixelRow(run.src, x, y, slot + qa * pixelBytes, qb - qa,
                          run.ring + run.ky * run.stride))
            return false;
        if (p0 < qa) {
            std::memcpy(slot + p0 * pixelBytes, slot + qa * pixelBytes, pixelBytes);
            repeatBytes(slot + p0 * pixelBytes, pixelBytes, (qa - p0) * pixelBytes);
        }
        if (p1 > qb)
            repeatBytes(slot + (qb - 1) * pixelBytes, pixelBytes, (p1 - qb + 1) * pixelBytes);
        return true;
    }
    if (!readRowAt(run.src, x, y, channel, slot, qa, qb - qa)) return false;
    const ValueRuns& runs = valueRunsFor(run.src->depth);
    if (p0 < qa) runs.fill(slot, p0, qa - p0, runs.get(slot, qa));
    if (p1 > qb) runs.fill(slot, qb, p1 - qb, runs.get(slot, qb - 1));
    return true;
}

// One pixel of 1 to 8 bytes, without a library call for the few of a row's edges.
void copyPixel(char* to, const char* from, size_t bytes) {
    switch (bytes) {
        case 1:
            *to = *from;
            break;
        case 2:
            std::memcpy(to, from, 2);
            break;
        case 4:
            std::memcpy(to, from, 4);
            break;
        default:
            for (size_t b = 0; b < bytes; ++b) to[b] = from[b];
    }
}

// Positions [p0, p1) of source row y, inside the image, from the row in
// place at row0 (its column 0): a frame column outside the image repeats the
// row's edge pixel where that side replicates, else comes by the border rules.
bool copyEdge(const MorphRun& run, const char* row0, int32_t y, int32_t channel, int32_t p0,
              int32_t p1, char* slot) {
    const size_t pixelBytes = static_cast<size_t>(run.channels) * bytesPerValue(run.src->depth);
    const int32_t width = run.src->width;
    for (int32_t p = p0; p < p1; ++p) {
        int32_t c = std::clamp(run.xs - run.nx + p, run.xs - 1, run.xs + run.w);
        if (c < 0 || c >= width) {
            if ((run.src->borderModes[c < 0 ? 2 : 3] & 3) != ZAR_BORDER_REPLICATE) {
                if (!readPadded(run, y, channel, p, p + 1, slot)) return false;
                continue;
            }
            c = c < 0 ? 0 : width - 1;
        }
        copyPixel(slot + p * pixelBytes, row0 + c * pixelBytes, pixelBytes);
    }
    return true;
}

// Source row y (already clamped to the frame) into slot; *inner gets where
// the inner outputs' values start.  A row inside the image read in place
// keeps only the positions left and right of the inner outputs in the slot.
bool loadRow(const MorphRun& run, int32_t y, int32_t channel, char* slot, const char** inner) {
    const int32_t length = run.w + run.kx - 1;
    const int32_t pixelBits = run.channels * bitDepth(run.src->depth);
    if (run.inPlace && y >= 0 && y < run.src->height) {
        // No software prefetch of later rows: with the one-pass 3 x 3
        // kernels the hardware's streams keep up, and the prefetch loop cost
        // more than it saved (measured).
        const char* row0 = pixelAddress(run.src, 0, y, channel);
        *inner = row0 + static_cast<ptrdiff_t>(run.xs - run.nx + run.innerFrom) * pixelBits / 8;
        return copyEdge(run, row0, y, channel, 0,
                        run.innerFrom > 0 ? run.innerFrom + run.kx - 1 : 0, slot) &&
               copyEdge(run, row0, y, channel, run.innerTo < run.w ? run.innerTo : length, length,
                        slot);
    }
    *inner = slot + static_cast<ptrdiff_t>(run.innerFrom) * pixelBits / 8;
    return readPadded(run, y, channel, 0, length, slot);
}

MorphResult filterChannel(const MorphRun& run, int32_t srcChannel, int32_t dstChannel) {
    const int32_t k = run.ky;
    char* scratch = run.ring + k * run.stride;
    char* outRow = scratch + run.stride;
    // The window's rows as the three pieces the kernel runs over: outputs
    // left of the inner ones, the inner ones, and those right of them.
    const char** left = run.pointers;
    const char** inner = left + k;
    const char** right = inner + k;
    const int32_t pixelBits = run.channels * bitDepth(run.src->depth);
    const int32_t depthBits = bitDepth(run.dst->depth);
    const int32_t maskWords = static_cast<int32_t>((static_cast<int64_t>(depthBits) * run.w + 31) /
                                                   32);
    // Rows clamped to the frame repeat: each is read once, into the next
    // slot, which the window's rows of that clamped row share.
    int32_t loaded = run.ys - 2, next = 0;
    auto enter = [&](int32_t i, int32_t y) {
        const int32_t clamped = std::clamp(y, run.ys - 1, run.ys + run.h);
        if (clamped > loaded) {
            char* slot = run.ring + next * run.stride;
            if (!loadRow(run, clamped, srcChannel, slot, &inner[i])) return false;
            left[i] = slot;
            right[i] = slot + static_cast<ptrdiff_t>(run.innerTo) * pixelBits / 8;
            loaded = clamped;
            next = next + 1 == k ? 0 : next + 1;
        } else {
            left[i] = left[i - 1];
            inner[i] = inner[i - 1];
            right[i] = right[i - 1];
        }
        return true;
    };
    for (int32_t i = 0; i < k; ++i)
        if (!enter(i, run.ys - run.ny + i)) return MorphResult::TileReadRefused;
    const int32_t c = run.channels;
    for (int32_t r = 0; r < run.h; ++r) {
        if (r > 0) {
            for (int32_t i = 0; i + 1 < k; ++i) {
                left[i] = left[i + 1];
                inner[i] = inner[i + 1];
                right[i] = right[i + 1];
            }
            if (!enter(k - 1, run.ys + r + run.ny)) return MorphResult::TileReadRefused;
        }
        char* out = run.direct ? pixelAddress(run.dst, run.xd, run.yd + r, dstChannel) : outRow;
        if (run.innerFrom > 0) run.kernel(run.kx, k, left, scratch, out, run.innerFrom * c, c);
        if (run.innerTo > run.innerFrom)
            run.kernel(run.kx, k, inner, scratch, out + run.innerFrom * pixelBits / 8,
                       (run.innerTo - run.innerFrom) * c, c);
        if (run.w > run.innerTo)
            run.kernel(run.kx, k, right, scratch, out + run.innerTo * pixelBits / 8,
                       (run.w - run.innerTo) * c, c);
        if (run.direct) continue;
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
    // Source rows are read in place when the values of a row lie next to
    // each other and no result can land on a source row still to be read.
    // Only for a 3-wide window: a wider one leaves more edge positions per
    // row (2 n + 1 on each side, each its own short kernel run), which cost
    // more than copying the row into the ring (measured at 7 x 7).
    run.inPlace = untiled && kx == 3 && bitDepth(src->depth) != 1 &&
                  (wholePixels || src->nChannels == 1 || src->dataOrder == ZAR_DATA_ORDER_PLANE) &&
                  !bytesOverlap(run.src->imageData, run.src->imageSize, run.dst->imageData,
                                run.dst->imageSize);
    run.innerFrom = std::max({run.nx - 1, run.nx - run.xs, 0});
    run.innerTo = std::min(run.w - run.nx, run.src->width - 1 - run.xs - run.nx) + 1;
    if (!run.inPlace || run.innerTo <= run.innerFrom) run.innerFrom = run.innerTo = run.w;
    // The kernels count a ring row's values in int32: a longer row is as
    // impossible to hold as a ring too large to allocate.
    const int64_t rowValues = (int64_t{kx} + run.w - 1) * run.channels;
    run.stride = morphRingRowBytes(src->depth, rowValues);
    const int64_t ringBytes = static_cast<int64_t>(run.stride) * (int64_t{ky} + 2);
    ScratchArray<const char*> pointers(3 * int64_t{ky});
    run.pointers = pointers.data();
    if (rowValues <= INT32_MAX - 64 && ringBytes <= INT32_MAX && run.pointers)
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
