// Dilation and erosion: the maximum or minimum of the source over a
// (2n + 1) x (2n + 1) square, for n iterations of the 3 x 3 square, in one
// separable pass over a ring of source rows.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "image/image.h"
#include "image/region.h"
#include "image/rows.h"
#include "morph/morph.h"

namespace {

constexpr const char* kFile = "ownMorph";

int64_t floorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// ============================================================ value runs
//
// Runs of channel values are moved between image rows and ring rows.  A
// position counts values from a row base (bits for 1-bit images); image values
// lie `step` values apart (the channel count in pixel order), ring values next
// to each other.

struct ValueRuns {
    // count values from src (from srcPos, stride srcStep, descending when
    // reversed) to dst (from dstPos, stride dstStep, ascending).
    void (*copy)(const char* src, int64_t srcPos, int32_t srcStep, bool reversed, char* dst,
                 int64_t dstPos, int32_t dstStep, int32_t count);
    // count values from pos on take value (already reduced to the depth).
    void (*fill)(char* buffer, int64_t pos, int32_t count, uint32_t value);
    // The value at pos.
    uint32_t (*get)(const char* buffer, int64_t pos);
};

template <typename T>
void copyWords(const char* src, int64_t srcPos, int32_t srcStep, bool reversed, char* dst,
               int64_t dstPos, int32_t dstStep, int32_t count) {
    const T* s = reinterpret_cast<const T*>(src) + srcPos;
    T* d = reinterpret_cast<T*>(dst) + dstPos;
    if (!reversed && srcStep == 1 && dstStep == 1) {
        std::memmove(d, s, static_cast<size_t>(count) * sizeof(T));
        return;
    }
    const ptrdiff_t sStep = reversed ? -static_cast<ptrdiff_t>(srcStep) : srcStep;
    for (int32_t i = 0; i < count; ++i) d[i * static_cast<ptrdiff_t>(dstStep)] = s[i * sStep];
}

template <typename T>
void fillValues(char* buffer, int64_t pos, int32_t count, uint32_t value) {
    fillRunFor(sizeof(T))(buffer + pos * static_cast<int64_t>(sizeof(T)), count, value);
}

template <typename T>
uint32_t getValue(const char* buffer, int64_t pos) {
    return reinterpret_cast<const T*>(buffer)[pos];
}

// 1-bit rows (most significant bit first) through the shared bit-run kernels.
void copyBitValues(const char* src, int64_t srcPos, int32_t, bool reversed, char* dst,
                   int64_t dstPos, int32_t, int32_t count) {
    const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
    uint8_t* d = reinterpret_cast<uint8_t*>(dst);
    if (reversed)
        copyBitsReversed(s, srcPos, d, dstPos, count);
    else
        copyBits(s, srcPos, d, dstPos, count);
}

void fillBitValues(char* buffer, int64_t pos, int32_t count, uint32_t value) {
    fillBits(reinterpret_cast<uint8_t*>(buffer), pos, count, value != 0);
}

uint32_t getBitValue(const char* buffer, int64_t pos) {
    return static_cast<uint32_t>(getBit(reinterpret_cast<const uint8_t*>(buffer), pos));
}

const ValueRuns kBitRuns{copyBitValues, fillBitValues, getBitValue};
const ValueRuns kByteRuns{copyWords<uint8_t>, fillValues<uint8_t>, getValue<uint8_t>};
const ValueRuns kShortRuns{copyWords<uint16_t>, fillValues<uint16_t>, getValue<uint16_t>};

// Only 1-, 8- and 16-bit images reach here (checkMorphArgs).
const ValueRuns& runsFor(int32_t depth) {
    switch (bitDepth(depth)) {
        case 1:
            return kBitRuns;
        case 8:
            return kByteRuns;
        default:
            return kShortRuns;
    }
}

// ============================================================ image rows

// Moves count values of image row y, channel `channel`, columns x .. x + count - 1
// (all inside the image) from or to buffer at bufPos.  Reading may take the
// columns in descending order (reversed).  Tiled images go tile by tile, each
// tile fetched and released at once.
bool transferRun(ImageHeader* image, const ValueRuns& runs, int32_t x, int32_t y, int32_t channel,
                 char* buffer, int64_t bufPos, int32_t count, bool reversed, bool toImage) {
    const bool plane = image->dataOrder == ZAR_DATA_ORDER_PLANE;
    const int32_t step = plane ? 1 : image->nChannels;
    const int32_t bytes = bytesPerValue(image->depth);
    if (!image->tileInfo) {
        char* base = pixelAddress(image, 0, y, channel);
        if (toImage)
            runs.copy(buffer, bufPos, 1, false, base, static_cast<int64_t>(x) * step, step, count);
        else if (reversed)
            runs.copy(base, static_cast<int64_t>(x + count - 1) * step, step, true, buffer, bufPos,
                      1, count);
        else
            runs.copy(base, static_cast<int64_t>(x) * step, step, false, buffer, bufPos, 1, count);
        return true;
    }
    const TileInfo& tiles = *image->tileInfo;
    // The tile stride without tileWidthStep's header validation, which every
    // row would repeat.
    const int32_t tileStep = computeWidthStep(image->dataOrder, image->depth, image->align,
                                              image->nChannels, tiles.width);
    const int32_t tileRow = y / tiles.height;
    const int64_t rowOffset = static_cast<int64_t>(y % tiles.height) * tileStep +
                              (plane ? static_cast<int64_t>(channel) * tiles.height * tileStep
                                     : static_cast<int64_t>(channel) * bytes);
    const int32_t mode = toImage ? ZAR_TILE_WRITE : ZAR_TILE_READ;
    const int32_t end = x + count;  // exclusive
    for (int32_t column = x / tiles.width; column <= (end - 1) / tiles.width; ++column) {
        char* tile = nullptr;
        if (fetchTileRow(image, &tile, 1, column, tileRow, 1, mode) != 0) return false;
        char* base = tile + rowOffset;
        const int32_t tileX = column * tiles.width;
        const int32_t a = std::max(x, tileX), b = std::min(end, tileX + tiles.width);
        const int32_t n = b - a;
        if (toImage)
            runs.copy(buffer, bufPos + (a - x), 1, false, base,
                      static_cast<int64_t>(a - tileX) * step, step, n);
        else if (reversed)  // column c goes to bufPos + (end - 1 - c)
            runs.copy(base, static_cast<int64_t>(b - 1 - tileX) * step, step, true, buffer,
                      bufPos + (end - b), 1, n);
        else
            runs.copy(base, static_cast<int64_t>(a - tileX) * step, step, false, buffer,
                      bufPos + (a - x), 1, n);
        releaseTileRow(image, &tile, 1, column, tileRow, 1);
    }
    return true;
}

// A coordinate outside 0 .. size - 1 mapped into it by a replicate, reflect
// or wrap border (reflect repeats the edge: -1 -> 0, size -> size - 1).
int32_t mapCoordinate(int32_t mode, int32_t c, int32_t size) {
    const int64_t block = floorDiv(c, size);
    const int32_t r = static_cast<int32_t>(c - block * size);
    switch (mode) {
        case ZAR_BORDER_REPLICATE:
            return c < 0 ? 0 : (c >= size ? size - 1 : c);
        case ZAR_BORDER_REFLECT:
            return (block & 1) ? size - 1 - r : r;
        default:
            return r;  // wrap
    }
}

}  // namespace

bool readRowAt(ImageHeader* image, int32_t x, int32_t y, int32_t channel, char* buffer,
               int64_t bufferPos, int32_t count) {
    const ValueRuns& runs = runsFor(image->depth);
    const int32_t width = image->width, height = image->height;
    // Above or below the image the top or bottom rule governs the whole row,
    // corners included, for both coordinates.
    const int32_t rowSide = y < 0 ? 0 : (y >= height ? 1 : -1);
    int32_t row = y;
    if (rowSide >= 0) {
        const int32_t mode = image->borderModes[rowSide] & 3;
        if (mode == ZAR_BORDER_CONSTANT) {
            runs.fill(buffer, bufferPos, count,
                      borderPattern(image->depth, image->borderValues[rowSide]));
            return true;
        }
        row = mapCoordinate(mode, y, height);
    }
    // Pieces that do not cross a multiple of the width: each lies in one
    // zone and maps to one ascending or descending run of image columns.
    for (int32_t done = 0; done < count;) {
        const int64_t c = static_cast<int64_t>(x) + done;
        const int64_t block = floorDiv(c, width);
        const int32_t len = static_cast<int32_t>(
            std::min<int64_t>(count - done, (block + 1) * width - c));
        const int32_t r = static_cast<int32_t>(c - block * width);
        const int64_t pos = bufferPos + done;
        bool ok = true;
        if (block == 0) {
            ok = transferRun(image, runs, r, row, channel, buffer, pos, len, false, false);
        } else {
            const int32_t side = rowSide >= 0 ? rowSide : (block < 0 ? 2 : 3);
            switch (image->borderModes[side] & 3) {
                case ZAR_BORDER_CONSTANT:
                    runs.fill(buffer, pos, len,
                              borderPattern(image->depth, image->borderValues[side]));
                    break;
                case ZAR_BORDER_REPLICATE:
                    ok = transferRun(image, runs, block < 0 ? 0 : width - 1, row, channel, buffer,
                                     pos, 1, false, false);
                    if (ok && len > 1) runs.fill(buffer, pos + 1, len - 1, runs.get(buffer, pos));
                    break;
                case ZAR_BORDER_REFLECT:
                    if (block & 1)  // mirrored: columns width - 1 - r down to width - r - len
                        ok = transferRun(image, runs, width - r - len, row, channel, buffer, pos,
                                         len, true, false);
                    else
                        ok = transferRun(image, runs, r, row, channel, buffer, pos, len, false,
                                         false);
                    break;
                default:  // wrap
                    ok = transferRun(image, runs, r, row, channel, buffer, pos, len, false, false);
                    break;
            }
        }
        if (!ok) return false;
        done += len;
    }
    return true;
}

bool readRowWithBorder(ImageHeader* image, int32_t x, int32_t y, int32_t channel, char* buffer,
                       int32_t count) {
    return readRowAt(image, x, y, channel, buffer, 0, count);
}

bool writeRow(const char* buffer, int32_t count, ImageHeader* image, int32_t x, int32_t y,
              int32_t channel) {
    return transferRun(image, runsFor(image->depth), x, y, channel, const_cast<char*>(buffer), 0,
                       count, false, true);
}

// Whole pixels of a pixel-order image without tiles: count pixels of all
// channels from column x on into buffer, interleaved as in the image.  The
// columns inside the image of a row inside it are copied at once; the rest
// (frame rows and columns beyond the image, a pixel or a row at a time) goes
// channel by channel through the border rules via temp (count values).
bool readPixelRow(ImageHeader* image, int32_t x, int32_t y, char* buffer, int32_t count,
                  char* temp) {
    const ValueRuns& runs = runsFor(image->depth);
    const int32_t channels = image->nChannels;
    const int64_t pixelBytes = static_cast<int64_t>(channels) * bytesPerValue(image->depth);
    auto byChannel = [&](int32_t from, int32_t length) {
        for (int32_t c = 0; c < channels; ++c) {
            if (!readRowAt(image, from, y, c, temp, 0, length)) return false;
            runs.copy(temp, 0, 1, false, buffer, static_cast<int64_t>(from - x) * channels + c,
                      channels, length);
        }
        return true;
    };
    const int64_t end = static_cast<int64_t>(x) + count;
    const int32_t a = static_cast<int32_t>(std::clamp<int64_t>(x, 0, image->width));
    const int32_t b = static_cast<int32_t>(std::clamp<int64_t>(end, 0, image->width));
    if (y < 0 || y >= image->height || a >= b) return byChannel(x, count);
    if (a > x && !byChannel(x, a - x)) return false;
    std::memcpy(buffer + (a - x) * pixelBytes, pixelAddress(image, a, y, 0),
                static_cast<size_t>((b - a) * pixelBytes));
    return end <= b || byChannel(b, static_cast<int32_t>(end - b));
}

// ================================================================ kernels

namespace {

template <typename T>
struct Larger {
    static T pick(T a, T b) { return a > b ? a : b; }
};
template <typename T>
struct Smaller {
    static T pick(T a, T b) { return a < b ? a : b; }
};

// The same with three comparisons per output whatever k: the row is cut into
// blocks of k; a window starting at j covers the end of j's block (suffix
// extreme, kept in result) and the start of the next (prefix extreme,
// computed over column in place).
template <typename T, typename Pick>
void blockExtreme(T* column, T* result, int32_t k, int32_t w) {
    const int32_t length = k + w - 1;
    for (int32_t start = 0; start < w; start += k) {
        const int32_t end = std::min(start + k, length) - 1;
        T running = column[end];
        for (int32_t i = end; i >= start; --i) {
            running = Pick::pick(running, column[i]);
            if (i < w) result[i] = running;
        }
    }
    for (int32_t start = 0; start < length; start += k) {
        const int32_t end = std::min(start + k, length);
        for (int32_t i = start + 1; i < end; ++i) column[i] = Pick::pick(column[i - 1], column[i]);
    }
    for (int32_t j = 0; j < w; ++j) result[j] = Pick::pick(result[j], column[j + k - 1]);
}

// From this size on the block form's fixed cost beats k vectorised passes.
constexpr int32_t kBlockExtremeFrom = 25;

// d = extreme(a, b, c) and d = extreme(d, sources...): whole-row loops over
// separate buffers, which vectorise.
template <typename T, typename Pick>
[[gnu::always_inline]] inline void pickThree(T* __restrict d, const T* __restrict a,
                                             const T* __restrict b, const T* __restrict c,
                                             int32_t count) {
    for (int32_t j = 0; j < count; ++j) d[j] = Pick::pick(Pick::pick(a[j], b[j]), c[j]);
}
template <typename T, typename Pick>
[[gnu::always_inline]] inline void pickTwoInto(T* __restrict d, const T* __restrict a,
                                               const T* __restrict b, int32_t count) {
    for (int32_t j = 0; j < count; ++j) d[j] = Pick::pick(d[j], Pick::pick(a[j], b[j]));
}
template <typename T, typename Pick>
[[gnu::always_inline]] inline void pickFourInto(T* __restrict d, const T* __restrict a,
                                                const T* __restrict b, const T* __restrict c,
                                                const T* __restrict e, int32_t count) {
    for (int32_t j = 0; j < count; ++j)
        d[j] = Pick::pick(d[j], Pick::pick(Pick::pick(a[j], b[j]), Pick::pick(c[j], e[j])));
}

// d = the extreme of source(0) .. source(k - 1), k odd: three sources in the
// first pass, then four (or the last two) per pass.
template <typename T, typename Pick, typename Source>
[[gnu::always_inline]] inline void pickOfOdd(T* d, int32_t k, Source source, int32_t count) {
    pickThree<T, Pick>(d, source(0), source(1), source(2), count);
    int32_t i = 3;
    for (; i + 3 < k; i += 4)
        pickFourInto<T, Pick>(d, source(i), source(i + 1), source(i + 2), source(i + 3), count);
    if (i < k) pickTwoInto<T, Pick>(d, source(i), source(i + 1), count);
}

// 8- and 16-bit rows of `step` interleaved channels: the column extreme of
// the k ring rows into scratch, then the extreme of k neighbouring pixels of
// that column per output value.  k is odd (2 n + 1), so a 3 x 3 square is
// one vertical and one horizontal pass, a 7 x 7 square two of each.
template <typename T, typename Pick>
[[gnu::always_inline]] inline void valueRowsBody(int32_t k, char* ring, ptrdiff_t ringStride,
                                                 char* out, int32_t values, int32_t step) {
    const int32_t length = values + (k - 1) * step;
    T* column = reinterpret_cast<T*>(ring + k * ringStride);
    pickOfOdd<T, Pick>(
        column, k, [&](int32_t i) { return reinterpret_cast<const T*>(ring + i * ringStride); },
        length);
    T* result = reinterpret_cast<T*>(out);
    if (k >= kBlockExtremeFrom && step == 1) {
        blockExtreme<T, Pick>(column, result, k, values);
        return;
    }
    pickOfOdd<T, Pick>(
        result, k, [&](int32_t t) { return static_cast<const T*>(column + t * step); }, values);
}

template <typename T, typename Pick>
void valueRows(int32_t k, char* ring, ptrdiff_t ringStride, char* out, int32_t values,
               int32_t step) {
    valueRowsBody<T, Pick>(k, ring, ringStride, out, values, step);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ZAR_MORPH_AVX2 1
// The same loops compiled for 32-byte vectors (and AVX2's unsigned 16-bit
// maximum and minimum); chosen per call where the processor has them.
template <typename T, typename Pick>
__attribute__((target("avx2"))) void valueRowsAvx2(int32_t k, char* ring, ptrdiff_t ringStride,
                                                   char* out, int32_t values, int32_t step) {
    valueRowsBody<T, Pick>(k, ring, ringStride, out, values, step);
}
#endif

// The one-channel form of the table below.
template <typename T, typename Pick>
void valueKernel(int32_t k, char* ring, ptrdiff_t ringStride, char* out, int32_t, int32_t w) {
    valueRows<T, Pick>(k, ring, ringStride, out, w, 1);
}

// 32 pixels of a 1-bit row as one integer, first pixel in bit 31.
uint32_t loadStream(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return std::endian::native == std::endian::little ? __builtin_bswap32(v) : v;
}
void storeStream(char* p, uint32_t v) {
    if (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

struct BitOr {
    static uint32_t pick(uint32_t a, uint32_t b) { return a | b; }
};
struct BitAnd {
    static uint32_t pick(uint32_t a, uint32_t b) { return a & b; }
};

// Word i of a bit stream shifted left by s bits: stream bits 32 i + s on.
inline uint32_t streamAt(const uint32_t* stream, int32_t i, int32_t s) {
    const int32_t q = i + (s >> 5), r = s & 31;
    return r ? (stream[q] << r) | (stream[q + 1] >> (32 - r)) : stream[q];
}

// 1-bit rows, 32 pixels per operation: the vertical pass combines whole words
// of the k rows.  The horizontal pass doubles windows in place (bit j of the
// column stream comes to combine bits j .. j + span - 1) up to the largest
// span <= k, so a window of k is two overlapping spans: log2(k) passes
// instead of k.
template <typename Pick>
void bitKernel(int32_t k, char* ring, ptrdiff_t ringStride, char* out, int32_t outBitOffset,
               int32_t w) {
    const int32_t length = k + w - 1;
    const int32_t words = (length + 31) / 32;
    uint32_t* column = reinterpret_cast<uint32_t*>(ring + k * ringStride);
    std::memcpy(column, ring, static_cast<size_t>(words) * 4);
    for (int32_t i = 1; i < k; ++i) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(ring + i * ringStride);
        for (int32_t j = 0; j < words; ++j) column[j] = Pick::pick(column[j], row[j]);
    }
    // Stream order; the spare word past the row feeds only bits beyond w.
    for (int32_t j = 0; j < words; ++j)
        column[j] = loadStream(reinterpret_cast<const char*>(column + j));
    column[words] = 0;

    int32_t span = 1;
    for (; 2 * span <= k; span *= 2) {
        // Word i reads up to word i + span / 32 + 1; the words left out hold
        // only positions past length - 2 span, which no output needs.
        const int32_t limit = words - (span >> 5);
        for (int32_t i = 0; i < limit; ++i)
            column[i] = Pick::pick(column[i], streamAt(column, i, span));
    }
    const int32_t rest = k - span;  // the second span starts rest bits on

    const int32_t outWords = (w + 31) / 32;
    const int32_t shift = outBitOffset;
    uint32_t carry = shift ? loadStream(out) & ~(0xFFFFFFFFu >> shift) : 0;  // bits before the run
    for (int32_t i = 0; i < outWords; ++i) {
        const uint32_t acc = rest ? Pick::pick(column[i], streamAt(column, i, rest)) : column[i];
        if (shift == 0) {
            storeStream(out + 4 * i, acc);
        } else {
            storeStream(out + 4 * i, carry | (acc >> shift));
            carry = acc << (32 - shift);
        }
    }
    if (shift != 0 && (w + shift + 31) / 32 > outWords) storeStream(out + 4 * outWords, carry);
}

// Where the mask row is set the result, elsewhere the destination's own value.
void mergeUnderMask(const char* result, const char* maskRow, char* destination, int32_t words) {
    const uint32_t* o = reinterpret_cast<const uint32_t*>(result);
    const uint32_t* m = reinterpret_cast<const uint32_t*>(maskRow);
    uint32_t* d = reinterpret_cast<uint32_t*>(destination);
    for (int32_t i = 0; i < words; ++i) d[i] = (o[i] & m[i]) | (d[i] & ~m[i]);
}

// The filter's form of the 1-bit kernel (one channel, no bit offset).
template <typename Pick>
void bitRows(int32_t k, char* ring, ptrdiff_t ringStride, char* out, int32_t values, int32_t) {
    bitKernel<Pick>(k, ring, ringStride, out, 0, values);
}

struct KernelEntry {
    int32_t depth;
    MorphKernel kernel;
    MorphRowsKernel rows;
    MorphRowsKernel rowsAvx2;  // null where there is no such variant
};
template <typename T, typename Pick>
constexpr KernelEntry valueEntryOf(int32_t depth) {
#ifdef ZAR_MORPH_AVX2
    return {depth, valueKernel<T, Pick>, valueRows<T, Pick>, valueRowsAvx2<T, Pick>};
#else
    return {depth, valueKernel<T, Pick>, valueRows<T, Pick>, nullptr};
#endif
}
template <typename T>
constexpr KernelEntry valueEntry(int32_t depth, MorphOp op) {
    return op == MorphOp::Dilate ? valueEntryOf<T, Larger<T>>(depth)
                                 : valueEntryOf<T, Smaller<T>>(depth);
}
const KernelEntry kErodeKernels[] = {
    {ZAR_DEPTH_1U, bitKernel<BitAnd>, bitRows<BitAnd>, nullptr},
    valueEntry<uint8_t>(ZAR_DEPTH_8U, MorphOp::Erode),
    valueEntry<uint16_t>(ZAR_DEPTH_16U, MorphOp::Erode),
};
const KernelEntry kDilateKernels[] = {
    {ZAR_DEPTH_1U, bitKernel<BitOr>, bitRows<BitOr>, nullptr},
    valueEntry<uint8_t>(ZAR_DEPTH_8U, MorphOp::Dilate),
    valueEntry<uint16_t>(ZAR_DEPTH_16U, MorphOp::Dilate),
};

const KernelEntry* kernelEntryFor(MorphOp op, int32_t depth) {
    for (const KernelEntry& entry : op == MorphOp::Dilate ? kDilateKernels : kErodeKernels)
        if (entry.depth == depth) return &entry;
    return nullptr;
}

}  // namespace

MorphKernel morphKernelFor(MorphOp op, int32_t depth) {
    const KernelEntry* entry = kernelEntryFor(op, depth);
    return entry ? entry->kernel : nullptr;
}

MorphRowsKernel morphRowsKernelFor(MorphOp op, int32_t depth, bool plain) {
    const KernelEntry* entry = kernelEntryFor(op, depth);
    if (!entry) return nullptr;
#ifdef ZAR_MORPH_AVX2
    if (!plain && entry->rowsAvx2 && __builtin_cpu_supports("avx2")) return entry->rowsAvx2;
#endif
    return entry->rows;
}

ptrdiff_t morphRingRowBytes(int32_t depth, int32_t length) {
    const int64_t bytes = bitDepth(depth) == 1
                              ? (static_cast<int64_t>(length) + 7) / 8 + 4
                              : static_cast<int64_t>(length) * bytesPerValue(depth);
    return static_cast<ptrdiff_t>((bytes + 7) / 8 * 8);
}

// ============================================================ the filter

namespace {

struct MorphRun {
    ImageHeader* src;  // the headers whose pixels are read and written
    ImageHeader* dst;
    MorphRowsKernel kernel;
    int32_t channels;  // values per ring pixel: all channels at once, or one
    bool direct;       // results go straight into the destination rows
    int32_t k, n, w, h;
    int32_t xs, ys, xd, yd;
    char* ring;
    ptrdiff_t stride;
    const ImageHeader* mask;  // the combined mask, or null
};

// Source row y of a channel by the row rule: the row clamped to the region's
// one-pixel frame, the w + 2 values from the frame column left of the region
// on read with the border rules, and the n - 1 values beyond the frame on
// either side repeating the frame pixel.
bool readSourceRow(const MorphRun& run, int32_t y, int32_t channel, char* slot) {
    const int32_t clamped = std::clamp(y, run.ys - 1, run.ys + run.h);
    if (run.channels > 1) {
        const size_t pixelBytes = static_cast<size_t>(run.channels) * bytesPerValue(run.src->depth);
        char* frame = slot + (run.n - 1) * pixelBytes;
        if (!readPixelRow(run.src, run.xs - 1, clamped, frame, run.w + 2,
                          run.ring + run.k * run.stride))
            return false;
        if (run.n > 1) {  // repeat the frame pixels outwards
            std::memcpy(slot, frame, pixelBytes);
            repeatBytes(slot, pixelBytes, (run.n - 1) * pixelBytes);
            repeatBytes(frame + (run.w + 1) * pixelBytes, pixelBytes, run.n * pixelBytes);
        }
        return true;
    }
    if (!readRowAt(run.src, run.xs - 1, clamped, channel, slot, run.n - 1, run.w + 2)) return false;
    if (run.n > 1) {
        const ValueRuns& runs = runsFor(run.src->depth);
        runs.fill(slot, 0, run.n - 1, runs.get(slot, run.n - 1));
        runs.fill(slot, run.n + run.w + 1, run.n - 1, runs.get(slot, run.n + run.w));
    }
    return true;
}

MorphResult filterChannel(const MorphRun& run, int32_t srcChannel, int32_t dstChannel) {
    const int32_t k = run.k;
    char* scratch = run.ring + k * run.stride;
    auto slot = [&](int32_t i) { return run.ring + i * run.stride; };
    // Rows clamped to the frame repeat; a repeat is copied from the slot that
    // holds it, so each source row is read once.
    int32_t lastRow = INT32_MIN;
    const char* lastSlot = nullptr;
    auto load = [&](int32_t y, char* into) {
        const int32_t clamped = std::clamp(y, run.ys - 1, run.ys + run.h);
        if (clamped == lastRow) {
            std::memcpy(into, lastSlot, static_cast<size_t>(run.stride));
        } else if (!readSourceRow(run, y, srcChannel, into)) {
            return false;
        }
        lastRow = clamped;
        lastSlot = into;
        return true;
    };
    for (int32_t i = 0; i < k - 1; ++i)
        if (!load(run.ys - run.n + i, slot(i))) return MorphResult::TileReadRefused;

    const int32_t depthBits = bitDepth(run.dst->depth);
    const int32_t maskWords = static_cast<int32_t>((static_cast<int64_t>(depthBits) * run.w + 31) /
                                                   32);
    int32_t next = k - 1;
    for (int32_t r = 0; r < run.h; ++r) {
        if (!load(run.ys + r + run.n, slot(next))) return MorphResult::TileReadRefused;
        next = (next + 1) % k;  // the oldest row, no longer needed once the columns are done
        if (run.direct) {
            run.kernel(k, run.ring, run.stride,
                       pixelAddress(run.dst, run.xd, run.yd + r, dstChannel), run.w * run.channels,
                       run.channels);
            continue;
        }
        char* out = slot(next);
        run.kernel(k, run.ring, run.stride, out, run.w, 1);
        const char* result = out;
        if (run.mask) {
            if (!readRowAt(run.dst, run.xd, run.yd + r, dstChannel, scratch, 0, run.w))
                return MorphResult::TileReadRefused;
            mergeUnderMask(out,
                           run.mask->imageData + static_cast<ptrdiff_t>(r) * run.mask->widthStep,
                           scratch, maskWords);
            result = scratch;
        }
        if (!writeRow(result, run.w, run.dst, run.xd, run.yd + r, dstChannel))
            return MorphResult::TileWriteRefused;
    }
    return MorphResult::Done;
}

// First and last processed channel (1-based): the channel of interest, or all
// channels but an alpha channel.
void processedChannels(const ImageHeader* image, int32_t* first, int32_t* last) {
    const int32_t coi = image->roi ? image->roi->coi : 0;
    *first = coi ? coi : 1;
    *last = coi ? coi : image->nChannels - (image->alphaChannel ? 1 : 0);
}

}  // namespace

MorphResult morphFilter(ImageHeader* src, ImageHeader* dst, int32_t k, MorphOp op,
                        ImageHeader* srcPixels, ImageHeader* dstPixels) {
    MorphRun run{};
    run.src = srcPixels ? srcPixels : src;
    run.dst = dstPixels ? dstPixels : dst;
    run.kernel = morphRowsKernelFor(op, src->depth);
    run.w = src->roi->width;
    run.h = src->roi->height;
    run.xs = src->roi->xOffset;
    run.ys = src->roi->yOffset;
    run.xd = dst->roi->xOffset;
    run.yd = dst->roi->yOffset;
    run.mask = dst->maskImage;
    run.k = k;
    run.n = (k - 1) / 2;
    int32_t srcFirst, srcLast, dstFirst, dstLast;
    processedChannels(src, &srcFirst, &srcLast);
    processedChannels(dst, &dstFirst, &dstLast);
    // Pixel-order images without tiles or mask whose every channel is
    // processed go all channels at once, over rows read and written whole.
    const bool untiled = !run.src->tileInfo && !run.dst->tileInfo;
    const bool wholePixels = untiled && !run.mask && bitDepth(src->depth) != 1 &&
                             src->dataOrder == ZAR_DATA_ORDER_PIXEL && src->nChannels > 1 &&
                             srcFirst == 1 && srcLast == src->nChannels && dstFirst == 1 &&
                             dstLast == dst->nChannels && k < kBlockExtremeFrom;
    run.channels = wholePixels ? src->nChannels : 1;
    // Whole values of one channel (or of whole pixels) lie next to each other
    // in the destination rows; 1-bit results keep the ring, as the kernel
    // writes whole words.
    run.direct = untiled && !run.mask && bitDepth(src->depth) != 1 &&
                 (wholePixels || dst->nChannels == 1 || dst->dataOrder == ZAR_DATA_ORDER_PLANE);
    run.stride = morphRingRowBytes(src->depth, (run.k + run.w - 1) * run.channels);
    const size_t ringBytes = static_cast<size_t>(run.stride) * (run.k + 1);
    run.ring = static_cast<char*>(alignedMalloc(ringBytes));
    if (!run.ring) {
        zarSetStatus(STATUS_NO_MEMORY);
        return MorphResult::NoMemory;
    }
    std::memset(run.ring, 0, ringBytes);  // row padding stays defined

    MorphResult result = MorphResult::Done;
    if (wholePixels)
        result = filterChannel(run, 0, 0);
    else
        for (int32_t c = srcFirst, d = dstFirst; c <= srcLast && result == MorphResult::Done;
             ++c, ++d)
            result = filterChannel(run, c - 1, d - 1);
    alignedFree(run.ring);
    return result;
}

// ============================================================ the regions

namespace {

// The image's region clipped to the image, cut to the size of its mask's
// clipped region when it has a mask.
Rect maskedRegion(const ImageHeader* image) {
    Rect rect = getRoiRect(image);
    const ImageHeader* mask = image->maskImage;
    if (mask && mask->imageData) {
        const Rect maskRect = getRoiRect(mask);
        rect.width = std::min(rect.width, maskRect.width);
        rect.height = std::min(rect.height, maskRect.height);
    }
    return rect;
}

// A one-channel plane-order image of w x h for the combined mask, filled with
// fill; null (nothing left allocated) when it cannot be had.
ImageHeader* newWorkingMask(int32_t depth, int32_t w, int32_t h, int32_t fill) {
    static const char kNoName[4] = {0, 0, 0, 0};
    ImageHeader* mask = zarCreateImageHeader(1, 0, depth, kNoName, kNoName, ZAR_DATA_ORDER_PLANE, 0,
                                             8, w, h, nullptr, nullptr, nullptr, nullptr);
    if (!mask) return nullptr;
    zarAllocateImage(mask, 1, fill);
    if (!mask->imageData) {
        zarDeallocate(mask, ZAR_FREE_ALL);
        return nullptr;
    }
    return mask;
}

template <typename T>
void expandBits(const char* bits, char* values, int32_t width) {
    T* out = reinterpret_cast<T*>(values);
    for (int32_t x = 0; x < width; ++x)
        out[x] = getBit(reinterpret_cast<const uint8_t*>(bits), x) ? static_cast<T>(~T{0}) : T{0};
}

// Every set bit of the 1-bit image a becomes an all-ones value of b.
void expandMask(const ImageHeader* a, ImageHeader* b) {
    const int32_t bits = bitDepth(b->depth);
    for (int32_t y = 0; y < a->height; ++y) {
        const char* from = a->imageData + static_cast<ptrdiff_t>(y) * a->widthStep;
        char* to = b->imageData + static_cast<ptrdiff_t>(y) * b->widthStep;
        if (bits == 1) {
            std::memcpy(to, from, static_cast<size_t>((a->width + 7) / 8));
            continue;
        }
        if (bits == 8)
            expandBits<uint8_t>(from, to, a->width);
        else
            expandBits<uint16_t>(from, to, a->width);
    }
}

void releaseWorkingRecords(ImageHeader* src, ImageHeader* dst) {
    zarDeallocate(src, ZAR_FREE_ROI);
    zarDeallocate(dst, ZAR_FREE_ROI);
    zarDeallocate(dst, ZAR_FREE_MASK);
}

// The combined mask of the two images' masks as dst's mask; false when an
// image could not be allocated.
bool combineMasks(ImageHeader* srcMask, ImageHeader* dstMask, ImageHeader* dst, int32_t w,
                  int32_t h) {
    ImageHeader* a = newWorkingMask(ZAR_DEPTH_1U, w, h, -1);
    if (!a) return false;
    if (srcMask) zarAnd(srcMask, a, a);
    if (dstMask && zarGetStatus() == STATUS_OK) zarAnd(dstMask, a, a);
    ImageHeader* b = newWorkingMask(dst->depth, w, h, 0);
    if (b) {
        expandMask(a, b);
        dst->maskImage = b;
    }
    zarDeallocate(a, ZAR_FREE_ALL);
    return b != nullptr;
}

}  // namespace

ZarStatus prepareMorphRegions(ImageHeader* src, ImageHeader* dst, bool* outOfMemory) {
    *outOfMemory = false;
    const Rect srcRect = maskedRegion(src), dstRect = maskedRegion(dst);
    // An empty region gives a w or h below 1, which the caller skips.
    const int32_t w = std::max(0, std::min(srcRect.width, dstRect.width));
    const int32_t h = std::max(0, std::min(srcRect.height, dstRect.height));
    ImageHeader* srcMask = src->maskImage && src->maskImage->imageData ? src->maskImage : nullptr;
    ImageHeader* dstMask = dst->maskImage && dst->maskImage->imageData ? dst->maskImage : nullptr;
    // The working copies keep only records of their own: new rois and, on
    // the destination, the combined mask.
    src->roi = makeRoi(src->roi ? src->roi->coi : 0, srcRect.x, srcRect.y, w, h);
    dst->roi = makeRoi(dst->roi ? dst->roi->coi : 0, dstRect.x, dstRect.y, w, h);
    src->maskImage = nullptr;
    dst->maskImage = nullptr;
    if (!src->roi || !dst->roi) {
        *outOfMemory = true;
    } else if ((srcMask || dstMask) && w > 0 && h > 0) {
        // No mask image is made for an empty region: there is nothing to mask.
        *outOfMemory = !combineMasks(srcMask, dstMask, dst, w, h);
    }
    if (*outOfMemory) zarSetStatus(STATUS_NO_MEMORY);
    const ZarStatus status = zarGetStatus();
    if (status != STATUS_OK) releaseWorkingRecords(src, dst);
    return status;
}

// ============================================================ the operations

namespace {

// Channels an operation processes: the channel of interest alone, else all
// channels but an alpha channel.
int32_t processedChannelCount(const ImageHeader* image) {
    if (image->roi && image->roi->coi != 0) return 1;
    return image->nChannels - (image->alphaChannel != 0 ? 1 : 0);
}

}  // namespace

ZarStatus checkMorphArgs(const char* funcName, const ImageHeader* srcImage,
                         const ImageHeader* dstImage, int32_t nIterations) {
    auto fail = [&](ZarStatus status, const char* context, int32_t line) {
        zarReportError(status, funcName, context, kFile, line);
        return STATUS_BAD_ARG;
    };
    if (validateHeader(srcImage) != 0) return fail(zarGetStatus(), "Incorrect Image", 85);
    if (validateHeader(dstImage) != 0) return fail(zarGetStatus(), "Incorrect Image", 86);
    if (nIterations < 1) return fail(STATUS_BAD_ARG, "Illegal number of of iterations", 89);
    const int32_t depth = srcImage->depth;
    if (depth != ZAR_DEPTH_1U && depth != ZAR_DEPTH_8U && depth != ZAR_DEPTH_16U)
        return fail(STATUS_BAD_ARG, "Illegal image depth", 94);
    if (depth != dstImage->depth)
        return fail(STATUS_BAD_ARG, "SRC and DST depth are different", 101);
    if (srcImage->dataOrder != dstImage->dataOrder)
        return fail(STATUS_BAD_ARG, "SRC and DST order are different", 106);
    if (srcImage->origin != dstImage->origin)
        return fail(STATUS_BAD_ARG, "SRC and DST orign are different", 111);
    if (processedChannelCount(srcImage) != processedChannelCount(dstImage))
        return fail(STATUS_BAD_ARG, "SRC and DST number of channels are different", 136);
    return zarGetStatus();
}

namespace {

void ownMorph(const char* funcName, ImageHeader* srcImage, ImageHeader* dstImage,
              int32_t nIterations, MorphOp op) {
    zarSetStatus(STATUS_OK);
    if (checkMorphArgs(funcName, srcImage, dstImage, nIterations) != STATUS_OK) return;
    ImageHeader src = *srcImage, dst = *dstImage;
    bool outOfMemory = false;
    if (prepareMorphRegions(&src, &dst, &outOfMemory) != STATUS_OK) {
        if (outOfMemory)
            zarReportError(STATUS_NO_MEMORY, funcName, "Out of memory", kFile, __LINE__);
        return;
    }
    MorphResult result = MorphResult::Done;
    const int32_t w = src.roi->width, h = src.roi->height;
    if (w >= 1 && h >= 1) {
        // Past the frame the window only repeats frame pixels, so a half size
        // beyond max(w, h) sees nothing new: capping it keeps the result and
        // bounds the ring.
        const int32_t n = std::min(nIterations, std::max(w, h));
        result = morphFilter(&src, &dst, 2 * n + 1, op, srcImage, dstImage);
    }
    releaseWorkingRecords(&src, &dst);
    if (result == MorphResult::TileReadRefused)
        zarReportError(STATUS_ERROR, funcName, "Error get tile to read", kFile, __LINE__);
    else if (result == MorphResult::TileWriteRefused)
        zarReportError(STATUS_ERROR, funcName, "Error get tile to write", kFile, __LINE__);
}

}  // namespace

extern "C" ZAR_API void ZAR_STDCALL zarDilate(ImageHeader* srcImage, ImageHeader* dstImage,
                                              int32_t nIterations) {
    ownMorph("zarDilate", srcImage, dstImage, nIterations, MorphOp::Dilate);
}

extern "C" ZAR_API void ZAR_STDCALL zarErode(ImageHeader* srcImage, ImageHeader* dstImage,
                                             int32_t nIterations) {
    ownMorph("zarErode", srcImage, dstImage, nIterations, MorphOp::Erode);
}
