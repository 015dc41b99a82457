// The sampling kernels of the decimation: nearest neighbour (1U, 8U, 16U),
// linear and cubic (8U, 16U; 1-bit images copy bits in those modes).
#include <algorithm>
#include <cfloat>
#include <climits>
#include <utility>

#include "frame/cpu.h"
#include "geometry/decimateKernels.h"
#include "geometry/decimateLanes.h"
#include "geometry/gatherKernels.h"

namespace {

// ------------------------------------------------------ nearest neighbour

// The source pixel at the truncated position.  Pixel-ordered images copy all
// channels of a pixel together, working out each position once.
template <class P>
bool decimateNN(const DecimateJob& job, double& x, double& y) {
    if (job.channels > 1 && !job.planes) {
        const double x0 = x;
        double xi = x0, yj = y;
        for (int32_t j = 0; j < job.height; ++j, yj += job.ky) {
            const char* srcRow = job.src + static_cast<int32_t>(yj) * job.srcRowStep;
            char* dstRow = job.dst + j * job.dstRowStep;
            xi = x0;
            for (int32_t i = 0; i < job.width; ++i, xi += job.kx) {
                const int32_t ix = static_cast<int32_t>(xi);
                for (int32_t c = 0; c < job.channels; ++c)
                    P::write(
                        dstRow + c * job.dstChannelStep, job.dstPixelStep, job.dstBit, i,
                        P::read(srcRow + c * job.srcChannelStep, job.srcPixelStep, job.srcBit, ix));
            }
        }
        x = xi;
        y = yj;
        return true;
    }
    walkPositions<P>(
        job, x, y,
        [&](const char* plane, int32_t, double yj) {
            return plane + static_cast<int32_t>(yj) * job.srcRowStep;
        },
        [&](const char* row, int32_t, double xi) {
            return P::read(row, job.srcPixelStep, job.srcBit, static_cast<int32_t>(xi));
        });
    return true;
}

// 8U and 16U: the source column of every lane is worked out once per call.
template <class T>
bool decimateNNElements(const DecimateJob& job, double& x, double& y) {
    const Lanes l = lanesOf(job, sizeof(T));
    const ScratchArray<double> xs = stepPositions(x, job.kx, job.width);
    const ScratchArray<double> ys = stepPositions(y, job.ky, job.height);
    if (!l.dst.held() || !xs.held() || !ys.held()) return false;
    const ScratchArray<intptr_t> src = sourceOffsets(
        job, l, [&](int32_t i) { return static_cast<int32_t>(xs[i]); });
    if (!src.held()) return false;
    const intptr_t* __restrict from = src.data();
    // Packed lanes whose offsets count in int32 go through the gather rows.
    const GatherRowFn gather = l.packed
                                   ? gatherRowFor(sizeof(T) == 1 ? ZAR_DEPTH_8U : ZAR_DEPTH_16U,
                                                  isaLevel())
                                   : nullptr;
    // One-channel rows at a factor of 2 from their first pixel pick every other element.
    bool even = l.packed && l.together == 1 && job.srcPixelStep == intptr_t{sizeof(T)};
    for (int32_t e = 0; even && e < l.lanes; ++e) even = from[e] == 2 * e * intptr_t{sizeof(T)};
    const EvenPickRowFn pickEven = kEvenPicks[sizeof(T) - 1].variants.pick();
    const PackedLanes packed = gather && !even ? packedLanes<T>(src, 0) : PackedLanes{};
    if (packed.failed) return false;
    for (int32_t pass = 0; pass < l.passes; ++pass)
        for (int32_t j = 0; j < job.height; ++j) {
            auto sourceRow = [&](int32_t r) {
                return job.src + pass * l.srcPassStep +
                       static_cast<int32_t>(ys[static_cast<size_t>(r)]) * job.srcRowStep;
            };
            const char* srcRow = sourceRow(j);
            char* dstRow = job.dst + pass * l.dstPassStep + j * job.dstRowStep;
            if (even) {
                pickEven(srcRow, dstRow, l.lanes);
            } else if (packed.used()) {
                // the vector rows read through masked loads
                if (j + 1 < job.height)
                    prefetchBytes(sourceRow(j + 1) + from[0],
                                  from[l.lanes - 1] + intptr_t{sizeof(T)} - from[0]);
                gather(srcRow, dstRow, packed.elements.data(), packed.groups.data(), l.lanes);
            } else
                storeLanes<T>(dstRow, l, [&](int32_t e) {
                    return *reinterpret_cast<const T*>(srcRow + from[e]);
                });
        }
    return true;
}

// ----------------------------------------------------------------- linear

// ((1-fx)a + fx b)(1-fy) + ((1-fx)c + fx d) fy in double precision, truncated.
// An integral axis (and the first row or column when it starts exactly on
// source pixel 0) interpolates only along the other axis: its fraction is 0
// and its second tap is not read.
template <class T>
bool decimateLinear(const DecimateJob& job, double& x, double& y) {
    const Lanes l = lanesOf(job, sizeof(T));
    const double y0 = y;
    const ScratchArray<double> xs = stepPositions(x, job.kx, job.width);
    const ScratchArray<double> ys = stepPositions(y, job.ky, job.height);
    if (!l.dst.held() || !xs.held() || !ys.held()) return false;
    auto column = [&](int32_t i) { return static_cast<int32_t>(xs[i]); };
    const ScratchArray<intptr_t> src = sourceOffsets(job, l, column);
    // The fractions of each lane's column and their complements.
    ScratchArray<double> fxs(l.lanes), gxs(l.lanes);
    if (!src.held() || !fxs.held() || !gxs.held()) return false;
    for (int32_t e = 0; e < l.lanes; ++e) {
        const int32_t i = e / l.together;
        const double fx = job.xIntegral ? 0.0 : xs[static_cast<size_t>(i)] - column(i);
        fxs[static_cast<size_t>(e)] = fx;
        gxs[static_cast<size_t>(e)] = 1.0 - fx;
    }
    const intptr_t xTap = job.xIntegral ? 0 : job.srcPixelStep;
    const intptr_t* __restrict from = src.data();
    const double* __restrict fx = fxs.data();
    const double* __restrict gx = gxs.data();
    // Packed lanes whose offsets count in int32 go through the blend rows.
    const LinearBlendEntry& blendEntry = kLinearBlendRows[sizeof(T) - 1];
    const LinearBlendRowFn blend = blendEntry.variants.pick();
    const int32_t tap = static_cast<int32_t>(xTap / intptr_t{sizeof(T)});
    const PackedLanes packed = l.packed && blend != blendEntry.variants.at[0]
                                   ? packedLanes<T>(src, tap)
                                   : PackedLanes{};
    if (packed.failed) return false;
    const LinearBlend lanes{packed.elements.data(), packed.groups.data(), fx, gx, tap, l.lanes};
    for (int32_t pass = 0; pass < l.passes; ++pass)
        for (int32_t j = 0; j < job.height; ++j) {
            const double yj = ys[static_cast<size_t>(j)];
            const int32_t iy = static_cast<int32_t>(yj);
            const bool yDirect = job.yIntegral || (j == 0 && y0 < FLT_MIN);
            const char* a = job.src + pass * l.srcPassStep + iy * job.srcRowStep;
            const char* b = yDirect ? a : a + job.srcRowStep;
            const double fy = yDirect ? 0.0 : yj - iy, gy = 1.0 - fy;
            char* dstRow = job.dst + pass * l.dstPassStep + j * job.dstRowStep;
            if (packed.used()) {
                blend(a, b, lanes, fy, gy, dstRow);
                continue;
            }
            auto at = [&](const char* row, intptr_t offset) {
                return sampleAsDouble<T>(row + offset);
            };
            storeLanes<T>(dstRow, l, [&](int32_t e) {
                const intptr_t o = from[e];
                const double v = (gx[e] * at(a, o) + fx[e] * at(a, o + xTap)) * gy +
                                 (gx[e] * at(b, o) + fx[e] * at(b, o + xTap)) * fy;
                return static_cast<T>(static_cast<int32_t>(v));
            });
        }
    return true;
}

// ------------------------------------------------------------------ cubic

// Base tap and fraction of a position: the taps are base-1 .. base+2; near
// the far edge of the available source the taps move one pixel back.
struct CubicTap {
    int32_t base;
    double t;
};
inline CubicTap cubicTap(double position, int32_t available) {
    const int32_t i = static_cast<int32_t>(position);
    const double t = position - i;
    return i >= available - 2 ? CubicTap{i - 1, t + 1.0} : CubicTap{i, t};
}

// The row kernels of packed lanes (kCubicRows, kCubicColumns): the x pass of
// the lanes from first on (those before take their tap directly), null when
// every lane does or the offsets do not count in int32.
struct CubicPasses {
    CubicRowFn row = nullptr;
    CubicColumnFn column = nullptr;
    int32_t first = 0;
    CubicLanes lanes{};
    ScratchArray<int32_t> elemOff;
    ScratchArray<ColumnGroup> groups;
    ScratchArray<double> ts;
    bool failed = false;  // the arrays could not be had
};
template <class T>
CubicPasses cubicPasses(const DecimateJob& job, const Lanes& l, const ScratchArray<intptr_t>& src,
                        const ScratchArray<CubicTap>& taps, const ScratchArray<uint8_t>& direct) {
    CubicPasses p;
    if (!l.packed) return p;
    p.column = kCubicColumns[sizeof(T) - 1].variants.pick();
    const int32_t tap = static_cast<int32_t>(job.srcPixelStep / intptr_t{sizeof(T)});
    p.first = direct[0] ? l.together : 0;
    if (job.xIntegral || p.first >= l.lanes ||
        src[src.size() - 1] / intptr_t{sizeof(T)} >= INT32_MAX - 3 * tap)
        return p;
    const int32_t count = l.lanes - p.first;
    p.ts = ScratchArray<double>(src.size());
    p.groups = ScratchArray<ColumnGroup>(count / kColumnGroup + 1);
    p.failed = !p.ts.held() || !p.groups.held() || !elementOffsets<T>(src, p.elemOff);
    if (p.failed) return p;
    p.row = kCubicRows[sizeof(T) - 1].variants.pick();
    for (int32_t e = 0; e < l.lanes; ++e) p.ts[e] = taps[e / l.together].t;
    groupColumns(p.elemOff.data() + p.first, count, 3 * tap, false, p.groups.data());
    p.lanes = {p.elemOff.data() + p.first, p.groups.data(), p.ts.data() + p.first, tap, count};
    return p;
}

// Rows are interpolated in x first, then the four row results in y; the
// result is truncated and saturated.  A direct axis (integral, or the first
// row or column starting on pixel 0) takes the tap itself.  The x pass of a
// source row is the same for every destination row that reads it: it is
// kept for the (at most four) rows in use.
template <class T>
bool decimateCubic(const DecimateJob& job, double& x, double& y) {
    const Lanes l = lanesOf(job, sizeof(T));
    const double x0 = x, y0 = y;
    const ScratchArray<double> xs = stepPositions(x, job.kx, job.width);
    const ScratchArray<double> ys = stepPositions(y, job.ky, job.height);
    const intptr_t ps = job.srcPixelStep, rs = job.srcRowStep;
    // Per lane: the tap read directly, or the first of the four taps, and t.
    ScratchArray<CubicTap> taps(job.width);
    ScratchArray<uint8_t> direct(job.width);
    if (!l.dst.held() || !xs.held() || !ys.held() || !taps.held() || !direct.held()) return false;
    for (int32_t i = 0; i < job.width; ++i) {
        const double xi = xs[static_cast<size_t>(i)];
        const bool xDirect = job.xIntegral || (i == 0 && x0 < FLT_MIN);
        const CubicTap tap = cubicTap(xi, job.srcCols);
        direct[static_cast<size_t>(i)] = xDirect;
        taps[static_cast<size_t>(i)] = xDirect ? CubicTap{static_cast<int32_t>(xi), 0.0}
                                               : CubicTap{tap.base - 1, tap.t};
    }
    const ScratchArray<intptr_t> src = sourceOffsets(
        job, l, [&](int32_t i) { return taps[static_cast<size_t>(i)].base; });
    if (!src.held()) return false;
    const CubicPasses passes = cubicPasses<T>(job, l, src, taps, direct);

    // The x pass of source rows, four slots chosen by the row's index mod 4
    // (the four rows one destination row reads are consecutive).
    ScratchArray<double> cache(4 * int64_t{l.lanes});
    if (passes.failed || !cache.held()) return false;
    int64_t cached[4];
    auto xPass = [&](const char* plane, int32_t r) -> const double* {
        double* out = cache.data() + (r & 3) * int64_t{l.lanes};
        if (cached[r & 3] == r) return out;
        cached[r & 3] = r;
        const char* row = plane + r * rs;
        const int32_t first = passes.row ? passes.first : l.lanes;
        if (passes.row) passes.row(row, passes.lanes, out + first);
        for (int32_t e = 0; e < first; ++e) {
            const int32_t i = e / l.together;
            const char* p = row + src[static_cast<size_t>(e)];
            auto at = [&](intptr_t k) { return sampleAsDouble<T>(p + k); };
            out[e] = direct[static_cast<size_t>(i)]
                         ? at(0)
                         : lagrange4(at(0), at(ps), at(2 * ps), at(3 * ps),
                                     taps[static_cast<size_t>(i)].t);
        }
        return out;
    };
    for (int32_t pass = 0; pass < l.passes; ++pass) {
        const char* plane = job.src + pass * l.srcPassStep;
        std::fill(std::begin(cached), std::end(cached), int64_t{-1} << 40);
        for (int32_t j = 0; j < job.height; ++j) {
            const double yj = ys[static_cast<size_t>(j)];
            char* dstRow = job.dst + pass * l.dstPassStep + j * job.dstRowStep;
            auto saturate = [](double v) {
                return static_cast<T>(std::clamp(static_cast<int32_t>(v), 0, Elements<T>::kMax));
            };
            if (job.yIntegral || (j == 0 && y0 < FLT_MIN)) {
                const double* h = xPass(plane, static_cast<int32_t>(yj));
                storeLanes<T>(dstRow, l, [&](int32_t e) { return saturate(h[e]); });
                continue;
            }
            const CubicTap tap = cubicTap(yj, job.srcRows);
            const double* h0 = xPass(plane, tap.base - 1);
            const double* h1 = xPass(plane, tap.base);
            const double* h2 = xPass(plane, tap.base + 1);
            const double* h3 = xPass(plane, tap.base + 2);
            if (passes.column) {
                const double* h[4] = {h0, h1, h2, h3};
                passes.column(h, tap.t, dstRow, l.lanes);
                continue;
            }
            storeLanes<T>(dstRow, l, [&](int32_t e) {
                return saturate(lagrange4(h0[e], h1[e], h2[e], h3[e], tap.t));
            });
        }
    }
    return true;
}

}  // namespace

DecimateKernel samplingKernel(int32_t depth, int32_t mode) {
    if (depth == ZAR_DEPTH_1U) return decimateNN<Bits>;
    const bool bytes = depth == ZAR_DEPTH_8U;
    if (mode == ZAR_INTER_LINEAR) return bytes ? decimateLinear<uint8_t> : decimateLinear<uint16_t>;
    if (mode == ZAR_INTER_CUBIC) return bytes ? decimateCubic<uint8_t> : decimateCubic<uint16_t>;
    return bytes ? decimateNNElements<uint8_t> : decimateNNElements<uint16_t>;
}
