// The tile walks of Set and Copy: a region cut by the tile grid into pieces,
// each run through zarSet or zarCopy on working headers that describe the
// piece.  The callers in zarsce report how a walk ended.
#include "pixel/tiledCopy.h"

#include "image/region.h"

namespace {

// The region's offset (raised to 0 if negative) and channel of interest.
struct RoiStart {
    int32_t x, y, coi;
};
RoiStart roiStart(const ImageHeader* image) {
    const Roi* roi = image->roi;
    if (roi == nullptr) return {0, 0, 0};
    return {roi->xOffset < 0 ? 0 : roi->xOffset, roi->yOffset < 0 ? 0 : roi->yOffset, roi->coi};
}

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
    work->imageSize = viewImageSize(
        work->widthStep, tile->height,
        tiled->dataOrder == ZAR_DATA_ORDER_PLANE ? tiled->nChannels : 1);
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

}  // namespace

TiledEnd setTiles(ImageHeader* dstImage, const RoiSize& size, int32_t fillValue) {
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
            if (tile == nullptr) return TiledEnd::RefusedWrite;
            const Piece piece = pieceAt(span, c, r, size);
            work.place(piece, true);
            work.header.imageData = tile;
            mask.place(piece, false);
            zarSet(&work.header, fillValue);
            releaseTile(dstImage, column, row, tile);
        }
    return TiledEnd::Done;
}

TiledEnd copyTiles(ImageHeader* srcImage, ImageHeader* dstImage, ImageHeader* mask,
                   const RoiSize& size) {
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
            if (tile == nullptr) return dstTiled ? TiledEnd::RefusedWrite : TiledEnd::RefusedRead;
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
                if (buffer == nullptr || zarGetStatus() < 0) {
                    // The destination tile is given back unchanged.
                    freeRegionCopy(buffer);
                    releaseTile(dstImage, column, row, tile);
                    return TiledEnd::Failed;
                }
                ImageHeader& h = srcWork.header;
                h.imageData = buffer;
                h.width = p.width;
                h.height = p.height;
                h.widthStep = stride;
                h.imageSize = viewImageSize(
                    stride, p.height,
                    srcImage->dataOrder == ZAR_DATA_ORDER_PLANE ? srcImage->nChannels : 1);
                srcWork.roi = Roi{srcWork.start.coi, 0, 0, p.width, p.height};
            }
            workMask.place(p, false);
            zarCopy(&srcWork.header, &dstWork.header);
            releaseTile(tiled, column, row, tile);
            freeRegionCopy(buffer);
        }
    return TiledEnd::Done;
}
