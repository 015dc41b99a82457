// The plain morphology row kernels (the reference of the variants) and their
// table.
#include "morph/morphKernels.h"

#include <bit>
#include <cstring>

#include "image/image.h"
#include "morph/morphRows.h"
#include "zar.h"

namespace {

template <typename T, typename Pick>
void valueRows(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
               int32_t values, int32_t step) {
    valueRowsBody<T, Pick>(kx, ky, rows, column, out, values, step);
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
// of the ky rows.  The horizontal pass doubles windows in place (bit j of the
// column stream comes to combine bits j .. j + span - 1) up to the largest
// span <= kx, so a window of kx is two overlapping spans: log2(kx) passes
// instead of kx.
template <typename Pick>
void bitKernel(int32_t kx, int32_t ky, const char* const* rows, char* columnBytes, char* out,
               int32_t outBitOffset, int32_t w) {
    const int32_t length = kx + w - 1;
    const int32_t words = (length + 31) / 32;
    uint32_t* column = reinterpret_cast<uint32_t*>(columnBytes);
    std::memcpy(column, rows[0], static_cast<size_t>(words) * 4);
    for (int32_t i = 1; i < ky; ++i) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(rows[i]);
        for (int32_t j = 0; j < words; ++j) column[j] = Pick::pick(column[j], row[j]);
    }
    // Stream order; the spare word past the row feeds only bits beyond w.
    for (int32_t j = 0; j < words; ++j)
        column[j] = loadStream(reinterpret_cast<const char*>(column + j));
    column[words] = 0;

    int32_t span = 1;
    for (; 2 * span <= kx; span *= 2) {
        // Word i reads up to word i + span / 32 + 1; the words left out hold
        // only positions past length - 2 span, which no output needs.
        const int32_t limit = words - (span >> 5);
        for (int32_t i = 0; i < limit; ++i)
            column[i] = Pick::pick(column[i], streamAt(column, i, span));
    }
    const int32_t rest = kx - span;  // the second span starts rest bits on

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

// The rows form of the 1-bit kernel (one channel, no bit offset).
template <typename Pick>
void bitRows(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
             int32_t values, int32_t) {
    bitKernel<Pick>(kx, ky, rows, column, out, 0, values);
}

}  // namespace

const MorphKernelEntry kMorphKernels[6] = {
    {MorphOp::Erode, ZAR_DEPTH_1U, {bitRows<BitAnd>}},
    {MorphOp::Erode,
     ZAR_DEPTH_8U,
     {valueRows<uint8_t, Smaller<uint8_t>>, nullptr, ZAR_AVX2(erodeRows8Avx2),
      ZAR_AVX512(erodeRows8Avx512)}},
    {MorphOp::Erode,
     ZAR_DEPTH_16U,
     {valueRows<uint16_t, Smaller<uint16_t>>, nullptr, ZAR_AVX2(erodeRows16Avx2),
      ZAR_AVX512(erodeRows16Avx512)}},
    {MorphOp::Dilate, ZAR_DEPTH_1U, {bitRows<BitOr>}},
    {MorphOp::Dilate,
     ZAR_DEPTH_8U,
     {valueRows<uint8_t, Larger<uint8_t>>, nullptr, ZAR_AVX2(dilateRows8Avx2),
      ZAR_AVX512(dilateRows8Avx512)}},
    {MorphOp::Dilate,
     ZAR_DEPTH_16U,
     {valueRows<uint16_t, Larger<uint16_t>>, nullptr, ZAR_AVX2(dilateRows16Avx2),
      ZAR_AVX512(dilateRows16Avx512)}},
};

MorphRowsKernel morphRowsKernelFor(MorphOp op, int32_t depth, IsaLevel level) {
    for (const MorphKernelEntry& entry : kMorphKernels)
        if (entry.op == op && entry.depth == depth) return entry.variants.pick(level);
    return nullptr;
}

ptrdiff_t morphRingRowBytes(int32_t depth, int64_t length) {
    const int64_t bytes = bitDepth(depth) == 1
                              ? (static_cast<int64_t>(length) + 7) / 8 + 4
                              : static_cast<int64_t>(length) * bytesPerValue(depth);
    return static_cast<ptrdiff_t>((bytes + 7) / 8 * 8);
}
