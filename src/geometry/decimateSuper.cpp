// The super-sampling kernels of the decimation: the area-weighted mean of
// each destination pixel's source box (1U, 8U, 16U).
#include <algorithm>

#include "geometry/decimateKernels.h"
#include "geometry/decimateLanes.h"

namespace {

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
    // The truncated end reaches the available source just when the end does
    // (available is whole); compared unconverted, as the end may pass int32.
    if (end >= available) {
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
bool decimateSuper(const DecimateJob& job, double& x, double& y) {
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
    return true;
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
int32_t boxHigh(const Box& box) { return box.tail >= 0 ? box.tail : box.last; }

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
                        const ScratchArray<intptr_t>& offsets, int32_t n) {
    const int32_t c = l.together;
    bool regular = n == 2 && offsets[0] == 0 && job.srcPixelStep == c * intptr_t{sizeof(T)} &&
                   (c == 1 || job.srcChannelStep == intptr_t{sizeof(T)});
    for (int32_t e = 0; regular && e < l.lanes; ++e)
        regular = offsets[e] == ((e / c) * n * c + e % c) * intptr_t{sizeof(T)};
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

// The column boxes of a piece, the same on every row.
struct ColumnBoxes {
    ScratchArray<Box> boxes;  // not held when it could not be had
    int32_t whole = -1;       // the common count of whole pixels of every box, or -1
};
ColumnBoxes columnBoxes(const DecimateJob& job, const ScratchArray<double>& xs) {
    ColumnBoxes c{ScratchArray<Box>(job.width)};
    if (!c.boxes.held()) return c;
    bool wholeCols = true;
    int32_t n = -1;
    for (int32_t i = 0; i < job.width; ++i) {
        const Box box = superBox(xs[i], job.kx, job.srcCols);
        c.boxes[i] = box;
        const int32_t count = box.last + 1 - boxLow(box);
        wholeCols = wholeCols && wholeBox(box) && (i == 0 || count == n);
        n = count;
    }
    c.whole = wholeCols && n >= 1 ? n : -1;
    return c;
}

// What the rows of whole pixels need: the adder of the column boxes' sums,
// the rounded mean of every possible sum when there are few, and for 2x2
// boxes whose rounded mean is (sum + 2) >> 2 (for 8U checked against that
// table; for 16U the scale is then exactly 1/4) the row halver.  Integer sums
// only when they stay below 2^31 (a box holds at most ky + 2 rows).  failed:
// the table could not be had.
template <class T>
struct WholeSums {
    int32_t rowLimit = 0;
    WholeRowAdder addRow = nullptr;
    ScratchArray<T> means;
    RowHalver halve = nullptr;
    bool failed = false;
};
template <class T>
WholeSums<T> wholeSums(const DecimateJob& job, const Lanes& layout, const ColumnBoxes& cols,
                       const ScratchArray<intptr_t>& offsets, double scale) {
    constexpr int32_t kMax = Elements<T>::kMax;
    WholeSums<T> w;
    w.rowLimit = static_cast<int32_t>(job.ky) + 2;
    const int64_t maxSum = int64_t{std::max(cols.whole, 0)} * w.rowLimit * kMax;
    if (cols.whole < 1 || maxSum >= (int64_t{1} << 31)) return w;
    if (maxSum < 1 << 12) {
        w.means = ScratchArray<T>(maxSum + 1);
        w.failed = !w.means.held();
        if (w.failed) return w;
        for (int64_t s = 0; s < w.means.size(); ++s)
            w.means[s] = static_cast<T>(
                std::min(static_cast<int32_t>(static_cast<double>(s) * scale + 0.5), kMax));
    }
    const int32_t regular = regularChannels<T>(job, layout, offsets, cols.whole);
    w.addRow = wholeRowAdder<T>(regular, cols.whole);
    if (sizeof(T) == 1 && layout.packed && w.means.held() && w.means.size() > 4 * 255) {
        w.halve = rowHalverFor(ZAR_DEPTH_8U, regular, isaLevel());
        for (int32_t sum = 0; w.halve && sum <= 4 * 255; ++sum)
            if (w.means[sum] != (sum + 2) >> 2) w.halve = nullptr;
    }
    if (sizeof(T) == 2 && layout.packed && scale == 0.25)
        w.halve = rowHalverFor(ZAR_DEPTH_16U, regular, isaLevel());
    return w;
}

// Weighted boxes: row sums in double, exactly as the rule orders them, added
// into sums (one per lane).
template <class T>
void addWeightedRows(const DecimateJob& job, const Lanes& layout, const ColumnBoxes& cols,
                     const char* plane, const Box& rows, ScratchArray<double>& sums) {
    const intptr_t ps = job.srcPixelStep;
    std::fill(sums.data(), sums.data() + sums.size(), 0.0);
    auto addRow = [&](int32_t r, double weight, bool weighted) {
        const char* row = plane + r * job.srcRowStep;
        for (int32_t i = 0; i < job.width; ++i) {
            const Box& box = cols.boxes[i];
            for (int32_t c = 0; c < layout.together; ++c) {
                const char* p = row + c * job.srcChannelStep;
                auto at = [&](int32_t k) { return sampleAsDouble<T>(p + k * ps); };
                double s = 0.0;
                if (box.head >= 0) s += box.headWeight * at(box.head);
                for (int32_t k = box.first; k <= box.last; ++k) s += at(k);
                if (box.tail >= 0) s += box.tailWeight * at(box.tail);
                double& sum = sums[int64_t{i} * layout.together + c];
                sum += weighted ? weight * s : s;
            }
        }
    };
    if (rows.head >= 0) addRow(rows.head, rows.headWeight, true);
    for (int32_t r = rows.first; r <= rows.last; ++r) addRow(r, 1.0, false);
    if (rows.tail >= 0) addRow(rows.tail, rows.tailWeight, true);
}

// The column boxes as the row kernels' taps (kSuperRows): every lane reads
// taps pixels from its anchor, the box's first pixel, moved back where they
// would pass the source's edge; pixels outside the box weigh 0 (adding 0
// changes no sum).  Not used (no groups) when the destination lanes are not
// packed, a box would need pixels outside the source or has one pixel as
// both edges, or the offsets do not count in int32.
struct TapBoxes {
    PackedLanes packed;
    ScratchArray<double> weights;
    SuperBoxes boxes{};
};
template <class T>
TapBoxes tapBoxes(const DecimateJob& job, const Lanes& layout, const ColumnBoxes& cols) {
    TapBoxes t;
    int32_t taps = 1;
    for (int32_t i = 0; i < job.width; ++i) {
        const Box& box = cols.boxes[i];
        if (boxLow(box) < 0 || (box.head >= 0 && box.head == box.tail)) return t;
        taps = std::max(taps, boxHigh(box) + 1 - boxLow(box));
    }
    if (!layout.packed || taps > job.srcCols) return t;
    auto anchor = [&](int32_t i) { return std::min(boxLow(cols.boxes[i]), job.srcCols - taps); };
    const ScratchArray<intptr_t> offsets = sourceOffsets(job, layout, anchor);
    t.weights = ScratchArray<double>(int64_t{taps} * layout.lanes);
    t.packed.failed = !offsets.held() || !t.weights.held();
    if (t.packed.failed) return t;
    std::fill(t.weights.data(), t.weights.data() + t.weights.size(), 0.0);
    for (int32_t i = 0; i < job.width; ++i) {
        const Box& box = cols.boxes[i];
        const int32_t a = anchor(i);
        if (boxHigh(box) - a >= taps) return TapBoxes{};
        auto put = [&](int32_t pixel, double weight) {
            for (int32_t c = 0; c < layout.together; ++c)
                t.weights[int64_t{pixel - a} * layout.lanes + i * layout.together + c] = weight;
        };
        if (box.head >= 0) put(box.head, box.headWeight);
        for (int32_t k = box.first; k <= box.last; ++k) put(k, 1.0);
        if (box.tail >= 0) put(box.tail, box.tailWeight);
    }
    const int32_t tap = static_cast<int32_t>(job.srcPixelStep / intptr_t{sizeof(T)});
    t.packed = packedLanes<T>(offsets, (taps - 1) * tap);
    t.boxes = {t.packed.elements.data(),
               t.packed.groups.data(),
               t.weights.data(),
               taps,
               tap,
               layout.lanes,
               layout.lanes};
    return t;
}

// The boxes of the columns are worked out once per call.  The per-pixel
// arithmetic is unchanged: each lane accumulates its rows' sums in the order
// head, whole rows, tail; boxes of whole pixels sum in integers.
template <class T>
bool decimateSuperElements(const DecimateJob& job, double& x, double& y) {
    constexpr int32_t kMax = Elements<T>::kMax;
    const double scale = 1.0 / (static_cast<double>(job.kx) * static_cast<double>(job.ky));
    const intptr_t rs = job.srcRowStep;
    const Lanes layout = lanesOf(job, sizeof(T));
    const ScratchArray<double> xs = stepPositions(x, job.kx, job.width);
    const ScratchArray<double> ys = stepPositions(y, job.ky, job.height);
    if (!layout.dst.held() || !xs.held() || !ys.held()) return false;
    const ColumnBoxes cols = columnBoxes(job, xs);
    if (!cols.boxes.held()) return false;
    // Lane offsets (bytes) of the first whole pixel for the integer sums.
    const ScratchArray<intptr_t> offsets = sourceOffsets(
        job, layout, [&](int32_t i) { return boxLow(cols.boxes[i]); });
    if (!offsets.held()) return false;
    const WholeSums<T> whole = wholeSums<T>(job, layout, cols, offsets, scale);
    auto meanOf = [&](double sum) {
        return static_cast<T>(std::min(static_cast<int32_t>(sum * scale + 0.5), kMax));
    };
    ScratchArray<uint32_t> acc(layout.lanes);
    ScratchArray<double> sums(layout.lanes);
    const TapBoxes taps = tapBoxes<T>(job, layout, cols);
    const SuperRowFn superRow = kSuperRows[sizeof(T) - 1].variants.pick();
    // The rows of a box and their weights (a box holds at most ky + 2 rows).
    ScratchArray<const char*> boxRows(static_cast<int64_t>(job.ky) + 3);
    ScratchArray<double> rowWeights(boxRows.size());
    if (whole.failed || taps.packed.failed || !acc.held() || !sums.held() || !boxRows.held() ||
        !rowWeights.held())
        return false;
    for (int32_t pass = 0; pass < layout.passes; ++pass) {
        const char* plane = job.src + pass * layout.srcPassStep;
        for (int32_t j = 0; j < job.height; ++j) {
            const Box rows = superBox(ys[j], job.ky, job.srcRows);
            char* dstRow = job.dst + pass * layout.dstPassStep + j * job.dstRowStep;
            const int32_t low = boxLow(rows);
            const char* r0 = plane + low * rs;
            const bool wholeRows = wholeBox(rows);
            if (whole.halve && wholeRows && rows.last == low + 1) {
                whole.halve(r0, r0 + rs, dstRow, layout.lanes);
            } else if (whole.addRow && wholeRows && rows.last + 1 - low <= whole.rowLimit) {
                for (int32_t r = low; r <= rows.last; ++r)
                    whole.addRow(plane + r * rs, offsets.data(), layout.lanes, cols.whole,
                                 job.srcPixelStep, r == low, acc.data());
                const uint32_t* __restrict a = acc.data();
                if (whole.means.held()) {
                    const T* __restrict mean = whole.means.data();
                    storeLanes<T>(dstRow, layout, [&](int32_t e) { return mean[a[e]]; });
                } else {
                    storeLanes<T>(dstRow, layout,
                                  [&](int32_t e) { return meanOf(static_cast<double>(a[e])); });
                }
            } else if (taps.packed.used()) {
                int32_t n = 0;
                auto add = [&](int32_t r, double weight) {
                    boxRows[n] = plane + r * rs;
                    rowWeights[n++] = weight;
                };
                if (rows.head >= 0) add(rows.head, rows.headWeight);
                for (int32_t r = rows.first; r <= rows.last; ++r) add(r, 1.0);
                if (rows.tail >= 0) add(rows.tail, rows.tailWeight);
                superRow(boxRows.data(), rowWeights.data(), n, taps.boxes, scale, dstRow);
            } else {
                addWeightedRows<T>(job, layout, cols, plane, rows, sums);
                storeLanes<T>(dstRow, layout, [&](int32_t e) { return meanOf(sums[e]); });
            }
        }
    }
    return true;
}

}  // namespace

DecimateKernel superKernel(int32_t depth) {
    if (depth == ZAR_DEPTH_1U) return decimateSuper<Bits>;
    return depth == ZAR_DEPTH_8U ? decimateSuperElements<uint8_t> : decimateSuperElements<uint16_t>;
}
