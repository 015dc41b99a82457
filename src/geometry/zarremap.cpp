// Remap: fills the destination region by sampling the source at positions read
// per destination pixel from two single-precision coordinate maps.
#include <algorithm>
#include <cfenv>
#include <cstring>

#include "frame/frame.h"
#include "geometry/geometry.h"
#include "geometry/remapKernels.h"

namespace {

constexpr ReportSite kSite{"zarRemap", "zarremap"};

// ----------------------------------------------------------------- worker

// Processed channels: the channel of interest alone, else every channel but alpha.
int32_t processedChannels(const ImageHeader* image) {
    if (image->roi && image->roi->coi > 0) return 1;
    return image->nChannels - (image->alphaChannel ? 1 : 0);
}
// Byte offset of channel k's first value from imageData.
intptr_t channelOffset(const ImageHeader* image, int32_t k) {
    return image->dataOrder == ZAR_DATA_ORDER_PLANE ? intptr_t{k} * image->height * image->widthStep
                                                    : intptr_t{k} * bytesPerValue(image->depth);
}
intptr_t channelStep(const ImageHeader* image) { return channelOffset(image, 1); }
intptr_t pixelStep(const ImageHeader* image) {
    const int32_t value = bytesPerValue(image->depth);
    return image->dataOrder == ZAR_DATA_ORDER_PLANE ? value : intptr_t{value} * image->nChannels;
}

// One past the last byte of an image's pixels (the last row of its last plane).
const char* pixelsEnd(const ImageHeader* image) {
    const int64_t planes = image->dataOrder == ZAR_DATA_ORDER_PLANE ? image->nChannels : 1;
    return image->imageData + (planes * image->height - 1) * image->widthStep +
           image->width * pixelStep(image);
}

// One plain source, two plain maps and one plain destination.  False after
// a report.
bool remapWorker(const ImageHeader* src, const ImageHeader* xMap, const ImageHeader* yMap,
                 const ImageHeader* dst, int32_t mode) {
    const RoiSize size = getCommonRoiSize(dst, xMap, yMap, true);
    if (size.empty()) return true;
    RoiBounds bounds;
    if (!getRoiBounds(src, true, &bounds)) return true;
    if (processedChannels(src) != processedChannels(dst)) {
        report(kSite, STATUS_BAD_ARG,
               "Number of processed channels of srcImage != Number of processed channels "
               "of dstImage",
               799);
        return false;
    }
    const RoiOrigin dstOrigin = getRoiOrigin(dst, firstChannel(dst));
    const RoiOrigin xOrigin = getRoiOrigin(xMap, 0), yOrigin = getRoiOrigin(yMap, 0);

    RemapJob job{};
    job.src = src->imageData + channelOffset(src, firstChannel(src));
    job.srcEnd = pixelsEnd(src);
    job.srcChannelStep = channelStep(src);
    job.srcPixelStep = pixelStep(src);
    job.srcRowStep = src->widthStep;
    job.dst = dstOrigin.address;
    job.dstBit = dstOrigin.bitOffset;
    job.dstChannelStep = channelStep(dst);
    job.dstPixelStep = pixelStep(dst);
    job.dstRowStep = dst->widthStep;
    job.xMap = xOrigin.address;
    job.yMap = yOrigin.address;
    job.xMapStep = xMap->widthStep;
    job.yMapStep = yMap->widthStep;
    job.channels = processedChannels(src);
    job.width = size.width;
    job.height = size.height;
    job.srcWidth = src->width;
    job.srcHeight = src->height;
    job.x1 = bounds.x1;
    job.y1 = bounds.y1;
    job.lowX = floatBits(static_cast<float>(bounds.x0));
    job.highX = floatBits(static_cast<float>(bounds.x1));
    job.lowY = floatBits(static_cast<float>(bounds.y0));
    job.highY = floatBits(static_cast<float>(bounds.y1));

    if (src->depth == ZAR_DEPTH_1U) {
        remapBits(job);
        return true;
    }
    const bool planes = src->dataOrder == ZAR_DATA_ORDER_PLANE &&
                        !(src->nChannels == 1 && dst->nChannels == 1);
    // The vector kernels round positions as the default rounding mode does;
    // under an application's other mode the plain kernels keep the rule.
    const IsaLevel level = std::fegetround() == FE_TONEAREST ? isaLevel() : IsaLevel::plain;
    kRemapKernels[(src->depth == ZAR_DEPTH_16U ? 6 : 0) + (planes ? 3 : 0) + mode].variants.pick(
        level)(job);
    return true;
}

// A map's piece for the destination piece at (column, row) of the processed
// region, as a plain image of the piece's size.
struct MapPiece {
    char* data = nullptr;
    ImageHeader header{};
    ~MapPiece() { freeRegionCopy(data); }
    bool take(ImageHeader* map, const Rect& piece, int32_t column, int32_t row) {
        const Rect region = getRoiRect(map);
        int32_t stride = 0;
        data = copyRegionWithBorder(map, region.x + column, region.y + row, piece.width,
                                    piece.height, &stride);
        if (!data) return false;
        header = memoryView(map, data, piece.width, piece.height, stride);
        return true;
    }
};

// Some image is tiled: gather a tiled source whole, walk the destination's
// tile grid (one piece for a plain destination) and run the worker on plain
// stand-ins for each piece.
void remapTiled(ImageHeader* src, ImageHeader* xMap, ImageHeader* yMap, ImageHeader* dst,
                int32_t mode, const RoiSize& size) {
    char* gathered = nullptr;
    ImageHeader srcView = *src;
    if (src->tileInfo) {
        int32_t stride = 0;
        gathered = copyRegionWithBorder(src, 0, 0, src->width, src->height, &stride);
        if (!gathered) {
            report(kSite, STATUS_BACKTRACE, "", 672);
            return;
        }
        srcView = memoryView(src, gathered, src->width, src->height, stride);
        srcView.roi = src->roi;
    }
    const Rect dstRect = getRoiRect(dst);
    const Rect region{dstRect.x, dstRect.y, size.width, size.height};
    int32_t failedLine = 0;
    auto piece = [&](const Rect& area, const ImageHeader* dstPiece) {
        MapPiece xs, ys;
        if (!xs.take(xMap, area, area.x - region.x, area.y - region.y)) {
            failedLine = 766;
            return false;
        }
        if (!ys.take(yMap, area, area.x - region.x, area.y - region.y)) {
            failedLine = 775;
            return false;
        }
        return remapWorker(&srcView, &xs.header, &ys.header, dstPiece, mode);
    };
    if (!dst->tileInfo) {
        Roi roi{dst->roi ? dst->roi->coi : 0, region.x, region.y, region.width, region.height};
        ImageHeader dstView = *dst;
        dstView.roi = &roi;
        piece(region, &dstView);
    } else {
        const TileWalk walk = walkTilesForWriting(dst, region, [&](TilePiece& tile) {
            ImageHeader dstView = tileView(dst, tile.tileData);
            dstView.roi = &tile.roi;
            return piece(tile.area, &dstView);
        });
        if (walk == TileWalk::Refused) {
            freeRegionCopy(gathered);
            report(kSite, STATUS_ERROR, "Error get tile to write", 757);
            return;
        }
    }
    if (failedLine) report(kSite, STATUS_BACKTRACE, "", failedLine);
    freeRegionCopy(gathered);
}

// An image without a roi whose only channel is alpha has nothing to process.
bool onlyAlpha(const ImageHeader* image) {
    return !image->roi && image->nChannels == 1 && image->alphaChannel != 0;
}

}  // namespace

void ZAR_STDCALL zarRemap(ImageHeader* srcImage, ImageHeader* xMap, ImageHeader* yMap,
                          ImageHeader* dstImage, int32_t interpolate) {
    auto bad = [](const char* context, int32_t line) {
        report(kSite, STATUS_BAD_ARG, context, line);
    };
    if (ZarStatus s = validateHeader(srcImage)) {
        report(kSite, s, "Incorrect Image", 858);
        return;
    }
    if (ZarStatus s = validateHeader(dstImage)) {
        report(kSite, s, "Incorrect Image", 859);
        return;
    }
    if (ZarStatus s = validateHeader(xMap)) {
        report(kSite, s, "Incorrect Image", 860);
        return;
    }
    if (ZarStatus s = validateHeader(yMap)) {
        report(kSite, s, "Incorrect Image", 861);
        return;
    }
    if (srcImage->depth != dstImage->depth) bad("srcImage->depth != dstImage->depth", 862);
    if (srcImage->origin != dstImage->origin) bad("srcImage->origin != dstImage->origin", 862);
    if (srcImage->depth != ZAR_DEPTH_1U && srcImage->dataOrder != dstImage->dataOrder &&
        !(srcImage->nChannels == 1 && dstImage->nChannels == 1))
        bad("srcImage->dataOrder != dstImage->dataOrder", 862);
    if ((srcImage->depth & ZAR_DEPTH_SIGN) || srcImage->depth == ZAR_DEPTH_32F)
        bad("(srcImage->depth & ZAR_DEPTH_SIGN) || (srcImage->depth == ZAR_DEPTH_32F)", 863);
    if (xMap->depth != ZAR_DEPTH_32F || xMap->nChannels != 1 || xMap->alphaChannel != 0)
        bad("xMap->depth != ZAR_DEPTH_32F || xMap->nChannels != 1 || xMap->alphaChannel != 0", 864);
    if (yMap->depth != ZAR_DEPTH_32F || yMap->nChannels != 1 || yMap->alphaChannel != 0)
        bad("yMap->depth != ZAR_DEPTH_32F || yMap->nChannels != 1 || yMap->alphaChannel != 0", 865);
    if (srcImage == dstImage) bad("This function is not in-place function", 867);
    if (zarGetStatus() < 0) return;
    // The value 16 may be added to any mode; it has no effect.
    int32_t mode = interpolate >= 16 ? interpolate - 16 : interpolate;
    if (mode != ZAR_INTER_NN && mode != ZAR_INTER_LINEAR && mode != ZAR_INTER_CUBIC) {
        bad("interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && "
            "interpolate != ZAR_INTER_CUBIC",
            869);
        return;
    }
    if (srcImage->depth == ZAR_DEPTH_1U || srcImage->width == 1 || srcImage->height == 1)
        mode = ZAR_INTER_NN;
    else if (mode == ZAR_INTER_CUBIC && (srcImage->width < 4 || srcImage->height < 4))
        mode = ZAR_INTER_LINEAR;

    if (onlyAlpha(srcImage) || onlyAlpha(dstImage)) return;
    const RoiSize size = getCommonRoiSize(dstImage, xMap, yMap, true);
    if (size.empty()) return;
    if (srcImage->tileInfo || dstImage->tileInfo || xMap->tileInfo || yMap->tileInfo)
        remapTiled(srcImage, xMap, yMap, dstImage, mode, size);
    else
        remapWorker(srcImage, xMap, yMap, dstImage, mode);
}
