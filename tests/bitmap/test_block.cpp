// Bitmaps of known size: the block checks, whole files and bare blocks,
// truncated files, and the sample files of tests/data against the pixels an
// independent decoder reads from them.
#include <gtest/gtest.h>

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

// The refusal of zarTranslateDIBBlock itself (its lines are its own).
void expectRefusal(const zt::ErrorRecorder& errors, const std::string& context) {
    zt::expectReportAnyLine(errors.only(), STATUS_BAD_ARG, "zarTranslateDIBBlock", context,
                            "zarDIB");
}

void put32(Bytes* b, size_t at, uint32_t v) { std::memcpy(b->data() + at, &v, 4); }

// A 3 x 2 24-bit block (bare) and its file image.
zt::Dib smallDib() {
    return zt::Dib(zt::bmpHeader(3, 2, 24), {}, {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                                                 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0});
}

Bytes bare(const zt::Dib& dib) { return Bytes(dib.bytes(), dib.bytes() + dib.size()); }

// ------------------------------------------------------------ block checks

TEST(BlockChecks, NullArguments) {
    zt::ErrorRecorder errors;
    int32_t cloneData = 7;
    EXPECT_EQ(zarTranslateDIBBlock(nullptr, 100, &cloneData), nullptr);
    expectRefusal(errors, "( block == ((void *)0) )");
    errors.clear();
    const Bytes block = bare(smallDib());
    EXPECT_EQ(zarTranslateDIBBlock(block.data(), block.size(), nullptr), nullptr);
    expectRefusal(errors, "( cloneData == ((void *)0) )");
    EXPECT_EQ(cloneData, 7);
}

// A block refused by zarTranslateDIBBlock: its bytes and the size passed.
struct Refusal {
    const char* context;
    Bytes bytes;
    size_t size;
};

std::vector<Refusal> refusals() {
    const Bytes block = bare(smallDib());
    const Bytes file = smallDib().fileImage();
    const char* kSmall = "Block too small for a BITMAPINFOHEADER";
    const char* kSmallFile = "Block too small for the file header and BITMAPINFOHEADER";
    const char* kTable = "Colour table or bit masks reach past the block";
    const char* kBits = "Bitmap bits reach past the block";
    std::vector<Refusal> out = {
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
        EXPECT_EQ(zarTranslateDIBBlock(r.bytes.data(), r.size, &cloneData), nullptr);
        expectRefusal(errors, r.context);
        EXPECT_EQ(cloneData, 7);
    }
}

TEST(BlockChecks, HeaderChecksAreThoseOfTranslate) {
    zt::ErrorRecorder errors;
    Bytes file = smallDib().fileImage();
    put32(&file, 14, 124);  // a larger header kind
    Translated t;
    translateBlock(file, &t);
    EXPECT_EQ(t.image, nullptr);
    zt::expectReport(errors.only(), STATUS_BAD_ARG, "zarTranslateDIB",
                     "( dib->biSize != sizeof(BITMAPINFOHEADER) )", "zarDIB", 164);
}

TEST(BlockChecks, RunLengthStreamWithoutSizeIsBoundedByTheBlock) {
    zt::ErrorRecorder errors;
    // No end of bitmap: the decoder runs out of block.
    const Bytes stream = {0x03, 0x07, 0x00, 0x00};
    zt::Dib dib(zt::bmpHeader(3, 2, 8, kBiRle8, 2, 0), zt::bmpPalette({0, 0xFFFFFF}), stream);
    Translated t;
    translateBlock(bare(dib), &t);
    ASSERT_NE(t.image, nullptr);  // a failed conversion still gives the image
    zt::expectRleFailure(errors, "Incorrect format of BI_RLE8 DIB (mismatch biHeight)", 643);
}

TEST(BlockChecks, RunLengthStreamStopsAtItsSizeInsideALargerBlock) {
    zt::ErrorRecorder errors;
    // biSizeImage 4 leaves the end of bitmap outside the stream.
    const Bytes stream = {0x03, 0x07, 0x00, 0x00, 0x00, 0x01};
    zt::Dib dib(zt::bmpHeader(3, 1, 8, kBiRle8, 2, 4), zt::bmpPalette({0, 0xFFFFFF}), stream);
    Translated t;
    translateBlock(bare(dib), &t);
    zt::expectRleFailure(errors, "Incorrect format of BI_RLE8 DIB (mismatch biHeight)", 643);
}

TEST(BlockChecks, AnEarlierFailureDoesNotStopTheConversion) {
    zt::ErrorRecorder errors;
    const Bytes stream = {0x03, 0x01, 0x00, 0x01};
    zt::Dib dib(zt::bmpHeader(3, 1, 8, kBiRle8, 2), zt::bmpPalette({0, 0x0000FF}), stream);
    zarSetStatus(STATUS_BAD_ARG);
    Translated t;
    translateBlock(bare(dib), &t);
    ASSERT_NE(t.image, nullptr);
    EXPECT_TRUE(errors.reports().empty());
    EXPECT_EQ(pictureSample(t.image, 2, 0, 0), 255);
    EXPECT_EQ(zarGetStatus(), STATUS_OK);
}

// ------------------------------------------------------------ layouts

TEST(BlockLayout, BareBlockAndWholeFileReferenceTheirBits) {
    zt::ErrorRecorder errors;
    const zt::Dib dib = smallDib();
    const Bytes block = bare(dib);
    const Bytes file = dib.fileImage();
    Translated a, b;
    translateBlock(block, &a);
    translateBlock(file, &b);
    ASSERT_NE(a.image, nullptr);
    ASSERT_NE(b.image, nullptr);
    EXPECT_EQ(a.cloneData, 0);
    EXPECT_EQ(b.cloneData, 0);
    EXPECT_EQ(a.image->imageData, reinterpret_cast<const char*>(block.data()) + 40);
    EXPECT_EQ(b.image->imageData, reinterpret_cast<const char*>(file.data()) + 54);
    EXPECT_EQ(pictureSample(b.image, 2, 0, 2), 19);
    EXPECT_EQ(pictureSample(b.image, 0, 1, 0), 1);
    EXPECT_TRUE(errors.reports().empty());
}

TEST(BlockLayout, BitsAwayFromTheTableAreConverted) {
    zt::ErrorRecorder errors;
    const zt::Dib dib = smallDib();
    Bytes file = dib.fileImage();
    file.insert(file.begin() + 54, {0xEE, 0xEE, 0xEE});  // a gap before the bits
    put32(&file, 10, 57);
    Translated t;
    translateBlock(file, &t);
    ASSERT_NE(t.image, nullptr);
    EXPECT_EQ(t.cloneData, 1);
    EXPECT_EQ(t.image->dataOrder, ZAR_DATA_ORDER_PLANE);
    EXPECT_EQ(t.image->align, 32);
    EXPECT_EQ(t.image->nChannels, 3);
    EXPECT_EQ(pictureSample(t.image, 2, 0, 2), 19);
    EXPECT_EQ(pictureSample(t.image, 0, 1, 0), 1);
    EXPECT_TRUE(errors.reports().empty());
}

TEST(BlockLayout, OneBitGrayAwayFromItsTableIsConvertedToBits) {
    zt::ErrorRecorder errors;
    zt::Dib dib(zt::bmpHeader(9, 1, 1), zt::bmpPalette({0, 0xFFFFFF}),
                zt::bmpPackRows({{1, 0, 0, 1, 1, 0, 1, 0, 1}}, 1));
    Bytes file = dib.fileImage();
    file.insert(file.begin() + 62, {0, 0, 0, 0});
    put32(&file, 10, 66);
    Translated t;
    translateBlock(file, &t);
    ASSERT_NE(t.image, nullptr);
    EXPECT_EQ(t.cloneData, 1);
    EXPECT_EQ(t.image->depth, ZAR_DEPTH_1U);
    const int expected[] = {1, 0, 0, 1, 1, 0, 1, 0, 1};
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(pictureSample(t.image, x, 0, 0), expected[x]);
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

TEST(SampleFiles, PixelsMatchTheIndependentDecoder) {
    for (const SampleFile& s : kSamples) {
        SCOPED_TRACE(s.name);
        zt::ErrorRecorder errors;
        const Bytes file = zt::readTestData(std::string(s.name) + ".bmp");
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

// The independent coder writes each row's padding as pixels: a run past
// biWidth, refused by the run-length rules (the image is still returned).
TEST(SampleFiles, RunLengthRowsCodedPastTheWidthAreRefused) {
    zt::ErrorRecorder errors;
    Translated t;
    translateBlock(zt::readTestData("rle8_color_padded.bmp"), &t);
    ASSERT_NE(t.image, nullptr);
    zt::expectRleFailure(errors, "Incorrect format of BI_RLE8 DIB (mismatch biHeight or biWidth)",
                         687);
}

// Every prefix of every sample, in a buffer of exactly that size: refused
// with one report, or translated; never a read outside the buffer (the
// sanitizer build checks).  Run-length files are also cut with biSizeImage
// cleared, so the decoder meets the end of the block.
TEST(SampleFiles, EveryTruncationIsRefusedOrTranslated) {
    zt::ErrorRecorder errors;
    for (const SampleFile& s : kSamples) {
        SCOPED_TRACE(s.name);
        Bytes file = zt::readTestData(std::string(s.name) + ".bmp");
        const bool runLength = file[30] == kBiRle8 || file[30] == kBiRle4;
        for (int pass = 0; pass < (runLength ? 2 : 1); ++pass) {
            if (pass == 1) put32(&file, 34, 0);
            for (size_t size = 0; size < file.size(); ++size) {
                errors.clear();
                const Bytes cut(file.begin(), file.begin() + size);
                Translated t;
                translateBlock(cut, &t);
                if (t.image == nullptr) {
                    EXPECT_EQ(errors.reports().size(), 1u) << size;
                } else if (!errors.reports().empty()) {
                    EXPECT_EQ(errors.reports().back().context, "Impossible to decompress RLE DIB");
                }
            }
        }
    }
}

}  // namespace
