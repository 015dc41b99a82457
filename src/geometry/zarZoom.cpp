// zarZoom and the zoom engine it shares with zarResize: scales the source
// region into the destination region in NN, LINEAR or CUBIC mode, shrinking or
// enlarging each axis independently, with masks on both sides and plain or
// tiled images on either side.
//
// The engine works in three stages:
//   1. checks, the mapping factors, the effective mode and the two regions;
//   2. the index and weight tables of the whole destination region, built once,
//      and the combined mask of the whole region (the source mask resized to the
//      destination size, ANDed with the destination's mask);
//   3. the worker, run once on plain images, or once per destination tile or
//      per 64 x 64 block of a tiled source.  Every piece reads the same tables,
//      so every destination pixel has the same source position, fraction and
//      mask bit whatever the cutting: tiled and plain runs give equal pixels.
//
// Choices where the rules leave room:
//   - the source mask is resized once, for the whole destination region, and
//     each piece reads its window of it; the caller's headers (roi pointers of
//     the images and masks included) are never touched;
//   - the processed-channel check runs once, before any tile is asked for;
//   - a tiled source into a tiled destination is read as one block per
//     destination tile piece, into a plain destination as 64 x 64 blocks;
//   - no memory for the tables, working rows or the resized mask reports
//     STATUS_NO_MEMORY "Out of memory"; a source block that cannot be had (a
//     refused tile) reports STATUS_ERROR "Error get tile to read";
//   - the resized source mask starts cleared, so destination pixels that the
//     mask's own region does not reach stay unwritten;
//   - indices are kept inside the source region, which the positions reach only
//     by rounding.
#include <algorithm>
#include <cfenv>
#include <cstring>

#include "frame/frame.h"
#include "geometry/geometry.h"
#include "geometry/zoom.h"
#include "geometry/zoomKernels.h"
#include "image/image.h"

namespace {

constexpr ReportSite kSite{"zarZoom", "zarZoom"};
// Side of the destination blocks when the source is tiled and the destination is not.
constexpr int32_t kBlockSide = 64;
constexpr double kTolerance = 0.00001;

// Pixels of a plain image, of one tile, or of a working copy of a source block.
struct Memory {
    char* data;  // the memory's pixel (originX, originY), channel 0
    int32_t widthStep;
    int64_t planeStride;       // plane order: bytes from one channel plane to the next
    int32_t originX, originY;  // image coordinates of the memory's first pixel
};

Memory plainMemory(const ImageHeader* image) {
    return {image->imageData, image->widthStep,
            static_cast<int64_t>(image->height) * image->widthStep, 0, 0};
}

// Which elements of a pixel are processed.
struct ChannelLayout {
    int32_t pixelStep;  // elements from one pixel to the next in a row
    int32_t first;      // 0-based first processed channel
    int32_t count;      // processed channels
};

bool hasCoi(const ImageHeader* image) { return image->roi && image->roi->coi > 0; }

// The channel of interest alone, or every channel but the alpha channel.
ChannelLayout channelLayout(const ImageHeader* image) {
    ChannelLayout layout;
    layout.pixelStep = image->dataOrder == ZAR_DATA_ORDER_PIXEL ? image->nChannels : 1;
    layout.first = firstChannel(image);
    layout.count = hasCoi(image) ? 1 : image->nChannels - (image->alphaChannel != 0 ? 1 : 0);
    return layout;
}

// An image's region: its roi clipped to the image, cut to its mask's region.
// Returns false when the region is empty.
bool clippedRegion(const ImageHeader* image, Rect* region) {
    *region = getRoiRect(image);
    if (region->width <= 0 || region->height <= 0) return false;
    if (image->maskImage) {
        RoiSize mask = getRoiSize(image->maskImage, true);
        if (mask.empty()) return false;
        region->width = std::min(region->width, mask.width);
        region->height = std::min(region->height, mask.height);
    }
    return true;
}

// Source pixels per destination pixel along an axis of the whole region: 1.0 for
// an unscaled axis; otherwise the first destination position falls on the first
// source pixel and the real end of the destination on the last one.
double mappingFactor(double scale, int32_t sourceSize, int32_t dstPart, int32_t srcPart) {
    if (scale == 1.0) return 1.0;
    double realSize = static_cast<double>(dstPart) * sourceSize / srcPart;
    return realSize > 1.0 ? (sourceSize - 1) / (realSize - 1.0) : 0.0;
}

// nearest(v - 0.5 + 0.00001) of a size, held to the int32 range so that extreme
// factors cannot wrap.
int32_t flooredSize(double v) {
    v = v - 0.5 + kTolerance;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return nearestInt(v);
}

// Destination pixels along an axis: the scaled source size, at least 1, at most
// the destination region.
int32_t destinationSize(int32_t sourceSize, double scale, int32_t dstRegionSize) {
    return std::min(dstRegionSize, std::max(1, flooredSize(sourceSize / scale)));
}

// One axis of the index and weight tables: for every destination position the
// absolute source index and, for LINEAR and CUBIC, its weight (a float fraction,
// or the three cubic coefficients).
struct AxisTable {
    int32_t* index = nullptr;
    char* weights = nullptr;
    int32_t weightSize = 0;
};

// The floor of a position with a tolerance of 0.00001, kept inside the region.
inline int32_t regionFloor(double pos, int32_t regionSize) {
    return std::clamp(nearestInt(pos - 0.5 + kTolerance), 0, regionSize - 1);
}

// LINEAR: the loop has no branch (it vectorises); indices never decrease, so
// only the last positions can reach the region's last pixel, which is read
// from the pixel before it.
void buildLinearAxis(AxisTable* table, int32_t count, double factor, int32_t regionStart,
                     int32_t regionSize) {
    float* fractions = reinterpret_cast<float*>(table->weights);
    for (int32_t i = 0; i < count; ++i) {
        const double pos = i * factor;
        const int32_t index = regionFloor(pos, regionSize);
        table->index[i] = regionStart + index;
        fractions[i] = static_cast<float>(pos - index);
    }
    for (int32_t i = count - 1; i >= 0 && table->index[i] == regionStart + regionSize - 1; --i) {
        --table->index[i];
        fractions[i] = 1.0f;
        if (table->index[i] < 0) {
            // a one-pixel region at the image's left (top) edge: the same
            // value, read without stepping outside the image
            table->index[i] = 0;
            fractions[i] = 0.0f;
        }
    }
}

void buildAxis(AxisTable* table, int32_t mode, int32_t count, double factor, int32_t regionStart,
               int32_t regionSize, int32_t imageSize) {
    if (mode == ZAR_INTER_LINEAR)
        return buildLinearAxis(table, count, factor, regionStart, regionSize);
    for (int32_t i = 0; i < count; ++i) {
        double pos = i * factor;
        if (mode == ZAR_INTER_NN) {
            int32_t index = std::clamp(nearestInt(pos + kTolerance), 0, regionSize - 1);
            table->index[i] = regionStart + index;
            continue;
        }
        int32_t index = regionFloor(pos, regionSize);
        int32_t absolute = regionStart + index;
        // CUBIC: the four taps absolute - 1 .. absolute + 2 stay inside the image
        float fraction;
        if (absolute >= imageSize - 1) {
            absolute = imageSize - 3;
            fraction = 2.0f;
        } else {
            if (absolute == 0)
                absolute = 1;
            else if (absolute == imageSize - 2)
                absolute -= 1;
            fraction = static_cast<float>(pos - (absolute - regionStart));
        }
        CubicWeights w = cubicWeights(fraction);
        std::memcpy(table->weights + static_cast<size_t>(i) * table->weightSize, &w, sizeof w);
        table->index[i] = absolute;
    }
}

// The mask bits of the destination region: region pixel (c, r) is bit x + c of
// row y + r.
struct MaskPlane {
    const char* data = nullptr;
    int32_t widthStep = 0;
    int32_t x = 0, y = 0;
};

// A rectangle of the destination region: columns [c0, c1), rows [r0, r1).
struct Piece {
    int32_t c0, c1, r0, r1;
};

// Everything one call fixes before the first pixel: formats, regions, tables,
// the mask and the scratch rows that the pieces share.
struct ZoomCall {
    int32_t mode;
    int32_t depth;
    bool planeOrder;
    ChannelLayout src, dst;
    Rect srcRegion;
    int32_t dstX, dstY, width, height;  // destination region
    AxisTable cols, rows;
    MaskPlane mask;
    ZoomKernels kernels;
    int32_t workRows;              // 0 (NN), 2 (LINEAR), 4 (CUBIC)
    int32_t tapBefore;             // source rows or columns read before the index
    int32_t tapAfter;              // and after it
    int32_t* colOffset = nullptr;  // per piece: element offsets into a source row
    // per piece, LINEAR and CUBIC: the offset and the weights of every element
    // (column and channel) of a working row, for the horizontal pass
    int32_t* elemOffset = nullptr;
    float* elemWeights = nullptr;
    float* work[4] = {};  // working rows
    // per piece, LINEAR in one pass: the groups of the elements
    ColumnGroup* groups = nullptr;
    ImageHeader* resizedMask = nullptr;
};

void releaseCall(ZoomCall* z) {
    alignedFree(z->cols.index);
    alignedFree(z->cols.weights);
    alignedFree(z->rows.index);
    alignedFree(z->rows.weights);
    alignedFree(z->colOffset);
    alignedFree(z->elemOffset);
    alignedFree(z->elemWeights);
    for (float* row : z->work) alignedFree(row);
    alignedFree(z->groups);
    if (z->resizedMask) zarDeallocate(z->resizedMask, ZAR_FREE_HEADER | ZAR_FREE_DATA);
}

// Allocates and fills the tables and the scratch rows; false when out of memory.
bool prepareTables(ZoomCall* z, int32_t srcImageWidth, int32_t srcImageHeight, double factorX,
                   double factorY) {
    int32_t weightSize = z->mode == ZAR_INTER_CUBIC ? static_cast<int32_t>(sizeof(CubicWeights))
                                                    : static_cast<int32_t>(sizeof(float));
    z->cols.weightSize = z->rows.weightSize = weightSize;
    z->cols.index = static_cast<int32_t*>(alignedMalloc(sizeof(int32_t) * z->width));
    z->rows.index = static_cast<int32_t*>(alignedMalloc(sizeof(int32_t) * z->height));
    z->colOffset = static_cast<int32_t*>(alignedMalloc(sizeof(int32_t) * z->width));
    if (!z->cols.index || !z->rows.index || !z->colOffset) return false;
    // element tables of a piece: offsets and their groups for every mode
    const int32_t perRow = z->planeOrder ? 1 : z->src.count;
    const size_t elements = static_cast<size_t>(z->width) * perRow;
    z->elemOffset = static_cast<int32_t*>(alignedMalloc(sizeof(int32_t) * elements));
    z->groups = static_cast<ColumnGroup*>(
        alignedMalloc(sizeof(ColumnGroup) * (elements / kColumnGroup + 1)));
    if (!z->elemOffset || !z->groups) return false;
    if (z->mode != ZAR_INTER_NN) {
        z->cols.weights = static_cast<char*>(
            alignedMalloc(static_cast<size_t>(weightSize) * z->width));
        z->rows.weights = static_cast<char*>(
            alignedMalloc(static_cast<size_t>(weightSize) * z->height));
        if (!z->cols.weights || !z->rows.weights) return false;
        size_t weightsPerElement = z->mode == ZAR_INTER_CUBIC ? 3 : 1;
        z->elemWeights = static_cast<float*>(
            alignedMalloc(sizeof(float) * elements * weightsPerElement));
        if (!z->elemWeights) return false;
        for (int32_t i = 0; i < z->workRows; ++i) {
            z->work[i] = static_cast<float*>(
                alignedMalloc(sizeof(float) * static_cast<size_t>(z->width) * perRow));
            if (!z->work[i]) return false;
        }
    }
    buildAxis(&z->cols, z->mode, z->width, factorX, z->srcRegion.x, z->srcRegion.width,
              srcImageWidth);
    buildAxis(&z->rows, z->mode, z->height, factorY, z->srcRegion.y, z->srcRegion.height,
              srcImageHeight);
    return true;
}

// The element tables of a piece's n columns from column c0 on: every channel of
// a column reads at the column's offset plus its channel, with the column's
// weights; the cubic coefficients go into three arrays one after the other.
void expandColumns(ZoomCall& z, int32_t c0, int32_t n, int32_t channels) {
    const int32_t elements = n * channels;
    if (z.mode == ZAR_INTER_LINEAR) {
        const float* fx = reinterpret_cast<const float*>(z.cols.weights) + c0;
        int32_t* offsets = z.elemOffset;
        float* weights = z.elemWeights;
        for (int32_t c = 0; c < n; ++c)
            for (int32_t k = 0; k < channels; ++k) {
                offsets[c * channels + k] = z.colOffset[c] + k;
                weights[c * channels + k] = fx[c];
            }
        return;
    }
    for (int32_t c = 0; c < n; ++c) {
        float w[3];
        std::memcpy(w, z.cols.weights + static_cast<size_t>(c0 + c) * z.cols.weightSize,
                    z.cols.weightSize);
        for (int32_t k = 0; k < channels; ++k) {
            const int32_t e = c * channels + k;
            z.elemOffset[e] = z.colOffset[c] + k;
            z.elemWeights[e] = w[0];
            if (z.mode == ZAR_INTER_CUBIC) {
                z.elemWeights[elements + e] = w[1];
                z.elemWeights[2 * elements + e] = w[2];
            }
        }
    }
}

// LINEAR in one pass over one plane (g) or the pixels of a piece: blocks of
// destination rows that read the same two source rows.
void runFusedLinear(ZoomCall& z, const Memory& sm, const Memory& dm, const Piece& p,
                    const LinearColumns& cols, int32_t g, int32_t dstStart) {
    constexpr int32_t kMaxBlock = 8;
    const int32_t bpv = bytesPerValue(z.depth);
    const char* srcBase = z.planeOrder ? sm.data + (z.src.first + g) * sm.planeStride
                                       : sm.data + z.src.first * bpv;
    char* dstBase = z.planeOrder ? dm.data + (z.dst.first + g) * dm.planeStride
                                 : dm.data + z.dst.first * bpv;
    const float* fys = reinterpret_cast<const float*>(z.rows.weights);
    char* dstRows[kMaxBlock];
    for (int32_t r = p.r0; r < p.r1;) {
        const int32_t index = z.rows.index[r];
        int32_t rows = 0;
        for (; rows < kMaxBlock && r + rows < p.r1 && z.rows.index[r + rows] == index; ++rows)
            dstRows[rows] = dstBase +
                            static_cast<int64_t>(z.dstY + r + rows - dm.originY) * dm.widthStep +
                            static_cast<int64_t>(dstStart) * bpv;
        const char* top = srcBase + static_cast<int64_t>(index - sm.originY) * sm.widthStep;
        z.kernels.fused(top, top + sm.widthStep, cols, fys + r, dstRows, rows);
        r += rows;
    }
}

// The worker: one piece of the destination region from source memory into
// destination memory.  Plane-ordered images go plane by plane.
void runPiece(ZoomCall& z, const Memory& sm, const Memory& dm, const Piece& p) {
    const int32_t n = p.c1 - p.c0;
    const int32_t originX = sm.originX, srcPixelStep = z.src.pixelStep;
    const int32_t* columns = z.cols.index + p.c0;
    int32_t* colOffset = z.colOffset;
    for (int32_t c = 0; c < n; ++c) colOffset[c] = (columns[c] - originX) * srcPixelStep;
    const int32_t bpv = bytesPerValue(z.depth);
    const int32_t groups = z.planeOrder ? z.src.count : 1;
    const int32_t perGroup = z.planeOrder ? 1 : z.src.count;
    const int32_t dstStart = (z.dstX + p.c0 - dm.originX) * z.dst.pixelStep;
    const int32_t elements = n * perGroup;
    const bool packed = !z.mask.data && z.dst.pixelStep == perGroup;
    if (z.mode != ZAR_INTER_NN) {
        expandColumns(z, p.c0, n, perGroup);
    } else if (z.kernels.gather && packed) {
        for (int32_t e = 0; e < elements; ++e)
            z.elemOffset[e] = z.colOffset[e / perGroup] + e % perGroup;
        groupColumns(z.elemOffset, elements, 0, false, z.groups);
    }
    if (z.kernels.fused && packed) {
        // byte lanes serve 8-bit rows where the kernel cannot permute bytes
        // across the whole window
        const bool byteLanes = z.depth == ZAR_DEPTH_8U && !hasAvx512Vbmi();
        groupColumns(z.elemOffset, elements, z.src.pixelStep, byteLanes, z.groups);
        LinearColumns cols{z.elemOffset, z.elemWeights, z.groups, elements, z.src.pixelStep};
        // every source row is read up to its last tap, the last element's
        // (indices never decrease along an axis)
        const int32_t readable = z.elemOffset[elements - 1] + z.src.pixelStep + 1;
        cols.wholeGroups = wholeWindowGroups(z.groups, elements, readable);
        cols.pairedGroups = pairedRunGroups(z.groups, elements);
        for (int32_t g = 0; g < groups; ++g) runFusedLinear(z, sm, dm, p, cols, g, dstStart);
        return;
    }

    for (int32_t g = 0; g < groups; ++g) {
        const char* srcBase = z.planeOrder ? sm.data + (z.src.first + g) * sm.planeStride
                                           : sm.data + z.src.first * bpv;
        char* dstBase = z.planeOrder ? dm.data + (z.dst.first + g) * dm.planeStride
                                     : dm.data + z.dst.first * bpv;
        auto srcRow = [&](int32_t sourceRow) {
            return srcBase + static_cast<int64_t>(sourceRow - sm.originY) * sm.widthStep;
        };
        float* work[4] = {z.work[0], z.work[1], z.work[2], z.work[3]};
        bool haveRows = false;
        int32_t rowsIndex = 0;  // source index the working rows were made for

        for (int32_t r = p.r0; r < p.r1; ++r) {
            char* dstRow = dstBase + static_cast<int64_t>(z.dstY + r - dm.originY) * dm.widthStep;
            MaskRow mask{nullptr, 0};
            if (z.mask.data)
                mask = {z.mask.data + static_cast<int64_t>(z.mask.y + r) * z.mask.widthStep,
                        z.mask.x + p.c0};
            const int32_t index = z.rows.index[r];
            if (z.mode == ZAR_INTER_NN && z.kernels.gather && packed) {
                z.kernels.gather(srcRow(index), dstRow + static_cast<int64_t>(dstStart) * bpv,
                                 z.elemOffset, z.groups, elements);
                continue;
            }
            if (z.mode == ZAR_INTER_NN) {
                z.kernels.nearest(srcRow(index), dstRow, dstStart, z.colOffset, n, perGroup,
                                  z.dst.pixelStep, mask);
                continue;
            }
            // Working rows carry over: only the rows the window moved onto are made.
            int32_t shift = haveRows ? index - rowsIndex : z.workRows;
            if (shift < 0 || shift > z.workRows) shift = z.workRows;
            if (shift > 0) {
                std::rotate(work, work + shift, work + z.workRows);
                for (int32_t j = z.workRows - shift; j < z.workRows; ++j)
                    z.kernels.horizontal(srcRow(index - z.tapBefore + j), work[j], z.elemOffset,
                                         z.elemWeights, elements, z.src.pixelStep);
            }
            haveRows = true;
            rowsIndex = index;
            z.kernels.vertical(work, z.rows.weights + static_cast<size_t>(r) * z.rows.weightSize,
                               dstRow, dstStart, n, perGroup, z.dst.pixelStep, mask);
        }
    }
}

// A piece read from a tiled source: the source rectangle its positions need,
// widened by the taps of the mode, is copied into a working image first.
bool runBlock(ZoomCall& z, ImageHeader* srcImage, const Memory& dm, const Piece& p) {
    // indices never decrease along an axis, so the first and last give the span
    int32_t x0 = z.cols.index[p.c0] - z.tapBefore;
    int32_t x1 = z.cols.index[p.c1 - 1] + z.tapAfter;
    int32_t y0 = z.rows.index[p.r0] - z.tapBefore;
    int32_t y1 = z.rows.index[p.r1 - 1] + z.tapAfter;
    int32_t blockHeight = y1 - y0 + 1;
    int32_t stride = 0;
    char* block = copyRegionWithBorder(srcImage, x0, y0, x1 - x0 + 1, blockHeight, &stride);
    if (!block || zarGetStatus() < 0) {
        freeRegionCopy(block);
        if (!block) report(kSite, STATUS_ERROR, "Error get tile to read", __LINE__);
        return false;
    }
    Memory sm{block, stride, static_cast<int64_t>(blockHeight) * stride, x0, y0};
    runPiece(z, sm, dm, p);
    freeRegionCopy(block);
    return true;
}

// Every destination tile the region touches, tile rows top to bottom and tiles
// left to right, each got for writing, filled and released.
void runTiledDestination(ZoomCall& z, ImageHeader* srcImage, ImageHeader* dstImage, bool srcTiled,
                         int32_t refusedLine) {
    const TileInfo* info = dstImage->tileInfo;
    const int32_t step = tileWidthStep(dstImage);
    const Memory srcPlain = srcTiled ? Memory{} : plainMemory(srcImage);
    const Rect region{z.dstX, z.dstY, z.width, z.height};
    TileWalk walk = walkTilesForWriting(dstImage, region, [&](const TilePiece& tile) {
        Piece p{tile.area.x - z.dstX, tile.area.x + tile.area.width - z.dstX, tile.area.y - z.dstY,
                tile.area.y + tile.area.height - z.dstY};
        Memory dm{tile.tileData, step, static_cast<int64_t>(info->height) * step,
                  tile.column * info->width, tile.row * info->height};
        if (srcTiled) return runBlock(z, srcImage, dm, p);
        runPiece(z, srcPlain, dm, p);
        return true;
    });
    if (walk == TileWalk::Refused)
        report(kSite, STATUS_ERROR, "Error get tile to write", refusedLine);
}

// A tiled source into a plain destination: 64 x 64 blocks on a grid laid on the
// destination region.
void runSourceBlocks(ZoomCall& z, ImageHeader* srcImage, ImageHeader* dstImage) {
    const Memory dm = plainMemory(dstImage);
    for (int32_t r0 = 0; r0 < z.height; r0 += kBlockSide) {
        for (int32_t c0 = 0; c0 < z.width; c0 += kBlockSide) {
            Piece p{c0, std::min(z.width, c0 + kBlockSide), r0,
                    std::min(z.height, r0 + kBlockSide)};
            if (!runBlock(z, srcImage, dm, p)) return;
        }
    }
}

// Brings the source mask to the destination size (NN resize) and ANDs the
// destination's mask into it; without a source mask the destination's mask is
// used as it is.  False after a report.
bool prepareMask(ZoomCall* z, ImageHeader* srcImage, ImageHeader* dstImage, double kx, double ky) {
    ImageHeader* srcMask = srcImage->maskImage;
    ImageHeader* dstMask = dstImage->maskImage;
    if (!srcMask) {
        if (dstMask) {
            const Roi* roi = dstMask->roi;
            z->mask = {dstMask->imageData, dstMask->widthStep, roi ? roi->xOffset : 0,
                       roi ? roi->yOffset : 0};
        }
        return true;
    }
    ImageHeader* resized = zarCreateImageHeader(1, 0, ZAR_DEPTH_1U, "GRAY", "GRAY",
                                                ZAR_DATA_ORDER_PIXEL, srcMask->origin, 4, z->width,
                                                z->height, nullptr, nullptr, nullptr, nullptr);
    // Cleared first, so that pixels the resize does not reach stay masked out.
    if (resized) zarAllocateImage(resized, 1, 0);
    z->resizedMask = resized;
    if (zarGetStatus() < 0) {
        report(kSite, STATUS_BACKTRACE, "", 373);
        return false;
    }
    if (!resized || !resized->imageData) {
        report(kSite, STATUS_NO_MEMORY, "Out of memory", __LINE__);
        return false;
    }
    int32_t xSrc = flooredSize(kx * z->width);
    if (xSrc < 1) xSrc = flooredSize(z->width / kx);
    int32_t ySrc = flooredSize(ky * z->height);
    if (ySrc < 1) ySrc = flooredSize(z->height / ky);
    zarResize(srcMask, resized, z->width, xSrc, z->height, ySrc, ZAR_INTER_NN);
    if (zarGetStatus() < 0) {
        report(kSite, STATUS_BACKTRACE, "", 391);
        return false;
    }
    if (dstMask) {
        zarAnd(resized, dstMask, resized);
        if (zarGetStatus() < 0) {
            report(kSite, STATUS_BACKTRACE, "", 399);
            return false;
        }
    }
    z->mask = {resized->imageData, resized->widthStep, 0, 0};
    return true;
}

bool checkArguments(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst, int32_t xSrc,
                    int32_t yDst, int32_t ySrc, int32_t interpolate) {
    ZarStatus status = validateHeader(srcImage);
    if (status != STATUS_OK) {
        report(kSite, status, "Incorrect Image", 705);
        return false;
    }
    status = validateHeader(dstImage);
    if (status != STATUS_OK) {
        report(kSite, status, "Incorrect Image", 706);
        return false;
    }
    if (interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR &&
        interpolate != ZAR_INTER_CUBIC)
        report(kSite, STATUS_BAD_ARG,
               "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && "
               "interpolate != ZAR_INTER_CUBIC",
               707);
    if (srcImage->depth != dstImage->depth)
        report(kSite, STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 708);
    if (srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U &&
        srcImage->depth != ZAR_DEPTH_16U)
        report(kSite, STATUS_BAD_ARG,
               "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && "
               "srcImage->depth != ZAR_DEPTH_16U",
               709);
    if (srcImage->dataOrder != dstImage->dataOrder)
        report(kSite, STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 710);
    if (xDst < 1 || xSrc < 1) report(kSite, STATUS_BAD_ARG, "xDst <= 0 || xSrc <= 0", 711);
    if (yDst < 1 || ySrc < 1) report(kSite, STATUS_BAD_ARG, "yDst <= 0 || ySrc <= 0", 712);
    // the status word is not cleared on entry: an earlier failure stops here too
    return zarGetStatus() >= 0;
}

// 1-bit images always take NN; images narrower or lower than 2 too; CUBIC needs
// four source rows and columns, else it becomes LINEAR.
int32_t effectiveMode(const ImageHeader* srcImage, int32_t interpolate) {
    if (srcImage->depth == ZAR_DEPTH_1U) return ZAR_INTER_NN;
    if (srcImage->width < 2 || srcImage->height < 2) return ZAR_INTER_NN;
    if (interpolate == ZAR_INTER_CUBIC && (srcImage->width < 4 || srcImage->height < 4))
        return ZAR_INTER_LINEAR;
    return interpolate;
}

bool onlyAlpha(const ImageHeader* image) {
    return image->alphaChannel != 0 && image->nChannels == 1;
}

// Processed channels: equal counts without a channel of interest, otherwise one
// channel on each side.
bool checkChannels(const ChannelLayout& src, const ChannelLayout& dst, bool anyCoi) {
    if (!anyCoi && src.count != dst.count) {
        report(kSite, STATUS_ERROR,
               "Processed channels of srcImage != Processed channels of dstImage", 450);
        return false;
    }
    if (anyCoi && (src.count != 1 || dst.count != 1)) {
        report(kSite, STATUS_ERROR,
               "Processed channels of srcImage != Processed channels of dstImage", 453);
        return false;
    }
    return true;
}

}  // namespace

void zoomEngine(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst, int32_t xSrc,
                int32_t yDst, int32_t ySrc, int32_t interpolate) {
    if (!checkArguments(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate)) return;

    const double kx = static_cast<double>(xSrc) / xDst;
    const double ky = static_cast<double>(ySrc) / yDst;
    ZoomCall z{};
    const bool srcRegionFound = clippedRegion(srcImage, &z.srcRegion);
    const double factorX = mappingFactor(kx, z.srcRegion.width, xDst, xSrc);
    const double factorY = mappingFactor(ky, z.srcRegion.height, yDst, ySrc);

    if (srcImage == dstImage) {
        report(kSite, STATUS_BAD_ARG, "This function isn`t in-plase function", 728);
        return;
    }
    z.mode = effectiveMode(srcImage, interpolate);
    if (onlyAlpha(srcImage) || onlyAlpha(dstImage)) return;

    Rect dstRegion;
    if (!srcRegionFound || !clippedRegion(dstImage, &dstRegion)) return;
    z.src = channelLayout(srcImage);
    z.dst = channelLayout(dstImage);
    if (!checkChannels(z.src, z.dst, hasCoi(srcImage) || hasCoi(dstImage))) return;

    z.depth = srcImage->depth;
    z.planeOrder = srcImage->dataOrder == ZAR_DATA_ORDER_PLANE;
    z.dstX = dstRegion.x;
    z.dstY = dstRegion.y;
    z.width = destinationSize(z.srcRegion.width, kx, dstRegion.width);
    z.height = destinationSize(z.srcRegion.height, ky, dstRegion.height);
    z.workRows = z.mode == ZAR_INTER_LINEAR ? 2 : (z.mode == ZAR_INTER_CUBIC ? 4 : 0);
    z.tapBefore = z.mode == ZAR_INTER_CUBIC ? 1 : 0;
    z.tapAfter = z.workRows == 0 ? 0 : z.workRows - 1 - z.tapBefore;

    if (!prepareTables(&z, srcImage->width, srcImage->height, factorX, factorY)) {
        report(kSite, STATUS_NO_MEMORY, "Out of memory", __LINE__);
        releaseCall(&z);
        return;
    }
    if (!prepareMask(&z, srcImage, dstImage, kx, ky)) {
        releaseCall(&z);
        return;
    }
    // The fast linear vertical pass floors in single precision, which equals the
    // rule's double-precision rounding in the default round-to-nearest mode only;
    // under an application's other mode the plain kernels keep the rule.
    const bool defaultRounding = std::fegetround() == FE_TONEAREST;
    z.kernels = selectZoomKernels(z.depth, z.mode, z.mask.data != nullptr,
                                  defaultRounding ? isaLevel() : IsaLevel::plain);

    const bool srcTiled = srcImage->tileInfo != nullptr;
    const bool dstTiled = dstImage->tileInfo != nullptr;
    if (dstTiled)
        runTiledDestination(z, srcImage, dstImage, srcTiled, srcTiled ? 884 : 1360);
    else if (srcTiled)
        runSourceBlocks(z, srcImage, dstImage);
    else
        runPiece(z, plainMemory(srcImage), plainMemory(dstImage), Piece{0, z.width, 0, z.height});
    releaseCall(&z);
}

void ZAR_STDCALL zarZoom(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst, int32_t xSrc,
                         int32_t yDst, int32_t ySrc, int32_t interpolate) {
    if (xDst < xSrc || yDst < ySrc) {
        report(kSite, STATUS_BAD_ARG, "xDst < xSrc || yDst < ySrc", 1381);
        return;
    }
    zoomEngine(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
}
