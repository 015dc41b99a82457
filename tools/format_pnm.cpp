// Netpbm files: P1 to P6 (bitmaps, gray maps, pixel maps, in ASCII and
// binary form) and the float maps PF (colour) and Pf (gray).
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats.h"

namespace tool {

namespace {

struct Cursor {
    const unsigned char* bytes;
    size_t size, pos = 0;

    // Skips blanks and comments; true when something follows.
    bool skip() {
        while (pos < size) {
            if (bytes[pos] == '#') {
                while (pos < size && bytes[pos] != '\n') ++pos;
            } else if (std::isspace(bytes[pos])) {
                ++pos;
            } else {
                return true;
            }
        }
        return false;
    }
    std::string token() {
        if (!skip()) throw UserError("the file is truncated");
        size_t start = pos;
        while (pos < size && !std::isspace(bytes[pos]) && bytes[pos] != '#') ++pos;
        return std::string(reinterpret_cast<const char*>(bytes + start), pos - start);
    }
    long number(long low, long high, const char* what) {
        std::string t = token();
        char* end = nullptr;
        long v = std::strtol(t.c_str(), &end, 10);
        if (t.empty() || *end != '\0' || v < low || v > high)
            throw UserError(std::string("bad ") + what + " '" + t + "' in the header");
        return v;
    }
};

struct Header {
    char kind;  // '1' to '6', 'f' or 'F'
    int32_t width, height, channels;
    long maxValue;
};

Header readHeader(Cursor& c) {
    Header h{static_cast<char>(c.bytes[1]), 0, 0, 1, 1};
    c.pos = 2;
    h.width = static_cast<int32_t>(c.number(1, 1 << 24, "width"));
    h.height = static_cast<int32_t>(c.number(1, 1 << 24, "height"));
    h.channels = h.kind == '3' || h.kind == '6' || h.kind == 'F' ? 3 : 1;
    if (h.kind == '2' || h.kind == '3' || h.kind == '5' || h.kind == '6')
        h.maxValue = c.number(1, 65535, "maximum value");
    if (h.kind == '4' || h.kind == '5' || h.kind == '6') ++c.pos;  // one blank, then the data
    return h;
}

// Samples of maximum maxValue into 8 or 16 bits: the full range maps onto the full range.
int32_t depthFor(long maxValue) { return maxValue > 255 ? ZAR_DEPTH_16U : ZAR_DEPTH_8U; }

void storeSample(ImageHeader* image, size_t index, int32_t y, long v, long maxValue) {
    const long full = image->depth == ZAR_DEPTH_16U ? 65535 : 255;
    if (v > maxValue) throw UserError("a sample exceeds the maximum value");
    long scaled = maxValue == full ? v : (v * full + maxValue / 2) / maxValue;
    if (image->depth == ZAR_DEPTH_16U)
        reinterpret_cast<uint16_t*>(rowOf(image, y))[index] = static_cast<uint16_t>(scaled);
    else
        reinterpret_cast<uint8_t*>(rowOf(image, y))[index] = static_cast<uint8_t>(scaled);
}

void readBits(Cursor& c, const Header& h, ImageHeader* image) {
    const size_t rowSize = (static_cast<size_t>(h.width) + 7) / 8;
    if (h.kind == '4' && c.size - c.pos < rowSize * h.height)
        throw UserError("the file is truncated");
    for (int32_t y = 0; y < h.height; ++y) {
        auto* out = reinterpret_cast<uint8_t*>(rowOf(image, y));
        const unsigned char* in = c.bytes + c.pos + y * rowSize;
        for (int32_t x = 0; x < h.width; ++x) {
            int bit;
            if (h.kind == '4') {
                bit = (in[x >> 3] >> (7 - (x & 7))) & 1;
            } else {  // ASCII digits, blanks between them optional
                if (!c.skip()) throw UserError("the file is truncated");
                bit = c.bytes[c.pos++] - '0';
                if (bit != 0 && bit != 1) throw UserError("a P1 file holds a digit other than 0/1");
            }
            out[x] = bit ? 0 : 255;  // 1 is black
        }
    }
}

void readSamples(Cursor& c, const Header& h, ImageHeader* image) {
    const size_t perRow = static_cast<size_t>(h.width) * h.channels;
    const bool binary = h.kind == '5' || h.kind == '6';
    const size_t wide = h.maxValue > 255 ? 2 : 1;
    if (binary && (c.size - c.pos) / wide / perRow < static_cast<size_t>(h.height))
        throw UserError("the file is truncated");
    for (int32_t y = 0; y < h.height; ++y) {
        const unsigned char* in = c.bytes + c.pos + y * perRow * wide;
        if (binary && wide == 1 && h.maxValue == 255) {
            std::memcpy(rowOf(image, y), in, perRow);
        } else {
            for (size_t i = 0; i < perRow; ++i) {
                long v = !binary     ? c.number(0, 65535, "sample")
                         : wide == 2 ? in[2 * i] << 8 | in[2 * i + 1]
                                     : in[i];
                storeSample(image, i, y, v, h.maxValue);
            }
        }
        if (h.channels == 3) swapRedBlue(rowOf(image, y), h.width, 3, bytesPerSample(image->depth));
    }
}

void readFloats(Cursor& c, const Header& h, ImageHeader* image) {
    const double scale = std::strtod(c.token().c_str(), nullptr);
    if (scale == 0 || !std::isfinite(scale)) throw UserError("bad scale in the float map header");
    ++c.pos;
    const size_t perRow = static_cast<size_t>(h.width) * h.channels;
    if ((c.size - c.pos) / 4 / perRow < static_cast<size_t>(h.height))
        throw UserError("the file is truncated");
    for (int32_t row = 0; row < h.height; ++row) {  // stored bottom row first
        const unsigned char* in = c.bytes + c.pos + row * perRow * 4;
        auto* out = reinterpret_cast<float*>(rowOf(image, h.height - 1 - row));
        for (size_t i = 0; i < perRow; ++i, in += 4) {
            uint32_t bits = scale < 0 ? (in[0] | in[1] << 8 | in[2] << 16 | uint32_t(in[3]) << 24)
                                      : (uint32_t(in[0]) << 24 | in[1] << 16 | in[2] << 8 | in[3]);
            std::memcpy(&out[i], &bits, 4);
        }
        if (h.channels == 3) swapRedBlue(out, h.width, 3, 4);
    }
}

}  // namespace

OwnedImage readPnm(const FileBytes& file) {
    Cursor c{file.data.get(), file.size};
    Header h = readHeader(c);
    const bool isFloat = h.kind == 'f' || h.kind == 'F';
    const int32_t depth = isFloat ? ZAR_DEPTH_32F : depthFor(h.maxValue);
    OwnedImage image = newImage(h.channels, depth, h.width, h.height);
    if (h.kind == '1' || h.kind == '4')
        readBits(c, h, image.get());
    else if (isFloat)
        readFloats(c, h, image.get());
    else
        readSamples(c, h, image.get());
    return image;
}

namespace {

void writeBits(const ImageHeader* image, FILE* out) {
    OwnedImage holder;
    const ImageHeader* gray = shaped(image, 1, ZAR_DEPTH_8U, holder);
    std::fprintf(out, "P4\n%d %d\n", gray->width, gray->height);
    std::vector<unsigned char> packed((gray->width + 7) / 8);
    for (int32_t y = 0; y < gray->height; ++y) {
        std::fill(packed.begin(), packed.end(), 0);
        const auto* row = reinterpret_cast<const uint8_t*>(pictureRow(gray, y));
        for (int32_t x = 0; x < gray->width; ++x)
            if (row[x] < 128) packed[x >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
        std::fwrite(packed.data(), 1, packed.size(), out);
    }
}

void writeFloats(const ImageHeader* image, FILE* out) {
    const int32_t channels = colourChannels(image);
    OwnedImage holder;
    const ImageHeader* map = shaped(image, channels, ZAR_DEPTH_32F, holder);
    std::fprintf(out, "%s\n%d %d\n-1.0\n", channels == 3 ? "PF" : "Pf", map->width, map->height);
    std::vector<float> row(static_cast<size_t>(map->width) * channels);
    for (int32_t y = map->height - 1; y >= 0; --y) {  // little-endian, bottom row first
        std::memcpy(row.data(), pictureRow(map, y), row.size() * 4);
        if (channels == 3) swapRedBlue(row.data(), map->width, 3, 4);
        std::fwrite(row.data(), 4, row.size(), out);
    }
}

}  // namespace

void writePnm(const ImageHeader* image, FILE* out, char kind) {
    if (kind == 'b') return writeBits(image, out);
    if (kind == 'f') return writeFloats(image, out);
    const int32_t channels = kind == 'g' ? 1 : kind == 'p' ? 3 : colourChannels(image);
    const int32_t depth = image->depth == ZAR_DEPTH_8U ? ZAR_DEPTH_8U : ZAR_DEPTH_16U;
    OwnedImage holder;
    const ImageHeader* picture = shaped(image, channels, depth, holder);
    const bool wide = depth == ZAR_DEPTH_16U;
    std::fprintf(out, "P%c\n%d %d\n%d\n", channels == 3 ? '6' : '5', picture->width,
                 picture->height, wide ? 65535 : 255);
    std::vector<unsigned char> row(rowBytes(picture));
    for (int32_t y = 0; y < picture->height; ++y) {
        std::memcpy(row.data(), pictureRow(picture, y), row.size());
        if (channels == 3) swapRedBlue(row.data(), picture->width, 3, wide ? 2 : 1);
        for (size_t i = 0; wide && i < row.size(); i += 2) std::swap(row[i], row[i + 1]);
        std::fwrite(row.data(), 1, row.size(), out);
    }
}

}  // namespace tool
