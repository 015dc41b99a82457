// zarBlur: argument checks, hand-worked results, a naive reference over random
// cases, and the tiled ways of walking against the plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <vector>

#include "support/filter_support.h"
#include "support/image_support.h"
#include "support/zar_test.h"

namespace {

using ft::expectSame;
using ft::fill;
using ft::kReplicate;
using ft::kZeros;
using zt::getSample;
using zt::setSample;

// The blur of src into a copy of dst's pixels, by the rules: every window summed
// directly from border-mapped samples, the integer part of the exact product
// with the single-precision reciprocal (rounded toward zero to single precision
// for 32F, compared with one half for 1-bit images).
zt::Image referenceBlur(const ImageHeader* src, const ImageHeader* dst, int32_t nCols,
                        int32_t nRows, int32_t anchorX, int32_t anchorY) {
    zt::Image out = ft::copyOf(dst);
    const ft::Region s = ft::regionOf(src), d = ft::regionOf(dst);
    int32_t w = 0, h = 0;
    ft::processedSize(src, dst, &w, &h);
    const float scale = static_cast<float>(1.0 / (nCols * nRows));
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) {
            if (!ft::maskAllows(src, i, j) || !ft::maskAllows(dst, i, j)) continue;
            for (int32_t k = 0; k < s.channels; ++k) {
                double sum = 0;
                for (int32_t v = 0; v < nRows; ++v)
                    for (int32_t u = 0; u < nCols; ++u)
                        sum += ft::borderSample(src, s.x + i - anchorX + u, s.y + j - anchorY + v,
                                                s.firstChannel + k);
                double result;
                switch (src->depth) {
                    case ZAR_DEPTH_1U:
                        result = sum * static_cast<double>(scale) >= 0.5;
                        break;
                    case ZAR_DEPTH_32F: {
                        long double exact = static_cast<long double>(sum) * scale;
                        float f = static_cast<float>(exact);
                        if (std::fabs(static_cast<long double>(f)) > std::fabs(exact))
                            f = std::nextafter(f, 0.0f);
                        result = f;
                        break;
                    }
                    default:
                        result = static_cast<double>(ft::exactIntegerPart(
                            static_cast<int32_t>(static_cast<int64_t>(sum)), scale));
                }
                setSample(out.get(), d.x + i, d.y + j, d.firstChannel + k, result);
            }
        }
    return out;
}

// ---------------------------------------------------------------- checks

struct BlurChecks : ::testing::Test {
    zt::ErrorRecorder recorder;
    zt::Image src{1, 0, ZAR_DEPTH_8U, 0, 6, 5};
    zt::Image dst{1, 0, ZAR_DEPTH_8U, 0, 6, 5};

    void expectReport(ZarStatus status, const char* context, int32_t line) {
        zt::expectReport(recorder, status, "zarBlur", context, "zarBlur", line);
    }
};

TEST_F(BlurChecks, InvalidSourceAndDestination) {
    zarBlur(nullptr, dst, 3, 3, 1, 1);
    expectReport(STATUS_NULL_HEADER, "Incorrect Image", 383);
    recorder.clear();
    zarBlur(src, nullptr, 3, 3, 1, 1);
    expectReport(STATUS_NULL_HEADER, "Incorrect Image", 384);
}

TEST_F(BlurChecks, DepthsDiffer) {
    zt::Image other(1, 0, ZAR_DEPTH_16U, 0, 6, 5);
    zarBlur(src, other, 3, 3, 1, 1);
    expectReport(STATUS_BAD_ARG, "(srcImage->depth!=dstImage->depth)", 385);
}

TEST_F(BlurChecks, NeighbourhoodAndAnchor) {
    zarBlur(src, dst, 3, -1, 1, 0);
    expectReport(STATUS_BAD_ARG, "(nRows<0||nCols<0)", 386);
    recorder.clear();
    zarBlur(src, dst, 3, 3, -1, 1);
    expectReport(STATUS_BAD_ARG, "(anchorX<0||anchorY<0)", 387);
    recorder.clear();
    zarBlur(src, dst, 0, 3, 0, 1);
    expectReport(STATUS_BAD_ARG, "(anchorX>=nCols||anchorY>=nRows)", 388);
    recorder.clear();
    zarBlur(src, dst, 3, 2, 1, 2);
    expectReport(STATUS_BAD_ARG, "(anchorX>=nCols||anchorY>=nRows)", 388);
}

TEST_F(BlurChecks, AlphaOnlyImages) {
    zt::Image alphaOnly(1, 1, ZAR_DEPTH_8U, 0, 6, 5);
    zarBlur(src, alphaOnly, 3, 3, 1, 1);
    expectReport(STATUS_BAD_ALPHA, "bad alpha channel's number", 400);
    recorder.clear();
    zarBlur(alphaOnly, dst, 3, 3, 1, 1);
    expectReport(STATUS_BAD_ALPHA, "bad alpha channel's number", 403);
}

TEST_F(BlurChecks, ChannelCountsDiffer) {
    zt::Image three(3, 0, ZAR_DEPTH_8U, 0, 6, 5);
    zarBlur(three, dst, 3, 3, 1, 1);
    expectReport(STATUS_BAD_CHANNELS, "bad channel's number", 406);
}

TEST_F(BlurChecks, MasksThatCannotBeResolved) {
    ImageHeader* mask = zt::newImage(1, 0, ZAR_DEPTH_1U, 0, 6, 5);
    mask->alphaChannel = 1;  // a valid header whose only channel is alpha
    src->maskImage = mask;
    zarBlur(src, dst, 3, 3, 1, 1);
    expectReport(STATUS_BAD_ALPHA, "bad alpha channel's number", 409);
    recorder.clear();
    src->maskImage = nullptr;
    dst->maskImage = mask;
    zarBlur(src, dst, 3, 3, 1, 1);
    expectReport(STATUS_BAD_ALPHA, "bad alpha channel's number", 412);
}

TEST_F(BlurChecks, OneByOneIsACopy) {
    src.randomize(3);
    src.setRoi(0, 1, 1, 3, 2);
    zarBlur(src, dst, 1, 1, 0, 0);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(getSample(dst, x, y, 0),
                      x < 3 && y < 2 ? getSample(src, x + 1, y + 1, 0) : 0.0);
}

TEST_F(BlurChecks, EmptyRegionChangesNothing) {
    src.randomize(1);
    dst.setRoi(0, 6, 0, 2, 2);  // starts right of the image
    zarBlur(src, dst, 3, 3, 1, 1);
    EXPECT_TRUE(recorder.reports().empty());
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(getSample(dst, x, y, 0), 0.0);
}

// ----------------------------------------------------------- hand-worked

struct BlurCases : ::testing::Test {
    zt::ErrorRecorder recorder;
};

TEST_F(BlurCases, ConstantMaximumStaysMaximum) {
    // 2295 x single(1/9) is just above 255.
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 5, 4, 4, 255), dst(1, 0, ZAR_DEPTH_8U, 0, 5, 4);
    ft::setBorders(src, kReplicate, kZeros);
    zarBlur(src, dst, 3, 3, 1, 1);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(getSample(dst, x, y, 0), 255);
}

TEST_F(BlurCases, TruncatesInsteadOfRounding) {
    // A window summing to 8 gives 0, one summing to 17 gives 1, 9 x 13 gives 13.
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 7, 3), dst(1, 0, ZAR_DEPTH_8U, 0, 7, 3);
    setSample(src, 1, 1, 0, 8);
    setSample(src, 4, 1, 0, 17);
    ft::setBorders(src, kZeros, kZeros);
    zarBlur(src, dst, 3, 3, 1, 1);
    EXPECT_EQ(getSample(dst, 1, 1, 0), 0);
    EXPECT_EQ(getSample(dst, 4, 1, 0), 1);
    EXPECT_EQ(getSample(dst, 5, 0, 0), 1);
    fill(src, 13);
    zarBlur(src, dst, 3, 3, 1, 1);
    EXPECT_EQ(getSample(dst, 3, 1, 0), 13);
}

TEST_F(BlurCases, SixteenBitReciprocalBelowTheQuotient) {
    // single(1/25) = 0.039999999105930328..., so 25 x 65535 gives 65534.9985.
    zt::Image src(1, 0, ZAR_DEPTH_16U, 0, 6, 6, 4, 65535), dst(1, 0, ZAR_DEPTH_16U, 0, 6, 6);
    ft::setBorders(src, kReplicate, kZeros);
    zarBlur(src, dst, 5, 5, 2, 2);
    EXPECT_EQ(getSample(dst, 0, 0, 0), 65534);
    EXPECT_EQ(getSample(dst, 5, 5, 0), 65534);
}

TEST_F(BlurCases, SignedDepthsTruncateTowardZero) {
    // 8S: -10 everywhere gives -10 (-90 x 0.11111111194 = -10.00000007); a sum of
    // -8 gives 0.  16S likewise with -300.
    zt::Image src(1, 0, ZAR_DEPTH_8S, 0, 4, 4), dst(1, 0, ZAR_DEPTH_8S, 0, 4, 4);
    setSample(src, 0, 0, 0, -8);
    ft::setBorders(src, kZeros, kZeros);
    zarBlur(src, dst, 3, 3, 1, 1);
    EXPECT_EQ(getSample(dst, 1, 1, 0), 0);
    fill(src, -10);
    ft::setBorders(src, kReplicate, kZeros);
    zarBlur(src, dst, 3, 3, 1, 1);
    EXPECT_EQ(getSample(dst, 2, 2, 0), -10);
    zt::Image wide(1, 0, ZAR_DEPTH_16S, 0, 4, 4), wideDst(1, 0, ZAR_DEPTH_16S, 0, 4, 4);
    fill(wide, -300);
    ft::setBorders(wide, kReplicate, kZeros);
    zarBlur(wide, wideDst, 3, 3, 1, 1);
    EXPECT_EQ(getSample(wideDst, 3, 3, 0), -300);
}

TEST_F(BlurCases, FloatDepthsRunUnderTruncation) {
    // Two columns, scale 0.5: (2^24 + 3) / 2 = 8388609.5 is not a float; toward
    // zero gives 8388609 (nearest would give 8388610).  The caller's rounding
    // mode is given back.
    zt::Image src(1, 0, ZAR_DEPTH_32F, 0, 2, 1), dst(1, 0, ZAR_DEPTH_32F, 0, 2, 1);
    setSample(src, 0, 0, 0, 16777216.0);
    setSample(src, 1, 0, 0, 3.0);
    std::fesetround(FE_UPWARD);
    zarBlur(src, dst, 2, 1, 0, 0);
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(getSample(dst, 0, 0, 0), 8388609.0);

    zt::Image ints(1, 0, ZAR_DEPTH_32S, 0, 2, 1), intsDst(1, 0, ZAR_DEPTH_32S, 0, 2, 1);
    setSample(ints, 0, 0, 0, -7);
    std::fesetround(FE_DOWNWARD);
    zarBlur(ints, intsDst, 2, 1, 0, 0);
    EXPECT_EQ(std::fegetround(), FE_DOWNWARD);
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(getSample(intsDst, 0, 0, 0), -3);  // -3.5 truncated
}

TEST_F(BlurCases, BitImagesNeedHalfTheWindow) {
    zt::Image src(1, 0, ZAR_DEPTH_1U, 0, 6, 3), dst(1, 0, ZAR_DEPTH_1U, 0, 6, 3);
    ft::setBorders(src, kZeros, kZeros);
    // Column 1: five of nine set around (1, 1); column 4: four of nine.
    const int32_t five[][2] = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 2}};
    const int32_t four[][2] = {{3, 0}, {4, 0}, {5, 0}, {3, 1}};
    for (auto& p : five) setSample(src, p[0], p[1], 0, 1);
    for (auto& p : four) setSample(src, p[0], p[1], 0, 1);
    zarBlur(src, dst, 3, 3, 1, 1);
    EXPECT_EQ(getSample(dst, 1, 1, 0), 1);
    EXPECT_EQ(getSample(dst, 4, 1, 0), 0);
}

TEST_F(BlurCases, AnchorPlacesTheWindow) {
    // A 3 x 1 window with its anchor on the left cell averages x .. x + 2.
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 6, 1), dst(1, 0, ZAR_DEPTH_8U, 0, 6, 1);
    for (int32_t x = 0; x < 6; ++x) setSample(src, x, 0, 0, 30 * x);
    ft::setBorders(src, kReplicate, kZeros);
    zarBlur(src, dst, 3, 1, 0, 0);
    EXPECT_EQ(getSample(dst, 0, 0, 0), 30);   // 0 + 30 + 60
    EXPECT_EQ(getSample(dst, 3, 0, 0), 120);  // 90 + 120 + 150
    EXPECT_EQ(getSample(dst, 5, 0, 0), 150);  // 150 three times
}

TEST_F(BlurCases, EveryBorderMode) {
    // One row 10 20 30 40, a 5 x 1 window centred: the two outside columns on
    // each side come from the mode.
    const int32_t modes[] = {ZAR_BORDER_CONSTANT, ZAR_BORDER_REPLICATE, ZAR_BORDER_REFLECT,
                             ZAR_BORDER_WRAP};
    // Left window of pixel 0: (-2, -1, 0, 1, 2); right window of pixel 3: (1 .. 5).
    const double left[] = {(7 + 7 + 10 + 20 + 30) / 5, (10 + 10 + 10 + 20 + 30) / 5,
                           (20 + 10 + 10 + 20 + 30) / 5, (30 + 40 + 10 + 20 + 30) / 5};
    const double right[] = {(20 + 30 + 40 + 7 + 7) / 5, (20 + 30 + 40 + 40 + 40) / 5,
                            (20 + 30 + 40 + 40 + 30) / 5, (20 + 30 + 40 + 10 + 20) / 5};
    for (int m = 0; m < 4; ++m) {
        zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 4, 1), dst(1, 0, ZAR_DEPTH_8U, 0, 4, 1);
        for (int32_t x = 0; x < 4; ++x) setSample(src, x, 0, 0, 10 * (x + 1));
        const int32_t modes4[4] = {modes[m], modes[m], modes[m], modes[m]};
        const int32_t values[4] = {7, 7, 7, 7};
        ft::setBorders(src, modes4, values);
        zarBlur(src, dst, 5, 1, 2, 0);
        EXPECT_EQ(getSample(dst, 0, 0, 0), std::trunc(left[m])) << "mode " << modes[m];
        EXPECT_EQ(getSample(dst, 3, 0, 0), std::trunc(right[m])) << "mode " << modes[m];
    }
}

TEST_F(BlurCases, AlphaChannelIsLeftAlone) {
    zt::Image src(4, 4, ZAR_DEPTH_8U, 0, 5, 4), dst(4, 4, ZAR_DEPTH_8U, 0, 5, 4, 4, 77);
    src.randomize(11);
    zt::Image expected = referenceBlur(src, dst, 3, 3, 1, 1);
    zarBlur(src, dst, 3, 3, 1, 1);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(getSample(dst, x, y, 3), 77);
    expectSame(expected, dst, "alpha");
}

TEST_F(BlurCases, ChannelOfInterestOnEachSide) {
    // Source channel 2 into destination channel 3, planes on one side only.
    zt::Image src(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 6, 5);
    zt::Image dst(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PIXEL, 6, 5, 4, 5);
    src.randomize(12);
    src.setRoi(2, 0, 0, 6, 5);
    dst.setRoi(3, 0, 0, 6, 5);
    zt::Image before = ft::copyOf(dst);
    before.setRoi(3, 0, 0, 6, 5);
    zarBlur(src, dst, 2, 3, 1, 2);
    EXPECT_TRUE(recorder.reports().empty());
    expectSame(referenceBlur(src, before, 2, 3, 1, 2), dst, "coi");
    for (int32_t y = 0; y < 5; ++y) EXPECT_EQ(getSample(dst, 2, y, 0), 5);
}

TEST_F(BlurCases, RoiSizesDiffer) {
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 9, 8), dst(1, 0, ZAR_DEPTH_8U, 0, 9, 8, 4, 1);
    src.randomize(13);
    src.setRoi(0, 2, 1, 7, 3);  // 7 x 3
    dst.setRoi(0, 0, 4, 4, 6);  // 4 x 4 inside the image: common 4 x 3
    zt::Image before = ft::copyOf(dst);
    before.setRoi(0, 0, 4, 4, 6);
    zarBlur(src, dst, 3, 3, 1, 1);
    expectSame(referenceBlur(src, before, 3, 3, 1, 1), dst, "roi");
    EXPECT_EQ(getSample(dst, 4, 4, 0), 1);  // right of the common width
    EXPECT_EQ(getSample(dst, 0, 7, 0), 1);  // below the common height
}

TEST_F(BlurCases, MasksLimitTheWrites) {
    for (int which = 1; which <= 3; ++which) {
        zt::Image src(2, 0, ZAR_DEPTH_8U, 0, 9, 7), dst(2, 0, ZAR_DEPTH_8U, 0, 9, 7, 4, 3);
        src.randomize(14);
        if (which & 1) ft::attachRandomMask(src, 10, 8, 100 + which);
        if (which & 2) ft::attachRandomMask(dst, 9, 7, 200 + which);
        zt::Image before = ft::copyOf(dst);
        ft::Borrowed borrowed(before, dst);
        zarBlur(src, dst, 3, 2, 1, 0);
        EXPECT_TRUE(recorder.reports().empty());
        expectSame(referenceBlur(src, before, 3, 2, 1, 0), dst, "masks");
    }
}

TEST_F(BlurCases, InPlaceOnMemoryEqualsSeparate) {
    zt::Image src(3, 0, ZAR_DEPTH_8U, 0, 8, 6);
    src.randomize(15);
    zt::Image separate(3, 0, ZAR_DEPTH_8U, 0, 8, 6);
    zarBlur(src, separate, 4, 3, 2, 1);
    zarBlur(src, src, 4, 3, 2, 1);
    expectSame(separate, src, "in place");
}

// ------------------------------------------------------------ randomized

struct RandomCase {
    int32_t depth, dataOrder, nChannels, alpha;
    int32_t width, height;
    int32_t nCols, nRows, anchorX, anchorY;
};

RandomCase randomCase(zt::Rng& rng) {
    RandomCase c{};
    c.depth = ft::kAllDepths[rng.range(0, 6)];
    c.nChannels = c.depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 4);
    c.alpha = c.nChannels > 1 && rng.range(0, 2) == 0 ? c.nChannels : 0;
    c.dataOrder = c.depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1);
    c.width = rng.range(1, 19);
    c.height = rng.range(1, 15);
    do {
        c.nCols = rng.range(1, 7);
        c.nRows = rng.range(1, 6);
    } while (c.nCols * c.nRows == 1);
    c.anchorX = rng.range(0, c.nCols - 1);
    c.anchorY = rng.range(0, c.nRows - 1);
    return c;
}

// Random pixels; 32S kept small so that every single-precision sum is exact and
// the result depends only on the rules above.
void randomPixels(zt::Image& image, uint32_t seed) {
    image.randomize(seed);
    if (image->depth != ZAR_DEPTH_32S) return;
    for (int32_t c = 0; c < image->nChannels; ++c)
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x)
                setSample(image.get(), x, y, c,
                          std::floor(getSample(image.get(), x, y, c) / 65536.0));
}

void randomBorders(ImageHeader* image, zt::Rng& rng) {
    int32_t modes[4], values[4];
    for (int i = 0; i < 4; ++i) {
        modes[i] = rng.range(0, 3);
        values[i] = rng.range(-3, 300);
    }
    ft::setBorders(image, modes, values);
}

void randomRoi(zt::Image& image, zt::Rng& rng, int32_t coi) {
    if (rng.range(0, 3) == 0 && coi == 0) return;
    image.setRoi(coi, rng.range(0, image->width - 1), rng.range(0, image->height - 1),
                 rng.range(1, image->width + 2), rng.range(1, image->height + 2));
}

TEST(BlurRandom, MatchesTheNaiveReference) {
    zt::ErrorRecorder recorder;
    zt::Rng rng(2024);
    for (int n = 0; n < 400; ++n) {
        const RandomCase c = randomCase(rng);
        zt::Image src(c.nChannels, c.alpha, c.depth, c.dataOrder, c.width, c.height);
        zt::Image dst(c.nChannels, c.alpha, c.depth, c.dataOrder, c.width + rng.range(-1, 2) + 1,
                      c.height + rng.range(-1, 2) + 1);
        randomPixels(src, 1000 + n);
        randomPixels(dst, 5000 + n);
        randomBorders(src, rng);
        const int32_t coi = c.nChannels > 1 && rng.range(0, 2) == 0 ? rng.range(1, c.nChannels) : 0;
        randomRoi(src, rng, coi);
        randomRoi(dst, rng, coi ? rng.range(1, c.nChannels) : 0);
        if (rng.range(0, 4) == 0) ft::attachRandomMask(src, c.width, c.height, 7000 + n);
        if (rng.range(0, 4) == 0) ft::attachRandomMask(dst, dst->width, dst->height, 8000 + n);
        zt::Image before = ft::copyOf(dst);
        ft::Borrowed borrowed(before, dst);
        zarBlur(src, dst, c.nCols, c.nRows, c.anchorX, c.anchorY);
        ASSERT_TRUE(recorder.reports().empty()) << "case " << n;
        zt::Image expected = referenceBlur(src, before, c.nCols, c.nRows, c.anchorX, c.anchorY);
        std::string where;
        ASSERT_EQ(ft::countDifferences(expected, dst, &where), 0)
            << "case " << n << " depth " << c.depth << " order " << c.dataOrder << " channels "
            << c.nChannels << " window " << c.nCols << "x" << c.nRows << " anchor " << c.anchorX
            << "," << c.anchorY << where;
    }
}

// Wider images through the row-at-a-time integer kernel: all channels
// together, one channel of interleaved pixels, planes, odd widths, narrow and
// wide windows, and a neighbourhood large enough for the 64-bit products.
TEST(BlurRandom, IntegerRowKernelMatchesTheNaiveReference) {
    zt::ErrorRecorder recorder;
    const int32_t depths[] = {ZAR_DEPTH_8U, ZAR_DEPTH_8S, ZAR_DEPTH_16U, ZAR_DEPTH_16S};
    struct Shape {
        int32_t nChannels, coi, order, nCols, nRows;
    };
    const Shape shapes[] = {{1, 0, 0, 3, 3},  {3, 0, 0, 5, 2},   {4, 2, 0, 4, 3},  {2, 0, 1, 7, 5},
                            {3, 0, 0, 1, 4},  {1, 0, 0, 91, 92}, {1, 0, 0, 12, 1}, {2, 0, 0, 10, 2},
                            {3, 0, 0, 11, 3}, {4, 0, 0, 9, 2},   {4, 3, 0, 13, 2}};
    int n = 0;
    for (int32_t depth : depths)
        for (const Shape& shape : shapes) {
            ++n;
            const int32_t width = shape.nCols > 50 ? 101 : 53 + n;
            const int32_t height = shape.nRows > 50 ? 95 : 17;
            zt::Image src(shape.nChannels, 0, depth, shape.order, width, height);
            zt::Image dst(shape.nChannels, 0, depth, shape.order, width, height);
            randomPixels(src, 9100 + n);
            randomPixels(dst, 9200 + n);
            if (shape.coi) {
                src.setRoi(shape.coi, 1, 2, width - 3, height - 2);
                dst.setRoi(shape.coi + 1, 2, 0, width - 2, height - 1);
            }
            zt::Image before = ft::copyOf(dst);
            ft::Borrowed borrowed(before, dst);
            const int32_t anchorX = shape.nCols / 3, anchorY = shape.nRows / 2;
            zarBlur(src, dst, shape.nCols, shape.nRows, anchorX, anchorY);
            ASSERT_TRUE(recorder.reports().empty());
            zt::Image expected = referenceBlur(src, before, shape.nCols, shape.nRows, anchorX,
                                               anchorY);
            std::string where;
            ASSERT_EQ(ft::countDifferences(expected, dst, &where), 0)
                << "depth " << depth << " channels " << shape.nChannels << " window " << shape.nCols
                << "x" << shape.nRows << where;
        }
}

// ----------------------------------------------------------------- tiled

struct TiledCase {
    int32_t depth, dataOrder, nChannels;
    int32_t width, height, tileWidth, tileHeight;
    int32_t nCols, nRows, anchorX, anchorY;
};

const TiledCase kTiledCases[] = {
    {ZAR_DEPTH_8U, 0, 3, 37, 29, 16, 8, 5, 3, 2, 1},
    {ZAR_DEPTH_16S, 1, 2, 20, 21, 8, 8, 3, 3, 1, 1},
    {ZAR_DEPTH_32F, 0, 1, 25, 17, 8, 16, 4, 4, 3, 0},
    {ZAR_DEPTH_1U, 0, 1, 33, 19, 16, 8, 3, 3, 1, 1},
    {ZAR_DEPTH_32S, 1, 3, 18, 18, 8, 8, 2, 5, 0, 4},
};

TEST(BlurTiled, SourceTiledEqualsPlain) {
    zt::ErrorRecorder recorder;
    for (const TiledCase& t : kTiledCases) {
        zt::Image plainSrc(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height);
        randomPixels(plainSrc, 31 + t.width);
        const int32_t modes[4] = {1, 2, 3, 0}, values[4] = {0, 0, 0, 5};
        ft::setBorders(plainSrc, modes, values);
        Roi roi{0, 3, 2, t.width - 5, t.height - 3};
        plainSrc->roi = &roi;
        zt::Image plainDst(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height);
        plainDst.setRoi(0, 1, 4, t.width - 2, t.height - 4);
        zt::Image viaTiles = ft::copyOf(plainDst);
        viaTiles.setRoi(0, 1, 4, t.width - 2, t.height - 4);
        zarBlur(plainSrc, plainDst, t.nCols, t.nRows, t.anchorX, t.anchorY);

        zt::TileStore store(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height, t.tileWidth,
                            t.tileHeight);
        store.loadFrom(plainSrc);
        ft::setBorders(store.image(), modes, values);
        store.image()->roi = &roi;
        zarBlur(store.image(), viaTiles, t.nCols, t.nRows, t.anchorX, t.anchorY);
        plainSrc->roi = nullptr;
        store.image()->roi = nullptr;
        EXPECT_TRUE(recorder.reports().empty());
        EXPECT_TRUE(store.balanced());
        EXPECT_EQ(store.count(ZAR_TILE_WRITE), 0);
        expectSame(plainDst, viaTiles, "source tiled");
    }
}

TEST(BlurTiled, DestinationTiledEqualsPlain) {
    zt::ErrorRecorder recorder;
    for (const TiledCase& t : kTiledCases) {
        zt::Image src(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height);
        randomPixels(src, 41 + t.width);
        const int32_t modes[4] = {3, 0, 2, 1}, values[4] = {1, 9, 0, 0};
        ft::setBorders(src, modes, values);
        src.setRoi(0, 2, 1, t.width - 3, t.height - 2);
        zt::Image plainDst(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height);
        randomPixels(plainDst, 51);
        zt::Image before = ft::copyOf(plainDst);
        zt::TileStore store(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height, t.tileWidth,
                            t.tileHeight);
        store.loadFrom(plainDst);
        Roi roi{0, 4, 3, t.width - 4, t.height - 3};
        plainDst->roi = &roi;
        store.image()->roi = &roi;
        zarBlur(src, plainDst, t.nCols, t.nRows, t.anchorX, t.anchorY);
        zarBlur(src, store.image(), t.nCols, t.nRows, t.anchorX, t.anchorY);
        zt::Image viaTiles = ft::copyOf(plainDst);
        store.storeTo(viaTiles);
        // The same from a tiled source.
        zt::TileStore tiledSrc(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height,
                               t.tileHeight, t.tileWidth);
        tiledSrc.loadFrom(src);
        ft::setBorders(tiledSrc.image(), modes, values);
        tiledSrc.image()->roi = src->roi;
        store.loadFrom(before);
        zarBlur(tiledSrc.image(), store.image(), t.nCols, t.nRows, t.anchorX, t.anchorY);
        tiledSrc.image()->roi = nullptr;
        zt::Image bothTiled = ft::copyOf(plainDst);
        store.storeTo(bothTiled);
        plainDst->roi = nullptr;
        store.image()->roi = nullptr;
        EXPECT_TRUE(recorder.reports().empty());
        EXPECT_TRUE(store.balanced());
        EXPECT_TRUE(tiledSrc.balanced());
        expectSame(plainDst, viaTiles, "destination tiled");
        expectSame(plainDst, bothTiled, "both tiled");
    }
}

TEST(BlurTiled, InPlaceTiledEqualsPlain) {
    zt::ErrorRecorder recorder;
    for (const TiledCase& t : kTiledCases) {
        zt::Image plain(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height);
        randomPixels(plain, 61 + t.width);
        const int32_t modes[4] = {2, 1, 0, 3}, values[4] = {0, 0, 4, 0};
        ft::setBorders(plain, modes, values);
        zt::TileStore store(t.nChannels, 0, t.depth, t.dataOrder, t.width, t.height, t.tileWidth,
                            t.tileHeight);
        store.loadFrom(plain);
        ft::setBorders(store.image(), modes, values);
        Roi roi{0, 1, 2, t.width - 2, t.height - 2};
        plain->roi = &roi;
        store.image()->roi = &roi;
        zt::Image separate = ft::copyOf(plain);
        separate->roi = &roi;
        zarBlur(plain, separate, t.nCols, t.nRows, t.anchorX, t.anchorY);
        zarBlur(store.image(), store.image(), t.nCols, t.nRows, t.anchorX, t.anchorY);
        plain->roi = nullptr;
        separate->roi = nullptr;
        store.image()->roi = nullptr;
        EXPECT_TRUE(recorder.reports().empty());
        EXPECT_TRUE(store.balanced());
        zt::Image viaTiles = ft::copyOf(plain);
        store.storeTo(viaTiles);
        expectSame(separate, viaTiles, "in place tiled");
    }
}

TEST(BlurTiled, MaskedTiledDestination) {
    zt::ErrorRecorder recorder;
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 24, 20);
    src.randomize(71);
    zt::Image plainDst(1, 0, ZAR_DEPTH_8U, 0, 24, 20, 4, 9);
    ImageHeader* mask = ft::attachRandomMask(src, 24, 20, 72);
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 24, 20, 8, 8);
    store.loadFrom(plainDst);
    zarBlur(src, plainDst, 3, 3, 1, 1);
    zarBlur(src, store.image(), 3, 3, 1, 1);
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(store.balanced());
    zt::Image viaTiles = ft::copyOf(plainDst);
    store.storeTo(viaTiles);
    expectSame(plainDst, viaTiles, "masked tiled");
    (void)mask;
}

TEST(BlurTiled, MaskedInPlaceTiledEqualsPlain) {
    zt::ErrorRecorder recorder;
    zt::Image plain(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 26, 23);
    plain.randomize(73);
    ft::attachRandomMask(plain, 26, 23, 74);
    zt::TileStore store(3, 0, ZAR_DEPTH_16U, ZAR_DATA_ORDER_PLANE, 26, 23, 8, 8);
    store.loadFrom(plain);
    store.image()->maskImage = plain->maskImage;
    zt::Image separate = ft::copyOf(plain);
    zarBlur(plain, separate, 3, 5, 2, 2);
    zarBlur(store.image(), store.image(), 3, 5, 2, 2);
    store.image()->maskImage = nullptr;
    EXPECT_TRUE(recorder.reports().empty());
    EXPECT_TRUE(store.balanced());
    zt::Image viaTiles = ft::copyOf(plain);
    store.storeTo(viaTiles);
    expectSame(separate, viaTiles, "masked in place tiled");
}

TEST(BlurTiled, RefusedDestinationTileIsReported) {
    zt::ErrorRecorder recorder;
    zt::Image src(1, 0, ZAR_DEPTH_8U, 0, 16, 16);
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 8, 8);
    store.refuse(1, 0);
    zarBlur(src, store.image(), 3, 3, 1, 1);
    zt::Report r = recorder.only();
    EXPECT_EQ(r.status, STATUS_ERROR);
    EXPECT_EQ(r.context, "Error get tile to write");
    EXPECT_EQ(r.func, "zarBlur");
    EXPECT_TRUE(store.balanced());
}

TEST(BlurTiled, RefusedTileInPlaceIsReported) {
    zt::ErrorRecorder recorder;
    zt::TileStore store(1, 0, ZAR_DEPTH_8U, 0, 16, 16, 8, 8);
    store.refuse(0, 0);
    zarBlur(store.image(), store.image(), 3, 3, 1, 1);
    zt::Report r = recorder.only();
    EXPECT_EQ(r.status, STATUS_ERROR);
    EXPECT_EQ(r.func, "zarBlur");
    EXPECT_EQ(r.context, "Error get tile to read");
    EXPECT_TRUE(store.balanced());
    EXPECT_EQ(store.count(ZAR_TILE_WRITE), 0);
}

}  // namespace
