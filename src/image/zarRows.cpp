// Row kernels shared by the transfer engine, Set and Copy.
#include "image/rows.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// 1-bit rows are big-endian bit streams: a 64-bit word loaded most significant
// byte first keeps the row's bit order, so one shift moves 64 pixels.
uint64_t loadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

void storeBigEndian64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof v);
}

// Up to 8 bits of a row from bit offset (0..7) of byte p on, in the top bits
// of the result; the second byte is read only when the bits reach into it.
uint32_t readBits(const uint8_t* p, int offset, int count) {
    uint32_t v = static_cast<uint32_t>(p[0]) << 8;
    if (offset + count > 8) v |= p[1];
    return ((v << offset) >> 8) & 0xFFu;
}

// Bits offset .. offset + count - 1 (offset + count <= 8) of a byte, msb first.
uint8_t bitSpan(int offset, int count) {
    return static_cast<uint8_t>((0xFFu >> offset) & ~(0xFFu >> (offset + count)));
}

void mergeBits(uint8_t* p, int offset, int count, uint32_t topBits) {
    const uint8_t mask = bitSpan(offset, count);
    *p = static_cast<uint8_t>((*p & ~mask) | ((topBits >> offset) & mask));
}

template <typename T>
void storeValue(char* p, T v) {
    std::memcpy(p, &v, sizeof(T));
}

// Runs of 2- and 4-byte values, and long runs of bytes: a 16-byte block of
// the value is stored whole (one unaligned vector store per block), four
// blocks per step; the last few values go one by one.  The byte image is the
// same as storing each value.
template <typename T>
void fillRun(char* __restrict dst, int64_t count, uint32_t pattern) {
    constexpr int64_t blockBytes = 16;
    const T v = static_cast<T>(pattern);
    unsigned char block[blockBytes];
    for (int64_t k = 0; k < blockBytes; k += static_cast<int64_t>(sizeof(T)))
        storeValue(reinterpret_cast<char*>(block) + k, v);
    const int64_t bytes = count * static_cast<int64_t>(sizeof(T));
    int64_t i = 0;
    for (; i + 4 * blockBytes <= bytes; i += 4 * blockBytes) {
        std::memcpy(dst + i, block, blockBytes);
        std::memcpy(dst + i + blockBytes, block, blockBytes);
        std::memcpy(dst + i + 2 * blockBytes, block, blockBytes);
        std::memcpy(dst + i + 3 * blockBytes, block, blockBytes);
    }
    for (; i + blockBytes <= bytes; i += blockBytes) std::memcpy(dst + i, block, blockBytes);
    for (; i < bytes; i += static_cast<int64_t>(sizeof(T))) storeValue(dst + i, v);
}

// memset stores with a string instruction, which beats plain vector stores on
// runs that stay in the cache; on the processor measured (bench/NOTES.md) it
// took 1.2 to 1.7 times as long as the block stores on runs of 3 MB and more,
// and less time on runs of 2 MB.  memcpy's loop of 64-byte stores took 1.01
// to 1.05 times as long as 16-byte blocks on runs of 4 to 6 MB.
constexpr int64_t kLongByteRun = int64_t{5} << 19;  // 2.5 MB

void fillRun8(char* dst, int64_t count, uint32_t pattern) {
    if (count >= kLongByteRun)
        fillRun<uint8_t>(dst, count, pattern);
    else
        std::memset(dst, static_cast<int>(pattern & 0xFF), static_cast<size_t>(count));
}

template <typename T>
void reverseRow(const char* src, char* dst, int64_t count, int32_t channels) {
    const int64_t pixelBytes = static_cast<int64_t>(channels) * sizeof(T);
    for (int64_t k = 0; k < count; ++k) {
        const char* s = src - k * pixelBytes;
        char* d = dst + k * pixelBytes;
        for (int32_t c = 0; c < channels; ++c) {
            T v;
            std::memcpy(&v, s + c * sizeof(T), sizeof(T));
            storeValue(d + c * sizeof(T), v);
        }
    }
}

}  // namespace

void fillBits(uint8_t* row, int64_t bit, int64_t count, int value) {
    if (count <= 0) return;
    row += bit >> 3;
    const int offset = static_cast<int>(bit & 7);
    const uint32_t ones = value ? 0xFFu : 0u;
    if (offset != 0) {
        const int head = static_cast<int>(std::min<int64_t>(8 - offset, count));
        mergeBits(row, offset, head, ones);
        count -= head;
        ++row;
    }
    const int64_t bytes = count >> 3;
    std::memset(row, static_cast<int>(ones), static_cast<size_t>(bytes));
    const int tail = static_cast<int>(count & 7);
    if (tail != 0) mergeBits(row + bytes, 0, tail, ones);
}

void copyBits(const uint8_t* src, int64_t srcBit, uint8_t* dst, int64_t dstBit, int64_t count) {
    if (count <= 0) return;
    src += srcBit >> 3;
    int srcOffset = static_cast<int>(srcBit & 7);
    dst += dstBit >> 3;
    const int dstOffset = static_cast<int>(dstBit & 7);

    // Head: bits up to the destination's next byte boundary.
    if (dstOffset != 0) {
        const int head = static_cast<int>(std::min<int64_t>(8 - dstOffset, count));
        mergeBits(dst, dstOffset, head, readBits(src, srcOffset, head));
        count -= head;
        srcOffset += head;
        src += srcOffset >> 3;
        srcOffset &= 7;
        ++dst;
    }

    // Middle: whole destination bytes, eight at a time.  Each destination byte
    // takes bits from two source bytes, both of which hold bits of the run.
    const int64_t bytes = count >> 3;
    if (srcOffset == 0) {
        std::memcpy(dst, src, static_cast<size_t>(bytes));
    } else {
        const int left = srcOffset, right = 8 - srcOffset;
        int64_t k = 0;
        for (; k + 8 <= bytes; k += 8) {
            uint64_t word = loadBigEndian64(src + k) << left;
            word |= static_cast<uint64_t>(src[k + 8] >> right);
            storeBigEndian64(dst + k, word);
        }
        for (; k < bytes; ++k)
            dst[k] = static_cast<uint8_t>((src[k] << left) | (src[k + 1] >> right));
    }

    // Tail: the last partial destination byte.
    const int tail = static_cast<int>(count & 7);
    if (tail != 0) mergeBits(dst + bytes, 0, tail, readBits(src + bytes, srcOffset, tail));
}

void copyBitsInOrder(const uint8_t* src, int64_t srcBit, uint8_t* dst, int64_t dstBit,
                     int64_t count) {
    for (int64_t i = 0; i < count; ++i) putBit(dst, dstBit + i, getBit(src, srcBit + i));
}

void copyBytes(char* __restrict dst, const char* __restrict src, int64_t bytes) {
    if (bytes < kLongByteRun) {
        std::memcpy(dst, src, static_cast<size_t>(bytes));
        return;
    }
    constexpr int64_t blockBytes = 64;
    int64_t i = 0;
    for (; i + blockBytes <= bytes; i += blockBytes) std::memcpy(dst + i, src + i, blockBytes);
    std::memcpy(dst + i, src + i, static_cast<size_t>(bytes - i));
}

void copyBytesInOrder(char* dst, const char* src, int64_t bytes) {
    const uintptr_t to = reinterpret_cast<uintptr_t>(dst), from = reinterpret_cast<uintptr_t>(src);
    const uintptr_t distance = to - from;
    if (to <= from || distance >= static_cast<uintptr_t>(bytes)) {
        // Every byte is read before it could be written: memmove's result.
        std::memmove(dst, src, static_cast<size_t>(bytes));
        return;
    }
    // Chunks as long as the distance: each reads bytes that earlier chunks
    // wrote (or the source's own first bytes) and never the bytes it writes.
    for (int64_t i = 0; i < bytes; i += static_cast<int64_t>(distance))
        std::memcpy(
            dst + i, src + i,
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(distance), bytes - i)));
}

void copyBitsReversed(const uint8_t* src, int64_t srcBit, uint8_t* dst, int64_t dstBit,
                      int64_t count) {
    // Only mirrored border stretches come here, a few pixels wide; bit by bit
    // is simplest.
    for (int64_t k = 0; k < count; ++k) putBit(dst, dstBit + k, getBit(src, srcBit - k));
}

FillRunFn fillRunFor(int32_t valueSize) {
    switch (valueSize) {
        case 1:
            return fillRun8;
        case 2:
            return fillRun<uint16_t>;
        default:
            return fillRun<uint32_t>;
    }
}

void repeatBytes(char* dst, size_t unit, size_t total) {
    size_t filled = std::min(unit, total);
    while (filled < total) {
        const size_t n = std::min(filled, total - filled);
        std::memcpy(dst + filled, dst, n);
        filled += n;
    }
}

ReverseRowFn reverseRowFor(int32_t valueSize) {
    switch (valueSize) {
        case 1:
            return reverseRow<uint8_t>;
        case 2:
            return reverseRow<uint16_t>;
        default:
            return reverseRow<uint32_t>;
    }
}
