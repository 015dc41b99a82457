#include "filter_support.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "geometry_support.h"

namespace ft {

void setBorders(ImageHeader* image, int32_t mode, int32_t value) {
    for (int i = 0; i < 4; ++i) {
        image->borderModes[i] = mode;
        image->borderValues[i] = value;
    }
}

std::vector<zt::OperandSpec> randomSides(zt::Rng& rng, int32_t width, int32_t height, bool lanes,
                                         bool inPlace) {
    zt::OperandSpec s;
    s.depth = kAllDepths[lanes ? rng.range(1, 4) : rng.range(0, 6)];
    s.nChannels = s.depth == ZAR_DEPTH_1U ? 1 : lanes ? rng.range(3, 6) : rng.range(1, 4);
    s.alphaChannel = !lanes && s.nChannels > 1 && rng.range(0, 2) == 0 ? s.nChannels : 0;
    s.dataOrder = lanes ? 0 : rng.range(0, 1);
    for (int32_t i = 0; i < 4; ++i) {
        s.borderModes[i] = rng.range(0, 7);
        s.borderValues[i] = rng.range(-200, 300);
    }
    const bool coi = !lanes && s.nChannels > 1 && rng.range(0, 2) == 0;
    std::vector<zt::OperandSpec> sides(inPlace ? 1 : 2, s);
    for (size_t k = 0; k < sides.size(); ++k) {
        zt::OperandSpec& o = sides[k];
        o.width = width + (k ? rng.range(0, 2) : 0);
        o.height = height + (k ? rng.range(0, 2) : 0);
        if (k && o.depth == ZAR_DEPTH_1U) o.dataOrder = rng.range(0, 1);
        zt::randomInsideRoi(rng, o, coi || rng.range(0, 2), coi ? rng.range(1, s.nChannels) : 0);
        zt::randomMaskAndTiles(rng, o, true);
    }
    return sides;
}

namespace {

using gt::maskAllows;

// A window sum as the kernels convert it: times the single-precision
// reciprocal, then compared with one half (1-bit), rounded toward zero to
// single precision (32F), or its integer part.
double blurResult(int32_t depth, long double sum, float scale) {
    const long double exact = sum * scale;
    if (depth == ZAR_DEPTH_1U) return exact >= 0.5;
    if (depth != ZAR_DEPTH_32F) return static_cast<double>(std::trunc(exact));
    float f = static_cast<float>(exact);
    if (std::fabs(static_cast<long double>(f)) > std::fabs(exact)) f = std::nextafter(f, 0.0f);
    return f;
}

int64_t divideHalfEven(int64_t s, int32_t shift) {
    const int64_t d = int64_t{1} << shift;
    int64_t q = s >= 0 ? s / d : -((-s + d - 1) / d);  // floor
    int64_t r = s - q * d;
    if (2 * r > d || (2 * r == d && (q & 1))) ++q;
    return q;
}

// The smallest and largest value of an integer depth.
std::pair<int64_t, int64_t> depthRange(int32_t depth) {
    const int32_t bits = zt::depthBits(depth);
    if (depth & ZAR_DEPTH_SIGN)
        return {-(int64_t{1} << (bits - 1)), (int64_t{1} << (bits - 1)) - 1};
    return {0, (int64_t{1} << bits) - 1};
}

// How many of the n positions from start an axis of the given size maps to
// each image index under a border mode (a constant maps none); whole periods
// counted at once, so that n may be near INT32_MAX.
std::vector<uint64_t> mappedCounts(int64_t start, int64_t n, int32_t size, int32_t mode) {
    std::vector<uint64_t> counts(static_cast<size_t>(size));
    const int64_t inFrom = std::max<int64_t>(start, 0), inTo = std::min(start + n, int64_t{size});
    for (int64_t x = inFrom; x < inTo; ++x) ++counts[static_cast<size_t>(x)];
    if (mode == ZAR_BORDER_REPLICATE) {
        counts[0] += std::max<int64_t>(0, std::min<int64_t>(start + n, 0) - start);
        counts[size - 1] += std::max<int64_t>(0, start + n - std::max<int64_t>(start, size));
    } else if (mode != ZAR_BORDER_CONSTANT) {
        const int64_t period = mode == ZAR_BORDER_REFLECT ? 2 * int64_t{size} : size;
        for (auto& c : counts) c = static_cast<uint64_t>(n / period * (period / size));
        for (int64_t x = start + n / period * period; x < start + n; ++x)
            ++counts[static_cast<size_t>(zt::mapCoordinate(mode, x, size))];
    }
    return counts;
}

}  // namespace

// ------------------------------------------------------------- references

void referenceBlur(const ImageHeader* src, ImageHeader* out, int32_t nCols, int32_t nRows,
                   int32_t anchorX, int32_t anchorY) {
    const gt::Region s = gt::regionOf(src), d = gt::regionOf(out);
    const float scale = static_cast<float>(1.0 / (nCols * nRows));
    for (int32_t j = 0; j < std::min(s.height, d.height); ++j)
        for (int32_t i = 0; i < std::min(s.width, d.width); ++i) {
            if (!maskAllows(src, i, j) || !maskAllows(out, i, j)) continue;
            for (int32_t k = 0; k < s.channels; ++k) {
                double sum = 0;
                for (int32_t v = 0; v < nRows; ++v)
                    for (int32_t u = 0; u < nCols; ++u)
                        sum += zt::borderSample(src, s.x + i - anchorX + u, s.y + j - anchorY + v,
                                                s.firstChannel + k);
                const bool whole = src->depth != ZAR_DEPTH_32F;
                const long double kept = whole ? static_cast<int32_t>(static_cast<int64_t>(sum))
                                               : sum;
                zt::setSample(out, d.x + i, d.y + j, d.firstChannel + k,
                              blurResult(src->depth, kept, scale));
            }
        }
}

namespace {

struct Kernel {
    int32_t size;
    std::vector<int32_t> k;  // size x size, row 0 above
};

// Each filter's weights, row 0 above: 3 x 3, or 5 x 5 for Laplace 5, Gauss 5 and high pass 5.
Kernel kernelOf(int32_t filter) {
    const std::vector<int32_t> all[] = {
        {1, 0, -1, 1, 0, -1, 1, 0, -1},
        {-1, -1, -1, 0, 0, 0, 1, 1, 1},
        {1, 0, -1, 2, 0, -2, 1, 0, -1},
        {-1, -2, -1, 0, 0, 0, 1, 2, 1},
        {-1, -1, -1, -1, 8, -1, -1, -1, -1},
        {-1, -3, -4, -3, -1, -3, 0,  6,  0,  -3, -4, 6, 20,
         6,  -4, -3, 0,  6,  0,  -3, -1, -3, -4, -3, -1},
        {1, 2, 1, 2, 4, 2, 1, 2, 1},
        {2, 7, 12, 7, 2, 7, 31, 52, 31, 7, 12, 52, 127, 52, 12, 7, 31, 52, 31, 7, 2, 7, 12, 7, 2},
        {-1, -1, -1, -1, 8, -1, -1, -1, -1},
        {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 24,
         -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
        {-1, -1, -1, -1, 16, -1, -1, -1, -1}};
    const std::vector<int32_t>& k = all[filter];
    return {k.size() == 25 ? 5 : 3, k};
}

float f32(double v) { return static_cast<float>(v); }

// The single-precision factored form for the float paths, per pixel: each
// row's horizontal value rounded to single precision, the vertical
// combination likewise, then the division by a power of two.
float floatResult(int32_t filter, const std::vector<std::vector<float>>& v) {
    switch (filter) {
        case 0:
        case 2: {
            float d[3];
            for (int r = 0; r < 3; ++r) d[r] = f32(double(v[r][0]) - double(v[r][2]));
            return f32(double(d[0]) + (filter == 2 ? 2.0 : 1.0) * d[1] + double(d[2]));
        }
        case 1:
        case 3: {
            float s[3];
            const double c = filter == 3 ? 2.0 : 1.0;
            for (int r = 0; r < 3; ++r) s[r] = f32(double(v[r][0]) + c * v[r][1] + double(v[r][2]));
            return f32(double(s[2]) - double(s[0]));
        }
        case 4:
        case 8:
        case 10: {
            float box[3];
            for (int r = 0; r < 3; ++r) box[r] = f32(double(v[r][0]) + double(v[r][1]) + v[r][2]);
            const float centre = f32((filter == 10 ? 17.0 : 9.0) * v[1][1]);
            const float result = f32(double(centre) - (double(box[0]) + box[1] + box[2]));
            return filter == 10 ? result * 0.125f : result;
        }
        case 6: {
            float s[3];
            for (int r = 0; r < 3; ++r)
                s[r] = f32(double(v[r][0]) + 2.0 * v[r][1] + double(v[r][2]));
            return f32(double(s[0]) + 2.0 * s[1] + double(s[2])) * 0.0625f;
        }
        case 9: {
            float box[5];
            for (int r = 0; r < 5; ++r) {
                double t = v[r][0];
                for (int i = 1; i < 5; ++i) t += v[r][i];
                box[r] = f32(t);
            }
            const float centre = f32(25.0 * v[2][2]);
            double boxes = box[0];
            for (int r = 1; r < 5; ++r) boxes += box[r];
            return f32(double(centre) - boxes);
        }
        default: {  // 5 and 7: each row weighted in double and rounded, then the rows
            const std::vector<int32_t>& k = kernelOf(filter).k;
            double w[25];
            const int mode = std::fegetround();
            std::fesetround(FE_TONEAREST);  // the weights k / 571 are constants
            for (int i = 0; i < 25; ++i) w[i] = filter == 5 ? k[i] : double(k[i] / 571.0f);
            std::fesetround(mode);
            double rows = -0.0;  // adds nothing, not even the sign of a zero
            for (int r = 0; r < 5; ++r) {
                double t = -0.0;
                for (int i = 0; i < 5; ++i) t += w[r * 5 + i] * double(v[r][i]);
                rows += f32(t);
            }
            return f32(rows);
        }
    }
}

// One result by the rules of the filter and the depth.
double filterResult(int32_t filter, int32_t depth, const std::vector<std::vector<double>>& v) {
    const Kernel kernel = kernelOf(filter);
    const int32_t n = kernel.size;
    if (depth != ZAR_DEPTH_1U && depth != ZAR_DEPTH_32S && depth != ZAR_DEPTH_32F && filter != 7) {
        int64_t sum = 0;
        for (int32_t r = 0; r < n; ++r)
            for (int32_t c = 0; c < n; ++c) sum += kernel.k[r * n + c] * int64_t(v[r][c]);
        if (filter == 6) sum = divideHalfEven(sum, 4);
        if (filter == 10) sum = divideHalfEven(sum, 3);
        const auto [lo, hi] = depthRange(depth);
        return double(std::clamp(sum, lo, hi));
    }
    if (depth == ZAR_DEPTH_1U) {
        int64_t sum = 0, ones = 0;
        for (int32_t r = 0; r < n; ++r)
            for (int32_t c = 0; c < n; ++c) {
                sum += kernel.k[r * n + c] * int64_t(v[r][c]);
                ones += int64_t(v[r][c]);
            }
        const bool centre = v[n / 2][n / 2] != 0;
        switch (filter) {
            case 10:
                return centre;  // not filtered: copied
            case 4:
            case 8:
            case 9:
                return centre && ones != n * n;
            case 6:
                return sum > 7;
            case 7:
                return sum > 285;
            case 5:
                return sum > 0;
            default:
                return sum >= 1;
        }
    }
    std::vector<std::vector<float>> values(n, std::vector<float>(n));
    for (int32_t r = 0; r < n; ++r)
        for (int32_t c = 0; c < n; ++c) values[r][c] = f32(v[r][c]);
    const float result = floatResult(filter, values);
    if (depth == ZAR_DEPTH_32F) return result;
    const auto [lo, hi] = depthRange(depth);
    // The combined value rounds in the caller's mode, the conversion to nearest (ties to even).
    const double v = result, nearest = std::round(v);
    const double even = std::fabs(v - std::trunc(v)) == 0.5 ? 2 * std::round(v / 2) : nearest;
    return std::clamp(even, double(lo), double(hi));
}

}  // namespace

void referenceFixedFilter(const ImageHeader* src, ImageHeader* out, int32_t filter) {
    const gt::Region s = gt::regionOf(src), d = gt::regionOf(out);
    const Kernel kernel = kernelOf(filter);
    const int32_t anchor = kernel.size / 2;
    std::vector<std::vector<double>> v(kernel.size, std::vector<double>(kernel.size));
    for (int32_t j = 0; j < std::min(s.height, d.height); ++j)
        for (int32_t i = 0; i < std::min(s.width, d.width); ++i) {
            if (!maskAllows(src, i, j) || !maskAllows(out, i, j)) continue;
            for (int32_t k = 0; k < d.channels; ++k) {
                for (int32_t r = 0; r < kernel.size; ++r)
                    for (int32_t c = 0; c < kernel.size; ++c)
                        v[r][c] = zt::borderSample(src, s.x + i - anchor + c, s.y + j - anchor + r,
                                                   s.firstChannel + k);
                zt::setSample(out, d.x + i, d.y + j, d.firstChannel + k,
                              filterResult(filter, src->depth, v));
            }
        }
}

// zarBlur by the rules for a source whose four sides share one border mode
// and constant: each window sum from how often the window meets each image
// pixel (modulo 2^64; integer depths keep 32 bits), then as the kernels
// convert it, into out (a copy of dst).
void countedBlur(const ImageHeader* src, ImageHeader* out, int32_t nCols, int32_t nRows, int32_t ax,
                 int32_t ay) {
    const gt::Region s = gt::regionOf(src), d = gt::regionOf(out);
    const int32_t mode = src->borderModes[0] & 3;
    const float scale = static_cast<float>(1.0 / (static_cast<double>(nCols) * nRows));
    for (int32_t j = 0; j < std::min(s.height, d.height); ++j)
        for (int32_t i = 0; i < std::min(s.width, d.width); ++i) {
            if (!maskAllows(src, i, j) || !maskAllows(out, i, j)) continue;
            const auto cy = mappedCounts(int64_t{s.y} + j - ay, nRows, src->height, mode);
            const auto cx = mappedCounts(int64_t{s.x} + i - ax, nCols, src->width, mode);
            for (int32_t k = 0; k < s.channels; ++k) {
                uint64_t sum = 0, inside = 0;
                for (int32_t y = 0; y < src->height; ++y)
                    for (int32_t x = 0; x < src->width; ++x) {
                        inside += cx[x] * cy[y];
                        sum += cx[x] * cy[y] *
                               static_cast<uint64_t>(static_cast<int64_t>(
                                   zt::getSample(src, x, y, s.firstChannel + k)));
                    }
                if (mode == ZAR_BORDER_CONSTANT)
                    sum += (uint64_t(nCols) * uint64_t(nRows) - inside) *
                           static_cast<uint64_t>(src->borderValues[0]);
                const bool wide = src->depth == ZAR_DEPTH_32S || src->depth == ZAR_DEPTH_32F;
                const int64_t kept = wide ? static_cast<int64_t>(sum)
                                          : static_cast<int32_t>(static_cast<uint32_t>(sum));
                zt::setSample(out, d.x + i, d.y + j, d.firstChannel + k,
                              blurResult(src->depth, kept, scale));
            }
        }
}

}  // namespace ft
