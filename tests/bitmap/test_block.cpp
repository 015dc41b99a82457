// Bitmaps of known size: the block checks, whole files and bare blocks, and hand-worked
// bitmaps for the rules a reference could get wrong.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "support/bitmap_support.h"
#include "support/zar_test.h"

namespace {

using zt::Bytes;
using zt::pictureSample;
using zt::Translated;

void translateBlock(const Bytes& block, Translated* out) {
    out->image = zarTranslateDIBBlock(block.data(), block.size(), &out->cloneData);
}

void put32(Bytes* b, size_t at, uint32_t v) { std::memcpy(b->data() + at, &v, 4); }

// A 3 x 2 24-bit block (bare) and its file image.
zt::Dib smallDib() {
    return zt::Dib(zt::bmpHeader(3, 2, 24), {}, {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                                                 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0});
}

Bytes bare(const zt::Dib& dib) { return Bytes(dib.bytes(), dib.bytes() + dib.size()); }

// ------------------------------------------------------------ block checks

// A block refused by zarTranslateDIBBlock: its bytes and the size passed (null
// arguments: 1 the block, 2 cloneData), and the report.
struct Refusal {
    const char* context;
    Bytes bytes;
    size_t size;
    int nulls = 0;
};

std::vector<Refusal> refusals() {
    const Bytes block = bare(smallDib());
    const Bytes file = smallDib().fileImage();
    const char* kSmall = "Block too small for a BITMAPINFOHEADER";
    const char* kSmallFile = "Block too small for the file header and BITMAPINFOHEADER";
    const char* kTable = "Colour table or bit masks reach past the block";
    const char* kBits = "Bitmap bits reach past the block";
    std::vector<Refusal> out = {
        {"( block == ((void *)0) )", block, block.size(), 1},
        {"( cloneData == ((void *)0) )", block, block.size(), 2},
        {kSmall, block, 0},
        {kSmall, block, 1},
        {kSmall, block, 39},
        {kSmallFile, file, 2},
        {kSmallFile, file, 14},
        {kSmallFile, file, 53},
        {kBits, block, block.size() - 1},
        {kBits, file, file.size() - 1},
    };
    const zt::Dib gray(zt::bmpHeader(1, 1, 8), zt::bmpGrayRamp(256), {0, 0, 0, 0});
    Bytes table = bare(gray);
    table.resize(40 + 1023);
    out.push_back({kTable, table, table.size()});
    Bytes hostile = bare(gray);
    put32(&hostile, 32, 0xFFFFFFFF);  // biClrUsed
    out.push_back({kTable, hostile, hostile.size()});
    Bytes masks(40 + 8);
    const BITMAPINFOHEADER h = zt::bmpHeader(1, 1, 16, kBiBitfields);
    std::memcpy(masks.data(), &h, sizeof h);
    out.push_back({kTable, masks, masks.size()});
    Bytes offset = file;
    put32(&offset, 10, static_cast<uint32_t>(file.size() + 1));
    out.push_back({"Bits offset lies past the block", offset, offset.size()});
    Bytes huge = block;  // rows that would pass 64 bits' reach
    put32(&huge, 4, 0x7FFFFFFF);
    put32(&huge, 8, 0x80000000);
    out.push_back({kBits, huge, huge.size()});
    const zt::Dib rle(zt::bmpHeader(3, 1, 8, kBiRle8, 2, 5), zt::bmpPalette({0, 0xFFFFFF}),
                      {0x03, 0x07, 0x00, 0x01});
    out.push_back(
        {"Run-length stream (biSizeImage) reaches past the block", bare(rle), rle.size()});
    return out;
}

TEST(BlockChecks, EveryRefusal) {
    for (const Refusal& r : refusals()) {
        SCOPED_TRACE(::testing::Message() << r.context << " size " << r.size);
        zt::ErrorRecorder errors;
        int32_t cloneData = 7;
        EXPECT_EQ(zarTranslateDIBBlock(r.nulls == 1 ? nullptr : r.bytes.data(), r.size,
                                       r.nulls == 2 ? nullptr : &cloneData),
                  nullptr);
        zt::expectReportList(errors,
                             {{STATUS_BAD_ARG, "zarTranslateDIBBlock", r.context, "zarDIB", 0}});
        EXPECT_EQ(cloneData, 7);
    }
}

// ------------------------------------------------------------ layouts

// A block that translates: whether its bits are referenced (at bitsAt) or
// converted (bitsAt 0), the reports made on the way, and samples (x, picture
// line, channel, value).
struct BlockCase {
    const char* name;
    Bytes bytes;
    int32_t bitsAt;
    std::vector<zt::Report> reports;
    std::vector<std::array<int32_t, 4>> samples;
    bool failedBefore = false;
};

std::vector<BlockCase> blockCases() {
    const std::vector<std::array<int32_t, 4>> small = {{2, 0, 2, 19}, {0, 1, 0, 1}};
    Bytes gap = smallDib().fileImage();
    gap.insert(gap.begin() + 54, {0xEE, 0xEE, 0xEE});  // a gap before the bits
    put32(&gap, 10, 57);
    zt::Dib oneBit(zt::bmpHeader(9, 1, 1), zt::bmpPalette({0, 0xFFFFFF}),
                   {0x9A, 0x80, 0, 0});  // 1 0 0 1 1 0 1 0 | 1
    Bytes oneBitGap = oneBit.fileImage();
    oneBitGap.insert(oneBitGap.begin() + 62, {0, 0, 0, 0});
    put32(&oneBitGap, 10, 66);
    std::vector<std::array<int32_t, 4>> bits;  // 1 0 0 1 1 0 1 0 1
    for (int32_t x = 0; x < 9; ++x) bits.push_back({x, 0, 0, (0x135 >> (8 - x)) & 1});
    const auto palette = zt::bmpPalette({0, 0x0000FF});
    // No end of bitmap: the stream is bounded by the block; or by biSizeImage 4.
    const zt::Dib unbounded(zt::bmpHeader(3, 2, 8, kBiRle8, 2, 0), palette, {3, 7, 0, 0});
    const zt::Dib sized(zt::bmpHeader(3, 1, 8, kBiRle8, 2, 4), palette, {3, 7, 0, 0, 0, 1});
    const zt::Dib red(zt::bmpHeader(3, 1, 8, kBiRle8, 2), palette, {3, 1, 0, 1});
    const auto height = zt::rleFailure("Incorrect format of BI_RLE8 DIB (mismatch biHeight)", 643);
    return {
        {"bare block", bare(smallDib()), 40, {}, small},
        {"whole file", smallDib().fileImage(), 54, {}, small},
        {"bits away from the table", gap, 0, {}, small},
        {"1-bit gray away from its table is converted to bits", oneBitGap, 0, {}, bits},
        {"stream bounded by the block", bare(unbounded), 0, height, {}},
        {"stream bounded by biSizeImage", bare(sized), 0, height, {}},
        {"an earlier failure does not stop it", bare(red), 0, {}, {{2, 0, 0, 255}}, true},
        // Rules a reference could get wrong: the nibble order; 5-5-5 values shifted up, not
        // replicated; 16-bit masks cut to sixteen bits, wide fields cut to their top 8 bits;
        // 32-bit alpha in the bits above the fields (a 2-bit field here).
        {"4-bit colour: the high nibble first",
         bare(zt::Dib(zt::bmpHeader(5, 1, 4, 0, 3), zt::bmpPalette({0xFF0000, 0xFF00, 0xFF}),
                      {0x01, 0x21, 0x00, 0})),
         0,
         {},
         {{0, 0, 2, 255}, {1, 0, 1, 255}, {2, 0, 0, 255}, {3, 0, 1, 255}, {4, 0, 2, 255}}},
        {"16-bit 5-5-5",
         bare(zt::Dib(zt::bmpHeader(2, 1, 16), {}, zt::le({0x7FFF, 0x8421}, 2))),
         0,
         {},
         {{0, 0, 0, 248}, {1, 0, 0, 8}, {1, 0, 2, 8}}},
        {"16-bit fields",
         bare(zt::Dib(zt::bmpHeader(1, 1, 16, kBiBitfields), zt::le({0xFFF0, 0xC, 0x10000F}),
                      zt::le({0xABCD}))),
         0,
         {},
         {{0, 0, 0, 0xD0}, {0, 0, 1, 0xC0}, {0, 0, 2, 0xAB}}},
        {"32-bit fields",
         bare(zt::Dib(zt::bmpHeader(1, 1, 32, kBiBitfields),
                      zt::le({0x3FF00000, 0x000FFC00, 0x000003FF}),
                      zt::le({3u << 30 | 0x3FFu << 20 | 0x200u << 10 | 0x001u}))),
         0,
         {},
         {{0, 0, 0, 0x00}, {0, 0, 1, 0x80}, {0, 0, 2, 0xFF}, {0, 0, 3, 0xC0}}},
    };
}

TEST(BlockLayout, ReferencedOrConvertedBitsAndTheirReports) {
    for (const BlockCase& c : blockCases()) {
        SCOPED_TRACE(c.name);
        zt::ErrorRecorder errors;
        if (c.failedBefore) zarSetStatus(STATUS_BAD_ARG);
        Translated t;
        translateBlock(c.bytes, &t);
        ASSERT_NE(t.image, nullptr);
        EXPECT_EQ(zarGetStatus(), c.reports.empty() ? STATUS_OK : c.reports.back().status);
        zt::expectReportList(errors, c.reports);
        EXPECT_EQ(t.cloneData, c.bitsAt ? 0 : 1);
        const char* bits = reinterpret_cast<const char*>(c.bytes.data()) + c.bitsAt;
        EXPECT_TRUE(c.bitsAt == 0 || t.image->imageData == bits);
        for (const auto& [x, y, ch, value] : c.samples)
            EXPECT_EQ(pictureSample(t.image, x, y, ch), value) << x << "," << y << " c " << ch;
        zarSetStatus(STATUS_OK);
    }
}

}  // namespace
