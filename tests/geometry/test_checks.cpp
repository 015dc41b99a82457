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

// The images a row names: an 8-bit source and destination (filled with 3 and
// 9), their three-channel twins, the maps, and formats that differ from them.
enum { kNone = -1, kSrc, kDst, kSrc3, kDst3, kXs, kYs, kF32, k8S, k16S, k32S, k16U, kPlane };
enum { kPlane3 = kPlane + 1, kPlane16x4, kFour, kFourAlpha, kTwoMaps, kAlphaMap };
enum { k8S2 = kAlphaMap + 1, k16S2, k32S2 };  // second images of those depths
struct Images {
    Image all[21] = {{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3}, {1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 9},
                     {3, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 5}, {3, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 9},
                     {1, 0, ZAR_DEPTH_32F, 0, 8, 8},      {1, 0, ZAR_DEPTH_32F, 0, 8, 8},
                     {1, 0, ZAR_DEPTH_32F, 0, 8, 8},      {1, 0, ZAR_DEPTH_8S, 0, 8, 8},
                     {1, 0, ZAR_DEPTH_16S, 0, 8, 8},      {1, 0, ZAR_DEPTH_32S, 0, 8, 8},
                     {1, 0, ZAR_DEPTH_16U, 0, 8, 8},      {1, 0, ZAR_DEPTH_8U, 1, 8, 8},
                     {3, 0, ZAR_DEPTH_8U, 1, 8, 8},       {1, 0, ZAR_DEPTH_16U, 1, 4, 4},
                     {4, 0, ZAR_DEPTH_8U, 0, 8, 8},       {4, 4, ZAR_DEPTH_8U, 0, 8, 8},
                     {2, 0, ZAR_DEPTH_32F, 0, 8, 8},      {2, 2, ZAR_DEPTH_32F, 0, 8, 8},
                     {1, 0, ZAR_DEPTH_8S, 0, 8, 8},       {1, 0, ZAR_DEPTH_16S, 0, 8, 8},
                     {1, 0, ZAR_DEPTH_32S, 0, 8, 8}};
    ImageHeader* operator[](int32_t k) { return k == kNone ? nullptr : all[k].get(); }
};

using Call = std::function<void(Images&)>;
struct Row {
    Call call;
    std::vector<zt::Want> want;
};

Call decimate(int32_t s, int32_t d, int32_t xDst = 1, int32_t xSrc = 2, int32_t yDst = 1,
              int32_t ySrc = 2, int32_t mode = 0) {
    return [=](Images& i) { zarDecimate(i[s], i[d], xDst, xSrc, yDst, ySrc, mode); };
}
Call zoom(int32_t s, int32_t d, int32_t xDst = 2, int32_t xSrc = 1, int32_t yDst = 2,
          int32_t ySrc = 1, int32_t mode = 0) {
    return [=](Images& i) { zarZoom(i[s], i[d], xDst, xSrc, yDst, ySrc, mode); };
}
// The zoom engine behind zarZoom, called directly.
Call engine(int32_t s, int32_t d, int32_t xDst = 2, int32_t xSrc = 1, int32_t ySrc = 1,
            int32_t mode = 0) {
    return [=](Images& i) { zoomEngine(i[s], i[d], xDst, xSrc, 2, ySrc, mode); };
}
Call remap(int32_t s, int32_t xs, int32_t ys, int32_t d, int32_t mode = 0) {
    return [=](Images& i) { zarRemap(i[s], i[xs], i[ys], i[d], mode); };
}
// First change image k (a channel of interest over size x size pixels, the
// origin, no channels), then call.
Call after(Call call, int32_t k, int32_t coi, int32_t origin = 0, int32_t channels = 1,
           int32_t size = 8) {
    return [=](Images& i) {
        if (coi >= 0) i.all[k].setRoi(coi, 0, 0, size, size);
        i[k]->origin = origin;
        i[k]->nChannels = channels ? i[k]->nChannels : 0;
        call(i);
        i[k]->nChannels = channels ? i[k]->nChannels : 1;
    };
}
// The calls one after another, each after a status reset.
Call each(std::vector<Call> calls) {
    return [=](Images& i) {
        for (const Call& call : calls) {
            zarSetStatus(STATUS_OK);
            call(i);
        }
    };
}

const char* const kModes3 =
    "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && interpolate != "
    "ZAR_INTER_CUBIC";
const char* const kModes4 =
    "interpolate != ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC or ZAR_INTER_SUPER";
const char* const kDepths =
    "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && srcImage->depth != "
    "ZAR_DEPTH_16U";
const char* const kDepth = "srcImage->depth != dstImage->depth";
const char* const kOrigin = "srcImage->origin != dstImage->origin";
const char* const kOrder = "srcImage->dataOrder != dstImage->dataOrder";

// zarDecimate's checks go on after a failure.
std::vector<Row> decimateRows() {
    const std::string kCoi = "->roi->coi > 0 && ";
    auto cois = [](int32_t srcCoi, int32_t dstCoi) {
        return after(after(decimate(kSrc3, kDst3), kSrc3, srcCoi), kDst3, dstCoi);
    };
    return {
        {decimate(kNone, kDst), {{kNull, kImage, 72}}},
        {decimate(kSrc, kNone), {{kNull, kImage, 73}}},
        {decimate(kDst, kDst, 0, 0, 2, 1, 9),
         {{kBad, "srcImage == dstImage", 74},
          {kBad, kModes4, 100},
          {kBad, "xDst <= 0", 105},
          {kBad, "xSrc <= 0", 106},
          {kBad, "yDst > ySrc", 111}}},
        {decimate(k16U, kDst), {{kBad, kDepth, 75}}},
        {after(decimate(kSrc, kDst), kDst, -1, 1), {{kBad, kOrigin, 76}}},
        {decimate(kPlane, kDst), {{kBad, kOrder, 77}}},
        {cois(2, 0), {{kBad, "srcImage" + kCoi + "dstImage->roi->coi == 0", 80}}},
        {cois(2, -1), {{kBad, "srcImage" + kCoi + "dstImage->roi == ((void *)0)", 83}}},
        {cois(0, 1), {{kBad, "dstImage" + kCoi + "srcImage->roi->coi == 0", 88}}},
        {cois(-1, 1), {{kBad, "dstImage" + kCoi + "srcImage->roi == ((void *)0)", 91}}},
        // A single-channel partner needs no channel of interest.
        {decimate(kSrc3, kSrc), {}},
        {decimate(kSrc, kDst, 1, 2, 1, 2, 4), {{kBad, kModes4, 100}}},
        {decimate(kSrc, kDst, 1, -1, 0, 2, 0),
         {{kBad, "xSrc <= 0", 106}, {kBad, "yDst <= 0", 107}, {kBad, "xDst > xSrc", 110}}},
        {decimate(kSrc, kDst, 1, 2, 1, 0, 0),
         {{kBad, "ySrc <= 0", 108}, {kBad, "yDst > ySrc", 111}}},
        {decimate(kSrc, kDst, 3, 2, 5, 4, 0),
         {{kBad, "xDst > xSrc", 110}, {kBad, "yDst > ySrc", 111}}},
        {decimate(k8S, k8S2), {{kBad, kDepths, 0}}},
        {decimate(k16S, k16S2), {{kBad, kDepths, 0}}},
        {decimate(k32S, k32S2), {{kBad, kDepths, 0}}},
    };
}

// The zoom engine's argument checks go on after a failure and then stop the call.
std::vector<Row> zoomRows() {
    const char* const kChannels =
        "Processed channels of srcImage != Processed channels of dstImage";
    const char* const kFactors = "xDst < xSrc || yDst < ySrc";
    const std::vector<zt::Want> kArgs = {{kBad, kDepths, 709},
                                         {kBad, "xDst <= 0 || xSrc <= 0", 711},
                                         {kBad, "yDst <= 0 || ySrc <= 0", 712}};
    return {
        {engine(kNone, kDst), {{kNull, kImage, 705}}},
        {engine(kSrc, kNone), {{kNull, kImage, 706}}},
        {after(zoom(kSrc, kXs), kXs, -1, 0, 0), {{STATUS_BAD_CHANNELS, kImage, 706}}},
        {engine(kPlane16x4, kDst, 2, 1, 1, 7),
         {{kBad, kModes3, 707}, {kBad, kDepth, 708}, {kBad, kOrder, 710}}},
        {engine(k8S, k8S, 0, 1, -1), kArgs},
        {engine(kF32, kF32, 0, 1, -1), kArgs},
        {zoom(kDst, kDst, 1, 1, 1, 1), {{kBad, "This function isn`t in-plase function", 728}}},
        {zoom(kSrc3, kDst), {{STATUS_ERROR, kChannels, 450}}},
        {after(zoom(kSrc3, kDst3), kSrc3, 2, 0, 1, 4), {{STATUS_ERROR, kChannels, 453}}},
        {zoom(kSrc, kDst, 1, 2, 1, 1, ZAR_INTER_LINEAR), {{kBad, kFactors, 1381}}},
        {zoom(kSrc, kDst, 1, 1, 2, 3, ZAR_INTER_LINEAR), {{kBad, kFactors, 1381}}},
    };
}

// zarRemap's checks go on; the mode is checked last.
std::vector<Row> remapRows() {
    const char* const kSigned =
        "(srcImage->depth & ZAR_DEPTH_SIGN) || (srcImage->depth == ZAR_DEPTH_32F)";
    const std::string kMap = "Map->depth != ZAR_DEPTH_32F || ";
    const zt::Want kX{kBad, "x" + kMap + "xMap->nChannels != 1 || xMap->alphaChannel != 0", 864};
    const zt::Want kY{kBad, "y" + kMap + "yMap->nChannels != 1 || yMap->alphaChannel != 0", 865};
    const zt::Want kInPlace{kBad, "This function is not in-place function", 867};
    const char* const kProcessed =
        "Number of processed channels of srcImage != Number of processed channels of dstImage";
    return {
        {remap(kNone, kXs, kYs, kDst), {{kNull, kImage, 858}}},
        {remap(kSrc, kXs, kYs, kNone), {{kNull, kImage, 859}}},
        {remap(kSrc, kNone, kYs, kDst), {{kNull, kImage, 860}}},
        {after(remap(kSrc, kXs, kYs, kDst), kYs, -1, 0, 0), {{STATUS_BAD_CHANNELS, kImage, 861}}},
        {remap(kSrc, kXs, kYs, k16U), {{kBad, kDepth, 862}}},
        {after(remap(kSrc, kXs, kYs, kDst), kDst, -1, 1), {{kBad, kOrigin, 862}}},
        {remap(kSrc3, kXs, kYs, kPlane3), {{kBad, kOrder, 862}}},
        {remap(kF32, kXs, kYs, kF32), {{kBad, kSigned, 863}, kInPlace}},
        {remap(k8S, kSrc, kTwoMaps, k8S, 3), {{kBad, kSigned, 863}, kX, kY, kInPlace}},
        {remap(kSrc, kAlphaMap, kYs, kDst), {kX}},
        {remap(kSrc, kXs, kAlphaMap, kDst), {kY}},
        {each({remap(kSrc, kXs, kYs, kDst, 3), remap(kSrc, kXs, kYs, kDst, 19),
               remap(kSrc, kXs, kYs, kDst, -1), remap(kSrc, kXs, kYs, kDst, 35)}),
         {{kBad, kModes3, 869}, {kBad, kModes3, 869}, {kBad, kModes3, 869}, {kBad, kModes3, 869}}},
        {remap(kSrc3, kXs, kYs, kFour), {{kBad, kProcessed, 799}}},
        // four channels with alpha process three; single channels may differ in data order
        {remap(kSrc3, kXs, kYs, kFourAlpha), {}},
        {remap(kSrc, kXs, kYs, kPlane), {}},
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
                            decimate(kSrc, kDst)(i);
                            engine(kSrc, kDst)(i);
                            remap(kSrc, kXs, kYs, kDst)(i);
                        },
                        {}});
        for (const Row& row : rows) {
            Images images;
            zt::ErrorRecorder recorder;
            row.call(images);
            zt::expectReports(recorder, op.func, op.file, row.want);
            if (!row.want.empty()) {
                EXPECT_EQ(gt::rowText(images[kDst], 0) + "/" + gt::rowText(images[kDst3], 0),
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
