// The zoom engine and zarZoom: hand-worked cases, the argument checks, masks,
// tiled images, and a randomized comparison against a naive per-pixel
// reference written here from the rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <vector>

#include "geometry/zoom.h"
#include "support/geometry_support.h"
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

// ------------------------------------------------------------- helpers

void setRow(ImageHeader* image, int y, const std::vector<int>& values, int channel = 0) {
    for (size_t x = 0; x < values.size(); ++x)
        setSample(image, static_cast<int>(x), y, channel, values[x]);
}

std::vector<int> columnOf(const ImageHeader* image, int x, int channel = 0) {
    std::vector<int> out;
    for (int y = 0; y < image->height; ++y)
        out.push_back(static_cast<int>(getSample(image, x, y, channel)));
    return out;
}

Image grey8(int w, int h, int fill = 0) {
    return Image(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, w, h, 4, fill);
}

// ------------------------------------------------------------ hand-worked

TEST(ZoomHandWorked, FourToEightNearestPicksEachColumnTwice) {
    ErrorRecorder errors;
    for (int32_t depth : {ZAR_DEPTH_8U, ZAR_DEPTH_16U}) {
        Image src(1, 0, depth, ZAR_DATA_ORDER_PIXEL, 4, 1);
        setRow(src, 0, {10, 20, 30, 40});
        Image dst(1, 0, depth, ZAR_DATA_ORDER_PIXEL, 8, 1);
        zarZoom(src, dst, 2, 1, 1, 1, ZAR_INTER_NN);
        EXPECT_EQ(rowValues(dst, 0), (std::vector<int>{10, 10, 20, 20, 30, 30, 40, 40}));
    }
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, FourToEightBitsAndRows) {
    ErrorRecorder errors;
    Image src(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 4, 4);
    setRow(src, 0, {1, 0, 1, 1});
    for (int y = 1; y < 4; ++y) setRow(src, y, {y & 1, 1, 0, 0});
    Image dst(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 11, 8, 4, 1);
    dst.setRoi(0, 3, 0, 8, 8);  // bit offset 3: bits straddle bytes
    // LINEAR is forced to NN on 1-bit images
    zarZoom(src, dst, 2, 1, 2, 1, ZAR_INTER_LINEAR);
    EXPECT_EQ(rowValues(dst, 0), (std::vector<int>{1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(rowValues(dst, 1), (std::vector<int>{1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1}));
    // rows 0,0,1,1,2,2,3,3 of the source; column 0 of source row y is y & 1
    EXPECT_EQ(columnOf(dst, 3), (std::vector<int>{1, 1, 1, 1, 0, 0, 1, 1}));
    EXPECT_EQ(columnOf(dst, 5), (std::vector<int>{0, 0, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(columnOf(dst, 7), (std::vector<int>{1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(columnOf(dst, 0), (std::vector<int>(8, 1)));  // outside the roi
    EXPECT_TRUE(errors.reports().empty());
}

// Two equal rows a, b zoomed LINEAR across by xDst/1 into width columns and not
// at all down; both destination rows must agree, and the first is returned.
std::vector<int> linearAcross(int a, int b, int xDst, int width) {
    Image src = grey8(2, 2);
    setRow(src, 0, {a, b});
    setRow(src, 1, {a, b});
    Image dst = grey8(width, 2);
    zarZoom(src, dst, xDst, 1, 1, 1, ZAR_INTER_LINEAR);
    EXPECT_EQ(rowValues(dst, 1), rowValues(dst, 0));
    return rowValues(dst, 0);
}

TEST(ZoomHandWorked, LinearNeverRoundsUp) {
    ErrorRecorder errors;
    // 2 -> 100 columns: factor 1/99, column i holds 127 + i/99 before storing;
    // every value below 128 is stored as 127 (127.9899 included), the last is 128.
    std::vector<int> expected(100, 127);
    expected[99] = 128;
    EXPECT_EQ(linearAcross(127, 128, 50, 100), expected);

    // the same down the rows
    Image tall = grey8(2, 2);
    setRow(tall, 0, {127, 127});
    setRow(tall, 1, {128, 128});
    Image dstTall = grey8(2, 100);
    zarZoom(tall, dstTall, 1, 1, 50, 1, ZAR_INTER_LINEAR);
    EXPECT_EQ(columnOf(dstTall, 0), expected);
    EXPECT_EQ(columnOf(dstTall, 1), expected);
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, LinearThirds) {
    ErrorRecorder errors;
    // 2 -> 4: positions 0, 1/3, 2/3, 1: 0, 66.67, 133.33, 200 stored as floors.
    EXPECT_EQ(linearAcross(0, 200, 2, 4), (std::vector<int>{0, 66, 133, 200}));
    EXPECT_TRUE(errors.reports().empty());
}

// Four equal rows through the values, zoomed CUBIC from 4 to 7 columns (factor
// 0.5: positions 0, 0.5, ... 3) and not at all down the rows; every destination
// row must be the same, and that row is returned.
std::vector<int> cubicAcross(int32_t depth, const std::vector<int>& values) {
    Image src(1, 0, depth, ZAR_DATA_ORDER_PIXEL, 4, 4);
    for (int y = 0; y < 4; ++y) setRow(src, y, values);
    Image dst(1, 0, depth, ZAR_DATA_ORDER_PIXEL, 7, 4);
    zarZoom(src, dst, 7, 4, 1, 1, ZAR_INTER_CUBIC);
    for (int y = 1; y < 4; ++y) EXPECT_EQ(rowValues(dst, y), rowValues(dst, 0));
    return rowValues(dst, 0);
}

TEST(ZoomHandWorked, CubicSaturatesAtBothEnds) {
    ErrorRecorder errors;
    // Through 0, 255, 255, 0 the cubic at 1.5 is 286.875 (saturated to 255), at
    // 0.5 and 2.5 it is 159.375.
    EXPECT_EQ(cubicAcross(ZAR_DEPTH_8U, {0, 255, 255, 0}),
              (std::vector<int>{0, 159, 255, 255, 255, 159, 0}));
    // through 255, 0, 0, 255 it dips to -31.875 (saturated to 0)
    EXPECT_EQ(cubicAcross(ZAR_DEPTH_8U, {255, 0, 0, 255}),
              (std::vector<int>{255, 96, 0, 0, 0, 96, 255}));
    // 16-bit: the overshoot saturates at 65535; 159.375 * 257 = 40959.375
    EXPECT_EQ(cubicAcross(ZAR_DEPTH_16U, {0, 65535, 65535, 0}),
              (std::vector<int>{0, 40959, 65535, 65535, 65535, 40959, 0}));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, CubicHalvesGoToEven) {
    ErrorRecorder errors;
    // A ramp 1, 2, 3, 4 is reproduced exactly: 1.5, 2.5 and 3.5 go to 2, 2, 4.
    EXPECT_EQ(cubicAcross(ZAR_DEPTH_8U, {1, 2, 3, 4}), (std::vector<int>{1, 2, 2, 2, 3, 4, 4}));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, EqualFactorsCopyTheRegionInEveryMode) {
    ErrorRecorder errors;
    for (int32_t depth : {ZAR_DEPTH_8U, ZAR_DEPTH_16U})
        for (int32_t order : {ZAR_DATA_ORDER_PIXEL, ZAR_DATA_ORDER_PLANE})
            for (int mode : {ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC}) {
                Image src(3, 0, depth, order, 9, 7);
                src.randomize(11);
                src.setRoi(0, 2, 1, 6, 5);
                Image dst(3, 0, depth, order, 8, 8, 4, 3);
                dst.setRoi(0, 1, 2, 7, 6);
                zarZoom(src, dst, 3, 3, 2, 2, mode);
                for (int c = 0; c < 3; ++c)
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x) {
                            bool inside = x >= 1 && x < 7 && y >= 2 && y < 7;
                            double want = inside ? getSample(src, x + 1, y - 1, c) : 3;
                            ASSERT_EQ(getSample(dst, x, y, c), want)
                                << "mode " << mode << " at " << x << "," << y;
                        }
            }
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, EffectiveModeFollowsTheSourceImageSize) {
    ErrorRecorder errors;
    // 3 rows: CUBIC runs as LINEAR
    Image src = grey8(6, 3);
    src.randomize(3);
    Image cubic = grey8(13, 8), linear = grey8(13, 8);
    zarZoom(src, cubic, 9, 4, 7, 3, ZAR_INTER_CUBIC);
    zarZoom(src, linear, 9, 4, 7, 3, ZAR_INTER_LINEAR);
    EXPECT_TRUE(samePixels(linear, cubic));

    // 1 column: LINEAR and CUBIC run as NN
    Image thin = grey8(1, 5);
    setRow(thin, 0, {9});
    for (int y = 0; y < 5; ++y) setSample(thin, 0, y, 0, 10 * y);
    Image nn = grey8(2, 9), lin = grey8(2, 9), cub = grey8(2, 9);
    zarZoom(thin, nn, 2, 1, 2, 1, ZAR_INTER_NN);
    zarZoom(thin, lin, 2, 1, 2, 1, ZAR_INTER_LINEAR);
    zarZoom(thin, cub, 2, 1, 2, 1, ZAR_INTER_CUBIC);
    // 9/5 gives factor 0.5: halves (plus the tolerance) go up
    Image half = grey8(1, 9);
    zarZoom(thin, half, 1, 1, 9, 5, ZAR_INTER_LINEAR);
    EXPECT_EQ(columnOf(half, 0), (std::vector<int>{0, 10, 10, 20, 20, 30, 30, 40, 40}));
    // 5 rows doubled to a real height of 10, of which the destination holds 9:
    // factor 4/9, positions 0, .44, .89, 1.33, 1.78, 2.22, 2.67, 3.11, 3.56
    EXPECT_EQ(columnOf(nn, 0), (std::vector<int>{0, 0, 10, 10, 20, 20, 30, 30, 40}));
    EXPECT_EQ(columnOf(nn, 1), columnOf(nn, 0));
    EXPECT_TRUE(samePixels(lin, nn));
    EXPECT_TRUE(samePixels(cub, nn));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, DestinationRoiLimitsTheOutput) {
    ErrorRecorder errors;
    Image src = grey8(4, 1);
    setRow(src, 0, {10, 20, 30, 40});
    Image dst = grey8(8, 1, 7);
    dst.setRoi(0, 2, 0, 5, 1);
    zarZoom(src, dst, 2, 1, 1, 1, ZAR_INTER_NN);
    EXPECT_EQ(rowValues(dst, 0), (std::vector<int>{7, 7, 10, 10, 20, 20, 30, 7}));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, ChannelOfInterestAndAlpha) {
    ErrorRecorder errors;
    // coi 2 of a 3-channel source into coi 3 of a 4-channel destination
    Image src(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 1);
    for (int c = 0; c < 3; ++c) setRow(src, 0, {10 + c, 20 + c, 30 + c, 40 + c}, c);
    src.setRoi(2, 0, 0, 4, 1);
    Image dst(4, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 1, 4, 5);
    dst.setRoi(3, 0, 0, 8, 1);
    zarZoom(src, dst, 2, 1, 1, 1, ZAR_INTER_NN);
    EXPECT_EQ(rowValues(dst, 0, 2), (std::vector<int>{11, 11, 21, 21, 31, 31, 41, 41}));
    for (int c : {0, 1, 3}) EXPECT_EQ(rowValues(dst, 0, c), std::vector<int>(8, 5));

    // alpha channels are left alone
    Image srcA(4, 4, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 4, 1);
    for (int c = 0; c < 4; ++c) setRow(srcA, 0, {10 + c, 20 + c, 30 + c, 40 + c}, c);
    Image dstA(4, 4, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 8, 1, 4, 5);
    zarZoom(srcA, dstA, 2, 1, 1, 1, ZAR_INTER_NN);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(rowValues(dstA, 0, c), (std::vector<int>{10 + c, 10 + c, 20 + c, 20 + c, 30 + c,
                                                           30 + c, 40 + c, 40 + c}));
    EXPECT_EQ(rowValues(dstA, 0, 3), std::vector<int>(8, 5));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, SingleAlphaChannelImagesAreLeftAlone) {
    ErrorRecorder errors;
    Image src(1, 1, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 9);
    Image dst = grey8(8, 8, 1);
    zarZoom(src, dst, 2, 1, 2, 1, ZAR_INTER_NN);
    EXPECT_EQ(rowValues(dst, 3), std::vector<int>(8, 1));
    Image src2 = grey8(4, 4, 9);
    Image dst2(1, 1, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 4, 1);
    zarZoom(src2, dst2, 2, 1, 2, 1, ZAR_INTER_NN);
    EXPECT_EQ(rowValues(dst2, 3), std::vector<int>(8, 1));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, EmptyRegionsChangeNothing) {
    ErrorRecorder errors;
    Image src = grey8(4, 4, 50);
    src.setRoi(0, 6, 0, 2, 2);  // right of the image
    Image dst = grey8(8, 8, 1);
    zarZoom(src, dst, 2, 1, 2, 1, ZAR_INTER_LINEAR);
    EXPECT_EQ(rowValues(dst, 0), std::vector<int>(8, 1));
    src.setRoi(0, 0, 0, 4, 4);
    dst.setRoi(0, 0, 9, 4, 4);  // below the image
    zarZoom(src, dst, 2, 1, 2, 1, ZAR_INTER_LINEAR);
    EXPECT_EQ(rowValues(dst, 7), std::vector<int>(8, 1));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, ExtremeFactorsFillTheDestinationRegion) {
    ErrorRecorder errors;
    // a real width of 8e9: every column of the region lies within 1e-9 of column 0
    Image src = grey8(4, 1);
    setRow(src, 0, {10, 20, 30, 40});
    Image dst = grey8(8, 1, 1);
    zarZoom(src, dst, 2000000000, 1, 1, 1, ZAR_INTER_NN);
    EXPECT_EQ(rowValues(dst, 0), std::vector<int>(8, 10));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, ShrinkingThroughTheEngine) {
    ErrorRecorder errors;
    // 8 -> 4 columns NN: factor 7/3, positions 0, 2.33, 4.67, 7 -> 0, 2, 5, 7;
    // rows 2 -> 5 enlarge at the same time: factor 1/4 -> 0, 0, 1 (0.5 + tol), 1, 1.
    Image src = grey8(8, 2);
    setRow(src, 0, {0, 1, 2, 3, 4, 5, 6, 7});
    setRow(src, 1, {10, 11, 12, 13, 14, 15, 16, 17});
    Image dst = grey8(4, 5);
    zoomEngine(src, dst, 1, 2, 5, 2, ZAR_INTER_NN);
    EXPECT_EQ(rowValues(dst, 0), (std::vector<int>{0, 2, 5, 7}));
    EXPECT_EQ(rowValues(dst, 1), (std::vector<int>{0, 2, 5, 7}));
    EXPECT_EQ(rowValues(dst, 2), (std::vector<int>{10, 12, 15, 17}));
    EXPECT_EQ(rowValues(dst, 4), (std::vector<int>{10, 12, 15, 17}));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomHandWorked, PlaneOrderMatchesPixelOrder) {
    ErrorRecorder errors;
    for (int mode : {ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC}) {
        Image pix(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 7, 6);
        pix.randomize(5);
        Image pla(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 7, 6);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 7; ++x) setSample(pla, x, y, c, getSample(pix, x, y, c));
        Image dpix(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 17, 13);
        Image dpla(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 17, 13);
        zarZoom(pix, dpix, 5, 2, 2, 1, mode);
        zarZoom(pla, dpla, 5, 2, 2, 1, mode);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < 13; ++y)
                for (int x = 0; x < 17; ++x)
                    ASSERT_EQ(getSample(dpix, x, y, c), getSample(dpla, x, y, c));
    }
    EXPECT_TRUE(errors.reports().empty());
}

// ------------------------------------------------------------------ masks

Image maskOf(int w, int h, const std::vector<std::vector<int>>& rows) {
    Image m(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, w, h);
    for (size_t y = 0; y < rows.size(); ++y) setRow(m, static_cast<int>(y), rows[y]);
    return m;
}

TEST(ZoomMasks, DestinationMaskLimitsTheWrittenPixels) {
    ErrorRecorder errors;
    Image src = grey8(4, 1);
    setRow(src, 0, {10, 20, 30, 40});
    Image dst = grey8(8, 1, 99);
    // the mask's roi starts at x = 2, so destination column c reads mask bit 2 + c
    Image mask = maskOf(10, 2, {{0, 0, 1, 0, 1, 1, 0, 0, 1, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}});
    mask.setRoi(0, 2, 0, 8, 1);
    dst->maskImage = mask;
    zarZoom(src, dst, 2, 1, 1, 1, ZAR_INTER_NN);
    dst->maskImage = nullptr;
    EXPECT_EQ(rowValues(dst, 0), (std::vector<int>{10, 99, 20, 20, 99, 99, 40, 99}));
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomMasks, MaskRowsAdvanceWithDestinationRows) {
    ErrorRecorder errors;
    Image src = grey8(4, 4);
    src.randomize(7);
    Image dst = grey8(8, 8, 99);
    Image mask(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, 8, 9);
    mask.randomize(8);
    mask.setRoi(0, 0, 1, 8, 8);
    dst->maskImage = mask;
    Image expected = copyOf(dst);
    expected->maskImage = mask;
    for (int mode : {ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC}) {
        zarZoom(src, dst, 2, 1, 2, 1, mode);
        referenceZoom(src, expected, 2, 1, 2, 1, mode);
        EXPECT_TRUE(samePixels(expected, dst)) << "mode " << mode;
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (getSample(mask, x, y + 1, 0) == 0) {
                EXPECT_EQ(getSample(dst, x, y, 0), 99);
            }
    dst->maskImage = nullptr;
    expected->maskImage = nullptr;
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomMasks, SourceMaskIsResizedToTheDestination) {
    ErrorRecorder errors;
    Image src = grey8(4, 1);
    setRow(src, 0, {10, 20, 30, 40});
    Image srcMask = maskOf(4, 1, {{1, 0, 0, 1}});
    src->maskImage = srcMask;
    Image dst = grey8(8, 1, 99);
    zarZoom(src, dst, 2, 1, 1, 1, ZAR_INTER_NN);
    // the mask zoomed by NN: 1, 1, 0, 0, 0, 0, 1, 1
    EXPECT_EQ(rowValues(dst, 0), (std::vector<int>{10, 10, 99, 99, 99, 99, 40, 40}));

    // with a destination mask too, the two are ANDed
    Image dstMask = maskOf(8, 1, {{1, 0, 1, 1, 1, 1, 1, 0}});
    dst->maskImage = dstMask;
    Image dst2 = grey8(8, 1, 99);
    dst2->maskImage = dstMask;
    zarZoom(src, dst2, 2, 1, 1, 1, ZAR_INTER_NN);
    EXPECT_EQ(rowValues(dst2, 0), (std::vector<int>{10, 99, 99, 99, 99, 99, 40, 99}));
    // the caller's masks are unchanged
    EXPECT_EQ(rowValues(srcMask, 0), (std::vector<int>{1, 0, 0, 1}));
    EXPECT_EQ(rowValues(dstMask, 0), (std::vector<int>{1, 0, 1, 1, 1, 1, 1, 0}));
    src->maskImage = nullptr;
    dst->maskImage = nullptr;
    dst2->maskImage = nullptr;
    EXPECT_TRUE(errors.reports().empty());
}

// ------------------------------------------------------------------ checks

struct Expected {
    ZarStatus status;
    const char* context;
    int32_t line;
};

void expectReports(const ErrorRecorder& errors, const std::vector<Expected>& want) {
    ASSERT_EQ(errors.reports().size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Report& r = errors.reports()[i];
        EXPECT_EQ(r.status, want[i].status) << i;
        EXPECT_EQ(r.func, "zarZoom") << i;
        EXPECT_EQ(r.context, want[i].context) << i;
        EXPECT_EQ(r.file, "zarZoom") << i;
        EXPECT_EQ(r.line, want[i].line) << i;
    }
}

const char* kModeText =
    "interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && interpolate != "
    "ZAR_INTER_CUBIC";
const char* kDepthText =
    "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && srcImage->depth != "
    "ZAR_DEPTH_16U";

TEST(ZoomChecks, HeaderValidation) {
    ErrorRecorder errors;
    Image good = grey8(4, 4);
    zoomEngine(nullptr, good, 2, 1, 2, 1, ZAR_INTER_NN);
    expectReports(errors, {{STATUS_NULL_HEADER, "Incorrect Image", 705}});
    errors.clear();
    zoomEngine(good, nullptr, 2, 1, 2, 1, ZAR_INTER_NN);
    expectReports(errors, {{STATUS_NULL_HEADER, "Incorrect Image", 706}});
    errors.clear();
    Image bad = grey8(4, 4);
    bad->nChannels = 0;
    zarZoom(good, bad, 2, 1, 2, 1, ZAR_INTER_NN);
    expectReports(errors, {{STATUS_BAD_CHANNELS, "Incorrect Image", 706}});
    bad->nChannels = 1;
}

TEST(ZoomChecks, ArgumentChecksGoOnAndThenStop) {
    ErrorRecorder errors;
    Image src = grey8(4, 4, 5);
    Image dst = grey8(8, 8, 1);
    zoomEngine(src, dst, 2, 1, 2, 1, 3);
    expectReports(errors, {{STATUS_BAD_ARG, kModeText, 707}});
    errors.clear();

    Image src16(1, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 4, 4);
    zoomEngine(src16, dst, 2, 1, 2, 1, 7);
    expectReports(errors, {{STATUS_BAD_ARG, kModeText, 707},
                           {STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 708},
                           {STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 710}});
    errors.clear();

    Image s8(1, 0, ZAR_DEPTH_8S, ZAR_DATA_ORDER_PIXEL, 4, 4);
    Image d8(1, 0, ZAR_DEPTH_8S, ZAR_DATA_ORDER_PIXEL, 8, 8);
    zoomEngine(s8, d8, 0, 1, 2, -1, ZAR_INTER_NN);
    expectReports(errors, {{STATUS_BAD_ARG, kDepthText, 709},
                           {STATUS_BAD_ARG, "xDst <= 0 || xSrc <= 0", 711},
                           {STATUS_BAD_ARG, "yDst <= 0 || ySrc <= 0", 712}});
    errors.clear();

    Image s32(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 4, 4);
    Image d32(1, 0, ZAR_DEPTH_32F, ZAR_DATA_ORDER_PIXEL, 8, 8);
    zoomEngine(s32, d32, 2, 0, 0, 1, ZAR_INTER_NN);
    expectReports(errors, {{STATUS_BAD_ARG, kDepthText, 709},
                           {STATUS_BAD_ARG, "xDst <= 0 || xSrc <= 0", 711},
                           {STATUS_BAD_ARG, "yDst <= 0 || ySrc <= 0", 712}});
    EXPECT_EQ(rowValues(dst, 0), std::vector<int>(8, 1));
}

TEST(ZoomChecks, EarlierNegativeStatusStopsSilently) {
    ErrorRecorder errors;
    Image src = grey8(4, 4, 5);
    Image dst = grey8(8, 8, 1);
    zarSetStatus(STATUS_BAD_ARG);
    zoomEngine(src, dst, 2, 1, 2, 1, ZAR_INTER_NN);
    EXPECT_TRUE(errors.reports().empty());
    EXPECT_EQ(rowValues(dst, 0), std::vector<int>(8, 1));
}

TEST(ZoomChecks, ZoomRefusesToShrink) {
    ErrorRecorder errors;
    Image src = grey8(8, 8, 5);
    Image dst = grey8(8, 8, 1);
    zarZoom(src, dst, 1, 2, 1, 1, ZAR_INTER_LINEAR);
    expectReports(errors, {{STATUS_BAD_ARG, "xDst < xSrc || yDst < ySrc", 1381}});
    errors.clear();
    zarZoom(src, dst, 1, 1, 2, 3, ZAR_INTER_LINEAR);
    expectReports(errors, {{STATUS_BAD_ARG, "xDst < xSrc || yDst < ySrc", 1381}});
    EXPECT_EQ(rowValues(dst, 0), std::vector<int>(8, 1));
    errors.clear();
    // the engine itself shrinks
    zoomEngine(src, dst, 1, 2, 1, 1, ZAR_INTER_LINEAR);
    EXPECT_TRUE(errors.reports().empty());
    EXPECT_EQ(rowValues(dst, 0), (std::vector<int>{5, 5, 5, 5, 1, 1, 1, 1}));
}

TEST(ZoomChecks, ResizeShrinksAndEnlargesInOnePass) {
    ErrorRecorder errors;
    Image src(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 12, 7);
    src.randomize(21);
    Image dst(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 20, 4, 1);
    Image expected = copyOf(dst);
    // x shrinks by 2/3, y grows by 5/2
    EXPECT_EQ(zarResize(src, dst, 2, 3, 5, 2, ZAR_INTER_LINEAR), STATUS_OK);
    referenceZoom(src, expected, 2, 3, 5, 2, ZAR_INTER_LINEAR);
    EXPECT_TRUE(samePixels(expected, dst));
    EXPECT_EQ(getSample(dst, 7, 17, 0), 1);  // 12 * 2/3 = 8 columns, 7 * 5/2 = 17.5 -> 17 rows
    EXPECT_NE(getSample(dst, 7, 16, 0) + getSample(dst, 7, 16, 1) + getSample(dst, 7, 16, 2), 3);
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomChecks, NotInPlace) {
    ErrorRecorder errors;
    Image img = grey8(8, 8, 5);
    zarZoom(img, img, 1, 1, 1, 1, ZAR_INTER_NN);
    expectReports(errors, {{STATUS_BAD_ARG, "This function isn`t in-plase function", 728}});
}

TEST(ZoomChecks, ProcessedChannels) {
    ErrorRecorder errors;
    Image rgb(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 4, 4, 4, 5);
    Image grey = grey8(8, 8, 1);
    zarZoom(rgb, grey, 2, 1, 2, 1, ZAR_INTER_NN);
    expectReports(
        errors,
        {{STATUS_ERROR, "Processed channels of srcImage != Processed channels of dstImage", 450}});
    errors.clear();
    // a channel of interest on one side needs one channel on the other
    Image rgb2(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 8, 4, 1);
    rgb.setRoi(2, 0, 0, 4, 4);
    zarZoom(rgb, rgb2, 2, 1, 2, 1, ZAR_INTER_NN);
    expectReports(
        errors,
        {{STATUS_ERROR, "Processed channels of srcImage != Processed channels of dstImage", 453}});
    EXPECT_EQ(rowValues(rgb2, 0, 1), std::vector<int>(8, 1));
    errors.clear();
    // one channel of interest into a one-channel image is fine
    zarZoom(rgb, grey, 2, 1, 2, 1, ZAR_INTER_NN);
    EXPECT_TRUE(errors.reports().empty());
    EXPECT_EQ(rowValues(grey, 0), std::vector<int>(8, 5));
}

// ------------------------------------------------------------ randomized

struct Case {
    int32_t depth, order, nChannels, alpha;
    int srcW, srcH, dstW, dstH;
    bool srcRoi, dstRoi;
    Roi sr, dr;
    int xDst, xSrc, yDst, ySrc, mode;
};

Case randomCase(Rng& rng, bool allowCoi) {
    Case c{};
    const int32_t depths[] = {ZAR_DEPTH_8U, ZAR_DEPTH_16U, ZAR_DEPTH_1U};
    c.depth = depths[rng.range(0, 5) / 2];
    c.order = c.depth == ZAR_DEPTH_1U ? ZAR_DATA_ORDER_PIXEL : rng.range(0, 1);
    c.nChannels = c.depth == ZAR_DEPTH_1U ? 1 : std::vector<int>{1, 3, 4}[rng.range(0, 2)];
    c.alpha = c.nChannels == 4 && rng.range(0, 1) ? 4 : 0;
    c.srcW = rng.range(1, 24);
    c.srcH = rng.range(1, 24);
    c.xDst = rng.range(1, 6);
    c.xSrc = rng.range(1, 6);
    c.yDst = rng.range(1, 6);
    c.ySrc = rng.range(1, 6);
    c.mode = rng.range(0, 2);
    c.srcRoi = rng.range(0, 2) != 0;
    int coi = allowCoi && c.nChannels > 1 && rng.range(0, 3) == 0 ? rng.range(1, c.nChannels) : 0;
    if (c.srcRoi) {
        c.sr.coi = coi;
        c.sr.xOffset = rng.range(0, c.srcW - 1);
        c.sr.yOffset = rng.range(0, c.srcH - 1);
        c.sr.width = rng.range(1, c.srcW - c.sr.xOffset + 2);  // may pass the edge
        c.sr.height = rng.range(1, c.srcH - c.sr.yOffset + 2);
    }
    int scaledW = std::max(1, c.srcW * c.xDst / c.xSrc),
        scaledH = std::max(1, c.srcH * c.yDst / c.ySrc);
    c.dstW = rng.range(1, scaledW + 6);
    c.dstH = rng.range(1, scaledH + 6);
    c.dstRoi = rng.range(0, 2) != 0 || coi != 0;
    if (c.dstRoi) {
        c.dr.coi = coi ? rng.range(1, c.nChannels) : 0;
        c.dr.xOffset = rng.range(0, c.dstW - 1);
        c.dr.yOffset = rng.range(0, c.dstH - 1);
        c.dr.width = rng.range(1, c.dstW - c.dr.xOffset + 2);
        c.dr.height = rng.range(1, c.dstH - c.dr.yOffset + 2);
    }
    if (coi && !c.srcRoi) {
        c.srcRoi = true;
        c.sr = {coi, 0, 0, c.srcW, c.srcH};
    }
    return c;
}

std::string describe(const Case& c) {
    std::ostringstream s;
    s << "depth " << c.depth << " order " << c.order << " ch " << c.nChannels << "/" << c.alpha
      << " src " << c.srcW << "x" << c.srcH << " dst " << c.dstW << "x" << c.dstH << " factors "
      << c.xDst << "/" << c.xSrc << "," << c.yDst << "/" << c.ySrc << " mode " << c.mode;
    if (c.srcRoi)
        s << " srcRoi " << c.sr.coi << ":" << c.sr.xOffset << "," << c.sr.yOffset << " "
          << c.sr.width << "x" << c.sr.height;
    if (c.dstRoi)
        s << " dstRoi " << c.dr.coi << ":" << c.dr.xOffset << "," << c.dr.yOffset << " "
          << c.dr.width << "x" << c.dr.height;
    return s.str();
}

// The case's source and destination, filled with random values, with their rois.
struct CaseImages {
    Image src, dst;
};
CaseImages makeImages(const Case& c, Rng& rng) {
    CaseImages m{Image(c.nChannels, c.alpha, c.depth, c.order, c.srcW, c.srcH),
                 Image(c.nChannels, c.alpha, c.depth, c.order, c.dstW, c.dstH)};
    m.src.randomize(rng.next());
    m.dst.randomize(rng.next());
    if (c.srcRoi) m.src.setRoi(c.sr.coi, c.sr.xOffset, c.sr.yOffset, c.sr.width, c.sr.height);
    if (c.dstRoi) m.dst.setRoi(c.dr.coi, c.dr.xOffset, c.dr.yOffset, c.dr.width, c.dr.height);
    return m;
}

TEST(ZoomRandomized, MatchesTheNaiveReference) {
    ErrorRecorder errors;
    Rng rng(2024);
    int changed = 0;
    for (int n = 0; n < 400; ++n) {
        Case c = randomCase(rng, true);
        auto [src, dst] = makeImages(c, rng);
        Image expected = copyOf(dst);
        Image before = copyOf(dst);
        zoomEngine(src, dst, c.xDst, c.xSrc, c.yDst, c.ySrc, c.mode);
        referenceZoom(src, expected, c.xDst, c.xSrc, c.yDst, c.ySrc, c.mode);
        ASSERT_TRUE(errors.reports().empty()) << describe(c) << ": " << errors.reports()[0].context;
        ASSERT_TRUE(samePixels(expected, dst)) << describe(c);
        changed += !samePixels(before, dst);
    }
    EXPECT_GT(changed, 300);  // the cases really write pixels
}

TEST(ZoomRandomized, LargerImagesMatchTheReference) {
    ErrorRecorder errors;
    Rng rng(77);
    for (int n = 0; n < 12; ++n) {
        int mode = n % 3;
        int32_t depth = n % 2 ? ZAR_DEPTH_16U : ZAR_DEPTH_8U;
        int xDst = rng.range(1, 9), xSrc = rng.range(1, 9), yDst = rng.range(1, 9),
            ySrc = rng.range(1, 9);
        int sw = rng.range(40, 90), sh = rng.range(40, 90);
        Image src(3, 0, depth, n % 4 < 2 ? 0 : 1, sw, sh);
        src.randomize(rng.next());
        Image dst(3, 0, depth, n % 4 < 2 ? 0 : 1, sw * xDst / xSrc + 3, sh * yDst / ySrc + 3);
        Image expected = copyOf(dst);
        zoomEngine(src, dst, xDst, xSrc, yDst, ySrc, mode);
        referenceZoom(src, expected, xDst, xSrc, yDst, ySrc, mode);
        ASSERT_TRUE(samePixels(expected, dst)) << n;
    }
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomRandomized, MasksMatchTheReference) {
    ErrorRecorder errors;
    Rng rng(99);
    int changed = 0;
    for (int n = 0; n < 150; ++n) {
        Case c = randomCase(rng, false);
        auto [src, dst] = makeImages(c, rng);
        Image expected = copyOf(dst);
        int which = rng.range(1, 3);  // 1 source mask, 2 destination mask, 3 both
        Image srcMask, dstMask;
        if (which & 1) {
            srcMask = Image(1, 0, ZAR_DEPTH_1U, 0, c.srcW + 3, c.srcH + 3);
            srcMask.randomize(rng.next());
            if (rng.range(0, 1))
                srcMask.setRoi(0, rng.range(0, 3), rng.range(0, 3), c.srcW, c.srcH);
            src->maskImage = srcMask;
        }
        if (which & 2) {
            dstMask = Image(1, 0, ZAR_DEPTH_1U, 0, c.dstW + 9, c.dstH + 9);
            dstMask.randomize(rng.next());
            if (rng.range(0, 1))
                dstMask.setRoi(0, rng.range(0, 9), rng.range(0, 9), c.dstW, c.dstH);
            dst->maskImage = dstMask;
            expected->maskImage = dstMask;
        }
        Image before = copyOf(dst);
        zoomEngine(src, dst, c.xDst, c.xSrc, c.yDst, c.ySrc, c.mode);
        referenceZoom(src, expected, c.xDst, c.xSrc, c.yDst, c.ySrc, c.mode);
        changed += !samePixels(before, dst);
        src->maskImage = nullptr;
        dst->maskImage = nullptr;
        expected->maskImage = nullptr;
        ASSERT_TRUE(errors.reports().empty()) << describe(c) << ": " << errors.reports()[0].context;
        ASSERT_TRUE(samePixels(expected, dst)) << describe(c) << " masks " << which;
    }
    EXPECT_GT(changed, 75);
}

// ------------------------------------------------------------------- tiles

// Attaches masks (or none) to a source and a destination for the life of the
// record; the images' owners must not free them.
struct MaskAttachment {
    ImageHeader *src, *dst;
    MaskAttachment(ImageHeader* s, ImageHeader* srcMask, ImageHeader* d, ImageHeader* dstMask)
        : src(s), dst(d) {
        src->maskImage = srcMask;
        dst->maskImage = dstMask;
    }
    ~MaskAttachment() {
        src->maskImage = nullptr;
        dst->maskImage = nullptr;
    }
};

TEST(ZoomTiles, TiledImagesGiveThePlainPixels) {
    ErrorRecorder errors;
    Rng rng(555);
    int changed = 0;
    for (int n = 0; n < 120; ++n) {
        Case c = randomCase(rng, true);
        c.srcW += 60 * (n % 3 == 0);  // some sources wider than one 64-column block
        c.dstW += 70 * (n % 4 == 0);
        c.dstH += 70 * (n % 5 == 0);
        auto [src, dst] = makeImages(c, rng);
        const int sides = rng.range(1, 3);  // 1 tiled source, 2 tiled destination, 3 both
        const int stw = 8 * rng.range(1, 3), sth = 8 * rng.range(1, 3);
        const int dtw = 8 * rng.range(1, 4), dth = 8 * rng.range(1, 4);
        Image plainOut = copyOf(dst);
        Image tiledOut = copyOf(dst);
        gt::Twin tsrc(src, sides & 1, stw, sth);
        gt::Twin tdst(tiledOut, sides & 2, dtw, dth);
        // masks on neither side, the source, the destination or both
        Image srcMask(1, 0, ZAR_DEPTH_1U, 0, c.srcW, c.srcH);
        Image dstMask(1, 0, ZAR_DEPTH_1U, 0, c.dstW, c.dstH);
        srcMask.randomize(rng.next());
        dstMask.randomize(rng.next());
        MaskAttachment plainMasks(src, n & 1 ? srcMask.get() : nullptr, plainOut,
                                  n & 2 ? dstMask.get() : nullptr);
        zoomEngine(src, plainOut, c.xDst, c.xSrc, c.yDst, c.ySrc, c.mode);
        // the other run, with one or both sides tiled
        MaskAttachment tiledMasks(tsrc.image(), n & 1 ? srcMask.get() : nullptr, tdst.image(),
                                  n & 2 ? dstMask.get() : nullptr);
        zoomEngine(tsrc.image(), tdst.image(), c.xDst, c.xSrc, c.yDst, c.ySrc, c.mode);
        ASSERT_TRUE(errors.reports().empty()) << describe(c) << ": " << errors.reports()[0].context;
        ASSERT_TRUE(samePixels(plainOut, tdst.pixels()))
            << describe(c) << " sides " << sides << " masks " << (n & 3);
        changed += !samePixels(dst, plainOut);
        if (sides & 1) {
            EXPECT_TRUE(tsrc.store()->balanced());
            EXPECT_EQ(tsrc.store()->count(ZAR_TILE_WRITE), 0);
        }
        if (sides & 2) {
            EXPECT_TRUE(tdst.store()->balanced());
        }
    }
    EXPECT_GT(changed, 80);
}

TEST(ZoomTiles, SourceBlocksCoverLargeDestinations) {
    ErrorRecorder errors;
    for (int32_t order : {ZAR_DATA_ORDER_PIXEL, ZAR_DATA_ORDER_PLANE})
        for (int mode : {ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC}) {
            Image src(3, 0, ZAR_DEPTH_8U, order, 61, 53);
            src.randomize(static_cast<uint32_t>(mode + 10 * order));
            src.setRoi(0, 3, 2, 55, 50);
            gt::Twin tsrc(src, true, 16, 8);
            // 55 x 50 -> 151 x 137 (x 11/4, y 11/4), many 64 x 64 blocks
            Image plainOut(3, 0, ZAR_DEPTH_8U, order, 160, 150, 4, 7);
            plainOut.setRoi(0, 5, 9, 151, 141);
            Image tiledOut(3, 0, ZAR_DEPTH_8U, order, 160, 150, 4, 7);
            tiledOut.setRoi(0, 5, 9, 151, 141);
            zarZoom(src, plainOut, 11, 4, 11, 4, mode);
            zarZoom(tsrc.image(), tiledOut, 11, 4, 11, 4, mode);
            EXPECT_TRUE(samePixels(plainOut, tiledOut)) << "mode " << mode;
            EXPECT_EQ(getSample(plainOut, 155, 146, 0), 7);  // beyond the scaled region
            EXPECT_NE(getSample(plainOut, 155, 145, 0) + getSample(plainOut, 155, 145, 1) +
                          getSample(plainOut, 155, 145, 2),
                      21);
            EXPECT_TRUE(tsrc.store()->balanced());
            EXPECT_EQ(tsrc.store()->count(ZAR_TILE_WRITE), 0);
        }
    EXPECT_TRUE(errors.reports().empty());
}

TEST(ZoomTiles, DestinationTilesInOrderAndReleased) {
    ErrorRecorder errors;
    Image src = grey8(5, 5);
    src.randomize(1);
    TileStore dst(1, 0, ZAR_DEPTH_8U, 0, 40, 24, 16, 8);
    Roi roi{0, 4, 3, 30, 15};
    dst.image()->roi = &roi;
    zarZoom(src, dst, 6, 1, 3, 1, ZAR_INTER_LINEAR);  // 30 x 15 from (4, 3): tiles 0..2 x 0..2
    dst.image()->roi = nullptr;
    EXPECT_TRUE(errors.reports().empty());
    std::vector<std::pair<int, int>> written;
    for (const TileCall& call : dst.log())
        if (call.mode == ZAR_TILE_WRITE) written.push_back({call.column, call.row});
    std::vector<std::pair<int, int>> order;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) order.push_back({c, r});
    EXPECT_EQ(written, order);
    EXPECT_TRUE(dst.balanced());
}

TEST(ZoomTiles, RefusedDestinationTile) {
    ErrorRecorder errors;
    Image src = grey8(5, 5, 8);
    TileStore dst(1, 0, ZAR_DEPTH_8U, 0, 32, 32, 16, 16);
    dst.refuse(1, 0);
    zarZoom(src, dst, 6, 1, 6, 1, ZAR_INTER_NN);
    expectReports(errors, {{STATUS_ERROR, "Error get tile to write", 1360}});
    EXPECT_TRUE(dst.balanced());
    EXPECT_EQ(dst.count(ZAR_TILE_WRITE), 2);  // stopped at the refused tile

    // with a tiled source as well the line differs
    errors.clear();
    TileStore tsrc(1, 0, ZAR_DEPTH_8U, 0, 5, 5, 8, 8);
    tsrc.loadFrom(src);
    dst.clearLog();
    zarZoom(tsrc, dst, 6, 1, 6, 1, ZAR_INTER_CUBIC);
    expectReports(errors, {{STATUS_ERROR, "Error get tile to write", 884}});
    EXPECT_TRUE(dst.balanced());
    EXPECT_TRUE(tsrc.balanced());
}

TEST(ZoomTiles, RefusedSourceTileStopsTheCall) {
    ErrorRecorder errors;
    Image plain = grey8(20, 20);
    plain.randomize(4);
    TileStore src(1, 0, ZAR_DEPTH_8U, 0, 20, 20, 8, 8);
    src.loadFrom(plain);
    src.refuse(2, 1);
    Image dst = grey8(60, 60);
    zarZoom(src, dst, 3, 1, 3, 1, ZAR_INTER_LINEAR);
    ASSERT_EQ(errors.reports().size(), 1u);
    EXPECT_EQ(errors.reports()[0].status, STATUS_ERROR);
    EXPECT_EQ(errors.reports()[0].context, "Error get tile to read");
    EXPECT_EQ(errors.reports()[0].func, "zarZoom");
    EXPECT_EQ(errors.reports()[0].file, "zarZoom");
}

}  // namespace
