// Bitmaps of known size: the block checks, whole files and bare blocks,
// truncated files, and the sample files of tests/data against the pixels an
// independent decoder reads from them.
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

using Bytes = std::vector<uint8_t>;
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
    // The header checks are those of zarTranslateDIB.
    zt::ErrorRecorder errors;
    Bytes file = smallDib().fileImage();
    put32(&file, 14, 124);  // a larger header kind
    Translated t;
    translateBlock(file, &t);
    EXPECT_EQ(t.image, nullptr);
    zt::expectReportList(errors, {{STATUS_BAD_ARG, "zarTranslateDIB",
                                   "( dib->biSize != sizeof(BITMAPINFOHEADER) )", "zarDIB", 164}});
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
        // The independent coder writes each row's padding as pixels: a run past
        // biWidth, refused by the run-length rules (the image is still returned).
        {"run-length rows coded past the width",
         zt::readTestData("rle8_color_padded.bmp"),
         0,
         zt::rleFailure("Incorrect format of BI_RLE8 DIB (mismatch biHeight or biWidth)", 687),
         {}},
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

// ------------------------------------------------------------ sample files

struct SampleFile {
    const char* name;
    int32_t nChannels, depth, cloneData;
    int32_t fieldBits[3];  // blue, green, red widths of 16-bit fields (0: 8 bits)
};

const SampleFile kSamples[] = {
    {"bits1_gray", 1, ZAR_DEPTH_1U, 0, {}},
    {"bits1_gray_topdown", 1, ZAR_DEPTH_1U, 0, {}},
    {"bits1_color", 3, ZAR_DEPTH_8U, 1, {}},
    {"bits4_gray", 1, ZAR_DEPTH_8U, 1, {}},
    {"bits4_color", 3, ZAR_DEPTH_8U, 1, {}},
    {"bits4_color_topdown", 3, ZAR_DEPTH_8U, 1, {}},
    {"bits8_gray", 1, ZAR_DEPTH_8U, 0, {}},
    {"bits8_color", 3, ZAR_DEPTH_8U, 1, {}},
    {"bits8_color_topdown", 3, ZAR_DEPTH_8U, 1, {}},
    {"rle8_gray", 1, ZAR_DEPTH_8U, 1, {}},
    {"rle8_color", 3, ZAR_DEPTH_8U, 1, {}},
    {"rle4_gray", 1, ZAR_DEPTH_8U, 1, {}},
    {"rle4_color", 3, ZAR_DEPTH_8U, 1, {}},
    {"bits16_555", 3, ZAR_DEPTH_8U, 1, {5, 5, 5}},
    {"bits16_565", 3, ZAR_DEPTH_8U, 1, {5, 6, 5}},
    {"bits24", 3, ZAR_DEPTH_8U, 0, {}},
    {"bits24_topdown", 3, ZAR_DEPTH_8U, 0, {}},
    {"bits32", 4, ZAR_DEPTH_8U, 0, {}},
    {"bits32_topdown", 4, ZAR_DEPTH_8U, 0, {}},
    {"bits32_fields", 4, ZAR_DEPTH_8U, 1, {}},
};

// The independent decoder's samples: 16 bits, most significant byte first, RGBA, rows
// from the top.
struct DecodedPixels {
    Bytes raw;
    int32_t sample(int32_t index, int32_t channel) const {
        const size_t at = 2 * (4 * static_cast<size_t>(index) + channel);
        return raw[at] << 8 | raw[at + 1];
    }
};

// Our 8-bit value from the decoder's 16-bit one: 8-bit channels are exact
// multiples of 257; a field of b < 8 bits keeps its value shifted up without
// replicating its high bits, so the field value is recovered first.
int32_t expectedByte(int32_t v16, int32_t fieldBits) {
    if (fieldBits == 0 || fieldBits == 8) return v16 / 257;
    const int32_t maxField = (1 << fieldBits) - 1;
    const int32_t field = static_cast<int32_t>(std::lround(v16 * double(maxField) / 65535.0));
    return field << (8 - fieldBits);
}

// Every prefix of every sample, in a buffer of exactly that size, is refused with one report
// or translated; never a read outside the buffer (the sanitizer build checks).  Run-length
// files are also cut with biSizeImage cleared, so the decoder meets the end of the block.
void expectTruncationsRefusedOrTranslated(Bytes file) {
    zt::ErrorRecorder errors;
    const bool runLength = file[30] == kBiRle8 || file[30] == kBiRle4;
    for (int pass = 0; pass < (runLength ? 2 : 1); ++pass) {
        if (pass == 1) put32(&file, 34, 0);
        for (size_t size = 0; size < file.size(); ++size) {
            errors.clear();
            Translated t;
            translateBlock(Bytes(file.begin(), file.begin() + size), &t);
            const size_t reports = errors.reports().size();
            EXPECT_EQ(reports, t.image ? reports : 1u) << size;
            if (t.image && reports) {
                EXPECT_EQ(errors.reports().back().context, "Impossible to decompress RLE DIB");
            }
        }
    }
}

TEST(SampleFiles, PixelsMatchTheIndependentDecoderAndEveryTruncationFailsCleanly) {
    for (const SampleFile& s : kSamples) {
        SCOPED_TRACE(s.name);
        const Bytes file = zt::readTestData(std::string(s.name) + ".bmp");
        expectTruncationsRefusedOrTranslated(file);
        zt::ErrorRecorder errors;
        const DecodedPixels expected{zt::readTestData(std::string(s.name) + ".rgba")};
        // The file alone, as a bare block and as a whole file.
        const Bytes block(file.begin() + 14, file.end());
        for (const Bytes* input : {&file, &block}) {
            Translated t;
            translateBlock(*input, &t);
            ASSERT_NE(t.image, nullptr);
            ASSERT_TRUE(errors.reports().empty()) << errors.reports()[0].context;
            EXPECT_EQ(t.cloneData, s.cloneData);
            EXPECT_EQ(t.image->nChannels, s.nChannels);
            EXPECT_EQ(t.image->depth, s.depth);
            const bool topDown = std::string(s.name).ends_with("_topdown");
            EXPECT_EQ(t.image->origin, topDown ? ZAR_ORIGIN_TL : ZAR_ORIGIN_BL);
            const int32_t w = t.image->width, h = t.image->height;
            ASSERT_EQ(expected.raw.size(), 8u * w * h);
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const int32_t i = y * w + x;
                    if (s.nChannels == 1) {
                        ASSERT_EQ(expected.sample(i, 0), expected.sample(i, 2));
                        const int32_t gray = expected.sample(i, 0) / 257;
                        const int32_t want = s.depth == ZAR_DEPTH_1U ? gray >= 128 : gray;
                        ASSERT_EQ(pictureSample(t.image, x, y, 0), want) << x << "," << y;
                        continue;
                    }
                    // Channels blue, green, red (, alpha) from RGBA.
                    const int32_t from[] = {2, 1, 0, 3};
                    for (int32_t c = 0; c < s.nChannels; ++c) {
                        const int32_t bits = c < 3 ? s.fieldBits[c] : 0;
                        ASSERT_EQ(pictureSample(t.image, x, y, c),
                                  expectedByte(expected.sample(i, from[c]), bits))
                            << x << "," << y << " channel " << c;
                    }
                }
        }
    }
}

}  // namespace
