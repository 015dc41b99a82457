// Set, SetFP and Copy: fill a region with a value, copy a region, on plain and
// tiled images, under the channel of interest, alpha channel and masks.
#include <bit>

#include "frame/frame.h"
#include "image/image.h"
#include "image/region.h"
#include "pixel/pixel.h"

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

// The region's offset (raised to 0 if negative) and channel of interest.
struct RoiStart {
    int32_t x, y, coi;
};
RoiStart roiStart(const ImageHeader* image) {
    const Roi* roi = image->roi;
    if (roi == nullptr) return {0, 0, 0};
    return {roi->xOffset < 0 ? 0 : roi->xOffset, roi->yOffset < 0 ? 0 : roi->yOffset, roi->coi};
}

// ------------------------------------------------------------- tile pieces

// The pieces of a region cut by a tile grid: the first column (row) starts
// inside its tile, the last may end inside one, the others are whole tiles.
struct Piece {
    int32_t xInTile, yInTile;  // offset inside the tile
    int32_t width, height;
    int32_t xDistance, yDistance;  // from the region's first pixel
};

int32_t pieceExtent(int32_t index, int32_t count, int32_t offset, int32_t tile, int32_t extent) {
    if (count == 1) return extent;
    if (index == 0) return tile - offset;
    if (index == count - 1) return (offset + extent - 1) % tile + 1;
    return tile;
}

int32_t pieceDistance(int32_t index, int32_t offset, int32_t tile) {
    return index == 0 ? 0 : tile - offset + (index - 1) * tile;
}

Piece pieceAt(const TileSpan& span, int32_t column, int32_t row, const RoiSize& size) {
    Piece p;
    p.xInTile = column == 0 ? span.xInTile : 0;
    p.yInTile = row == 0 ? span.yInTile : 0;
    p.width = pieceExtent(column, span.columns, span.xInTile, span.tileWidth, size.width);
    p.height = pieceExtent(row, span.rows, span.yInTile, span.tileHeight, size.height);
    p.xDistance = pieceDistance(column, span.xInTile, span.tileWidth);
    p.yDistance = pieceDistance(row, span.yInTile, span.tileHeight);
    return p;
}

// A working header that describes one tile of a tiled image as a plain image.
void describeTile(ImageHeader* work, const ImageHeader* tiled) {
    const TileInfo* tile = tiled->tileInfo;
    work->width = tile->width;
    work->height = tile->height;
    work->widthStep = tileWidthStep(tiled);
    work->imageSize = work->widthStep * tile->height *
                      (tiled->dataOrder == ZAR_DATA_ORDER_PLANE ? tiled->nChannels : 1);
    work->tileInfo = nullptr;
    work->imageData = nullptr;
    work->imageDataBlock = nullptr;
}

char* requestTile(ImageHeader* image, int32_t column, int32_t row, int32_t mode) {
    image->tileInfo->callBack(image, column, row, mode);
    return image->tileInfo->tileData;
}

void releaseTile(ImageHeader* image, int32_t column, int32_t row, char* tile) {
    image->tileInfo->tileData = tile;
    image->tileInfo->callBack(image, column, row, ZAR_TILE_RELEASE);
}

// A working copy of a header with its own region record, for the pieces of a
// tiled run: a tiled image's copy describes one tile (its pixels set per
// piece), a plain image's copy keeps its pixels.  The copy has no mask.
struct WorkingHeader {
    ImageHeader header{};
    Roi roi{};
    RoiStart start{};
    // keepCoi false: coi 0, as for a mask.
    void init(const ImageHeader* image, bool keepCoi) {
        header = *image;
        start = roiStart(image);
        if (!keepCoi) start.coi = 0;
        roi = Roi{start.coi, start.x, start.y, 1, 1};
        header.roi = &roi;
        header.maskImage = nullptr;
        if (image->tileInfo != nullptr) describeTile(&header, image);
    }
    // The region of a piece: inside the tile, or moved along with the pieces.
    void place(const Piece& p, bool inTile) {
        if (inTile)
            roi = Roi{start.coi, p.xInTile, p.yInTile, p.width, p.height};
        else
            roi = Roi{start.coi, start.x + p.xDistance, start.y + p.yDistance, p.width, p.height};
    }
};

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
    const TileSpan span = getTileSpan(dstImage, size.height, size.width);
    WorkingHeader work, mask;
    work.init(dstImage, true);
    if (dstImage->maskImage != nullptr) {
        mask.init(dstImage->maskImage, false);
        work.header.maskImage = &mask.header;
    }
    for (int32_t r = 0; r < span.rows; ++r)
        for (int32_t c = 0; c < span.columns; ++c) {
            const int32_t column = span.firstColumn + c, row = span.firstRow + r;
            char* tile = requestTile(dstImage, column, row, ZAR_TILE_WRITE);
            if (tile == nullptr) {
                report(kSet, STATUS_ERROR, "Error get tile to write", __LINE__);
                return;
            }
            const Piece piece = pieceAt(span, c, r, size);
            work.place(piece, true);
            work.header.imageData = tile;
            mask.place(piece, false);
            zarSet(&work.header, fillValue);
            releaseTile(dstImage, column, row, tile);
        }
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
    // has no region) has nothing to copy; the working headers below carry a
    // region and could no longer tell.
    if (isAlphaOnly(srcImage) || isAlphaOnly(dstImage)) return;
    const bool srcTiled = srcImage->tileInfo != nullptr;
    const bool dstTiled = dstImage->tileInfo != nullptr;
    const TileSpan span = getTileSpan(dstTiled ? dstImage : srcImage, size.height, size.width);
    WorkingHeader srcWork, dstWork, workMask;
    srcWork.init(srcImage, true);
    dstWork.init(dstImage, true);
    if (mask != nullptr) {
        workMask.init(mask, false);
        dstWork.header.maskImage = &workMask.header;
    }

    ImageHeader* const tiled = dstTiled ? dstImage : srcImage;
    ImageHeader* const tiledWork = dstTiled ? &dstWork.header : &srcWork.header;
    for (int32_t r = 0; r < span.rows; ++r)
        for (int32_t c = 0; c < span.columns; ++c) {
            const int32_t column = span.firstColumn + c, row = span.firstRow + r;
            const Piece p = pieceAt(span, c, r, size);
            char* tile = requestTile(tiled, column, row, dstTiled ? ZAR_TILE_WRITE : ZAR_TILE_READ);
            if (tile == nullptr) {
                report(kCopy, STATUS_ERROR,
                       dstTiled ? "Error get tile to write" : "Error get tile to read", __LINE__);
                return;
            }
            tiledWork->imageData = tile;
            dstWork.place(p, dstTiled);
            srcWork.place(p, !dstTiled);
            char* buffer = nullptr;
            if (srcTiled && dstTiled) {
                // The source piece, wherever its own tiles lie, through the
                // transfer engine.
                int32_t stride = 0;
                buffer = copyRegionWithBorder(srcImage, srcWork.roi.xOffset, srcWork.roi.yOffset,
                                              p.width, p.height, &stride);
                if (buffer == nullptr || statusFailed()) {
                    // The destination tile is given back unchanged.
                    freeRegionCopy(buffer);
                    releaseTile(dstImage, column, row, tile);
                    report(kCopy, STATUS_BACKTRACE, "", __LINE__);
                    return;
                }
                ImageHeader& h = srcWork.header;
                h.imageData = buffer;
                h.width = p.width;
                h.height = p.height;
                h.widthStep = stride;
                h.imageSize = stride * p.height *
                              (srcImage->dataOrder == ZAR_DATA_ORDER_PLANE ? srcImage->nChannels
                                                                           : 1);
                srcWork.roi = Roi{srcWork.start.coi, 0, 0, p.width, p.height};
            }
            workMask.place(p, false);
            zarCopy(&srcWork.header, &dstWork.header);
            releaseTile(tiled, column, row, tile);
            freeRegionCopy(buffer);
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
