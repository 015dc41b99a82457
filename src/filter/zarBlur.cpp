// zarBlur: the box filter.  Every result is the mean of an nCols x nRows
// neighbourhood placed with its anchor cell on the pixel.  The neighbourhood
// is read from a working block that the transfer engine fills, border
// included; the region is walked whole or block by block along the tiles.
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
};

// The source neighbourhoods of the bw x bh results at offset (ox, oy) of the
// region, with their border, in a buffer of the source's format.
struct WorkBlock {
    char* data = nullptr;
    ImageHeader view{};
    ~WorkBlock() { freeRegionCopy(data); }
};

bool fetchWorkBlock(const Blur& blur, int32_t ox, int32_t oy, int32_t bw, int32_t bh,
                    WorkBlock* block) {
    const int32_t width = bw + blur.nCols, height = bh + blur.nRows;
    int32_t stride = 0;
    block->data = copyRegionWithBorder(blur.src, blur.srcRegion.x + ox - blur.anchorX,
                                       blur.srcRegion.y + oy - blur.anchorY, width, height,
                                       &stride);
    if (!block->data) return false;
    block->view = memoryView(blur.src, block->data, width, height, stride);
    return true;
}

// Runs the kernel over one block: results at (dx, dy) of the plain target, mask
// bits at the block's offset in the combined mask.
bool runKernel(const Blur& blur, const WorkBlock& block, const ImageHeader* target, int32_t dx,
               int32_t dy, int32_t ox, int32_t oy, int32_t bw, int32_t bh) {
    BlurJob job;
    job.src = channelWalk(&block.view, 0, 0, blur.srcRegion.firstChannel - 1);
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
    if (blur.truncating) {
        RoundingScope towardZero(FE_TOWARDZERO);
        return blur.kernel(job);
    }
    return blur.kernel(job);
}

// Way 1: both images in memory, one block.
void blurContiguous(const Blur& blur) {
    WorkBlock block;
    if (!fetchWorkBlock(blur, 0, 0, blur.width, blur.height, &block)) {
        reportNoMemory(kTemporaryFailLine);
        return;
    }
    if (!runKernel(blur, block, blur.dst, blur.dstRegion.x, blur.dstRegion.y, 0, 0, blur.width,
                   blur.height))
        reportNoMemory(kKernelFailLineContiguous);
}

// Way 2: tiled source, destination in memory; blocks follow the source's tiles.
void blurSourceTiled(const Blur& blur) {
    forEachTileBlock(blur.srcRegion.x, blur.srcRegion.y, blur.width, blur.height,
                     *blur.src->tileInfo, true, [&](const TileBlock& b) {
                         WorkBlock block;
                         if (!fetchWorkBlock(blur, b.ox, b.oy, b.bw, b.bh, &block)) {
                             reportNoMemory(kTemporaryFailLine);
                             return false;
                         }
                         if (!runKernel(blur, block, blur.dst, blur.dstRegion.x + b.ox,
                                        blur.dstRegion.y + b.oy, b.ox, b.oy, b.bw, b.bh)) {
                             reportNoMemory(kKernelFailLineSourceTiled);
                             return false;
                         }
                         return true;
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
                         if (!fetchWorkBlock(blur, b.ox, b.oy, b.bw, b.bh, &block)) {
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
                             blur.dstRegion.y + b.oy - b.row * tiles.height, b.ox, b.oy, b.bw,
                             b.bh);
                         releaseTile(blur.dst, b.column, b.row, tile);
                         if (!done) reportNoMemory(kKernelFailLineDestinationTiled);
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
            if (!fetchWorkBlock(blur, b.ox, b.oy, b.bw, b.bh, &block)) {
                reportNoMemory(kTemporaryFailLine);
                return false;
            }
            const ImageHeader view = blurTileView(image, slot->pixels);
            if (!runKernel(blur, block, &view, blur.dstRegion.x + b.ox - b.column * tiles.width,
                           blur.dstRegion.y + b.oy - b.row * tiles.height, b.ox, b.oy, b.bw,
                           b.bh)) {
                reportNoMemory(kKernelFailLineInPlace);
                return false;
            }
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
    if (!getRoiChannels(dstImage, &blur.dstRegion)) {
        report(kSite, STATUS_BAD_ALPHA, "bad alpha channel's number", 400);
        return;
    }
    if (!getRoiChannels(srcImage, &blur.srcRegion)) {
        report(kSite, STATUS_BAD_ALPHA, "bad alpha channel's number", 403);
        return;
    }
    if (blur.srcRegion.lastChannel - blur.srcRegion.firstChannel !=
        blur.dstRegion.lastChannel - blur.dstRegion.firstChannel) {
        report(kSite, STATUS_BAD_CHANNELS, "bad channel's number", 406);
        return;
    }
    int32_t w = blur.srcRegion.width < blur.dstRegion.width ? blur.srcRegion.width
                                                            : blur.dstRegion.width;
    int32_t h = blur.srcRegion.height < blur.dstRegion.height ? blur.srcRegion.height
                                                              : blur.dstRegion.height;
    if (srcImage->maskImage && !fitMask(srcImage->maskImage, &w, &h)) {
        report(kSite, STATUS_BAD_ALPHA, "bad alpha channel's number", 409);
        return;
    }
    if (dstImage->maskImage && !fitMask(dstImage->maskImage, &w, &h)) {
        report(kSite, STATUS_BAD_ALPHA, "bad alpha channel's number", 412);
        return;
    }
    if (w <= 0 || h <= 0) return;  // empty region: nothing to do
    blur.width = w;
    blur.height = h;
    blur.scale = static_cast<float>(1.0 / (static_cast<double>(nCols) * nRows));

    if (!makeCombinedMask(srcImage, dstImage, w, h, &blur.mask)) return;
    blur.kernel = selectBlurKernel(dstImage->depth, blur.mask != nullptr, &blur.truncating);
    if (blur.kernel) {
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
}
