// zarRemap: the checks as a table, rules worked by hand, refused tiles, and
// random cases on plain and tiled images against the reference at every
// instruction-set level.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdlib>

#include "support/geometry_reference.h"
#include "support/geometry_support.h"
#include "support/scenario.h"

namespace {

using zt::Image;

double steps(int32_t x, int32_t) { return x == 0 || x == 3 || (x > 4 && x < 7) ? 0.0 : 1.0; }

Image map(int32_t width, int32_t height) { return Image(1, 0, ZAR_DEPTH_32F, 0, width, height); }

// Samples src at the positions ("x,y x,y ...") into a one-row destination
// filled with 9 and gives the row.
std::string remapRow(ImageHeader* src, const char* at, int32_t mode) {
    std::vector<float> v;
    char* end;
    for (const char* p = at;; p = end + (*end == ',')) {
        const float f = std::strtof(p, &end);
        if (end == p) break;
        v.push_back(f);
    }
    const int32_t n = static_cast<int32_t>(v.size() / 2);
    Image xs = map(n, 1), ys = map(n, 1), dst(1, 0, src->depth, 0, n, 1, 4, 9);
    for (int32_t c = 0; c < n; ++c) {
        zt::setSample(xs, c, 0, 0, v[2 * c]);
        zt::setSample(ys, c, 0, 0, v[2 * c + 1]);
    }
    zarRemap(src, xs, ys, dst, mode);
    return gt::rowText(dst, 0);
}

struct Images {
    Image src{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3}, dst{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 9};
    Image xs = map(8, 8), ys = map(8, 8);
    Image s3{3, 0, ZAR_DEPTH_8U, 0, 8, 8}, s32{1, 0, ZAR_DEPTH_32F, 0, 8, 8};
};

// Every check with its line; the checks go on, and the mode is checked last.
TEST(RemapChecks, EveryCheck) {
    const char* const kSigned =
        "(srcImage->depth & ZAR_DEPTH_SIGN) || (srcImage->depth == ZAR_DEPTH_32F)";
    const char* const kX =
        "xMap->depth != ZAR_DEPTH_32F || xMap->nChannels != 1 || xMap->alphaChannel != 0";
    const char* const kY =
        "yMap->depth != ZAR_DEPTH_32F || yMap->nChannels != 1 || yMap->alphaChannel != 0";
    const char* const kMode =
        "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && interpolate != "
        "ZAR_INTER_CUBIC";
    const char* const kInPlace = "This function is not in-place function";
    using Call = void (*)(Images&);
    const struct {
        Call call;
        std::vector<zt::Want> want;
    } rows[] = {
        {[](Images& i) { zarRemap(nullptr, i.xs, i.ys, i.dst, 0); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 858}}},
        {[](Images& i) { zarRemap(i.src, i.xs, i.ys, nullptr, 0); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 859}}},
        {[](Images& i) { zarRemap(i.src, nullptr, i.ys, i.dst, 0); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 860}}},
        {[](Images& i) {
             i.ys->nChannels = 0;
             zarRemap(i.src, i.xs, i.ys, i.dst, 0);
             i.ys->nChannels = 1;
         },
         {{STATUS_BAD_CHANNELS, "Incorrect Image", 861}}},
        {[](Images& i) { zarRemap(i.src, i.xs, i.ys, Image(1, 0, ZAR_DEPTH_16U, 0, 8, 8), 0); },
         {{STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 862}}},
        {[](Images& i) {
             i.dst->origin = 1;
             zarRemap(i.src, i.xs, i.ys, i.dst, 0);
         },
         {{STATUS_BAD_ARG, "srcImage->origin != dstImage->origin", 862}}},
        {[](Images& i) { zarRemap(i.s3, i.xs, i.ys, Image(3, 0, ZAR_DEPTH_8U, 1, 8, 8), 0); },
         {{STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 862}}},
        {[](Images& i) { zarRemap(i.s32, i.xs, i.ys, i.s32, 0); },
         {{STATUS_BAD_ARG, kSigned, 863}, {STATUS_BAD_ARG, kInPlace, 867}}},
        {[](Images&) {
             Image s8s(1, 0, ZAR_DEPTH_8S, 0, 8, 8);
             zarRemap(s8s, Image(1, 0, ZAR_DEPTH_8U, 0, 8, 8), Image(2, 0, ZAR_DEPTH_32F, 0, 8, 8),
                      s8s, 3);
         },
         {{STATUS_BAD_ARG, kSigned, 863},
          {STATUS_BAD_ARG, kX, 864},
          {STATUS_BAD_ARG, kY, 865},
          {STATUS_BAD_ARG, kInPlace, 867}}},
        {[](Images& i) {
             Image alphaMap(2, 2, ZAR_DEPTH_32F, 0, 8, 8);
             zarRemap(i.src, alphaMap, i.ys, i.dst, 0);
             zarRemap(i.src, i.xs, alphaMap, i.dst, 0);
         },
         {{STATUS_BAD_ARG, kX, 864}, {STATUS_BAD_ARG, kY, 865}}},
        {[](Images& i) {
             for (int32_t mode : {3, 19, -1, 35}) {
                 zarSetStatus(STATUS_OK);
                 zarRemap(i.src, i.xs, i.ys, i.dst, mode);
             }
         },
         {{STATUS_BAD_ARG, kMode, 869},
          {STATUS_BAD_ARG, kMode, 869},
          {STATUS_BAD_ARG, kMode, 869},
          {STATUS_BAD_ARG, kMode, 869}}},
        {[](Images& i) {
             zarRemap(i.s3, i.xs, i.ys, Image(4, 0, ZAR_DEPTH_8U, 0, 8, 8), 0);
             // four channels with alpha process three
             zarRemap(i.s3, i.xs, i.ys, Image(4, 4, ZAR_DEPTH_8U, 0, 8, 8), 0);
         },
         {{STATUS_BAD_ARG,
           "Number of processed channels of srcImage != Number of processed channels of dstImage",
           799}}},
        // Single-channel images may differ in data order; an earlier failure stops quietly.
        {[](Images& i) {
             zarRemap(i.src, i.xs, i.ys, Image(1, 0, ZAR_DEPTH_8U, 1, 8, 8), 0);
             zarSetStatus(STATUS_ERROR);
             zarRemap(i.src, i.xs, i.ys, i.dst, 0);
         },
         {}},
    };
    for (const auto& row : rows) {
        Images images;
        zt::ErrorRecorder errors;
        row.call(images);
        zt::expectReports(errors, "zarRemap", "zarremap", row.want);
        EXPECT_EQ(gt::rowText(images.dst, 0), "9 9 9 9 9 9 9 9");
    }
}

// Rules a reference could get wrong alike: halves to even (also under another
// rounding mode), the outside-pixel rule (by bit pattern: NaN and -0.0), the
// last column stepping back, saturation, the 8-bit cubic's rounding, fallbacks
// on narrow sources, the flag 16.  Each row fills the source with pixel(x, y),
// gives it a region (width 0: none) and samples the positions.
TEST(RemapRules, WorkedByHand) {
    const gt::Pixel ramp = [](int32_t x, int32_t y) { return 10.0 * y + x; };
    const gt::Pixel flat = [](int32_t, int32_t) { return 50.0; };
    const struct Row {
        const char* rule;
        int32_t depth, sw, sh;
        gt::Pixel pixel;
        int32_t rx, ry, rw, rh;
        const char* at;
        int32_t mode;
        const char* expected;
        int rounding;
    } rows[] = {
        {"NN rounds halves to even", ZAR_DEPTH_8U, 8, 4, ramp, 0, 0, 0, 0,
         "2.5,0.5 3.5,1.5 0.49,2.5 4.51,0 1,2.6", 0, "2 24 20 5 31", FE_TONEAREST},
        {"NN follows a downward rounding mode", ZAR_DEPTH_8U, 6, 4, ramp, 0, 0, 0, 0,
         "2.7,1.5 2.2,1.5", 0, "12 12", FE_DOWNWARD},
        {"NN follows an upward rounding mode", ZAR_DEPTH_8U, 6, 4, ramp, 0, 0, 0, 0,
         "2.7,1.5 2.2,1.5", 0, "23 23", FE_UPWARD},
        {"positions outside the region (NaN, -0.0) leave the destination", ZAR_DEPTH_8U, 10, 10,
         flat, 2, 2, 5, 5, "1.5,2 2,2 6,6 6.0001,2 nan,2 4,-0", 1, "9 50 50 9 9 9", FE_TONEAREST},
        {"-0.0 fails against a region starting at 0", ZAR_DEPTH_8U, 4, 4, flat, 0, 0, 0, 0,
         "-0,0 0,0", 0, "9 50", FE_TONEAREST},
        {"LINEAR rounds to nearest even; the last column steps back", ZAR_DEPTH_8U, 6, 4,
         [](int32_t x, int32_t y) { return y ? 0.0 : std::array{100, 101, 102, 10, 20, 200}[x]; },
         0, 0, 0, 0, "0.5,0 1.5,0 3.3,0 5,0 4.75,0", 1, "100 102 13 200 155", FE_TONEAREST},
        {"LINEAR on a one-column region", ZAR_DEPTH_8U, 6, 4,
         [](int32_t x, int32_t y) { return 40.0 * y + x; }, 0, 0, 1, 4, "0,1.5 0,3", 1, "60 120",
         FE_TONEAREST},
        {"CUBIC saturates; exact positions take the tap", ZAR_DEPTH_16U, 8, 6,
         [](int32_t x, int32_t y) { return 65535 * steps(x, y); }, 0, 0, 0, 0,
         "1.5,2 3.25,2 4,2 7,2", 2, "65535 14336 65535 65535", FE_TONEAREST},
        {"8-bit CUBIC rounds 55.78", ZAR_DEPTH_8U, 8, 6,
         [](int32_t x, int32_t y) { return 255 * steps(x, y); }, 0, 0, 0, 0, "3.25,2", 2, "56",
         FE_TONEAREST},
        {"CUBIC saturates at 0", ZAR_DEPTH_8U, 8, 6,
         [](int32_t x, int32_t) { return x == 1 || x == 2 ? 0.0 : 255; }, 0, 0, 0, 0, "1.5,2", 2,
         "0", FE_TONEAREST},
        {"CUBIC reproduces a cubic polynomial, taps moved at the edges", ZAR_DEPTH_16U, 4, 4,
         [](int32_t x, int32_t y) { return 1000.0 * x * x + 200 * y * y * y + 7; }, 0, 0, 0, 0,
         "1.5,1.5 2.5,0.25 0.5,2.75", 2, "2932 6260 4416", FE_TONEAREST},
        {"a 3-wide source runs CUBIC as LINEAR", ZAR_DEPTH_8U, 3, 5,
         [](int32_t x, int32_t) { return x == 1 ? 200.0 : 0; }, 0, 0, 0, 0, "0.5,2 1.5,2", 2,
         "100 100", FE_TONEAREST},
        {"a 1-wide source runs CUBIC as NN", ZAR_DEPTH_8U, 1, 6,
         [](int32_t, int32_t y) { return 10.0 * y; }, 0, 0, 0, 0, "0,2.5 0,3.6", 2, "20 40",
         FE_TONEAREST},
        {"mode 17 is LINEAR (67.5 -> 68)", ZAR_DEPTH_8U, 6, 6,
         [](int32_t x, int32_t) { return 30.0 * x; }, 0, 0, 0, 0, "2.25,1", 17, "68", FE_TONEAREST},
        {"mode 16 is NN", ZAR_DEPTH_8U, 6, 6, [](int32_t x, int32_t) { return 30.0 * x; }, 0, 0, 0,
         0, "2.25,1", 16, "60", FE_TONEAREST},
    };
    zt::ErrorRecorder errors;
    for (const Row& r : rows) {
        Image src = gt::filled(r.depth, r.sw, r.sh, r.pixel);
        if (r.rw) src.setRoi(0, r.rx, r.ry, r.rw, r.rh);
        std::fesetround(r.rounding);
        const std::string got = remapRow(src, r.at, r.mode);
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(got, r.expected) << r.rule;
    }
    EXPECT_TRUE(errors.reports().empty());
}

zt::OperandSpec side(int32_t depth, int32_t width, int32_t height, bool tiled) {
    zt::OperandSpec s;
    s.depth = depth;
    s.width = width;
    s.height = height;
    s.tiled = tiled;
    return s;
}

// A refused destination tile is reported; a refused map or source tile comes
// back as a backtrace after the destination tiles before it were done.
TEST(RemapTiles, RefusedTiles) {
    const struct {
        size_t refused;  // operand: 0 source, 1 x map, 2 y map, 3 destination
        int32_t column, row, mode;
        zt::Want want;
    } rows[] = {{3, 1, 1, ZAR_INTER_LINEAR, {STATUS_ERROR, "Error get tile to write", 757}},
                {1, 2, 0, ZAR_INTER_NN, {STATUS_BACKTRACE, "", 766}},
                {2, 2, 0, ZAR_INTER_NN, {STATUS_BACKTRACE, "", 775}},
                {0, 0, 2, ZAR_INTER_NN, {STATUS_BACKTRACE, "", 672}}};
    for (const auto& r : rows) {
        std::vector<zt::OperandSpec> specs = {side(ZAR_DEPTH_8U, 20, 20, r.refused == 0),
                                              side(ZAR_DEPTH_32F, 20, 20, r.refused == 1),
                                              side(ZAR_DEPTH_32F, 20, 20, r.refused == 2),
                                              side(ZAR_DEPTH_8U, 20, 20, r.refused != 0)};
        specs[1].positionSpan = specs[2].positionSpan = 20;
        zt::expectRefusal(
            specs, r.refused, r.column, r.row,
            [&](const std::vector<ImageHeader*>& h) { zarRemap(h[0], h[1], h[2], h[3], r.mode); },
            "zarRemap", "zarremap", r.want);
    }
}

// Random depths, layouts, regions, channels of interest, map sizes and
// positions (whole, halves, outside), modes with and without the flag 16;
// plain and tiled sides.
TEST(RemapRandom, PlainAndTiledAgainstTheReference) {
    gt::atEveryIsaLevel([](int32_t) {
        zt::Rng rng(4242);
        for (int32_t n = 0; n < 300; ++n) {
            zt::OperandSpec s = gt::randomFormat(rng);
            s.width = rng.range(1, 24);
            s.height = rng.range(1, 24);
            zt::OperandSpec d = s, xs = side(ZAR_DEPTH_32F, rng.range(1, 26), rng.range(1, 26), 0),
                            ys = side(ZAR_DEPTH_32F, rng.range(1, 26), rng.range(1, 26), 0);
            d.width = rng.range(1, 24);
            d.height = rng.range(1, 24);
            xs.positionSpan = s.width;
            ys.positionSpan = s.height;
            const int32_t coi = s.nChannels > 1 && rng.range(0, 3) == 0;
            for (zt::OperandSpec* o : {&s, &xs, &ys, &d}) {
                o->align = 4 << rng.range(0, 3);
                const bool withCoi = coi && o->depth != ZAR_DEPTH_32F;
                const bool hasRoi = withCoi || rng.range(0, 1);
                zt::randomInsideRoi(rng, *o, hasRoi, withCoi ? rng.range(1, s.nChannels) : 0);
                zt::randomMaskAndTiles(rng, *o, false);
            }
            const int32_t mode = rng.range(0, 2) + 16 * rng.range(0, 1);
            const std::string fault = zt::runEverywhere(
                {s, xs, ys, d}, rng.next(),
                [&](const std::vector<ImageHeader*>& h) { zarRemap(h[0], h[1], h[2], h[3], mode); },
                [&](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                    ImageHeader* expected) {
                    zt::referenceRemap(plain[0], plain[1], plain[2], expected, mode);
                });
            ASSERT_EQ(fault, "") << "case " << n << " mode " << mode;
        }
    });
}

}  // namespace
