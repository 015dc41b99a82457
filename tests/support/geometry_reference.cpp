#include "geometry_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>

#include "geometry_support.h"

namespace zt {

using gt::Region;
using gt::regionOf;

// -------------------------------------------------------------- decimate

namespace {

double lagrange(double a, double b, double c, double d, double t) {
    return (6.0 * b + t * (-2.0 * a - 3.0 * b + 6.0 * c - d) +
            t * t * (3.0 * a - 6.0 * b + 3.0 * c) + t * t * t * (-a + 3.0 * b - 3.0 * c + d)) *
           static_cast<double>(1.0f / 6.0f);
}

// The samples of a decimation's source from its region's corner, and its top value.
struct DecimateSource {
    const ImageHeader* src;
    Region s;
    int32_t cols, rows, maxValue;
    double at(int32_t x, int32_t y, int32_t c) const {
        return getSample(src, s.x + x, s.y + y, s.firstChannel + c);
    }

    // SUPER: the weighted sum over the box, edges by their covered fraction.
    double super(double x, double y, float kx, float ky, int32_t c) const {
        auto box = [](double s, float k, int32_t avail, double& start, double& end) {
            start = s;
            end = s + k;
            if (static_cast<int32_t>(end) >= avail) {
                start = avail - static_cast<double>(k);
                end = avail;
            }
        };
        double xs, xe, ys, ye;
        box(x, kx, cols, xs, xe);
        box(y, ky, rows, ys, ye);
        auto weight = [](int32_t p, double s, double e) {
            const int32_t first = static_cast<int32_t>(s), last = static_cast<int32_t>(e);
            const double w = p == first ? 1.0 - (s - first) : p == last ? e - last : 1.0;
            return (p == first || p == last) && w <= 0.0001 ? 0.0 : w;
        };
        double sum = 0;
        for (int32_t r = static_cast<int32_t>(ys); r <= static_cast<int32_t>(ye); ++r) {
            const double wr = weight(r, ys, ye);
            if (wr == 0.0) continue;
            double rowSum = 0;
            for (int32_t q = static_cast<int32_t>(xs); q <= static_cast<int32_t>(xe); ++q) {
                const double wq = weight(q, xs, xe);
                if (wq != 0.0) rowSum += wq * at(q, r, c);
            }
            sum += wr * rowSum;
        }
        const double area = static_cast<double>(kx) * static_cast<double>(ky);
        if (maxValue == 1) return sum / area + 0.5 >= 1.0 ? 1 : 0;
        return std::min(static_cast<int32_t>(sum * (1.0 / area) + 0.5), maxValue);
    }

    // LINEAR (direct on an axis whose position is a whole pixel), truncated.
    double linear(double x, double y, bool xDirect, bool yDirect, int32_t c) const {
        const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
        const double fx = x - ix, fy = y - iy;
        auto across = [&](int32_t r) {
            return xDirect ? at(ix, r, c) : (1 - fx) * at(ix, r, c) + fx * at(ix + 1, r, c);
        };
        return static_cast<int32_t>(yDirect ? across(iy)
                                            : across(iy) * (1 - fy) + across(iy + 1) * fy);
    }

    // CUBIC: Lagrange through four taps, moved back one at the far edges.
    double cubic(double x, double y, bool xDirect, bool yDirect, int32_t c) const {
        const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
        const int32_t bx = ix >= cols - 2 ? ix - 1 : ix, by = iy >= rows - 2 ? iy - 1 : iy;
        const double t = x - bx, u = y - by;
        auto across = [&](int32_t r) {
            if (xDirect) return at(ix, r, c);
            return lagrange(at(bx - 1, r, c), at(bx, r, c), at(bx + 1, r, c), at(bx + 2, r, c), t);
        };
        const double v = yDirect ? across(iy)
                                 : lagrange(across(by - 1), across(by), across(by + 1),
                                            across(by + 2), u);
        return std::clamp<int32_t>(static_cast<int32_t>(v), 0, maxValue);
    }
};

// The mode in force: 0 NN, 1 LINEAR, 2 CUBIC, 3 SUPER, 4 a 1-bit copy from position 0.
int32_t decimateMode(const ImageHeader* src, int32_t xDst, int32_t xSrc, int32_t yDst, int32_t ySrc,
                     int32_t mode, const TileInfo* srcTiles) {
    const int32_t roiW = src->roi ? src->roi->width : src->width;
    const int32_t roiH = src->roi ? src->roi->height : src->height;
    if (src->width < 4 || src->height < 4 || (mode != 3 && xSrc % xDst == 0 && ySrc % yDst == 0))
        return 0;
    if (int64_t{xDst} * roiW / xSrc == 0 || int64_t{yDst} * roiH / ySrc == 0) return 0;
    if (srcTiles && mode == 3 &&
        ((xSrc + xDst - 1) / xDst > srcTiles->width || (ySrc + yDst - 1) / yDst > srcTiles->height))
        return 0;
    return src->depth == ZAR_DEPTH_1U && (mode == 1 || mode == 2) ? 4 : mode;
}

}  // namespace

void referenceDecimate(const ImageHeader* src, ImageHeader* dst, int32_t xDst, int32_t xSrc,
                       int32_t yDst, int32_t ySrc, int32_t mode, const TileInfo* srcTiles) {
    const Region s = regionOf(src), d = regionOf(dst);
    const int32_t w = std::min<int64_t>(d.width, int64_t{s.width} * xDst / xSrc);
    const int32_t h = std::min<int64_t>(d.height, int64_t{s.height} * yDst / ySrc);
    const int32_t m = decimateMode(src, xDst, xSrc, yDst, ySrc, mode, srcTiles);
    const bool xInt = xSrc % xDst == 0, yInt = ySrc % yDst == 0;
    const int32_t top = src->depth == ZAR_DEPTH_1U ? 1 : src->depth == ZAR_DEPTH_8U ? 255 : 65535;
    const DecimateSource in{src, s, src->width - s.x, src->height - s.y, top};
    const float kx = static_cast<float>(static_cast<double>(xSrc) / xDst);
    const float ky = static_cast<float>(static_cast<double>(ySrc) / yDst);
    const double x0 = m == 0 && !xInt ? 0.5 : 0.0, y0 = m == 0 && !yInt ? 0.5 : 0.0;
    // decimation takes alpha along
    auto channels = [](const ImageHeader* im) {
        return im->roi && im->roi->coi ? 1 : im->nChannels;
    };
    for (int32_t c = 0; c < std::min(channels(src), channels(dst)); ++c) {
        double y = y0;
        for (int32_t j = 0; j < h; ++j, y += ky) {
            double x = x0;
            for (int32_t i = 0; i < w; ++i, x += kx) {
                const bool xDirect = xInt || (i == 0 && x0 < FLT_MIN);
                const bool yDirect = yInt || (j == 0 && y0 < FLT_MIN);
                const double v = m == 1   ? in.linear(x, y, xDirect, yDirect, c)
                                 : m == 2 ? in.cubic(x, y, xDirect, yDirect, c)
                                 : m == 3
                                     ? in.super(x, y, kx, ky, c)
                                     : in.at(static_cast<int32_t>(x), static_cast<int32_t>(y), c);
                setSample(dst, d.x + i, d.y + j, d.firstChannel + c, v);
            }
        }
    }
}

// ------------------------------------------------------------------ zoom

namespace {

constexpr double kTol = 0.00001;

int nearestRef(double v) { return static_cast<int>(std::nearbyint(v)); }

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

int effectiveModeRef(const ImageHeader* src, int mode) {
    if (src->depth == ZAR_DEPTH_1U || src->width < 2 || src->height < 2) return ZAR_INTER_NN;
    if (mode == ZAR_INTER_CUBIC && (src->width < 4 || src->height < 4)) return ZAR_INTER_LINEAR;
    return mode;
}

// Which destination region pixels are written: the source mask zoomed to the
// region (NN) and the destination mask.
std::function<bool(int, int)> zoomedMask(const ImageHeader* src, const ImageHeader* dst, int W,
                                         int H, double kx, double ky, Image& resized) {
    if (!src->maskImage) return [dst](int c, int r) { return gt::maskAllows(dst, c, r); };
    int xs = nearestRef(kx * W - 0.5 + kTol);
    if (xs < 1) xs = nearestRef(W / kx - 0.5 + kTol);
    int ys = nearestRef(ky * H - 0.5 + kTol);
    if (ys < 1) ys = nearestRef(H / ky - 0.5 + kTol);
    resized = Image(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, W, H);
    referenceZoom(src->maskImage, resized, W, xs, H, ys, ZAR_INTER_NN);
    ImageHeader* rm = resized.get();
    return [rm, dst](int c, int r) {
        return getSample(rm, c, r, 0) != 0 && gt::maskAllows(dst, c, r);
    };
}

}  // namespace

void referenceZoom(const ImageHeader* src, ImageHeader* dst, int32_t xDst, int32_t xSrc,
                   int32_t yDst, int32_t ySrc, int32_t mode) {
    const Region s = regionOf(src), d = regionOf(dst);
    if (s.width < 1 || s.height < 1 || d.width < 1 || d.height < 1) return;
    double kx = static_cast<double>(xSrc) / xDst, ky = static_cast<double>(ySrc) / yDst;
    double fx = factorRef(kx, s.width, xDst, xSrc), fy = factorRef(ky, s.height, yDst, ySrc);
    int W = std::min(d.width, std::max(1, nearestRef(s.width / kx - 0.5 + kTol)));
    int H = std::min(d.height, std::max(1, nearestRef(s.height / ky - 0.5 + kTol)));
    mode = effectiveModeRef(src, mode);
    Image resized;
    const std::function<bool(int, int)> allowed = zoomedMask(src, dst, W, H, kx, ky, resized);
    auto S = [&](int x, int y, int ch) {
        EXPECT_TRUE(x >= 0 && x < src->width && y >= 0 && y < src->height) << x << "," << y;
        x = std::clamp(x, 0, src->width - 1);
        y = std::clamp(y, 0, src->height - 1);
        return static_cast<int>(getSample(src, x, y, s.firstChannel + ch));
    };
    const int top = src->depth == ZAR_DEPTH_16U ? 65535 : src->depth == ZAR_DEPTH_8U ? 255 : 1;
    for (int r = 0; r < H; ++r)
        for (int c = 0; c < W; ++c) {
            if (!allowed(c, r)) continue;
            double px = c * fx, py = r * fy;
            for (int ch = 0; ch < s.channels; ++ch) {
                int out;
                if (mode == ZAR_INTER_NN) {
                    out = S(s.x + nearestRef(px + kTol), s.y + nearestRef(py + kTol), ch);
                } else if (mode == ZAR_INTER_LINEAR) {
                    Tap tx = linearTap(px, s.x, s.width), ty = linearTap(py, s.y, s.height);
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
                setSample(dst, d.x + c, d.y + r, d.firstChannel + ch, out);
            }
        }
}

// ----------------------------------------------------------------- remap

namespace {

int32_t bitsOf(float v) {
    int32_t b;
    std::memcpy(&b, &v, 4);
    return b;
}

// 8U cubic in the library's fixed-point scheme: 16.16 fractions, samples
// times 16, 1/6 and 1/3 as 43691 >> 18 and >> 17, Horner with >> 16, every
// shift rounding to nearest.
int64_t shiftRound(int64_t v, int s) { return (v + (int64_t{1} << (s - 1))) >> s; }
int64_t fixedCubic(const int64_t p[4], int64_t t, bool twice) {
    const int64_t k = twice ? 2 : 1;
    if (t % 65536 == 0 && t >= -65536 && t <= 131072) return k * p[t / 65536 + 1];
    const int64_t k1 = -2 * p[0] - 3 * p[1] + 6 * p[2] - p[3];
    const int64_t k2 = p[0] - 2 * p[1] + p[2];
    const int64_t k3 = -p[0] + 3 * p[1] - 3 * p[2] + p[3];
    const int shift = twice ? 17 : 18;
    const int64_t c1 = shiftRound(k1 * 43691, shift), c3 = shiftRound(k3 * 43691, shift);
    const int64_t c2 = twice ? k2 : shiftRound(k2, 1);
    return k * p[1] + shiftRound(t * (c1 + shiftRound(t * (c2 + shiftRound(t * c3, 16)), 16)), 16);
}
double doubleCubic(const double p[4], double t) {
    return p[1] + t * ((-1.0 / 3.0) * p[0] - 0.5 * p[1] + p[2] - (1.0 / 6.0) * p[3] +
                       t * (0.5 * (p[0] + p[2]) - p[1] +
                            t * ((1.0 / 6.0) * (p[3] - p[0]) + 0.5 * (p[1] - p[2]))));
}

// The cubic through the 4 x 4 taps from (bx, by) at fractions t, u.
double remapCubic(const std::function<double(int32_t, int32_t)>& p, int32_t depth, int32_t bx,
                  int32_t by, double t, double u) {
    if (depth == ZAR_DEPTH_8U) {
        int64_t rows[4], s[4];
        for (int32_t j = 0; j < 4; ++j) {
            for (int32_t i = 0; i < 4; ++i) s[i] = 16 * static_cast<int64_t>(p(bx + i, by + j));
            rows[j] = fixedCubic(s, std::llrint(t * 65536.0), false);
        }
        return std::clamp<int64_t>((fixedCubic(rows, std::llrint(u * 65536.0), true) + 16) >> 5, 0,
                                   255);
    }
    double rows[4], s[4];
    for (int32_t j = 0; j < 4; ++j) {
        for (int32_t i = 0; i < 4; ++i) s[i] = p(bx + i, by + j);
        rows[j] = doubleCubic(s, t);
    }
    return std::clamp(std::nearbyint(doubleCubic(rows, u)), 0.0, 65535.0);
}

}  // namespace

void referenceRemap(const ImageHeader* src, const ImageHeader* xMap, const ImageHeader* yMap,
                    ImageHeader* dst, int32_t mode) {
    int32_t m = mode & ~16;
    if (src->depth == ZAR_DEPTH_1U || src->width == 1 || src->height == 1)
        m = 0;
    else if (m == 2 && (src->width < 4 || src->height < 4))
        m = 1;
    const Region d = regionOf(dst), xr = regionOf(xMap), yr = regionOf(yMap), s = regionOf(src);
    const int32_t w = std::min({d.width, xr.width, yr.width}),
                  h = std::min({d.height, xr.height, yr.height});
    if (s.width < 1 || s.height < 1) return;
    const int32_t x1 = s.x + s.width - 1, y1 = s.y + s.height - 1;
    for (int32_t r = 0; r < h; ++r)
        for (int32_t c = 0; c < w; ++c) {
            const float x = static_cast<float>(getSample(xMap, xr.x + c, xr.y + r, 0));
            const float y = static_cast<float>(getSample(yMap, yr.x + c, yr.y + r, 0));
            // Outside the region by the bit patterns: -0.0 and NaN fail too.
            if (bitsOf(x) < bitsOf(float(s.x)) || bitsOf(x) > bitsOf(float(x1)) ||
                bitsOf(y) < bitsOf(float(s.y)) || bitsOf(y) > bitsOf(float(y1)))
                continue;
            for (int32_t k = 0; k < s.channels; ++k) {
                auto p = [&](int32_t px, int32_t py) {
                    return getSample(src, px, py, s.firstChannel + k);
                };
                double v;
                int32_t ix = static_cast<int32_t>(std::nearbyint(x - 0.5 + 0.0000001));
                int32_t iy = static_cast<int32_t>(std::nearbyint(y - 0.5 + 0.0000001));
                if (m == 0) {
                    v = p(static_cast<int32_t>(std::nearbyint(x)),
                          static_cast<int32_t>(std::nearbyint(y)));
                } else if (m == 1) {
                    if (ix == x1 && ix > 0) --ix;
                    if (iy == y1 && iy > 0) --iy;
                    const double fx = x - ix, fy = y - iy;
                    const double top = p(ix, iy) + (p(ix + 1, iy) - p(ix, iy)) * fx;
                    const double bottom = p(ix, iy + 1) + (p(ix + 1, iy + 1) - p(ix, iy + 1)) * fx;
                    v = std::nearbyint(top + (bottom - top) * fy);
                } else {
                    auto base = [](int32_t i, int32_t size) {
                        return i <= 0 ? 0 : i >= size - 2 ? size - 4 : i - 1;
                    };
                    const int32_t bx = base(ix, src->width), by = base(iy, src->height);
                    v = remapCubic(p, src->depth, bx, by, x - bx - 1.0, y - by - 1.0);
                }
                setSample(dst, d.x + c, d.y + r, d.firstChannel + k, v);
            }
        }
}

}  // namespace zt
