// The plain remap kernels (the reference of the vector forms) and their table.
#include "geometry/remapKernels.h"

#include <algorithm>
#include <cstring>

#include "frame/rounding.h"
#include "geometry/geometry.h"
#include "zar.h"

namespace {

// Nearest integer in the current rounding mode (halves to even by default),
// converted in place rather than through a library call per pixel.
inline int32_t nearest(double v) { return nearestInt(v); }
// Floor with a tolerance: a position a hair below an integer counts as it.
inline int32_t floorTolerant(float v) { return nearest(static_cast<double>(v) - 0.5 + 0.0000001); }

// The source's steps and extent, copied out of the job into the kernel's
// locals so that they stay in registers while destination bytes are written.
struct Source {
    intptr_t pixelStep, rowStep;
    int32_t width, height;  // the whole source image
    int32_t x1, y1;         // last column and row of the source region
};

template <class T>
inline int32_t at(const char* p) {
    return *reinterpret_cast<const T*>(p);
}

// ------------------------------------------------------------- samplers
// Each sampler first works out its taps from the position (once per pixel),
// then gives the value of one channel plane.

template <class T>
struct NearestSampler {
    intptr_t offset;
    NearestSampler(const Source& s, float x, float y)
        : offset(nearest(y) * s.rowStep + nearest(x) * s.pixelStep) {}
    int32_t value(const Source&, const char* plane) const { return at<T>(plane + offset); }
};

// Bilinear in double precision, rounded to nearest.  On the region's last
// column (row) the taps step back one pixel with the fraction 1.0, giving the
// same value without reading past the region; a region one pixel wide at
// column (row) 0 keeps its index instead, with the fraction 0, which again
// gives that pixel's value and reads only inside the image.
template <class T>
struct LinearSampler {
    intptr_t offset;
    double fx, fy;
    LinearSampler(const Source& s, float x, float y) {
        int32_t ix = floorTolerant(x), iy = floorTolerant(y);
        if (ix == s.x1 && ix > 0) --ix;
        if (iy == s.y1 && iy > 0) --iy;
        fx = static_cast<double>(x) - ix;
        fy = static_cast<double>(y) - iy;
        offset = iy * s.rowStep + ix * s.pixelStep;
    }
    int32_t value(const Source& s, const char* plane) const {
        const char* p = plane + offset;
        const double a = sampleAsDouble<T>(p), b = sampleAsDouble<T>(p + s.pixelStep);
        const double c = sampleAsDouble<T>(p + s.rowStep),
                     d = sampleAsDouble<T>(p + s.rowStep + s.pixelStep);
        const double top = a + (b - a) * fx;
        const double bottom = c + (d - c) * fx;
        return nearest(top + (bottom - top) * fy);
    }
};

// First of the four cubic taps: one before the floor of the position, kept
// inside the image (the taps may reach outside the region).
inline int32_t cubicBase(int32_t i, int32_t size) {
    return i <= 0 ? 0 : i >= size - 2 ? size - 4 : i - 1;
}

// 8U cubic in fixed point.  The fractions t, u (relative to the second tap,
// -1 .. 2) become 16.16 integers T = nearest(t * 65536); samples are scaled
// by 16.  For samples a, b, c, d the Lagrange cubic is
//   b + t(c1 + t(c2 + t c3)),  c1 = (-2a - 3b + 6c - d)/6,
//   c2 = (a - 2b + c)/2,  c3 = (-a + 3b - 3c + d)/6,
// evaluated in 64-bit integers: the divisions by 6 are products with
// 43691 (2^18 / 6 to the nearest) shifted right by 18, the halving a shift,
// and each product with T is shifted right by 16.  Every shift rounds to
// nearest (halves up) so that the errors do not pile up on one side: the
// result stays within about 0.12 of the exact cubic.  The horizontal
// pass gives row values scaled by 16.  The vertical pass computes twice the
// cubic of those row values (coefficients k1/3 = k1 * 43691 >> 17, k2, k3/3),
// so its sum is the result scaled by 32: (sum + 16) >> 5 rounds it, then it is
// clamped to 0..255.  A fraction of exactly -1, 0, 1 or 2 takes that tap
// (scaled alike) without evaluating the polynomial.
struct FixedCubic {
    static constexpr int64_t kOne = 65536;
    // Index 0..3 of the tap a fraction hits exactly, or -1.
    static int32_t exactTap(int64_t t) {
        return t == -kOne ? 0 : t == 0 ? 1 : t == kOne ? 2 : t == 2 * kOne ? 3 : -1;
    }
    // v / 2^s to the nearest integer, halves up.
    static int64_t shiftRound(int64_t v, int s) { return (v + (int64_t{1} << (s - 1))) >> s; }
    // shift 18: the cubic itself; shift 17: twice the cubic.
    static int64_t eval(const int64_t p[4], int64_t t, int shift, int64_t b) {
        const int64_t k1 = -2 * p[0] - 3 * p[1] + 6 * p[2] - p[3];
        const int64_t k2 = p[0] - 2 * p[1] + p[2];
        const int64_t k3 = -p[0] + 3 * p[1] - 3 * p[2] + p[3];
        const int64_t c1 = shiftRound(k1 * 43691, shift);
        const int64_t c2 = shift == 18 ? shiftRound(k2, 1) : k2;
        const int64_t c3 = shiftRound(k3 * 43691, shift);
        const int64_t inner = c2 + shiftRound(t * c3, 16);
        const int64_t middle = c1 + shiftRound(t * inner, 16);
        return b + shiftRound(t * middle, 16);
    }
};

struct CubicTaps {
    int32_t bx, by;
    double t, u;
    CubicTaps(const Source& s, float x, float y) {
        bx = cubicBase(floorTolerant(x), s.width);
        by = cubicBase(floorTolerant(y), s.height);
        t = static_cast<double>(x) - bx - 1;
        u = static_cast<double>(y) - by - 1;
    }
};

struct CubicSampler8 : CubicTaps {
    int64_t tFixed, uFixed;
    int32_t tExact, uExact;
    CubicSampler8(const Source& s, float x, float y)
        : CubicTaps(s, x, y),
          tFixed(nearest(t * 65536.0)),
          uFixed(nearest(u * 65536.0)),
          tExact(FixedCubic::exactTap(tFixed)),
          uExact(FixedCubic::exactTap(uFixed)) {}
    int32_t value(const Source& s, const char* plane) const {
        int64_t rows[4];
        for (int32_t r = 0; r < 4; ++r) {
            const char* row = plane + (by + r) * s.rowStep + bx * s.pixelStep;
            int64_t p[4];
            for (int32_t k = 0; k < 4; ++k)
                p[k] = 16 * int64_t{*reinterpret_cast<const uint8_t*>(row + k * s.pixelStep)};
            rows[r] = tExact >= 0 ? p[tExact] : FixedCubic::eval(p, tFixed, 18, p[1]);
        }
        const int64_t sum = uExact >= 0 ? 2 * rows[uExact]
                                        : FixedCubic::eval(rows, uFixed, 17, 2 * rows[1]);
        return static_cast<int32_t>(std::clamp<int64_t>((sum + 16) >> 5, 0, 255));
    }
};

// 16U cubic in double precision, b + t(c1 + t(c2 + t c3)) with the
// coefficients -1/3, 1/2 and 1/6; rounded to nearest and clamped.
inline double cubicDouble(double a, double b, double c, double d, double t) {
    constexpr double kThird = 1.0 / 3.0, kSixth = 1.0 / 6.0;
    const double c1 = -kThird * a - 0.5 * b + c - kSixth * d;
    const double c2 = 0.5 * (a + c) - b;
    const double c3 = kSixth * (d - a) + 0.5 * (b - c);
    return b + t * (c1 + t * (c2 + t * c3));
}

struct CubicSampler16 : CubicTaps {
    using CubicTaps::CubicTaps;
    int32_t value(const Source& s, const char* plane) const {
        double rows[4];
        for (int32_t r = 0; r < 4; ++r) {
            const char* row = plane + (by + r) * s.rowStep + bx * s.pixelStep;
            auto p = [&](int32_t k) {
                return static_cast<double>(
                    *reinterpret_cast<const uint16_t*>(row + k * s.pixelStep));
            };
            rows[r] = cubicDouble(p(0), p(1), p(2), p(3), t);
        }
        const double v = cubicDouble(rows[0], rows[1], rows[2], rows[3], u);
        return std::clamp(nearest(v), 0, 65535);
    }
};

// ---------------------------------------------------------------- kernels

// Walks the W x H region; a pixel whose position is outside the source region
// keeps its value.  Pixel layout: all channels of a pixel together; plane
// layout: one channel plane after the other.
template <class T, class Sampler, bool Planes>
void remapKernel(const RemapJob& job) {
    const Source source{job.srcPixelStep, job.srcRowStep, job.srcWidth,
                        job.srcHeight,    job.x1,         job.y1};
    const int32_t passes = Planes ? job.channels : 1;
    const int32_t together = Planes ? 1 : job.channels;
    const intptr_t srcChannelStep = job.srcChannelStep, dstChannelStep = job.dstChannelStep;
    const intptr_t dstPixelStep = job.dstPixelStep;
    const int32_t width = job.width;
    const int32_t lowX = job.lowX, highX = job.highX, lowY = job.lowY, highY = job.highY;
    for (int32_t pass = 0; pass < passes; ++pass) {
        const char* srcPlane = job.src + pass * srcChannelStep;
        char* dstPlane = job.dst + pass * dstChannelStep;
        for (int32_t r = 0; r < job.height; ++r) {
            const float* xs = reinterpret_cast<const float*>(job.xMap + r * job.xMapStep);
            const float* ys = reinterpret_cast<const float*>(job.yMap + r * job.yMapStep);
            char* dstRow = dstPlane + r * job.dstRowStep;
            for (int32_t c = 0; c < width; ++c) {
                const float x = xs[c], y = ys[c];
                const int32_t bx = floatBits(x), by = floatBits(y);
                if (bx < lowX || bx > highX || by < lowY || by > highY) continue;
                const Sampler sampler(source, x, y);
                char* dstPixel = dstRow + c * dstPixelStep;
                if (together == 1) {
                    *reinterpret_cast<T*>(dstPixel) = static_cast<T>(
                        sampler.value(source, srcPlane));
                    continue;
                }
                for (int32_t k = 0; k < together; ++k)
                    *reinterpret_cast<T*>(dstPixel + k * dstChannelStep) = static_cast<T>(
                        sampler.value(source, srcPlane + k * srcChannelStep));
            }
        }
    }
}

}  // namespace

// CUBIC has the plain kernels only.
#define ZAR_REMAP_ENTRY(T, depth, planes, mode, Sampler)       \
    {                                                          \
        depth, planes, mode, {                                 \
            remapKernel<T, Sampler, planes>, nullptr, nullptr, \
                ZAR_AVX512((remapAvx512<T, mode, planes>))     \
        }                                                      \
    }
#define ZAR_REMAP_ENTRIES(T, depth, planes, Linear, Cubic)                       \
    ZAR_REMAP_ENTRY(T, depth, planes, ZAR_INTER_NN, NearestSampler<T>),          \
        ZAR_REMAP_ENTRY(T, depth, planes, ZAR_INTER_LINEAR, LinearSampler<T>), { \
        depth, planes, ZAR_INTER_CUBIC, { remapKernel<T, Cubic, planes> }        \
    }

const RemapEntry kRemapKernels[12] = {
    ZAR_REMAP_ENTRIES(uint8_t, ZAR_DEPTH_8U, false, LinearSampler<uint8_t>, CubicSampler8),
    ZAR_REMAP_ENTRIES(uint8_t, ZAR_DEPTH_8U, true, LinearSampler<uint8_t>, CubicSampler8),
    ZAR_REMAP_ENTRIES(uint16_t, ZAR_DEPTH_16U, false, LinearSampler<uint16_t>, CubicSampler16),
    ZAR_REMAP_ENTRIES(uint16_t, ZAR_DEPTH_16U, true, LinearSampler<uint16_t>, CubicSampler16),
};

// 1-bit images: nearest neighbour, bits most significant first.
void remapBits(const RemapJob& job) {
    for (int32_t r = 0; r < job.height; ++r) {
        const float* xs = reinterpret_cast<const float*>(job.xMap + r * job.xMapStep);
        const float* ys = reinterpret_cast<const float*>(job.yMap + r * job.yMapStep);
        char* dstRow = job.dst + r * job.dstRowStep;
        for (int32_t c = 0; c < job.width; ++c) {
            const int32_t bx = floatBits(xs[c]), by = floatBits(ys[c]);
            if (bx < job.lowX || bx > job.highX || by < job.lowY || by > job.highY) continue;
            const int32_t ix = nearest(xs[c]), iy = nearest(ys[c]);
            putBit(dstRow, job.dstBit + c, getBit(job.src + iy * job.srcRowStep, ix));
        }
    }
}

RemapJob remapPixelJob(const RemapJob& job, bool planes, int32_t pass, int32_t c, int32_t r) {
    RemapJob one = job;
    one.width = one.height = 1;
    one.xMap = job.xMap + r * job.xMapStep + c * intptr_t{sizeof(float)};
    one.yMap = job.yMap + r * job.yMapStep + c * intptr_t{sizeof(float)};
    one.dst = job.dst + r * job.dstRowStep + c * job.dstPixelStep;
    if (planes) {
        one.src = job.src + pass * job.srcChannelStep;
        one.dst += pass * job.dstChannelStep;
        one.channels = 1;
    }
    return one;
}
