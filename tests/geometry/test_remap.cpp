// zarRemap: the checks as a table, rules worked by hand as table rows, tile
// failures, and random cases on plain and tiled images against a naive
// reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>

#include "support/geometry_support.h"
#include "support/zar_test.h"

namespace {

using gt::fill;
using zt::Image;

Image map(int32_t width, int32_t height) { return Image(1, 0, ZAR_DEPTH_32F, 0, width, height); }

// Both maps at once from f(c, r) -> {x, y}.
template <class F>
void fillMaps(ImageHeader* xMap, ImageHeader* yMap, F f) {
    for (int32_t r = 0; r < xMap->height; ++r)
        for (int32_t c = 0; c < xMap->width; ++c) {
            const auto [x, y] = f(c, r);
            zt::setSample(xMap, c, r, 0, x);
            zt::setSample(yMap, c, r, 0, y);
        }
}

// Samples src at each position into a one-row destination (filled with 9) and gives the row.
std::vector<int32_t> remapRow(ImageHeader* src, const std::vector<std::pair<float, float>>& at,
                              int32_t mode) {
    const int32_t n = static_cast<int32_t>(at.size());
    Image xs = map(n, 1), ys = map(n, 1);
    fillMaps(xs, ys, [&](int32_t c, int32_t) { return at[c]; });
    Image dst(1, 0, src->depth, 0, n, 1, 4, 9);
    zarRemap(src, xs, ys, dst, mode);
    return gt::rowValues(dst, 0);
}

// --------------------------------------------------------------- reference

// Naive remapping written from the rules, one value at a time.
struct Reference {
    const ImageHeader* src;
    const ImageHeader* xMap;
    const ImageHeader* yMap;
    ImageHeader* dst;
    int32_t mode;

    static int32_t channels(const ImageHeader* im) {
        return im->roi && im->roi->coi ? 1 : im->nChannels - (im->alphaChannel ? 1 : 0);
    }
    static int32_t first(const ImageHeader* im) {
        return im->roi && im->roi->coi ? im->roi->coi - 1 : 0;
    }
    static void region(const ImageHeader* im, int32_t& x, int32_t& y, int32_t& w, int32_t& h) {
        x = im->roi ? im->roi->xOffset : 0;
        y = im->roi ? im->roi->yOffset : 0;
        w = im->roi ? std::min(im->roi->width, im->width - x) : im->width;
        h = im->roi ? std::min(im->roi->height, im->height - y) : im->height;
    }
    static int32_t bits(float v) {
        int32_t b;
        std::memcpy(&b, &v, 4);
        return b;
    }

    // 8U cubic in the library's fixed-point scheme: 16.16 fractions, samples
    // times 16, 1/6 and 1/3 as 43691 >> 18 and >> 17, Horner with >> 16,
    // every shift rounding to nearest.
    static int64_t shiftRound(int64_t v, int s) { return (v + (int64_t{1} << (s - 1))) >> s; }
    static int64_t fixedCubic(const int64_t p[4], int64_t t, bool twice) {
        if (t == -65536) return twice ? 2 * p[0] : p[0];
        if (t == 0) return twice ? 2 * p[1] : p[1];
        if (t == 65536) return twice ? 2 * p[2] : p[2];
        if (t == 131072) return twice ? 2 * p[3] : p[3];
        const int64_t k1 = -2 * p[0] - 3 * p[1] + 6 * p[2] - p[3];
        const int64_t k2 = p[0] - 2 * p[1] + p[2];
        const int64_t k3 = -p[0] + 3 * p[1] - 3 * p[2] + p[3];
        const int shift = twice ? 17 : 18;
        const int64_t c1 = shiftRound(k1 * 43691, shift), c3 = shiftRound(k3 * 43691, shift);
        const int64_t c2 = twice ? k2 : shiftRound(k2, 1);
        const int64_t b = twice ? 2 * p[1] : p[1];
        return b + shiftRound(t * (c1 + shiftRound(t * (c2 + shiftRound(t * c3, 16)), 16)), 16);
    }
    static double doubleCubic(double a, double b, double c, double d, double t) {
        return b + t * ((-1.0 / 3.0) * a - 0.5 * b + c - (1.0 / 6.0) * d +
                        t * (0.5 * (a + c) - b + t * ((1.0 / 6.0) * (d - a) + 0.5 * (b - c))));
    }

    void run() {
        int32_t m = mode & ~16;
        if (src->depth == ZAR_DEPTH_1U || src->width == 1 || src->height == 1)
            m = 0;
        else if (m == 2 && (src->width < 4 || src->height < 4))
            m = 1;
        int32_t dx, dy, dw, dh, xx, xy, xw, xh, yx, yy, yw, yh, sx, sy, sw, sh;
        region(dst, dx, dy, dw, dh);
        region(xMap, xx, xy, xw, xh);
        region(yMap, yx, yy, yw, yh);
        region(src, sx, sy, sw, sh);
        const int32_t w = std::min({dw, xw, yw}), h = std::min({dh, xh, yh});
        if (w < 1 || h < 1 || sw < 1 || sh < 1) return;
        const int32_t x0 = sx, x1 = sx + sw - 1, y0 = sy, y1 = sy + sh - 1;
        const int32_t n = channels(src), sc = first(src), dc = first(dst);
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c) {
                const float x = static_cast<float>(zt::getSample(xMap, xx + c, xy + r, 0));
                const float y = static_cast<float>(zt::getSample(yMap, yx + c, yy + r, 0));
                if (bits(x) < bits(static_cast<float>(x0)) ||
                    bits(x) > bits(static_cast<float>(x1)) ||
                    bits(y) < bits(static_cast<float>(y0)) ||
                    bits(y) > bits(static_cast<float>(y1)))
                    continue;
                for (int32_t k = 0; k < n; ++k) {
                    auto p = [&](int32_t px, int32_t py) {
                        return zt::getSample(src, px, py, sc + k);
                    };
                    double v;
                    if (m == 0) {
                        v = p(static_cast<int32_t>(std::nearbyint(x)),
                              static_cast<int32_t>(std::nearbyint(y)));
                    } else {
                        int32_t ix = static_cast<int32_t>(std::nearbyint(x - 0.5 + 0.0000001));
                        int32_t iy = static_cast<int32_t>(std::nearbyint(y - 0.5 + 0.0000001));
                        if (m == 1) {
                            if (ix == x1 && ix > 0) --ix;
                            if (iy == y1 && iy > 0) --iy;
                            const double fx = x - ix, fy = y - iy;
                            const double top = p(ix, iy) + (p(ix + 1, iy) - p(ix, iy)) * fx;
                            const double bottom = p(ix, iy + 1) +
                                                  (p(ix + 1, iy + 1) - p(ix, iy + 1)) * fx;
                            v = std::nearbyint(top + (bottom - top) * fy);
                        } else {
                            auto base = [](int32_t i, int32_t size) {
                                return i <= 0 ? 0 : i >= size - 2 ? size - 4 : i - 1;
                            };
                            const int32_t bx = base(ix, src->width), by = base(iy, src->height);
                            const double t = x - bx - 1.0, u = y - by - 1.0;
                            if (src->depth == ZAR_DEPTH_8U) {
                                int64_t rows[4];
                                for (int32_t j = 0; j < 4; ++j) {
                                    int64_t s[4];
                                    for (int32_t i = 0; i < 4; ++i)
                                        s[i] = 16 * static_cast<int64_t>(p(bx + i, by + j));
                                    rows[j] = fixedCubic(s, std::llrint(t * 65536.0), false);
                                }
                                const int64_t sum = fixedCubic(rows, std::llrint(u * 65536.0),
                                                               true);
                                v = std::clamp<int64_t>((sum + 16) >> 5, 0, 255);
                            } else {
                                double rows[4];
                                for (int32_t j = 0; j < 4; ++j)
                                    rows[j] = doubleCubic(p(bx, by + j), p(bx + 1, by + j),
                                                          p(bx + 2, by + j), p(bx + 3, by + j), t);
                                v = std::clamp(std::nearbyint(doubleCubic(rows[0], rows[1], rows[2],
                                                                          rows[3], u)),
                                               0.0, 65535.0);
                            }
                        }
                    }
                    zt::setSample(dst, dx + c, dy + r, dc + k, v);
                }
            }
    }
};

struct RandomCase {
    Image src, dst, xMap, yMap;
    int32_t mode;
};

RandomCase randomCase(zt::Rng& rng) {
    const int32_t depths[] = {ZAR_DEPTH_1U, ZAR_DEPTH_8U, ZAR_DEPTH_16U};
    const int32_t depth = depths[rng.range(0, 2)];
    const int32_t order = depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1);
    const int32_t nch = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
    const int32_t alpha = nch > 1 && rng.range(0, 3) == 0 ? nch : 0;
    const int32_t sw = rng.range(1, 24), sh = rng.range(1, 24);
    const int32_t dw = rng.range(1, 24), dh = rng.range(1, 24);
    RandomCase rc{Image(nch, alpha, depth, order, sw, sh, 4 << rng.range(0, 3)),
                  Image(nch, alpha, depth, order, dw, dh, 4 << rng.range(0, 3)),
                  map(rng.range(1, 26), rng.range(1, 26)), map(rng.range(1, 26), rng.range(1, 26)),
                  rng.range(0, 2) + 16 * rng.range(0, 1)};
    rc.src.randomize(rng.next());
    rc.dst.randomize(rng.next());
    const bool coi = nch > 1 && rng.range(0, 3) == 0;
    auto roi = [&](Image& im, bool withCoi) {
        if (!withCoi && rng.range(0, 1)) return;
        const int32_t x = rng.range(0, im->width - 1), y = rng.range(0, im->height - 1);
        im.setRoi(withCoi ? rng.range(1, nch) : 0, x, y, rng.range(1, im->width + 2 - x),
                  rng.range(1, im->height + 2 - y));
    };
    roi(rc.src, coi);
    roi(rc.dst, coi);
    roi(rc.xMap, false);
    roi(rc.yMap, false);
    // Positions spread a little beyond the source, with exact integers,
    // halves and negative values among them.
    for (ImageHeader* m : {rc.xMap.get(), rc.yMap.get()}) {
        const int32_t size = m == rc.xMap.get() ? sw : sh;
        for (int32_t r = 0; r < m->height; ++r)
            for (int32_t c = 0; c < m->width; ++c) {
                const int32_t kind = rng.range(0, 5);
                const double whole = rng.range(-1, size);
                const double v = kind == 0   ? whole
                                 : kind == 1 ? whole + 0.5
                                             : rng.range(-2000, 1000 * size + 1000) / 1000.0;
                zt::setSample(m, c, r, 0, v);
            }
    }
    return rc;
}

// ------------------------------------------------------------------ checks

struct Images {
    Image src{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 3};
    Image dst{1, 0, ZAR_DEPTH_8U, 0, 8, 8, 4, 9};
    Image xs = map(8, 8), ys = map(8, 8);
    Image s3{3, 0, ZAR_DEPTH_8U, 0, 8, 8}, d3plane{3, 0, ZAR_DEPTH_8U, 1, 8, 8};
    Image s8s{1, 0, ZAR_DEPTH_8S, 0, 8, 8}, s32{1, 0, ZAR_DEPTH_32F, 0, 8, 8};
    Image byteMap{1, 0, ZAR_DEPTH_8U, 0, 8, 8}, twoMap{2, 0, ZAR_DEPTH_32F, 0, 8, 8};
    Image alphaMap{2, 2, ZAR_DEPTH_32F, 0, 8, 8}, d16{1, 0, ZAR_DEPTH_16U, 0, 8, 8};
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
        {[](Images& i) { zarRemap(i.src, i.xs, i.ys, i.d16, 0); },
         {{STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 862}}},
        {[](Images& i) {
             i.dst->origin = 1;
             zarRemap(i.src, i.xs, i.ys, i.dst, 0);
         },
         {{STATUS_BAD_ARG, "srcImage->origin != dstImage->origin", 862}}},
        {[](Images& i) { zarRemap(i.s3, i.xs, i.ys, i.d3plane, 0); },
         {{STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 862}}},
        {[](Images& i) { zarRemap(i.s32, i.xs, i.ys, i.s32, 0); },
         {{STATUS_BAD_ARG, kSigned, 863},
          {STATUS_BAD_ARG, "This function is not in-place function", 867}}},
        {[](Images& i) { zarRemap(i.s8s, i.byteMap, i.twoMap, i.s8s, 3); },
         {{STATUS_BAD_ARG, kSigned, 863},
          {STATUS_BAD_ARG, kX, 864},
          {STATUS_BAD_ARG, kY, 865},
          {STATUS_BAD_ARG, "This function is not in-place function", 867}}},
        {[](Images& i) {
             zarRemap(i.src, i.alphaMap, i.ys, i.dst, 0);
             zarRemap(i.src, i.xs, i.alphaMap, i.dst, 0);
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
             Image d4(4, 0, ZAR_DEPTH_8U, 0, 8, 8), d4a(4, 4, ZAR_DEPTH_8U, 0, 8, 8);
             zarRemap(i.s3, i.xs, i.ys, d4, 0);
             zarRemap(i.s3, i.xs, i.ys, d4a, 0);  // four channels with alpha process three
         },
         {{STATUS_BAD_ARG,
           "Number of processed channels of srcImage != Number of processed channels of dstImage",
           799}}},
        // Single-channel images may differ in data order; an earlier failure stops quietly.
        {[](Images& i) {
             Image plane1(1, 0, ZAR_DEPTH_8U, 1, 8, 8);
             zarRemap(i.src, i.xs, i.ys, plane1, 0);
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
        EXPECT_EQ(gt::rowValues(images.dst, 0), std::vector<int32_t>(8, 9));
    }
}

// ------------------------------------------------------------ hand-worked

// Rules a reference could get wrong alike.  Each row fills the source with
// pixel(x, y), gives it a region (x, y, width, height; width 0: none) and
// samples the positions into one destination row (filled with 9).
TEST(RemapRules, WorkedByHand) {
    using Pixel = int32_t (*)(int32_t, int32_t);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Pixel ramp = [](int32_t x, int32_t y) { return 10 * y + x; };
    const Pixel high = [](int32_t x, int32_t) {
        return x == 0 || x == 3 || (x > 4 && x < 7) ? 0 : 65535;
    };
    const struct Row {
        const char* rule;
        int32_t depth, sw, sh;
        Pixel pixel;
        Roi roi;
        std::vector<std::pair<float, float>> at;
        int32_t mode;
        std::vector<int32_t> expected;
    } rows[] = {
        {"NN rounds halves to even",
         ZAR_DEPTH_8U,
         8,
         4,
         ramp,
         {},
         {{2.5f, 0.5f}, {3.5f, 1.5f}, {0.49f, 2.5f}, {4.51f, 0.0f}, {1.0f, 2.6f}},
         0,
         {2, 24, 20, 5, 31}},
        {"positions outside the region (NaN, -0.0) leave the destination",
         ZAR_DEPTH_8U,
         10,
         10,
         [](int32_t, int32_t) { return 50; },
         {0, 2, 2, 5, 5},
         {{1.5f, 2.0f}, {2.0f, 2.0f}, {6.0f, 6.0f}, {6.0001f, 2.0f}, {nan, 2.0f}, {4.0f, -0.0f}},
         1,
         {9, 50, 50, 9, 9, 9}},
        {"-0.0 fails against a region starting at 0",
         ZAR_DEPTH_8U,
         4,
         4,
         [](int32_t, int32_t) { return 50; },
         {},
         {{-0.0f, 0.0f}, {0.0f, 0.0f}},
         0,
         {9, 50}},
        {"LINEAR rounds to nearest even; the last column steps back",
         ZAR_DEPTH_8U,
         6,
         4,
         [](int32_t x, int32_t y) { return y ? 0 : std::array{100, 101, 102, 10, 20, 200}[x]; },
         {},
         {{0.5f, 0.0f}, {1.5f, 0.0f}, {3.3f, 0.0f}, {5.0f, 0.0f}, {4.75f, 0.0f}},
         1,
         {100, 102, 13, 200, 155}},
        {"LINEAR on a one-column region",
         ZAR_DEPTH_8U,
         6,
         4,
         [](int32_t x, int32_t y) { return 40 * y + x; },
         {0, 0, 0, 1, 4},
         {{0.0f, 1.5f}, {0.0f, 3.0f}},
         1,
         {60, 120}},
        {"CUBIC saturates; exact positions take the tap",
         ZAR_DEPTH_16U,
         8,
         6,
         high,
         {},
         {{1.5f, 2.0f}, {3.25f, 2.0f}, {4.0f, 2.0f}, {7.0f, 2.0f}},
         2,
         {65535, 14336, 65535, 65535}},
        {"8-bit CUBIC rounds 55.78",
         ZAR_DEPTH_8U,
         8,
         6,
         [](int32_t x, int32_t) { return x == 0 || x == 3 || (x > 4 && x < 7) ? 0 : 255; },
         {},
         {{3.25f, 2.0f}},
         2,
         {56}},
        {"CUBIC saturates at 0",
         ZAR_DEPTH_8U,
         8,
         6,
         [](int32_t x, int32_t) { return x == 1 || x == 2 ? 0 : 255; },
         {},
         {{1.5f, 2.0f}},
         2,
         {0}},
        {"CUBIC reproduces a cubic polynomial, taps moved at the edges",
         ZAR_DEPTH_16U,
         4,
         4,
         [](int32_t x, int32_t y) { return 1000 * x * x + 200 * y * y * y + 7; },
         {},
         {{1.5f, 1.5f}, {2.5f, 0.25f}, {0.5f, 2.75f}},
         2,
         {2932, 6260, 4416}},
        {"8-bit CUBIC rounds the cubic (47.68 -> 48)",
         ZAR_DEPTH_8U,
         4,
         4,
         [](int32_t x, int32_t y) {
             return std::array{100, 250, 200, 200, 200, 200, 0,   250,
                               250, 50,  100, 250, 250, 250, 200, 0}[4 * y + x];
         },
         {},
         {{1.75f, 1.75f}},
         2,
         {48}},
        {"a 3-wide source runs CUBIC as LINEAR",
         ZAR_DEPTH_8U,
         3,
         5,
         [](int32_t x, int32_t) { return x == 1 ? 200 : 0; },
         {},
         {{0.5f, 2.0f}, {1.5f, 2.0f}},
         2,
         {100, 100}},
        {"a 1-wide source runs CUBIC as NN",
         ZAR_DEPTH_8U,
         1,
         6,
         [](int32_t, int32_t y) { return 10 * y; },
         {},
         {{0.0f, 2.5f}, {0.0f, 3.6f}},
         2,
         {20, 40}},
        {"mode 17 is LINEAR (67.5 -> 68)",
         ZAR_DEPTH_8U,
         6,
         6,
         [](int32_t x, int32_t) { return 30 * x; },
         {},
         {{2.25f, 1.0f}},
         17,
         {68}},
        {"mode 16 is NN",
         ZAR_DEPTH_8U,
         6,
         6,
         [](int32_t x, int32_t) { return 30 * x; },
         {},
         {{2.25f, 1.0f}},
         16,
         {60}},
    };
    zt::ErrorRecorder errors;
    for (const Row& r : rows) {
        Image src(1, 0, r.depth, 0, r.sw, r.sh);
        fill(src, [&](int32_t x, int32_t y, int32_t) { return r.pixel(x, y); });
        if (r.roi.width) src.setRoi(0, r.roi.xOffset, r.roi.yOffset, r.roi.width, r.roi.height);
        EXPECT_EQ(remapRow(src, r.at, r.mode), r.expected) << r.rule;
    }
    EXPECT_TRUE(errors.reports().empty());
}

// NN takes the rounding mode the application set: downward 2.7 picks column
// 2 and 1.5 row 1, upward 2.2 picks 3 and 1.5 picks 2.
TEST(RemapRules, NearestFollowsTheRoundingModeInForce) {
    zt::ErrorRecorder errors;
    Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 4);
    fill(src, [](int32_t x, int32_t y, int32_t) { return 10 * y + x; });
    const std::vector<std::pair<float, float>> at = {{2.7f, 1.5f}, {2.2f, 1.5f}};
    const int saved = std::fegetround();
    std::fesetround(FE_DOWNWARD);
    const std::vector<int32_t> down = remapRow(src, at, ZAR_INTER_NN);
    std::fesetround(FE_UPWARD);
    const std::vector<int32_t> up = remapRow(src, at, ZAR_INTER_NN);
    std::fesetround(saved);
    EXPECT_EQ(down, (std::vector<int32_t>{12, 12}));
    EXPECT_EQ(up, (std::vector<int32_t>{23, 23}));
    EXPECT_EQ(remapRow(src, at, ZAR_INTER_NN), (std::vector<int32_t>{23, 22}));
}

// Whatever the fixed-point details, the 8-bit cubic is the exact four-point
// cubic rounded: off by at most one, and exact more than 0.125 from a half.
TEST(RemapRules, EightBitCubicStaysWithTheExactCubic) {
    zt::ErrorRecorder errors;
    zt::Rng rng(31337);
    Image src(1, 0, ZAR_DEPTH_8U, 0, 4, 4);
    int32_t exact = 0;
    for (int32_t n = 0; n < 4000; ++n) {
        src.randomize(rng.next());
        const float x = 1.0f + rng.range(0, 4096) / 4096.0f,
                    y = 1.0f + rng.range(0, 4096) / 4096.0f;
        const double got = remapRow(src, {{x, y}}, ZAR_INTER_CUBIC)[0];
        double rows[4];
        for (int32_t r = 0; r < 4; ++r)
            rows[r] = Reference::doubleCubic(
                zt::getSample(src, 0, r, 0), zt::getSample(src, 1, r, 0),
                zt::getSample(src, 2, r, 0), zt::getSample(src, 3, r, 0), x - 1.0);
        const double v = std::clamp(
            Reference::doubleCubic(rows[0], rows[1], rows[2], rows[3], y - 1.0), 0.0, 255.0);
        ASSERT_LE(std::fabs(got - v), 1.0) << "at (" << x << ", " << y << ")";
        if (std::fabs(v - std::floor(v) - 0.5) > 0.125) {
            ASSERT_EQ(got, std::nearbyint(v)) << "at (" << x << ", " << y << ")";
            ++exact;
        }
    }
    EXPECT_GT(exact, 2000);
    EXPECT_TRUE(errors.reports().empty());
}

// ------------------------------------------------------------------- tiles

// A refused destination tile is reported; a refused map or source tile comes
// back as a backtrace after the destination tiles before it were done.
TEST(RemapTiles, RefusedTiles) {
    Image srcPixels(1, 0, ZAR_DEPTH_8U, 0, 20, 20), dstPixels(1, 0, ZAR_DEPTH_8U, 0, 20, 20);
    Image xs = map(20, 20), ys = map(20, 20);
    const struct {
        int32_t refused;  // 0 source, 1 x map, 2 y map, 3 destination
        int32_t column, row, mode, writes;
        zt::Want want;
    } rows[] = {{3, 1, 1, ZAR_INTER_LINEAR, 5, {STATUS_ERROR, "Error get tile to write", 757}},
                {1, 2, 0, ZAR_INTER_NN, 3, {STATUS_BACKTRACE, "", 766}},
                {2, 2, 0, ZAR_INTER_NN, 3, {STATUS_BACKTRACE, "", 775}},
                {0, 0, 2, ZAR_INTER_NN, -1, {STATUS_BACKTRACE, "", 672}}};
    for (const auto& r : rows) {
        zt::ErrorRecorder errors;
        gt::Twin src(srcPixels, r.refused == 0, 8, 8), x(xs, r.refused == 1, 8, 8),
            y(ys, r.refused == 2, 8, 8), dst(dstPixels, r.refused != 0, 8, 8);
        gt::Twin* twins[] = {&src, &x, &y, &dst};
        twins[r.refused]->store()->refuse(r.column, r.row);
        zarRemap(src.image(), x.image(), y.image(), dst.image(), r.mode);
        zt::expectReports(errors, "zarRemap", "zarremap", {r.want});
        for (gt::Twin* t : twins)
            if (t->store()) {
                EXPECT_TRUE(t->store()->balanced()) << r.refused;
            }
        if (r.writes > 0) {
            EXPECT_EQ(dst.store()->count(ZAR_TILE_WRITE), r.writes);
        }
    }
}

// ------------------------------------------------------------ random cases

// Random cases against the reference, plain and with every combination of
// tiled sides.
TEST(RemapRandom, PlainAndTiledAgainstTheReference) {
    zt::ErrorRecorder errors;
    zt::Rng rng(4242);
    for (int32_t n = 0; n < 700; ++n) {
        RandomCase rc = randomCase(rng);
        const int32_t which = n % 16;  // the tiled sides
        SCOPED_TRACE(testing::Message() << "case " << n << " tiled " << which << " depth "
                                        << rc.src->depth << " mode " << rc.mode);
        Image expected = gt::copyOf(rc.dst);
        Reference{rc.src, rc.xMap, rc.yMap, expected, rc.mode}.run();
        gt::Twin src(rc.src, which & 1, 8, 16), xs(rc.xMap, which & 2, 16, 8),
            ys(rc.yMap, which & 4, 8, 8), dst(rc.dst, which & 8, 8, 8);
        zarRemap(src.image(), xs.image(), ys.image(), dst.image(), rc.mode);
        ASSERT_TRUE(errors.reports().empty());
        ASSERT_TRUE(gt::samePixels(expected, dst.pixels()));
        for (gt::Twin* t : {&src, &xs, &ys, &dst})
            if (t->store()) {
                EXPECT_TRUE(t->store()->balanced());
            }
    }
}

}  // namespace
