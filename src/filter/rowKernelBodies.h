// The bodies of the fixed filters' row kernels, compiled once per
// instruction-set level (rowKernels.cpp, rowKernels_avx2.cpp,
// rowKernels_avx512.cpp).  Each filter is computed in a factored form: a
// horizontal step applied once to every source row, then a vertical
// combination of the last few horizontal rows per result row.  A loader widens
// a row to 32-bit integers or single-precision floats, a store narrows the
// result row into the destination depth.  Everything here has internal
// linkage, so that each file keeps its own copy built for its own level.
#pragma once

#include <climits>
#include <cmath>
#include <type_traits>

#include "filter/filter.h"
#include "frame/rounding.h"

namespace {

// Integer rows accumulate in 32-bit integers; float rows are combined in double
// precision (the floating-point unit's) and rounded to single precision when
// stored in a row.
template <class W>
using Acc = std::conditional_t<std::is_same_v<W, float>, double, int32_t>;

// ------------------------------------------------------ horizontal steps

// d[i] = v[i] - v[i + 2]: left minus right.
struct HorizontalDifference {
    static constexpr int32_t parts = 1;
    template <class W, class V>
    static void run(const V* v, int32_t s, int32_t n, W* const* out) {
        using A = Acc<W>;
        W* d = out[0];
        for (int32_t i = 0; i < n; ++i) d[i] = static_cast<W>(A(v[i]) - A(v[i + 2 * s]));
    }
};

// s[i] = v[i] + c * v[i + 1] + v[i + 2].
template <int32_t Centre>
struct HorizontalSum3 {
    static constexpr int32_t parts = 1;
    template <class W, class V>
    static void run(const V* v, int32_t s, int32_t n, W* const* out) {
        using A = Acc<W>;
        W* sum = out[0];
        for (int32_t i = 0; i < n; ++i)
            sum[i] = static_cast<W>(A(v[i]) + A(Centre) * A(v[i + s]) + A(v[i + 2 * s]));
    }
};

// A box of Size values and the centre value scaled by Centre.
template <int32_t Size, int32_t Centre>
struct HorizontalBoxAndCentre {
    static constexpr int32_t parts = 2;
    template <class W, class V>
    static void run(const V* v, int32_t s, int32_t n, W* const* out) {
        using A = Acc<W>;
        W* box = out[0];
        W* centre = out[1];
        for (int32_t i = 0; i < n; ++i) {
            A sum = A(v[i]);
            for (int32_t t = 1; t < Size; ++t) sum += A(v[i + t * s]);
            box[i] = static_cast<W>(sum);
            centre[i] = static_cast<W>(A(Centre) * A(v[i + (Size / 2) * s]));
        }
    }
};

// Three weighted sums of five taps, weights from Weights (rows a, b, c).
template <class Weights>
struct HorizontalWeighted5 {
    static constexpr int32_t parts = 3;
    template <class W, class V>
    static void run(const V* v, int32_t s, int32_t n, W* const* out) {
        if constexpr (std::is_integral_v<W>) {
            symmetric(v, s, n, out[0], out[1], out[2]);
            return;
        }
        using A = Acc<W>;
        for (int32_t p = 0; p < 3; ++p) {
            const auto* w = Weights::template row<W>(p);
            W* sum = out[p];
            for (int32_t i = 0; i < n; ++i) {
                A total = A(w[0]) * A(v[i]);
                for (int32_t t = 1; t < 5; ++t) total += A(w[t]) * A(v[i + t * s]);
                sum[i] = static_cast<W>(total);
            }
        }
    }
    // Integer rows (of at most 16-bit values, so nothing wraps): the weights are
    // symmetric, w0 (v0 + v4) + w1 (v1 + v3) + w2 v2 is the same sum with three
    // products, the pair sums serve all three rows, and constant weights let
    // the compiler replace the products by shifts.
    template <class W, class V>
    static void symmetric(const V* __restrict v, int32_t s, int32_t n, W* __restrict a,
                          W* __restrict b, W* __restrict c) {
        constexpr auto& w = Weights::integers;
        static_assert(w[0][0] == w[0][4] && w[0][1] == w[0][3] && w[1][0] == w[1][4] &&
                      w[1][1] == w[1][3] && w[2][0] == w[2][4] && w[2][1] == w[2][3]);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t outer = v[i] + v[i + 4 * s], inner = v[i + s] + v[i + 3 * s];
            const int32_t centre = v[i + 2 * s];
            a[i] = static_cast<W>(w[0][0] * outer + w[0][1] * inner + w[0][2] * centre);
            b[i] = static_cast<W>(w[1][0] * outer + w[1][1] * inner + w[1][2] * centre);
            c[i] = static_cast<W>(w[2][0] * outer + w[2][1] * inner + w[2][2] * centre);
        }
    }
};

// ------------------------------------------------------- vertical steps
// h holds the horizontal rows of the neighbourhood, top row first, parts of a
// row next to each other: h[row * parts + part].  at() gives the combined value
// of position i, which the store takes straight into the destination row.

// h0 + c * h1 + h2.
template <int32_t Centre>
struct VerticalSum3 {
    template <class W, class R>
    static R at(const W* const* h, int32_t i) {
        using A = Acc<W>;
        return static_cast<R>(A(h[0][i]) + A(Centre) * A(h[1][i]) + A(h[2][i]));
    }
};

// h2 - h0: the row below minus the row above.
struct VerticalDifference {
    template <class W, class R>
    static R at(const W* const* h, int32_t i) {
        using A = Acc<W>;
        return static_cast<R>(A(h[2][i]) - A(h[0][i]));
    }
};

// Centre of the middle row minus the boxes of all rows.
template <int32_t Size>
struct VerticalCentreMinusBoxes {
    template <class W, class R>
    static R at(const W* const* h, int32_t i) {
        using A = Acc<W>;
        A boxes = A(h[0][i]);
        for (int32_t r = 1; r < Size; ++r) boxes += A(h[r * 2][i]);
        return static_cast<R>(A(h[(Size / 2) * 2 + 1][i]) - boxes);
    }
};

// a(row 0) + b(row 1) + c(row 2) + b(row 3) + a(row 4).
struct VerticalWeighted5 {
    template <class W, class R>
    static R at(const W* const* h, int32_t i) {
        using A = Acc<W>;
        return static_cast<R>(A(h[0][i]) + A(h[4][i]) + A(h[8][i]) + A(h[10][i]) + A(h[12][i]));
    }
};

// ---------------------------------------------------------------- filters

struct LaplaceWeights {
    static constexpr int32_t integers[3][5] = {
        {-1, -3, -4, -3, -1}, {-3, 0, 6, 0, -3}, {-4, 6, 20, 6, -4}};
    template <class W>
    static const int32_t* row(int32_t p) {
        return integers[p];
    }
};

// The 5x5 Gaussian: integer weights (total 571) on integer rows, the weights
// over 571 in single precision on float rows.
struct GaussWeights {
    static constexpr int32_t integers[3][5] = {
        {2, 7, 12, 7, 2}, {7, 31, 52, 31, 7}, {12, 52, 127, 52, 12}};
    static constexpr float fractions[3][5] = {
        {2 / 571.0f, 7 / 571.0f, 12 / 571.0f, 7 / 571.0f, 2 / 571.0f},
        {7 / 571.0f, 31 / 571.0f, 52 / 571.0f, 31 / 571.0f, 7 / 571.0f},
        {12 / 571.0f, 52 / 571.0f, 127 / 571.0f, 52 / 571.0f, 12 / 571.0f}};
    template <class W>
    static const auto* row(int32_t p) {
        if constexpr (std::is_same_v<W, float>)
            return fractions[p];
        else
            return integers[p];
    }
};

// A filter: its neighbourhood size, its two steps, the power of two it divides
// by, and the threshold above which a 1-bit result is set.
template <int32_t Size, class H, class V, int32_t Shift, int32_t BitAbove>
struct Filter {
    static constexpr int32_t size = Size, parts = H::parts, shift = Shift, bitAbove = BitAbove;
    using Horizontal = H;
    using Vertical = V;
};

using PrewittX = Filter<3, HorizontalDifference, VerticalSum3<1>, 0, 0>;
using PrewittY = Filter<3, HorizontalSum3<1>, VerticalDifference, 0, 0>;
using SobelX = Filter<3, HorizontalDifference, VerticalSum3<2>, 0, 0>;
using SobelY = Filter<3, HorizontalSum3<2>, VerticalDifference, 0, 0>;
using Laplace3 = Filter<3, HorizontalBoxAndCentre<3, 9>, VerticalCentreMinusBoxes<3>, 0, 0>;
using Laplace5 = Filter<5, HorizontalWeighted5<LaplaceWeights>, VerticalWeighted5, 0, 0>;
using Gauss3 = Filter<3, HorizontalSum3<2>, VerticalSum3<2>, 4, 7>;
using Gauss5 = Filter<5, HorizontalWeighted5<GaussWeights>, VerticalWeighted5, 0, 285>;
using HighPass5 = Filter<5, HorizontalBoxAndCentre<5, 25>, VerticalCentreMinusBoxes<5>, 0, 0>;
using Sharpen3 = Filter<3, HorizontalBoxAndCentre<3, 17>, VerticalCentreMinusBoxes<3>, 3, 0>;

// --------------------------------------------------------------- loaders

// Integer rows; signed depths enter with their top bit flipped (v + 2^(bits-1)).
// Work is the integer type every intermediate of the filter fits in.  Where
// the load only widens (inPlace), the horizontal step reads the source row
// itself and the widened copy is skipped.
template <typename T, int32_t Bias, typename Work_ = int32_t, typename Result_ = Work_>
struct IntegerLoad {
    using Work = Work_;
    using Result = Result_;  // the type of the combined rows
    using Source = T;
    static constexpr bool inPlace = Bias == 0;
    static void run(const char* row, int32_t, int32_t n, Work* __restrict out) {
        const T* __restrict v = reinterpret_cast<const T*>(row);
        for (int32_t i = 0; i < n; ++i)
            out[i] = static_cast<Work>(static_cast<int32_t>(v[i]) + Bias);
    }
};

template <typename T>
struct FloatLoad {
    using Work = float;
    using Result = float;
    using Source = T;
    static constexpr bool inPlace = std::is_same_v<T, float>;
    static void run(const char* row, int32_t, int32_t n, float* out) {
        const T* v = reinterpret_cast<const T*>(row);
        for (int32_t i = 0; i < n; ++i) out[i] = static_cast<float>(v[i]);
    }
};

// Bits, most significant first, from bit position first.
struct BitLoad {
    using Work = int32_t;
    using Result = int32_t;
    using Source = uint8_t;
    static constexpr bool inPlace = false;
    static void run(const char* row, int32_t first, int32_t n, int32_t* out) {
        const uint8_t* bits = reinterpret_cast<const uint8_t*>(row);
        for (int32_t i = 0; i < n; ++i) out[i] = getBit(bits, first + i);
    }
};

// ---------------------------------------------------------------- stores

// Division by 2^Shift rounding halves to even, with arithmetic shifts.
// Done in the work type W, which holds every step (the rows' range has room
// for the few units added), so that 16-bit rows stay in 16-bit lanes.
template <int32_t Shift, typename W>
inline W divideHalfEven(W s) {
    if constexpr (Shift == 0)
        return s;
    else
        return static_cast<W>(static_cast<W>(s + static_cast<W>((s >> Shift) & 1) +
                                             static_cast<W>((1 << (Shift - 1)) - 1)) >>
                              Shift);
}

// Calls store(i) for every step-th of n values; the common step of 1 gets its
// own loop so that the compiler vectorises it.
template <class Store>
inline void forEachStored(int32_t n, int32_t step, Store&& store) {
    if (step == 1)
        for (int32_t i = 0; i < n; ++i) store(i);
    else
        for (int32_t i = 0; i < n; i += step) store(i);
}

template <typename T, int32_t Lo, int32_t Hi, int32_t Bias>
struct IntegerStore {
    template <int32_t Shift, class Value>
    static void run(Value res, char* row, int32_t, int32_t n, int32_t step) {
        using W = decltype(res(0));
        T* __restrict out = reinterpret_cast<T*>(row);
        forEachStored(n, step, [&](int32_t i) {
            // Weights that sum to zero cancel the bias; the dividing filters remove it.
            const W v = Shift ? static_cast<W>(divideHalfEven<Shift>(res(i)) - Bias) : res(i);
            out[i] = static_cast<T>(v < W(Lo) ? W(Lo) : v > W(Hi) ? W(Hi) : v);
        });
    }
};

// The 5x5 Gaussian on 8-bit depths, computed exactly with integers.  The
// single-precision result is round(fl(sum of fl(row sums))) where the row sums
// use the weights w_k = fl(k / 571).  With S the integer sum of k * v over the
// neighbourhood, that value differs from S / 571 by at most
//   25 taps * 128 (or 255) * 2^-27 (half an ulp of the largest weight, 127/571)
//   + 5 * 2^-17 (one ulp of a row sum below 128, whatever the rounding mode)
//   + 2^-16 (one ulp of the total below 256)  < 1.1e-4.
// S / 571 is never closer than 1/1142 (8.8e-4) to a half: 2S - 571 (2n + 1)
// is odd, so at least 1 in size.  Both therefore round to the same integer,
// floor((S + 285) / 571); no tie can occur, and that quotient already lies in
// the depth's range.  The rows enter biased like the other integer kernels
// (v + 128 for 8S), which keeps S non-negative; the bias then comes off.  The
// row sums (at most 255 * 255) are kept in 16 bits, the total in 32.
template <typename T, int32_t Bias>
struct NearestQuotientStore571 {
    template <int32_t Shift, class Value>
    static void run(Value res, char* row, int32_t, int32_t n, int32_t step) {
        T* __restrict out = reinterpret_cast<T*>(row);
        // The quotient floor(x / 571) of x = S + 285 < 2^18 is taken as the
        // truncated single-precision (x + 0.5) * fl(1/571): x + 0.5 is exact,
        // the product is off by under 3 * 2^-24 relative (4.6e-5 below 256,
        // in any rounding mode), while (x + 0.5) / 571 stays 0.5 / 571 (8.8e-4)
        // away from every integer, and floor((x + 0.5) / 571) = floor(x / 571).
        constexpr float reciprocal = 1.0f / 571.0f;
        forEachStored(n, step, [&](int32_t i) {
            const float x = static_cast<float>(res(i) + 285);
            const int32_t quotient = static_cast<int32_t>((x + 0.5f) * reciprocal);
            out[i] = static_cast<T>(quotient - Bias);
        });
    }
};

// Float results into an integer depth: rounded to nearest (the conversion runs
// under round-to-nearest and gives the caller's mode back), saturated.
template <typename T, int32_t Lo, int32_t Hi>
struct RoundingStore {
    template <int32_t Shift, class Value>
    static void run(Value res, char* row, int32_t, int32_t n, int32_t step) {
        constexpr float scale = 1.0f / (1 << Shift);
        constexpr int32_t kChunk = 256;
        T* out = reinterpret_cast<T*>(row);
        // The combined values round to single precision in the caller's mode,
        // a chunk at a time, before the conversion switches to nearest.
        float values[kChunk];
        for (int32_t begin = 0; begin < n;) {
            int32_t m = 0, i = begin;
            for (; i < n && m < kChunk; i += step) values[m++] = res(i);
            RoundingScope nearest(FE_TONEAREST);
            for (int32_t j = 0; j < m; ++j) {
                const double v = static_cast<double>(values[j] * scale);
                out[begin + j * step] = static_cast<T>(v > Hi ? Hi : v < Lo ? Lo : nearestInt(v));
            }
            begin = i;
        }
    }
};

struct FloatStore {
    template <int32_t Shift, class Value>
    static void run(Value res, char* row, int32_t, int32_t n, int32_t step) {
        constexpr float scale = 1.0f / (1 << Shift);
        float* out = reinterpret_cast<float*>(row);
        for (int32_t i = 0; i < n; i += step) out[i] = res(i) * scale;
    }
};

// 1-bit results: set where the undivided kernel result passes the filter's threshold.
template <int32_t Above>
struct BitStore {
    template <int32_t Shift, class Value>
    static void run(Value res, char* row, int32_t first, int32_t n, int32_t step) {
        uint8_t* bits = reinterpret_cast<uint8_t*>(row);
        for (int32_t i = 0; i < n; i += step) putBit(bits, first + i, res(i) > Above);
    }
};

// ---------------------------------------------------------------- kernel

// Scratch layout: the widened source row, then Size x parts horizontal rows
// used as a ring, so each source row is widened and filtered horizontally
// once.  Every value has room for 32 bits.
template <class F>
constexpr size_t scratchValues(int32_t count, int32_t elementStep) {
    return static_cast<size_t>(count) + static_cast<size_t>(F::size - 1) * elementStep +
           static_cast<size_t>(F::size) * F::parts * count;
}

template <class F, class Load, class Store>
void slideRows(const RowJob& job, void* scratch) {
    using W = typename Load::Work;
    using R = typename Load::Result;
    constexpr int32_t K = F::size, P = F::parts;
    const int32_t n = job.count;
    const int32_t loadCount = n + (K - 1) * job.elementStep;
    W* loaded = static_cast<W*>(scratch);
    W* ring = loaded + loadCount;
    auto horizontalRow = [&](int32_t slot, int32_t part) {
        return ring + (static_cast<size_t>(slot) * P + part) * n;
    };
    W* parts[P];
    const W* ordered[K * P];
    for (int32_t r = 0; r < job.rows + K - 1; ++r) {
        const char* row = job.src + static_cast<ptrdiff_t>(r) * job.srcStep;
        for (int32_t p = 0; p < P; ++p) parts[p] = horizontalRow(r % K, p);
        if constexpr (Load::inPlace) {
            F::Horizontal::run(reinterpret_cast<const typename Load::Source*>(row), job.elementStep,
                               n, parts);
        } else {
            Load::run(row, job.srcBit, loadCount, loaded);
            F::Horizontal::run(loaded, job.elementStep, n, parts);
        }
        if (r < K - 1) continue;
        const int32_t out = r - (K - 1);
        for (int32_t j = 0; j < K; ++j)
            for (int32_t p = 0; p < P; ++p) ordered[j * P + p] = horizontalRow((out + j) % K, p);
        // The row pointers are copied into the step so that the compiler keeps
        // them in registers across the stores.
        auto combined = [ordered](int32_t i) { return F::Vertical::template at<W, R>(ordered, i); };
        Store::template run<F::shift>(combined, job.dst + static_cast<ptrdiff_t>(out) * job.dstStep,
                                      job.dstBit, n, job.storeStep);
    }
}

// FitsSixteenBits: 8-bit rows enter as 0 ... 255 (8S biased), and no filter but
// the 5x5 Gaussian (kept in 32 bits) takes any intermediate beyond 255 times
// the sum of its weights' sizes: at most 255 * 88 = 22440 (5x5 Laplace), so
// those rows are worked in 16-bit integers, eight to a vector, exactly.
// The kernels of one filter for the seven depth columns.  Filter 7 works in
// single precision on every depth but the 8-bit ones, where integers give the
// same results (see NearestQuotientStore571); the others on integers where the
// depth is an integer one of at most 16 bits.
template <class F, bool FloatEverywhere>
struct DepthColumns {
    template <typename T, int32_t Lo, int32_t Hi, int32_t Bias>
    static constexpr RowKernel integer() {
        if constexpr (FloatEverywhere && sizeof(T) == 1)
            return slideRows<F, IntegerLoad<T, Bias, uint16_t, int32_t>,
                             NearestQuotientStore571<T, Bias>>;
        else if constexpr (FloatEverywhere)
            return slideRows<F, FloatLoad<T>, RoundingStore<T, Lo, Hi>>;
        else if constexpr (sizeof(T) == 1)  // 16-bit lanes: see FitsSixteenBits
            return slideRows<F, IntegerLoad<T, Bias, int16_t>, IntegerStore<T, Lo, Hi, Bias>>;
        else
            return slideRows<F, IntegerLoad<T, Bias>, IntegerStore<T, Lo, Hi, Bias>>;
    }
    static constexpr RowKernel columns[kDepthCount] = {
        slideRows<F, BitLoad, BitStore<F::bitAbove>>,
        integer<uint8_t, 0, 255, 0>(),
        integer<int8_t, -128, 127, 128>(),
        integer<uint16_t, 0, 65535, 0>(),
        integer<int16_t, -32768, 32767, 32768>(),
        slideRows<F, FloatLoad<int32_t>, RoundingStore<int32_t, INT32_MIN, INT32_MAX>>,
        slideRows<F, FloatLoad<float>, FloatStore>,
    };
};

// The kernels of the eleven filters (indexed by filter number; filters 4 and 8
// share theirs) by depth column.
struct FilterKernels {
    RowKernel at[11][kDepthCount];
};
template <class F, bool FloatEverywhere = false>
constexpr void putColumns(FilterKernels& k, int32_t filter) {
    for (int32_t d = 0; d < kDepthCount; ++d)
        k.at[filter][d] = DepthColumns<F, FloatEverywhere>::columns[d];
}
constexpr FilterKernels filterKernels() {
    FilterKernels k{};
    putColumns<PrewittX>(k, 0);
    putColumns<PrewittY>(k, 1);
    putColumns<SobelX>(k, 2);
    putColumns<SobelY>(k, 3);
    putColumns<Laplace3>(k, 4);
    putColumns<Laplace5>(k, 5);
    putColumns<Gauss3>(k, 6);
    putColumns<Gauss5, true>(k, 7);
    putColumns<Laplace3>(k, 8);
    putColumns<HighPass5>(k, 9);
    putColumns<Sharpen3>(k, 10);
    return k;
}
constexpr FilterKernels kLevelKernels = filterKernels();

}  // namespace
