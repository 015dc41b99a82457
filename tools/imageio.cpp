#include "imageio.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tool {

namespace {
bool reportedThisCall = false;

ZarStatus ZAR_STDCALL reportFirstOnly(ZarStatus status, const char* funcName, const char* context,
                                      const char* fileName, int32_t line) {
    if (!reportedThisCall) zarStdErrReport(status, funcName, context, fileName, line);
    reportedThisCall = true;
    return status;
}
}  // namespace

void installErrorReporting() {
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarRedirectError(reportFirstOnly);
}

void beginLibraryCall() {
    zarSetStatus(STATUS_OK);
    reportedThisCall = false;
}

void OwnedImage::reset() {
    if (!image_) return;
    // The tool keeps its Roi records and masks itself: detach them first.
    image_->roi = nullptr;
    image_->maskImage = nullptr;
    zarDeallocate(image_, ZAR_FREE_ALL);
    image_ = nullptr;
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UserError("cannot open '" + path + "'");
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

namespace {

int32_t bitsOf(int32_t depth) { return depth & 0x7FFFFFFF; }

std::string extensionOf(const std::string& path) {
    size_t dot = path.rfind('.');
    if (dot == std::string::npos) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Address of a value, and for 1-bit images its bit (7 = most significant).
const char* valueAddress(const ImageHeader* image, int32_t x, int32_t y, int32_t channel,
                         int* bit) {
    int32_t bits = bitsOf(image->depth);
    const char* row = image->imageData + static_cast<ptrdiff_t>(y) * image->widthStep;
    int64_t index = x;
    if (image->dataOrder == ZAR_DATA_ORDER_PLANE)
        row += static_cast<ptrdiff_t>(channel) * image->height * image->widthStep;
    else
        index = static_cast<int64_t>(x) * image->nChannels + channel;
    if (bits == 1) {
        *bit = 7 - static_cast<int>(index % 8);
        return row + index / 8;
    }
    return row + index * (bits / 8);
}

}  // namespace

double sampleAt(const ImageHeader* image, int32_t x, int32_t y, int32_t channel) {
    int bit = 0;
    const char* p = valueAddress(image, x, y, channel, &bit);
    switch (image->depth) {
        case ZAR_DEPTH_1U:
            return (static_cast<uint8_t>(*p) >> bit) & 1;
        case ZAR_DEPTH_8U:
            return static_cast<uint8_t>(*p);
        case ZAR_DEPTH_8S:
            return static_cast<int8_t>(*p);
        case ZAR_DEPTH_16U: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        case ZAR_DEPTH_16S: {
            int16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        case ZAR_DEPTH_32S: {
            int32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        default: {
            float v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

void storeAt(ImageHeader* image, int32_t x, int32_t y, int32_t channel, double value) {
    int bit = 0;
    char* p = const_cast<char*>(valueAddress(image, x, y, channel, &bit));
    switch (image->depth) {
        case ZAR_DEPTH_1U:
            *p = static_cast<char>((static_cast<uint8_t>(*p) & ~(1u << bit)) |
                                   ((value != 0 ? 1u : 0u) << bit));
            break;
        case ZAR_DEPTH_8U:
        case ZAR_DEPTH_8S:
            *p = static_cast<char>(static_cast<int32_t>(value));
            break;
        case ZAR_DEPTH_16U:
        case ZAR_DEPTH_16S: {
            uint16_t v = static_cast<uint16_t>(static_cast<int32_t>(value));
            std::memcpy(p, &v, 2);
            break;
        }
        case ZAR_DEPTH_32S: {
            int32_t v = static_cast<int32_t>(value);
            std::memcpy(p, &v, 4);
            break;
        }
        default: {
            float v = static_cast<float>(value);
            std::memcpy(p, &v, 4);
            break;
        }
    }
}

OwnedImage newCanonical(int32_t nChannels, int32_t depth, int32_t width, int32_t height) {
    const char* model = nChannels == 1 ? "GRAY" : "RGB";
    const char* seq = nChannels == 1 ? "GRAY" : "BGR";
    OwnedImage image(zarCreateImageHeader(nChannels, 0, depth, model, seq, ZAR_DATA_ORDER_PIXEL,
                                          ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, width, height, nullptr,
                                          nullptr, nullptr, nullptr));
    if (!image.get())
        throw UserError("cannot create a " + std::to_string(width) + "x" + std::to_string(height) +
                        " image");
    if (depth == ZAR_DEPTH_32F)
        zarAllocateImageFP(image.get(), 1, 0.0f);
    else
        zarAllocateImage(image.get(), 1, 0);
    if (!image->imageData) throw UserError("out of memory");
    return image;
}

OwnedImage newLike(const ImageHeader* image, int32_t width, int32_t height) {
    OwnedImage copy(zarCreateImageHeader(image->nChannels, image->alphaChannel, image->depth,
                                         image->colorModel, image->channelSeq, image->dataOrder,
                                         image->origin, image->align, width, height, nullptr,
                                         nullptr, nullptr, nullptr));
    if (!copy.get()) throw UserError("cannot create the output image");
    if (image->depth == ZAR_DEPTH_32F)
        zarAllocateImageFP(copy.get(), 1, 0.0f);
    else
        zarAllocateImage(copy.get(), 1, 0);
    if (!copy->imageData) throw UserError("out of memory");
    std::memcpy(copy->borderModes, image->borderModes, sizeof image->borderModes);
    std::memcpy(copy->borderValues, image->borderValues, sizeof image->borderValues);
    return copy;
}

OwnedImage canonicalize(const ImageHeader* image) {
    int32_t channels = image->nChannels - (image->alphaChannel ? 1 : 0);
    if (channels != 1 && channels != 3)
        throw UserError("images of " + std::to_string(channels) +
                        " colour channels are not supported");
    bool wide = image->depth == ZAR_DEPTH_16U || image->depth == ZAR_DEPTH_16S;
    OwnedImage out = newCanonical(channels, wide ? ZAR_DEPTH_16U : ZAR_DEPTH_8U, image->width,
                                  image->height);
    double scale = image->depth == ZAR_DEPTH_1U ? 255.0 : 1.0;
    for (int32_t y = 0; y < image->height; ++y) {
        int32_t srcY = image->origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y;
        for (int32_t x = 0; x < image->width; ++x)
            for (int32_t c = 0; c < channels; ++c)
                storeAt(out.get(), x, y, c, sampleAt(image, x, srcY, c) * scale);
    }
    return out;
}

ImageHeader* translateBitmap(const unsigned char* bytes, size_t size, const std::string& name,
                             int32_t* cloneData) {
    *cloneData = 0;
    beginLibraryCall();
    ImageHeader* raw = zarTranslateDIBBlock(bytes, size, cloneData);
    if (!raw || zarGetStatus() < 0) {
        if (raw) releaseTranslated(raw, *cloneData);
        // The library's report already said why, on its one line.
        throw UserError(zarGetStatus() < 0 ? "" : "'" + name + "' is not a bitmap zar can read");
    }
    return raw;
}

void releaseTranslated(ImageHeader* image, int32_t cloneData) {
    // A header that references the file's bits owns no pixels: free the header only.
    zarDeallocate(image, cloneData ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
}

OwnedImage loadBitmap(const unsigned char* bytes, size_t size, const std::string& name) {
    int32_t cloneData = 0;
    ImageHeader* raw = translateBitmap(bytes, size, name, &cloneData);
    OwnedImage result = canonicalize(raw);
    releaseTranslated(raw, cloneData);
    return result;
}

namespace {

// Reads the next header token of a netpbm file, skipping comments.
std::string nextToken(const std::vector<unsigned char>& bytes, size_t& pos) {
    std::string token;
    while (pos < bytes.size()) {
        char c = static_cast<char>(bytes[pos]);
        if (c == '#') {
            while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++pos;
            if (!token.empty()) return token;
        } else {
            token += c;
            ++pos;
        }
    }
    return token;
}

int32_t headerNumber(const std::vector<unsigned char>& bytes, size_t& pos,
                     const std::string& path) {
    std::string token = nextToken(bytes, pos);
    char* end = nullptr;
    long value = std::strtol(token.c_str(), &end, 10);
    if (token.empty() || *end != '\0' || value < 1 || value > 1 << 20)
        throw UserError("'" + path + "' has a bad header");
    return static_cast<int32_t>(value);
}

OwnedImage loadNetpbm(const std::vector<unsigned char>& bytes, const std::string& path) {
    size_t pos = 0;
    std::string magic = nextToken(bytes, pos);
    int32_t channels = magic == "P5" ? 1 : 3;
    int32_t width = headerNumber(bytes, pos, path);
    int32_t height = headerNumber(bytes, pos, path);
    int32_t maxValue = headerNumber(bytes, pos, path);
    if (maxValue > 65535) throw UserError("'" + path + "' has a bad maximum value");
    int32_t bytesPerValue = maxValue > 255 ? 2 : 1;
    size_t need = static_cast<size_t>(width) * height * channels * bytesPerValue;
    if (bytes.size() < pos || bytes.size() - pos < need)
        throw UserError("'" + path + "' is truncated");
    OwnedImage image = newCanonical(channels, bytesPerValue == 2 ? ZAR_DEPTH_16U : ZAR_DEPTH_8U,
                                    width, height);
    const unsigned char* p = bytes.data() + pos;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t c = 0; c < channels; ++c, p += bytesPerValue) {
                int32_t v = bytesPerValue == 2 ? (p[0] << 8 | p[1]) : p[0];
                // Colour files are stored red first; images are blue, green, red.
                storeAt(image.get(), x, y, channels == 3 ? 2 - c : c, v);
            }
    return image;
}

// Portable float map of one channel: the format for remap's coordinate maps.
OwnedImage loadFloatMap(const std::vector<unsigned char>& bytes, const std::string& path) {
    size_t pos = 0;
    std::string magic = nextToken(bytes, pos);
    if (magic != "Pf")
        throw UserError("'" + path + "': only one-channel float maps (Pf) are supported");
    int32_t width = headerNumber(bytes, pos, path);
    int32_t height = headerNumber(bytes, pos, path);
    double scale = std::atof(nextToken(bytes, pos).c_str());
    size_t need = static_cast<size_t>(width) * height * 4;
    if (bytes.size() < pos || bytes.size() - pos < need)
        throw UserError("'" + path + "' is truncated");
    OwnedImage image = newCanonical(1, ZAR_DEPTH_32F, width, height);
    const unsigned char* p = bytes.data() + pos;
    for (int32_t row = 0; row < height; ++row)  // rows are stored bottom to top
        for (int32_t x = 0; x < width; ++x, p += 4) {
            uint32_t bits = scale < 0 ? (p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24)
                                      : (uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
            float v;
            std::memcpy(&v, &bits, 4);
            storeAt(image.get(), x, height - 1 - row, 0, v);
        }
    return image;
}

void put16(std::string& out, uint32_t v) {
    out += char(v & 0xFF);
    out += char(v >> 8 & 0xFF);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// 8-bit value of a sample for formats that hold 8 bits.
uint8_t to8(const ImageHeader* image, double v) {
    if (image->depth == ZAR_DEPTH_16U) return static_cast<uint8_t>(static_cast<int32_t>(v) >> 8);
    if (v < 0) return 0;
    if (v > 255) return 255;
    return static_cast<uint8_t>(v);
}

std::string encodeBitmap(const ImageHeader* image) {
    int32_t channels = image->nChannels - (image->alphaChannel ? 1 : 0);
    bool gray = channels == 1;
    uint32_t bitCount = gray ? 8 : 24;
    uint32_t rowSize = ((image->width * bitCount + 31) / 32) * 4;
    uint32_t paletteBytes = gray ? 256 * 4 : 0;
    uint32_t offset = 14 + 40 + paletteBytes;
    uint32_t bitsSize = rowSize * image->height;
    std::string out;
    out += "BM";
    put32(out, offset + bitsSize);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, image->width);
    put32(out, image->height);  // bottom-up
    put16(out, 1);
    put16(out, bitCount);
    put32(out, 0);
    put32(out, bitsSize);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, gray ? 256 : 0);
    put32(out, 0);
    for (uint32_t i = 0; gray && i < 256; ++i) put32(out, i * 0x010101u);
    for (int32_t row = image->height - 1; row >= 0; --row) {
        std::string line;
        for (int32_t x = 0; x < image->width; ++x) {
            if (gray) {
                line += char(to8(image, sampleAt(image, x, row, 0)));
            } else {
                for (int32_t c = 0; c < 3; ++c)
                    line += char(to8(image, sampleAt(image, x, row, c)));
            }
        }
        line.resize(rowSize, '\0');
        out += line;
    }
    return out;
}

std::string encodeNetpbm(const ImageHeader* image, bool colour) {
    int32_t channels = image->nChannels - (image->alphaChannel ? 1 : 0);
    if (colour != (channels == 3))
        throw UserError(colour ? "a .ppm file needs a colour image (use .pgm)"
                               : "a .pgm file needs a gray image (use .ppm)");
    bool wide = image->depth == ZAR_DEPTH_16U;
    std::string out = (colour ? "P6\n" : "P5\n") + std::to_string(image->width) + " " +
                      std::to_string(image->height) + "\n" + (wide ? "65535\n" : "255\n");
    for (int32_t y = 0; y < image->height; ++y)
        for (int32_t x = 0; x < image->width; ++x)
            for (int32_t c = 0; c < channels; ++c) {
                double v = sampleAt(image, x, y, colour ? 2 - c : c);
                if (wide) {
                    int32_t w = static_cast<int32_t>(v);
                    out += char(w >> 8 & 0xFF);
                    out += char(w & 0xFF);
                } else {
                    out += char(to8(image, v));
                }
            }
    return out;
}

}  // namespace

OwnedImage loadImage(const std::string& path) {
    std::vector<unsigned char> bytes = readFile(path);
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return loadBitmap(bytes.data(), bytes.size(), path);
    if (bytes.size() >= 2 && bytes[0] == 'P' && (bytes[1] == '5' || bytes[1] == '6'))
        return loadNetpbm(bytes, path);
    if (bytes.size() >= 2 && bytes[0] == 'P' && (bytes[1] == 'f' || bytes[1] == 'F'))
        return loadFloatMap(bytes, path);
    throw UserError("'" + path + "' is not a BMP, PGM, PPM or PFM file");
}

void saveImage(const ImageHeader* image, const std::string& path) {
    std::string ext = extensionOf(path);
    std::string data;
    if (ext == "bmp")
        data = encodeBitmap(image);
    else if (ext == "pgm" || ext == "ppm")
        data = encodeNetpbm(image, ext == "ppm");
    else
        throw UserError("unknown output format '" + path + "' (use .bmp, .pgm or .ppm)");
    std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary);
        if (!out) throw UserError("cannot write '" + path + "'");
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out) {
            std::remove(temporary.c_str());
            throw UserError("cannot write '" + path + "'");
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw UserError("cannot write '" + path + "'");
    }
}

std::string describe(const ImageHeader* image) {
    auto text4 = [](const char* s) {
        std::string t(s, 4);
        return t.substr(0, t.find('\0'));
    };
    auto depthName = [](int32_t depth) -> std::string {
        switch (depth) {
            case ZAR_DEPTH_1U:
                return "1U";
            case ZAR_DEPTH_8U:
                return "8U";
            case ZAR_DEPTH_8S:
                return "8S";
            case ZAR_DEPTH_16U:
                return "16U";
            case ZAR_DEPTH_16S:
                return "16S";
            case ZAR_DEPTH_32S:
                return "32S";
            case ZAR_DEPTH_32F:
                return "32F";
            default:
                return "?";
        }
    };
    std::ostringstream s;
    s << "size        " << image->width << " x " << image->height << "\n"
      << "channels    " << image->nChannels << " (alpha channel " << image->alphaChannel << ")\n"
      << "depth       " << depthName(image->depth) << "\n"
      << "colour      " << text4(image->colorModel) << " / " << text4(image->channelSeq) << "\n"
      << "data order  " << (image->dataOrder == ZAR_DATA_ORDER_PLANE ? "plane" : "pixel") << "\n"
      << "origin      " << (image->origin == ZAR_ORIGIN_BL ? "bottom-left" : "top-left") << "\n"
      << "align       " << image->align << "\n"
      << "widthStep   " << image->widthStep << "\n"
      << "imageSize   " << image->imageSize << "\n";
    return s.str();
}

}  // namespace tool
