// The random bitmap maker and its reference decoder: bitmaps of every bit count and compression
// (random or gray palettes of any length, random masks, random run-length streams using every
// command) built byte by byte, and each pixel decoded from the rules, one at a time.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bitmap/bitmap.h"
#include "support/zar_test.h"
#include "zar.h"

namespace zt {

using Bytes = std::vector<uint8_t>;

// A bitmap made for a test: header, colour entries (or masks), the bits as stored (a
// run-length stream for compressions 1 and 2) and the rows an uncompressed bitmap of the
// same bit count would hold (memory order: bottom-up when biHeight > 0).
struct MadeDib {
    BITMAPINFOHEADER header;
    Bytes colors, bits, rows;
};

// Little-endian words of `size` bytes.
inline Bytes le(std::initializer_list<uint32_t> values, int size = 4) {
    Bytes out;
    for (uint32_t v : values)
        for (int k = 0; k < size; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
    return out;
}

// Bytes of a bitmap row: width pixels of bitCount bits padded to 32 bits.
inline int32_t bmpRowSize(int32_t width, int32_t bitCount) {
    return static_cast<int32_t>((static_cast<int64_t>(width) * bitCount + 31) / 32 * 4);
}

inline BITMAPINFOHEADER bmpHeader(int32_t width, int32_t height, uint16_t bitCount,
                                  uint32_t compression = 0, uint32_t clrUsed = 0,
                                  uint32_t sizeImage = 0) {
    return {40, width, height, 1, bitCount, compression, sizeImage, 0, 0, clrUsed, 0};
}

// Colour entries (blue, green, red, reserved) from 0xRRGGBB values.
inline Bytes bmpPalette(const std::vector<uint32_t>& rgb) {
    Bytes out;
    for (uint32_t c : rgb)
        out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    return out;
}

// n entries of the gray ramp 255 * i / (n - 1).
inline Bytes bmpGrayRamp(int32_t n) {
    std::vector<uint32_t> rgb;
    for (int32_t i = 0; i < n; ++i) rgb.push_back(n > 1 ? 255 * i / (n - 1) * 0x010101u : 0);
    return bmpPalette(rgb);
}

// A mask made of one run of set bits (or, now and then, none).
inline uint32_t randomMask(Rng& rng, int32_t limitBits) {
    if (rng.range(0, 9) == 0) return 0;
    const int32_t width = rng.range(1, limitBits);
    const int32_t shift = rng.range(0, limitBits - width);
    return static_cast<uint32_t>(((uint64_t{1} << width) - 1) << shift);
}

// Codes random pixels px[row in stream order][column] (0 where skipped) with every command:
// runs, absolute runs, deltas, ends of line, and an end of bitmap with or without the last
// end of line.  Pixel values fit the format (nibbles for BI_RLE4).
inline Bytes randomStream(Rng& rng, int32_t bits, int32_t w, int32_t h, std::vector<Bytes>* px) {
    px->assign(h, Bytes(w, 0));
    Bytes s;
    int32_t row = 0, col = 0;
    while (row < h) {
        if (col == w) {
            if (row == h - 1 && rng.range(0, 1)) break;  // end of bitmap without end of line
            s.insert(s.end(), {0, 0});
            ++row;
            col = 0;
            continue;
        }
        const int32_t left = w - col, action = rng.range(0, 9);
        // BI_RLE4 writes pixels in pairs: an odd run also writes the pattern's next nibble,
        // which stays unless something later overwrites it.  In the padding it is invisible;
        // past a row that fills its bytes it is the next row's first pixel; past the buffer
        // it is not written.
        auto surplus = [&](int32_t n, uint8_t value) {
            if (bits != 4 || n % 2 == 0) return;
            if (col + n < w)
                (*px)[row][col + n] = value;
            else if (col + n == 2 * bmpRowSize(w, 4) && row + 1 < h)
                (*px)[row + 1][0] = value;
        };
        if (action < 5 || left < 3) {  // encoded run
            const int32_t n = rng.range(1, std::min(left, 255)), m = rng.range(0, 255);
            for (int32_t k = 0; k < n; ++k)
                (*px)[row][col + k] = static_cast<uint8_t>(
                    bits == 8 ? m : (k % 2 == 0 ? m >> 4 : m & 15));
            s.insert(s.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(m)});
            surplus(n, static_cast<uint8_t>(m & 15));
            col += n;
        } else if (action < 8) {  // absolute run
            const int32_t m = rng.range(3, std::min(left, 255));
            s.insert(s.end(), {0, static_cast<uint8_t>(m)});
            Bytes data;
            for (int32_t k = 0; k < m; ++k) {
                const uint8_t v = static_cast<uint8_t>(rng.range(0, bits == 8 ? 255 : 15));
                (*px)[row][col + k] = v;
                if (bits == 8 || k % 2 == 0)
                    data.push_back(static_cast<uint8_t>(bits == 8 ? v : v << 4));
                else
                    data.back() = static_cast<uint8_t>(data.back() | v);
            }
            if (data.size() % 2) data.push_back(0xEE);
            s.insert(s.end(), data.begin(), data.end());
            surplus(m, 0);  // the low nibble of the last data byte
            col += m;
        } else {  // delta, sometimes to a later row
            const int32_t dx = rng.range(0, left), dy = row + 1 < h ? rng.range(0, 1) : 0;
            if (dx == 0 && dy == 0) continue;
            s.insert(s.end(), {0, 2, static_cast<uint8_t>(dx), static_cast<uint8_t>(dy)});
            col += dx;
            row += dy;
        }
    }
    s.insert(s.end(), {0, 1});
    return s;
}

inline const uint8_t* memoryRow(const MadeDib& d, int32_t r) {
    return d.rows.data() +
           static_cast<size_t>(r) * bmpRowSize(d.header.biWidth, d.header.biBitCount);
}

// An 8-bit field of pixel: the bits of mask, cut to their top 8 or shifted up to 8 bits.
inline int32_t field(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    int width = 0;
    while (shift + width < 32 && ((mask >> (shift + width)) & 1)) ++width;
    uint32_t v = (pixel & mask) >> shift;
    v = width >= 8 ? v >> (width - 8) : v << (8 - width);
    return static_cast<int32_t>(v & 0xFF);
}

// A random bitmap of any bit count and compression: random or gray palettes of any length,
// random masks, random run-length streams using every command.
inline MadeDib randomDib(Rng& rng) {
    static const struct {
        uint16_t bits;
        uint32_t compression;
    } kinds[] = {{1, 0},  {4, 0},  {8, 0}, {16, 0}, {16, 3}, {24, 0},
                 {32, 0}, {32, 3}, {8, 3}, {8, 1},  {4, 2}};
    const auto kind = kinds[rng.range(0, 10)];
    const bool rle = kind.compression == kBiRle8 || kind.compression == kBiRle4;
    const int32_t width = rng.range(1, 300);
    const int32_t height = rng.range(1, 4) * (rle || rng.range(0, 1) ? 1 : -1);
    uint32_t clrUsed = 0;
    MadeDib d;
    if (kind.bits <= 8) {
        const int32_t full = 1 << kind.bits;
        const int32_t n = rng.range(0, 2) == 0 ? full : rng.range(1, full);
        clrUsed = n == full && rng.range(0, 1) ? 0 : static_cast<uint32_t>(n);
        if (rng.range(0, 3) == 0)
            d.colors = bmpGrayRamp(n);
        else
            for (int32_t i = 0; i < 4 * n; ++i)
                d.colors.push_back(static_cast<uint8_t>(rng.next()));
    } else if (kind.compression == kBiBitfields) {
        const int32_t limit = kind.bits == 16 ? 16 : 32;
        d.colors = le({randomMask(rng, limit), randomMask(rng, limit),
                       randomMask(rng, limit) | (kind.bits == 16 ? 0xABCD0000u : 0u)});
    }
    const int32_t rowSize = bmpRowSize(width, kind.bits);
    d.rows.assign(static_cast<size_t>(rowSize) * std::abs(height), 0);
    if (rle) {
        std::vector<Bytes> px;
        d.bits = randomStream(rng, kind.bits, width, height, &px);
        for (int32_t r = 0; r < height; ++r)
            for (int32_t x = 0; x < width; ++x) {
                uint8_t& byte = d.rows[static_cast<size_t>(r) * rowSize + x * kind.bits / 8];
                byte = static_cast<uint8_t>(kind.bits == 8 ? px[r][x]
                                            : x % 2        ? byte | px[r][x]
                                                           : px[r][x] << 4);
            }
    } else {
        for (uint8_t& byte : d.rows) byte = static_cast<uint8_t>(rng.next());
        d.bits = d.rows;
    }
    const uint32_t sizeImage = rle && rng.range(0, 1) ? static_cast<uint32_t>(d.bits.size()) : 0;
    d.header = bmpHeader(width, height, kind.bits, kind.compression, clrUsed, sizeImage);
    return d;
}

// The reference decoder, one pixel at a time from the rules: the palette index (1, 4 and 8
// bits) and the working pixel (blue, green, red, alpha) at column x of memory row r.
inline int32_t referenceIndex(const MadeDib& d, int32_t x, int32_t r) {
    const uint8_t* row = memoryRow(d, r);
    if (d.header.biBitCount == 1) return (row[x / 8] >> (7 - x % 8)) & 1;
    if (d.header.biBitCount == 4) return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
    return row[x];
}

inline std::array<int32_t, 4> referencePixel(const MadeDib& d, int32_t x, int32_t r) {
    const BITMAPINFOHEADER& h = d.header;
    if (h.biBitCount <= 8) {
        const size_t at = 4 * static_cast<size_t>(referenceIndex(d, x, r));
        if (at >= d.colors.size()) return {0, 0, 0, 0};
        return {d.colors[at], d.colors[at + 1], d.colors[at + 2], d.colors[at + 3]};
    }
    const int32_t bytes = h.biBitCount / 8;
    const uint8_t* at = memoryRow(d, r) + x * bytes;
    if (bytes == 3) return {at[0], at[1], at[2], 0};
    uint32_t p = 0;  // little-endian
    for (int32_t k = bytes - 1; k >= 0; --k) p = p << 8 | at[k];
    // Red, green, blue masks: the fixed 5-5-5 and 8-8-8, or the stored ones (16 bits: their
    // low sixteen); alpha is every bit above the highest mask bit.
    uint32_t m[3] = {0x7C00, 0x3E0, 0x1F};
    if (h.biCompression == kBiBitfields)
        std::memcpy(m, d.colors.data(), sizeof m);
    else if (bytes == 4)
        m[0] = 0xFF0000, m[1] = 0xFF00, m[2] = 0xFF;
    if (bytes == 2) m[0] &= 0xFFFF, m[1] &= 0xFFFF, m[2] &= 0xFFFF;
    const int top = 32 - std::countl_zero(m[0] | m[1] | m[2]);
    const uint32_t alpha = top >= 32 ? 0 : ~0u << top;
    return {field(p, m[2]), field(p, m[1]), field(p, m[0]), field(p, alpha)};
}

}  // namespace zt
