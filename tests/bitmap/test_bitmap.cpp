// Bitmap translation and conversion: check tables of the three entry points, the gray palette
// rule, bitmap blocks with hand-worked bitmaps for the rules a reference could get wrong, random
// bitmaps (every kind, given three ways) translated and converted into random images against
// the reference decoder of bitmap_support; run-length decoding: one table of streams with the
// rows or the report each must give (arbitrary bytes as blocks and streams are the fuzzer's).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bitmap/bitmap.h"
#include "image/image.h"
#include "support/bitmap_support.h"
#include "support/zar_test.h"

namespace {

using zt::Bytes;
using Reports = std::vector<zt::Report>;

// A bitmap block: header, colour entries and bits in a vector (whose storage is aligned for the
// header), and where its bits start.
struct Dib {
    Bytes block;
    size_t bitsAt;
    Dib(const BITMAPINFOHEADER& h, const Bytes& colors, const Bytes& bits)
        : block(sizeof h + colors.size() + bits.size()), bitsAt(sizeof h + colors.size()) {
        std::memcpy(block.data(), &h, sizeof h);
        std::copy(colors.begin(), colors.end(), block.begin() + sizeof h);
        std::copy(bits.begin(), bits.end(), block.begin() + bitsAt);
    }
    BITMAPINFOHEADER* header() { return reinterpret_cast<BITMAPINFOHEADER*>(block.data()); }
    // The same block as a whole .bmp file (14-byte "BM" header in front).
    Bytes fileImage() const {
        Bytes out = zt::le({'B' | 'M' << 8}, 2);
        const Bytes sizes = zt::le({uint32_t(14 + block.size()), 0, uint32_t(14 + bitsAt)});
        out.insert(out.end(), sizes.begin(), sizes.end());
        out.insert(out.end(), block.begin(), block.end());
        return out;
    }
};

// Owner of a translated image (frees what the library allocated).
struct Translated {
    ImageHeader* image = nullptr;
    int32_t cloneData = -1;
    Translated() = default;
    Translated(const Translated&) = delete;
    Translated& operator=(const Translated&) = delete;
    ~Translated() { zarDeallocate(image, ZAR_FREE_ALL); }
};

// Channel c of the pixel at picture position (x, y), y = 0 the top line, whatever the origin.
int32_t pictureSample(const ImageHeader* image, int32_t x, int32_t y, int32_t c) {
    const int32_t row = image->origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y;
    return static_cast<int32_t>(zt::getSample(image, x, row, c));
}

// The recorder holds exactly these reports in this order (line 0: any positive line).
void expectReportList(const zt::ErrorRecorder& errors, const Reports& want) {
    const Reports& got = errors.reports();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const zt::Report& g = got[i];
        const int32_t line = want[i].line ? want[i].line : std::max(g.line, 1);
        EXPECT_EQ(std::tie(g.status, g.func, g.context, g.file, g.line),
                  std::tie(want[i].status, want[i].func, want[i].context, want[i].file, line))
            << i;
    }
}

// The reports of a failed run-length conversion: the decoder's (text, line), then the
// converter's.
Reports rleFailure(const std::string& text, int32_t line) {
    return {
        {STATUS_BAD_ARG, "zarConvertFromDIB", text, "ownrle", line},
        {STATUS_INTERNAL, "zarConvertFromDIB", "Impossible to decompress RLE DIB", "zarDIB", 888}};
}

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

Reports convertFails(const char* context, int32_t line, ZarStatus status = STATUS_BAD_ARG) {
    return {{status, "zarConvertFromDIB", context, "zarDIB", line}};
}

// The header checks all three entry points make, in their order: a 2 x 2 header spoiled (size,
// planes, bit count, compression, height) and what each reports (the converter's context is
// its own where one is given).
struct HeaderCheck {
    uint32_t size;
    uint16_t planes, bits;
    uint32_t compression;
    int32_t height;
    const char* context;
    int32_t translateLine, convertLine;
    const char* convertContext = nullptr;
};

const char* const kSize = "( dib->biSize != sizeof(BITMAPINFOHEADER) )";
const char* const kSizeConverted = "(dib->biSize != sizeof(BITMAPINFOHEADER))";
const char* const kCompression =
    "(dib->biCompression != 0) && (dib->biCompression != 1) && (dib->biCompression != 2) && "
    "(dib->biCompression != 3)";
const char* const kRleTopDown =
    "(dib->biHeight < 0) && ( (dib->biCompression == 1) || (dib->biCompression == 2) )";

const HeaderCheck kHeaderChecks[] = {
    {41, 1, 24, 0, 2, kSize, 164, 621, kSizeConverted},
    {124, 3, 24, 0, 2, kSize, 164, 621, kSizeConverted},  // size before planes
    {40, 0, 24, 0, 2, "(dib->biPlanes != 1)", 166, 623},
    {40, 1, 24, 4, 2, kCompression, 168, 625},
    {40, 1, 4, 1, 2, "(dib->biBitCount != 8) && (dib->biCompression == 1)", 173, 630},
    {40, 1, 8, 2, 2, "(dib->biBitCount != 4) && (dib->biCompression == 2)", 176, 632},
    {40, 1, 8, 1, -2, kRleTopDown, 179, 634},
    {40, 1, 4, 2, -2, kRleTopDown, 179, 634},
};

TEST(BitmapChecks, HeaderChecksOfBothEntryPointsInOrder) {
    for (const HeaderCheck& c : kHeaderChecks) {
        SCOPED_TRACE(c.context);
        zt::ErrorRecorder errors;
        Dib dib(zt::bmpHeader(2, c.height, c.bits, c.compression), Bytes(1024), Bytes(64));
        dib.header()->biSize = c.size;
        dib.header()->biPlanes = c.planes;
        const Bytes file = dib.fileImage();  // the block form makes the same checks
        int32_t cloneData = 7;
        EXPECT_EQ(zarTranslateDIB(dib.header(), &cloneData), nullptr);
        EXPECT_EQ(zarTranslateDIBBlock(file.data(), file.size(), &cloneData), nullptr);
        EXPECT_EQ(cloneData, 7);
        const zt::Report once{STATUS_BAD_ARG, "zarTranslateDIB", c.context, "zarDIB",
                              c.translateLine};
        expectReportList(errors, {once, once});
        errors.clear();
        zt::Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 2, 2, 4, 0x55);
        zarConvertFromDIB(dib.header(), image);
        const char* convertContext = c.convertContext ? c.convertContext : c.context;
        expectReportList(errors, convertFails(convertContext, c.convertLine));
        EXPECT_EQ(zt::getSample(image, 0, 0, 0), 0x55);
    }
}

// zarTranslateDIB's own refusals: null arguments (1 the bitmap, 2 cloneData), bit counts, and
// images that cannot be made (a header the allocator refuses is reported by it first).
TEST(BitmapChecks, TranslateRefusals) {
    const char* const kNoData = "Not enough memory to allocate data for destination image";
    const struct {
        int nulls;
        int32_t width, height;
        uint16_t bits;
        ZarStatus status;
        const char* context;
        int32_t line;
    } cases[] = {
        {1, 2, 2, 24, STATUS_BAD_ARG, "( dib == ((void *)0) )", 162},
        {2, 2, 2, 24, STATUS_BAD_ARG, "( cloneData == ((void *)0) )", 163},
        {0, 2, 2, 2, STATUS_BAD_ARG, "dib->biBitCount is bad", 276},
        {0, 2, 2, 0, STATUS_BAD_ARG, "dib->biBitCount is bad", 276},
        {0, 0, 2, 24, STATUS_NO_MEMORY,
         "Not enough memory to allocate header for destination image", 310},
        {0, 30000, 30000, 16, STATUS_NO_MEMORY, kNoData, 323},  // 3 planes pass 32-bit sizes
        {0, 0x10000000, 16, 24, STATUS_BAD_IMAGE_SIZE, "Bitmap too large for an image", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.context);
        zt::ErrorRecorder errors;
        Dib dib(zt::bmpHeader(c.width, c.height, c.bits), Bytes(1024), Bytes(64));
        int32_t cloneData = 7;
        EXPECT_EQ(zarTranslateDIB(c.nulls == 1 ? nullptr : dib.header(),
                                  c.nulls == 2 ? nullptr : &cloneData),
                  nullptr);
        EXPECT_EQ(cloneData, 7);
        Reports want = {{c.status, "zarTranslateDIB", c.context, "zarDIB", c.line}};
        if (c.width == 0)
            want.insert(want.begin(), {STATUS_BAD_IMAGE_SIZE, "zarCreateImageHeader",
                                       "Incorrect data-ins", "zaralloc", 148});
        expectReportList(errors, want);
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
        Dib dib(zt::bmpHeader(2, 2, 24), Bytes(1024), Bytes(64));
        spoilDib(dib.header());
        zt::Image image(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 2, 2, 4, 0x55);
        std::memcpy(image->channelSeq, "BGR\0", 4);
        const ImageHeader saved = *image.get();
        spoilImage(image.get());
        zarConvertFromDIB(dib.header(), image);
        expectReportList(errors, want);
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
        rleFailure("Incorrect format of BI_RLE4 DIB (mismatch biWidth)", 755));
    zt::ErrorRecorder errors;
    zarConvertFromDIB(nullptr, nullptr);
    expectReportList(errors, {{STATUS_BAD_ARG, "zarConvertFromDIB", "dib==0", "zarDIB", 595},
                              {STATUS_BAD_ARG, "zarConvertFromDIB", "image==0", "zarDIB", 595}});
}

TEST(BitmapChecks, ANegativeStatusWordStopsTheConversionSilentlyPixelsAreAllocatedFirst) {
    zt::ErrorRecorder errors;
    Dib dib(zt::bmpHeader(2, 1, 24), {}, {1, 2, 3, 4, 5, 6, 0, 0});
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
        {8, 0, zt::bmpGrayRamp(16), false},                   // 256 entries expected, ramp is not
        {8, 2, zt::bmpPalette({0x000000, 0xFFFF00}), false},  // blue differs
        {8, 2, zt::bmpPalette({0x000000, 0xFF00FF}), false},  // green differs
        {8, 2, zt::bmpPalette({0x000000, 0x00FFFF}), false},  // red differs
        {8, 1, zt::bmpPalette({0xFFFFFF}), false},  // one entry: no ramp (no division by zero)
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
Dib smallDib() {
    return Dib(zt::bmpHeader(3, 2, 24), {},
               {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0});
}

// ------------------------------------------------------------ bitmap blocks

// A block refused by zarTranslateDIBBlock: the context of its report, its bytes and the size
// passed (SIZE_MAX: all of them; null arguments: 1 the block, 2 cloneData).
struct Refusal {
    const char* context;
    Bytes bytes;
    size_t size = SIZE_MAX;
    int nulls = 0;
};

Bytes patched(Bytes b, size_t at, size_t v) {
    put32(&b, at, static_cast<uint32_t>(v));
    return b;
}
Bytes cut(Bytes b, size_t size) {
    b.resize(size);
    return b;
}

std::vector<Refusal> refusals() {
    const Bytes block = smallDib().block, file = smallDib().fileImage();
    const Bytes gray = Dib(zt::bmpHeader(1, 1, 8), zt::bmpGrayRamp(256), {0, 0, 0, 0}).block;
    const Bytes masks = cut(Dib(zt::bmpHeader(1, 1, 16, kBiBitfields), {}, {}).block, 48);
    const Dib rle(zt::bmpHeader(3, 1, 8, kBiRle8, 2, 5), zt::bmpPalette({0, 0xFFFFFF}),
                  {0x03, 0x07, 0x00, 0x01});
    const char* kSmall = "Block too small for a BITMAPINFOHEADER";
    const char* kSmallFile = "Block too small for the file header and BITMAPINFOHEADER";
    const char* kTable = "Colour table or bit masks reach past the block";
    const char* kBits = "Bitmap bits reach past the block";
    return {
        {"( block == ((void *)0) )", block, SIZE_MAX, 1},
        {"( cloneData == ((void *)0) )", block, SIZE_MAX, 2},
        {kSmall, block, 0},
        {kSmall, block, 1},
        {kSmall, block, 39},
        {kSmallFile, file, 2},
        {kSmallFile, file, 14},
        {kSmallFile, file, 53},
        {kBits, block, block.size() - 1},
        {kBits, file, file.size() - 1},
        {kTable, cut(gray, 40 + 1023)},
        {kTable, patched(gray, 32, 0xFFFFFFFF)},  // biClrUsed
        {kTable, masks},
        {"Bits offset lies past the block", patched(file, 10, file.size() + 1)},
        {kBits, patched(patched(block, 4, 0x7FFFFFFF), 8, 0x80000000)},  // past 64 bits' reach
        {"Run-length stream (biSizeImage) reaches past the block", rle.block},
    };
}

TEST(BlockChecks, EveryRefusal) {
    for (const Refusal& r : refusals()) {
        const size_t size = std::min(r.size, r.bytes.size());
        SCOPED_TRACE(::testing::Message() << r.context << " size " << size);
        zt::ErrorRecorder errors;
        int32_t cloneData = 7;
        EXPECT_EQ(zarTranslateDIBBlock(r.nulls == 1 ? nullptr : r.bytes.data(), size,
                                       r.nulls == 2 ? nullptr : &cloneData),
                  nullptr);
        expectReportList(errors,
                         {{STATUS_BAD_ARG, "zarTranslateDIBBlock", r.context, "zarDIB", 0}});
        EXPECT_EQ(cloneData, 7);
    }
}

// A block whose bits are converted: samples (x, picture line, channel, value) and the reports
// made on the way.
struct BlockCase {
    const char* name;
    Bytes bytes;
    std::vector<std::array<int32_t, 4>> samples;
    Reports reports = {};
    bool failedBefore = false;
};

std::vector<BlockCase> blockCases() {
    Bytes gap = smallDib().fileImage();
    gap.insert(gap.begin() + 54, {0xEE, 0xEE, 0xEE});  // a gap before the bits
    put32(&gap, 10, 57);
    Dib oneBit(zt::bmpHeader(9, 1, 1), zt::bmpPalette({0, 0xFFFFFF}),
               {0x9A, 0x80, 0, 0});  // 1 0 0 1 1 0 1 0 | 1
    Bytes oneBitGap = oneBit.fileImage();
    oneBitGap.insert(oneBitGap.begin() + 62, {0, 0, 0, 0});
    put32(&oneBitGap, 10, 66);
    std::vector<std::array<int32_t, 4>> bits;  // 1 0 0 1 1 0 1 0 1
    for (int32_t x = 0; x < 9; ++x) bits.push_back({x, 0, 0, (0x135 >> (8 - x)) & 1});
    const auto palette = zt::bmpPalette({0, 0x0000FF});
    // No end of bitmap: the stream is bounded by the block; or by biSizeImage 4.
    const Dib unbounded(zt::bmpHeader(3, 2, 8, kBiRle8, 2, 0), palette, {3, 7, 0, 0});
    const Dib sized(zt::bmpHeader(3, 1, 8, kBiRle8, 2, 4), palette, {3, 7, 0, 0, 0, 1});
    const Dib red(zt::bmpHeader(3, 1, 8, kBiRle8, 2), palette, {3, 1, 0, 1});
    const auto height = rleFailure("Incorrect format of BI_RLE8 DIB (mismatch biHeight)", 643);
    return {
        {"bits away from the table", gap, {{2, 0, 2, 19}, {0, 1, 0, 1}}},
        {"1-bit gray away from its table is converted to bits", oneBitGap, bits},
        {"stream bounded by the block", unbounded.block, {}, height},
        {"stream bounded by biSizeImage", sized.block, {}, height},
        {"an earlier failure does not stop it", red.block, {{2, 0, 0, 255}}, {}, true},
        // Rules a reference could get wrong: the nibble order; 5-5-5 values shifted up, not
        // replicated; 16-bit masks cut to sixteen bits, wide fields cut to their top 8 bits;
        // 32-bit alpha in the bits above the fields (a 2-bit field here).
        {"4-bit colour: the high nibble first",
         Dib(zt::bmpHeader(5, 1, 4, 0, 3), zt::bmpPalette({0xFF0000, 0xFF00, 0xFF}),
             {0x01, 0x21, 0x00, 0})
             .block,
         {{0, 0, 2, 255}, {1, 0, 1, 255}, {2, 0, 0, 255}, {3, 0, 1, 255}, {4, 0, 2, 255}}},
        {"16-bit 5-5-5",
         Dib(zt::bmpHeader(2, 1, 16), {}, zt::le({0x7FFF, 0x8421}, 2)).block,
         {{0, 0, 0, 248}, {1, 0, 0, 8}, {1, 0, 2, 8}}},
        {"16-bit fields",
         Dib(zt::bmpHeader(1, 1, 16, kBiBitfields), zt::le({0xFFF0, 0xC, 0x10000F}),
             zt::le({0xABCD}))
             .block,
         {{0, 0, 0, 0xD0}, {0, 0, 1, 0xC0}, {0, 0, 2, 0xAB}}},
        {"32-bit fields",
         Dib(zt::bmpHeader(1, 1, 32, kBiBitfields), zt::le({0x3FF00000, 0x000FFC00, 0x000003FF}),
             zt::le({3u << 30 | 0x3FFu << 20 | 0x200u << 10 | 0x001u}))
             .block,
         {{0, 0, 0, 0x00}, {0, 0, 1, 0x80}, {0, 0, 2, 0xFF}, {0, 0, 3, 0xC0}}},
    };
}

TEST(BlockLayout, ConvertedBitsAndTheirReports) {
    for (const BlockCase& c : blockCases()) {
        SCOPED_TRACE(c.name);
        zt::ErrorRecorder errors;
        if (c.failedBefore) zarSetStatus(STATUS_BAD_ARG);
        Translated t;
        translateBlock(c.bytes, &t);
        ASSERT_NE(t.image, nullptr);
        EXPECT_EQ(zarGetStatus(), c.reports.empty() ? STATUS_OK : c.reports.back().status);
        expectReportList(errors, c.reports);
        EXPECT_EQ(t.cloneData, 1);
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
    static const char* const kSeqs[3][4] = {
        {"G\0\0\0", "GRAY"}, {"BGR\0", "RGB\0"}, {"BGRA", "RGBA", "BGR\0", "RGB\0"}};
    const int32_t kind = rng.range(0, 2), channels = std::array{1, 3, 4}[kind];
    const int32_t depth = channels == 1 && rng.range(0, 2) == 0 ? ZAR_DEPTH_1U
                          : rng.range(0, 1)                     ? ZAR_DEPTH_8U
                                                                : ZAR_DEPTH_16U;
    const int32_t alpha = channels == 4 && rng.range(0, 1) ? 4 : 0;
    const int32_t order = rng.range(0, 1), origin = rng.range(0, 1), align = 4 << rng.range(0, 3);
    return {
        channels, alpha, depth, order, origin, align, kSeqs[kind][rng.range(0, kind == 2 ? 3 : 1)]};
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
        Dib dib(d.header, d.colors, d.bits);
        const Bytes file = dib.fileImage();
        const int32_t way = rng.range(0, 2);
        const Bytes& block = way == 2 ? file : dib.block;
        Translated t;
        t.image = way ? zarTranslateDIBBlock(block.data(), block.size(), &t.cloneData)
                      : zarTranslateDIB(dib.header(), &t.cloneData);
        const size_t bitsAt = (way == 2 ? 14 : 0) + dib.bitsAt;
        expectShape(d.header, d.colors, t, block.data() + bitsAt);
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

// ------------------------------------------------------------ run-length decoding

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
    Dib dib(zt::bmpHeader(width, height, static_cast<uint16_t>(bitCount), compression, 2),
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
    // A delta to the row equal to the height (allowed there), then end of bitmap.
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
    // A run and an absolute run past the width, a run and an absolute run on the row equal to
    // the height (a delta there is allowed), an end of line there, a negative height.
    {8, 4, 1, kAll, {2, 1, 3, 7, 0, 1}, {}, 'P', 687},
    {8, 4, 1, kAll, {2, 1, 0, 3, 1, 2, 3, 0, 0, 1}, {}, 'P', 687},
    {8, 4, 2, kAll, {0, 2, 0, 2, 1, 7, 0, 1}, {}, 'P', 687},
    {8, 4, 2, kAll, {0, 2, 4, 2, 0, 0, 0, 1}, {}, 'P', 687},
    {8, 4, 2, kAll, {0, 2, 0, 2, 0, 3, 1, 2, 3, 0, 0, 1}, {}, 'P', 687},
    {8, 4, -1, kAll, {4, 7, 0, 1}, {}, 'P', 687},
    {8, 0x7FFFFFF0, 0x7FFFFFF0, kAll, {0, 1}, {}, 'M', 597},
    {4, 4, 1, kAll, {3, 7, 0, 0, 0, 1}, {}, 'W', 755},
    {4, 1, 3, kAll, {1, 7, 0, 0, 0, 1}, {}, 'H', 776},
    {4, 3, 1, 5, {3, 7, 0, 0, 0, 1}, {}, 'H', 776},
    {4, 5, 1, 4, {0, 5, 0x12, 0x34}, {}, 'H', 776},  // 5 nibbles need 3 bytes
    {4, 3, 1, 3, {0, 2, 1, 0}, {}, 'H', 776},
    {4, 4, 2, kAll, {0, 2, 5, 0}, {}, 'D', 796},
    {4, 4, 1, kAll, {3, 1, 2, 7, 0, 1}, {}, 'P', 839},
    {4, 4, 1, kAll, {2, 1, 0, 3, 0x12, 0x30, 0, 1}, {}, 'P', 839},
    {4, 4, 2, kAll, {0, 2, 0, 2, 1, 7, 0, 1}, {}, 'P', 839},
    {4, 4, 2, kAll, {0, 2, 0, 2, 0, 3, 0x12, 0x30, 0, 1}, {}, 'P', 839},
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
            expectReportList(
                errors, {{status, "zarConvertFromDIB", rleText(c.bits, c.kind), "ownrle", c.line}});
        }
    }
}

}  // namespace
