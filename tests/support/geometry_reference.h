// Naive references of the geometric transforms, written from the rules: one
// per operation (zarResize is decimation for SUPER and the zoom engine else).
#pragma once

#include <algorithm>
#include <cfloat>
#include <cstdint>

#include "support/zar_test.h"

namespace zt {

// Naive decimation written from the rules, one value at a time.
struct DecimateReference {
    const ImageHeader* src;
    ImageHeader* dst;
    int32_t xDst, xSrc, yDst, ySrc, mode;
    const TileInfo* srcTiles = nullptr;  // the tiles of a tiled twin of src

    static int32_t clippedWidth(const ImageHeader* im) {
        return im->roi ? std::min(im->roi->width, im->width - im->roi->xOffset) : im->width;
    }
    static int32_t clippedHeight(const ImageHeader* im) {
        return im->roi ? std::min(im->roi->height, im->height - im->roi->yOffset) : im->height;
    }
    static int32_t channels(const ImageHeader* im) {
        return im->roi && im->roi->coi ? 1 : im->nChannels;
    }
    static int32_t first(const ImageHeader* im) {
        return im->roi && im->roi->coi ? im->roi->coi - 1 : 0;
    }

    int32_t sx = 0, sy = 0, cols = 0, rows = 0, sc = 0, maxValue = 0;
    double at(int32_t x, int32_t y, int32_t c) const {
        return getSample(src, sx + x, sy + y, sc + c);
    }
    static double lagrange(double a, double b, double c, double d, double t) {
        return (6.0 * b + t * (-2.0 * a - 3.0 * b + 6.0 * c - d) +
                t * t * (3.0 * a - 6.0 * b + 3.0 * c) + t * t * t * (-a + 3.0 * b - 3.0 * c + d)) *
               static_cast<double>(1.0f / 6.0f);
    }

    void run() {
        const int32_t w = std::min<int64_t>(clippedWidth(dst),
                                            int64_t{clippedWidth(src)} * xDst / xSrc);
        const int32_t h = std::min<int64_t>(clippedHeight(dst),
                                            int64_t{clippedHeight(src)} * yDst / ySrc);
        if (w < 1 || h < 1) return;
        const bool xInt = xSrc % xDst == 0, yInt = ySrc % yDst == 0;
        int32_t m = mode;
        const int32_t roiW = src->roi ? src->roi->width : src->width;
        const int32_t roiH = src->roi ? src->roi->height : src->height;
        if (src->width < 4 || src->height < 4)
            m = 0;
        else if (m != 3 && xInt && yInt)
            m = 0;
        else if (int64_t{xDst} * roiW / xSrc == 0 || int64_t{yDst} * roiH / ySrc == 0)
            m = 0;
        if (srcTiles && m == 3 &&
            ((xSrc + xDst - 1) / xDst > srcTiles->width ||
             (ySrc + yDst - 1) / yDst > srcTiles->height))
            m = 0;
        const bool bits = src->depth == ZAR_DEPTH_1U;
        if (bits && (m == 1 || m == 2)) m = 4;  // bit copy from position 0
        maxValue = bits ? 1 : src->depth == ZAR_DEPTH_8U ? 255 : 65535;
        const float kx = static_cast<float>(static_cast<double>(xSrc) / xDst);
        const float ky = static_cast<float>(static_cast<double>(ySrc) / yDst);
        const double x0 = m == 0 && !xInt ? 0.5 : 0.0, y0 = m == 0 && !yInt ? 0.5 : 0.0;
        sx = src->roi ? src->roi->xOffset : 0;
        sy = src->roi ? src->roi->yOffset : 0;
        cols = src->width - sx;
        rows = src->height - sy;
        sc = first(src);
        const int32_t dx = dst->roi ? dst->roi->xOffset : 0, dy = dst->roi ? dst->roi->yOffset : 0;
        const int32_t dc = first(dst);
        const int32_t nch = std::min(channels(src), channels(dst));
        for (int32_t c = 0; c < nch; ++c) {
            double y = y0;
            for (int32_t j = 0; j < h; ++j, y += ky) {
                double x = x0;
                for (int32_t i = 0; i < w; ++i, x += kx) {
                    double v = 0;
                    const int32_t ix = static_cast<int32_t>(x), iy = static_cast<int32_t>(y);
                    const bool xDirect = xInt || (i == 0 && x0 < FLT_MIN);
                    const bool yDirect = yInt || (j == 0 && y0 < FLT_MIN);
                    if (m == 0 || m == 4) {
                        v = at(ix, iy, c);
                    } else if (m == 1) {
                        const double fx = x - ix, fy = y - iy;
                        if (xDirect && yDirect)
                            v = at(ix, iy, c);
                        else if (yDirect)
                            v = (1 - fx) * at(ix, iy, c) + fx * at(ix + 1, iy, c);
                        else if (xDirect)
                            v = at(ix, iy, c) * (1 - fy) + at(ix, iy + 1, c) * fy;
                        else
                            v = ((1 - fx) * at(ix, iy, c) + fx * at(ix + 1, iy, c)) * (1 - fy) +
                                ((1 - fx) * at(ix, iy + 1, c) + fx * at(ix + 1, iy + 1, c)) * fy;
                        v = static_cast<int32_t>(v);
                    } else if (m == 2) {
                        int32_t bx = ix, by = iy;
                        double t = x - ix, u = y - iy;
                        if (bx >= cols - 2) {
                            bx -= 1;
                            t += 1.0;
                        }
                        if (by >= rows - 2) {
                            by -= 1;
                            u += 1.0;
                        }
                        auto rowValue = [&](int32_t r) {
                            if (xDirect) return at(ix, r, c);
                            return lagrange(at(bx - 1, r, c), at(bx, r, c), at(bx + 1, r, c),
                                            at(bx + 2, r, c), t);
                        };
                        v = yDirect ? rowValue(iy)
                                    : lagrange(rowValue(by - 1), rowValue(by), rowValue(by + 1),
                                               rowValue(by + 2), u);
                        v = std::clamp<int32_t>(static_cast<int32_t>(v), 0, maxValue);
                    } else {
                        v = superValue(x, y, kx, ky, c);
                    }
                    setSample(dst, dx + i, dy + j, dc + c, v);
                }
            }
        }
    }

    // Weighted sum over the box, edges by their covered fraction.
    double superValue(double x, double y, float kx, float ky, int32_t c) const {
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
};

// Zooms src into dst (both plain, roi and mask attached) one pixel at a time,
// every tap recomputed from the rules.
void referenceZoom(const ImageHeader* src, ImageHeader* dst, int32_t xDst, int32_t xSrc,
                   int32_t yDst, int32_t ySrc, int32_t mode);

// Remaps src through the maps into dst (all plain, rois attached) by the rules.
void referenceRemap(const ImageHeader* src, const ImageHeader* xMap, const ImageHeader* yMap,
                    ImageHeader* dst, int32_t mode);

}  // namespace zt
