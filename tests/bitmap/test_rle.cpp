// Run-length decoding: hand-worked streams, every message, the stream limit,
// writes that must stay inside the rows, and random streams against the
// pixels they were made from.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bitmap/bitmap.h"
#include "image/image.h"
#include "support/bitmap_support.h"
#include "support/zar_test.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    bool ok = false;
    Bytes rows;  // |height| rows of the row size, bottom-up as decoded
};

// Decodes stream as the bits of a width x height run-length bitmap (two
// colour entries), reading at most streamLimit bytes.
Decoded decode(int32_t width, int32_t height, uint32_t compression, const Bytes& stream,
               size_t streamLimit = kUnboundedStream) {
    const uint16_t bitCount = compression == kBiRle8 ? 8 : 4;
    zt::Dib dib(zt::bmpHeader(width, height, bitCount, compression, 2),
                zt::bmpPalette({0, 0xFFFFFF}), stream);
    DibBlock block = contiguousDib(dib.header());
    block.streamLimit = streamLimit;
    Decoded result;
    uint8_t* out = decodeRleDIB(block);
    if (out == nullptr) return result;
    result.ok = true;
    const size_t total = static_cast<size_t>(zt::bmpRowSize(width, bitCount)) * height;
    result.rows.assign(out, out + total);
    alignedFree(out);
    return result;
}

constexpr const char* kRle8Width = "Incorrect format of BI_RLE8 DIB (mismatch biWidth)";
constexpr const char* kRle8Height = "Incorrect format of BI_RLE8 DIB (mismatch biHeight)";
constexpr const char* kRle8Delta = "Incorrect format of BI_RLE8 DIB (bad Delta command)";
constexpr const char* kRle8Position =
    "Incorrect format of BI_RLE8 DIB (mismatch biHeight or biWidth)";
constexpr const char* kRle4Width = "Incorrect format of BI_RLE4 DIB (mismatch biWidth)";
constexpr const char* kRle4Height = "Incorrect format of BI_RLE4 DIB (mismatch biHeight)";
constexpr const char* kRle4Delta = "Incorrect format of BI_RLE4 DIB (bad Delta command)";
constexpr const char* kRle4Position =
    "Incorrect format of BI_RLE4 DIB (mismatch biHeight or biWidth)";

// ------------------------------------------------------------ hand-worked

// A stream that decodes, and the rows it must give (bottom-up, padding
// included: bytes the stream does not reach are 0).
struct DecodeCase {
    const char* name;
    int32_t width, height;
    uint32_t compression;
    Bytes stream, rows;
};

const DecodeCase kDecodeCases[] = {
    {"RLE8 run of three fills the row padded to four bytes",
     3,
     1,
     kBiRle8,
     {0x03, 0x07, 0x00, 0x00, 0x00, 0x01},
     {7, 7, 7, 0}},
    {"RLE8 end of bitmap right after the last pixel needs no end of line",
     2,
     2,
     kBiRle8,
     {0x02, 0x05, 0x00, 0x00, 0x02, 0x06, 0x00, 0x01},
     {5, 5, 0, 0, 6, 6, 0, 0}},
    {"RLE8 end of bitmap after the last end of line",
     1,
     2,
     kBiRle8,
     {0x01, 0x05, 0x00, 0x00, 0x01, 0x06, 0x00, 0x00, 0x00, 0x01},
     {5, 0, 0, 0, 6, 0, 0, 0}},
    // 00 03 | 01 02 03 | pad | 01 09 | 00 01
    {"RLE8 absolute run of three is followed by one padding byte",
     4,
     1,
     kBiRle8,
     {0x00, 0x03, 0x01, 0x02, 0x03, 0xEE, 0x01, 0x09, 0x00, 0x01},
     {1, 2, 3, 9}},
    {"RLE8 absolute run of four has no padding",
     5,
     1,
     kBiRle8,
     {0x00, 0x04, 1, 2, 3, 4, 0x01, 0x09, 0x00, 0x01},
     {1, 2, 3, 4, 9, 0, 0, 0}},
    // 00 02 05 01: five pixels right, one row up; then three pixels of 9.
    {"RLE8 delta moves right and up and decoding goes on",
     8,
     2,
     kBiRle8,
     {0x00, 0x02, 0x05, 0x01, 0x03, 0x09, 0x00, 0x01},
     {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9, 9}},
    // A B A B A, and the pattern's next nibble B lands in the padding.
    {"RLE4 run of five alternates high and low nibbles",
     5,
     1,
     kBiRle4,
     {0x05, 0xAB, 0x00, 0x01},
     {0xAB, 0xAB, 0xAB, 0x00}},
    // 1 C D C D 2: each odd run's surplus nibble is overwritten by the next
    // run; the last one's (2) lands in the padding.
    {"RLE4 run starting at an odd column",
     6,
     1,
     kBiRle4,
     {0x01, 0x11, 0x04, 0xCD, 0x01, 0x22, 0x00, 0x01},
     {0x1C, 0xDC, 0xD2, 0x20}},
    // Width 8 fills the 4-byte row: a run of 7 from column 1 ends on the last
    // nibble; its surplus B is the next row's first nibble.
    {"RLE4 odd run at the right edge spills its surplus nibble into the next row",
     8,
     2,
     kBiRle4,
     {0x01, 0x11, 0x07, 0xAB, 0x00, 0x00, 0x00, 0x01},
     {0x1A, 0xBA, 0xBA, 0xBA, 0xB0, 0, 0, 0}},
    {"RLE4 odd run at the end of the buffer writes nothing past it",
     8,
     1,
     kBiRle4,
     {0x01, 0x11, 0x07, 0xAB, 0x00, 0x01},
     {0x1A, 0xBA, 0xBA, 0xBA}},
    // 03 AB: A B A and surplus B at column 3; delta 2 right; 01 CC at column 5.
    {"RLE4 surplus nibble stays when a delta skips it",
     6,
     1,
     kBiRle4,
     {0x03, 0xAB, 0x00, 0x02, 0x02, 0x00, 0x01, 0xCC, 0x00, 0x01},
     {0xAB, 0xAB, 0x0C, 0xC0}},
    // 00 05 | 12 34 50 | pad | 01 66 | 00 01: pixels 1 2 3 4 5 6, the last
    // run's surplus 6 in the padding.
    {"RLE4 absolute run copies nibbles and pads to sixteen bits",
     6,
     1,
     kBiRle4,
     {0x00, 0x05, 0x12, 0x34, 0x50, 0xEE, 0x01, 0x66, 0x00, 0x01},
     {0x12, 0x34, 0x56, 0x60}},
    // 01 77 | 00 03 | AB C0 | 00 01: pixels 7 A B C
    {"RLE4 absolute run at an odd column",
     4,
     1,
     kBiRle4,
     {0x01, 0x77, 0x00, 0x03, 0xAB, 0xC0, 0x00, 0x01},
     {0x7A, 0xBC, 0x00, 0x00}},
    {"RLE4 delta to an odd column",
     4,
     2,
     kBiRle4,
     {0x00, 0x02, 0x03, 0x01, 0x01, 0x50, 0x00, 0x01},
     {0, 0, 0, 0, 0x00, 0x05, 0, 0}},
};

TEST(RleDecode, HandWorkedStreams) {
    for (const DecodeCase& c : kDecodeCases) {
        SCOPED_TRACE(c.name);
        zt::ErrorRecorder errors;
        Decoded d = decode(c.width, c.height, c.compression, c.stream);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.rows, c.rows);
        EXPECT_TRUE(errors.reports().empty());
    }
}

// --------------------------------------------------------------- messages

// A stream that fails with one report of status, text and line (limit: the
// bytes the decoder may read).
struct FailCase {
    const char* name;
    int32_t width, height;
    uint32_t compression;
    Bytes stream;
    size_t limit;
    ZarStatus status;
    const char* text;
    int32_t line;
};

constexpr size_t kAll = kUnboundedStream;
constexpr ZarStatus kBad = STATUS_BAD_ARG;

const FailCase kFailCases[] = {
    {"8: end of line before the width",
     4,
     1,
     kBiRle8,
     {3, 7, 0, 0, 0, 1},
     kAll,
     kBad,
     kRle8Width,
     623},
    {"8: end of bitmap on a wrong row",
     1,
     3,
     kBiRle8,
     {1, 7, 0, 0, 0, 1},
     kAll,
     kBad,
     kRle8Height,
     643},
    {"8: stream ends before its end of bitmap",
     3,
     1,
     kBiRle8,
     {3, 7, 0, 0, 0, 1},
     4,
     kBad,
     kRle8Height,
     643},
    {"8: delta cut after its command bytes",
     3,
     1,
     kBiRle8,
     {0, 2, 1, 0},
     3,
     kBad,
     kRle8Height,
     643},
    {"8: absolute run longer than what is left",
     5,
     1,
     kBiRle8,
     {0, 4, 1, 2, 3, 4, 0, 1},
     5,
     kBad,
     kRle8Height,
     643},
    {"8: delta right out", 4, 2, kBiRle8, {0, 2, 5, 0}, kAll, kBad, kRle8Delta, 658},
    {"8: delta up out", 4, 2, kBiRle8, {0, 2, 0, 3}, kAll, kBad, kRle8Delta, 658},
    {"8: run past the width", 4, 1, kBiRle8, {2, 1, 3, 7, 0, 1}, kAll, kBad, kRle8Position, 687},
    {"8: absolute run past the width",
     4,
     1,
     kBiRle8,
     {2, 1, 0, 3, 1, 2, 3, 0, 0, 1},
     kAll,
     kBad,
     kRle8Position,
     687},
    // A delta to row 2 of a 2-row bitmap is allowed; writing there is not.
    {"8: run on the row equal to the height",
     4,
     2,
     kBiRle8,
     {0, 2, 0, 2, 1, 7, 0, 1},
     kAll,
     kBad,
     kRle8Position,
     687},
    {"8: delta to the last row and column, then end of line",
     4,
     2,
     kBiRle8,
     {0, 2, 4, 2, 0, 0, 0, 1},
     kAll,
     kBad,
     kRle8Position,
     687},
    {"8: negative height", 4, -1, kBiRle8, {4, 7, 0, 1}, kAll, kBad, kRle8Position, 687},
    {"8: rows too large for memory",
     0x7FFFFFF0,
     0x7FFFFFF0,
     kBiRle8,
     {0, 1},
     kAll,
     STATUS_NO_MEMORY,
     "Not enough memory to decompress BI_RLE8 DIB at DIB",
     597},
    {"4: end of line before the width",
     4,
     1,
     kBiRle4,
     {3, 7, 0, 0, 0, 1},
     kAll,
     kBad,
     kRle4Width,
     755},
    {"4: end of bitmap on a wrong row",
     1,
     3,
     kBiRle4,
     {1, 7, 0, 0, 0, 1},
     kAll,
     kBad,
     kRle4Height,
     776},
    {"4: stream ends before its end of bitmap",
     3,
     1,
     kBiRle4,
     {3, 7, 0, 0, 0, 1},
     5,
     kBad,
     kRle4Height,
     776},
    {"4: 5 nibbles need 3 bytes, 2 are left",
     5,
     1,
     kBiRle4,
     {0, 5, 0x12, 0x34},
     4,
     kBad,
     kRle4Height,
     776},
    {"4: delta out", 4, 2, kBiRle4, {0, 2, 5, 0}, kAll, kBad, kRle4Delta, 796},
    {"4: run past the width", 4, 1, kBiRle4, {3, 1, 2, 7, 0, 1}, kAll, kBad, kRle4Position, 839},
    {"4: absolute run past the width",
     4,
     1,
     kBiRle4,
     {2, 1, 0, 3, 0x12, 0x30, 0, 1},
     kAll,
     kBad,
     kRle4Position,
     839},
    {"4: run on the row equal to the height",
     4,
     2,
     kBiRle4,
     {0, 2, 0, 2, 1, 7, 0, 1},
     kAll,
     kBad,
     kRle4Position,
     839},
    {"4: negative height", 4, -2, kBiRle4, {4, 7, 0, 1}, kAll, kBad, kRle4Position, 839},
    {"4: rows too large for memory",
     0x7FFFFFF0,
     0x7FFFFFF0,
     kBiRle4,
     {0, 1},
     kAll,
     STATUS_NO_MEMORY,
     "Not enough memory to decompress BI_RLE4 DIB at DIB",
     706},
};

TEST(RleMessages, EveryFailureWithItsReport) {
    for (const FailCase& c : kFailCases) {
        SCOPED_TRACE(c.name);
        zt::ErrorRecorder errors;
        EXPECT_FALSE(decode(c.width, c.height, c.compression, c.stream, c.limit).ok);
        zt::expectReport(errors.only(), c.status, "zarConvertFromDIB", c.text, "ownrle", c.line);
    }
}

TEST(RleMessages, StreamsThatJustSucceed) {
    zt::ErrorRecorder errors;
    // The whole limit is used.
    EXPECT_TRUE(decode(3, 1, kBiRle8, {0x03, 0x07, 0x00, 0x00, 0x00, 0x01}, 6).ok);
    // A delta to the last row and column, then end of bitmap.
    EXPECT_TRUE(decode(4, 2, kBiRle8, {0x00, 0x02, 0x04, 0x02, 0x00, 0x01}).ok);
    EXPECT_TRUE(errors.reports().empty());
}

// A stream placed at the very end of its own allocation: reading one byte
// past the limit would be caught by the address sanitizer.
TEST(RleLimits, NeverReadsPastTheLimit) {
    zt::ErrorRecorder errors;
    const Bytes stream = {0x03, 0x07, 0x00, 0x00, 0x00};  // no end of bitmap
    zt::Dib dib(zt::bmpHeader(3, 2, 8, kBiRle8, 2), zt::bmpPalette({0, 0xFFFFFF}), {});
    for (size_t limit = 0; limit <= stream.size(); ++limit) {
        errors.clear();
        std::vector<uint8_t> exact(stream.begin(), stream.begin() + limit);
        DibBlock block = contiguousDib(dib.header());
        block.bits = exact.data();
        block.streamLimit = exact.size();
        EXPECT_EQ(decodeRleDIB(block), nullptr);
        zt::expectReport(errors.only(), STATUS_BAD_ARG, "zarConvertFromDIB", kRle8Height, "ownrle",
                         643);
    }
}

// ------------------------------------------------ random streams vs pixels

struct Picture {
    int32_t width, height;
    std::vector<std::vector<uint8_t>> px;  // [row in stream order][column], 0 where skipped
};

// Codes a random picture with every command: runs, absolute runs, deltas
// (skipped pixels stay 0), ends of line, and an end of bitmap with or without
// the last end of line.  Pixel values fit the format (nibbles for BI_RLE4).
Bytes randomStream(zt::Rng& rng, int32_t bits, Picture* pic) {
    const int32_t w = pic->width, h = pic->height;
    const int32_t maxValue = bits == 8 ? 255 : 15;
    pic->px.assign(h, std::vector<uint8_t>(w, 0));
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
        const int32_t left = w - col;
        const int32_t action = rng.range(0, 9);
        // BI_RLE4 writes pixels in pairs: an odd run also writes the pattern's
        // next nibble, which stays unless something later overwrites it.  In
        // the padding it is invisible; past a row that fills its bytes it is
        // the next row's first pixel; past the buffer it is not written.
        auto surplus = [&](int32_t n, uint8_t value) {
            if (bits != 4 || n % 2 == 0) return;
            const int32_t rowNibbles = ((w % 2 + w / 2 + 3) & ~3) * 2;
            if (col + n < w)
                pic->px[row][col + n] = value;
            else if (col + n == rowNibbles && row + 1 < h)
                pic->px[row + 1][0] = value;
        };
        if (action < 5 || left < 3) {  // encoded run
            const int32_t n = rng.range(1, std::min(left, 255));
            const int32_t m = rng.range(0, 255);
            for (int32_t k = 0; k < n; ++k)
                pic->px[row][col + k] = static_cast<uint8_t>(
                    bits == 8 ? m : (k % 2 == 0 ? m >> 4 : m & 15));
            s.insert(s.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(m)});
            surplus(n, static_cast<uint8_t>(m & 15));
            col += n;
        } else if (action < 8) {  // absolute run
            const int32_t m = rng.range(3, std::min(left, 255));
            s.insert(s.end(), {0, static_cast<uint8_t>(m)});
            Bytes data;
            for (int32_t k = 0; k < m; ++k) {
                const uint8_t v = static_cast<uint8_t>(rng.range(0, maxValue));
                pic->px[row][col + k] = v;
                if (bits == 8)
                    data.push_back(v);
                else if (k % 2 == 0)
                    data.push_back(static_cast<uint8_t>(v << 4));
                else
                    data.back() = static_cast<uint8_t>(data.back() | v);
            }
            if (data.size() % 2) data.push_back(0xEE);
            s.insert(s.end(), data.begin(), data.end());
            surplus(m, 0);  // the low nibble of the last data byte
            col += m;
        } else {  // delta, sometimes to a later row
            const int32_t dx = rng.range(0, left);
            const int32_t dy = row + 1 < h ? rng.range(0, 1) : 0;
            if (dx == 0 && dy == 0) continue;
            s.insert(s.end(), {0, 2, static_cast<uint8_t>(dx), static_cast<uint8_t>(dy)});
            col += dx;
            row += dy;
        }
    }
    s.insert(s.end(), {0, 1});
    return s;
}

TEST(RleRandom, StreamsDecodeToThePixelsTheyCode) {
    zt::ErrorRecorder errors;
    zt::Rng rng(7);
    for (int iteration = 0; iteration < 400; ++iteration) {
        const int32_t bits = iteration % 2 ? 4 : 8;
        Picture pic{rng.range(1, 300), rng.range(1, 6), {}};
        const Bytes stream = randomStream(rng, bits, &pic);
        Decoded d = decode(pic.width, pic.height, bits == 8 ? kBiRle8 : kBiRle4, stream,
                           stream.size());
        ASSERT_TRUE(d.ok) << "iteration " << iteration;
        const int32_t rowSize = zt::bmpRowSize(pic.width, bits);
        for (int32_t r = 0; r < pic.height; ++r)
            for (int32_t x = 0; x < pic.width; ++x) {
                const uint8_t byte = d.rows[static_cast<size_t>(r) * rowSize + x * bits / 8];
                const uint8_t got = bits == 8 ? byte : (x % 2 ? byte & 15 : byte >> 4);
                ASSERT_EQ(got, pic.px[r][x])
                    << "iteration " << iteration << " at " << x << "," << r;
            }
    }
    EXPECT_TRUE(errors.reports().empty());
}

// Random bytes as streams: whatever they say, nothing is written outside the
// rows (the sanitizer build checks) and every failure is one report.
TEST(RleRandom, ArbitraryBytesFailCleanlyOrDecode) {
    zt::ErrorRecorder errors;
    zt::Rng rng(11);
    for (int iteration = 0; iteration < 2000; ++iteration) {
        errors.clear();
        Bytes stream(static_cast<size_t>(rng.range(0, 64)));
        // Mostly small bytes, so that commands and short runs dominate.
        for (auto& b : stream)
            b = static_cast<uint8_t>(rng.range(0, 3) ? rng.range(0, 8) : rng.range(0, 255));
        const uint32_t compression = iteration % 2 ? kBiRle4 : kBiRle8;
        Decoded d = decode(rng.range(0, 9), rng.range(0, 4), compression, stream, stream.size());
        EXPECT_EQ(errors.reports().size(), d.ok ? 0u : 1u);
    }
}

}  // namespace
