// Every variant of every kernel table, at every instruction-set level the
// processor has, against the table's plain kernel, bit for bit: random rows of
// odd widths (1 to 130) at misaligned starts, every depth and channel count,
// and values at the ends of their ranges.  A new table entry is covered by its
// family's call of the driver below; a new family adds one call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <typeinfo>
#include <vector>

#include "arith/addRows.h"
#include "filter/blurRows.h"
#include "filter/filter.h"
#include "frame/cpu.h"
#include "geometry/decimateKernels.h"
#include "geometry/gatherKernels.h"
#include "geometry/remapKernels.h"
#include "geometry/zoomKernels.h"
#include "image/image.h"
#include "morph/morphKernels.h"
#include "support/zar_test.h"

namespace {

using zt::Rng;
using Bytes = std::vector<uint8_t>;
const float kNaN = NAN;

// Bytes of which most values of size bytes (at most 8) sit at an end of their
// range: 0, all ones, the signed maximum and minimum, and with 32-bit values
// also infinity and the least denormal; the rest are random.
Bytes extremeBytes(Rng& rng, size_t count, int32_t size) {
    Bytes bytes(count);
    const uint64_t ones = ~uint64_t{0} >> (64 - 8 * size);
    const uint64_t ends[6] = {0, ones, ones >> 1, (ones >> 1) + 1, 0x7F800000, 1};
    for (size_t i = 0; i < count; i += static_cast<size_t>(size)) {
        const int32_t pick = rng.range(0, 7);
        const uint64_t random = uint64_t{rng.next()} << 32 | rng.next();
        const uint64_t value = pick < (size == 4 ? 6 : 4) ? ends[pick] : random;
        std::memcpy(&bytes[i], &value, std::min(count - i, static_cast<size_t>(size)));
    }
    return bytes;
}

// Any NaN made the one NaN: payloads carry no meaning, and the compiler may
// swap the operands of a commutative operation.
void sameNaNs(Bytes& bytes) {
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        float f;
        std::memcpy(&f, &bytes[i], 4);
        if (f != f) std::memcpy(&bytes[i], &kNaN, 4);
    }
}

// One trial of a variant: the random source, the trial's number, the bytes of
// the entry's values, and the variant and plain kernels.
template <class Fn>
struct Trial : Rng {
    int32_t number, size;
    Fn fn, plain;
    // count values of size bytes (the entry's by default), mostly extreme.
    Bytes bytes(size_t count, int32_t valueBytes = 0) {
        const int32_t n = valueBytes ? valueBytes : size;
        return extremeBytes(*this, count * n, n);
    }
    // Runs fn and plain, each writing at out into its own copy of bytes, and
    // expects equal bytes (floats: any NaN equals any NaN).
    template <class Run>
    void same(Bytes bytes, Run run, bool floats = false) {
        Bytes expected = bytes;
        run(fn, reinterpret_cast<char*>(bytes.data()));
        run(plain, reinterpret_cast<char*>(expected.data()));
        for (Bytes* b : {&bytes, &expected})
            if (floats) sameNaNs(*b);
        ASSERT_EQ(bytes, expected);
    }
};

// Bytes per value of an entry (1-bit rows count in bytes; entries without a depth: 1).
template <class Entry>
int32_t valueSize(const Entry& e) {
    if constexpr (requires { e.depth; })
        return e.depth == ZAR_DEPTH_1U ? 1 : bytesPerValue(e.depth);
    return 1;
}

// Calls check(entry, trial) trials times for each entry's variant at each
// level above plain that the processor runs, with the level capped to it
// (AVX-512 with and without VBMI where the processor has it), after checking
// that the cap holds the level the kernels are picked at; a fatal failure ends
// the entry's trials.
template <class Table, class Check>
void everyVariant(const Table& table, int32_t trials, Check check) {
    const int32_t top = static_cast<int32_t>(detectedIsaLevel());
    const bool vbmi = hasAvx512Vbmi();
    for (int32_t pass = 0; pass <= top + vbmi; ++pass) {
        const int32_t level = pass > top ? top : pass;
        setMaxIsaForTests(static_cast<IsaLevel>(level));
        allowVbmiForTests(pass > top);
        ASSERT_EQ(isaLevel(), static_cast<IsaLevel>(level));  // the cap holds the level
        for (size_t i = 0; i < std::size(table); ++i) {
            const auto& variants = table[i].variants;
            if (!variants.at[level]) continue;
            ASSERT_EQ(variants.pick(), variants.at[level]);
            if (level == 0) continue;  // the plain kernel is the reference
            SCOPED_TRACE(testing::Message() << typeid(Table).name() << " level " << level
                                            << (pass > top ? " VBMI" : "") << " entry " << i);
            Trial<decltype(variants.at[0])> t{Rng(i * 8 + static_cast<uint64_t>(pass)), 0,
                                              valueSize(table[i]), variants.at[level],
                                              variants.at[0]};
            for (; t.number < trials && !testing::Test::HasFatalFailure(); ++t.number) {
                SCOPED_TRACE(testing::Message() << "trial " << t.number);
                check(table[i], t);
            }
        }
    }
    setMaxIsaForTests(IsaLevel::avx512);
    allowVbmiForTests(true);
    EXPECT_EQ(isaLevel(), detectedIsaLevel());
}

const char* chars(const Bytes& bytes) { return reinterpret_cast<const char*>(bytes.data()); }

// A T made of the values (an aggregate's fields in order, one line-filling call).
template <class T, class... Values>
T aggregate(Values... values) {
    return T{values...};
}

// A float of a working row: mostly in [lo, hi], some halves, zeros, denormals.
float workValue(Rng& rng, float lo, float hi) {
    const int32_t kind = rng.range(0, 9),
                  whole = rng.range(static_cast<int32_t>(lo), static_cast<int32_t>(hi));
    if (kind == 0) return rng.range(0, 1) ? 0.0f : -0.0f;
    if (kind == 1) return 1e-40f * static_cast<float>(rng.range(-50, 50));  // denormals
    if (kind == 2) return static_cast<float>(whole) + 0.5f;
    return lo + (hi - lo) * static_cast<float>(rng.next() % 1000001) / 1000000.0f;
}

// A trial of a kernel reading taps by offsets: count lanes in runs at a step
// (one in ten anywhere), their groups (columnGroups.h) for a second tap at
// tapDistance, and rows source rows of srcCount elements of size bytes.
struct RowTrial {
    int32_t count, srcCount, size;
    Bytes src;
    std::vector<int32_t> offsets;
    std::vector<ColumnGroup> groups;
    const char* row(int32_t r) const {
        return chars(src) + static_cast<size_t>(r) * srcCount * size;
    }
};
RowTrial rowTrial(Rng& rng, int32_t size, int32_t rows, int32_t tapDistance) {
    RowTrial t;
    t.count = rng.range(1, 200);
    const int32_t spread = rng.range(1, 6);
    t.srcCount = spread * t.count + 8 + tapDistance;
    t.size = size;
    t.src = extremeBytes(rng, static_cast<size_t>(rows) * t.srcCount * size, size);
    t.offsets.resize(t.count);
    for (int32_t i = 0; i < t.count; ++i)
        t.offsets[i] = rng.range(0, 9) == 0 ? rng.range(0, t.srcCount - 1 - tapDistance)
                                            : i * spread / 2 + rng.range(0, 1);
    t.groups.resize(t.count / kColumnGroup + 1);
    groupColumns(t.offsets.data(), t.count, tapDistance, false, t.groups.data());
    return t;
}

// ----------------------------------------------------------------- zoom

struct ZoomRow {
    int32_t width, channels, srcPixelStep, dstPixelStep, dstStart;
    Bytes maskBits;
    MaskRow mask(bool masked) const {
        return {masked ? reinterpret_cast<const char*>(maskBits.data()) : nullptr,
                masked ? dstStart % 8 : 0};
    }
    // Values of the destination row with room behind it.
    size_t dstValues() const { return static_cast<size_t>(dstStart + width * dstPixelStep) + 8; }
};

ZoomRow zoomRow(Rng& rng, int32_t depth) {
    ZoomRow r;
    r.channels = depth == ZAR_DEPTH_1U ? 1 : rng.range(1, 5);
    r.width = rng.range(1, 130);
    r.srcPixelStep = r.channels + (depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1));
    r.dstPixelStep = r.channels + (depth == ZAR_DEPTH_1U ? 0 : rng.range(0, 1));
    r.dstStart = rng.range(0, 9);
    r.maskBits = extremeBytes(rng, static_cast<size_t>(r.width) / 8 + 4, 1);
    return r;
}

TEST(KernelVariants, EveryVariantOfEveryFamilyMatchesItsPlainKernel) {
    everyVariant(kAddRows, 400, [](const auto&, auto& t) {
        const int32_t size = t.size, n = t.range(1, 130), a = 80 + t.range(0, 15);
        // separate rows, in place, overlapping rows
        const int32_t b = t.number % 5 == 3 ? a : a + 200, apart = a + 400 + t.range(0, 15);
        const int32_t d = std::array{apart, a, b, a, a + t.range(-70, 70)}[t.number % 5];
        t.same(t.bytes(800),
               [&](auto k, char* v) { k(v + a * size, v + b * size, v + d * size, n); });
    });
    everyVariant(kRowHalvers, 300, [](const auto& e, auto& t) {
        const int32_t size = t.size, lanes = e.channels * t.range(1, 130);
        const Bytes rows = t.bytes(4 * static_cast<size_t>(lanes) + 64);
        const char* r0 = chars(rows) + size * t.range(0, 15);
        const char* r1 = r0 + size * (2 * lanes + t.range(0, 15));
        const int32_t start = size * t.range(0, 15);
        t.same(t.bytes(lanes + 16), [&](auto k, char* out) { k(r0, r1, out + start, lanes); });
    });
    everyVariant(kEvenPicks, 300, [](const auto&, auto& t) {
        const int32_t count = t.range(1, 200), start = t.size * t.range(0, 15);
        const Bytes src = t.bytes(2 * static_cast<size_t>(count) + 16);
        t.same(t.bytes(count + 16),
               [&](auto k, char* out) { k(chars(src) + start, out + start, count); });
    });
    everyVariant(kGatherRows, 300, [](const auto&, auto& t) {
        const RowTrial r = rowTrial(t, t.size, 1, 0);
        t.same(t.bytes(r.count + 8), [&](auto k, char* out) {
            k(r.row(0), out, r.offsets.data(), r.groups.data(), r.count);
        });
    });
    everyVariant(kLinearBlendRows, 300, [](const auto&, auto& t) {
        const int32_t tap = t.range(0, 4);
        const RowTrial r = rowTrial(t, t.size, 2, tap);
        std::vector<double> fxs(r.count), gxs(r.count);
        for (int32_t i = 0; i < r.count; ++i) {
            fxs[i] = t.range(0, 4) == 0 ? 0.5 : t.range(0, 1000000) / 1e6;
            gxs[i] = 1.0 - fxs[i];
        }
        const LinearBlend lanes{r.offsets.data(), r.groups.data(), fxs.data(), gxs.data(), tap,
                                r.count};
        const double fy = t.range(0, 3) == 0 ? 0.0 : t.range(0, 1000000) / 1e6;
        t.same(t.bytes(r.count + 8),
               [&](auto k, char* out) { k(r.row(0), r.row(1), lanes, fy, 1 - fy, out); });
    });
    everyVariant(kSuperRows, 300, [](const auto&, auto& t) {
        auto weight = [&] {
            return t.range(0, 3) ? t.range(0, 999999) / 1e6 : 0.5 * t.range(0, 2);
        };
        const int32_t taps = t.range(1, 5), tap = t.range(1, 4), rows = t.range(1, 4);
        const RowTrial r = rowTrial(t, t.size, rows, (taps - 1) * tap);
        std::vector<double> weights(static_cast<size_t>(taps) * r.count), rowWeights(rows);
        std::vector<const char*> rowStarts(rows);
        for (double& w : weights) w = weight();
        for (int32_t i = 0; i < rows; ++i) rowWeights[i] = weight(), rowStarts[i] = r.row(i);
        const SuperBoxes boxes{r.offsets.data(), r.groups.data(), weights.data(), taps, tap,
                               r.count,          r.count};
        const double scale = 1.0 / t.range(1, 6);
        t.same(t.bytes(r.count + 8), [&](auto k, char* out) {
            k(rowStarts.data(), rowWeights.data(), rows, boxes, scale, out);
        });
    });
    everyVariant(kCubicRows, 300, [](const auto&, auto& t) {
        const int32_t tap = t.range(1, 4);
        const RowTrial r = rowTrial(t, t.size, 1, 3 * tap);
        std::vector<double> ts(r.count);
        for (double& f : ts)
            f = t.range(0, 4) == 0 ? 1.0 + t.range(0, 1) / 2.0 : t.range(0, 999999) / 1e6;
        const CubicLanes lanes{r.offsets.data(), r.groups.data(), ts.data(), tap, r.count};
        t.same(t.bytes(r.count + 1, 8),
               [&](auto k, char* out) { k(r.row(0), lanes, reinterpret_cast<double*>(out)); });
    });
    everyVariant(kCubicColumns, 300, [](const auto&, auto& t) {
        const float hi = t.size == 1 ? 300.0f : 66000.0f;
        const int32_t count = t.range(1, 130);
        std::vector<std::vector<double>> rows(4, std::vector<double>(count));
        for (auto& row : rows)
            for (double& v : row)
                v = t.range(0, 3) ? workValue(t, -40.0f, hi) : t.range(0, 255) * t.size;
        const double* h[4] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()};
        const double at = t.range(0, 4) == 0 ? 0.5 * t.range(0, 4) : t.range(0, 1999999) / 1e6;
        t.same(t.bytes(count + 8), [&](auto k, char* out) { k(h, at, out, count); });
    });
    everyVariant(kMorphKernels, 300, [](const auto& e, auto& t) {
        const int32_t size = t.size, trial = t.number;
        const bool bits = e.depth == ZAR_DEPTH_1U;
        // Squares of 3 and 7 have one-pass kernels whose main loops start near 128 values.
        const int32_t shape = trial % 4, small = shape == 2 ? 3 : shape == 3 ? 7 : 0;
        const int32_t k = small ? small : 2 * (shape ? t.range(1, 6) : t.range(12, 30)) + 1;
        const int32_t ky = trial % 3 == 0 ? 2 * t.range(1, 20) + 1 : k;
        const int32_t w = t.range(1, small ? 300 : 130), step = bits ? 1 : t.range(1, 4);
        const ptrdiff_t stride = morphRingRowBytes(e.depth, (k + w - 1) * step);
        const Bytes ring = extremeBytes(t, static_cast<size_t>(stride) * (ky + 1), size);
        std::vector<char> scratch(static_cast<size_t>(stride));
        const int32_t start = size * t.range(0, 7);
        std::vector<const char*> rows(ky);  // shuffled and misaligned, as in place
        for (int32_t i = 0; i < ky; ++i)
            rows[i] = chars(ring) + t.range(0, ky - 1) * stride + (bits ? 0 : trial % 2 * size);
        SCOPED_TRACE(testing::Message() << "k " << k << "x" << ky << " w " << w);
        t.same(extremeBytes(t, static_cast<size_t>(stride) + 64, size), [&](auto kern, char* out) {
            kern(k, ky, rows.data(), scratch.data(), out + start, w * step, step);
        });
    });
    everyVariant(kBlurRows, 300, [](const auto& e, auto& t) {
        const int32_t size = t.size, sumBytes = e.sumBits / 8;
        BlurRowArgs a{};
        a.lanes = t.range(1, 6);
        a.nCols = t.range(1, t.number % 3 ? 17 : 40);
        const int32_t nRows = t.range(1, 20), width = t.range(1, 130);
        if (e.sumBits == 16 && !blurDivider16(a.nCols * nRows, &a.divider)) return;
        a.scale = static_cast<float>(1.0 / (a.nCols * nRows));
        a.count = width * a.lanes;
        a.span = (width + a.nCols) * a.lanes;
        // nRows + 1 rows: the column sums of the first nRows, the last entering
        Bytes rows = t.bytes(static_cast<size_t>(nRows + 1) * a.span + 64);
        const int32_t offset = size * t.range(0, 7);
        char* first = reinterpret_cast<char*>(rows.data()) + offset;
        const zt::Layout in{first, a.span * size, nRows + 1, 1, e.depth, ZAR_DATA_ORDER_PIXEL};
        // the column sums, then the output
        Bytes sums = extremeBytes(t, static_cast<size_t>(a.span) * sumBytes + a.count * size + 64,
                                  size);
        for (int32_t j = 0; j < a.span; ++j) {
            int64_t s = 0;
            for (int32_t r = 0; r < nRows; ++r) s += static_cast<int64_t>(getSample(in, j, r, 0));
            std::memcpy(sums.data() + j * sumBytes, &s, sumBytes);
        }
        a.leaving = first;
        a.entering = a.leaving + static_cast<size_t>(nRows) * a.span * size;
        Bytes windows(static_cast<size_t>(a.count) * 4);
        a.windows = windows.data();
        t.same(sums, [&](auto kernel, char* out) {
            a.sums = out;
            a.out = out + static_cast<size_t>(a.span) * sumBytes + offset;
            kernel(a);
        });
    });
    struct Entry {
        int32_t filter, depthIndex;
        Variants<RowKernel> variants;
    };
    std::vector<Entry> table;
    for (int32_t filter = 0; filter <= ZAR_FIXED_SHARPEN_3; ++filter)
        for (int32_t d = filter == ZAR_FIXED_SHARPEN_3 ? 1 : 0; d < kDepthCount; ++d)
            table.push_back({filter, d, rowKernelVariants(filter, d)});
    const int32_t sizes[kDepthCount] = {0, 1, 1, 2, 2, 4, 4};
    everyVariant(table, 40, [&](const auto& e, auto& t) {
        const int32_t size = sizes[e.depthIndex], one = std::max(size, 1);
        const int32_t k = fixedFilterShape(e.filter).nRows;
        RowJob job{};
        job.count = t.range(1, 130);
        job.rows = t.range(1, 3);
        job.elementStep = size == 0 ? 1 : t.range(1, 4);
        job.storeStep = t.range(0, 1) ? job.elementStep : 1;
        job.srcBit = size == 0 ? t.range(0, 7) : 0;
        job.dstBit = size == 0 ? t.range(0, 7) : 0;
        const int32_t values = job.count + (k - 1) * job.elementStep + job.srcBit;
        job.srcStep = size == 0 ? (values + 7) / 8 + 3 : (values + 3) * size;
        job.dstStep = size == 0 ? (job.count + 15) / 8 : (job.count + 5) * size;
        const Bytes src = extremeBytes(t, static_cast<size_t>(job.srcStep) * (job.rows + k), one);
        std::vector<char> scratch(rowKernelScratch(e.filter, job.count, job.elementStep));
        job.src = chars(src) + 3 * one;
        t.same(
            t.bytes(static_cast<size_t>(job.dstStep) * job.rows + 8),
            [&](auto kernel, char* out) {
                job.dst = out + one;
                kernel(job, scratch.data());
            },
            e.depthIndex == kDepth32f);
    });
    everyVariant(kZoomNearest, 300, [](const auto& e, auto& t) {
        const ZoomRow r = zoomRow(t, e.depth);
        const int32_t srcPixels = t.range(1, 300);
        const Bytes src = t.bytes(static_cast<size_t>(srcPixels) * r.srcPixelStep);
        std::vector<int32_t> colOff(r.width);
        for (int32_t& o : colOff) o = t.range(0, srcPixels - 1) * r.srcPixelStep;
        t.same(t.bytes(r.dstValues()), [&](auto k, char* out) {
            k(chars(src), out, r.dstStart, colOff.data(), r.width, r.channels, r.dstPixelStep,
              r.mask(e.masked));
        });
    });
    everyVariant(kZoomHorizontal, 300, [](const auto& e, auto& t) {
        const bool cubic = e.mode == ZAR_INTER_CUBIC;
        const ZoomRow r = zoomRow(t, e.depth);
        const int32_t step = r.srcPixelStep, count = r.width * r.channels;
        const bool pairs = t.range(0, 2) == 0;  // consecutive pairs: shrinks by two
        const int32_t srcPixels = (pairs ? 2 * r.width : t.range(1, 300)) + 8;
        const Bytes src = t.bytes(static_cast<size_t>(srcPixels) * step);
        std::vector<int32_t> offsets(count);
        std::vector<float> weights(static_cast<size_t>(count) * (cubic ? 3 : 1));
        for (int32_t c = 0; c < r.width; ++c) {
            const int32_t pixel = pairs ? 2 * c + 1 + (t.range(0, 30) == 0)
                                        : t.range(1, srcPixels - 5);
            const CubicWeights w = cubicWeights(workValue(t, 0.0f, 2.0f));
            for (int32_t k = 0; k < r.channels; ++k) {
                const int32_t i = c * r.channels + k;
                offsets[i] = pixel * step + k;
                weights[i] = cubic ? w.c1 : workValue(t, 0.0f, 1.0f);
                if (cubic) weights[count + i] = w.c2, weights[2 * count + i] = w.c3;
            }
        }
        t.same(t.bytes(count + 1, 4), [&](auto k, char* out) {
            k(chars(src), reinterpret_cast<float*>(out), offsets.data(), weights.data(), count,
              step);
        });
    });
    everyVariant(kZoomVertical, 300, [](const auto& e, auto& t) {
        const float hi = t.size == 1 ? 300.0f : 66000.0f;
        const ZoomRow r = zoomRow(t, e.depth);
        std::vector<std::vector<float>> rows(4, std::vector<float>(r.width * r.channels));
        for (auto& row : rows)
            for (float& v : row) v = workValue(t, -40.0f, hi);
        const float* work[4] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()};
        const float fy = workValue(t, 0.0f, 1.0f);
        const CubicWeights cw = cubicWeights(workValue(t, 0.0f, 2.0f));
        const void* weight = e.mode == ZAR_INTER_CUBIC ? static_cast<const void*>(&cw) : &fy;
        t.same(t.bytes(r.dstValues()), [&](auto k, char* out) {
            k(work, weight, out, r.dstStart, r.width, r.channels, r.dstPixelStep, r.mask(e.masked));
        });
    });
    everyVariant(kZoomFusedLinear, 300, [](const auto& e, auto& t) {
        ZoomRow r = zoomRow(t, e.depth);
        // enlarge, shrink by 2, by 5, anywhere, exactly by 2 (one channel, up to 300 wide)
        const int32_t spread = t.range(0, 4);
        if (spread == 4) r = {t.range(64, 300), 1, 1, 1, 0, {}};
        const int32_t step = r.srcPixelStep, count = r.width * r.channels;
        const int32_t srcPixels = 5 * r.width + 8;
        const Bytes src = t.bytes(2 * static_cast<size_t>(srcPixels) * step);
        std::vector<int32_t> offsets(count);
        std::vector<float> fx(count);
        for (int32_t c = 0; c < r.width; ++c) {
            const int32_t pixel = spread == 3 ? t.range(0, srcPixels - 2)
                                              : c * std::array{1, 4, 10, 0, 4}[spread] / 2 +
                                                    (spread < 4 && t.range(0, 30) == 0);
            const float f = workValue(t, 0.0f, 1.0f);
            for (int32_t k = 0; k < r.channels; ++k) {
                offsets[c * r.channels + k] = pixel * step + k;
                fx[c * r.channels + k] = f;
            }
        }
        std::vector<ColumnGroup> groups(count / kColumnGroup + 1);
        groupColumns(offsets.data(), count, step, e.depth == ZAR_DEPTH_8U, groups.data());
        // whole windows may be read up to the end of the bottom row
        LinearColumns cols{offsets.data(), fx.data(), groups.data(), count, step};
        cols.wholeGroups = wholeWindowGroups(groups.data(), count, srcPixels);
        cols.pairedGroups = pairedRunGroups(groups.data(), count);
        const int32_t rows = t.range(1, 4);
        std::vector<float> fys(rows);
        for (float& f : fys) f = workValue(t, 0.0f, 1.0f);
        const size_t rowBytes = static_cast<size_t>(count + 8) * t.size;
        const char* bottom = chars(src) + static_cast<size_t>(srcPixels) * step * t.size;
        t.same(t.bytes(rows * static_cast<size_t>(count + 8)), [&](auto k, char* out) {
            char* dstRows[4] = {out, out + rowBytes, out + 2 * rowBytes, out + 3 * rowBytes};
            k(chars(src), bottom, cols, fys.data(), dstRows, rows);
        });
    });
    // Random sources (1 to 4 channels, a spare one, ends of the range), regions,
    // and maps whose positions fall on integers, halves, the region's edges, just
    // outside it, on -0 and NaN; the source buffer ends at the last pixel.
    everyVariant(kRemapKernels, 200, [](const auto& e, auto& t) {
        const int32_t size = t.size;
        const int32_t sw = t.range(2, 40), sh = t.range(2, 12), w = t.range(1, 40);
        const int32_t channels = t.range(1, 4), stored = channels + t.range(0, 1);
        const int32_t ps = (e.planes ? 1 : stored) * size, rs = (sw + t.range(0, 4)) * ps;
        const size_t planeBytes = static_cast<size_t>(rs) * sh;
        const Bytes src = extremeBytes(t, planeBytes * (e.planes ? stored : 1), size);
        const int32_t x0 = t.range(0, sw - 1), y0 = t.range(0, sh - 1);
        const int32_t x1 = t.range(x0, sw - 1), y1 = t.range(y0, sh - 1);
        std::vector<float> maps(2 * static_cast<size_t>(w) * 3);
        for (size_t i = 0; i < maps.size(); ++i) {
            const bool isX = i % (2 * w) < static_cast<size_t>(w);
            const int32_t lo = isX ? x0 : y0, hi = isX ? x1 : y1;
            const float l = static_cast<float>(lo), h = static_cast<float>(hi);
            const float mid = t.range(lo, hi) + 0.5f;
            const float ends[] = {l, h, -0.0f, h + 0.5f, NAN, l - 1e-7f, h - 1e-7f, mid};
            const int32_t kind = t.range(0, 11);
            maps[i] = kind < 8 ? ends[kind] : t.range(lo * 1000 - 9, hi * 1000 + 9) / 1e3f;
        }
        const int32_t dps = ps + (e.planes ? 0 : size * t.range(0, 1) * (channels == 1));
        const intptr_t drs = static_cast<intptr_t>(w + 2) * dps;
        const intptr_t dcs = e.planes ? drs * 3 : size;
        const char* s = chars(src);
        const char* m = reinterpret_cast<const char*>(maps.data());
        const intptr_t cs = e.planes ? static_cast<intptr_t>(planeBytes) : size;
        const auto bits = [](int32_t v) { return floatBits(static_cast<float>(v)); };
        RemapJob job = aggregate<RemapJob>(
            s, s + src.size() - (rs - sw * ps), cs, ps, rs, nullptr, 0, dcs, dps, drs, m, m + 4 * w,
            8 * w, 8 * w, channels, w, 3, sw, sh, x1, y1, bits(x0), bits(x1), bits(y0), bits(y1));
        t.same(extremeBytes(t, dcs * channels + drs * 3 + 8, size), [&](auto k, char* out) {
            job.dst = out;
            k(job);
        });
    });
}

// The box filter's division: for every area N whose 8-bit window sums fit 16
// bits and every sum S, the multiply-high equals the integer part of S times
// fl(1/N) (exact in double); the common areas have a divider.  Also the 5x5
// Gaussian's estimate of its quotient by 571.
TEST(KernelVariants, BlurDividerEqualsTheSinglePrecisionRule) {
    int32_t dividers = 0;
    for (int32_t area = 2; area <= 257; ++area) {
        BlurDivider16 d;
        if (!blurDivider16(area, &d)) {
            EXPECT_TRUE(area != 9 && area != 25 && area != 225) << "a common area: " << area;
            continue;
        }
        ++dividers;
        const double scale = static_cast<float>(1.0 / area);
        for (int32_t s = 0; s <= 255 * area; ++s) {
            const uint32_t biased = s > d.bias ? static_cast<uint32_t>(s - d.bias) : 0;
            const uint32_t q = (biased * d.multiplier) >> (16 + d.shift);
            ASSERT_EQ(q, static_cast<uint32_t>(s * scale)) << "area " << area << " sum " << s;
        }
    }
    EXPECT_GT(dividers, 200);
    // The 5x5 Gaussian's estimate of floor(X / 571) from quarters Y is the quotient or one less.
    for (int32_t x = 0; x <= kGauss5MaxSum; ++x)
        for (int32_t y = std::max(0, (x - 6) / 4); y <= x / 4; ++y) {
            const int32_t estimate = (y * kGauss5Reciprocal) >> 16;
            ASSERT_TRUE(estimate == x / 571 || estimate == x / 571 - 1) << x << " " << y;
        }
}

// The linear vertical pass rounds in single precision where the plain one
// rounds v - 0.5 + 0.00001 in double precision: equal after saturation for
// every float the pass can meet, [-4, 131072] (with fy = 0, v is the top row's
// value).  Values below 2^-10 in size give 0 both ways and are sampled.
TEST(KernelVariants, ZoomLinearRoundingOverEveryFloat) {
    const ZoomVerticalEntry& e = kZoomVertical[4];  // 16U linear unmasked
    ASSERT_TRUE(e.depth == ZAR_DEPTH_16U && e.mode == ZAR_INTER_LINEAR && !e.masked);
    const VerticalRowFn fn = e.variants.pick(detectedIsaLevel()), plain = e.variants.at[0];
    if (fn == plain) GTEST_SKIP() << "no variant at this level";
    constexpr int32_t kRun = 4096;
    std::vector<float> top(kRun), bottom(kRun, 0.0f);
    std::vector<uint16_t> variant(kRun), expected(kRun);
    const float fy = 0.0f, *work[2] = {top.data(), bottom.data()};
    auto check = [&](uint32_t first, uint32_t last, uint32_t stride) {
        for (uint64_t b = first; b <= last; b += uint64_t{kRun} * stride) {
            for (int32_t i = 0; i < kRun; ++i) {
                const uint32_t bits = static_cast<uint32_t>(
                    std::min<uint64_t>(b + i * stride, last));
                std::memcpy(&top[i], &bits, 4);
            }
            fn(work, &fy, reinterpret_cast<char*>(variant.data()), 0, kRun, 1, 1, {nullptr, 0});
            plain(work, &fy, reinterpret_cast<char*>(expected.data()), 0, kRun, 1, 1, {nullptr, 0});
            ASSERT_EQ(variant, expected) << "from " << top[0];
        }
    };
    check(floatBits(1.0f / 1024), floatBits(131072.0f), 1);
    check(floatBits(-1.0f / 1024), floatBits(-4.0f), 1);
    check(0, floatBits(1.0f / 1024), 9973);
    check(floatBits(-0.0f), floatBits(-1.0f / 1024), 9973);
}

}  // namespace
