// zarFixedFilter and the convolution engine: the region is cut into blocks
// (destination tiles), each block into edge strips whose neighbourhoods cross
// the source's edge (fetched with their border through the transfer engine)
// and an interior read in place, and the rows go to the filter's row kernel.
#include <algorithm>

#include "filter/filter.h"
#include "frame/frame.h"
#include "image/image.h"

namespace {

constexpr ReportSite kSite{"zarFixedFilter", "zarnlf"};

// A mask image's bits for the region: bit (i, j) of the region lies at the
// mask rectangle's origin plus (i, j).
struct MaskPlace {
    const uint8_t* data;
    int32_t step;
    int32_t x, y;
    const uint8_t* row(int32_t j) const { return data + static_cast<ptrdiff_t>(step) * (y + j); }
};

// One pass over the channels: all of them together, or one source channel
// into one destination channel (0-based).
struct Pass {
    bool all;
    int32_t srcChannel, dstChannel;
};

struct Engine {
    ImageHeader* src;
    ImageHeader* dst;
    int32_t filter;
    FilterShape shape;
    int32_t depthIndex;
    RowKernel kernel;
    MaskedStore maskedStore;
    Rect srcRect, dstRect;
    MaskPlace masks[2];
    int32_t maskCount;
    int32_t width, height;  // processed size
};

// Where a block's results go: the plain target (the destination or one of its
// tiles) with the first result at (x, y), and the block's offset in the region.
struct BlockTarget {
    const ImageHeader* image;
    int32_t x, y;
    int32_t ox, oy;
};

// How a row of a pass is laid out for the kernel.
struct RowLayout {
    int32_t count;           // values computed per row
    int32_t elementStep;     // between neighbours
    int32_t storeStep;       // every storeStep-th value is stored
    int32_t pixelStep;       // values from one pixel to the next
    int32_t valuesPerPixel;  // values stored per pixel
    int32_t planes;          // kernel runs, one per plane
};

RowLayout rowLayout(const Engine& e, const Pass& pass, int32_t bw) {
    const int32_t nc = e.src->nChannels;
    const bool interleaved = e.src->dataOrder == ZAR_DATA_ORDER_PIXEL && nc > 1 &&
                             e.depthIndex != kDepth1u;
    if (!interleaved) return {bw, 1, 1, 1, 1, pass.all ? nc : 1};
    if (pass.all) return {bw * nc, nc, 1, nc, nc, 1};
    return {(bw - 1) * nc + 1, nc, nc, nc, 1, 1};
}

// Values per strip of the unmasked kernel: the kernel's working rows of a
// strip (a few dozen kilobytes) stay in the cache while it moves down.
constexpr int32_t kStripValues = 1024;

// Runs the kernel over the pw results per row of job in strips of columns,
// each with its own neighbourhood columns (1-bit rows in one strip).
void filterInStrips(const Engine& e, const Pass& pass, const RowLayout& layout, RowJob job,
                    int32_t pw, void* scratch) {
    const int32_t bytes = bytesPerValue(e.src->depth);
    const int32_t stripPixels = bytes == 0 ? pw : std::max(1, kStripValues / layout.pixelStep);
    const char* src = job.src;
    char* dst = job.dst;
    for (int32_t x = 0; x < pw; x += stripPixels) {
        const RowLayout strip = rowLayout(e, pass, std::min(stripPixels, pw - x));
        const ptrdiff_t offset = static_cast<ptrdiff_t>(x) * layout.pixelStep * bytes;
        job.src = src + offset;
        job.dst = dst + offset;
        job.count = strip.count;
        e.kernel(job, scratch);
    }
}

// Filters the pw x ph results at (i, j) of a block.  The neighbourhood of the
// first of them starts at (sx, sy) of the plain source view.  Masks (one or
// two, 1-bit images included) are applied by the store after the row kernel,
// so the same kernels serve with and without masks.
ZarStatus driveRows(const Engine& e, const Pass& pass, const ImageHeader* source, int32_t sx,
                    int32_t sy, const BlockTarget& target, int32_t i, int32_t j, int32_t pw,
                    int32_t ph) {
    const RowLayout layout = rowLayout(e, pass, pw);
    // The strips of filterInStrips need no more than the whole row.
    const size_t scratchBytes = rowKernelScratch(e.filter, layout.count, layout.elementStep);
    const int32_t bytes = bytesPerValue(e.src->depth);
    const size_t rowBytes = e.maskCount == 0 ? 0
                            : bytes == 0     ? static_cast<size_t>(layout.count + 7) / 8
                                             : static_cast<size_t>(layout.count) * bytes;
    char* scratch = static_cast<char*>(alignedMalloc(scratchBytes + rowBytes));
    if (!scratch) return report(kSite, STATUS_NO_MEMORY, "Out of memory", __LINE__);
    char* rowBuffer = scratch + scratchBytes;

    const int32_t dx = target.x + i, dy = target.y + j;
    const int32_t mx = target.ox + i, my = target.oy + j;
    const MaskPlace& maskA = e.masks[0];
    const MaskPlace& maskB = e.masks[e.maskCount == 2 ? 1 : 0];
    for (int32_t plane = 0; plane < layout.planes; ++plane) {
        const int32_t srcChannel = pass.all ? plane : pass.srcChannel;
        const int32_t dstChannel = pass.all ? plane : pass.dstChannel;
        const ChannelWalk from = channelWalk(source, sx, sy, srcChannel);
        const ChannelWalk to = channelWalk(target.image, dx, dy, dstChannel);
        RowJob job{from.first, from.step,    from.bitX, to.first,           to.step,
                   to.bitX,    layout.count, ph,        layout.elementStep, layout.storeStep};
        if (e.maskCount == 0) {
            filterInStrips(e, pass, layout, job, pw, scratch);
            continue;
        }
        // With masks each row is computed into the row buffer, then stored where
        // the mask bits allow.
        job.rows = 1;
        job.dst = rowBuffer;
        job.dstBit = 0;
        for (int32_t row = 0; row < ph; ++row) {
            job.src = from.first + static_cast<ptrdiff_t>(from.step) * row;
            e.kernel(job, scratch);
            e.maskedStore(rowBuffer, to.first + static_cast<ptrdiff_t>(to.step) * row, to.bitX, pw,
                          layout.pixelStep, layout.valuesPerPixel, maskA.row(my + row),
                          maskA.x + mx, maskB.row(my + row), maskB.x + mx);
        }
    }
    alignedFree(scratch);
    return STATUS_OK;
}

// Fetches the neighbourhoods of the pw x ph results at (i, j) of the block with
// their border and filters them.
ZarStatus filterFetched(const Engine& e, const Pass& pass, const BlockTarget& target, int32_t i,
                        int32_t j, int32_t pw, int32_t ph) {
    if (pw <= 0 || ph <= 0) return STATUS_OK;
    const int32_t width = pw + e.shape.nCols - 1, height = ph + e.shape.nRows - 1;
    int32_t stride = 0;
    char* buffer = copyRegionWithBorder(e.src, e.srcRect.x + target.ox + i - e.shape.anchorX,
                                        e.srcRect.y + target.oy + j - e.shape.anchorY, width,
                                        height, &stride);
    if (!buffer) {
        // A tiled source fails when a tile is refused; a plain one only for memory.
        return e.src->tileInfo ? report(kSite, STATUS_ERROR, "Error get tile to read", __LINE__)
                               : report(kSite, STATUS_NO_MEMORY, "Out of memory", __LINE__);
    }
    const ImageHeader view = memoryView(e.src, buffer, width, height, stride);
    const ZarStatus status = driveRows(e, pass, &view, 0, 0, target, i, j, pw, ph);
    freeRegionCopy(buffer);
    return status;
}

int32_t clampTo(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// One block of bw x bh results.  A plain source is read in place wherever the
// neighbourhood lies inside the image; only the strips along its edges are
// fetched: left, right, then top and bottom of the columns between.
ZarStatus filterBlock(const Engine& e, const Pass& pass, const BlockTarget& target, int32_t bw,
                      int32_t bh) {
    if (e.src->tileInfo) return filterFetched(e, pass, target, 0, 0, bw, bh);
    const FilterShape& s = e.shape;
    const int32_t x0 = e.srcRect.x + target.ox, y0 = e.srcRect.y + target.oy;
    // Results whose neighbourhood is inside: anchorX <= x <= width - nCols + anchorX.
    const int32_t left = clampTo(s.anchorX - x0, 0, bw);
    const int32_t right = clampTo(e.src->width - s.nCols + s.anchorX + 1 - x0, left, bw);
    const int32_t top = clampTo(s.anchorY - y0, 0, bh);
    const int32_t bottom = clampTo(e.src->height - s.nRows + s.anchorY + 1 - y0, top, bh);
    ZarStatus status = filterFetched(e, pass, target, 0, 0, left, bh);
    if (status == STATUS_OK) status = filterFetched(e, pass, target, right, 0, bw - right, bh);
    if (status == STATUS_OK) status = filterFetched(e, pass, target, left, 0, right - left, top);
    if (status == STATUS_OK)
        status = filterFetched(e, pass, target, left, bottom, right - left, bh - bottom);
    if (status == STATUS_OK && right > left && bottom > top)
        status = driveRows(e, pass, e.src, x0 + left - s.anchorX, y0 + top - s.anchorY, target,
                           left, top, right - left, bottom - top);
    return status;
}

// One pass over the region: one block for a plain destination, one per tile
// (tile rows outer) for a tiled one.
ZarStatus filterPass(const Engine& e, const Pass& pass) {
    if (!e.dst->tileInfo)
        return filterBlock(e, pass, {e.dst, e.dstRect.x, e.dstRect.y, 0, 0}, e.width, e.height);
    const TileInfo& tiles = *e.dst->tileInfo;
    ZarStatus status = STATUS_OK;
    forEachTileBlock(
        e.dstRect.x, e.dstRect.y, e.width, e.height, tiles, false, [&](const TileBlock& b) {
            char* tile = requestTile(e.dst, b.column, b.row, ZAR_TILE_WRITE);
            if (!tile) {
                status = report(kSite, STATUS_ERROR, "Error get tile to write", __LINE__);
                return false;
            }
            const ImageHeader view = tileView(e.dst, tile);
            const BlockTarget target{&view, e.dstRect.x + b.ox - b.column * tiles.width,
                                     e.dstRect.y + b.oy - b.row * tiles.height, b.ox, b.oy};
            status = filterBlock(e, pass, target, b.bw, b.bh);
            releaseTile(e.dst, b.column, b.row, tile);
            return status == STATUS_OK;
        });
    return status;
}

void fitRect(const Rect& rect, int32_t* w, int32_t* h) {
    if (rect.width < *w) *w = rect.width;
    if (rect.height < *h) *h = rect.height;
}

void addMask(Engine* e, const ImageHeader* mask, int32_t* w, int32_t* h) {
    if (!mask) return;
    const Rect rect = getRoiRect(mask);
    fitRect(rect, w, h);
    e->masks[e->maskCount++] = {reinterpret_cast<const uint8_t*>(mask->imageData), mask->widthStep,
                                rect.x, rect.y};
}

int32_t coiOf(const ImageHeader* image) { return image->roi ? image->roi->coi : 0; }

int32_t channelsToProcess(const ImageHeader* image) {
    if (coiOf(image) != 0) return 1;
    return image->nChannels - (image->alphaChannel > 0 ? 1 : 0);
}

ZarStatus runEngine(ImageHeader* src, ImageHeader* dst, int32_t filter) {
    Engine e{};
    e.src = src;
    e.dst = dst;
    e.filter = filter;
    e.shape = fixedFilterShape(filter);
    e.depthIndex = filterDepthIndex(src->depth);
    if (e.depthIndex < 0) return STATUS_OK;
    e.kernel = selectRowKernel(filter, e.depthIndex);
    e.maskedStore = selectMaskedStore(e.depthIndex);
    e.srcRect = getRoiRect(src);
    e.dstRect = getRoiRect(dst);
    int32_t w = e.srcRect.width, h = e.srcRect.height;
    addMask(&e, src->maskImage, &w, &h);
    addMask(&e, dst->maskImage, &w, &h);
    fitRect(e.dstRect, &w, &h);
    if (w <= 0 || h <= 0) return STATUS_OK;
    e.width = w;
    e.height = h;

    const int32_t dstCoi = coiOf(dst);
    if (dstCoi != 0) {
        const int32_t srcCoi = coiOf(src);
        return filterPass(e, {false, srcCoi != 0 ? srcCoi - 1 : 0, dstCoi - 1});
    }
    if (src->alphaChannel == 0 && dst->alphaChannel == 0) return filterPass(e, {true, 0, 0});
    // The alpha channel, the last one, is not written.
    for (int32_t c = 0; c < dst->nChannels - 1; ++c)
        if (ZarStatus status = filterPass(e, {false, c, c}); status != STATUS_OK) return status;
    return STATUS_OK;
}

}  // namespace

ZarStatus ZAR_STDCALL zarFixedFilter(ImageHeader* srcImage, ImageHeader* dstImage, int32_t filter) {
    if (ZarStatus status = validateHeader(srcImage); status != STATUS_OK) {
        report(kSite, status, "Incorrect Image", 6165);
        return zarGetStatus();
    }
    if (ZarStatus status = validateHeader(dstImage); status != STATUS_OK) {
        report(kSite, status, "Incorrect Image", 6166);
        return zarGetStatus();
    }
    if (srcImage == dstImage) return report(kSite, STATUS_BAD_ARG, "(srcImage==dstImage)", 6167);
    // These checks report a bad argument but return the code of what is wrong.
    if (srcImage->depth != dstImage->depth) {
        report(kSite, STATUS_BAD_ARG, "srcImage->depth!=dstImage->depth", 6168);
        return STATUS_BAD_DEPTH;
    }
    if (srcImage->nChannels != dstImage->nChannels) {
        report(kSite, STATUS_BAD_ARG, "srcImage->nChannels!=dstImage->nChannels", 6170);
        return STATUS_BAD_CHANNELS;
    }
    if (srcImage->alphaChannel != dstImage->alphaChannel) {
        report(kSite, STATUS_BAD_ARG, "srcImage->alphaChannel!=dstImage->alphaChannel", 6172);
        return STATUS_BAD_ALPHA;
    }
    if (srcImage->depth != ZAR_DEPTH_1U && srcImage->dataOrder != dstImage->dataOrder) {
        report(kSite, STATUS_BAD_ARG, "srcImage->dataOrder!=dstImage->dataOrder", 6182);
        return STATUS_BACKTRACE;
    }
    // The channel checks report and go on; the status word then ends the call.
    if (coiOf(srcImage) > srcImage->nChannels)
        report(kSite, STATUS_BAD_COI, "Interst Channel of input Image more number of channels.",
               6203);
    if (coiOf(dstImage) > dstImage->nChannels)
        report(kSite, STATUS_BAD_COI, "Interst Channel of output Image more number of channels.",
               6208);
    const int32_t channels = channelsToProcess(srcImage);
    if (channels != channelsToProcess(dstImage))
        report(kSite, STATUS_BAD_COI,
               "Number of interset channel input and output Image is not equal.", 6213);
    if (ZarStatus status = zarGetStatus(); status < 0) return status;
    if (channels == 0) return STATUS_OK;
    if (static_cast<uint32_t>(filter) > ZAR_FIXED_SHARPEN_3) {
        report(kSite, STATUS_BAD_ARG, "Unknow filter.", 6283);
        return zarGetStatus();
    }
    if (filter == ZAR_FIXED_SHARPEN_3 && srcImage->depth == ZAR_DEPTH_1U) {
        zarCopy(srcImage, dstImage);
        return STATUS_OK;
    }
    // The engine reports what stops it (a refused tile, no memory) and returns
    // that status; otherwise 0.
    return runEngine(srcImage, dstImage, filter);
}
