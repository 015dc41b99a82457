// Row kernels over raw memory shared by the transfer engine and the fill and
// copy operations: 1-bit runs (most significant bit first) moved a word at a
// time, and runs of 8-, 16- and 32-bit values.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- 1-bit rows
// Bit x of a row is bit 7 - (x mod 8) of byte x / 8.

inline int getBit(const uint8_t* row, int64_t bit) {
    return (row[bit >> 3] >> (7 - (bit & 7))) & 1;
}
inline void putBit(uint8_t* row, int64_t bit, int value) {
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit & 7));
    row[bit >> 3] = value ? static_cast<uint8_t>(row[bit >> 3] | mask)
                          : static_cast<uint8_t>(row[bit >> 3] & ~mask);
}

inline int getBit(const char* row, int64_t bit) {
    return getBit(reinterpret_cast<const uint8_t*>(row), bit);
}
inline void putBit(char* row, int64_t bit, int value) {
    putBit(reinterpret_cast<uint8_t*>(row), bit, value);
}

// Sets (value != 0) or clears count bits of row from bit position bit on; the
// other bits of the first and last byte keep their values.
void fillBits(uint8_t* row, int64_t bit, int64_t count, int value);

// Copies count bits from src (from bit srcBit on) to dst (from bit dstBit on),
// shifting whole words; dst bits outside the run keep their values.  Reads no
// source byte that holds none of the run's bits.  The runs must not overlap.
void copyBits(const uint8_t* src, int64_t srcBit, uint8_t* dst, int64_t dstBit, int64_t count);

// Copies count bits one at a time in pixel order, each read after the bits
// before it were written: the order of the rules when the runs overlap.
void copyBitsInOrder(const uint8_t* src, int64_t srcBit, uint8_t* dst, int64_t dstBit,
                     int64_t count);

// Copies count bits right to left: dst bit dstBit + k takes src bit srcBit - k.
void copyBitsReversed(const uint8_t* src, int64_t srcBit, uint8_t* dst, int64_t dstBit,
                      int64_t count);

// ------------------------------------------------------------- value runs

// Whether the byte ranges [a, a + aBytes) and [b, b + bBytes) share a byte.
inline bool bytesOverlap(const void* a, int64_t aBytes, const void* b, int64_t bBytes) {
    const auto x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
    return x < y + static_cast<uintptr_t>(bBytes) && y < x + static_cast<uintptr_t>(aBytes);
}

// Copies bytes from the lowest address upward, each read after the bytes
// before it were written: where the destination starts inside the source, a
// byte read late is one written early (so the source's start repeats), as in
// the rules' row copy, unlike memmove.
void copyBytesInOrder(char* dst, const char* src, int64_t bytes);

// memcpy of runs that do not overlap; long runs (whole images) move in 64-byte
// blocks of plain vector loads and stores rather than a string copy.
void copyBytes(char* dst, const char* src, int64_t bytes);

// Writes count values of valueSize bytes (1, 2 or 4), each the low bytes of
// pattern, from dst on.  dst need not be aligned.
using FillRunFn = void (*)(char* dst, int64_t count, uint32_t pattern);
FillRunFn fillRunFor(int32_t valueSize);

// Repeats the first unit bytes at dst until total bytes are written (doubling
// copies, so a long run costs a few wide copies).
void repeatBytes(char* dst, size_t unit, size_t total);

// Copies count pixels of channels values each, walking the source right to
// left: dst pixel k takes the source pixel k places left of src.
using ReverseRowFn = void (*)(const char* src, char* dst, int64_t count, int32_t channels);
ReverseRowFn reverseRowFor(int32_t valueSize);
