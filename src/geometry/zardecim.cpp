// Decimation: shrinks the source region into the destination region by the
// rational factors xDst/xSrc and yDst/ySrc with nearest-neighbour, linear,
// cubic or area (super-sampling) interpolation.
#include <algorithm>
#include <cfloat>
#include <vector>

#include "frame/frame.h"
#include "geometry.h"
#include "geometry/decimateKernels.h"

namespace {

constexpr ReportSite kSite{"zarDecimate", "zardecim"};

// One kernel run: a destination piece and the source it samples.  Steps are
// in bytes; 1-bit images count x in bits from their bit offset.  Positions are
// measured in source pixels from the source region's top-left corner.
struct DecimateJob {
    char* dst;
    int32_t dstBit;
    intptr_t dstChannelStep, dstPixelStep, dstRowStep;
    const char* src;
    int32_t srcBit;
    intptr_t srcChannelStep, srcPixelStep, srcRowStep;
    int32_t channels, width, height;  // processed channels, piece size
    int32_t srcCols, srcRows;         // source pixels available to the image's edges
    float kx, ky;                     // source pixels per destination pixel
    bool xIntegral, yIntegral;        // the factor of that axis is a whole number
    bool planes;                      // plane-ordered images
};

// Kernels take the starting source positions of the piece's first column and
// row and leave in them the positions of the column and the row after the
// piece, so that the next piece continues the same sequence of additions.
// Positions accumulate in double precision by adding the single-precision
// factor, one addition per column (restarting at the first column on every
// row) and one per row.
using DecimateKernel = void (*)(const DecimateJob&, double& x, double& y);

// ----------------------------------------------------------- sample access

template <class T>
struct Elements {
    static constexpr int32_t kMax = T(~T(0));
    static int32_t read(const char* row, intptr_t step, int32_t, int32_t x) {
        return *reinterpret_cast<const T*>(row + x * step);
    }
    static void write(char* row, intptr_t step, int32_t, int32_t x, int32_t value) {
        *reinterpret_cast<T*>(row + x * step) = static_cast<T>(value);
    }
};

// 1-bit rows: x counts from the row's bit offset.
struct Bits {
    static constexpr int32_t kMax = 1;
    static int32_t read(const char* row, intptr_t, int32_t bitOffset, int32_t x) {
        return readBit(row, bitOffset + x);
    }
    static void write(char* row, intptr_t, int32_t bitOffset, int32_t x, int32_t value) {
        writeBit(row, bitOffset + x, value);
    }
};

// ------------------------------------------------------------ the walk

// Walks the piece channel by channel, rows top to bottom, columns left to
// right, accumulating the positions.  rowSetup(srcPlane, j, y) prepares what
// a destination row needs; value(row, i, x) gives the saturated value of
// column i.
template <class P, class RowSetup, class Value>
void walkPositions(const DecimateJob& job, double& x, double& y, RowSetup rowSetup, Value value) {
    const double x0 = x, y0 = y;
    double xEnd = x0, yEnd = y0;
    for (int32_t c = 0; c < job.channels; ++c) {
        const char* srcPlane = job.src + c * job.srcChannelStep;
        char* dstPlane = job.dst + c * job.dstChannelStep;
        double yj = y0;
        for (int32_t j = 0; j < job.height; ++j, yj += job.ky) {
            const auto row = rowSetup(srcPlane, j, yj);
            char* dstRow = dstPlane + j * job.dstRowStep;
            double xi = x0;
            for (int32_t i = 0; i < job.width; ++i, xi += job.kx)
                P::write(dstRow, job.dstPixelStep, job.dstBit, i, value(row, i, xi));
            xEnd = xi;
        }
        yEnd = yj;
    }
    x = xEnd;
    y = yEnd;
}

// ------------------------------------------------------------ lanes
//
// The 8U and 16U kernels work out what depends on the column alone once per
// call.  Pixel-ordered images run all channels of a row as one sequence of
// lanes (lane = column * channels + channel); plane-ordered ones run one
// plane after the other, a lane per column.

struct Lanes {
    int32_t passes, lanes, together;  // channel passes, lanes per row, channels per column
    intptr_t srcPassStep, dstPassStep;
    std::vector<intptr_t> dst;  // byte offset of each lane in a destination row
    bool packed;                // lanes side by side: dst[lane] = lane * value size
};
Lanes lanesOf(const DecimateJob& job, intptr_t valueSize) {
    const bool together = job.channels > 1 && !job.planes;
    Lanes l{together ? 1 : job.channels,
            job.width * (together ? job.channels : 1),
            together ? job.channels : 1,
            job.srcChannelStep,
            job.dstChannelStep,
            {},
            true};
    l.dst.resize(static_cast<size_t>(l.lanes));
    for (int32_t i = 0; i < job.width; ++i)
        for (int32_t c = 0; c < l.together; ++c)
            l.dst[static_cast<size_t>(i * l.together + c)] = i * job.dstPixelStep +
                                                             c * job.dstChannelStep;
    for (int32_t e = 0; e < l.lanes; ++e)
        l.packed = l.packed && l.dst[static_cast<size_t>(e)] == e * valueSize;
    return l;
}
// Stores value(lane) for every lane of a destination row.
template <class T, class Value>
inline void storeLanes(char* dstRow, const Lanes& l, Value value) {
    if (l.packed) {
        T* __restrict out = reinterpret_cast<T*>(dstRow);
        for (int32_t e = 0; e < l.lanes; ++e) out[e] = value(e);
        return;
    }
    for (int32_t e = 0; e < l.lanes; ++e)
        *reinterpret_cast<T*>(dstRow + l.dst[static_cast<size_t>(e)]) = value(e);
}
// Byte offsets of each lane's source pixel, given the source column of each
// destination column.
template <class Column>
std::vector<intptr_t> sourceOffsets(const DecimateJob& job, const Lanes& l, Column column) {
    std::vector<intptr_t> offsets(static_cast<size_t>(l.lanes));
    for (int32_t i = 0; i < job.width; ++i)
        for (int32_t c = 0; c < l.together; ++c)
            offsets[static_cast<size_t>(i * l.together + c)] = column(i) * job.srcPixelStep +
                                                               c * job.srcChannelStep;
    return offsets;
}

// The positions of n steps from p, one addition each; p is left after them.
std::vector<double> stepPositions(double& p, float k, int32_t n) {
    std::vector<double> positions(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i, p += k) positions[static_cast<size_t>(i)] = p;
    return positions;
}

// ------------------------------------------------------ nearest neighbour

// The source pixel at the truncated position.  Pixel-ordered images copy all
// channels of a pixel together, working out each position once.
template <class P>
void decimateNN(const DecimateJob& job, double& x, double& y) {
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
        return;
    }
    walkPositions<P>(
        job, x, y,
        [&](const char* plane, int32_t, double yj) {
            return plane + static_cast<int32_t>(yj) * job.srcRowStep;
        },
        [&](const char* row, int32_t, double xi) {
            return P::read(row, job.srcPixelStep, job.srcBit, static_cast<int32_t>(xi));
        });
}

// 8U and 16U: the source column of every lane is worked out once per call.
template <class T>
void decimateNNElements(const DecimateJob& job, double& x, double& y) {
    const Lanes l = lanesOf(job, sizeof(T));
    const std::vector<double> xs = stepPositions(x, job.kx, job.width);
    const std::vector<double> ys = stepPositions(y, job.ky, job.height);
    const std::vector<intptr_t> src = sourceOffsets(
        job, l, [&](int32_t i) { return static_cast<int32_t>(xs[static_cast<size_t>(i)]); });
    const intptr_t* __restrict from = src.data();
    for (int32_t pass = 0; pass < l.passes; ++pass)
        for (int32_t j = 0; j < job.height; ++j) {
            const char* srcRow = job.src + pass * l.srcPassStep +
                                 static_cast<int32_t>(ys[static_cast<size_t>(j)]) * job.srcRowStep;
            char* dstRow = job.dst + pass * l.dstPassStep + j * job.dstRowStep;
            storeLanes<T>(dstRow, l,
                          [&](int32_t e) { return *reinterpret_cast<const T*>(srcRow + from[e]); });
        }
}

// ----------------------------------------------------------------- linear

// ((1-fx)a + fx b)(1-fy) + ((1-fx)c + fx d) fy in double precision, truncated.
// An integral axis (and the first row or column when it starts exactly on
// source pixel 0) interpolates only along the other axis: its fraction is 0
// and its second tap is not read.
template <class T>
void decimateLinear(const DecimateJob& job, double& x, double& y) {
    const Lanes l = lanesOf(job, sizeof(T));
    const double y0 = y;
    const std::vector<double> xs = stepPositions(x, job.kx, job.width);
    const std::vector<double> ys = stepPositions(y, job.ky, job.height);
    auto column = [&](int32_t i) { return static_cast<int32_t>(xs[static_cast<size_t>(i)]); };
    const std::vector<intptr_t> src = sourceOffsets(job, l, column);
    // The fractions of each lane's column and their complements.
    std::vector<double> fxs(static_cast<size_t>(l.lanes)), gxs(fxs.size());
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
    for (int32_t pass = 0; pass < l.passes; ++pass)
        for (int32_t j = 0; j < job.height; ++j) {
            const double yj = ys[static_cast<size_t>(j)];
            const int32_t iy = static_cast<int32_t>(yj);
            const bool yDirect = job.yIntegral || (j == 0 && y0 < FLT_MIN);
            const char* a = job.src + pass * l.srcPassStep + iy * job.srcRowStep;
            const char* b = yDirect ? a : a + job.srcRowStep;
            const double fy = yDirect ? 0.0 : yj - iy, gy = 1.0 - fy;
            char* dstRow = job.dst + pass * l.dstPassStep + j * job.dstRowStep;
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
}

// ------------------------------------------------------------------ cubic

// Four-point Lagrange polynomial through a, b, c, d (at -1, 0, 1, 2) at t,
// evaluated in double precision in the power form with 1/6 taken as the
// single-precision constant.
inline double lagrange4(double a, double b, double c, double d, double t) {
    constexpr double kSixth = static_cast<double>(1.0f / 6.0f);
    const double c1 = -2.0 * a - 3.0 * b + 6.0 * c - d;
    const double c2 = 3.0 * a - 6.0 * b + 3.0 * c;
    const double c3 = -a + 3.0 * b - 3.0 * c + d;
    return (6.0 * b + t * c1 + t * t * c2 + t * t * t * c3) * kSixth;
}

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

// Rows are interpolated in x first, then the four row results in y; the
// result is truncated and saturated.  A direct axis (integral, or the first
// row or column starting on pixel 0) takes the tap itself.  The x pass of a
// source row is the same for every destination row that reads it: it is
// kept for the (at most four) rows in use.
template <class T>
void decimateCubic(const DecimateJob& job, double& x, double& y) {
    const Lanes l = lanesOf(job, sizeof(T));
    const double x0 = x, y0 = y;
    const std::vector<double> xs = stepPositions(x, job.kx, job.width);
    const std::vector<double> ys = stepPositions(y, job.ky, job.height);
    const intptr_t ps = job.srcPixelStep, rs = job.srcRowStep;
    // Per lane: the tap read directly, or the first of the four taps, and t.
    std::vector<CubicTap> taps(static_cast<size_t>(job.width));
    std::vector<bool> direct(static_cast<size_t>(job.width));
    for (int32_t i = 0; i < job.width; ++i) {
        const double xi = xs[static_cast<size_t>(i)];
        const bool xDirect = job.xIntegral || (i == 0 && x0 < FLT_MIN);
        const CubicTap tap = cubicTap(xi, job.srcCols);
        direct[static_cast<size_t>(i)] = xDirect;
        taps[static_cast<size_t>(i)] = xDirect ? CubicTap{static_cast<int32_t>(xi), 0.0}
                                               : CubicTap{tap.base - 1, tap.t};
    }
    const std::vector<intptr_t> src = sourceOffsets(
        job, l, [&](int32_t i) { return taps[static_cast<size_t>(i)].base; });

    // The x pass of source rows, four slots chosen by the row's index mod 4
    // (the four rows one destination row reads are consecutive).
    std::vector<double> cache(4 * static_cast<size_t>(l.lanes));
    int64_t cached[4];
    auto xPass = [&](const char* plane, int32_t r) -> const double* {
        double* out = cache.data() + (r & 3) * static_cast<size_t>(l.lanes);
        if (cached[r & 3] == r) return out;
        cached[r & 3] = r;
        const char* row = plane + r * rs;
        for (int32_t e = 0; e < l.lanes; ++e) {
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
            storeLanes<T>(dstRow, l, [&](int32_t e) {
                return saturate(lagrange4(h0[e], h1[e], h2[e], h3[e], tap.t));
            });
        }
    }
}

// ------------------------------------------------------------------ super

// The source box [start, start + k) of one axis, moved back to end at the
// edge of the available source when its truncated end reaches it.  Whole
// pixels weigh 1, the first and last by their covered fraction; an edge
// pixel covered by no more than 0.0001 is left out.
struct Box {
    int32_t first, last;  // inclusive range of pixels weighing 1
    int32_t head, tail;   // partial edge pixels, or -1 when left out
    double headWeight, tailWeight;
};
inline Box superBox(double start, float k, int32_t available) {
    double end = start + k;
    if (static_cast<int32_t>(end) >= available) {
        start = available - static_cast<double>(k);
        end = available;
    }
    const int32_t s = static_cast<int32_t>(start), e = static_cast<int32_t>(end);
    Box box{s + 1, e - 1, s, e, 1.0 - (start - s), end - e};
    if (box.headWeight <= 0.0001) box.head = -1;
    if (box.tailWeight <= 0.0001) box.tail = -1;
    return box;
}

// sum * 1/(kx ky) + 0.5, truncated: the rounded mean of the box.  Each row
// of the box is summed (head, whole pixels, tail), then the rows likewise.
// A bit is set when sum / (kx ky) + 0.5 reaches 1.
template <class P>
void decimateSuper(const DecimateJob& job, double& x, double& y) {
    struct Rows {
        const char* plane;
        Box box;
    };
    const double area = static_cast<double>(job.kx) * static_cast<double>(job.ky);
    const double scale = 1.0 / area;
    const intptr_t ps = job.srcPixelStep;
    const int32_t bit = job.srcBit;
    walkPositions<P>(
        job, x, y,
        [&](const char* plane, int32_t, double yj) {
            return Rows{plane, superBox(yj, job.ky, job.srcRows)};
        },
        [&](const Rows& rows, int32_t, double xi) {
            const Box cols = superBox(xi, job.kx, job.srcCols);
            auto rowSum = [&](int32_t r) {
                const char* row = rows.plane + r * job.srcRowStep;
                double s = 0.0;
                if (cols.head >= 0) s += cols.headWeight * P::read(row, ps, bit, cols.head);
                for (int32_t k = cols.first; k <= cols.last; ++k) s += P::read(row, ps, bit, k);
                if (cols.tail >= 0) s += cols.tailWeight * P::read(row, ps, bit, cols.tail);
                return s;
            };
            double sum = 0.0;
            if (rows.box.head >= 0) sum += rows.box.headWeight * rowSum(rows.box.head);
            for (int32_t r = rows.box.first; r <= rows.box.last; ++r) sum += rowSum(r);
            if (rows.box.tail >= 0) sum += rows.box.tailWeight * rowSum(rows.box.tail);
            if constexpr (P::kMax == 1)
                return sum / area + 0.5 >= 1.0 ? 1 : 0;
            else
                return std::min(static_cast<int32_t>(sum * scale + 0.5), P::kMax);
        });
}

// ------------------------------------------- super-sampling 8U and 16U
//
// The boxes of the columns are the same on every row, so they are worked
// out once per call.  The per-pixel arithmetic is unchanged: each lane
// accumulates its rows' sums in the order head, whole rows, tail.

// A box whose pixels all weigh 1 (a partial pixel, if any, is left out): its
// sum is then an exact integer.
bool wholeBox(const Box& box) { return (box.head < 0 || box.headWeight == 1.0) && box.tail < 0; }
int32_t boxLow(const Box& box) { return box.head >= 0 ? box.head : box.first; }

// Integer box sums: every column box has the same count n of whole pixels
// starting at the lane's offset.  sums[lane] += the box's row sum on row (=
// on the box's first row).
template <class T, int N>
void addWholeRow(const char* row, const intptr_t* offsets, int32_t lanes, int32_t n, intptr_t ps,
                 bool first, uint32_t* __restrict sums) {
    const int32_t count = N > 0 ? N : n;
    for (int32_t e = 0; e < lanes; ++e) {
        const char* p = row + offsets[e];
        uint32_t s = 0;
        for (int32_t t = 0; t < count; ++t) s += *reinterpret_cast<const T*>(p + t * ps);
        sums[e] = (first ? 0 : sums[e]) + s;
    }
}

// The same sums when the boxes tile the row evenly from its start: lane
// (column i, channel c) of a row of C channels per pixel sums the N pixels
// from column i * N.  Contiguous loads the compiler can vectorise.
template <class T, int N, int C>
void addRegularRow(const char* row, const intptr_t*, int32_t lanes, int32_t, intptr_t, bool first,
                   uint32_t* __restrict sums) {
    const T* __restrict p = reinterpret_cast<const T*>(row);
    const int32_t columns = lanes / C;
    for (int32_t i = 0; i < columns; ++i)
        for (int32_t c = 0; c < C; ++c) {
            uint32_t s = 0;
            for (int32_t t = 0; t < N; ++t) s += p[(i * N + t) * C + c];
            sums[i * C + c] = (first ? 0 : sums[i * C + c]) + s;
        }
}

using WholeRowAdder = void (*)(const char*, const intptr_t*, int32_t, int32_t, intptr_t, bool,
                               uint32_t*);

// The channel count c (1, 3 or 4) when two-pixel boxes tile a row of c packed
// channels evenly from its start, else 0.
template <class T>
int32_t regularChannels(const DecimateJob& job, const Lanes& l,
                        const std::vector<intptr_t>& offsets, int32_t n) {
    const int32_t c = l.together;
    bool regular = n == 2 && offsets[0] == 0 && job.srcPixelStep == c * intptr_t{sizeof(T)} &&
                   (c == 1 || job.srcChannelStep == intptr_t{sizeof(T)});
    for (int32_t e = 0; regular && e < l.lanes; ++e)
        regular = offsets[static_cast<size_t>(e)] ==
                  ((e / c) * n * c + e % c) * intptr_t{sizeof(T)};
    return regular && (c == 1 || c == 3 || c == 4) ? c : 0;
}

// The adder for the column boxes: a regular one for two-pixel boxes tiling
// a row of 1, 3 or 4 packed channels, else one reading the lane offsets.
template <class T>
WholeRowAdder wholeRowAdder(int32_t regular, int32_t n) {
    if (regular == 1) return addRegularRow<T, 2, 1>;
    if (regular == 3) return addRegularRow<T, 2, 3>;
    if (regular == 4) return addRegularRow<T, 2, 4>;
    return n == 2 ? addWholeRow<T, 2> : n == 3 ? addWholeRow<T, 3> : addWholeRow<T, 0>;
}

template <class T>
void decimateSuperElements(const DecimateJob& job, double& x, double& y) {
    constexpr int32_t kMax = Elements<T>::kMax;
    const double scale = 1.0 / (static_cast<double>(job.kx) * static_cast<double>(job.ky));
    const intptr_t ps = job.srcPixelStep, rs = job.srcRowStep;
    const Lanes layout = lanesOf(job, sizeof(T));
    const std::vector<double> xs = stepPositions(x, job.kx, job.width);
    double yEnd = y;
    const std::vector<double> ys = stepPositions(yEnd, job.ky, job.height);
    y = yEnd;

    std::vector<Box> cols(static_cast<size_t>(job.width));
    bool wholeCols = true;
    int32_t n = -1;  // the common count of whole pixels, or -1
    for (int32_t i = 0; i < job.width; ++i) {
        const Box box = superBox(xs[static_cast<size_t>(i)], job.kx, job.srcCols);
        cols[static_cast<size_t>(i)] = box;
        const int32_t count = box.last + 1 - boxLow(box);
        wholeCols = wholeCols && wholeBox(box) && (i == 0 || count == n);
        n = count;
    }
    // Lane offsets (bytes) of the first whole pixel for the integer sums.
    const std::vector<intptr_t> offsets = sourceOffsets(
        job, layout, [&](int32_t i) { return boxLow(cols[static_cast<size_t>(i)]); });

    // Integer sums when they stay below 2^31 (a box holds at most ky + 2
    // rows), and the rounded mean of every possible sum when there are few.
    const int32_t rowLimit = static_cast<int32_t>(job.ky) + 2;
    const int64_t maxSum = int64_t{std::max(n, 0)} * rowLimit * kMax;
    const bool integerSums = wholeCols && n >= 1 && maxSum < (int64_t{1} << 31);
    std::vector<T> means;
    if (integerSums && maxSum < 1 << 12) {
        means.resize(static_cast<size_t>(maxSum + 1));
        for (size_t s = 0; s < means.size(); ++s)
            means[s] = static_cast<T>(
                std::min(static_cast<int32_t>(static_cast<double>(s) * scale + 0.5), kMax));
    }
    auto meanOf = [&](double sum) {
        return static_cast<T>(std::min(static_cast<int32_t>(sum * scale + 0.5), kMax));
    };

    std::vector<uint32_t> wholeSums(static_cast<size_t>(layout.lanes));
    const int32_t regular = integerSums ? regularChannels<T>(job, layout, offsets, n) : 0;
    const WholeRowAdder addRow = integerSums ? wholeRowAdder<T>(regular, n) : nullptr;
    // 8U rows halved both ways when the rounded mean of a 2x2 box is
    // (sum + 2) >> 2 (checked against the table of means).
    RowHalver halve = nullptr;
    if (sizeof(T) == 1 && layout.packed && means.size() > 4 * 255) {
        halve = rowHalverFor(regular, isaLevel());
        for (int32_t sum = 0; halve && sum <= 4 * 255; ++sum)
            if (means[static_cast<size_t>(sum)] != (sum + 2) >> 2) halve = nullptr;
    }
    std::vector<double> sums(static_cast<size_t>(layout.lanes));
    for (int32_t pass = 0; pass < layout.passes; ++pass) {
        const char* plane = job.src + pass * layout.srcPassStep;
        char* dstPlane = job.dst + pass * layout.dstPassStep;
        for (int32_t j = 0; j < job.height; ++j) {
            const Box rows = superBox(ys[static_cast<size_t>(j)], job.ky, job.srcRows);
            char* dstRow = dstPlane + j * job.dstRowStep;
            auto store = [&](auto value) { storeLanes<T>(dstRow, layout, value); };
            if (halve && wholeBox(rows) && rows.last == boxLow(rows) + 1) {
                const char* r0 = plane + boxLow(rows) * rs;
                halve(reinterpret_cast<const uint8_t*>(r0),
                      reinterpret_cast<const uint8_t*>(r0 + rs), reinterpret_cast<uint8_t*>(dstRow),
                      layout.lanes);
                continue;
            }
            if (integerSums && wholeBox(rows) && rows.last + 1 - boxLow(rows) <= rowLimit) {
                const uint32_t* __restrict acc = wholeSums.data();
                for (int32_t r = boxLow(rows); r <= rows.last; ++r)
                    addRow(plane + r * rs, offsets.data(), layout.lanes, n, ps, r == boxLow(rows),
                           wholeSums.data());
                if (!means.empty()) {
                    const T* __restrict mean = means.data();
                    store([&](int32_t e) { return mean[acc[e]]; });
                } else
                    store([&](int32_t e) { return meanOf(static_cast<double>(acc[e])); });
                continue;
            }
            // Weighted boxes: row sums in double, exactly as the rule orders them.
            std::fill(sums.begin(), sums.end(), 0.0);
            auto addWeightedRow = [&](int32_t r, double weight, bool weighted) {
                const char* row = plane + r * rs;
                for (int32_t i = 0; i < job.width; ++i) {
                    const Box& box = cols[static_cast<size_t>(i)];
                    for (int32_t c = 0; c < layout.together; ++c) {
                        const char* p = row + c * job.srcChannelStep;
                        auto at = [&](int32_t k) { return sampleAsDouble<T>(p + k * ps); };
                        double s = 0.0;
                        if (box.head >= 0) s += box.headWeight * at(box.head);
                        for (int32_t k = box.first; k <= box.last; ++k) s += at(k);
                        if (box.tail >= 0) s += box.tailWeight * at(box.tail);
                        double& sum = sums[static_cast<size_t>(i * layout.together + c)];
                        sum += weighted ? weight * s : s;
                    }
                }
            };
            if (rows.head >= 0) addWeightedRow(rows.head, rows.headWeight, true);
            for (int32_t r = rows.first; r <= rows.last; ++r) addWeightedRow(r, 1.0, false);
            if (rows.tail >= 0) addWeightedRow(rows.tail, rows.tailWeight, true);
            store([&](int32_t e) { return meanOf(sums[static_cast<size_t>(e)]); });
        }
    }
}

// Kernels by depth (1U, 8U, 16U) and effective mode.  1-bit images are not
// interpolated in LINEAR and CUBIC: they copy bits.
constexpr DecimateKernel kKernels[3][4] = {
    {decimateNN<Bits>, decimateNN<Bits>, decimateNN<Bits>, decimateSuper<Bits>},
    {decimateNNElements<uint8_t>, decimateLinear<uint8_t>, decimateCubic<uint8_t>,
     decimateSuperElements<uint8_t>},
    {decimateNNElements<uint16_t>, decimateLinear<uint16_t>, decimateCubic<uint16_t>,
     decimateSuperElements<uint16_t>},
};

int32_t depthIndex(int32_t depth) {
    return depth == ZAR_DEPTH_1U ? 0 : depth == ZAR_DEPTH_8U ? 1 : 2;
}

// ------------------------------------------------------------------ checks

// The argument checks in their order; each failure is reported and the checks
// go on.  False when the operation must not go on.
bool checkArguments(const ImageHeader* src, const ImageHeader* dst, int32_t xDst, int32_t xSrc,
                    int32_t yDst, int32_t ySrc, int32_t interpolate) {
    if (ZarStatus s = validateHeader(src)) {
        report(kSite, s, "Incorrect Image", 72);
        return false;
    }
    if (ZarStatus s = validateHeader(dst)) {
        report(kSite, s, "Incorrect Image", 73);
        return false;
    }
    if (src == dst) report(kSite, STATUS_BAD_ARG, "srcImage == dstImage", 74);
    if (src->depth != dst->depth)
        report(kSite, STATUS_BAD_ARG, "srcImage->depth != dstImage->depth", 75);
    if (src->origin != dst->origin)
        report(kSite, STATUS_BAD_ARG, "srcImage->origin != dstImage->origin", 76);
    if (src->dataOrder != dst->dataOrder)
        report(kSite, STATUS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", 77);
    if (src->roi && src->roi->coi > 0 && dst->nChannels > 1) {
        if (dst->roi && dst->roi->coi == 0)
            report(kSite, STATUS_BAD_ARG, "srcImage->roi->coi > 0 && dstImage->roi->coi == 0", 80);
        else if (!dst->roi)
            report(kSite, STATUS_BAD_ARG, "srcImage->roi->coi > 0 && dstImage->roi == ((void *)0)",
                   83);
    }
    if (dst->roi && dst->roi->coi > 0 && src->nChannels > 1) {
        if (src->roi && src->roi->coi == 0)
            report(kSite, STATUS_BAD_ARG, "dstImage->roi->coi > 0 && srcImage->roi->coi == 0", 88);
        else if (!src->roi)
            report(kSite, STATUS_BAD_ARG, "dstImage->roi->coi > 0 && srcImage->roi == ((void *)0)",
                   91);
    }
    if (interpolate < ZAR_INTER_NN || interpolate > ZAR_INTER_SUPER)
        report(kSite, STATUS_BAD_ARG,
               "interpolate != ZAR_INTER_NN, ZAR_INTER_LINEAR, ZAR_INTER_CUBIC or "
               "ZAR_INTER_SUPER",
               100);
    if (xDst < 1) report(kSite, STATUS_BAD_ARG, "xDst <= 0", 105);
    if (xSrc < 1) report(kSite, STATUS_BAD_ARG, "xSrc <= 0", 106);
    if (yDst < 1) report(kSite, STATUS_BAD_ARG, "yDst <= 0", 107);
    if (ySrc < 1) report(kSite, STATUS_BAD_ARG, "ySrc <= 0", 108);
    if (xDst > xSrc) report(kSite, STATUS_BAD_ARG, "xDst > xSrc", 110);
    if (yDst > ySrc) report(kSite, STATUS_BAD_ARG, "yDst > ySrc", 111);
    // The status word is not cleared on entry: an earlier failure stops us too.
    if (zarGetStatus() < 0) return false;
    // Only 1U, 8U and 16U have kernels; other depths touch no pixel.
    if (src->depth != ZAR_DEPTH_1U && src->depth != ZAR_DEPTH_8U && src->depth != ZAR_DEPTH_16U) {
        report(kSite, STATUS_BAD_ARG,
               "srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && "
               "srcImage->depth != ZAR_DEPTH_16U",
               __LINE__);
        return false;
    }
    return true;
}

// The mode actually run, decided on the source image before any pixel is touched.
int32_t effectiveMode(const ImageHeader* src, int32_t xDst, int32_t xSrc, int32_t yDst,
                      int32_t ySrc, int32_t mode) {
    const bool xIntegral = xSrc % xDst == 0, yIntegral = ySrc % yDst == 0;
    const int32_t roiWidth = src->roi ? src->roi->width : src->width;
    const int32_t roiHeight = src->roi ? src->roi->height : src->height;
    if (src->width < 4 || src->height < 4) return ZAR_INTER_NN;
    if (mode != ZAR_INTER_SUPER && xIntegral && yIntegral) return ZAR_INTER_NN;
    if (int64_t{xDst} * roiWidth / xSrc == 0 || int64_t{yDst} * roiHeight / ySrc == 0)
        return ZAR_INTER_NN;
    // A tiled source is read in blocks no larger than a tile: a box wider or
    // higher than a tile is sampled instead.
    if (src->tileInfo && mode == ZAR_INTER_SUPER &&
        ((xSrc + xDst - 1) / xDst > src->tileInfo->width ||
         (ySrc + yDst - 1) / yDst > src->tileInfo->height))
        return ZAR_INTER_NN;
    return mode;
}

// Processed channels: the channel of interest alone, else all (an alpha
// channel counts as an ordinary one).
int32_t processedChannels(const ImageHeader* image) {
    return image->roi && image->roi->coi > 0 ? 1 : image->nChannels;
}

struct Side {
    char* start;
    int32_t bit;
    intptr_t channelStep, pixelStep, rowStep;
};
// Where the region of a plain image (or stand-in) starts, and its steps.
Side sideOf(const ImageHeader* image) {
    const RoiOrigin origin = getRoiOrigin(image, firstChannel(image));
    const int32_t value = bytesPerValue(image->depth);
    const bool planes = image->dataOrder == ZAR_DATA_ORDER_PLANE;
    return {origin.address, origin.bitOffset,
            planes ? intptr_t{image->widthStep} * image->height : value,
            planes ? value : intptr_t{value} * image->nChannels, image->widthStep};
}

// ------------------------------------------------------- tiled sources

// A run of consecutive positions, starting at p and adding k, whose source
// pixels (truncated position plus the region offset) lie in the same source
// tile as the first one; at most n positions.  The additions are the kernels'
// own, so the run ends exactly where their positions leave the tile.
struct SourceRun {
    int32_t count;
    int32_t first, last;  // truncated positions of the first and last
};
SourceRun sourceRun(double p, float k, int32_t n, int32_t offset, int32_t tileSize) {
    const int32_t first = static_cast<int32_t>(p);
    const int32_t tile = (first + offset) / tileSize;
    SourceRun run{0, first, first};
    for (; run.count < n; ++run.count, p += k) {
        const int32_t i = static_cast<int32_t>(p);
        if ((i + offset) / tileSize != tile) break;
        run.last = i;
    }
    return run;
}

// Inclusive range of source pixels (image coordinates) that the kernels read
// for a run: the sampled pixels, and for the interpolating modes the taps
// before (cubic, also moved back at the far edge) and after them (up to a
// whole box beyond for super-sampling), inside the image.
struct Span {
    int32_t from, to;
};
Span neededSpan(const SourceRun& run, int32_t offset, int32_t mode, float k, int32_t size) {
    int32_t from = run.first + offset, to = run.last + offset;
    if (mode != ZAR_INTER_NN) {
        from -= 2;
        to += static_cast<int32_t>(k) + 3;
    }
    return {std::max(from, 0), std::min(to, size - 1)};
}

// The source pixels of one kernel call from a tiled source: the tile itself
// when the block lies inside one tile (got with ZAR_TILE_READ, handed back
// with ZAR_TILE_RELEASE), else a copy assembled by the region transfer engine.
class SourceBlock {
  public:
    explicit SourceBlock(ImageHeader* image) : image_(image) {}
    SourceBlock(const SourceBlock&) = delete;
    SourceBlock& operator=(const SourceBlock&) = delete;
    ~SourceBlock() {
        if (tileColumn_ >= 0) {
            image_->tileInfo->tileData = tile_;
            image_->tileInfo->callBack(image_, tileColumn_, tileRow_, ZAR_TILE_RELEASE);
        }
        freeRegionCopy(copy_);
    }
    // False when the source's callback hands out no tile data.
    bool take(const Span& xs, const Span& ys) {
        TileInfo* info = image_->tileInfo;
        const int32_t tx = xs.from / info->width, ty = ys.from / info->height;
        if (xs.to / info->width == tx && ys.to / info->height == ty) {
            info->callBack(image_, tx, ty, ZAR_TILE_READ);
            if (!info->tileData) return false;
            data = tile_ = info->tileData;
            tileColumn_ = tx;
            tileRow_ = ty;
            x0 = tx * info->width;
            y0 = ty * info->height;
            stride = tileWidthStep(image_);
            height = info->height;
            return true;
        }
        copy_ = copyRegionWithBorder(image_, xs.from, ys.from, xs.to - xs.from + 1,
                                     ys.to - ys.from + 1, &stride);
        if (!copy_) return false;
        data = copy_;
        x0 = xs.from;
        y0 = ys.from;
        height = ys.to - ys.from + 1;
        return true;
    }

    const char* data = nullptr;
    int32_t x0 = 0, y0 = 0;  // image coordinates of the block's first pixel
    int32_t stride = 0, height = 0;

  private:
    ImageHeader* image_;
    char* tile_ = nullptr;
    char* copy_ = nullptr;
    int32_t tileColumn_ = -1, tileRow_ = -1;
};

// Points the job's source at the region origin (roiX, roiY) inside a block;
// the origin may lie outside the block, whose pixels are all the job reads.
void pointAtBlock(DecimateJob& job, const ImageHeader* image, const SourceBlock& block,
                  int32_t roiX, int32_t roiY) {
    const intptr_t value = image->depth == ZAR_DEPTH_1U ? 0 : bytesPerValue(image->depth);
    const bool planes = image->dataOrder == ZAR_DATA_ORDER_PLANE;
    job.srcRowStep = block.stride;
    job.srcPixelStep = planes ? value : value * image->nChannels;
    job.srcChannelStep = planes ? intptr_t{block.stride} * block.height : value;
    const intptr_t offset = firstChannel(image) * job.srcChannelStep +
                            intptr_t{roiY - block.y0} * block.stride;
    if (image->depth == ZAR_DEPTH_1U) {
        job.src = block.data + offset;
        job.srcBit = roiX - block.x0;
    } else {
        job.src = block.data + offset + intptr_t{roiX - block.x0} * job.srcPixelStep;
        job.srcBit = 0;
    }
}

}  // namespace

void ZAR_STDCALL zarDecimate(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                             int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate) {
    if (!checkArguments(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate)) return;

    const Rect srcRect = getRoiRect(srcImage), dstRect = getRoiRect(dstImage);
    if (srcRect.width < 1 || srcRect.height < 1) return;
    const int32_t width = static_cast<int32_t>(
        std::min<int64_t>(dstRect.width, int64_t{srcRect.width} * xDst / xSrc));
    const int32_t height = static_cast<int32_t>(
        std::min<int64_t>(dstRect.height, int64_t{srcRect.height} * yDst / ySrc));
    if (width < 1 || height < 1) return;

    const int32_t mode = effectiveMode(srcImage, xDst, xSrc, yDst, ySrc, interpolate);
    const bool xIntegral = xSrc % xDst == 0, yIntegral = ySrc % yDst == 0;
    // Nearest neighbour samples the middle of each source span on a
    // fractional axis; 1-bit LINEAR and CUBIC copy bits from position 0.
    const double xStart = mode == ZAR_INTER_NN && !xIntegral ? 0.5 : 0.0;
    const double yStart = mode == ZAR_INTER_NN && !yIntegral ? 0.5 : 0.0;

    const int32_t roiX = srcImage->roi ? srcImage->roi->xOffset : 0;
    const int32_t roiY = srcImage->roi ? srcImage->roi->yOffset : 0;
    DecimateJob job{};
    if (!srcImage->tileInfo) {
        const Side src = sideOf(srcImage);
        job.src = src.start;
        job.srcBit = src.bit;
        job.srcChannelStep = src.channelStep;
        job.srcPixelStep = src.pixelStep;
        job.srcRowStep = src.rowStep;
    }
    job.channels = std::min(processedChannels(srcImage), processedChannels(dstImage));
    job.srcCols = srcImage->width - roiX;
    job.srcRows = srcImage->height - roiY;
    job.kx = static_cast<float>(static_cast<double>(xSrc) / xDst);
    job.ky = static_cast<float>(static_cast<double>(ySrc) / yDst);
    job.xIntegral = xIntegral;
    job.yIntegral = yIntegral;
    job.planes = srcImage->dataOrder == ZAR_DATA_ORDER_PLANE;
    const DecimateKernel kernel = kKernels[depthIndex(srcImage->depth)][mode];
    const bool bits = srcImage->depth == ZAR_DEPTH_1U;

    // One destination piece, positions in and out.  A tiled source is read in
    // blocks: the piece is cut where the source positions pass from one
    // source tile to the next, and each part reads the block its positions
    // need; the positions carry from part to part as from tile to tile, so
    // the pixels are those of a plain source.  False when a source tile is
    // refused.
    auto run = [&](const ImageHeader* dstPlain, int32_t pieceWidth, int32_t pieceHeight, double& x,
                   double& y) {
        const Side dst = sideOf(dstPlain);
        job.dstChannelStep = dst.channelStep;
        job.dstPixelStep = dst.pixelStep;
        job.dstRowStep = dst.rowStep;
        if (!srcImage->tileInfo) {
            job.dst = dst.start;
            job.dstBit = dst.bit;
            job.width = pieceWidth;
            job.height = pieceHeight;
            kernel(job, x, y);
            return true;
        }
        const TileInfo* tiles = srcImage->tileInfo;
        const double x0 = x;
        double rowY = y, xAfter = x;
        for (int32_t j = 0; j < pieceHeight;) {
            const SourceRun rows = sourceRun(rowY, job.ky, pieceHeight - j, roiY, tiles->height);
            const Span ys = neededSpan(rows, roiY, mode, job.ky, srcImage->height);
            double colX = x0, runY = rowY;
            for (int32_t i = 0; i < pieceWidth;) {
                const SourceRun cols = sourceRun(colX, job.kx, pieceWidth - i, roiX, tiles->width);
                SourceBlock block(srcImage);
                if (!block.take(neededSpan(cols, roiX, mode, job.kx, srcImage->width), ys))
                    return false;
                pointAtBlock(job, srcImage, block, roiX, roiY);
                job.dst = dst.start + j * dst.rowStep + (bits ? 0 : i * dst.pixelStep);
                job.dstBit = dst.bit + (bits ? i : 0);
                job.width = cols.count;
                job.height = rows.count;
                runY = rowY;
                kernel(job, colX, runY);
                i += cols.count;
            }
            xAfter = colX;
            rowY = runY;
            j += rows.count;
        }
        x = xAfter;
        y = rowY;
        return true;
    };
    auto reportSourceCrash = [] {
        report(kSite, STATUS_INTERNAL, "srcImage->tileInfo->callBack crash", 342);
    };

    if (!dstImage->tileInfo) {
        double x = xStart, y = yStart;
        if (!run(dstImage, width, height, x, y)) reportSourceCrash();
    } else {
        // Every tile row starts at the initial x and at the y the previous
        // tile row reached; x carries from tile to tile within a row.
        double x = xStart, rowY = yStart, nextY = yStart;
        const Rect region{dstRect.x, dstRect.y, width, height};
        const TileWalk walk = walkTilesForWriting(dstImage, region, [&](TilePiece& piece) {
            if (piece.firstInRow) {
                x = xStart;
                rowY = nextY;
            }
            ImageHeader tile = tileAsImage(dstImage, piece.tileData, &piece.roi);
            double y = rowY;
            const bool done = run(&tile, piece.area.width, piece.area.height, x, y);
            nextY = y;
            return done;
        });
        if (walk == TileWalk::Refused)
            report(kSite, STATUS_INTERNAL, "dstImage->tileInfo->callBack crash", 347);
        else if (walk == TileWalk::Stopped)
            reportSourceCrash();
    }
}
