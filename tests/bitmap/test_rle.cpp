// Run-length decoding: one table of streams with the rows or the report each must give, the
// stream limit, and random bytes as streams (random coded streams are decoded against the
// pixels they code in test_translate).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "image/image.h"
#include "support/bitmap_support.h"
#include "support/zar_test.h"

namespace {

using zt::Bytes;

struct Decoded {
    bool ok = false;
    Bytes rows;  // |height| rows of the row size, bottom-up as decoded
};

// Decodes stream as the bits of a width x height run-length bitmap of bitCount 8 or 4 (two
// colour entries), reading at most streamLimit bytes.  The stream (cut to the limit) fills
// its own allocation: a read past it is caught by the sanitizer build.
Decoded decode(int32_t bitCount, int32_t width, int32_t height, const Bytes& stream,
               size_t streamLimit = kUnboundedStream) {
    const uint32_t compression = bitCount == 8 ? kBiRle8 : kBiRle4;
    zt::Dib dib(zt::bmpHeader(width, height, static_cast<uint16_t>(bitCount), compression, 2),
                zt::bmpPalette({0, 0xFFFFFF}), {});
    const Bytes exact(stream.begin(), stream.begin() + std::min(stream.size(), streamLimit));
    DibBlock block = contiguousDib(dib.header());
    block.bits = exact.data();
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

// The decoder's texts by bit count: "W" mismatch biWidth, "H" mismatch
// biHeight, "D" bad Delta command, "P" mismatch biHeight or biWidth, "M" memory.
std::string rleText(int32_t bits, char kind) {
    const std::string format = "BI_RLE" + std::to_string(bits) + " DIB";
    if (kind == 'M') return "Not enough memory to decompress " + format + " at DIB";
    const char* what = kind == 'W'   ? "mismatch biWidth"
                       : kind == 'H' ? "mismatch biHeight"
                       : kind == 'D' ? "bad Delta command"
                                     : "mismatch biHeight or biWidth";
    return "Incorrect format of " + format + " (" + what + ")";
}

constexpr size_t kAll = kUnboundedStream;

// A stream and what it must give: the rows (bottom-up, padding included; bytes
// the stream does not reach are 0), or the report of kind (see rleText) at line.
struct RleCase {
    int32_t bits, width, height;
    size_t limit;
    Bytes stream;
    Bytes rows;
    char kind = 0;
    int32_t line = 0;
};

const RleCase kCases[] = {
    // A run of three fills the row padded to four bytes (the whole limit used).
    {8, 3, 1, 6, {3, 7, 0, 0, 0, 1}, {7, 7, 7, 0}},
    // End of bitmap right after the last pixel needs no end of line.
    {8, 2, 2, kAll, {2, 5, 0, 0, 2, 6, 0, 1}, {5, 5, 0, 0, 6, 6, 0, 0}},
    {8, 1, 2, kAll, {1, 5, 0, 0, 1, 6, 0, 0, 0, 1}, {5, 0, 0, 0, 6, 0, 0, 0}},
    // An absolute run of three is followed by one padding byte; of four, none.
    {8, 4, 1, kAll, {0, 3, 1, 2, 3, 0xEE, 1, 9, 0, 1}, {1, 2, 3, 9}},
    {8, 5, 1, kAll, {0, 4, 1, 2, 3, 4, 1, 9, 0, 1}, {1, 2, 3, 4, 9, 0, 0, 0}},
    // A delta five right, one up; then three pixels of 9.
    {8, 8, 2, kAll, {0, 2, 5, 1, 3, 9, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9, 9}},
    // A delta to the last row and column, then end of bitmap.
    {8, 4, 2, kAll, {0, 2, 4, 2, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0}},
    // A B A B A: the pattern's next nibble B lands in the padding.
    {4, 5, 1, kAll, {5, 0xAB, 0, 1}, {0xAB, 0xAB, 0xAB, 0x00}},
    // 1 C D C D 2: an odd run's surplus nibble is overwritten by the next run.
    {4, 6, 1, kAll, {1, 0x11, 4, 0xCD, 1, 0x22, 0, 1}, {0x1C, 0xDC, 0xD2, 0x20}},
    // A run of 7 from column 1 of a full row: its surplus B starts the next row,
    // or, on the last row, is not written past the buffer.
    {4, 8, 2, kAll, {1, 0x11, 7, 0xAB, 0, 0, 0, 1}, {0x1A, 0xBA, 0xBA, 0xBA, 0xB0, 0, 0, 0}},
    {4, 8, 1, kAll, {1, 0x11, 7, 0xAB, 0, 1}, {0x1A, 0xBA, 0xBA, 0xBA}},
    // A B A and surplus B at column 3 stay when a delta skips them.
    {4, 6, 1, kAll, {3, 0xAB, 0, 2, 2, 0, 1, 0xCC, 0, 1}, {0xAB, 0xAB, 0x0C, 0xC0}},
    // Absolute nibbles padded to sixteen bits, at an even and an odd column.
    {4, 6, 1, kAll, {0, 5, 0x12, 0x34, 0x50, 0xEE, 1, 0x66, 0, 1}, {0x12, 0x34, 0x56, 0x60}},
    {4, 4, 1, kAll, {1, 0x77, 0, 3, 0xAB, 0xC0, 0, 1}, {0x7A, 0xBC, 0x00, 0x00}},
    {4, 4, 2, kAll, {0, 2, 3, 1, 1, 0x50, 0, 1}, {0, 0, 0, 0, 0x00, 0x05, 0, 0}},
    // End of line before the width; end of bitmap on a wrong row.
    {8, 4, 1, kAll, {3, 7, 0, 0, 0, 1}, {}, 'W', 623},
    {8, 1, 3, kAll, {1, 7, 0, 0, 0, 1}, {}, 'H', 643},
    // The stream ends before its end of bitmap: after a run, inside a delta or
    // an absolute run.
    {8, 3, 1, 4, {3, 7, 0, 0, 0, 1}, {}, 'H', 643},
    {8, 3, 1, 3, {0, 2, 1, 0}, {}, 'H', 643},
    {8, 5, 1, 5, {0, 4, 1, 2, 3, 4, 0, 1}, {}, 'H', 643},
    // Deltas right and up out of the bitmap.
    {8, 4, 2, kAll, {0, 2, 5, 0}, {}, 'D', 658},
    {8, 4, 2, kAll, {0, 2, 0, 3}, {}, 'D', 658},
    // A run and an absolute run past the width, a run on the row equal to the
    // height (a delta there is allowed), an end of line there, a negative height.
    {8, 4, 1, kAll, {2, 1, 3, 7, 0, 1}, {}, 'P', 687},
    {8, 4, 1, kAll, {2, 1, 0, 3, 1, 2, 3, 0, 0, 1}, {}, 'P', 687},
    {8, 4, 2, kAll, {0, 2, 0, 2, 1, 7, 0, 1}, {}, 'P', 687},
    {8, 4, 2, kAll, {0, 2, 4, 2, 0, 0, 0, 1}, {}, 'P', 687},
    {8, 4, -1, kAll, {4, 7, 0, 1}, {}, 'P', 687},
    {8, 0x7FFFFFF0, 0x7FFFFFF0, kAll, {0, 1}, {}, 'M', 597},
    {4, 4, 1, kAll, {3, 7, 0, 0, 0, 1}, {}, 'W', 755},
    {4, 1, 3, kAll, {1, 7, 0, 0, 0, 1}, {}, 'H', 776},
    {4, 3, 1, 5, {3, 7, 0, 0, 0, 1}, {}, 'H', 776},
    {4, 5, 1, 4, {0, 5, 0x12, 0x34}, {}, 'H', 776},  // 5 nibbles need 3 bytes
    {4, 4, 2, kAll, {0, 2, 5, 0}, {}, 'D', 796},
    {4, 4, 1, kAll, {3, 1, 2, 7, 0, 1}, {}, 'P', 839},
    {4, 4, 1, kAll, {2, 1, 0, 3, 0x12, 0x30, 0, 1}, {}, 'P', 839},
    {4, 4, 2, kAll, {0, 2, 0, 2, 1, 7, 0, 1}, {}, 'P', 839},
    {4, 4, -2, kAll, {4, 7, 0, 1}, {}, 'P', 839},
    {4, 0x7FFFFFF0, 0x7FFFFFF0, kAll, {0, 1}, {}, 'M', 706},
};

TEST(RleDecode, EveryStreamGivesItsRowsOrItsReport) {
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const RleCase& c = kCases[i];
        SCOPED_TRACE(i);
        zt::ErrorRecorder errors;
        const Decoded d = decode(c.bits, c.width, c.height, c.stream, c.limit);
        EXPECT_EQ(d.ok, c.kind == 0);
        if (c.kind == 0) {
            EXPECT_EQ(d.rows, c.rows);
            EXPECT_TRUE(errors.reports().empty());
        } else {
            const ZarStatus status = c.kind == 'M' ? STATUS_NO_MEMORY : STATUS_BAD_ARG;
            zt::expectReportList(
                errors, {{status, "zarConvertFromDIB", rleText(c.bits, c.kind), "ownrle", c.line}});
        }
    }
}

// A stream without its end of bitmap, cut at every length: the decoder stops at the limit.
TEST(RleDecode, NeverReadsPastTheLimit) {
    const Bytes stream = {0x03, 0x07, 0x00, 0x00, 0x00};
    for (size_t limit = 0; limit <= stream.size(); ++limit) {
        zt::ErrorRecorder errors;
        EXPECT_FALSE(decode(8, 3, 2, stream, limit).ok);
        zt::expectReportList(
            errors, {{STATUS_BAD_ARG, "zarConvertFromDIB", rleText(8, 'H'), "ownrle", 643}});
    }
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
        Decoded d = decode(iteration % 2 ? 4 : 8, rng.range(0, 9), rng.range(0, 4), stream,
                           stream.size());
        EXPECT_EQ(errors.reports().size(), d.ok ? 0u : 1u);
    }
}

}  // namespace
