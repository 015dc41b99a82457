// The box filter for neighbourhoods that reach far past the source image.
// Beyond the image the border rules only repeat known values (a side's
// constant, an edge pixel, or the image mirrored or wrapped with a period of
// one or two image sizes), so the working block of the rules, (w + nCols) x
// (h + nRows), need not be materialised: the block is computed from the image
// alone.  The results are the kernels' to the bit.  The integer depths sum
// modulo 2^32 as the kernels' 32-bit sums do, exactly and so in any order:
// from counts of the repeated values, by prefix sums over one period.  The
// floating-point depths repeat the kernels' own sequence of roundings, once
// per distinct column of the block rather than once per column.
#include <algorithm>
#include <cstring>

#include "filter/blurArithmetic.h"
#include "filter/filter.h"
#include "image/image.h"
#include "image/region.h"

namespace {

int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

// Keys of the positions outside the image: the image index a position takes,
// or kLowConstant / kHighConstant for the side's constant.
constexpr int32_t kLowConstant = -1;
constexpr int32_t kHighConstant = -2;

// One axis of the border-extended image: below 0 the low side's mode, from
// size on the high side's.  Outside the image a key repeats with the side's
// period (1 for a constant or an edge pixel, size when wrapped, 2 size when
// mirrored), so every period divides 2 size.
struct Axis {
    int32_t size;
    int32_t lowMode, highMode;
    static int32_t period(int32_t mode, int32_t size) {
        return mode == ZAR_BORDER_REFLECT ? 2 * size : mode == ZAR_BORDER_WRAP ? size : 1;
    }
    int32_t sideKey(int32_t mode, int64_t c, bool high) const {
        switch (mode) {
            case ZAR_BORDER_CONSTANT:
                return high ? kHighConstant : kLowConstant;
            case ZAR_BORDER_REPLICATE:
                return high ? size - 1 : 0;
            case ZAR_BORDER_REFLECT: {
                const int64_t p = floorMod(c, 2 * static_cast<int64_t>(size));
                return static_cast<int32_t>(p < size ? p : 2 * static_cast<int64_t>(size) - 1 - p);
            }
            default:
                return static_cast<int32_t>(floorMod(c, size));
        }
    }
    int32_t keyAt(int64_t c) const {
        if (c < 0) return sideKey(lowMode, c, false);
        if (c < size) return static_cast<int32_t>(c);
        return sideKey(highMode, c, true);
    }
};

Axis axisOf(int32_t size, int32_t lowMode, int32_t highMode) {
    return {size, lowMode & 3, highMode & 3};
}

// Sums modulo 2^32 of a value over ranges of an axis: prefix sums over the
// image and over one period of each side.  value(part, key) gives the value
// of a key on the low side (part 0), inside (1) or on the high side (2).
class AxisSums {
  public:
    explicit AxisSums(const Axis& axis)
        : axis_(axis),
          lowPeriod_(Axis::period(axis.lowMode, axis.size)),
          highPeriod_(Axis::period(axis.highMode, axis.size)) {}
    AxisSums(const AxisSums&) = delete;
    AxisSums& operator=(const AxisSums&) = delete;
    ~AxisSums() { alignedFree(low_); }

    bool allocate() {
        const size_t count = static_cast<size_t>(lowPeriod_) + axis_.size + highPeriod_ + 3;
        low_ = static_cast<uint32_t*>(alignedMalloc(count * sizeof(uint32_t)));
        centre_ = low_ ? low_ + lowPeriod_ + 1 : nullptr;
        high_ = low_ ? centre_ + axis_.size + 1 : nullptr;
        return low_ != nullptr;
    }
    template <class Value>
    void build(Value value) {
        prefix(low_, lowPeriod_,
               [&](int32_t k) { return value(0, axis_.sideKey(axis_.lowMode, k, false)); });
        prefix(centre_, axis_.size, [&](int32_t k) { return value(1, k); });
        prefix(high_, highPeriod_,
               [&](int32_t k) { return value(2, axis_.sideKey(axis_.highMode, k, true)); });
    }
    // The sum over positions [a, b).
    uint32_t sum(int64_t a, int64_t b) const {
        uint32_t s = 0;
        if (a < 0) s += periodic(low_, lowPeriod_, b < 0 ? b : 0) - periodic(low_, lowPeriod_, a);
        const int64_t from = std::max<int64_t>(a, 0), to = std::min<int64_t>(b, axis_.size);
        if (from < to) s += centre_[to] - centre_[from];
        if (b > axis_.size) {
            const int64_t start = a > axis_.size ? a : axis_.size;
            s += periodic(high_, highPeriod_, b) - periodic(high_, highPeriod_, start);
        }
        return s;
    }

  private:
    template <class Value>
    static void prefix(uint32_t* out, int32_t count, Value value) {
        out[0] = 0;
        for (int32_t k = 0; k < count; ++k) out[k + 1] = out[k] + value(k);
    }
    // The sum over [base, t) of a side repeating with period p, base being a
    // multiple of p: whole periods times the period's sum, plus a part.  The
    // count of periods enters modulo 2^32, as the sums do.
    static uint32_t periodic(const uint32_t* pre, int32_t p, int64_t t) {
        return static_cast<uint32_t>(floorDiv(t, p)) * pre[p] + pre[floorMod(t, p)];
    }

    Axis axis_;
    int32_t lowPeriod_, highPeriod_;
    uint32_t* low_ = nullptr;
    uint32_t* centre_ = nullptr;
    uint32_t* high_ = nullptr;
};

// A side's border constant as a value of the depth, read back from a pixel
// that holds it, so it enters the sums as an image value would.
template <class Depth>
auto constantValue(int32_t depth, int32_t constant) {
    const uint32_t pattern = borderPattern(depth, constant);
    alignas(4) char pixel[4] = {};
    if (depth == ZAR_DEPTH_1U)
        pixel[0] = static_cast<char>(pattern ? 0x80 : 0);
    else
        std::memcpy(pixel, &pattern, static_cast<size_t>(bytesPerValue(depth)));
    const ChannelWalk walk{pixel, 0, 0, 1, 0};
    return Depth::read(pixel, walk, 0);
}

// The source's border rules and the values of one channel.
template <class Depth>
struct Plane {
    const LargeWindowJob& large;
    ChannelWalk walk;
    decltype(constantValue<Depth>(0, 0)) constants[4];  // top, bottom, left, right

    Plane(const LargeWindowJob& job, int32_t channel) : large(job), walk(job.job.src) {
        walk.first += channel * walk.channelStride;
        for (int32_t side = 0; side < 4; ++side)
            constants[side] = constantValue<Depth>(job.image->depth, job.image->borderValues[side]);
    }
    auto at(int32_t x, int32_t y) const {
        return Depth::read(walk.first + static_cast<ptrdiff_t>(walk.step) * y, walk, x);
    }
    int32_t mode(int32_t side) const { return large.image->borderModes[side] & 3; }
    // The row axis, and the column axis of a band of rows (0 above the image,
    // 1 beside it, 2 below): above and below one side's mode governs both
    // coordinates.
    Axis rows() const { return axisOf(large.image->height, mode(0), mode(1)); }
    Axis columns(int32_t band) const {
        if (band == 1) return axisOf(large.image->width, mode(2), mode(3));
        const int32_t m = mode(band == 0 ? 0 : 1);
        return axisOf(large.image->width, m, m);
    }
    // The value at column key of the band row with row key r.
    auto value(int32_t band, int32_t r, int32_t key) const {
        if (band != 1 && mode(band == 0 ? 0 : 1) == ZAR_BORDER_CONSTANT)
            return constants[band == 0 ? 0 : 1];
        if (key == kLowConstant) return constants[2];
        if (key == kHighConstant) return constants[3];
        return at(key, r);
    }
};

// Writes the result of (x, y) unless the mask piece says no.
template <class Depth>
void storeResult(const BlurJob& job, int32_t x, int32_t y, int32_t channel,
                 typename Depth::Window window, typename Depth::Scale scale) {
    if (job.mask && !getBit(job.mask + static_cast<ptrdiff_t>(job.maskStep) * y, job.maskBitX + x))
        return;
    char* out = job.dst.first + channel * job.dst.channelStride +
                static_cast<ptrdiff_t>(job.dst.step) * y;
    Depth::store(out, job.dst, x, window, scale);
}

// ------------------------------------------------------- integer depths

// The window sum of (x, y) is the sum over the window's rows of each row's
// sum over the window's columns.  A row of the block is one of at most
// 3 (height + 1) lines (band and row key, a constant band being one line);
// each line's column sums come from its prefix sums, and each result column's
// row sums from the prefix sums of its lines' column sums.
template <class Depth>
bool integerChannel(const LargeWindowJob& lj, int32_t channel) {
    const BlurJob& job = lj.job;
    const Plane<Depth> plane(lj, channel);
    const int32_t height = lj.image->height;
    const int64_t lineCount = 3 * (static_cast<int64_t>(height) + 1);
    auto lineOf = [&](int32_t band, int32_t key) {
        return band * (static_cast<int64_t>(height) + 1) + (key < 0 ? height : key);
    };
    auto* lineSums = static_cast<uint32_t*>(
        alignedMalloc(sizeof(uint32_t) * static_cast<size_t>(lineCount * job.width)));
    AxisSums rowSums(plane.rows());
    AxisSums bandSums[3] = {AxisSums(plane.columns(0)), AxisSums(plane.columns(1)),
                            AxisSums(plane.columns(2))};
    bool held = lineSums && rowSums.allocate();
    for (AxisSums& sums : bandSums) held = held && sums.allocate();
    if (!held) {
        alignedFree(lineSums);
        return false;
    }
    for (int32_t band = 0; band < 3; ++band) {
        // Beside the image a line per row; above and below one per row key,
        // or a single one (key -1) for a constant side.
        const bool constant = band != 1 && plane.mode(band == 0 ? 0 : 1) == ZAR_BORDER_CONSTANT;
        for (int32_t r = constant ? -1 : 0; r < (constant ? 0 : height); ++r) {
            AxisSums& sums = bandSums[band];
            sums.build([&](int32_t, int32_t key) { return plane.value(band, r, key); });
            uint32_t* out = lineSums + lineOf(band, r) * job.width;
            for (int32_t x = 0; x < job.width; ++x)
                out[x] = sums.sum(lj.x0 + x, lj.x0 + x + job.nCols);
        }
    }
    const auto scale = Depth::prepare(job.scale);
    for (int32_t x = 0; x < job.width; ++x) {
        rowSums.build(
            [&](int32_t band, int32_t key) { return lineSums[lineOf(band, key) * job.width + x]; });
        for (int32_t y = 0; y < job.height; ++y)
            storeResult<Depth>(job, x, y, channel, rowSums.sum(lj.y0 + y, lj.y0 + y + job.nRows),
                               scale);
    }
    alignedFree(lineSums);
    return true;
}

// --------------------------------------------------- floating-point depths

// A column of the block is known by the column keys of its three bands; the
// keys repeat with a period dividing 2 width on either side, so a column's
// class is its position modulo 2 width outside the image, or the position
// itself inside: 5 width classes, of which identical ones are merged.
struct ColumnClasses {
    int32_t width;
    int32_t* classOfId = nullptr;  // 5 width entries
    int32_t* keys = nullptr;       // 3 per id: top, middle and bottom column keys
    int32_t count = 0;
    ~ColumnClasses() {
        alignedFree(classOfId);
        alignedFree(keys);
    }
    int32_t id(int64_t x) const {
        const int64_t period = 2 * static_cast<int64_t>(width);
        if (x < 0) return static_cast<int32_t>(floorMod(x, period));
        if (x < width) return static_cast<int32_t>(period + x);
        return static_cast<int32_t>(3 * static_cast<int64_t>(width) + floorMod(x, period));
    }
    int32_t of(int64_t x) const { return classOfId[id(x)]; }
};

// The classes of consecutive columns from x on, without a division per step:
// ids run modulo 2 width outside the image and one by one inside it.
struct ClassWalk {
    const ColumnClasses& classes;
    int64_t x;
    int32_t id;
    ClassWalk(const ColumnClasses& c, int64_t from) : classes(c), x(from), id(c.id(from)) {}
    int32_t next() {
        const int32_t w = classes.width, current = classes.classOfId[id];
        ++x;
        if (x == 0) {
            id = 2 * w;  // the image's first column
        } else if (x == w) {
            id = 3 * w + static_cast<int32_t>(w % (2 * static_cast<int64_t>(w)));
        } else if (x < 0) {
            id = id + 1 == 2 * w ? 0 : id + 1;
        } else if (x < w) {
            ++id;
        } else {
            id = id + 1 == 5 * w ? 3 * w : id + 1;
        }
        return current;
    }
};

template <class Depth>
bool makeClasses(const Plane<Depth>& plane, ColumnClasses* classes) {
    const int32_t width = plane.large.image->width;
    if (width > INT32_MAX / 15) return false;  // no such table could be held
    const int32_t ids = 5 * width;
    classes->width = width;
    classes->classOfId = static_cast<int32_t*>(alignedMalloc(sizeof(int32_t) * ids));
    classes->keys = static_cast<int32_t*>(alignedMalloc(sizeof(int32_t) * 3 * ids));
    auto* order = static_cast<int32_t*>(alignedMalloc(sizeof(int32_t) * ids));
    if (!classes->classOfId || !classes->keys || !order) {
        alignedFree(order);
        return false;
    }
    // A position of each id, its keys, then ids with equal keys share a class.
    const Axis bands[3] = {plane.columns(0), plane.columns(1), plane.columns(2)};
    int32_t* keys = classes->keys;
    for (int32_t i = 0; i < ids; ++i) {
        const int64_t x = i < 2 * width   ? i - 2 * static_cast<int64_t>(width)
                          : i < 3 * width ? i - 2 * width
                                          : i - width;
        for (int32_t b = 0; b < 3; ++b) keys[3 * i + b] = bands[b].keyAt(x);
        order[i] = i;
    }
    auto less = [&](int32_t a, int32_t b) {
        return std::lexicographical_compare(keys + 3 * a, keys + 3 * a + 3, keys + 3 * b,
                                            keys + 3 * b + 3);
    };
    std::sort(order, order + ids, less);
    int32_t count = 0;
    for (int32_t i = 0; i < ids; ++i) {
        if (i > 0 && less(order[i - 1], order[i])) ++count;
        classes->classOfId[order[i]] = count;
    }
    classes->count = ids > 0 ? count + 1 : 0;
    alignedFree(order);
    return true;
}

// The kernels' arithmetic over the block: column sums over the first nRows
// rows, a window sum moved along each result row, every column sum moved down
// a row; one column sum per class of columns.
template <class Depth>
bool floatChannel(const LargeWindowJob& lj, int32_t channel) {
    const BlurJob& job = lj.job;
    const Plane<Depth> plane(lj, channel);
    ColumnClasses classes;
    if (!makeClasses(plane, &classes)) return false;
    const int32_t ids = 5 * plane.large.image->width;
    // One id per class gives the class's column keys.
    auto* representative = static_cast<int32_t*>(alignedMalloc(sizeof(int32_t) * ids));
    auto* sums = static_cast<typename Depth::Sum*>(alignedMalloc(
        sizeof(typename Depth::Sum) * static_cast<size_t>(std::max(classes.count, 1))));
    if (!representative || !sums) {
        alignedFree(representative);
        alignedFree(sums);
        return false;
    }
    for (int32_t i = 0; i < ids; ++i) representative[classes.classOfId[i]] = i;
    const Axis rows = plane.rows();
    // Block row i: its band and row key, then the value of class c there.
    struct Row {
        int32_t band, key;
    };
    auto rowAt = [&](int64_t i) {
        const int64_t y = lj.y0 + i;
        return Row{y < 0 ? 0 : y < rows.size ? 1 : 2, rows.keyAt(y)};
    };
    auto valueAt = [&](int32_t c, const Row& r) {
        return plane.value(r.band, r.key, classes.keys[3 * representative[c] + r.band]);
    };
    for (int32_t c = 0; c < classes.count; ++c) sums[c] = typename Depth::Sum(0);
    for (int64_t i = 0; i < job.nRows; ++i) {
        const Row r = rowAt(i);
        for (int32_t c = 0; c < classes.count; ++c) sums[c] = Depth::add(sums[c], valueAt(c, r));
    }
    const auto scale = Depth::prepare(job.scale);
    using Window = typename Depth::Window;
    for (int32_t y = 0; y < job.height; ++y) {
        Window window = Window(0);
        ClassWalk first(classes, lj.x0);
        for (int64_t j = 0; j < job.nCols; ++j) window += sums[first.next()];
        ClassWalk entering(classes, lj.x0 + job.nCols), leaving(classes, lj.x0);
        for (int32_t x = 0; x < job.width; ++x) {
            storeResult<Depth>(job, x, y, channel, window, scale);
            window += Window(sums[entering.next()]) - Window(sums[leaving.next()]);
        }
        const Row in = rowAt(y + int64_t{job.nRows}), out = rowAt(y);
        for (int32_t c = 0; c < classes.count; ++c)
            sums[c] = Depth::move(sums[c], valueAt(c, in), valueAt(c, out));
    }
    alignedFree(representative);
    alignedFree(sums);
    return true;
}

template <class Depth, bool Integer>
bool largeWindowChannels(const LargeWindowJob& lj) {
    for (int32_t c = 0; c < lj.job.channels; ++c) {
        if constexpr (Integer) {
            if (!integerChannel<Depth>(lj, c)) return false;
        } else {
            if (!floatChannel<Depth>(lj, c)) return false;
        }
    }
    return true;
}

}  // namespace

bool blurLargeWindow(const LargeWindowJob& lj) {
    switch (lj.image->depth) {
        case ZAR_DEPTH_1U:
            return largeWindowChannels<BitBlur, true>(lj);
        case ZAR_DEPTH_8U:
            return largeWindowChannels<IntegerBlur<uint8_t>, true>(lj);
        case ZAR_DEPTH_8S:
            return largeWindowChannels<IntegerBlur<int8_t>, true>(lj);
        case ZAR_DEPTH_16U:
            return largeWindowChannels<IntegerBlur<uint16_t>, true>(lj);
        case ZAR_DEPTH_16S:
            return largeWindowChannels<IntegerBlur<int16_t>, true>(lj);
        case ZAR_DEPTH_32S:
            return largeWindowChannels<FloatBlur<int32_t>, false>(lj);
        default:
            return largeWindowChannels<FloatBlur<float>, false>(lj);
    }
}

bool blurLargeWindowPays(const ImageHeader* src, int32_t w, int32_t h, int32_t nCols,
                         int32_t nRows) {
    // The block of the rules against the image the large-window path reads
    // (and its sums, a few times the image): worth it when the block is the
    // larger by far, and needed when the block's sides pass the int32 range.
    const double block = (static_cast<double>(w) + nCols) * (static_cast<double>(h) + nRows);
    const double image = static_cast<double>(src->width) * src->height;
    return block > 16.0 * image + 65536.0 || static_cast<int64_t>(w) + nCols > INT32_MAX ||
           static_cast<int64_t>(h) + nRows > INT32_MAX;
}

int64_t blurLargeWindowSteps(const ImageHeader* src, int32_t w, int32_t h, int32_t nCols,
                             int32_t nRows) {
    // Column sums of at most 5 width classes over nRows + h rows, and per
    // result row a window of nCols sums moved along w results.
    return 5 * static_cast<int64_t>(src->width) * (static_cast<int64_t>(nRows) + h) +
           static_cast<int64_t>(h) * (static_cast<int64_t>(nCols) + w);
}
