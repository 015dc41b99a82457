// Bitmap translation and conversion: check tables of the three entry points, the gray palette
// rule, bitmap blocks (bare and whole files) with hand-worked bitmaps for the rules a reference
// could get wrong, and random bitmaps (every kind, given three ways, and their truncations)
// translated and converted into random images against the reference decoder of bitmap_support.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bitmap/bitmap.h"
#include "image/image.h"
#include "support/bitmap_support.h"
#include "support/zar_test.h"

namespace {

using zt::Bytes;
using zt::pictureSample;
using zt::Translated;

// The gray rule: n > 1 colour entries (biClrUsed, or all the bit count has) with blue, green
// and red 255 * i / (n - 1).
bool grayRamp(const BITMAPINFOHEADER& h, const Bytes& colors) {
    const size_t n = h.biClrUsed ? h.biClrUsed : size_t{1} << h.biBitCount;
    bool gray = h.biBitCount <= 8 && n > 1 && 4 * n <= colors.size();
    for (size_t i = 0; gray && i < n; ++i)
        for (int k = 0; k < 3; ++k) gray = gray && colors[4 * i + k] == 255 * i / (n - 1);
    return gray;
}

// What a bitmap translates into: gray palettes give one channel (1-bit: the bits; 8-bit: the
// indices; 4-bit and run-length: converted levels); other palettes, 16 and 24 bits three
// channels; 32 bits four with alpha.  Converted images are planar, 32-byte aligned.
void expectShape(const BITMAPINFOHEADER& h, const Bytes& colors, const Translated& t,
                 const uint8_t* bits) {
    const bool gray = grayRamp(h, colors),
               rle = h.biCompression == kBiRle8 || h.biCompression == kBiRle4;
    const int32_t n = gray ? 1 : h.biBitCount == 32 ? 4 : 3;
    const bool converted = gray ? h.biBitCount == 4 || rle
                                : h.biBitCount < 24 || h.biCompression == kBiBitfields;
    const ImageHeader* image = t.image;
    ASSERT_NE(image, nullptr);
    EXPECT_EQ((std::array{image->nChannels, image->alphaChannel, image->depth, image->dataOrder,
                          image->align, t.cloneData, image->width, image->height, image->origin}),
              (std::array<int32_t, 9>{
                  n, n == 4 ? 4 : 0, gray && h.biBitCount == 1 ? ZAR_DEPTH_1U : ZAR_DEPTH_8U,
                  int32_t{converted}, converted ? 32 : 4, int32_t{converted}, h.biWidth,
                  std::abs(h.biHeight), h.biHeight < 0 ? ZAR_ORIGIN_TL : ZAR_ORIGIN_BL}));
    const char* const texts[] = {"GRAYG\0\0\0", "", "RGB\0BGR\0", "RGBABGRA"};
    EXPECT_EQ(std::memcmp(image->colorModel, texts[n - 1], 8), 0);
    EXPECT_EQ((std::array<const void*, 4>{image->roi, image->maskImage, image->tileInfo,
                                          image->imageTag}),
              (std::array<const void*, 4>{}));
    if (converted) {
        EXPECT_NE(image->imageDataBlock, nullptr);
        EXPECT_EQ(image->widthStep, zt::expectedWidthStep(1, image->depth, 32, n, image->width));
    } else {  // the bitmap's bits and row size, no block
        EXPECT_EQ(image->imageData, reinterpret_cast<const char*>(bits));
        EXPECT_EQ(image->imageDataBlock, nullptr);
        EXPECT_EQ(image->widthStep, zt::bmpRowSize(h.biWidth, h.biBitCount));
        EXPECT_EQ(image->imageSize, image->widthStep * std::abs(h.biHeight));
    }
}

// ------------------------------------------------------------ check tables

using Reports = std::vector<zt::Report>;

Reports translateFails(const char* context, int32_t line) {
    return {{STATUS_BAD_ARG, "zarTranslateDIB", context, "zarDIB", line}};
}
Reports convertFails(const char* context, int32_t line, ZarStatus status = STATUS_BAD_ARG) {
    return {{status, "zarConvertFromDIB", context, "zarDIB", line}};
}

// The header checks all three entry points make, in their order: a spoiled 2 x 2 24-bit
// header and what each reports (the converter's texts are its own).
struct HeaderCheck {
    void (*spoil)(BITMAPINFOHEADER*);
    const char *translateContext, *convertContext;
    int32_t translateLine, convertLine;
};

const char* const kCompression =
    "(dib->biCompression != 0) && (dib->biCompression != 1) && (dib->biCompression != 2) && "
    "(dib->biCompression != 3)";
const char* const kRleTopDown =
    "(dib->biHeight < 0) && ( (dib->biCompression == 1) || (dib->biCompression == 2) )";
const char* const kRle8Bits = "(dib->biBitCount != 8) && (dib->biCompression == 1)";
const char* const kRle4Bits = "(dib->biBitCount != 4) && (dib->biCompression == 2)";

const HeaderCheck kHeaderChecks[] = {
    {[](BITMAPINFOHEADER* h) { h->biSize = 41; }, "( dib->biSize != sizeof(BITMAPINFOHEADER) )",
     "(dib->biSize != sizeof(BITMAPINFOHEADER))", 164, 621},
    {[](BITMAPINFOHEADER* h) { h->biSize = 124, h->biPlanes = 3; },  // size before planes
     "( dib->biSize != sizeof(BITMAPINFOHEADER) )", "(dib->biSize != sizeof(BITMAPINFOHEADER))",
     164, 621},
    {[](BITMAPINFOHEADER* h) { h->biPlanes = 0; }, "(dib->biPlanes != 1)", "(dib->biPlanes != 1)",
     166, 623},
    {[](BITMAPINFOHEADER* h) { h->biCompression = 4; }, kCompression, kCompression, 168, 625},
    {[](BITMAPINFOHEADER* h) { h->biCompression = 1, h->biBitCount = 4; }, kRle8Bits, kRle8Bits,
     173, 630},
    {[](BITMAPINFOHEADER* h) { h->biCompression = 2, h->biBitCount = 8; }, kRle4Bits, kRle4Bits,
     176, 632},
    {[](BITMAPINFOHEADER* h) { h->biCompression = 1, h->biBitCount = 8, h->biHeight = -2; },
     kRleTopDown, kRleTopDown, 179, 634},
    {[](BITMAPINFOHEADER* h) { h->biCompression = 2, h->biBitCount = 4, h->biHeight = -2; },
     kRleTopDown, kRleTopDown, 179, 634},
};

TEST(BitmapChecks, HeaderChecksOfBothEntryPointsInOrder) {
    for (const HeaderCheck& c : kHeaderChecks) {
        SCOPED_TRACE(c.translateContext);
        zt::ErrorRecorder errors;
        zt::Dib dib(zt::bmpHeader(2, 2, 24), Bytes(1024), Bytes(64));
        c.spoil(dib.header());
        const Bytes file = dib.fileImage();  // the block form makes the same checks
        int32_t cloneData = 7;
        EXPECT_EQ(zarTranslateDIB(dib.header(), &cloneData), nullptr);
        EXPECT_EQ(zarTranslateDIBBlock(file.data(), file.size(), &cloneData), nullptr);
        EXPECT_EQ(cloneData, 7);
        const Reports once = translateFails(c.translateContext, c.translateLine);
        zt::expectReportList(errors, {once[0], once[0]});
        errors.clear();
        zt::Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 2, 2, 4, 0x55);
        zarConvertFromDIB(dib.header(), image);
        zt::expectReportList(errors, convertFails(c.convertContext, c.convertLine));
        EXPECT_EQ(zt::getSample(image, 0, 0, 0), 0x55);
    }
}

// zarTranslateDIB's own refusals: null arguments (1 the bitmap, 2 cloneData),
// bit counts, and images that cannot be made.
TEST(BitmapChecks, TranslateRefusals) {
    const struct {
        int nulls;
        BITMAPINFOHEADER header;
        Reports reports;
    } cases[] = {
        {1, zt::bmpHeader(2, 2, 24), translateFails("( dib == ((void *)0) )", 162)},
        {2, zt::bmpHeader(2, 2, 24), translateFails("( cloneData == ((void *)0) )", 163)},
        {0, zt::bmpHeader(2, 2, 2), translateFails("dib->biBitCount is bad", 276)},
        {0, zt::bmpHeader(2, 2, 0), translateFails("dib->biBitCount is bad", 276)},
        {0,
         zt::bmpHeader(0, 2, 24),
         {{STATUS_BAD_IMAGE_SIZE, "zarCreateImageHeader", "Incorrect data-ins", "zaralloc", 148},
          {STATUS_NO_MEMORY, "zarTranslateDIB",
           "Not enough memory to allocate header for destination image", "zarDIB", 310}}},
        // 3 planes of 30000 x 30000 bytes pass the 32-bit sizes of an image.
        {0,
         zt::bmpHeader(30000, 30000, 16),
         {{STATUS_NO_MEMORY, "zarTranslateDIB",
           "Not enough memory to allocate data for destination image", "zarDIB", 323}}},
        {0,
         zt::bmpHeader(0x10000000, 16, 24),
         {{STATUS_BAD_IMAGE_SIZE, "zarTranslateDIB", "Bitmap too large for an image", "zarDIB",
           0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reports[0].context);
        zt::ErrorRecorder errors;
        zt::Dib dib(c.header, Bytes(1024), Bytes(64));
        int32_t cloneData = 7;
        EXPECT_EQ(zarTranslateDIB(c.nulls == 1 ? nullptr : dib.header(),
                                  c.nulls == 2 ? nullptr : &cloneData),
                  nullptr);
        EXPECT_EQ(cloneData, 7);
        zt::expectReportList(errors, c.reports);
    }
}

// zarConvertFromDIB's own refusals on a 3-channel 8-bit 2 x 2 image filled with 0x55 and a
// 2 x 2 24-bit bitmap: one image field set to a value (or the channel sequence to a text; the
// bitmap's width and height), and the report; nothing is written.
struct ConvertRefusal {
    int32_t ImageHeader::*field;
    int32_t value;
    const char* context;
    int32_t line;
    ZarStatus status = STATUS_BAD_ARG;
};

const char* const kAligns =
    "( (image->align != 4) && (image->align != 8) && (image->align != 16) && (image->align != 32) "
    ")";
const ConvertRefusal kConvertRefusals[] = {
    {&ImageHeader::alphaChannel, -1, "( image->alphaChannel < 0 )", 597},
    {&ImageHeader::alphaChannel, 4, "( image->nChannels < image->alphaChannel )", 598},
    {&ImageHeader::dataOrder, 2, "( (image->dataOrder != 0) && (image->dataOrder != 1) )", 601},
    {&ImageHeader::origin, -1, "( (image->origin != 0) && (image->origin != 1) )", 605},
    {&ImageHeader::align, 2, kAligns, 609},
    {&ImageHeader::height, 0, "(image->height <= 0)", 615},
    {&ImageHeader::width, -3, "(image->width <= 0)", 616},
    {&ImageHeader::imageSize, 0, "(image->imageSize <= 0)", 617},
    {&ImageHeader::widthStep, 0, "(image->widthStep <= 0)", 618},
    // Channel counts and depths no writer takes.
    {&ImageHeader::nChannels, 2, "", 935, STATUS_INTERNAL},
    {&ImageHeader::nChannels, 5, "", 935, STATUS_INTERNAL},
    {&ImageHeader::depth, ZAR_DEPTH_8S, "", 935, STATUS_INTERNAL},
    {&ImageHeader::depth, ZAR_DEPTH_32S, "", 935, STATUS_INTERNAL},
};

TEST(BitmapChecks, ConvertRefusals) {
    auto check = [](auto spoilImage, auto spoilDib, const Reports& want) {
        SCOPED_TRACE(want.back().context);
        zt::ErrorRecorder errors;
        zt::Dib dib(zt::bmpHeader(2, 2, 24), Bytes(1024), Bytes(64));
        spoilDib(dib.header());
        zt::Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 2, 2, 4, 0x55);
        std::memcpy(image->channelSeq, "BGR\0", 4);
        const ImageHeader saved = *image.get();
        spoilImage(image.get());
        zarConvertFromDIB(dib.header(), image);
        zt::expectReportList(errors, want);
        *image.get() = saved;
        EXPECT_EQ(zt::getSample(image, 0, 0, 0), 0x55);
    };
    auto none = [](auto*) {};
    for (const ConvertRefusal& r : kConvertRefusals)
        check([&](ImageHeader* i) { i->*r.field = r.value; }, none,
              convertFails(r.context, r.line, r.status));
    for (const char* seq : {"RGBX", "GR\0\0", "bgr\0", "BGRX"})
        check([&](ImageHeader* i) { std::memcpy(i->channelSeq, seq, 4); }, none,
              convertFails("image->channelSeq unsupport", 729, STATUS_BAD_COLOR_MODEL));
    for (auto [width, height] : {std::pair{3, 2}, {2, -3}, {2, 3}})
        check(
            none, [&](BITMAPINFOHEADER* h) { h->biWidth = width, h->biHeight = height; },
            convertFails("Image size is too small", 643, STATUS_BAD_IMAGE_SIZE));
    for (int32_t depth : {ZAR_DEPTH_16S, ZAR_DEPTH_32F})
        check([&](ImageHeader* i) { i->nChannels = 1, i->depth = depth; }, none,
              convertFails("", 935, STATUS_INTERNAL));
    // The first of several failures; image checks before bitmap checks.
    check([](ImageHeader* i) { i->alphaChannel = -2, i->widthStep = 0; },
          [](BITMAPINFOHEADER* h) { h->biPlanes = 2; },
          convertFails("( image->alphaChannel < 0 )", 597));
    // Pixels the integer allocator refuses to make for a float image.
    check([](ImageHeader* i) { i->imageData = nullptr, i->depth = ZAR_DEPTH_32F; }, none,
          {{STATUS_BAD_ARG, "zarAllocateImage", "( image->depth == 32 )", "zaralloc", 259},
           {STATUS_NO_MEMORY, "zarConvertFromDIB",
            "Not enough memory to allocate data for destination image", "zarDIB", 832}});
    // A 4-bit run-length stream starting with an end of line at column 0.
    check(
        none,
        [](BITMAPINFOHEADER* h) {
            h->biCompression = kBiRle4, h->biBitCount = 4, h->biClrUsed = 2, h->biHeight = 1;
        },
        zt::rleFailure("Incorrect format of BI_RLE4 DIB (mismatch biWidth)", 755));
    zt::ErrorRecorder errors;
    zarConvertFromDIB(nullptr, nullptr);
    zt::expectReportList(errors,
                         {{STATUS_BAD_ARG, "zarConvertFromDIB", "dib==0", "zarDIB", 595},
                          {STATUS_BAD_ARG, "zarConvertFromDIB", "image==0", "zarDIB", 595}});
}

TEST(BitmapChecks, ANegativeStatusWordStopsTheConversionSilentlyPixelsAreAllocatedFirst) {
    zt::ErrorRecorder errors;
    zt::Dib dib(zt::bmpHeader(2, 1, 24), {}, {1, 2, 3, 4, 5, 6, 0, 0});
    zt::Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 2, 1, 4, 0x55);
    zarSetStatus(STATUS_BAD_ARG);
    zarConvertFromDIB(dib.header(), image);
    EXPECT_EQ(zt::getSample(image, 0, 0, 0), 0x55);
    zarSetStatus(STATUS_OK);
    zarDeallocate(image, ZAR_FREE_DATA);
    zarConvertFromDIB(dib.header(), image);
    ASSERT_NE(image->imageData, nullptr);
    EXPECT_EQ(zt::getSample(image, 1, 0, 2), 6);
    EXPECT_TRUE(errors.reports().empty());
}

// ------------------------------------------------------------ gray palette

TEST(GrayPalette, TheRampRuleAndTheNumberOfColourEntries) {
    const struct {
        uint16_t bits;
        uint32_t clrUsed;
        Bytes colors;
        bool gray;
    } cases[] = {
        {1, 0, zt::bmpPalette({0xFFFFFF, 0x000000}), false},
        {8, 3, zt::bmpPalette({0x000000, 0x7F7F7F, 0xFFFFFF}), true},  // 255 * 1 / 2 = 127
        {8, 3, zt::bmpPalette({0x000000, 0x808080, 0xFFFFFF}), false},
        {8, 0, zt::bmpGrayRamp(16), false},                   // 256 entries expected, ramp is not
        {8, 2, zt::bmpPalette({0x000000, 0xFFFF00}), false},  // blue differs
        {8, 2, zt::bmpPalette({0x000000, 0xFF00FF}), false},  // green differs
        {8, 2, zt::bmpPalette({0x000000, 0x00FFFF}), false},  // red differs
        // One entry: no ramp, not gray (and no division by zero).
        {8, 1, zt::bmpPalette({0x000000}), false},
        {8, 1, zt::bmpPalette({0xFFFFFF}), false},
        // The reserved byte is not part of the test.
        {1, 2, Bytes{0, 0, 0, 9, 255, 255, 255, 0}, true},
    };
    for (const auto& c : cases) {
        BITMAPINFOHEADER h = zt::bmpHeader(1, 1, c.bits, 0, c.clrUsed);
        EXPECT_EQ(hasGrayPalette(&h, c.colors.data()), c.gray) << c.bits << " " << c.clrUsed;
    }
    // bits, compression, clrUsed -> entries
    const int32_t entries[][4] = {{1, 0, 0, 2},  {4, 0, 0, 16}, {8, 0, 0, 256},
                                  {8, 1, 7, 7},  {24, 0, 9, 0}, {16, 0, 9, 0},
                                  {16, 3, 9, 3}, {32, 3, 0, 3}, {32, 1, 5, 5}};
    for (const auto& e : entries) {
        BITMAPINFOHEADER h = zt::bmpHeader(1, 1, static_cast<uint16_t>(e[0]), e[1], e[2]);
        EXPECT_EQ(dibColorEntries(&h), e[3]) << e[0] << " " << e[1] << " " << e[2];
    }
}

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

// ------------------------------------------------------------ bitmap blocks

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

// ------------------------------------------------ random bitmaps vs reference

struct Target {
    int32_t channels, alpha, depth, order, origin, align;
    const char* seq;
};

Target randomTarget(zt::Rng& rng) {
    static const char* const kGraySeqs[] = {"G\0\0\0", "GRAY"};
    static const char* const kColorSeqs[] = {"BGR\0", "RGB\0"};
    static const char* const kAlphaSeqs[] = {"BGRA", "RGBA", "BGR\0", "RGB\0"};
    static const int32_t kAligns[] = {4, 8, 16, 32};
    Target t{};
    t.channels = std::array<int32_t, 3>{1, 3, 4}[rng.range(0, 2)];
    t.alpha = t.channels == 4 && rng.range(0, 1) ? 4 : 0;
    t.depth = t.channels == 1 && rng.range(0, 2) == 0 ? ZAR_DEPTH_1U
              : rng.range(0, 1)                       ? ZAR_DEPTH_8U
                                                      : ZAR_DEPTH_16U;
    t.order = rng.range(0, 1);
    t.origin = rng.range(0, 1);
    t.align = kAligns[rng.range(0, 3)];
    t.seq = t.channels == 1   ? kGraySeqs[rng.range(0, 1)]
            : t.channels == 3 ? kColorSeqs[rng.range(0, 1)]
                              : kAlphaSeqs[rng.range(0, 3)];
    return t;
}

// Every prefix of a bitmap file, in a buffer of exactly that size, is refused with one report
// or translated; never a read outside the buffer (the sanitizer build checks).
void expectTruncationsRefusedOrTranslated(const Bytes& file) {
    zt::ErrorRecorder errors;
    for (size_t size = 0; size < file.size(); ++size) {
        errors.clear();
        const Bytes cut(file.begin(), file.begin() + size);
        Translated t;
        t.image = zarTranslateDIBBlock(cut.data(), cut.size(), &t.cloneData);
        const size_t reports = errors.reports().size();
        EXPECT_EQ(reports, t.image ? reports : 1u) << size;
        if (t.image && reports) {
            EXPECT_EQ(errors.reports().back().context, "Impossible to decompress RLE DIB");
        }
    }
}

// Each random bitmap is translated (as a header with its parts behind it, a bare block or a
// whole file; shape by the rules, pixels by the reference: gray images hold the indices when
// they reference the bits, levels when converted) and converted into a random image larger
// than it (pixels by the reference, then gray levels, channel order and depth).
TEST(RandomBitmaps, TranslatedAndConvertedAgainstTheReference) {
    zt::ErrorRecorder errors;
    zt::Rng rng(2024);
    for (int iteration = 0; iteration < 500; ++iteration) {
        SCOPED_TRACE(iteration);
        const zt::MadeDib d = zt::randomDib(rng);
        const zt::Dib dib(d.header, d.colors, d.bits);
        const Bytes bareBlock = bare(dib), file = dib.fileImage();
        if (iteration % 25 == 0) expectTruncationsRefusedOrTranslated(file);
        const int32_t way = rng.range(0, 2);
        const Bytes& block = way == 1 ? bareBlock : file;
        Translated t;
        t.image = way ? zarTranslateDIBBlock(block.data(), block.size(), &t.cloneData)
                      : zarTranslateDIB(dib.header(), &t.cloneData);
        const size_t bitsAt = (way == 2 ? 14 : 0) + 40 + d.colors.size();
        expectShape(d.header, d.colors, t, way ? block.data() + bitsAt : dib.bits());
        const int32_t w = d.header.biWidth, h = std::abs(d.header.biHeight);
        const Target target = randomTarget(rng);
        const int32_t extraW = rng.range(0, 3), extraH = rng.range(0, 2);
        zt::Image image(target.channels, target.alpha, target.depth, target.order, w + extraW,
                        h + extraH, target.align, 0x5B);
        image->origin = target.origin;
        std::memcpy(image->channelSeq, target.seq, 4);
        zarConvertFromDIB(dib.header(), image);
        ASSERT_TRUE(errors.reports().empty());
        const bool rgbFirst = target.seq[0] == 'R', gray = target.seq[0] == 'G';
        for (int32_t y = 0; y < h; ++y) {
            const int32_t srcRow = d.header.biHeight > 0 ? h - 1 - y : y;
            const int32_t dstRow = target.origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y;
            for (int32_t x = 0; x < w; ++x) {
                std::array<int32_t, 4> p = zt::referencePixel(d, x, srcRow);
                const int32_t level = (77 * p[2] + 151 * p[1] + 28 * p[0]) >> 8;
                if (t.image->nChannels == 1) {
                    ASSERT_EQ(pictureSample(t.image, x, y, 0),
                              t.cloneData ? level : zt::referenceIndex(d, x, srcRow));
                } else {
                    for (int32_t c = 0; c < t.image->nChannels; ++c)
                        ASSERT_EQ(pictureSample(t.image, x, y, c), p[c]) << "x " << x << " c " << c;
                }
                if (gray) p[2] = level;
                if (rgbFirst) std::swap(p[0], p[2]);
                for (int32_t c = 0; c < target.channels; ++c) {
                    const int32_t byte = target.channels == 1 ? p[2] : p[c];
                    const int32_t expected = target.depth == ZAR_DEPTH_1U    ? (byte >= 128 ? 1 : 0)
                                             : target.depth == ZAR_DEPTH_16U ? byte * 256
                                                                             : byte;
                    ASSERT_EQ(zt::getSample(image, x, dstRow, c), expected)
                        << "x " << x << " y " << y << " c " << c << " bits " << d.header.biBitCount;
                }
            }
        }
        // Pixels outside the bitmap keep their fill (odd: 1 for 1-bit images).
        const int32_t fill = target.depth == ZAR_DEPTH_1U ? 1 : 0x5B;
        for (int32_t y = 0; y < image->height; ++y) {
            const bool written = target.origin == ZAR_ORIGIN_BL ? y >= image->height - h : y < h;
            for (int32_t x = written ? w : 0; x < image->width; ++x)
                ASSERT_EQ(zt::getSample(image, x, y, 0), fill) << x << "," << y;
        }
    }
}

}  // namespace
