// zarAdd, and the machinery it shares with the logical operations: operand
// bookkeeping, the mask combiner, the tiled region walk and the common run.
#include <algorithm>
#include <climits>

#include "arith/arith.h"
#include "arith/kernels.h"
#include "frame/frame.h"

// ------------------------------------------------------------ operands

namespace {
bool hasCoi(const ImageHeader* image) { return image->roi && image->roi->coi >= 1; }
}  // namespace

int32_t processedChannels(const ImageHeader* image) {
    if (hasCoi(image)) return 1;
    return image->nChannels - (image->alphaChannel != 0 ? 1 : 0);
}

int32_t channelIndex(const ImageHeader* image) { return hasCoi(image) ? image->roi->coi - 1 : 0; }

bool isTiled(const ImageHeader* image) { return image->tileInfo != nullptr; }

KernelArgs makeKernelArgs(ImageHeader* srcA, ImageHeader* srcB, ImageHeader* dst, ImageHeader* mask,
                          uint32_t pattern) {
    KernelArgs k{};
    k.srcA = srcA;
    k.srcB = srcB;
    k.dst = dst;
    k.mask = mask;
    k.channelA = channelIndex(srcA);
    k.channelB = srcB ? channelIndex(srcB) : 0;
    k.channelDst = channelIndex(dst);
    k.channels = processedChannels(dst);
    k.allChannels = !hasCoi(srcA) && !(srcB && hasCoi(srcB)) && !hasCoi(dst);
    k.alpha = srcA->alphaChannel != 0 || (srcB && srcB->alphaChannel != 0) ||
              dst->alphaChannel != 0;
    k.pattern = pattern;
    return k;
}

// -------------------------------------------------------- mask combiner

MaskCombination combineMasks(ImageHeader* maskA, ImageHeader* maskB, ImageHeader* maskDst) {
    ImageHeader* masks[3];
    int count = 0;
    for (ImageHeader* mask : {maskA, maskB, maskDst})
        if (mask) masks[count++] = mask;
    if (count <= 1) return {count ? masks[0] : nullptr, kMaskAsIs};

    RoiOrigin origins[3];
    int32_t width = INT32_MAX, height = INT32_MAX;
    for (int i = 0; i < count; ++i) {
        origins[i] = getRoiOrigin(masks[i], 0);
        width = std::min(width, origins[i].width);
        height = std::min(height, origins[i].height);
    }
    if (width == 0 || height == 0) return {nullptr, kMaskEmpty};

    static const char kModel[4] = {'G', 'R', 'A', 'Y'};
    static const char kSequence[4] = {'G', 0, 0, 0};
    ImageHeader* combined = zarCreateImageHeader(
        1, 0, ZAR_DEPTH_1U, kModel, kSequence, ZAR_DATA_ORDER_PLANE, masks[0]->origin,
        ZAR_ALIGN_8BYTES, width, height, nullptr, nullptr, nullptr, nullptr);
    if (!combined) return {nullptr, kMaskNoMemory};
    zarAllocateImage(combined, 0, 0);
    if (!combined->imageData) {
        zarDeallocate(combined, ZAR_FREE_HEADER);
        return {nullptr, kMaskNoMemory};
    }

    // Row by row: the AND of the first two masks, then of the third into it.
    const AndBits both(0);
    auto row = [](const RoiOrigin& o, const ImageHeader* mask, int32_t y) {
        return reinterpret_cast<const uint8_t*>(o.address) +
               static_cast<int64_t>(y) * mask->widthStep;
    };
    for (int32_t y = 0; y < height; ++y) {
        auto out = reinterpret_cast<uint8_t*>(combined->imageData) +
                   static_cast<int64_t>(y) * combined->widthStep;
        combineBitRow<false>(out, 0, row(origins[0], masks[0], y), origins[0].bitOffset,
                             row(origins[1], masks[1], y), origins[1].bitOffset, nullptr, 0, width,
                             both);
        if (count == 3)
            combineBitRow<false>(out, 0, out, 0, row(origins[2], masks[2], y), origins[2].bitOffset,
                                 nullptr, 0, width, both);
    }
    return {combined, kMaskCombined};
}

void releaseMaskCombination(const MaskCombination& combination) {
    if (combination.code == kMaskCombined)
        zarDeallocate(combination.mask, ZAR_FREE_HEADER | ZAR_FREE_DATA);
}

// ----------------------------------------------------------- tiled walk

namespace {

// One operand of the walk: its caller's header, a working header whose roi is
// set to each piece, and for a tiled image the tile it currently holds.
struct WalkImage {
    ImageHeader* image = nullptr;
    ImageHeader work{};
    Roi roi{};
    Rect rect{};
    bool tiled = false;
    int32_t tileWidth = 0, tileHeight = 0;
    int32_t column = 0, row = 0;
    char* tile = nullptr;
    int32_t mode = ZAR_TILE_READ;
    WalkOperand name = WalkOperand::none;
};

void prepareWalkImage(WalkImage& w, ImageHeader* image, int32_t mode, WalkOperand name) {
    w.image = image;
    w.work = *image;
    w.rect = getRoiRect(image);
    w.roi = {image->roi ? image->roi->coi : 0, 0, 0, 0, 0};
    w.work.roi = &w.roi;
    w.work.maskImage = nullptr;
    w.mode = mode;
    w.name = name;
    w.tiled = isTiled(image);
    if (!w.tiled) return;
    // A tile is laid out like a plain image of the tile's size; its imageSize
    // is the tile's too, so that a whole-buffer form never runs past a tile.
    w.tileWidth = image->tileInfo->width;
    w.tileHeight = image->tileInfo->height;
    w.work.width = w.tileWidth;
    w.work.height = w.tileHeight;
    w.work.widthStep = tileWidthStep(image);
    w.work.imageSize = viewImageSize(
        w.work.widthStep, w.tileHeight,
        image->dataOrder == ZAR_DATA_ORDER_PLANE ? image->nChannels : 1);
    w.work.tileInfo = nullptr;
    w.work.imageData = nullptr;
}

void releaseTile(WalkImage& w) {
    if (!w.tile) return;
    char* table[1] = {w.tile};
    releaseTileRow(w.image, table, 1, w.column, w.row, 1);
    w.tile = nullptr;
}

// Makes w hold tile (column, row): a tile it holds already is kept, another
// one is given back first.  False when the tile was refused.
bool holdTile(WalkImage& w, int32_t column, int32_t row) {
    if (w.tile && w.column == column && w.row == row) return true;
    releaseTile(w);
    w.column = column;
    w.row = row;
    char* table[1] = {nullptr};
    const bool delivered = fetchTileRow(w.image, table, 1, column, row, 1, w.mode) == 0;
    w.tile = delivered ? table[0] : nullptr;
    w.work.imageData = w.tile;
    return delivered;
}

// The working roi of one piece: in tile coordinates for a tiled image.
void setPiece(WalkImage& w, int32_t dx, int32_t dy, int32_t width, int32_t height) {
    w.roi.xOffset = w.rect.x + dx - (w.tiled ? w.column * w.tileWidth : 0);
    w.roi.yOffset = w.rect.y + dy - (w.tiled ? w.row * w.tileHeight : 0);
    w.roi.width = width;
    w.roi.height = height;
}

// The operands of a walk: one slot per distinct operand (source A, source B,
// destination, in request order), which of them are tiled, and the mask's
// working header.  Not to be copied: the pointers point into slots.
struct Walk {
    WalkImage slots[3];
    WalkImage *a = nullptr, *b = nullptr, *d = nullptr;
    WalkImage* tiled[3] = {};
    WalkImage* distinct[3] = {};
    int32_t tiledCount = 0, distinctCount = 0;
    ImageHeader maskWork{};
    Roi maskRoi{};
    Rect maskRect{0, 0, INT32_MAX, INT32_MAX};
};

// A source given as the destination's own header shares the destination's
// slot (so a refused tile of it is the destination's); one header given as
// both sources has two slots and asks for its tiles twice.
void setUpWalk(const KernelArgs& args, Walk& w) {
    w.d = &w.slots[2];
    prepareWalkImage(*w.d, args.dst, ZAR_TILE_WRITE, WalkOperand::dst);
    w.a = w.d;
    if (args.srcA != args.dst) {
        w.a = &w.slots[0];
        prepareWalkImage(*w.a, args.srcA, ZAR_TILE_READ, WalkOperand::srcA);
    }
    if (args.srcB) {
        w.b = w.d;
        if (args.srcB != args.dst) {
            w.b = &w.slots[1];
            prepareWalkImage(*w.b, args.srcB, ZAR_TILE_READ, WalkOperand::srcB);
        }
    }
    for (WalkImage* slot : {w.a != w.d ? w.a : nullptr, w.b != w.d ? w.b : nullptr, w.d}) {
        if (!slot) continue;
        w.distinct[w.distinctCount++] = slot;
        if (slot->tiled) w.tiled[w.tiledCount++] = slot;
    }
    if (args.mask) {
        w.maskWork = *args.mask;
        w.maskRect = getRoiRect(args.mask);
        w.maskRoi.coi = args.mask->roi ? args.mask->roi->coi : 0;
        w.maskWork.roi = &w.maskRoi;
        w.maskWork.maskImage = nullptr;
    }
}

}  // namespace

WalkOperand walkTiles(const KernelArgs& args, RegionKernel kernel) {
    Walk w;
    setUpWalk(args, w);
    WalkImage** const tiled = w.tiled;
    const int32_t tiledCount = w.tiledCount;
    int32_t width = w.maskRect.width, height = w.maskRect.height;
    for (int32_t i = 0; i < w.distinctCount; ++i) {
        width = std::min(width, w.distinct[i]->rect.width);
        height = std::min(height, w.distinct[i]->rect.height);
    }
    if (width <= 0 || height <= 0) return WalkOperand::none;

    KernelArgs piece = args;
    piece.srcA = &w.a->work;
    piece.srcB = w.b ? &w.b->work : nullptr;
    piece.dst = &w.d->work;
    piece.mask = args.mask ? &w.maskWork : nullptr;

    // Gives back every tile still held, then names the operand refused.
    auto stop = [&](const WalkImage& refused) {
        for (int32_t i = 0; i < tiledCount; ++i) releaseTile(*tiled[i]);
        return refused.name;
    };

    // Each row of pieces starts at the tile column of each rectangle's left
    // edge (every tile was given back at the end of the previous row); a
    // piece ends where any operand's tile ends.
    int32_t pieceHeight = 0;
    for (int32_t dy = 0; dy < height; dy += pieceHeight) {
        pieceHeight = height - dy;
        for (int32_t i = 0; i < tiledCount; ++i) {
            WalkImage& t = *tiled[i];
            const int32_t y = t.rect.y + dy;
            if (!holdTile(t, t.rect.x / t.tileWidth, y / t.tileHeight)) return stop(t);
            pieceHeight = std::min(pieceHeight, tileEnd(t.row, t.tileHeight, INT32_MAX) - y);
        }
        int32_t pieceWidth = 0;
        for (int32_t dx = 0; dx < width; dx += pieceWidth) {
            pieceWidth = width - dx;
            for (int32_t i = 0; i < tiledCount; ++i) {
                WalkImage& t = *tiled[i];
                const int32_t x = t.rect.x + dx;
                if (!holdTile(t, x / t.tileWidth, t.row)) return stop(t);
                pieceWidth = std::min(pieceWidth, tileEnd(t.column, t.tileWidth, INT32_MAX) - x);
            }
            for (int32_t i = 0; i < w.distinctCount; ++i)
                setPiece(*w.distinct[i], dx, dy, pieceWidth, pieceHeight);
            w.maskRoi = {w.maskRoi.coi, w.maskRect.x + dx, w.maskRect.y + dy, pieceWidth,
                         pieceHeight};
            kernel(piece);
        }
        for (int32_t i = 0; i < tiledCount; ++i) releaseTile(*tiled[i]);
    }
    return WalkOperand::none;
}

// ------------------------------------------------------ operation runs

const RelationTexts kTwoSourceRelations = {
    "(srcImageA->depth != dstImage->depth)",
    "(srcImageB->depth != dstImage->depth)",
    "(srcImageA->dataOrder != dstImage->dataOrder)",
    "(srcImageB->dataOrder != dstImage->dataOrder)",
    "(nChSrcA != nChDst)",
    "(nChSrcB != nChDst)",
};

const TileContexts kTwoSourceTiles = {
    "(srcImageA->tileInfo->tileData == ((void*)(0)))",
    "(srcImageB->tileInfo->tileData == ((void*)(0)))",
    "(dstImage->tileInfo->tileData == ((void*)(0)))",
};

Failure checkOperands(const ImageHeader* srcA, const ImageHeader* srcB, const ImageHeader* dst,
                      bool orderFor1Bit, const RelationTexts& texts) {
    const bool twoSources = texts.depthB != nullptr;
    ZarStatus status = validateHeader(srcA);
    if (!status && twoSources) status = validateHeader(srcB);
    if (!status) status = validateHeader(dst);
    if (status) return {status, "Incorrect Image"};
    if (srcA->depth != dst->depth) return {STATUS_BAD_ARG, texts.depthA};
    if (twoSources && dst->depth != srcB->depth) return {STATUS_BAD_ARG, texts.depthB};
    if (orderFor1Bit || srcA->depth != ZAR_DEPTH_1U) {
        if (srcA->dataOrder != dst->dataOrder) return {STATUS_BAD_ARG, texts.orderA};
        if (twoSources && dst->dataOrder != srcB->dataOrder) return {STATUS_BAD_ARG, texts.orderB};
    }
    const int32_t channelsDst = processedChannels(dst);
    if (processedChannels(srcA) != channelsDst) return {STATUS_BAD_ARG, texts.channelsA};
    if (twoSources && processedChannels(srcB) != channelsDst)
        return {STATUS_BAD_ARG, texts.channelsB};
    return {STATUS_OK, nullptr};
}

Failure runOperation(ImageHeader* srcA, ImageHeader* srcB, ImageHeader* dst, uint32_t pattern,
                     KernelChooser choose, RegionKernel wholeBuffer,
                     const TileContexts& tileContexts) {
    const MaskCombination masks = combineMasks(srcA->maskImage, srcB ? srcB->maskImage : nullptr,
                                               dst->maskImage);
    if (masks.code == kMaskEmpty) return {STATUS_OK, nullptr};
    if (masks.code == kMaskNoMemory) return {STATUS_NO_MEMORY, "Out of memory"};

    Failure result{STATUS_OK, nullptr};
    const RegionKernel kernel = choose(dst->depth, masks.mask != nullptr);
    if (!kernel) {
        result = {STATUS_BAD_ARG, "This function does not support depth 32F"};
    } else {
        const KernelArgs args = makeKernelArgs(srcA, srcB, dst, masks.mask, pattern);
        if (!isTiled(srcA) && !(srcB && isTiled(srcB)) && !isTiled(dst)) {
            if (wholeBuffer && wholeBufferLayout(args))
                wholeBuffer(args);
            else
                kernel(args);
        } else {
            switch (walkTiles(args, kernel)) {
                case WalkOperand::srcA:
                    result = {STATUS_BAD_ARG, tileContexts.srcA};
                    break;
                case WalkOperand::srcB:
                    result = {STATUS_BAD_ARG, tileContexts.srcB};
                    break;
                case WalkOperand::dst:
                    result = {STATUS_BAD_ARG, tileContexts.dst};
                    break;
                case WalkOperand::none:
                    break;
            }
        }
    }
    releaseMaskCombination(masks);
    return result;
}

Failure runLogical(ImageHeader* srcA, ImageHeader* srcB, ImageHeader* dst, KernelChooser choose) {
    const Failure failure = checkOperands(srcA, srcB, dst, false, kTwoSourceRelations);
    if (failure.failed()) return failure;
    return runOperation(srcA, srcB, dst, 0, choose, nullptr, kTwoSourceTiles);
}

// ----------------------------------------------------------------- zarAdd

namespace {

template <class T>
RegionKernel addKernel(bool masked) {
    return masked ? &sampleRegion<SaturatedAdd, T, T, true, false>
                  : &sampleRegion<SaturatedAdd, T, T, false, true>;
}

// Six depths, unmasked and masked; 1-bit images never get here (zarOr).
RegionKernel chooseAddKernel(int32_t depth, bool masked) {
    switch (depth) {
        case ZAR_DEPTH_8U:
            return addKernel<uint8_t>(masked);
        case ZAR_DEPTH_8S:
            return addKernel<int8_t>(masked);
        case ZAR_DEPTH_16U:
            return addKernel<uint16_t>(masked);
        case ZAR_DEPTH_16S:
            return addKernel<int16_t>(masked);
        case ZAR_DEPTH_32S:
            return addKernel<int32_t>(masked);
        case ZAR_DEPTH_32F:
            return addKernel<float>(masked);
        default:
            return nullptr;
    }
}

}  // namespace

constexpr ReportSite kSite{"zarAdd", "zaradd"};

void ZAR_STDCALL zarAdd(ImageHeader* srcImageA, ImageHeader* srcImageB, ImageHeader* dstImage) {
    if (!srcImageA) {
        report(kSite, STATUS_BAD_ARG, "srcImageA==0", __LINE__);
        return;
    }
    // 1-bit addition saturates at 1: it is the OR of the images.
    if (srcImageA->depth == ZAR_DEPTH_1U) {
        zarOr(srcImageA, srcImageB, dstImage);
        return;
    }
    Failure failure = checkOperands(srcImageA, srcImageB, dstImage, true, kTwoSourceRelations);
    if (!failure.failed())
        failure = runOperation(srcImageA, srcImageB, dstImage, 0, chooseAddKernel, nullptr,
                               kTwoSourceTiles);
    if (failure.failed()) report(kSite, failure.status, failure.context, __LINE__);
}
