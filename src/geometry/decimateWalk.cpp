// The walk of the decimation: the destination region cut along the
// destination's tiles, and for a tiled source into runs whose positions stay
// in one source tile, each run reading the block of source pixels it needs.
#include <algorithm>

#include "frame/frame.h"
#include "geometry/decimate.h"
#include "geometry/geometry.h"

namespace {

struct Side {
    char* start;
    int32_t bit;
    intptr_t channelStep, pixelStep, rowStep;
};
// Where the region of a plain image (or stand-in) starts, and its steps.
Side sideOf(const ImageHeader* image) {
    const RoiOrigin origin = getRoiOrigin(image, firstChannel(image));
    const int32_t value = bytesPerValue(image->depth);
    const bool planes = image->dataOrder == ZAR_DATA_ORDER_PLANE;
    return {origin.address, origin.bitOffset,
            planes ? intptr_t{image->widthStep} * image->height : value,
            planes ? value : intptr_t{value} * image->nChannels, image->widthStep};
}

// ------------------------------------------------------- tiled sources

// A run of consecutive positions, starting at p and adding k, whose source
// pixels (truncated position plus the region offset) lie in the same source
// tile as the first one; at most n positions.  The additions are the kernels'
// own, so the run ends exactly where their positions leave the tile.
struct SourceRun {
    int32_t count;
    int32_t first, last;  // truncated positions of the first and last
};
SourceRun sourceRun(double p, float k, int32_t n, int32_t offset, int32_t tileSize) {
    const int32_t first = static_cast<int32_t>(p);
    const int64_t tile = (int64_t{first} + offset) / tileSize;
    SourceRun run{0, first, first};
    for (; run.count < n; ++run.count, p += k) {
        const int32_t i = static_cast<int32_t>(p);
        if ((int64_t{i} + offset) / tileSize != tile) break;
        run.last = i;
    }
    return run;
}

// Inclusive range of source pixels (image coordinates) that the kernels read
// for a run: the sampled pixels, and for the interpolating modes the taps
// before (cubic, also moved back at the far edge) and after them (up to a
// whole box beyond for super-sampling), inside the image.
struct Span {
    int32_t from, to;
};
Span neededSpan(const SourceRun& run, int32_t offset, int32_t mode, float k, int32_t size) {
    int64_t from = int64_t{run.first} + offset, to = int64_t{run.last} + offset;
    if (mode != ZAR_INTER_NN) {
        from -= 2;
        to += static_cast<int64_t>(k) + 3;
    }
    return {static_cast<int32_t>(std::max<int64_t>(from, 0)),
            static_cast<int32_t>(std::min<int64_t>(to, size - 1))};
}

// The source pixels of one kernel call from a tiled source: the tile itself
// when the block lies inside one tile (got with ZAR_TILE_READ, handed back
// with ZAR_TILE_RELEASE), else a copy assembled by the region transfer engine.
class SourceBlock {
  public:
    explicit SourceBlock(ImageHeader* image) : image_(image) {}
    SourceBlock(const SourceBlock&) = delete;
    SourceBlock& operator=(const SourceBlock&) = delete;
    ~SourceBlock() {
        if (tileColumn_ >= 0) {
            image_->tileInfo->tileData = tile_;
            image_->tileInfo->callBack(image_, tileColumn_, tileRow_, ZAR_TILE_RELEASE);
        }
        freeRegionCopy(copy_);
    }
    // False when the source's callback hands out no tile data.
    bool take(const Span& xs, const Span& ys) {
        TileInfo* info = image_->tileInfo;
        const int32_t tx = xs.from / info->width, ty = ys.from / info->height;
        if (xs.to / info->width == tx && ys.to / info->height == ty) {
            info->callBack(image_, tx, ty, ZAR_TILE_READ);
            if (!info->tileData) return false;
            data = tile_ = info->tileData;
            tileColumn_ = tx;
            tileRow_ = ty;
            x0 = tx * info->width;
            y0 = ty * info->height;
            stride = tileWidthStep(image_);
            height = info->height;
            return true;
        }
        copy_ = copyRegionWithBorder(image_, xs.from, ys.from, xs.to - xs.from + 1,
                                     ys.to - ys.from + 1, &stride);
        if (!copy_) return false;
        data = copy_;
        x0 = xs.from;
        y0 = ys.from;
        height = ys.to - ys.from + 1;
        return true;
    }

    const char* data = nullptr;
    int32_t x0 = 0, y0 = 0;  // image coordinates of the block's first pixel
    int32_t stride = 0, height = 0;

  private:
    ImageHeader* image_;
    char* tile_ = nullptr;
    char* copy_ = nullptr;
    int32_t tileColumn_ = -1, tileRow_ = -1;
};

// Points the job's source at the region origin (roiX, roiY) inside a block;
// the origin may lie outside the block, whose pixels are all the job reads.
void pointAtBlock(DecimateJob& job, const ImageHeader* image, const SourceBlock& block,
                  int32_t roiX, int32_t roiY) {
    const intptr_t value = image->depth == ZAR_DEPTH_1U ? 0 : bytesPerValue(image->depth);
    const bool planes = image->dataOrder == ZAR_DATA_ORDER_PLANE;
    job.srcRowStep = block.stride;
    job.srcPixelStep = planes ? value : value * image->nChannels;
    job.srcChannelStep = planes ? intptr_t{block.stride} * block.height : value;
    const intptr_t offset = firstChannel(image) * job.srcChannelStep +
                            intptr_t{roiY - block.y0} * block.stride;
    if (image->depth == ZAR_DEPTH_1U) {
        job.src = block.data + offset;
        job.srcBit = roiX - block.x0;
    } else {
        job.src = block.data + offset + intptr_t{roiX - block.x0} * job.srcPixelStep;
        job.srcBit = 0;
    }
}

// One destination piece of a call, positions in and out.
class PieceRunner {
  public:
    PieceRunner(ImageHeader* srcImage, const DecimateCall& call)
        : src_(srcImage),
          mode_(call.mode),
          roiX_(srcImage->roi ? srcImage->roi->xOffset : 0),
          roiY_(srcImage->roi ? srcImage->roi->yOffset : 0),
          bits_(srcImage->depth == ZAR_DEPTH_1U),
          kernel_(call.mode == ZAR_INTER_SUPER ? superKernel(srcImage->depth)
                                               : samplingKernel(srcImage->depth, call.mode)) {
        if (!srcImage->tileInfo) {
            const Side src = sideOf(srcImage);
            job_.src = src.start;
            job_.srcBit = src.bit;
            job_.srcChannelStep = src.channelStep;
            job_.srcPixelStep = src.pixelStep;
            job_.srcRowStep = src.rowStep;
        }
        job_.channels = call.channels;
        job_.srcCols = srcImage->width - roiX_;
        job_.srcRows = srcImage->height - roiY_;
        job_.kx = call.kx;
        job_.ky = call.ky;
        job_.xIntegral = call.xIntegral;
        job_.yIntegral = call.yIntegral;
        job_.planes = srcImage->dataOrder == ZAR_DATA_ORDER_PLANE;
    }

    // The piece of width x height pixels at the region of dstPlain.  False
    // when a source tile is refused or a kernel's scratch could not be had
    // (noMemory then set).
    bool run(const ImageHeader* dstPlain, int32_t width, int32_t height, double& x, double& y) {
        const Side dst = sideOf(dstPlain);
        job_.dstChannelStep = dst.channelStep;
        job_.dstPixelStep = dst.pixelStep;
        job_.dstRowStep = dst.rowStep;
        if (!src_->tileInfo) {
            job_.dst = dst.start;
            job_.dstBit = dst.bit;
            job_.width = width;
            job_.height = height;
            noMemory = !kernel_(job_, x, y);
            return !noMemory;
        }
        return runTiledSource(dst, width, height, x, y);
    }

  private:
    // A tiled source is read in blocks: the piece is cut where the source
    // positions pass from one source tile to the next, and each part reads
    // the block its positions need; the positions carry from part to part as
    // from tile to tile, so the pixels are those of a plain source.
    bool runTiledSource(const Side& dst, int32_t width, int32_t height, double& x, double& y) {
        const TileInfo* tiles = src_->tileInfo;
        const double x0 = x;
        double rowY = y, xAfter = x;
        for (int32_t j = 0; j < height;) {
            const SourceRun rows = sourceRun(rowY, job_.ky, height - j, roiY_, tiles->height);
            const Span ys = neededSpan(rows, roiY_, mode_, job_.ky, src_->height);
            double colX = x0, runY = rowY;
            for (int32_t i = 0; i < width;) {
                const SourceRun cols = sourceRun(colX, job_.kx, width - i, roiX_, tiles->width);
                SourceBlock block(src_);
                if (!block.take(neededSpan(cols, roiX_, mode_, job_.kx, src_->width), ys))
                    return false;
                pointAtBlock(job_, src_, block, roiX_, roiY_);
                job_.dst = dst.start + j * dst.rowStep + (bits_ ? 0 : i * dst.pixelStep);
                job_.dstBit = dst.bit + (bits_ ? i : 0);
                job_.width = cols.count;
                job_.height = rows.count;
                runY = rowY;
                if (!kernel_(job_, colX, runY)) {
                    noMemory = true;
                    return false;
                }
                i += cols.count;
            }
            xAfter = colX;
            rowY = runY;
            j += rows.count;
        }
        x = xAfter;
        y = rowY;
        return true;
    }

  public:
    bool noMemory = false;

  private:
    ImageHeader* src_;
    int32_t mode_, roiX_, roiY_;
    bool bits_;
    DecimateKernel kernel_;
    DecimateJob job_{};
};

}  // namespace

DecimateOutcome decimateRegion(ImageHeader* srcImage, ImageHeader* dstImage,
                               const DecimateCall& call) {
    PieceRunner runner(srcImage, call);
    if (!dstImage->tileInfo) {
        double x = call.xStart, y = call.yStart;
        if (runner.run(dstImage, call.width, call.height, x, y)) return DecimateOutcome::Done;
        return runner.noMemory ? DecimateOutcome::NoMemory : DecimateOutcome::SourceRefused;
    }
    // Every tile row starts at the initial x and at the y the previous tile
    // row reached; x carries from tile to tile within a row.
    double x = call.xStart, rowY = call.yStart, nextY = call.yStart;
    const Rect dstRect = getRoiRect(dstImage);
    const Rect region{dstRect.x, dstRect.y, call.width, call.height};
    const TileWalk walk = walkTilesForWriting(dstImage, region, [&](TilePiece& piece) {
        if (piece.firstInRow) {
            x = call.xStart;
            rowY = nextY;
        }
        ImageHeader tile = tileView(dstImage, piece.tileData);
        tile.roi = &piece.roi;
        double y = rowY;
        const bool done = runner.run(&tile, piece.area.width, piece.area.height, x, y);
        nextY = y;
        return done;
    });
    if (walk == TileWalk::Refused) return DecimateOutcome::DestinationRefused;
    if (walk == TileWalk::Stopped)
        return runner.noMemory ? DecimateOutcome::NoMemory : DecimateOutcome::SourceRefused;
    return DecimateOutcome::Done;
}
