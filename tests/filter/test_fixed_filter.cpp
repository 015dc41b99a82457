// zarFixedFilter: the checks with their reported and returned codes as a
// table, rules worked by hand as table rows, and random cases (borders, masks,
// plain and tiled sides, wide rows) against a naive reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <utility>
#include <vector>

#include "support/filter_support.h"
#include "support/scenario.h"
#include "support/zar_test.h"

namespace {

using zt::getSample;
using zt::setSample;

struct Kernel {
    int32_t size;
    std::vector<int32_t> k;  // size x size, row 0 above
};

Kernel kernelOf(int32_t filter) {
    switch (filter) {
        case 0:
            return {3, {1, 0, -1, 1, 0, -1, 1, 0, -1}};
        case 1:
            return {3, {-1, -1, -1, 0, 0, 0, 1, 1, 1}};
        case 2:
            return {3, {1, 0, -1, 2, 0, -2, 1, 0, -1}};
        case 3:
            return {3, {-1, -2, -1, 0, 0, 0, 1, 2, 1}};
        case 4:
        case 8:
            return {3, {-1, -1, -1, -1, 8, -1, -1, -1, -1}};
        case 5:
            return {5, {-1, -3, -4, -3, -1, -3, 0,  6,  0,  -3, -4, 6, 20,
                        6,  -4, -3, 0,  6,  0,  -3, -1, -3, -4, -3, -1}};
        case 6:
            return {3, {1, 2, 1, 2, 4, 2, 1, 2, 1}};
        case 7:
            return {5, {2,  7,  12, 7,  2,  7,  31, 52, 31, 7,  12, 52, 127,
                        52, 12, 7,  31, 52, 31, 7,  2,  7,  12, 7,  2}};
        case 9: {
            std::vector<int32_t> k(25, -1);
            k[12] = 24;
            return {5, k};
        }
        default:
            return {3, {-1, -1, -1, -1, 16, -1, -1, -1, -1}};
    }
}

float f32(double v) { return static_cast<float>(v); }

// The single-precision factored form for the float paths, per pixel: each
// row's horizontal value rounded to single precision, the vertical
// combination likewise, then the division by a power of two.
float floatResult(int32_t filter, const std::vector<std::vector<float>>& v) {
    using Row = std::vector<float>;
    const auto weighted = [&](const Row& r, const double* w) {
        double t = w[0] * double(r[0]);
        for (int i = 1; i < 5; ++i) t += w[i] * double(r[i]);
        return f32(t);
    };
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
        default: {  // 5 and 7
            double a[5], b[5], c[5];
            const double laplace[3][5] = {
                {-1, -3, -4, -3, -1}, {-3, 0, 6, 0, -3}, {-4, 6, 20, 6, -4}};
            const int gauss[3][5] = {{2, 7, 12, 7, 2}, {7, 31, 52, 31, 7}, {12, 52, 127, 52, 12}};
            for (int i = 0; i < 5; ++i) {
                a[i] = filter == 5 ? laplace[0][i] : double(gauss[0][i] / 571.0f);
                b[i] = filter == 5 ? laplace[1][i] : double(gauss[1][i] / 571.0f);
                c[i] = filter == 5 ? laplace[2][i] : double(gauss[2][i] / 571.0f);
            }
            return f32(double(weighted(v[0], a)) + weighted(v[1], b) + weighted(v[2], c) +
                       weighted(v[3], b) + weighted(v[4], a));
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
        if (filter == 6) sum = ft::divideHalfEven(sum, 4);
        if (filter == 10) sum = ft::divideHalfEven(sum, 3);
        return double(std::clamp(sum, ft::depthMin(depth), ft::depthMax(depth)));
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
    const double lo = double(ft::depthMin(depth)), hi = double(ft::depthMax(depth));
    return std::clamp(std::nearbyint(double(result)), lo, hi);
}

int32_t coiOf(const ImageHeader* image) { return image->roi ? image->roi->coi : 0; }

// The filter of src into out (the destination's pixels, roi and mask), by the rules.
void referenceFilter(const ImageHeader* src, ImageHeader* out, int32_t filter) {
    const ImageHeader* dst = out;
    const ft::Region s = ft::regionOf(src), d = ft::regionOf(dst);
    int32_t w = 0, h = 0;
    ft::processedSize(src, dst, &w, &h);
    std::vector<std::pair<int32_t, int32_t>> channels;  // source, destination
    if (coiOf(dst))
        channels.push_back({coiOf(src) ? coiOf(src) - 1 : 0, coiOf(dst) - 1});
    else
        for (int32_t c = 0; c < dst->nChannels - (src->alphaChannel || dst->alphaChannel); ++c)
            channels.push_back({c, c});
    const Kernel kernel = kernelOf(filter);
    const int32_t anchor = kernel.size / 2;
    std::vector<std::vector<double>> v(kernel.size, std::vector<double>(kernel.size));
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) {
            if (!ft::maskAllows(src, i, j) || !ft::maskAllows(dst, i, j)) continue;
            for (auto [sc, dc] : channels) {
                for (int32_t r = 0; r < kernel.size; ++r)
                    for (int32_t c = 0; c < kernel.size; ++c)
                        v[r][c] = zt::borderSample(src, s.x + i - anchor + c, s.y + j - anchor + r,
                                                   sc);
                setSample(out, d.x + i, d.y + j, dc, filterResult(filter, src->depth, v));
            }
        }
}

// ---------------------------------------------------------------- checks

struct Pair {
    zt::Image src{3, 0, ZAR_DEPTH_8U, 0, 6, 5}, dst{3, 0, ZAR_DEPTH_8U, 0, 6, 5, 4, 9};
};

// Every check with the code it reports and the code it returns (they differ
// for some relations); the destination keeps its pixels.
TEST(FixedFilterChecks, EveryCheck) {
    using Call = ZarStatus (*)(Pair&);
    const struct {
        Call call;
        ZarStatus returned;
        std::vector<zt::Want> want;
    } rows[] = {
        {[](Pair& p) { return zarFixedFilter(nullptr, p.dst, 0); },
         STATUS_NULL_HEADER,
         {{STATUS_NULL_HEADER, "Incorrect Image", 6165}}},
        {[](Pair& p) { return zarFixedFilter(p.src, nullptr, 0); },
         STATUS_NULL_HEADER,
         {{STATUS_NULL_HEADER, "Incorrect Image", 6166}}},
        {[](Pair& p) {
             p.src.setRoi(4, 0, 0, 6, 5);
             return zarFixedFilter(p.src, p.dst, 0);
         },
         STATUS_BAD_COI,
         {{STATUS_BAD_COI, "Incorrect Image", 6165}}},
        {[](Pair& p) { return zarFixedFilter(p.dst, p.dst, 0); },
         STATUS_BAD_ARG,
         {{STATUS_BAD_ARG, "(srcImage==dstImage)", 6167}}},
        {[](Pair& p) {
             zt::Image other(3, 0, ZAR_DEPTH_16U, 0, 6, 5);
             return zarFixedFilter(p.src, other, 0);
         },
         STATUS_BAD_DEPTH,
         {{STATUS_BAD_ARG, "srcImage->depth!=dstImage->depth", 6168}}},
        {[](Pair& p) {
             zt::Image other(2, 0, ZAR_DEPTH_8U, 0, 6, 5);
             return zarFixedFilter(p.src, other, 0);
         },
         STATUS_BAD_CHANNELS,
         {{STATUS_BAD_ARG, "srcImage->nChannels!=dstImage->nChannels", 6170}}},
        {[](Pair& p) {
             zt::Image other(3, 3, ZAR_DEPTH_8U, 0, 6, 5);
             return zarFixedFilter(p.src, other, 0);
         },
         STATUS_BAD_ALPHA,
         {{STATUS_BAD_ARG, "srcImage->alphaChannel!=dstImage->alphaChannel", 6172}}},
        {[](Pair& p) {
             zt::Image other(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PLANE, 6, 5);
             return zarFixedFilter(p.src, other, 0);
         },
         STATUS_BACKTRACE,
         {{STATUS_BAD_ARG, "srcImage->dataOrder!=dstImage->dataOrder", 6182}}},
        {[](Pair& p) {
             p.src.setRoi(2, 0, 0, 6, 5);
             return zarFixedFilter(p.src, p.dst, 0);
         },
         STATUS_BAD_COI,
         {{STATUS_BAD_COI, "Number of interset channel input and output Image is not equal.",
           6213}}},
        {[](Pair& p) {
             zarFixedFilter(p.src, p.dst, -1);
             zarSetStatus(STATUS_OK);
             return zarFixedFilter(p.src, p.dst, 11);
         },
         STATUS_BAD_ARG,
         {{STATUS_BAD_ARG, "Unknow filter.", 6283}, {STATUS_BAD_ARG, "Unknow filter.", 6283}}},
        // A stale negative status ends the call and is returned.
        {[](Pair& p) {
             zarSetStatus(STATUS_NO_MEMORY);
             return zarFixedFilter(p.src, p.dst, 6);
         },
         STATUS_NO_MEMORY,
         {}},
        // Nothing to process: only alpha (before the filter check), an empty region,
        // 1-bit images of different data orders.
        {[](Pair&) {
             zt::Image a(1, 1, ZAR_DEPTH_8U, 0, 6, 5), b(1, 1, ZAR_DEPTH_8U, 0, 6, 5);
             return zarFixedFilter(a, b, -7);
         },
         STATUS_OK,
         {}},
        {[](Pair& p) {
             p.dst.setRoi(0, 1, 5, 3, 3);
             return zarFixedFilter(p.src, p.dst, 6);
         },
         STATUS_OK,
         {}},
        {[](Pair&) {
             zt::Image a(1, 0, ZAR_DEPTH_1U, 0, 6, 5), b(1, 0, ZAR_DEPTH_1U, 1, 6, 5);
             return zarFixedFilter(a, b, ZAR_FIXED_GAUSS_3);
         },
         STATUS_OK,
         {}},
    };
    for (const auto& row : rows) {
        Pair pair;
        pair.src.randomize(1);
        zt::ErrorRecorder recorder;
        EXPECT_EQ(row.call(pair), row.returned);
        zt::expectReports(recorder, "zarFixedFilter", "zarnlf", row.want);
        for (int32_t c = 0; c < 3; ++c) ASSERT_EQ(getSample(pair.dst, 2, 2, c), 9);
    }
}

// ----------------------------------------------------------- hand-worked

// Rules a reference could get wrong alike: halves to even (also under another
// rounding mode, which is given back), signed values, saturation, directions,
// 1-bit thresholds, constant borders.  Each row fills a one-channel source with
// pixel(x, y) and borders (one mode, constant 0), filters and reads (x, y).
TEST(FixedFilterRules, WorkedByHand) {
    using Pixel = double (*)(int32_t, int32_t);
    const Pixel spot2 = [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 2.0 : 0.0; };
    const Pixel spot6 = [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 6.0 : 0.0; };
    const Pixel spot1 = [](int32_t x, int32_t y) { return x == 3 && y == 3 ? 1.0 : 0.0; };
    const Pixel falling = [](int32_t x, int32_t) { return 100.0 - 10 * x; };
    const Pixel down = [](int32_t, int32_t y) { return 7.0 * y; };
    const struct Row {
        const char* rule;
        int32_t depth, width, height;
        Pixel pixel;
        int32_t border, filter, x, y;
        double expected;
        int rounding;
    } rows[] = {
        {"Gauss 3: 8 / 16 -> 0", ZAR_DEPTH_8U, 3, 3, spot2, 0, 6, 1, 1, 0, FE_TONEAREST},
        {"Gauss 3: 24 / 16 -> 2", ZAR_DEPTH_8U, 3, 3, spot6, 0, 6, 1, 1, 2, FE_TONEAREST},
        {"Gauss 3: 12 / 16 -> 1 beside", ZAR_DEPTH_8U, 3, 3, spot6, 0, 6, 0, 1, 1, FE_TONEAREST},
        {"Gauss 3: 40 / 16 -> 2", ZAR_DEPTH_8U, 3, 3,
         [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 10.0 : 0.0; }, 0, 6, 1, 1, 2,
         FE_TONEAREST},
        {"Gauss 3: 28 / 16 -> 2", ZAR_DEPTH_8U, 3, 3,
         [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 7.0 : 0.0; }, 0, 6, 1, 1, 2,
         FE_TONEAREST},
        {"8S Gauss: -8 / 16 -> 0", ZAR_DEPTH_8S, 3, 3,
         [](int32_t x, int32_t y) { return x == 1 && y == 1 ? -2.0 : 0.0; }, 0, 6, 1, 1, 0,
         FE_TONEAREST},
        {"16S Gauss: -24 / 16 -> -2", ZAR_DEPTH_16S, 3, 3,
         [](int32_t x, int32_t y) { return x == 1 && y == 1 ? -6.0 : 0.0; }, 0, 6, 1, 1, -2,
         FE_TONEAREST},
        {"8S Gauss keeps -1", ZAR_DEPTH_8S, 3, 3, [](int32_t, int32_t) { return -1.0; }, 1, 6, 0, 0,
         -1, FE_TONEAREST},
        {"32S Gauss 12 / 16 -> 1 rounding upward", ZAR_DEPTH_32S, 3, 3,
         [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 3.0 : 0.0; }, 0, 6, 1, 1, 1,
         FE_UPWARD},
        {"32S Gauss 6 / 16 -> 0 rounding upward", ZAR_DEPTH_32S, 3, 3,
         [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 3.0 : 0.0; }, 0, 6, 0, 1, 0,
         FE_UPWARD},
        {"32S Gauss -24 / 16 -> -2 toward zero", ZAR_DEPTH_32S, 3, 3,
         [](int32_t x, int32_t y) { return x == 1 && y == 1 ? -6.0 : 0.0; }, 0, 6, 1, 1, -2,
         FE_TOWARDZERO},
        {"32S Sobel X saturates", ZAR_DEPTH_32S, 3, 3,
         [](int32_t x, int32_t y) {
             return y != 1 ? 0.0 : x == 0 ? 2147483647.0 : x == 2 ? -2147483648.0 : 0;
         },
         0, ZAR_FIXED_SOBEL_X, 1, 1, 2147483647, FE_DOWNWARD},
        {"8U sharpen keeps 200", ZAR_DEPTH_8U, 5, 4, [](int32_t, int32_t) { return 200.0; }, 1,
         ZAR_FIXED_SHARPEN_3, 4, 3, 200, FE_TONEAREST},
        {"8S sharpen keeps -128", ZAR_DEPTH_8S, 5, 4, [](int32_t, int32_t) { return -128.0; }, 1,
         ZAR_FIXED_SHARPEN_3, 2, 2, -128, FE_TONEAREST},
        {"16U sharpen keeps 65535", ZAR_DEPTH_16U, 5, 4, [](int32_t, int32_t) { return 65535.0; },
         1, ZAR_FIXED_SHARPEN_3, 0, 0, 65535, FE_TONEAREST},
        {"32F sharpen keeps 2.5", ZAR_DEPTH_32F, 5, 4, [](int32_t, int32_t) { return 2.5; }, 1,
         ZAR_FIXED_SHARPEN_3, 1, 2, 2.5, FE_TONEAREST},
        {"Gauss 5 keeps 100 at a corner", ZAR_DEPTH_16S, 6, 6,
         [](int32_t, int32_t) { return 100.0; }, 1, ZAR_FIXED_GAUSS_5, 0, 0, 100, FE_TONEAREST},
        {"Prewitt X of a rising ramp saturates at 0", ZAR_DEPTH_8U, 5, 4,
         [](int32_t x, int32_t) { return 10.0 * x; }, 1, ZAR_FIXED_PREWITT_X, 2, 1, 0,
         FE_TONEAREST},
        {"Prewitt X of a falling ramp", ZAR_DEPTH_8U, 5, 4, falling, 1, ZAR_FIXED_PREWITT_X, 2, 1,
         60, FE_TONEAREST},
        {"Sobel X of a falling ramp", ZAR_DEPTH_8U, 5, 4, falling, 1, ZAR_FIXED_SOBEL_X, 2, 1, 80,
         FE_TONEAREST},
        {"Prewitt Y downward", ZAR_DEPTH_16S, 4, 5, down, 1, ZAR_FIXED_PREWITT_Y, 1, 2, 42,
         FE_TONEAREST},
        {"Sobel Y downward", ZAR_DEPTH_16S, 4, 5, down, 1, ZAR_FIXED_SOBEL_Y, 1, 2, 56,
         FE_TONEAREST},
        {"Sobel Y with the row above replicated", ZAR_DEPTH_16S, 4, 5, down, 1, ZAR_FIXED_SOBEL_Y,
         1, 0, 28, FE_TONEAREST},
        {"Laplace 5 centre", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_LAPLACE_5, 3, 3, 20,
         FE_TONEAREST},
        {"Laplace 5 beside", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_LAPLACE_5, 4, 3, 6,
         FE_TONEAREST},
        {"Laplace 5 corner", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_LAPLACE_5, 1, 1, -1,
         FE_TONEAREST},
        {"Laplace 5 knight", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_LAPLACE_5, 2, 1, -3,
         FE_TONEAREST},
        {"high pass 5 centre", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_HIGHPASS_5, 3, 3, 24,
         FE_TONEAREST},
        {"high pass 5 corner", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_HIGHPASS_5, 5, 5, -1,
         FE_TONEAREST},
        {"Laplace 3 centre", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_LAPLACE_3, 3, 3, 8,
         FE_TONEAREST},
        {"Laplace 3 corner", ZAR_DEPTH_16S, 7, 7, spot1, 0, ZAR_FIXED_LAPLACE_3, 2, 4, -1,
         FE_TONEAREST},
        {"1-bit Gauss: a weighted count of 6 stays 0", ZAR_DEPTH_1U, 5, 3,
         [](int32_t x, int32_t y) { return y == 1 && (x == 1 || x == 2) ? 1.0 : 0.0; }, 0, 6, 1, 1,
         0, FE_TONEAREST},
        {"1-bit Gauss: a weighted count of 8 sets", ZAR_DEPTH_1U, 5, 3,
         [](int32_t x, int32_t y) {
             return (y == 1 && (x == 1 || x == 2)) || (x == 1 && y == 0) ? 1.0 : 0.0;
         },
         0, 6, 1, 1, 1, FE_TONEAREST},
        {"constant borders darken an edge (12 of 16)", ZAR_DEPTH_8U, 5, 4,
         [](int32_t, int32_t) { return 160.0; }, 0, 6, 2, 0, 120, FE_TONEAREST},
        {"constant borders darken a corner (9 of 16)", ZAR_DEPTH_8U, 5, 4,
         [](int32_t, int32_t) { return 160.0; }, 0, 6, 4, 3, 90, FE_TONEAREST},
    };
    zt::ErrorRecorder recorder;
    for (const Row& r : rows) {
        zt::Image src(1, 0, r.depth, 0, r.width, r.height),
            dst(1, 0, r.depth, 0, r.width, r.height);
        for (int32_t y = 0; y < r.height; ++y)
            for (int32_t x = 0; x < r.width; ++x) setSample(src, x, y, 0, r.pixel(x, y));
        const int32_t modes[4] = {r.border, r.border, r.border, r.border};
        ft::setBorders(src, modes, ft::kZeros);
        std::fesetround(r.rounding);
        EXPECT_EQ(zarFixedFilter(src, dst, r.filter), STATUS_OK) << r.rule;
        EXPECT_EQ(std::fegetround(), r.rounding) << r.rule;
        std::fesetround(FE_TONEAREST);
        EXPECT_EQ(getSample(dst, r.x, r.y, 0), r.expected) << r.rule;
    }
    EXPECT_TRUE(recorder.reports().empty());
}

// A quirk: Laplace 3 and high pass 3 give the same image on every depth;
// 1-bit sharpen copies the bits.
TEST(FixedFilterRules, LaplaceThreeIsHighPassThree) {
    zt::ErrorRecorder recorder;
    for (int32_t depth : ft::kAllDepths) {
        zt::Image src(1, 0, depth, 0, 9, 7), a(1, 0, depth, 0, 9, 7), b(1, 0, depth, 0, 9, 7);
        src.randomize(20);
        zarFixedFilter(src, a, ZAR_FIXED_LAPLACE_3);
        zarFixedFilter(src, b, depth == ZAR_DEPTH_1U ? ZAR_FIXED_SHARPEN_3 : ZAR_FIXED_HIGHPASS_3);
        ASSERT_EQ(zt::compareImages(depth == ZAR_DEPTH_1U ? src.get() : a.get(), b), "") << depth;
    }
}

// ------------------------------------------------------------ random cases

// Random filters, depths, layouts, borders (the high mode bit ignored),
// regions, channels of interest, alpha and masks; plain and tiled sides; now
// and then rows wider than a strip of the row kernels.
TEST(FixedFilterRandom, PlainAndTiledAgainstTheReference) {
    zt::Rng rng(77);
    for (int n = 0; n < 600; ++n) {
        zt::OperandSpec s;
        s.depth = ft::kAllDepths[rng.range(0, 6)];
        const int32_t filter = rng.range(0, 10);
        s.nChannels = s.depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
        s.alphaChannel = s.nChannels > 1 && rng.range(0, 2) == 0 ? s.nChannels : 0;
        s.dataOrder = rng.range(0, 1);
        s.width = n % 40 == 0  ? rng.range(1100, 1600)
                  : n % 8 == 0 ? rng.range(90, 140)
                               : rng.range(1, 20);
        s.height = n % 40 == 0 ? rng.range(3, 6) : rng.range(1, 14);
        for (int i = 0; i < 4; ++i) {
            s.borderModes[i] = rng.range(0, 7);
            s.borderValues[i] = rng.range(-200, 200);
        }
        const int32_t coi = s.nChannels > 1 && rng.range(0, 2) == 0 ? rng.range(1, s.nChannels) : 0;
        zt::OperandSpec d = s;
        d.dataOrder = s.depth == ZAR_DEPTH_1U ? rng.range(0, 1) : s.dataOrder;
        d.width = s.width + rng.range(0, 2);
        d.height = s.height + rng.range(0, 2);
        for (zt::OperandSpec* o : {&s, &d}) {
            o->hasRoi = coi || rng.range(0, 2);
            o->roi = zt::randomRoi(rng, o->width, o->height);
            o->roi.xOffset %= o->width;
            o->roi.yOffset %= o->height;
            o->roi.coi = coi && o == &d ? rng.range(1, s.nChannels) : coi;
            zt::randomMaskAndTiles(rng, *o, true);
        }
        const std::string fault = zt::runEverywhere(
            {s, d}, 900 + n,
            [&](const std::vector<ImageHeader*>& h) { zarFixedFilter(h[0], h[1], filter); },
            [&](const std::vector<ImageHeader*>& plain, const std::vector<zt::OperandSpec>&,
                ImageHeader* expected) { referenceFilter(plain[0], expected, filter); });
        ASSERT_EQ(fault, "") << "case " << n << " filter " << filter;
    }
}

// Destination tiles in row order; a refused tile is reported and released.
TEST(FixedFilterTiles, TileOrderAndRefusedTiles) {
    zt::ErrorRecorder recorder;
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 24, 16);
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 24, 16, 8, 8);
    EXPECT_EQ(zarFixedFilter(src, store.image(), 0), STATUS_OK);
    std::vector<std::pair<int32_t, int32_t>> writes;
    for (const zt::TileCall& call : store.log())
        if (call.mode == ZAR_TILE_WRITE) writes.push_back({call.column, call.row});
    EXPECT_EQ(writes, (std::vector<std::pair<int32_t, int32_t>>{
                          {0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}));
    zt::OperandSpec plain, tiled;
    plain.width = plain.height = tiled.width = tiled.height = 16;
    tiled.tiled = true;
    auto filter = [](const std::vector<ImageHeader*>& h) {
        EXPECT_EQ(zarFixedFilter(h[0], h[1], 6), STATUS_ERROR);
    };
    zt::expectRefusal({plain, tiled}, 1, 1, 1, filter, "zarFixedFilter", "zarnlf",
                      {STATUS_ERROR, "Error get tile to write"});
    zt::expectRefusal({tiled, plain}, 0, 0, 1, filter, "zarFixedFilter", "zarnlf",
                      {STATUS_ERROR, "Error get tile to read"});
}

}  // namespace
