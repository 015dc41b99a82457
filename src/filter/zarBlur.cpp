// zarBlur: the box filter.  Every result is the mean of an nCols x nRows
// neighbourhood placed with its anchor cell on the pixel.  The neighbourhoods
// are read from bands of rows that the transfer engine fills, border included;
// the region is walked whole or block by block along the tiles.
#include <algorithm>
#include <cstring>

#include "filter/filter.h"
#include "frame/frame.h"
#include "image/image.h"

namespace {

constexpr ReportSite kSite{"zarBlur", "zarBlur"};

void reportNoMemory(int32_t line) { report(kSite, STATUS_NO_MEMORY, "Allocation failure", line); }

// Lines of the kernel failure report, by way of walking.
constexpr int32_t kKernelFailLineContiguous = 501;
constexpr int32_t kKernelFailLineSourceTiled = 632;
constexpr int32_t kKernelFailLineDestinationTiled = 743;
constexpr int32_t kKernelFailLineInPlace = 898;
constexpr int32_t kTemporaryFailLine = 530;

struct Blur {
    ImageHeader* src;
    ImageHeader* dst;
    int32_t nCols, nRows, anchorX, anchorY;
    float scale;
    int32_t width, height;  // processed size
    RoiChannels srcRegion, dstRegion;
    ImageHeader* mask;  // the combined mask (width x height), or null
    BlurKernel kernel;
    bool truncating;
    // Neighbourhoods reaching far past the image: the whole source, read once,
    // stands in for every working block (blurLargeWindow).
    bool large;
    char* largeData;
    ImageHeader largeView;
};

// Floating-point depths repeat the kernels' roundings one by one, so their
// work grows with the neighbourhood even on the large-window way: beyond this
// many additions the neighbourhood is refused as too large to honour.
constexpr int64_t kLargeWindowSteps = int64_t{1} << 22;

// The source neighbourhoods of the bw x bh results at offset (ox, oy) of the
// region, with their border, read through the transfer engine a band of rows
// at a time into a buffer of the source's format.  Neighbourhood row 0 is the
// top row of the first result's; the band holds rows first .. first + rows - 1.
struct WorkBlock {
    const Blur* blur = nullptr;
    int32_t ox = 0, oy = 0, bw = 0;
    int32_t rows = 0, first = 0;
    char* data = nullptr;
    ImageHeader view{};
    bool failed = false;     // a band could not be read
    int64_t x0 = 0, y0 = 0;  // image position of the block's top-left cell
    ~WorkBlock() { freeRegionCopy(data); }
};

// The band from neighbourhood row first on, into the block's buffer (made by
// the first band).
bool fetchBand(WorkBlock* block, int32_t first) {
    const Blur& blur = *block->blur;
    const int32_t x = static_cast<int32_t>(block->x0);
    const int32_t y = static_cast<int32_t>(block->y0 + first);
    const int32_t width = block->bw + blur.nCols;
    if (block->data) {
        block->failed = !fillRegionWithBorder(blur.src, x, y, width, block->rows, block->data);
    } else {
        int32_t stride = 0;
        block->data = copyRegionWithBorder(blur.src, x, y, width, block->rows, &stride);
        block->failed = !block->data;
        if (block->data)
            block->view = memoryView(blur.src, block->data, width, block->rows, stride);
    }
    block->first = first;
    return !block->failed;
}

// Rows y .. y + nRows of the block (the first processed channel), from a new
// band when the present one does not hold them all.
const char* bandWindow(void* owner, int32_t y) {
    auto* block = static_cast<WorkBlock*>(owner);
    const Blur& blur = *block->blur;
    if ((y < block->first || y + blur.nRows >= block->first + block->rows) && !fetchBand(block, y))
        return nullptr;
    return channelWalk(&block->view, 0, y - block->first, blur.srcRegion.firstChannel - 1).first;
}

// Prepares the block's bands of bandResults result rows and reads the first.
bool fetchWorkBlock(const Blur& blur, int32_t ox, int32_t oy, int32_t bw, int32_t bh,
                    int32_t bandResults, WorkBlock* block) {
    // The block's sides pass the int32 range with neighbourhoods near it;
    // the large-window way reads no block.
    const int64_t width = int64_t{bw} + blur.nCols, height = int64_t{bh} + blur.nRows;
    block->blur = &blur;
    block->ox = ox;
    block->oy = oy;
    block->bw = bw;
    block->x0 = int64_t{blur.srcRegion.x} + ox - blur.anchorX;
    block->y0 = int64_t{blur.srcRegion.y} + oy - blur.anchorY;
    if (blur.large) return true;
    if (width > INT32_MAX || height > INT32_MAX) return false;
    block->rows = (bandResults < bh ? bandResults : bh) + blur.nRows;
    return fetchBand(block, 0);
}

// Runs the kernel over one block: results at (dx, dy) of the plain target, mask
// bits at the block's offset in the combined mask.  A failure is reported at
// failLine, or at kTemporaryFailLine when a later band could not be read.
bool runKernel(const Blur& blur, WorkBlock& block, const ImageHeader* target, int32_t dx,
               int32_t dy, int32_t ox, int32_t oy, int32_t bw, int32_t bh, int32_t failLine) {
    BlurJob job;
    if (blur.large) {
        job.src = channelWalk(&blur.largeView, 0, 0, blur.srcRegion.firstChannel - 1);
    } else {
        job.rows = {bandWindow, &block};
        job.src = channelWalk(&block.view, 0, 0, blur.srcRegion.firstChannel - 1);
    }
    job.dst = channelWalk(target, dx, dy, blur.dstRegion.firstChannel - 1);
    job.mask = nullptr;
    job.maskStep = 0;
    job.maskBitX = 0;
    if (blur.mask) {
        job.mask = reinterpret_cast<const uint8_t*>(blur.mask->imageData) +
                   static_cast<ptrdiff_t>(oy) * blur.mask->widthStep;
        job.maskStep = blur.mask->widthStep;
        job.maskBitX = ox;
    }
    job.width = bw;
    job.height = bh;
    job.nCols = blur.nCols;
    job.nRows = blur.nRows;
    job.channels = blur.srcRegion.lastChannel - blur.srcRegion.firstChannel + 1;
    job.scale = blur.scale;
    RoundingScope mode(blur.truncating ? FE_TOWARDZERO : std::fegetround());
    const bool done = blur.large ? blurLargeWindow({job, blur.src, block.x0, block.y0})
                                 : blur.kernel(job);
    if (!done) reportNoMemory(block.failed ? kTemporaryFailLine : failLine);
    return done;
}

// Reads the whole source once for neighbourhoods reaching far past it;
// reports and returns false when that cannot be done.
bool prepareLargeWindow(Blur* blur) {
    if (!blurLargeWindowPays(blur->src, blur->width, blur->height, blur->nCols, blur->nRows))
        return true;
    const int64_t channels = blur->srcRegion.lastChannel - blur->srcRegion.firstChannel + 1;
    const int64_t steps = blurLargeWindowSteps(blur->src, blur->width, blur->height, blur->nCols,
                                               blur->nRows);
    if (blur->truncating && channels * steps > kLargeWindowSteps) {
        report(kSite, STATUS_BAD_ARG, "neighbourhood too large for a floating-point box sum",
               __LINE__);
        return false;
    }
    int32_t stride = 0;
    blur->largeData = copyRegionWithBorder(blur->src, 0, 0, blur->src->width, blur->src->height,
                                           &stride);
    if (!blur->largeData) {
        reportNoMemory(kTemporaryFailLine);
        return false;
    }
    blur->large = true;
    blur->largeView = memoryView(blur->src, blur->largeData, blur->src->width, blur->src->height,
                                 stride);
    return true;
}

// Whether the two images' pixel memory overlaps (an in-place call).
bool sharesMemory(const ImageHeader* a, const ImageHeader* b) {
    return a->imageData < b->imageData + b->imageSize && b->imageData < a->imageData + a->imageSize;
}

// Way 1: both images in memory, in bands of rows that stay in the cache (about
// 256 KB); in place, the whole source is read first.
void blurContiguous(const Blur& blur) {
    const int64_t rowBytes = (static_cast<int64_t>(blur.width) + blur.nCols) * blur.src->nChannels *
                             std::max(1, bytesPerValue(blur.src->depth));
    const int32_t band = sharesMemory(blur.src, blur.dst)
                             ? blur.height
                             : static_cast<int32_t>(std::max<int64_t>(16, (1 << 18) / rowBytes));
    WorkBlock block;
    if (!fetchWorkBlock(blur, 0, 0, blur.width, blur.height, band, &block)) {
        reportNoMemory(kTemporaryFailLine);
        return;
    }
    runKernel(blur, block, blur.dst, blur.dstRegion.x, blur.dstRegion.y, 0, 0, blur.width,
              blur.height, kKernelFailLineContiguous);
}

// Way 2: tiled source, destination in memory; blocks follow the source's tiles.
void blurSourceTiled(const Blur& blur) {
    forEachTileBlock(blur.srcRegion.x, blur.srcRegion.y, blur.width, blur.height,
                     *blur.src->tileInfo, true, [&](const TileBlock& b) {
                         WorkBlock block;
                         if (!fetchWorkBlock(blur, b.ox, b.oy, b.bw, b.bh, b.bh, &block)) {
                             reportNoMemory(kTemporaryFailLine);
                             return false;
                         }
                         return runKernel(blur, block, blur.dst, blur.dstRegion.x + b.ox,
                                          blur.dstRegion.y + b.oy, b.ox, b.oy, b.bw, b.bh,
                                          kKernelFailLineSourceTiled);
                     });
}

// A destination tile as the kernel's target, with no alpha channel so that
// nothing is skipped in it.
ImageHeader blurTileView(const ImageHeader* image, char* tile) {
    ImageHeader view = tileView(image, tile);
    view.alphaChannel = 0;
    return view;
}

// Way 3: tiled destination, a different source; blocks follow the
// destination's tiles and are written straight into them.
void blurDestinationTiled(const Blur& blur) {
    const TileInfo& tiles = *blur.dst->tileInfo;
    forEachTileBlock(blur.dstRegion.x, blur.dstRegion.y, blur.width, blur.height, tiles, true,
                     [&](const TileBlock& b) {
                         WorkBlock block;
                         if (!fetchWorkBlock(blur, b.ox, b.oy, b.bw, b.bh, b.bh, &block)) {
                             reportNoMemory(kTemporaryFailLine);
                             return false;
                         }
                         char* tile = requestTile(blur.dst, b.column, b.row, ZAR_TILE_WRITE);
                         if (!tile) {
                             report(kSite, STATUS_ERROR, "Error get tile to write", __LINE__);
                             return false;
                         }
                         const ImageHeader view = blurTileView(blur.dst, tile);
                         const bool done = runKernel(
                             blur, block, &view, blur.dstRegion.x + b.ox - b.column * tiles.width,
                             blur.dstRegion.y + b.oy - b.row * tiles.height, b.ox, b.oy, b.bw, b.bh,
                             kKernelFailLineDestinationTiled);
                         releaseTile(blur.dst, b.column, b.row, tile);
                         return done;
                     });
}

// Way 4: in place on a tiled image.  Results wait in a ring of tile-sized slots
// so that no tile is overwritten while a later block still reads it: a slot is
// written back when the ring comes round to it, one tile column and two tiles
// later, and the rest after the last block.
struct Slot {
    char* pixels;
    int32_t column, row;
    bool pending;
};

struct SlotRing {
    Slot* slots = nullptr;
    char* pixels = nullptr;
    int32_t count = 0;
    size_t tileBytes = 0;
    ~SlotRing() {
        alignedFree(pixels);
        alignedFree(slots);
    }
};

bool makeSlotRing(const ImageHeader* image, int32_t count, SlotRing* ring) {
    const TileInfo& tiles = *image->tileInfo;
    const int32_t planes = image->dataOrder == ZAR_DATA_ORDER_PLANE ? image->nChannels : 1;
    ring->tileBytes = static_cast<size_t>(tileWidthStep(image)) * tiles.height * planes;
    ring->count = count;
    ring->slots = static_cast<Slot*>(alignedMalloc(sizeof(Slot) * count));
    ring->pixels = static_cast<char*>(alignedMalloc(ring->tileBytes * count));
    if (!ring->slots || !ring->pixels) return false;
    for (int32_t i = 0; i < count; ++i)
        ring->slots[i] = Slot{ring->pixels + ring->tileBytes * i, 0, 0, false};
    return true;
}

// Copies a pending slot into its tile; reports a refused tile.
bool writeBack(ImageHeader* image, const SlotRing& ring, Slot* slot) {
    char* tile = requestTile(image, slot->column, slot->row, ZAR_TILE_WRITE);
    if (!tile) {
        report(kSite, STATUS_ERROR, "Error get tile to write", __LINE__);
        return false;
    }
    std::memcpy(tile, slot->pixels, ring.tileBytes);
    releaseTile(image, slot->column, slot->row, tile);
    slot->pending = false;
    return true;
}

bool loadSlot(ImageHeader* image, const SlotRing& ring, Slot* slot, int32_t column, int32_t row) {
    char* tile = requestTile(image, column, row, ZAR_TILE_READ);
    if (!tile) {
        report(kSite, STATUS_ERROR, "Error get tile to read", __LINE__);
        return false;
    }
    std::memcpy(slot->pixels, tile, ring.tileBytes);
    releaseTile(image, column, row, tile);
    return true;
}

void blurInPlaceTiled(const Blur& blur) {
    ImageHeader* image = blur.dst;
    const TileInfo& tiles = *image->tileInfo;
    const int32_t firstRow = blur.dstRegion.y / tiles.height;
    const int32_t lastRow = (blur.dstRegion.y + blur.height - 1) / tiles.height;
    SlotRing ring;
    if (!makeSlotRing(image, lastRow - firstRow + 3, &ring)) {
        reportNoMemory(kTemporaryFailLine);
        return;
    }
    int32_t position = 0;
    const bool walked = forEachTileBlock(
        blur.dstRegion.x, blur.dstRegion.y, blur.width, blur.height, tiles, true,
        [&](const TileBlock& b) {
            Slot* slot = &ring.slots[position];
            position = position + 1 == ring.count ? 0 : position + 1;
            if (slot->pending && !writeBack(image, ring, slot)) return false;
            if (!loadSlot(image, ring, slot, b.column, b.row)) return false;
            WorkBlock block;
            if (!fetchWorkBlock(blur, b.ox, b.oy, b.bw, b.bh, b.bh, &block)) {
                reportNoMemory(kTemporaryFailLine);
                return false;
            }
            const ImageHeader view = blurTileView(image, slot->pixels);
            if (!runKernel(blur, block, &view, blur.dstRegion.x + b.ox - b.column * tiles.width,
                           blur.dstRegion.y + b.oy - b.row * tiles.height, b.ox, b.oy, b.bw, b.bh,
                           kKernelFailLineInPlace))
                return false;
            *slot = Slot{slot->pixels, b.column, b.row, true};
            return true;
        });
    if (!walked) return;
    for (int32_t i = 0; i < ring.count; ++i)
        if (ring.slots[i].pending && !writeBack(image, ring, &ring.slots[i])) return;
}

// The combined mask: the source's mask AND the destination's, or a copy of
// the one present, as a w x h 1-bit image; null without masks.  Reports and
// returns false when it cannot be made.
bool makeCombinedMask(ImageHeader* src, ImageHeader* dst, int32_t w, int32_t h,
                      ImageHeader** combined) {
    *combined = nullptr;
    ImageHeader* srcMask = src->maskImage;
    ImageHeader* dstMask = dst->maskImage;
    if (!srcMask && !dstMask) return true;
    ImageHeader* model = srcMask ? srcMask : dstMask;
    const int32_t origin = srcMask ? src->origin : dstMask->origin;
    ImageHeader* mask = zarCreateImageHeader(1, 0, ZAR_DEPTH_1U, "GRAY", "GRAY", model->dataOrder,
                                             origin, model->align, w, h, nullptr, nullptr, nullptr,
                                             nullptr);
    if (!mask) {
        reportNoMemory(srcMask ? 436 : 463);
        return false;
    }
    // Cleared, so that a failed combination writes nothing.
    zarAllocateImage(mask, 1, 0);
    if (!mask->imageData) {
        zarDeallocate(mask, ZAR_FREE_HEADER);
        reportNoMemory(srcMask ? 441 : 467);
        return false;
    }
    if (srcMask && dstMask)
        zarAnd(srcMask, dstMask, mask);
    else
        zarCopy(model, mask);
    *combined = mask;
    return true;
}

// The clipped region of a mask image lowers the processed size.
bool fitMask(const ImageHeader* mask, int32_t* w, int32_t* h) {
    RoiChannels region;
    if (!getRoiChannels(mask, &region)) return false;
    if (region.width < *w) *w = region.width;
    if (region.height < *h) *h = region.height;
    return true;
}

// The regions' channels and the processed size (the regions and masks in
// common); false after a report, or for an empty region.
bool fitRegions(Blur* blur) {
    if (!getRoiChannels(blur->dst, &blur->dstRegion)) {
        report(kSite, STATUS_BAD_ALPHA, "bad alpha channel's number", 400);
        return false;
    }
    if (!getRoiChannels(blur->src, &blur->srcRegion)) {
        report(kSite, STATUS_BAD_ALPHA, "bad alpha channel's number", 403);
        return false;
    }
    if (blur->srcRegion.lastChannel - blur->srcRegion.firstChannel !=
        blur->dstRegion.lastChannel - blur->dstRegion.firstChannel) {
        report(kSite, STATUS_BAD_CHANNELS, "bad channel's number", 406);
        return false;
    }
    int32_t w = blur->srcRegion.width < blur->dstRegion.width ? blur->srcRegion.width
                                                              : blur->dstRegion.width;
    int32_t h = blur->srcRegion.height < blur->dstRegion.height ? blur->srcRegion.height
                                                                : blur->dstRegion.height;
    if (blur->src->maskImage && !fitMask(blur->src->maskImage, &w, &h)) {
        report(kSite, STATUS_BAD_ALPHA, "bad alpha channel's number", 409);
        return false;
    }
    if (blur->dst->maskImage && !fitMask(blur->dst->maskImage, &w, &h)) {
        report(kSite, STATUS_BAD_ALPHA, "bad alpha channel's number", 412);
        return false;
    }
    if (w <= 0 || h <= 0) return false;  // empty region: nothing to do
    blur->width = w;
    blur->height = h;
    return true;
}

}  // namespace

void ZAR_STDCALL zarBlur(ImageHeader* srcImage, ImageHeader* dstImage, int32_t nCols, int32_t nRows,
                         int32_t anchorX, int32_t anchorY) {
    if (ZarStatus status = validateHeader(srcImage); status != STATUS_OK) {
        report(kSite, status, "Incorrect Image", 383);
        return;
    }
    if (ZarStatus status = validateHeader(dstImage); status != STATUS_OK) {
        report(kSite, status, "Incorrect Image", 384);
        return;
    }
    if (srcImage->depth != dstImage->depth) {
        report(kSite, STATUS_BAD_ARG, "(srcImage->depth!=dstImage->depth)", 385);
        return;
    }
    if (nRows < 0 || nCols < 0) {
        report(kSite, STATUS_BAD_ARG, "(nRows<0||nCols<0)", 386);
        return;
    }
    if (anchorX < 0 || anchorY < 0) {
        report(kSite, STATUS_BAD_ARG, "(anchorX<0||anchorY<0)", 387);
        return;
    }
    if (anchorX >= nCols || anchorY >= nRows) {
        report(kSite, STATUS_BAD_ARG, "(anchorX>=nCols||anchorY>=nRows)", 388);
        return;
    }
    if (nRows == 1 && nCols == 1) {
        zarCopy(srcImage, dstImage);
        return;
    }

    Blur blur{};
    blur.src = srcImage;
    blur.dst = dstImage;
    blur.nCols = nCols;
    blur.nRows = nRows;
    blur.anchorX = anchorX;
    blur.anchorY = anchorY;
    if (!fitRegions(&blur)) return;
    blur.scale = static_cast<float>(1.0 / (static_cast<double>(nCols) * nRows));

    if (!makeCombinedMask(srcImage, dstImage, blur.width, blur.height, &blur.mask)) return;
    blur.kernel = selectBlurKernel(dstImage->depth, blur.mask != nullptr, &blur.truncating);
    if (blur.kernel && prepareLargeWindow(&blur)) {
        if (!srcImage->tileInfo && !dstImage->tileInfo)
            blurContiguous(blur);
        else if (!dstImage->tileInfo)
            blurSourceTiled(blur);
        else if (srcImage != dstImage)
            blurDestinationTiled(blur);
        else
            blurInPlaceTiled(blur);
    }
    if (blur.mask) zarDeallocate(blur.mask, ZAR_FREE_HEADER | ZAR_FREE_DATA);
    freeRegionCopy(blur.largeData);
}
