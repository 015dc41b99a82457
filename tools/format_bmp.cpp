// Windows bitmaps, read by the library's bitmap translation.  The library
// takes the 40-byte BITMAPINFOHEADER; newer headers (52, 56, 108 and 124
// bytes) carry the same first 40 bytes and, for bit fields, the colour masks
// inside, so the tool writes the 40-byte form of the header (and the masks
// behind it) over the newer one, in the file's own bytes, ending where the
// colour table begins.  The pixels are then still read in place.
#include <algorithm>
#include <cstring>

#include "formats.h"
#include "messages.h"

namespace tool {

namespace {

constexpr size_t kFileHeader = 14, kInfoHeader = 40;
constexpr uint32_t kBiRgb = 0, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5, kBiAlphaBitfields = 6;

uint32_t le32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

const char* headerName(uint32_t size) {
    switch (size) {
        case 40:
            return "BITMAPINFOHEADER";
        case 52:
            return "BITMAPV2INFOHEADER";
        case 56:
            return "BITMAPV3INFOHEADER";
        case 108:
            return "BITMAPV4HEADER";
        case 124:
            return "BITMAPV5HEADER";
        default:
            return nullptr;
    }
}

// Checks what the library cannot be handed, and returns the offset at which
// the file, in the form the library takes, now starts.
size_t toLibraryForm(FileBytes& file) {
    unsigned char* p = file.data.get();
    if (file.size < kFileHeader + 4) throw UserError("the bitmap is truncated");
    const uint32_t size = le32(p + kFileHeader);
    if (size == 12 || size == 64) throw UserError("OS/2 bitmaps are not supported");
    if (!headerName(size))
        throw UserError("unknown bitmap header of " + std::to_string(size) + " bytes");
    if (file.size < kFileHeader + std::max<size_t>(size, 52))
        throw UserError("the bitmap is truncated");
    uint32_t compression = le32(p + kFileHeader + 16);
    if (compression == kBiJpeg || compression == kBiPng)
        throw UserError(std::string("the bitmap holds a ") +
                        (compression == kBiJpeg ? "JPEG" : "PNG") +
                        " picture; zar reads bitmaps of plain or run-length coded pixels");
    if (compression == kBiAlphaBitfields) compression = kBiBitfields;
    if (size == kInfoHeader) return 0;

    // 40 bytes of header, then the masks where the header holds bit fields.
    const size_t masks = compression == kBiBitfields ? 12 : 0;
    const size_t shift = size - kInfoHeader - masks;
    unsigned char header[kFileHeader + kInfoHeader + 12];
    std::memcpy(header, p, sizeof header);
    put32(header + 10, le32(p + 10) - static_cast<uint32_t>(shift));  // bits offset
    put32(header + kFileHeader, kInfoHeader);
    put32(header + kFileHeader + 16, compression);
    std::memcpy(p + shift, header, kFileHeader + kInfoHeader + masks);
    return shift;
}

// Number of colour table entries before the bits.
uint32_t paletteEntries(const unsigned char* info) {
    uint16_t bits = le16(info + 14);
    uint32_t used = le32(info + 32);
    if (bits > 8) return 0;
    return used != 0 ? used : 1u << bits;
}

// An 8-bit bitmap with a gray ramp of fewer than 256 entries is read in
// place as palette indices: turn them into the gray levels.
void indicesToGray(ImageHeader* image, uint32_t entries) {
    if (entries >= 256 || entries < 2) return;
    unsigned char level[256];
    for (uint32_t i = 0; i < 256; ++i)
        level[i] = static_cast<unsigned char>(255 * std::min(i, entries - 1) / (entries - 1));
    for (int32_t y = 0; y < image->height; ++y) {
        auto* row = reinterpret_cast<unsigned char*>(rowOf(image, y));
        for (int32_t x = 0; x < image->width; ++x) row[x] = level[row[x]];
    }
}

// A fourth byte that is 0 everywhere is the unused byte of a picture without
// transparency, not an alpha channel of "invisible".
void opaqueIfAlphaUnused(ImageHeader* image) {
    for (int32_t y = 0; y < image->height; ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(rowOf(image, y));
        for (int32_t x = 0; x < image->width; ++x)
            if (row[4 * x + 3] != 0) return;
    }
    for (int32_t y = 0; y < image->height; ++y) {
        auto* row = reinterpret_cast<unsigned char*>(rowOf(image, y));
        for (int32_t x = 0; x < image->width; ++x) row[4 * x + 3] = 255;
    }
}

}  // namespace

OwnedImage readBmp(FileBytes file) {
    const size_t start = toLibraryForm(file);
    const bool eightBit = le16(file.data.get() + start + kFileHeader + 14) == 8;
    const uint32_t entries = paletteEntries(file.data.get() + start + kFileHeader);
    clearReport();
    int32_t cloneData = 0;
    ImageHeader* raw = zarTranslateDIBBlock(file.data.get() + start, file.size - start, &cloneData);
    LibraryReport report;
    if (libraryFailed(&report)) {
        if (raw) zarDeallocate(raw, cloneData ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
        throw UserError("not a bitmap zar can read (" + report.context + ")");
    }
    OwnedImage image(raw, cloneData ? nullptr : std::move(file.data));
    if (image->depth == ZAR_DEPTH_1U) image = expandBits(image.get());
    if (image->dataOrder == ZAR_DATA_ORDER_PLANE) image = toPixelOrder(image.get());
    if (!cloneData && eightBit && image->nChannels == 1) indicesToGray(image.get(), entries);
    if (image->nChannels == 4) opaqueIfAlphaUnused(image.get());
    return image;
}

std::string describeBmp(const FileBytes& file) {
    const unsigned char* info = file.data.get() + kFileHeader;
    if (file.size < kFileHeader + kInfoHeader) return "";
    uint32_t size = le32(info);
    const char* name = headerName(size);
    int32_t height = static_cast<int32_t>(le32(info + 8));
    return "format      BMP, " + std::to_string(size) + "-byte header" +
           (name ? std::string(" (") + name + ")" : std::string()) + ", " +
           std::to_string(le16(info + 14)) + " bits a pixel, compression " +
           std::to_string(le32(info + 16)) + ", " + (height < 0 ? "top-down" : "bottom-up") +
           " rows\n";
}

namespace {

void putHeader(FILE* out, const ImageHeader* image, uint32_t bits, uint32_t rowSize) {
    const bool gray = bits == 8, alpha = bits == 32;
    const uint32_t info = alpha ? 108 : kInfoHeader;
    const uint32_t offset = kFileHeader + info + (gray ? 1024 : 0);
    const uint32_t imageBytes = rowSize * static_cast<uint32_t>(image->height);
    unsigned char h[kFileHeader + 108] = {'B', 'M'};
    put32(h + 2, offset + imageBytes);
    put32(h + 10, offset);
    unsigned char* i = h + kFileHeader;
    put32(i, info);
    put32(i + 4, static_cast<uint32_t>(image->width));
    put32(i + 8, static_cast<uint32_t>(image->height));  // bottom-up rows
    put32(i + 12, 1 | bits << 16);                       // planes, bits a pixel
    put32(i + 16, alpha ? kBiBitfields : kBiRgb);
    put32(i + 20, imageBytes);
    put32(i + 24, 2835);  // 72 dots an inch
    put32(i + 28, 2835);
    put32(i + 32, gray ? 256 : 0);
    if (alpha) {
        const uint32_t masks[] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, 0x73524742};
        for (int m = 0; m < 5; ++m) put32(i + 40 + 4 * m, masks[m]);  // then 'sRGB'
    }
    std::fwrite(h, 1, kFileHeader + info, out);
    for (uint32_t v = 0; gray && v < 256; ++v) {
        unsigned char entry[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v),
                                  static_cast<unsigned char>(v), 0};
        std::fwrite(entry, 1, 4, out);
    }
}

}  // namespace

void writeBmp(const ImageHeader* image, FILE* out) {
    const int32_t channels = hasAlpha(image) ? 4 : image->nChannels;  // gray+alpha as colour
    OwnedImage holder;
    const ImageHeader* picture = shaped(image, channels, ZAR_DEPTH_8U, holder);
    const uint32_t bits = static_cast<uint32_t>(8 * channels);
    const size_t used = rowBytes(picture);
    const uint32_t rowSize = static_cast<uint32_t>((used + 3) & ~size_t{3});
    putHeader(out, picture, bits, rowSize);
    const char zeros[4] = {};
    if (picture->origin == ZAR_ORIGIN_BL && picture->widthStep == static_cast<int32_t>(rowSize)) {
        std::fwrite(picture->imageData, rowSize, static_cast<size_t>(picture->height), out);
        return;  // the rows are already in the file's order
    }
    for (int32_t y = picture->height - 1; y >= 0; --y) {
        std::fwrite(pictureRow(picture, y), 1, used, out);
        std::fwrite(zeros, 1, rowSize - used, out);
    }
}

}  // namespace tool
