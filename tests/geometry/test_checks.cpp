// The checks of zarDecimate, zarZoom (and the zoom engine) and zarRemap as one
// table in their order, what zarResize returns and reports, and refused tiles.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

#include "geometry/zoom.h"
#include "support/geometry_support.h"
#include "support/scenario.h"

namespace {

using zt::Image;

constexpr ZarStatus kBad = STATUS_BAD_ARG, kNull = STATUS_NULL_HEADER;
const char* const kImage = "Incorrect Image";

struct Images {
    Image src{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3}, dst{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 9};
    Image src3{3, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 5}, dst3{3, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 9};
    Image xs{1, 0, ZAR_DEPTH_32F, 0, 8, 8}, ys{1, 0, ZAR_DEPTH_32F, 0, 8, 8};
    Image s32{1, 0, ZAR_DEPTH_32F, 0, 8, 8};
};

const char* const kModes3 =
    "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && interpolate != "
    "ZAR_INTER_CUBIC";
const char* const kModes4 =
    "interpolate != ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC or ZAR_INTER_SUPER";
const char* const kDepths =
    "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && srcImage->depth != "
    "ZAR_DEPTH_16U";

struct Row {
    std::function<void(Images&)> call;
    std::vector<zt::Want> want;
};

// zarDecimate's checks go on after a failure.
std::vector<Row> decimateRows() {
    auto args = [](int32_t xDst, int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t mode) {
        return [=](auto& i) { zarDecimate(i.src, i.dst, xDst, xSrc, yDst, ySrc, mode); };
    };
    auto cois = [](int32_t srcCoi, int32_t dstCoi) {
        return [=](auto& i) {
            if (srcCoi >= 0) i.src3.setRoi(srcCoi, 0, 0, 8, 8);
            if (dstCoi >= 0) i.dst3.setRoi(dstCoi, 0, 0, 8, 8);
            zarDecimate(i.src3, i.dst3, 1, 2, 1, 2, 0);
        };
    };
    const std::string kCoi = "->roi->coi > 0 && ";
    return {
        {[](auto& i) { zarDecimate(nullptr, i.dst, 1, 2, 1, 2, 0); }, {{kNull, kImage, 72}}},
        {[](auto& i) { zarDecimate(i.src, nullptr, 1, 2, 1, 2, 0); }, {{kNull, kImage, 73}}},
        {[](auto& i) { zarDecimate(i.dst, i.dst, 0, 0, 2, 1, 9); },
         {{kBad, "srcImage == dstImage", 74},
          {kBad, kModes4, 100},
          {kBad, "xDst <= 0", 105},
          {kBad, "xSrc <= 0", 106},
          {kBad, "yDst > ySrc", 111}}},
        {[](auto& i) { zarDecimate(Image(1, 0, ZAR_DEPTH_16U, 0, 8, 8), i.dst, 1, 2, 1, 2, 0); },
         {{kBad, "srcImage->depth != dstImage->depth", 75}}},
        {[](auto& i) {
             i.dst->origin = 1;
             zarDecimate(i.src, i.dst, 1, 2, 1, 2, 0);
         },
         {{kBad, "srcImage->origin != dstImage->origin", 76}}},
        {[](auto& i) { zarDecimate(Image(1, 0, ZAR_DEPTH_8U, 1, 8, 8), i.dst, 1, 2, 1, 2, 0); },
         {{kBad, "srcImage->dataOrder != dstImage->dataOrder", 77}}},
        {cois(2, 0), {{kBad, "srcImage" + kCoi + "dstImage->roi->coi == 0", 80}}},
        {cois(2, -1), {{kBad, "srcImage" + kCoi + "dstImage->roi == ((void *)0)", 83}}},
        {cois(0, 1), {{kBad, "dstImage" + kCoi + "srcImage->roi->coi == 0", 88}}},
        {cois(-1, 1), {{kBad, "dstImage" + kCoi + "srcImage->roi == ((void *)0)", 91}}},
        // A single-channel partner needs no channel of interest.
        {[](auto& i) { zarDecimate(i.src3, i.src, 1, 2, 1, 2, 0); }, {}},
        {args(1, 2, 1, 2, 4), {{kBad, kModes4, 100}}},
        {args(1, -1, 0, 2, 0),
         {{kBad, "xSrc <= 0", 106}, {kBad, "yDst <= 0", 107}, {kBad, "xDst > xSrc", 110}}},
        {args(1, 2, 1, 0, 0), {{kBad, "ySrc <= 0", 108}, {kBad, "yDst > ySrc", 111}}},
        {args(3, 2, 5, 4, 0), {{kBad, "xDst > xSrc", 110}, {kBad, "yDst > ySrc", 111}}},
        {[](auto&) {
             for (int32_t depth : {ZAR_DEPTH_8S, ZAR_DEPTH_16S, ZAR_DEPTH_32S}) {
                 zarSetStatus(STATUS_OK);
                 zarDecimate(Image(1, 0, depth, 0, 8, 8), Image(1, 0, depth, 0, 8, 8), 1, 2, 1, 2,
                             0);
             }
         },
         {{kBad, kDepths, 0}, {kBad, kDepths, 0}, {kBad, kDepths, 0}}},
    };
}

// The zoom engine's argument checks go on after a failure and then stop the call.
std::vector<Row> zoomRows() {
    const char* const kChannels =
        "Processed channels of srcImage != Processed channels of dstImage";
    const char* const kFactors = "xDst < xSrc || yDst < ySrc";
    return {
        {[](auto& i) { zoomEngine(nullptr, i.dst, 2, 1, 2, 1, 0); }, {{kNull, kImage, 705}}},
        {[](auto& i) { zoomEngine(i.src, nullptr, 2, 1, 2, 1, 0); }, {{kNull, kImage, 706}}},
        {[](auto& i) {
             i.xs->nChannels = 0;
             zarZoom(i.src, i.xs, 2, 1, 2, 1, 0);
             i.xs->nChannels = 1;
         },
         {{STATUS_BAD_CHANNELS, kImage, 706}}},
        {[](auto& i) { zoomEngine(Image(1, 0, ZAR_DEPTH_16U, 1, 4, 4), i.dst, 2, 1, 2, 1, 7); },
         {{kBad, kModes3, 707},
          {kBad, "srcImage->depth != dstImage->depth", 708},
          {kBad, "srcImage->dataOrder != dstImage->dataOrder", 710}}},
        {[](auto&) {
             for (int32_t depth : {ZAR_DEPTH_8S, ZAR_DEPTH_32F}) {
                 zarSetStatus(STATUS_OK);
                 zoomEngine(Image(1, 0, depth, 0, 4, 4), Image(1, 0, depth, 0, 8, 8), 0, 1, 2, -1,
                            0);
             }
         },
         {{kBad, kDepths, 709},
          {kBad, "xDst <= 0 || xSrc <= 0", 711},
          {kBad, "yDst <= 0 || ySrc <= 0", 712},
          {kBad, kDepths, 709},
          {kBad, "xDst <= 0 || xSrc <= 0", 711},
          {kBad, "yDst <= 0 || ySrc <= 0", 712}}},
        {[](auto& i) { zarZoom(i.dst, i.dst, 1, 1, 1, 1, 0); },
         {{kBad, "This function isn`t in-plase function", 728}}},
        {[](auto& i) { zarZoom(i.src3, i.dst, 2, 1, 2, 1, 0); }, {{STATUS_ERROR, kChannels, 450}}},
        {[](auto& i) {
             i.src3.setRoi(2, 0, 0, 4, 4);
             zarZoom(i.src3, i.dst3, 2, 1, 2, 1, 0);
         },
         {{STATUS_ERROR, kChannels, 453}}},
        {[](auto& i) {
             zarZoom(i.src, i.dst, 1, 2, 1, 1, ZAR_INTER_LINEAR);
             zarZoom(i.src, i.dst, 1, 1, 2, 3, ZAR_INTER_LINEAR);
         },
         {{kBad, kFactors, 1381}, {kBad, kFactors, 1381}}},
    };
}

// zarRemap's checks go on; the mode is checked last.
std::vector<Row> remapRows() {
    const char* const kSigned =
        "(srcImage->depth & ZAR_DEPTH_SIGN) || (srcImage->depth == ZAR_DEPTH_32F)";
    const std::string kMap = "Map->depth != ZAR_DEPTH_32F || ";
    const std::string kX = "x" + kMap + "xMap->nChannels != 1 || xMap->alphaChannel != 0";
    const std::string kY = "y" + kMap + "yMap->nChannels != 1 || yMap->alphaChannel != 0";
    const char* const kInPlace = "This function is not in-place function";
    return {
        {[](auto& i) { zarRemap(nullptr, i.xs, i.ys, i.dst, 0); }, {{kNull, kImage, 858}}},
        {[](auto& i) { zarRemap(i.src, i.xs, i.ys, nullptr, 0); }, {{kNull, kImage, 859}}},
        {[](auto& i) { zarRemap(i.src, nullptr, i.ys, i.dst, 0); }, {{kNull, kImage, 860}}},
        {[](auto& i) {
             i.ys->nChannels = 0;
             zarRemap(i.src, i.xs, i.ys, i.dst, 0);
             i.ys->nChannels = 1;
         },
         {{STATUS_BAD_CHANNELS, kImage, 861}}},
        {[](auto& i) { zarRemap(i.src, i.xs, i.ys, Image(1, 0, ZAR_DEPTH_16U, 0, 8, 8), 0); },
         {{kBad, "srcImage->depth != dstImage->depth", 862}}},
        {[](auto& i) {
             i.dst->origin = 1;
             zarRemap(i.src, i.xs, i.ys, i.dst, 0);
         },
         {{kBad, "srcImage->origin != dstImage->origin", 862}}},
        {[](auto& i) { zarRemap(i.src3, i.xs, i.ys, Image(3, 0, ZAR_DEPTH_8U, 1, 8, 8), 0); },
         {{kBad, "srcImage->dataOrder != dstImage->dataOrder", 862}}},
        {[](auto& i) { zarRemap(i.s32, i.xs, i.ys, i.s32, 0); },
         {{kBad, kSigned, 863}, {kBad, kInPlace, 867}}},
        {[](auto&) {
             Image s8s(1, 0, ZAR_DEPTH_8S, 0, 8, 8);
             zarRemap(s8s, Image(1, 0, ZAR_DEPTH_8U, 0, 8, 8), Image(2, 0, ZAR_DEPTH_32F, 0, 8, 8),
                      s8s, 3);
         },
         {{kBad, kSigned, 863}, {kBad, kX, 864}, {kBad, kY, 865}, {kBad, kInPlace, 867}}},
        {[](auto& i) {
             Image alphaMap(2, 2, ZAR_DEPTH_32F, 0, 8, 8);
             zarRemap(i.src, alphaMap, i.ys, i.dst, 0);
             zarRemap(i.src, i.xs, alphaMap, i.dst, 0);
         },
         {{kBad, kX, 864}, {kBad, kY, 865}}},
        {[](auto& i) {
             for (int32_t mode : {3, 19, -1, 35}) {
                 zarSetStatus(STATUS_OK);
                 zarRemap(i.src, i.xs, i.ys, i.dst, mode);
             }
         },
         {{kBad, kModes3, 869}, {kBad, kModes3, 869}, {kBad, kModes3, 869}, {kBad, kModes3, 869}}},
        {[](auto& i) {
             zarRemap(i.src3, i.xs, i.ys, Image(4, 0, ZAR_DEPTH_8U, 0, 8, 8), 0);
             // four channels with alpha process three
             zarRemap(i.src3, i.xs, i.ys, Image(4, 4, ZAR_DEPTH_8U, 0, 8, 8), 0);
         },
         {{kBad,
           "Number of processed channels of srcImage != Number of processed channels of dstImage",
           799}}},
        // Single-channel images may differ in data order.
        {[](auto& i) { zarRemap(i.src, i.xs, i.ys, Image(1, 0, ZAR_DEPTH_8U, 1, 8, 8), 0); }, {}},
    };
}

// Every check in its order with its line; a failure leaves the destination as
// it was, and an earlier failure in the status word stops a call quietly.
TEST(GeometryChecks, EveryCheck) {
    const struct {
        const char *func, *file;
        std::vector<Row> rows;
    } ops[] = {{"zarDecimate", "zardecim", decimateRows()},
               {"zarZoom", "zarZoom", zoomRows()},
               {"zarRemap", "zarremap", remapRows()}};
    for (const auto& op : ops) {
        std::vector<Row> rows = op.rows;
        rows.push_back({[&](Images& i) {
                            zarSetStatus(STATUS_ERROR);
                            zarDecimate(i.src, i.dst, 1, 2, 1, 2, 0);
                            zoomEngine(i.src, i.dst, 2, 1, 2, 1, 0);
                            zarRemap(i.src, i.xs, i.ys, i.dst, 0);
                        },
                        {}});
        for (const Row& row : rows) {
            Images images;
            zt::ErrorRecorder recorder;
            row.call(images);
            zt::expectReports(recorder, op.func, op.file, row.want);
            if (!row.want.empty()) {
                EXPECT_EQ(gt::rowText(images.dst, 0) + "/" + gt::rowText(images.dst3, 0),
                          "9 9 9 9 9 9 9 9/9 9 9 9 9 9 9 9");
            }
        }
    }
}

// zarResize: its own check, what it returns, and the backtrace after a failure
// of the operation it hands the call to (routing itself is checked by the
// random cases of decimation and zoom, which call zarResize).
TEST(GeometryChecks, ResizeReturnsAndBacktraces) {
    using R = zt::Report;
    const R super{STATUS_BAD_ARG, "zarResize",
                  "(interpolate == ZAR_INTER_SUPER) && (xDst > xSrc || yDst > ySrc)", "zarresiz",
                  56};
    const R decimate{STATUS_BAD_ARG, "zarDecimate", "xDst <= 0", "zardecim", 105};
    const R zoom{STATUS_BAD_ARG, "zarZoom", kModes3, "zarZoom", 707};
    const R backtrace{STATUS_BACKTRACE, "zarResize", "", "zarresiz", 59};
    const struct {
        int32_t xDst, xSrc, yDst, ySrc, mode;
        ZarStatus before, returned;
        std::vector<R> want;
    } rows[] = {
        {2, 1, 1, 1, ZAR_INTER_SUPER, STATUS_OK, STATUS_BAD_ARG, {super}},
        {1, 2, 3, 2, ZAR_INTER_SUPER, STATUS_OK, STATUS_BAD_ARG, {super}},
        {0, 2, 1, 2, ZAR_INTER_SUPER, STATUS_OK, STATUS_BACKTRACE, {decimate, backtrace}},
        {1, 2, 1, 2, 7, STATUS_OK, STATUS_BACKTRACE, {zoom, backtrace}},
        {1, 2, 1, 2, ZAR_INTER_SUPER, STATUS_ERROR, STATUS_BACKTRACE, {backtrace}},
        {1, 2, 1, 2, ZAR_INTER_NN, STATUS_ERROR, STATUS_BACKTRACE, {backtrace}},
        // A positive status word is no failure: it is returned.
        {1, 2, 1, 2, ZAR_INTER_SUPER, 5, 5, {}},
        {1, 2, 1, 2, ZAR_INTER_LINEAR, 5, 5, {}},
    };
    for (const auto& r : rows) {
        zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3), dst(1, 0, ZAR_DEPTH_8U, 0, 4, 4, 4, 9);
        zt::ErrorRecorder errors;
        zarSetStatus(r.before);
        EXPECT_EQ(zarResize(src, dst, r.xDst, r.xSrc, r.yDst, r.ySrc, r.mode), r.returned);
        ASSERT_EQ(errors.reports().size(), r.want.size()) << r.mode;
        for (size_t k = 0; k < r.want.size(); ++k) {
            const R &got = errors.reports()[k], &want = r.want[k];
            EXPECT_EQ(std::tie(got.status, got.func, got.context, got.file, got.line),
                      std::tie(want.status, want.func, want.context, want.file, want.line));
        }
        if (r.returned < 0) {
            EXPECT_EQ(gt::rowText(dst, 0), "9 9 9 9");
        }
    }
}

zt::OperandSpec side(int32_t depth, int32_t size, bool tiled, int32_t tile = 8) {
    zt::OperandSpec s;
    s.depth = depth;
    s.width = s.height = size;
    s.tiled = tiled;
    s.tileWidth = s.tileHeight = tile;
    s.positionSpan = depth == ZAR_DEPTH_32F ? size : 0;
    return s;
}

// A refused tile stops the call with a report (the line of a refused zoom
// destination tile depends on whether the source is tiled); remap gives a
// refused map or source tile back as a backtrace after the destination tiles
// before it were done.
TEST(GeometryTiles, RefusedTiles) {
    const auto decimate = [](size_t refused, int32_t column, int32_t row, const zt::Want& want) {
        zt::expectRefusal(
            {side(ZAR_DEPTH_8U, 32, refused == 0), side(ZAR_DEPTH_8U, 32, refused == 1)}, refused,
            column, row,
            [](const std::vector<ImageHeader*>& h) { zarDecimate(h[0], h[1], 1, 2, 1, 2, 0); },
            "zarDecimate", "zardecim", want);
    };
    const auto zoom = [](bool srcTiled, bool dstTiled, int32_t mode, const zt::Want& want) {
        zt::expectRefusal(
            {side(ZAR_DEPTH_8U, 10, srcTiled, 16), side(ZAR_DEPTH_8U, 60, dstTiled, 16)}, dstTiled,
            dstTiled, dstTiled,
            [=](const std::vector<ImageHeader*>& h) { zarZoom(h[0], h[1], 6, 1, 6, 1, mode); },
            "zarZoom", "zarZoom", want);
    };
    const auto remap = [](size_t refused, int32_t column, int32_t row, int32_t mode,
                          const zt::Want& want) {
        const std::vector specs{
            side(ZAR_DEPTH_8U, 20, refused == 0), side(ZAR_DEPTH_32F, 20, refused == 1),
            side(ZAR_DEPTH_32F, 20, refused == 2), side(ZAR_DEPTH_8U, 20, refused)};
        zt::expectRefusal(
            specs, refused, column, row,
            [=](const std::vector<ImageHeader*>& h) { zarRemap(h[0], h[1], h[2], h[3], mode); },
            "zarRemap", "zarremap", want);
    };
    const char *const kRead = "Error get tile to read", *const kWrite = "Error get tile to write";
    decimate(0, 2, 1, {STATUS_INTERNAL, "srcImage->tileInfo->callBack crash", 342});
    decimate(1, 1, 0, {STATUS_INTERNAL, "dstImage->tileInfo->callBack crash", 347});
    zoom(false, true, ZAR_INTER_NN, {STATUS_ERROR, kWrite, 1360});
    zoom(true, true, ZAR_INTER_CUBIC, {STATUS_ERROR, kWrite, 884});
    zoom(true, false, ZAR_INTER_LINEAR, {STATUS_ERROR, kRead, 0});
    remap(3, 1, 1, ZAR_INTER_LINEAR, {STATUS_ERROR, kWrite, 757});
    remap(1, 2, 0, ZAR_INTER_NN, {STATUS_BACKTRACE, "", 766});
    remap(2, 2, 0, ZAR_INTER_NN, {STATUS_BACKTRACE, "", 775});
    remap(0, 0, 2, ZAR_INTER_NN, {STATUS_BACKTRACE, "", 672});
}

}  // namespace
