// The zoom engine and zarZoom: rules worked by hand as table rows, the checks
// as a table, tile walks, and random cases (masks, plain and tiled images)
// against a naive per-pixel reference written here from the rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <vector>

#include "geometry/zoom.h"
#include "support/geometry_support.h"
#include "support/scenario.h"
#include "support/zar_test.h"

using namespace zt;
using gt::copyOf;
using gt::rowValues;
using gt::samePixels;

namespace {

// ------------------------------------------------------------- reference

constexpr double kTol = 0.00001;

int nearestRef(double v) { return static_cast<int>(std::nearbyint(v)); }

// An image's region: roi clipped to the image, cut to its mask's region size.
struct Region {
    int x, y, w, h;
    bool empty() const { return w <= 0 || h <= 0; }
};

Region regionOf(const ImageHeader* image) {
    Region r{0, 0, image->width, image->height};
    if (image->roi) {
        r = {image->roi->xOffset, image->roi->yOffset, image->roi->width, image->roi->height};
        r.w = std::min(r.w, image->width - r.x);
        r.h = std::min(r.h, image->height - r.y);
    }
    if (const ImageHeader* m = image->maskImage) {
        Region mr = regionOf(m);
        if (mr.empty()) return {0, 0, 0, 0};
        r.w = std::min(r.w, mr.w);
        r.h = std::min(r.h, mr.h);
    }
    return r;
}

double factorRef(double scale, int size, int dstPart, int srcPart) {
    if (scale == 1.0) return 1.0;
    double real = static_cast<double>(dstPart) * size / srcPart;
    return real > 1.0 ? (size - 1) / (real - 1.0) : 0.0;
}

struct Tap {
    int index;  // absolute source index
    float frac;
};

// LINEAR: floor with tolerance; the last pixel of the region is reached from
// the one before with fraction 1.
Tap linearTap(double pos, int start, int size) {
    int i = nearestRef(pos - 0.5 + kTol);
    if (i == size - 1) return {start + i - 1, 1.0f};
    return {start + i, static_cast<float>(pos - i)};
}

// CUBIC: the index moves so that the taps index-1 .. index+2 stay in the image.
Tap cubicTap(double pos, int start, int imageSize) {
    int a = start + nearestRef(pos - 0.5 + kTol);
    if (a == imageSize - 1) return {a - 2, 2.0f};
    if (a == 0)
        a = 1;
    else if (a == imageSize - 2)
        a -= 1;
    return {a, static_cast<float>(pos - (a - start))};
}

float newton(float p0, float p1, float p2, float p3, float f) {
    float s = f + 1.0f;
    float c2 = s * (s - 1.0f) / 2.0f;
    float c3 = s * (s - 1.0f) * (s - 2.0f) / 6.0f;
    float d1 = p1 - p0;
    float d2 = p2 - 2.0f * p1 + p0;
    float d3 = p3 - 3.0f * p2 + 3.0f * p1 - p0;
    return p0 + s * d1 + c2 * d2 + c3 * d3;
}

int maxOf(int32_t depth) {
    return depth == ZAR_DEPTH_16U ? 65535 : depth == ZAR_DEPTH_8U ? 255 : 1;
}

int effectiveModeRef(const ImageHeader* src, int mode) {
    if (src->depth == ZAR_DEPTH_1U || src->width < 2 || src->height < 2) return ZAR_INTER_NN;
    if (mode == ZAR_INTER_CUBIC && (src->width < 4 || src->height < 4)) return ZAR_INTER_LINEAR;
    return mode;
}

struct Channels {
    int first, count;
};
Channels channelsOf(const ImageHeader* image) {
    if (image->roi && image->roi->coi > 0) return {image->roi->coi - 1, 1};
    return {0, image->nChannels - (image->alphaChannel ? 1 : 0)};
}

// Zooms src into dst (both plain) one pixel at a time, recomputing every tap.
void referenceZoom(const ImageHeader* src, ImageHeader* dst, int xDst, int xSrc, int yDst, int ySrc,
                   int mode) {
    Region s = regionOf(src), d = regionOf(dst);
    if (s.empty() || d.empty()) return;
    double kx = static_cast<double>(xSrc) / xDst, ky = static_cast<double>(ySrc) / yDst;
    double fx = factorRef(kx, s.w, xDst, xSrc), fy = factorRef(ky, s.h, yDst, ySrc);
    int W = std::min(d.w, std::max(1, nearestRef(s.w / kx - 0.5 + kTol)));
    int H = std::min(d.h, std::max(1, nearestRef(s.h / ky - 0.5 + kTol)));
    mode = effectiveModeRef(src, mode);
    Channels sc = channelsOf(src), dc = channelsOf(dst);

    // The mask of the destination region.
    std::function<bool(int, int)> allowed = [](int, int) { return true; };
    Image resized;
    if (src->maskImage) {
        int xs = nearestRef(kx * W - 0.5 + kTol);
        if (xs < 1) xs = nearestRef(W / kx - 0.5 + kTol);
        int ys = nearestRef(ky * H - 0.5 + kTol);
        if (ys < 1) ys = nearestRef(H / ky - 0.5 + kTol);
        resized = Image(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, W, H);
        referenceZoom(src->maskImage, resized, W, xs, H, ys, ZAR_INTER_NN);
        const ImageHeader* dm = dst->maskImage;
        ImageHeader* rm = resized.get();
        allowed = [rm, dm](int c, int r) {
            bool bit = getSample(rm, c, r, 0) != 0;
            if (dm) {
                Region mr = regionOf(dm);
                bit = bit && getSample(dm, mr.x + c, mr.y + r, 0) != 0;
            }
            return bit;
        };
    } else if (const ImageHeader* dm = dst->maskImage) {
        Region mr = regionOf(dm);
        allowed = [dm, mr](int c, int r) { return getSample(dm, mr.x + c, mr.y + r, 0) != 0; };
    }

    auto S = [&](int x, int y, int ch) {
        EXPECT_TRUE(x >= 0 && x < src->width && y >= 0 && y < src->height) << x << "," << y;
        x = std::clamp(x, 0, src->width - 1);
        y = std::clamp(y, 0, src->height - 1);
        return static_cast<int>(getSample(src, x, y, sc.first + ch));
    };
    const int top = maxOf(src->depth);
    for (int r = 0; r < H; ++r) {
        for (int c = 0; c < W; ++c) {
            if (!allowed(c, r)) continue;
            double px = c * fx, py = r * fy;
            for (int ch = 0; ch < sc.count; ++ch) {
                int out;
                if (mode == ZAR_INTER_NN) {
                    out = S(s.x + nearestRef(px + kTol), s.y + nearestRef(py + kTol), ch);
                } else if (mode == ZAR_INTER_LINEAR) {
                    Tap tx = linearTap(px, s.x, s.w), ty = linearTap(py, s.y, s.h);
                    auto across = [&](int y) {
                        // at the image's edge a one-pixel region has only its own pixel
                        int a = tx.index < 0 ? S(tx.index + 1, y, ch) : S(tx.index, y, ch);
                        int b = S(tx.index + 1, y, ch);
                        return a + tx.frac * (b - a);
                    };
                    int y0 = ty.index < 0 ? ty.index + 1 : ty.index;
                    float topRow = across(y0), bottomRow = across(ty.index + 1);
                    float v = topRow * (1.0f - ty.frac) + bottomRow * ty.frac;
                    out = std::clamp(nearestRef(v - 0.5 + kTol), 0, top);
                } else {
                    Tap tx = cubicTap(px, s.x, src->width), ty = cubicTap(py, s.y, src->height);
                    float rows[4];
                    for (int j = 0; j < 4; ++j) {
                        int y = ty.index - 1 + j;
                        rows[j] = newton(S(tx.index - 1, y, ch), S(tx.index, y, ch),
                                         S(tx.index + 1, y, ch), S(tx.index + 2, y, ch), tx.frac);
                    }
                    float v = newton(rows[0], rows[1], rows[2], rows[3], ty.frac);
                    out = std::clamp(nearestRef(v), 0, top);
                }
                setSample(dst, d.x + c, d.y + r, dc.first + ch, out);
            }
        }
    }
}

const char* const kModeText =
    "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && interpolate != "
    "ZAR_INTER_CUBIC";
const char* const kDepthText =
    "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && srcImage->depth != "
    "ZAR_DEPTH_16U";
const char* const kChannels = "Processed channels of srcImage != Processed channels of dstImage";

// ------------------------------------------------------------ hand-worked

// Rules a reference could get wrong alike: LINEAR floors (never rounds up),
// CUBIC saturates and rounds halves to even, the mode falls back on small
// sources, extreme factors.  Each row fills the source with pixel(x, y),
// zooms and compares a destination row (or column).
TEST(ZoomRules, WorkedByHand) {
    using Pixel = int (*)(int, int);
    const Pixel across = [](int x, int) { return 10 * (x + 1); };
    const struct Row {
        const char* rule;
        int32_t depth;
        int sw, sh;
        Pixel pixel;
        int dw, dh, xDst, xSrc, yDst, ySrc, mode;
        bool column;
        std::vector<int> expected;
    } rows[] = {
        {"NN 4 -> 8 takes each column twice",
         ZAR_DEPTH_16U,
         4,
         1,
         across,
         8,
         1,
         2,
         1,
         1,
         1,
         ZAR_INTER_NN,
         false,
         {10, 10, 20, 20, 30, 30, 40, 40}},
        {"LINEAR thirds are floored",
         ZAR_DEPTH_8U,
         2,
         2,
         [](int x, int) { return 200 * x; },
         4,
         2,
         2,
         1,
         1,
         1,
         ZAR_INTER_LINEAR,
         false,
         {0, 66, 133, 200}},
        {"LINEAR never rounds up (127.99 -> 127)", ZAR_DEPTH_8U, 2, 2,
         [](int, int y) { return 127 + y; }, 2, 100, 1, 1, 50, 1, ZAR_INTER_LINEAR, true,
         [] {
             std::vector<int> v(100, 127);
             v[99] = 128;
             return v;
         }()},
        {"CUBIC saturates at the top",
         ZAR_DEPTH_8U,
         4,
         4,
         [](int x, int) { return x == 1 || x == 2 ? 255 : 0; },
         7,
         4,
         7,
         4,
         1,
         1,
         ZAR_INTER_CUBIC,
         false,
         {0, 159, 255, 255, 255, 159, 0}},
        {"CUBIC saturates at 0",
         ZAR_DEPTH_8U,
         4,
         4,
         [](int x, int) { return x == 1 || x == 2 ? 0 : 255; },
         7,
         4,
         7,
         4,
         1,
         1,
         ZAR_INTER_CUBIC,
         false,
         {255, 96, 0, 0, 0, 96, 255}},
        {"CUBIC saturates at 65535",
         ZAR_DEPTH_16U,
         4,
         4,
         [](int x, int) { return x == 1 || x == 2 ? 65535 : 0; },
         7,
         4,
         7,
         4,
         1,
         1,
         ZAR_INTER_CUBIC,
         false,
         {0, 40959, 65535, 65535, 65535, 40959, 0}},
        {"CUBIC rounds halves to even",
         ZAR_DEPTH_8U,
         4,
         4,
         [](int x, int) { return x + 1; },
         7,
         4,
         7,
         4,
         1,
         1,
         ZAR_INTER_CUBIC,
         false,
         {1, 2, 2, 2, 3, 4, 4}},
        {"a one-column source runs LINEAR as NN; 0.5 goes up",
         ZAR_DEPTH_8U,
         1,
         5,
         [](int, int y) { return 10 * y; },
         1,
         9,
         1,
         1,
         9,
         5,
         ZAR_INTER_LINEAR,
         true,
         {0, 10, 10, 20, 20, 30, 30, 40, 40}},
        {"a one-column source runs CUBIC as NN",
         ZAR_DEPTH_8U,
         1,
         5,
         [](int, int y) { return 10 * y; },
         2,
         9,
         2,
         1,
         2,
         1,
         ZAR_INTER_CUBIC,
         true,
         {0, 0, 10, 10, 20, 20, 30, 30, 40}},
        {"a factor of 2e9 fills the region from column 0", ZAR_DEPTH_8U, 4, 1, across, 8, 1,
         2000000000, 1, 1, 1, ZAR_INTER_NN, false, std::vector<int>(8, 10)},
    };
    ErrorRecorder errors;
    for (const Row& r : rows) {
        Image src(1, 0, r.depth, ZAR_DATA_ORDER_PIXEL, r.sw, r.sh);
        gt::fill(src, [&](int x, int y, int) { return r.pixel(x, y); });
        Image dst(1, 0, r.depth, ZAR_DATA_ORDER_PIXEL, r.dw, r.dh);
        zarZoom(src, dst, r.xDst, r.xSrc, r.yDst, r.ySrc, r.mode);
        std::vector<int> got;
        for (int k = 0; k < (r.column ? r.dh : r.dw); ++k)
            got.push_back(static_cast<int>(getSample(dst, r.column ? 0 : k, r.column ? k : 0, 0)));
        EXPECT_EQ(got, r.expected) << r.rule;
    }
    EXPECT_TRUE(errors.reports().empty());
}

// ------------------------------------------------------------------ checks

struct Pair {
    Image src{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 5};
    Image dst{1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 4, 1};
    Image rgb{3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 5};
    Image rgb8{3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 4, 1};
};

// Every check, in order: the argument checks go on after a failure and then
// stop the call; the destination keeps its pixels.
TEST(ZoomChecks, EveryCheck) {
    using Call = void (*)(Pair&);
    const struct {
        Call call;
        std::vector<zt::Want> want;
    } rows[] = {
        {[](Pair& p) { zoomEngine(nullptr, p.dst, 2, 1, 2, 1, 0); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 705}}},
        {[](Pair& p) { zoomEngine(p.src, nullptr, 2, 1, 2, 1, 0); },
         {{STATUS_NULL_HEADER, "Incorrect Image", 706}}},
        {[](Pair& p) {
             Image bad(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4);
             bad->nChannels = 0;
             zarZoom(p.src, bad, 2, 1, 2, 1, 0);
             bad->nChannels = 1;
         },
         {{STATUS_BAD_CHANNELS, "Incorrect Image", 706}}},
        {[](Pair& p) { zoomEngine(p.src, p.dst, 2, 1, 2, 1, 3); },
         {{STATUS_BAD_ARG, kModeText, 707}}},
        {[](Pair& p) {
             Image src16(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 4, 4);
             zoomEngine(src16, p.dst, 2, 1, 2, 1, 7);
         },
         {{STATUS_BAD_ARG, kModeText, 707},
          {STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 708},
          {STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 710}}},
        {[](Pair&) {
             Image s8(1, 0, ZAR_DEPTH_8S, ZAR_DATA_ORDER_PIXEL, 4, 4);
             Image d8(1, 0, ZAR_DEPTH_8S, ZAR_DATA_ORDER_PIXEL, 8, 8);
             zoomEngine(s8, d8, 0, 1, 2, -1, ZAR_INTER_NN);
             Image s32(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 4, 4);
             Image d32(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 8, 8);
             zoomEngine(s32, d32, 2, 0, 0, 1, ZAR_INTER_NN);
         },
         {{STATUS_BAD_ARG, kDepthText, 709},
          {STATUS_BAD_ARG, "xDst <= 0 || xSrc <= 0", 711},
          {STATUS_BAD_ARG, "yDst <= 0 || ySrc <= 0", 712},
          {STATUS_BAD_ARG, kDepthText, 709},
          {STATUS_BAD_ARG, "xDst <= 0 || xSrc <= 0", 711},
          {STATUS_BAD_ARG, "yDst <= 0 || ySrc <= 0", 712}}},
        {[](Pair& p) { zarZoom(p.dst, p.dst, 1, 1, 1, 1, 0); },
         {{STATUS_BAD_ARG, "This function isn`t in-plase function", 728}}},
        {[](Pair& p) { zarZoom(p.rgb, p.dst, 2, 1, 2, 1, 0); }, {{STATUS_ERROR, kChannels, 450}}},
        {[](Pair& p) {
             p.rgb.setRoi(2, 0, 0, 4, 4);
             zarZoom(p.rgb, p.rgb8, 2, 1, 2, 1, 0);
             // one channel of interest into a one-channel image is fine
             zarZoom(p.rgb, p.rgb8, 1, 1, 1, 1, 0);
         },
         {{STATUS_ERROR, kChannels, 453}}},
        {[](Pair& p) {
             zarZoom(p.src, p.dst, 1, 2, 1, 1, ZAR_INTER_LINEAR);
             zarZoom(p.src, p.dst, 1, 1, 2, 3, ZAR_INTER_LINEAR);
         },
         {{STATUS_BAD_ARG, "xDst < xSrc || yDst < ySrc", 1381},
          {STATUS_BAD_ARG, "xDst < xSrc || yDst < ySrc", 1381}}},
        // An earlier failure in the status word stops the call quietly.
        {[](Pair& p) {
             zarSetStatus(STATUS_BAD_ARG);
             zoomEngine(p.src, p.dst, 2, 1, 2, 1, 0);
         },
         {}},
    };
    for (const auto& row : rows) {
        Pair pair;
        ErrorRecorder errors;
        row.call(pair);
        zt::expectReports(errors, "zarZoom", "zarZoom", row.want);
        EXPECT_EQ(rowValues(pair.dst, 0), std::vector<int>(8, 1));
        EXPECT_EQ(rowValues(pair.rgb8, 0, 1), std::vector<int>(8, 1));
    }
}

// ------------------------------------------------------------------- tiles

// Destination tiles in order, each released; a refused destination tile
// stops the call there (the line depends on whether the source is tiled).
TEST(ZoomTiles, DestinationTilesInOrderAndRefused) {
    ErrorRecorder errors;
    Image src = Image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 5, 5, 4, 8);
    TileStore dst(1, 0, ZAR_DEPTH_8U, 0, 40, 24, 16, 8);
    Roi roi{0, 4, 3, 30, 15};
    dst.image()->roi = &roi;
    zarZoom(src, dst, 6, 1, 3, 1, ZAR_INTER_LINEAR);  // 30 x 15 from (4, 3): 3 x 3 tiles
    dst.image()->roi = nullptr;
    EXPECT_TRUE(errors.reports().empty());
    std::vector<std::pair<int, int>> written, order;
    for (const TileCall& call : dst.log())
        if (call.mode == ZAR_TILE_WRITE) written.push_back({call.column, call.row});
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) order.push_back({c, r});
    EXPECT_EQ(written, order);
    EXPECT_TRUE(dst.balanced());

    TileStore refusing(1, 0, ZAR_DEPTH_8U, 0, 32, 32, 16, 16);
    refusing.refuse(1, 0);
    zarZoom(src, refusing, 6, 1, 6, 1, ZAR_INTER_NN);
    zt::expectReports(errors, "zarZoom", "zarZoom",
                      {{STATUS_ERROR, "Error get tile to write", 1360}});
    EXPECT_TRUE(refusing.balanced());
    EXPECT_EQ(refusing.count(ZAR_TILE_WRITE), 2);
    errors.clear();
    TileStore tiledSrc(1, 0, ZAR_DEPTH_8U, 0, 5, 5, 8, 8);
    tiledSrc.loadFrom(src);
    refusing.clearLog();
    zarZoom(tiledSrc, refusing, 6, 1, 6, 1, ZAR_INTER_CUBIC);
    zt::expectReports(errors, "zarZoom", "zarZoom",
                      {{STATUS_ERROR, "Error get tile to write", 884}});
    EXPECT_TRUE(refusing.balanced());
    EXPECT_TRUE(tiledSrc.balanced());
}

TEST(ZoomTiles, RefusedSourceTileStopsTheCall) {
    zt::OperandSpec src, dst;
    src.width = src.height = 20;
    src.tiled = true;
    dst.width = dst.height = 60;
    zt::expectRefusal(
        {src, dst}, 0, 2, 1,
        [](const std::vector<ImageHeader*>& h) { zarZoom(h[0], h[1], 3, 1, 3, 1, 1); }, "zarZoom",
        "zarZoom", {STATUS_ERROR, "Error get tile to read"});
}

// ------------------------------------------------------------ random cases

// Random depths, layouts, regions, channels of interest, factors and modes;
// masks on either side; plain and tiled sides; some sources wider than the
// 64-column blocks and destinations of many tiles.
TEST(ZoomRandom, PlainAndTiledAgainstTheReference) {
    Rng rng(2024);
    for (int n = 0; n < 400; ++n) {
        zt::OperandSpec s;
        s.depth = zt::pick(rng, {ZAR_DEPTH_8U, ZAR_DEPTH_16U, ZAR_DEPTH_1U});
        s.dataOrder = s.depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1);
        s.nChannels = s.depth == ZAR_DEPTH_1U ? 1 : zt::pick(rng, {1, 3, 4});
        s.alphaChannel = s.nChannels == 4 && rng.range(0, 1) ? 4 : 0;
        s.width = rng.range(1, 24) + (n % 5 == 0 ? 60 : 0);
        s.height = rng.range(1, 24);
        const int xDst = rng.range(1, 6), xSrc = rng.range(1, 6), yDst = rng.range(1, 6),
                  ySrc = rng.range(1, 6), mode = rng.range(0, 2);
        zt::OperandSpec d = s;
        d.width = rng.range(1, std::max(1, s.width * xDst / xSrc) + 6) + (n % 7 == 0 ? 70 : 0);
        d.height = rng.range(1, std::max(1, s.height * yDst / ySrc) + 6);
        const int coi = s.nChannels > 1 && rng.range(0, 3) == 0 ? rng.range(1, s.nChannels) : 0;
        for (zt::OperandSpec* o : {&s, &d}) {
            o->hasRoi = coi || rng.range(0, 2) != 0;
            o->roi = zt::randomRoi(rng, o->width, o->height);
            o->roi.xOffset %= o->width;
            o->roi.yOffset %= o->height;
            o->roi.coi = coi ? rng.range(1, s.nChannels) : 0;
            zt::randomMaskAndTiles(rng, *o, !coi);
            o->maskOrder = 0;  // the resized source mask is pixel order: plane order is refused
        }
        const std::string fault = zt::runEverywhere(
            {s, d}, rng.next(),
            [&](const std::vector<ImageHeader*>& h) {
                zoomEngine(h[0], h[1], xDst, xSrc, yDst, ySrc, mode);
            },
            [&](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                ImageHeader* expected) {
                referenceZoom(plain[0], expected, xDst, xSrc, yDst, ySrc, mode);
            });
        ASSERT_EQ(fault, "") << "case " << n << " factors " << xDst << "/" << xSrc << ", " << yDst
                             << "/" << ySrc << " mode " << mode;
    }
}

// zarResize enlarges one axis and shrinks the other in one pass.
TEST(ZoomRandom, ResizeShrinksAndEnlargesInOnePass) {
    ErrorRecorder errors;
    Image src(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 12, 7);
    src.randomize(21);
    Image dst(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 20, 4, 1);
    Image expected = copyOf(dst);
    EXPECT_EQ(zarResize(src, dst, 2, 3, 5, 2, ZAR_INTER_LINEAR), STATUS_OK);
    referenceZoom(src, expected, 2, 3, 5, 2, ZAR_INTER_LINEAR);
    EXPECT_TRUE(samePixels(expected, dst));
    EXPECT_EQ(getSample(dst, 7, 17, 0), 1);  // 7 * 5/2 = 17.5 -> 17 rows
    EXPECT_TRUE(errors.reports().empty());
}

}  // namespace
