// Hostile arguments: neighbourhoods and iteration counts up to INT32_MAX,
// tiled images INT32_MAX wide worked at their far end, and refusing tile
// callbacks.  Each must give the rules' result, or a report, in bounded time.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <vector>

#include "support/filter_support.h"
#include "support/morph_support.h"
#include "support/zar_test.h"

namespace {

using zt::getSample;

// How many of the n positions from start an axis of the given size maps to
// each image index under a border mode (a constant maps none); closed forms
// per period, so that n may be near INT32_MAX.
std::vector<uint64_t> mappedCounts(int64_t start, int64_t n, int32_t size, int32_t mode) {
    std::vector<uint64_t> counts(static_cast<size_t>(size));
    const int64_t inFrom = std::max<int64_t>(start, 0), inTo = std::min(start + n, int64_t{size});
    for (int64_t x = inFrom; x < inTo; ++x) ++counts[static_cast<size_t>(x)];
    if (mode == ZAR_BORDER_REPLICATE) {
        counts[0] += std::max<int64_t>(0, std::min<int64_t>(start + n, 0) - start);
        counts[size - 1] += std::max<int64_t>(0, start + n - std::max<int64_t>(start, size));
    } else if (mode != ZAR_BORDER_CONSTANT) {
        counts.assign(counts.size(), 0);
        const int64_t period = mode == ZAR_BORDER_REFLECT ? 2 * int64_t{size} : size;
        for (auto& c : counts) c = static_cast<uint64_t>(n / period * (period / size));
        for (int64_t x = start + n / period * period; x < start + n; ++x)
            ++counts[static_cast<size_t>(mt::borderMap(mode, x, size))];
    }
    return counts;
}

// zarBlur by the rules for a source whose four sides share one border mode
// and constant: each window sum from how often the window meets each image
// pixel (modulo 2^64; the rules keep 32 bits), then as the kernels convert it.
zt::Image countedBlur(const ImageHeader* src, const ImageHeader* dst, int32_t nCols, int32_t nRows,
                      int32_t ax, int32_t ay) {
    zt::Image out = ft::copyOf(dst);
    const ft::Region s = ft::regionOf(src), d = ft::regionOf(dst);
    int32_t w = 0, h = 0;
    ft::processedSize(src, dst, &w, &h);
    const int32_t mode = src->borderModes[0] & 3;
    const float scale = static_cast<float>(1.0 / (static_cast<double>(nCols) * nRows));
    for (int32_t j = 0; j < h; ++j) {
        const auto cy = mappedCounts(int64_t{s.y} + j - ay, nRows, src->height, mode);
        for (int32_t i = 0; i < w; ++i) {
            if (!ft::maskAllows(src, i, j) || !ft::maskAllows(dst, i, j)) continue;
            const auto cx = mappedCounts(int64_t{s.x} + i - ax, nCols, src->width, mode);
            for (int32_t k = 0; k < s.channels; ++k) {
                uint64_t sum = 0, inside = 0;
                for (int32_t y = 0; y < src->height; ++y)
                    for (int32_t x = 0; x < src->width; ++x) {
                        const uint64_t count = cx[x] * cy[y];
                        inside += count;
                        sum += count * static_cast<uint64_t>(static_cast<int64_t>(
                                           getSample(src, x, y, s.firstChannel + k)));
                    }
                if (mode == ZAR_BORDER_CONSTANT)  // every outside position holds the constant
                    sum += (uint64_t(nCols) * uint64_t(nRows) - inside) *
                           static_cast<uint64_t>(src->borderValues[0]);
                // Integer depths keep the sum's low 32 bits; the floating-point
                // ones (whose sums stay exact here) the whole sum.
                const int32_t low = static_cast<int32_t>(static_cast<uint32_t>(sum));
                const bool floating = src->depth == ZAR_DEPTH_32S || src->depth == ZAR_DEPTH_32F;
                const int64_t whole = floating ? static_cast<int64_t>(sum) : low;
                double result = static_cast<double>(ft::exactIntegerPart(whole, scale));
                if (src->depth == ZAR_DEPTH_1U) result = low * static_cast<double>(scale) >= 0.5;
                if (src->depth == ZAR_DEPTH_32F) {  // rounded toward zero
                    const long double exact = static_cast<long double>(whole) * scale;
                    float f = static_cast<float>(exact);
                    if (f > exact) f = std::nextafter(f, 0.0f);
                    result = f;
                }
                zt::setSample(out.get(), d.x + i, d.y + j, d.firstChannel + k, result);
            }
        }
    }
    return out;
}

// Random values small enough that the floating-point depths sum exactly.
void fillValues(ImageHeader* image, uint32_t seed) {
    zt::Rng rng(seed);
    const int32_t depth = image->depth;
    const int32_t range = depth == ZAR_DEPTH_32F || depth == ZAR_DEPTH_1U ? 2
                          : depth == ZAR_DEPTH_32S || (depth & 0xFF) == 8 ? 256
                                                                          : 65536;
    const int32_t base = depth & ZAR_DEPTH_SIGN && depth != ZAR_DEPTH_32S ? range / 2 : 0;
    for (int32_t c = 0; c < image->nChannels; ++c)
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x)
                zt::setSample(image, x, y, c, rng.range(0, range - 1) - base);
}

struct LargeBlurCase {
    int32_t depth, channels, order, mode, nCols, nRows, ax, ay;
};

TEST(BlurLargeWindow, MatchesTheRulesCountedPerImagePixel) {
    const LargeBlurCase cases[] = {
        {ZAR_DEPTH_8U, 1, 0, ZAR_BORDER_REPLICATE, INT_MAX, 1, 5, 0},
        {ZAR_DEPTH_8U, 3, 1, ZAR_BORDER_WRAP, 65536, 65536, 100, 40000},
        {ZAR_DEPTH_8S, 1, 0, ZAR_BORDER_REFLECT, 65536, 65536, 65535, 0},
        {ZAR_DEPTH_16U, 2, 0, ZAR_BORDER_CONSTANT, 70001, 3, 2, 1},
        {ZAR_DEPTH_16S, 1, 0, ZAR_BORDER_REFLECT, 3, INT_MAX, 1, INT_MAX - 1},
        {ZAR_DEPTH_1U, 1, 0, ZAR_BORDER_WRAP, 65536, 65536, 0, 0},
        {ZAR_DEPTH_32S, 1, 0, ZAR_BORDER_REPLICATE, 65536, 65536, 30000, 30000},
        {ZAR_DEPTH_32F, 3, 0, ZAR_BORDER_REFLECT, 65536, 16384, 1, 2},
    };
    for (const LargeBlurCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "depth " << c.depth << " window " << c.nCols << "x" << c.nRows);
        zt::ErrorRecorder recorder;
        zt::Image src(c.channels, 0, c.depth, c.order, 17, 13),
            dst(c.channels, 0, c.depth, c.order, 17, 13);
        fillValues(src, 7);
        const int32_t modes[4] = {c.mode, c.mode, c.mode, c.mode}, values[4] = {7, 7, 7, 7};
        ft::setBorders(src, modes, values);
        const zt::Image expected = countedBlur(src, dst, c.nCols, c.nRows, c.ax, c.ay);
        const auto start = std::chrono::steady_clock::now();
        zarBlur(src, dst, c.nCols, c.nRows, c.ax, c.ay);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  1.0);
        EXPECT_TRUE(recorder.reports().empty());
        ft::expectSame(expected, dst, "large window");
    }
}

// The large-window way within every way of walking: regions, channel of
// interest, masks, tiled source, tiled destination, in place on tiles.
TEST(BlurLargeWindow, EveryWayOfWalking) {
    for (int32_t way = 0; way < 4; ++way) {
        SCOPED_TRACE(way);
        zt::ErrorRecorder recorder;
        zt::Image src(3, 0, ZAR_DEPTH_16U, 0, 20, 18), dst(3, 0, ZAR_DEPTH_16U, 0, 20, 18);
        fillValues(src, way);
        fillValues(dst, way + 9);
        const int32_t modes[4] = {2, 2, 2, 2}, values[4] = {};
        ft::setBorders(src, modes, values);
        // In place one header has one region.
        if (way == 3)
            src.setRoi(0, 1, 2, 19, 14);
        else
            src.setRoi(way == 0 ? 2 : 0, 3, 1, 15, 16);
        dst.setRoi(way == 0 ? 3 : 0, 1, 2, 19, 14);
        if (way == 0) ft::attachRandomMask(dst, 17, 16, 5);
        zt::TileStore tiledSrc(3, 0, ZAR_DEPTH_16U, 0, 20, 18, 8, 16);
        zt::TileStore tiledDst(3, 0, ZAR_DEPTH_16U, 0, 20, 18, 16, 8);
        tiledSrc.loadFrom(src);
        tiledDst.loadFrom(way == 3 ? src.get() : dst.get());
        ft::setBorders(tiledSrc, modes, values);
        ft::setBorders(tiledDst, modes, values);
        ImageHeader* from = way == 1 ? tiledSrc.image() : way == 3 ? tiledDst.image() : src.get();
        ImageHeader* to = way >= 2 ? tiledDst.image() : dst.get();
        to->roi = dst->roi;
        from->roi = src->roi;
        const zt::Image expected = countedBlur(src, way == 3 ? src.get() : dst.get(), 400, 300, 7,
                                               9);
        zarBlur(from, to, 400, 300, 7, 9);
        tiledSrc.image()->roi = tiledDst.image()->roi = nullptr;
        if (way >= 2) tiledDst.storeTo(dst);
        EXPECT_TRUE(recorder.reports().empty());
        EXPECT_TRUE(tiledSrc.balanced() && tiledDst.balanced());
        ft::expectSame(expected, dst, "way");
    }
}

TEST(BlurLargeWindow, FloatingPointSumsBeyondBoundedWorkAreRefused) {
    zt::ErrorRecorder recorder;
    zt::Image src(1, 0, ZAR_DEPTH_32F, 0, 17, 13), dst(1, 0, ZAR_DEPTH_32F, 0, 17, 13);
    ft::fill(dst, 2.5);
    zarBlur(src, dst, INT_MAX, 1, 0, 0);
    EXPECT_EQ(recorder.only().status, STATUS_BAD_ARG);
    EXPECT_EQ(getSample(dst, 3, 3, 0), 2.5);
}

// --------------------------------------------------------------- morphology

TEST(MorphHostile, EachSideOfTheWindowCutToTheRegion) {
    struct Case {
        int32_t width, height, n, depth;
    };
    for (const Case& c :
         {Case{1, 2500, 100000, ZAR_DEPTH_8U}, Case{2000, 1, INT_MAX, ZAR_DEPTH_16U},
          Case{5, 40, 7, ZAR_DEPTH_8U}, Case{70, 5, 30, ZAR_DEPTH_1U}}) {
        for (bool dilate : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " n " << c.n);
            zt::Image src(1, 0, c.depth, 0, c.width, c.height),
                dst(1, 0, c.depth, 0, c.width, c.height);
            src.randomize(c.width);
            const int32_t modes[4] = {1, 3, 2, 0}, values[4] = {};
            ft::setBorders(src, modes, values);
            const auto start = std::chrono::steady_clock::now();
            (dilate ? zarDilate : zarErode)(src, dst, c.n);
            EXPECT_LT(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                1.0);
            EXPECT_EQ(mt::allSamples(dst), mt::referenceMorph(src, dst, c.n, dilate));
        }
    }
}

TEST(MorphHostile, IterationsPastInt32OnARegionWiderThan2To30) {
    zt::ErrorRecorder recorder;
    zt::TileStore src(1, 0, ZAR_DEPTH_8U, 0, INT_MAX, 8, 64, 8);
    zt::TileStore dst(1, 0, ZAR_DEPTH_8U, 0, INT_MAX, 8, 64, 8);
    zarDilate(src, dst, INT_MAX);
    // No ring of that width can be held: recorded, not reported, nothing asked.
    EXPECT_EQ(zarGetStatus(), STATUS_NO_MEMORY);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(src.log().empty() && dst.log().empty());
}

// ------------------------------------------------ tiles at the int32 limit

TEST(TiledAtInt32Limit, EveryOperationInTheLastTileColumn) {
    zt::ErrorRecorder recorder;
    zt::TileStore tiled(1, 0, ZAR_DEPTH_8U, 0, INT_MAX, 16, 8, 8);
    const int32_t modes[4] = {3, 2, 1, 3}, values[4] = {};
    ft::setBorders(tiled, modes, values);
    Roi last{0, INT_MAX - 5, 3, 5, 8};  // in the tile column that ends past INT32_MAX
    tiled.image()->roi = &last;
    zt::Image plain(1, 0, ZAR_DEPTH_8U, 0, 5, 8), back(1, 0, ZAR_DEPTH_8U, 0, 5, 8);
    plain.randomize(3);
    ImageHeader* t = tiled.image();
    zt::Image xMap(1, 0, ZAR_DEPTH_32F, 0, 5, 8), yMap(1, 0, ZAR_DEPTH_32F, 0, 5, 8);
    ft::fill(xMap, 2.0);
    ft::fill(yMap, 5.0);
    zarCopy(plain, t);
    zarCopy(t, back);
    ft::expectSame(plain, back, "copy to the far end and back");
    zarAdd(t, plain, t);
    zarOr(t, t, t);
    zarAnd(plain, t, t);
    zarXorS(t, t, 0x55);
    zarBlur(t, back, 3, 3, 1, 1);
    zarBlur(plain, t, 5, 2, 4, 1);
    zarBlur(t, t, 3, 5, 1, 2);
    zarFixedFilter(t, back, ZAR_FIXED_SOBEL_X);
    zarDilate(t, back, 2);
    zarErode(plain, t, 1);
    zarDilate(t, t, 3);
    zarDecimate(t, back, 1, 2, 1, 1, ZAR_INTER_SUPER);
    zarResize(t, back, 2, 3, 1, 2, ZAR_INTER_SUPER);
    zarZoom(t, back, 1, 1, 3, 2, ZAR_INTER_CUBIC);
    zarZoom(plain, t, 3, 2, 1, 1, ZAR_INTER_LINEAR);
    zarRemap(plain, xMap, yMap, t, ZAR_INTER_NN);
    zarSet(t, 9);
    zarCopy(t, back);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(tiled.balanced());
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(getSample(back, x, y, 0), 9);
    tiled.image()->roi = nullptr;
}

// ---------------------------------------------------------------- PutPixel

TEST(PutPixelHostile, ARefusedTileIsHandedBackAsEveryRequestIs) {
    zt::ErrorRecorder recorder;
    zt::TileStore tiled(1, 0, ZAR_DEPTH_8U, 0, INT_MAX, 16, 8, 8);
    tiled.refuse((INT_MAX - 1) / 8, 1);
    const uint8_t pixel = 200;
    zarPutPixel(tiled, INT_MAX - 1, 9, &pixel);
    EXPECT_EQ(recorder.only().context, "Error get tile to write");
    ASSERT_EQ(tiled.log().size(), 2u);
    EXPECT_EQ(tiled.log()[1].mode, ZAR_TILE_RELEASE);
    EXPECT_EQ(tiled.log()[1].column, (INT_MAX - 1) / 8);
}

}  // namespace
