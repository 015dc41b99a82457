// Bitmap translation: a device-independent bitmap in memory becomes an image,
// referencing the bits where the layouts agree and converting them otherwise.
#include <algorithm>
#include <bit>
#include <cstring>

#include "bitmap/bitmap.h"
#include "frame/frame.h"
#include "image/image.h"

namespace {

constexpr ReportSite kTranslate{"zarTranslateDIB", "zarDIB"};
constexpr ReportSite kTranslateBlock{"zarTranslateDIBBlock", "zarDIB"};
constexpr ReportSite kConvert{"zarConvertFromDIB", "zarDIB"};

// Colour models and channel sequences, four bytes each as the header stores them.
constexpr char kGray[4] = {'G', 'R', 'A', 'Y'};
constexpr char kSeqG[4] = {'G', 0, 0, 0};
constexpr char kRgb[4] = {'R', 'G', 'B', 0};
constexpr char kRgba[4] = {'R', 'G', 'B', 'A'};
constexpr char kBgr[4] = {'B', 'G', 'R', 0};
constexpr char kBgra[4] = {'B', 'G', 'R', 'A'};

uint32_t loadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int64_t absHeight(const BITMAPINFOHEADER* dib) {
    return dib->biHeight < 0 ? -static_cast<int64_t>(dib->biHeight) : dib->biHeight;
}

bool isRunLength(const BITMAPINFOHEADER* dib) {
    return dib->biCompression == kBiRle8 || dib->biCompression == kBiRle4;
}

// ------------------------------------------------------------ header checks

struct Check {
    const char* text;
    int32_t line;
};

// The header conditions both entry points test, each with its own wording.
struct HeaderChecks {
    ReportSite site;
    Check size, planes, compression, rle8Bits, rle4Bits, rleTopDown;
};

constexpr const char* kCompressionText =
    "(dib->biCompression != 0) && (dib->biCompression != 1) && (dib->biCompression != 2) && "
    "(dib->biCompression != 3)";
constexpr const char* kRle8Text = "(dib->biBitCount != 8) && (dib->biCompression == 1)";
constexpr const char* kRle4Text = "(dib->biBitCount != 4) && (dib->biCompression == 2)";
constexpr const char* kRleTopDownText =
    "(dib->biHeight < 0) && ( (dib->biCompression == 1) || (dib->biCompression == 2) )";

constexpr HeaderChecks kTranslateChecks = {
    kTranslate,
    {"( dib->biSize != sizeof(BITMAPINFOHEADER) )", 164},
    {"(dib->biPlanes != 1)", 166},
    {kCompressionText, 168},
    {kRle8Text, 173},
    {kRle4Text, 176},
    {kRleTopDownText, 179},
};

constexpr HeaderChecks kConvertChecks = {
    kConvert,
    {"(dib->biSize != sizeof(BITMAPINFOHEADER))", 621},
    {"(dib->biPlanes != 1)", 623},
    {kCompressionText, 625},
    {kRle8Text, 630},
    {kRle4Text, 632},
    {kRleTopDownText, 634},
};

bool reportIf(bool failed, const ReportSite& site, const Check& check) {
    if (failed) report(site, STATUS_BAD_ARG, check.text, check.line);
    return failed;
}

// True when the header passes; otherwise the first failure is reported.
bool checkDibHeader(const BITMAPINFOHEADER* dib, const HeaderChecks& checks) {
    const ReportSite& f = checks.site;
    const uint32_t c = dib->biCompression;
    return !(reportIf(dib->biSize != sizeof(BITMAPINFOHEADER), f, checks.size) ||
             reportIf(dib->biPlanes != 1, f, checks.planes) ||
             reportIf(c != kBiRgb && c != kBiRle8 && c != kBiRle4 && c != kBiBitfields, f,
                      checks.compression) ||
             reportIf(dib->biBitCount != 8 && c == kBiRle8, f, checks.rle8Bits) ||
             reportIf(dib->biBitCount != 4 && c == kBiRle4, f, checks.rle4Bits) ||
             reportIf(dib->biHeight < 0 && isRunLength(dib), f, checks.rleTopDown));
}

// ------------------------------------------------------------ image shapes

struct DibShape {
    int32_t nChannels, alphaChannel, depth;
    const char* colorModel;
    const char* channelSeq;
    bool convert;  // the bits cannot be referenced as they are
};

// False for a bit count outside 1, 4, 8, 16, 24, 32.
bool dibShape(const DibBlock& dib, DibShape* shape) {
    const BITMAPINFOHEADER* h = dib.header;
    const DibShape color = {3, 0, ZAR_DEPTH_8U, kRgb, kBgr, true};
    switch (h->biBitCount) {
        case 1:
            *shape = hasGrayPalette(h, dib.colors)
                         ? DibShape{1, 0, ZAR_DEPTH_1U, kGray, kSeqG, false}
                         : color;
            return true;
        case 4:
            *shape = hasGrayPalette(h, dib.colors)
                         ? DibShape{1, 0, ZAR_DEPTH_8U, kGray, kSeqG, true}
                         : color;
            return true;
        case 8:
            *shape = hasGrayPalette(h, dib.colors)
                         ? DibShape{1, 0, ZAR_DEPTH_8U, kGray, kSeqG, h->biCompression == kBiRle8}
                         : color;
            return true;
        case 16:
            *shape = color;
            return true;
        case 24:
            *shape = {3, 0, ZAR_DEPTH_8U, kRgb, kBgr, false};
            return true;
        case 32:
            *shape = {4, 4, ZAR_DEPTH_8U, kRgba, kBgra, h->biCompression == kBiBitfields};
            return true;
        default:
            return false;
    }
}

// zarTranslateDIB once the header has passed its checks.
ImageHeader* buildImage(const DibBlock& dib, int32_t* cloneData) {
    const BITMAPINFOHEADER* h = dib.header;
    DibShape shape;
    if (!dibShape(dib, &shape)) {
        report(kTranslate, STATUS_BAD_ARG, "dib->biBitCount is bad", 276);
        return nullptr;
    }
    // A whole file whose bits lie apart from its colour table is converted,
    // whatever its shape: only bits in the block layout are referenced.
    const bool convert = shape.convert || !dib.bitsInPlace;
    // Referenced bits must fit the header's 32-bit sizes (converted ones are
    // refused by the allocator).
    const int64_t rowSize = dibRowSize(h->biWidth, h->biBitCount, 4);
    if (!convert && rowSize > 0 && absHeight(h) > INT32_MAX / rowSize) {
        report(kTranslate, STATUS_BAD_IMAGE_SIZE, "Bitmap too large for an image", __LINE__);
        return nullptr;
    }
    const int32_t height = static_cast<int32_t>(absHeight(h));
    const int32_t origin = h->biHeight >= 0 ? ZAR_ORIGIN_BL : ZAR_ORIGIN_TL;
    ImageHeader* image = zarCreateImageHeader(
        shape.nChannels, shape.alphaChannel, shape.depth, shape.colorModel, shape.channelSeq,
        convert ? ZAR_DATA_ORDER_PLANE : ZAR_DATA_ORDER_PIXEL, origin,
        convert ? ZAR_ALIGN_32BYTES : ZAR_ALIGN_4BYTES, h->biWidth, height, nullptr, nullptr,
        nullptr, nullptr);
    if (image == nullptr) {
        report(kTranslate, STATUS_NO_MEMORY,
               "Not enough memory to allocate header for destination image", 310);
        return nullptr;
    }
    if (convert) {
        zarAllocateImage(image, 0, 0);
        if (image->imageData == nullptr) {
            report(kTranslate, STATUS_NO_MEMORY,
                   "Not enough memory to allocate data for destination image", 323);
            zarDeallocate(image, ZAR_FREE_HEADER);
            return nullptr;
        }
        convertFromDIB(dib, image, true);
        *cloneData = 1;
    } else {
        image->widthStep = static_cast<int32_t>(rowSize);
        image->imageSize = height * image->widthStep;
        image->imageData = const_cast<char*>(reinterpret_cast<const char*>(dib.bits));
        *cloneData = 0;
    }
    return image;
}

// --------------------------------------------------------------- readers
//
// A reader turns count pixels of a bitmap row, from pixel x0 on, into working
// pixels of four bytes: blue, green, red, alpha (or the palette's reserved
// byte).  x0 is a multiple of 8, so packed pixels start on a byte.

// One channel of a masked pixel: ((pixel AND mask) >> right) << left keeps the
// field's top 8 bits, or shifts a narrower field up without replicating its
// high bits (a 5-bit 31 becomes 248).
struct Field {
    uint32_t mask = 0;
    int right = 0, left = 8;
};

struct ReaderContext {
    uint8_t palette[256][4];  // entries past the colour table are black
    Field fields[4];          // blue, green, red, alpha
};

using RowReader = void (*)(const uint8_t* row, int32_t x0, int32_t count, const ReaderContext& ctx,
                           uint8_t* work);

void readIndexed1(const uint8_t* row, int32_t x0, int32_t count, const ReaderContext& ctx,
                  uint8_t* work) {
    const uint8_t* src = row + x0 / 8;
    for (int32_t x = 0; x < count; ++x) {
        const int index = (src[x >> 3] >> (7 - (x & 7))) & 1;
        std::memcpy(work + 4 * x, ctx.palette[index], 4);
    }
}

void readIndexed4(const uint8_t* row, int32_t x0, int32_t count, const ReaderContext& ctx,
                  uint8_t* work) {
    const uint8_t* src = row + x0 / 2;
    for (int32_t x = 0; x < count; ++x) {
        const int index = (src[x >> 1] >> (((x & 1) ^ 1) << 2)) & 0x0F;
        std::memcpy(work + 4 * x, ctx.palette[index], 4);
    }
}

void readIndexed8(const uint8_t* row, int32_t x0, int32_t count, const ReaderContext& ctx,
                  uint8_t* work) {
    const uint8_t* src = row + x0;
    for (int32_t x = 0; x < count; ++x) std::memcpy(work + 4 * x, ctx.palette[src[x]], 4);
}

inline uint8_t fieldValue(uint32_t pixel, const Field& f) {
    return static_cast<uint8_t>(((pixel & f.mask) >> f.right) << f.left);
}

inline void storeFields(uint32_t pixel, const ReaderContext& ctx, uint8_t* out) {
    for (int c = 0; c < 4; ++c) out[c] = fieldValue(pixel, ctx.fields[c]);
}

void readMasked16(const uint8_t* row, int32_t x0, int32_t count, const ReaderContext& ctx,
                  uint8_t* work) {
    const uint8_t* src = row + 2 * static_cast<ptrdiff_t>(x0);
    for (int32_t x = 0; x < count; ++x) {
        const uint32_t pixel = static_cast<uint32_t>(src[2 * x]) |
                               static_cast<uint32_t>(src[2 * x + 1]) << 8;
        storeFields(pixel, ctx, work + 4 * x);
    }
}

void readMasked32(const uint8_t* row, int32_t x0, int32_t count, const ReaderContext& ctx,
                  uint8_t* work) {
    const uint8_t* src = row + 4 * static_cast<ptrdiff_t>(x0);
    for (int32_t x = 0; x < count; ++x) storeFields(loadLe32(src + 4 * x), ctx, work + 4 * x);
}

// Alpha of a 24-bit pixel: 0, as a palette's reserved byte usually is.
void readTriples24(const uint8_t* row, int32_t x0, int32_t count, const ReaderContext&,
                   uint8_t* work) {
    const uint8_t* src = row + 3 * static_cast<ptrdiff_t>(x0);
    for (int32_t x = 0; x < count; ++x) {
        work[4 * x] = src[3 * x];
        work[4 * x + 1] = src[3 * x + 1];
        work[4 * x + 2] = src[3 * x + 2];
        work[4 * x + 3] = 0;
    }
}

// The shift is the count of zero bits below the lowest set bit, the width the
// run of set bits from there; a zero mask yields 0.
Field fieldOf(uint32_t mask) {
    Field f;
    f.mask = mask;
    if (mask == 0) return f;
    const int shift = std::countr_zero(mask);
    const int width = std::countr_one(mask >> shift);
    f.right = width >= 8 ? shift + width - 8 : shift;
    f.left = width >= 8 ? 0 : 8 - width;
    return f;
}

// Position just above a field: shift plus width (0 for a zero mask).
int fieldTop(uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    return shift + std::countr_one(mask >> shift);
}

void setMasks(ReaderContext* ctx, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
    ctx->fields[0] = fieldOf(blue);
    ctx->fields[1] = fieldOf(green);
    ctx->fields[2] = fieldOf(red);
    ctx->fields[3] = fieldOf(alpha);
}

// Chooses the reader for the bit count and prepares its palette or masks.
RowReader selectReader(const DibBlock& dib, ReaderContext* ctx) {
    const BITMAPINFOHEADER* h = dib.header;
    const bool bitfields = h->biCompression == kBiBitfields;
    switch (h->biBitCount) {
        case 1:
        case 4:
        case 8: {
            std::memset(ctx->palette, 0, sizeof ctx->palette);
            const int64_t entries = std::min<int64_t>(dibColorEntries(h),
                                                      int64_t{1} << h->biBitCount);
            std::memcpy(ctx->palette, dib.colors, static_cast<size_t>(entries) * 4);
            return h->biBitCount == 1   ? readIndexed1
                   : h->biBitCount == 4 ? readIndexed4
                                        : readIndexed8;
        }
        case 16:
            if (bitfields)
                setMasks(ctx, loadLe32(dib.colors) & 0xFFFF, loadLe32(dib.colors + 4) & 0xFFFF,
                         loadLe32(dib.colors + 8) & 0xFFFF, 0);
            else
                setMasks(ctx, 0x7C00, 0x03E0, 0x001F, 0);
            return readMasked16;
        case 24:
            return readTriples24;
        case 32:
            if (bitfields) {
                const uint32_t red = loadLe32(dib.colors), green = loadLe32(dib.colors + 4),
                               blue = loadLe32(dib.colors + 8);
                const int top = std::max({fieldTop(red), fieldTop(green), fieldTop(blue)});
                setMasks(ctx, red, green, blue, static_cast<uint32_t>(~uint64_t{0} << top));
            } else {
                setMasks(ctx, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
            }
            return readMasked32;
        default:
            return nullptr;
    }
}

// ------------------------------------------------- channel-sequence step

using SequenceStep = void (*)(uint8_t* work, int32_t count);

void toGray(uint8_t* work, int32_t count) {
    for (int32_t x = 0; x < count; ++x) {
        uint8_t* p = work + 4 * x;
        p[2] = static_cast<uint8_t>((77 * p[2] + 151 * p[1] + 28 * p[0]) >> 8);
    }
}

void swapRedBlue(uint8_t* work, int32_t count) {
    for (int32_t x = 0; x < count; ++x) std::swap(work[4 * x], work[4 * x + 2]);
}

void keepOrder(uint8_t*, int32_t) {}

bool sequenceIs(const ImageHeader* image, const char (&seq)[4]) {
    return std::memcmp(image->channelSeq, seq, 4) == 0;
}

// Null for a sequence the converter cannot produce.
SequenceStep selectSequenceStep(const ImageHeader* image) {
    if (sequenceIs(image, kSeqG) || sequenceIs(image, kGray)) return toGray;
    if (sequenceIs(image, kBgr) || sequenceIs(image, kBgra)) return keepOrder;
    if (sequenceIs(image, kRgb) || sequenceIs(image, kRgba)) return swapRedBlue;
    return nullptr;
}

// --------------------------------------------------------------- writers

// Where the channels of the image's pixels lie in a row.
struct RowLayout {
    int32_t channels;                      // channels written
    int32_t firstByte;                     // working byte of channel 0: 2 (gray) for one channel
    ptrdiff_t channelStride, pixelStride;  // in bytes
};

using RowWriter = void (*)(const uint8_t* work, int32_t x0, int32_t count, char* row,
                           const RowLayout& layout);

// One bit a pixel, most significant first: set when the gray byte is >= 128.
void writeBits(const uint8_t* work, int32_t x0, int32_t count, char* row, const RowLayout&) {
    uint8_t* dst = reinterpret_cast<uint8_t*>(row) + x0 / 8;
    for (int32_t x = 0; x < count; ++x) {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        const uint8_t set = static_cast<uint8_t>(-(work[4 * x + 2] >> 7));
        dst[x >> 3] = static_cast<uint8_t>((dst[x >> 3] & ~bit) | (set & bit));
    }
}

void writeBytes(const uint8_t* work, int32_t x0, int32_t count, char* row,
                const RowLayout& layout) {
    for (int32_t c = 0; c < layout.channels; ++c) {
        const uint8_t* src = work + layout.firstByte + c;
        char* dst = row + c * layout.channelStride + x0 * layout.pixelStride;
        for (int32_t x = 0; x < count; ++x)
            dst[x * layout.pixelStride] = static_cast<char>(src[4 * x]);
    }
}

void writeWords(const uint8_t* work, int32_t x0, int32_t count, char* row,
                const RowLayout& layout) {
    for (int32_t c = 0; c < layout.channels; ++c) {
        const uint8_t* src = work + layout.firstByte + c;
        char* dst = row + c * layout.channelStride + x0 * layout.pixelStride;
        for (int32_t x = 0; x < count; ++x) {
            const uint16_t value = static_cast<uint16_t>(src[4 * x] << 8);
            std::memcpy(dst + x * layout.pixelStride, &value, sizeof value);
        }
    }
}

// Null for a channel count and depth the converter does not write.
RowWriter selectWriter(const ImageHeader* image, RowLayout* layout) {
    const int32_t n = image->nChannels;
    if (n == 1 && image->depth == ZAR_DEPTH_1U) return writeBits;
    if ((n != 1 && n != 3 && n != 4) ||
        (image->depth != ZAR_DEPTH_8U && image->depth != ZAR_DEPTH_16U))
        return nullptr;
    const char* origin = pixelAddress(image, 0, 0, 0);
    layout->channels = n;
    layout->firstByte = n == 1 ? 2 : 0;
    layout->channelStride = pixelAddress(image, 0, 0, 1) - origin;
    layout->pixelStride = pixelAddress(image, 1, 0, 0) - origin;
    return image->depth == ZAR_DEPTH_8U ? writeBytes : writeWords;
}

// ------------------------------------------------------------ conversion

struct ImageCheck {
    bool failed;
    Check check;
};

// The image conditions of the converter, in their order; true when all pass.
bool checkTargetImage(const ImageHeader* image) {
    const int32_t a = image->align;
    const ImageCheck checks[] = {
        {image->alphaChannel < 0, {"( image->alphaChannel < 0 )", 597}},
        {image->nChannels < image->alphaChannel,
         {"( image->nChannels < image->alphaChannel )", 598}},
        {image->dataOrder != 0 && image->dataOrder != 1,
         {"( (image->dataOrder != 0) && (image->dataOrder != 1) )", 601}},
        {image->origin != 0 && image->origin != 1,
         {"( (image->origin != 0) && (image->origin != 1) )", 605}},
        {a != 4 && a != 8 && a != 16 && a != 32,
         {"( (image->align != 4) && (image->align != 8) && (image->align != 16) && "
          "(image->align != 32) )",
          609}},
        {image->height <= 0, {"(image->height <= 0)", 615}},
        {image->width <= 0, {"(image->width <= 0)", 616}},
        {image->imageSize <= 0, {"(image->imageSize <= 0)", 617}},
        {image->widthStep <= 0, {"(image->widthStep <= 0)", 618}},
    };
    for (const ImageCheck& c : checks)
        if (reportIf(c.failed, kConvert, c.check)) return false;
    return true;
}

// Pixels converted per step: a multiple of 8 so packed rows split on bytes.
constexpr int32_t kChunk = 256;

// The sequence step acts on each working pixel alone, so for a palette it is
// done once per entry rather than once per pixel.
void sequencePalette(ReaderContext* ctx, SequenceStep sequence) {
    sequence(&ctx->palette[0][0], 256);
}

// An 8-bit indexed bitmap written as one byte per pixel: each pixel is one
// byte of its (sequenced) palette entry, so a row is a table look-up.
struct ByteTable {
    bool used;
    uint8_t value[256];
};

ByteTable byteTableFor(RowReader read, RowWriter write, const RowLayout& layout,
                       const ReaderContext& ctx) {
    ByteTable table{};
    table.used = read == readIndexed8 && write == writeBytes && layout.channels == 1;
    if (table.used)
        for (int i = 0; i < 256; ++i) table.value[i] = ctx.palette[i][layout.firstByte];
    return table;
}

void lookUpRow(const uint8_t* src, int32_t count, const ByteTable& table, char* dst,
               ptrdiff_t pixelStride) {
    if (pixelStride == 1) {
        for (int32_t x = 0; x < count; ++x) dst[x] = static_cast<char>(table.value[src[x]]);
        return;
    }
    for (int32_t x = 0; x < count; ++x)
        dst[x * pixelStride] = static_cast<char>(table.value[src[x]]);
}

// How the rows of one bitmap become rows of one image.
struct RowConversion {
    ImageHeader* image;
    RowReader read;
    ReaderContext ctx;
    SequenceStep sequence;
    RowWriter write;
    RowLayout layout;
    ByteTable table;
    int32_t width;
};

// The reader, sequence step and writer of a conversion; false when the
// converter has no reader or writer for it.
bool prepareConversion(const DibBlock& dib, ImageHeader* image, SequenceStep sequence,
                       RowConversion* c) {
    c->image = image;
    c->layout = RowLayout{};
    c->read = selectReader(dib, &c->ctx);
    c->write = selectWriter(image, &c->layout);
    c->width = dib.header->biWidth;
    c->sequence = sequence;
    if (c->read == readIndexed1 || c->read == readIndexed4 || c->read == readIndexed8) {
        sequencePalette(&c->ctx, sequence);
        c->sequence = keepOrder;
    }
    if (c->read == nullptr || c->write == nullptr) return false;
    c->table = byteTableFor(c->read, c->write, c->layout, c->ctx);
    return true;
}

// Converts one bitmap row onto the image's line t, counted from the top as
// the image's origin defines it.
void convertRow(const RowConversion& c, const uint8_t* src, int64_t t) {
    const ImageHeader* image = c.image;
    const int64_t dstRow = image->origin == ZAR_ORIGIN_BL ? image->height - 1 - t : t;
    char* dst = pixelAddress(image, 0, static_cast<int32_t>(dstRow), 0);
    if (c.table.used) {
        lookUpRow(src, c.width, c.table, dst, c.layout.pixelStride);
        return;
    }
    uint8_t work[4 * kChunk];
    for (int32_t x0 = 0; x0 < c.width; x0 += kChunk) {
        const int32_t count = std::min(kChunk, c.width - x0);
        c.read(src, x0, count, c.ctx, work);
        c.sequence(work, count);
        c.write(work, x0, count, dst, c.layout);
    }
}

// Converts the picture's top line onto the image's top line as each origin
// defines it: a bottom-up bitmap is read from its last row in memory.
void convertRows(const DibBlock& dib, const uint8_t* bits, const RowConversion& c) {
    const BITMAPINFOHEADER* h = dib.header;
    const int64_t rows = absHeight(h);
    const int64_t srcStep = dibRowSize(h->biWidth, h->biBitCount, 4);
    const bool bottomUp = h->biHeight > 0;
    for (int64_t t = 0; t < rows; ++t)
        convertRow(c, bits + (bottomUp ? rows - 1 - t : t) * srcStep, t);
}

// A run-length bitmap's rows as the decoder hands them over: bottom-up.
struct StreamedRows {
    const RowConversion* conversion;
    int64_t rows;
};

void convertStreamedRow(void* context, int64_t row, const uint8_t* indices) {
    const auto* streamed = static_cast<const StreamedRows*>(context);
    convertRow(*streamed->conversion, indices, streamed->rows - 1 - row);
}

}  // namespace

// ------------------------------------------------------------ block layout

int64_t dibColorEntries(const BITMAPINFOHEADER* dib) {
    switch (dib->biBitCount) {
        case 1:
        case 4:
        case 8:
            return dib->biClrUsed != 0 ? dib->biClrUsed : int64_t{1} << dib->biBitCount;
        case 16:
        case 32:
            return dib->biCompression == kBiBitfields ? 3
                   : dib->biCompression == kBiRgb     ? 0
                                                      : dib->biClrUsed;
        default:
            return 0;
    }
}

int64_t dibRowSize(int64_t width, int64_t bitCount, int64_t alignBytes) {
    if (width <= 0) return 0;
    const int64_t alignBits = 8 * alignBytes;
    return ((width * bitCount + alignBits - 1) & -alignBits) / 8;
}

bool hasGrayPalette(const BITMAPINFOHEADER* dib, const uint8_t* colors) {
    const int64_t n = dibColorEntries(dib);
    if (n < 2) return false;
    for (int64_t i = 0; i < n; ++i) {
        const int64_t level = 255 * i / (n - 1);
        const uint8_t* entry = colors + 4 * i;
        if (entry[0] != level || entry[1] != level || entry[2] != level) return false;
    }
    return true;
}

DibBlock contiguousDib(const BITMAPINFOHEADER* dib) {
    const uint8_t* colors = reinterpret_cast<const uint8_t*>(dib) + dib->biSize;
    return {dib, colors, colors + 4 * dibColorEntries(dib),
            dib->biSizeImage != 0 ? dib->biSizeImage : kUnboundedStream, true};
}

// --------------------------------------------------------------- entries

ImageHeader* ZAR_STDCALL zarTranslateDIB(const BITMAPINFOHEADER* dib, int32_t* cloneData) {
    if (dib == nullptr) {
        report(kTranslate, STATUS_BAD_ARG, "( dib == ((void *)0) )", 162);
        return nullptr;
    }
    if (cloneData == nullptr) {
        report(kTranslate, STATUS_BAD_ARG, "( cloneData == ((void *)0) )", 163);
        return nullptr;
    }
    if (!checkDibHeader(dib, kTranslateChecks)) return nullptr;
    return buildImage(contiguousDib(dib), cloneData);
}

// Every size is checked in 64 bits against the block before anything is read
// past the header; the header itself is copied, as a file's lies unaligned.
ImageHeader* ZAR_STDCALL zarTranslateDIBBlock(const void* block, size_t size, int32_t* cloneData) {
    // A failure left from an earlier call must not stop this conversion.
    zarSetStatus(STATUS_OK);
    auto refuse = [](const char* context, int32_t line) -> ImageHeader* {
        report(kTranslateBlock, STATUS_BAD_ARG, context, line);
        return nullptr;
    };
    if (block == nullptr) return refuse("( block == ((void *)0) )", __LINE__);
    if (cloneData == nullptr) return refuse("( cloneData == ((void *)0) )", __LINE__);

    const uint8_t* bytes = static_cast<const uint8_t*>(block);
    constexpr uint64_t kFileHeaderSize = 14;
    const bool wholeFile = size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    const uint64_t headerAt = wholeFile ? kFileHeaderSize : 0;
    if (size < headerAt + sizeof(BITMAPINFOHEADER))
        return refuse(wholeFile ? "Block too small for the file header and BITMAPINFOHEADER"
                                : "Block too small for a BITMAPINFOHEADER",
                      __LINE__);
    // The file's header fields are little-endian words, copied as they are.
    static_assert(std::endian::native == std::endian::little, "bitmap headers are read as is");
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes + headerAt, sizeof header);
    if (!checkDibHeader(&header, kTranslateChecks)) return nullptr;

    const uint64_t tableEnd = headerAt + sizeof header + 4 * uint64_t(dibColorEntries(&header));
    if (tableEnd > size) return refuse("Colour table or bit masks reach past the block", __LINE__);
    const uint64_t bitsAt = wholeFile ? loadLe32(bytes + 10) : tableEnd;
    if (bitsAt > size) return refuse("Bits offset lies past the block", __LINE__);
    const uint64_t available = size - bitsAt;
    size_t streamLimit = kUnboundedStream;
    if (isRunLength(&header)) {
        if (header.biSizeImage > available)
            return refuse("Run-length stream (biSizeImage) reaches past the block", __LINE__);
        streamLimit = header.biSizeImage != 0 ? header.biSizeImage : available;
    } else {
        const int64_t rowSize = dibRowSize(header.biWidth, header.biBitCount, 4);
        // Compared by division: rows times row size may pass 64 bits' reach.
        if (rowSize != 0 && uint64_t(absHeight(&header)) > available / uint64_t(rowSize))
            return refuse("Bitmap bits reach past the block", __LINE__);
    }
    const DibBlock dib = {&header, bytes + headerAt + sizeof header, bytes + bitsAt, streamLimit,
                          bitsAt == tableEnd};
    return buildImage(dib, cloneData);
}

void zarConvertFromDIB(const BITMAPINFOHEADER* dib, ImageHeader* image) {
    if (dib == nullptr) report(kConvert, STATUS_BAD_ARG, "dib==0", 595);
    if (image == nullptr) report(kConvert, STATUS_BAD_ARG, "image==0", 595);
    if (dib == nullptr || image == nullptr) return;
    convertFromDIB(contiguousDib(dib), image, false);
}

// A negative status word, even one left from an earlier call, stops the
// conversion before anything is checked.
void convertFromDIB(const DibBlock& dib, ImageHeader* image, bool freshPixels) {
    const BITMAPINFOHEADER* h = dib.header;
    if (zarGetStatus() < 0) return;
    if (!checkTargetImage(image) || !checkDibHeader(h, kConvertChecks)) return;
    if (h->biWidth > image->width || absHeight(h) > image->height) {
        report(kConvert, STATUS_BAD_IMAGE_SIZE, "Image size is too small", 643);
        return;
    }
    const SequenceStep sequence = selectSequenceStep(image);
    if (sequence == nullptr) {
        report(kConvert, STATUS_BAD_COLOR_MODEL, "image->channelSeq unsupport", 729);
        return;
    }
    if (image->imageData == nullptr) {
        zarAllocateImage(image, 0, 0);
        if (image->imageData == nullptr) {
            report(kConvert, STATUS_NO_MEMORY,
                   "Not enough memory to allocate data for destination image", 832);
            return;
        }
        freshPixels = true;
    }
    RowConversion conversion;
    const bool convertible = prepareConversion(dib, image, sequence, &conversion);
    if (convertible && freshPixels && h->biCompression == kBiRle8) {
        // Pixels of no value yet: rows go into the image as they are decoded.
        StreamedRows streamed{&conversion, absHeight(h)};
        if (!decodeRle8Rows(dib, {convertStreamedRow, &streamed}))
            report(kConvert, STATUS_INTERNAL, "Impossible to decompress RLE DIB", 888);
        return;
    }
    uint8_t* expanded = nullptr;
    if (isRunLength(h)) {
        expanded = decodeRleDIB(dib);
        if (expanded == nullptr) {
            report(kConvert, STATUS_INTERNAL, "Impossible to decompress RLE DIB", 888);
            return;
        }
    }
    if (convertible)
        convertRows(dib, expanded != nullptr ? expanded : dib.bits, conversion);
    else if (zarGetStatus() >= 0)
        report(kConvert, STATUS_INTERNAL, "", 935);
    alignedFree(expanded);
}
