// TIFF through libtiff: gray (black or white as zero) and colour, with or
// without alpha, of 8 or 16 bits, 32-bit integers or 32-bit floats, in
// strips or tiles, chunky or planar.  Other kinds of 8 bits or less
// (palettes, YCbCr, CMYK, bilevel) go through libtiff's RGBA reader.
#include <tiffio.h>

#include <cstdarg>
#include <cstring>
#include <vector>

#include "formats.h"

namespace tool {

namespace {

thread_local char tMessage[256];

void onError(const char*, const char* format, va_list args) {
    if (tMessage[0] == '\0') std::vsnprintf(tMessage, sizeof tMessage, format, args);
}

// The bytes libtiff reads (a file held in memory) or the file it writes.
struct Stream {
    const unsigned char* data = nullptr;
    uint64_t size = 0, pos = 0;
    FILE* out = nullptr;
};

tmsize_t readProc(thandle_t h, void* buffer, tmsize_t n) {
    auto* s = static_cast<Stream*>(h);
    if (s->out) return static_cast<tmsize_t>(std::fread(buffer, 1, static_cast<size_t>(n), s->out));
    uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n),
                                        s->size - std::min(s->pos, s->size));
    std::memcpy(buffer, s->data + s->pos, count);
    s->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t writeProc(thandle_t h, void* buffer, tmsize_t n) {
    auto* s = static_cast<Stream*>(h);
    return s->out ? static_cast<tmsize_t>(std::fwrite(buffer, 1, static_cast<size_t>(n), s->out))
                  : 0;
}

toff_t seekProc(thandle_t h, toff_t offset, int whence) {
    auto* s = static_cast<Stream*>(h);
    if (s->out) {
        if (fseeko(s->out, static_cast<off_t>(offset), whence) != 0) return static_cast<toff_t>(-1);
        return static_cast<toff_t>(ftello(s->out));
    }
    s->pos = whence == SEEK_SET ? offset : whence == SEEK_CUR ? s->pos + offset : s->size + offset;
    return s->pos;
}

int closeProc(thandle_t) { return 0; }  // the caller owns the bytes or the file

toff_t sizeProc(thandle_t h) {
    auto* s = static_cast<Stream*>(h);
    return s->out ? static_cast<toff_t>(ftello(s->out)) : s->size;
}

TIFF* openStream(Stream* stream, const char* mode) {
    tMessage[0] = '\0';
    return TIFFClientOpen("tiff", mode, stream, readProc, writeProc, seekProc, closeProc, sizeProc,
                          nullptr, nullptr);
}

struct Shape {
    uint32_t width = 0, height = 0;
    uint16_t samples = 1, bits = 1, format = SAMPLEFORMAT_UINT, photometric = 0,
             planar = PLANARCONFIG_CONTIG;
};

Shape shapeOf(TIFF* tif) {
    Shape s;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &s.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &s.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &s.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &s.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &s.format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &s.planar);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &s.photometric))
        s.photometric = PHOTOMETRIC_MINISBLACK;
    return s;
}

bool isGray(const Shape& s) {
    return s.photometric == PHOTOMETRIC_MINISBLACK || s.photometric == PHOTOMETRIC_MINISWHITE;
}

// The depth the samples are read into, or 0 when libtiff's RGBA reader must do it.
int32_t directDepth(const Shape& s) {
    bool layout = (isGray(s) && s.samples <= 2) ||
                  (s.photometric == PHOTOMETRIC_RGB && (s.samples == 3 || s.samples == 4));
    if (!layout) return 0;
    if (s.format == SAMPLEFORMAT_IEEEFP) return s.bits == 32 ? ZAR_DEPTH_32F : 0;
    if (s.bits == 32) return ZAR_DEPTH_32S;
    if (s.format != SAMPLEFORMAT_UINT) return 0;
    return s.bits == 8 ? ZAR_DEPTH_8U : s.bits == 16 ? ZAR_DEPTH_16U : 0;
}

// Copies a block of w x h pixels of one sample (or of all, sample < 0) into the image at (x, y).
void place(ImageHeader* image, const unsigned char* block, size_t blockRow, uint32_t x, uint32_t y,
           uint32_t w, uint32_t h, int sample) {
    const size_t bytes = bytesPerSample(image->depth), channels = image->nChannels;
    w = std::min<uint32_t>(w, static_cast<uint32_t>(image->width) - x);
    h = std::min<uint32_t>(h, static_cast<uint32_t>(image->height) - y);
    for (uint32_t r = 0; r < h; ++r) {
        unsigned char* out = reinterpret_cast<unsigned char*>(
                                 rowOf(image, static_cast<int32_t>(y + r))) +
                             x * channels * bytes;
        const unsigned char* in = block + r * blockRow;
        if (sample < 0) {
            std::memcpy(out, in, w * channels * bytes);
        } else {
            for (uint32_t i = 0; i < w; ++i)
                std::memcpy(out + (i * channels + sample) * bytes, in + i * bytes, bytes);
        }
    }
}

bool readDirect(TIFF* tif, const Shape& s, ImageHeader* image) {
    const bool planar = s.planar == PLANARCONFIG_SEPARATE;
    const int planes = planar ? s.samples : 1;
    const size_t pixelBytes = bytesPerSample(image->depth) * (planar ? 1 : s.samples);
    if (TIFFIsTiled(tif)) {
        uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        std::vector<unsigned char> tile(static_cast<size_t>(TIFFTileSize(tif)));
        for (int p = 0; p < planes; ++p)
            for (uint32_t y = 0; y < s.height; y += th)
                for (uint32_t x = 0; x < s.width; x += tw) {
                    if (TIFFReadTile(tif, tile.data(), x, y, 0, static_cast<uint16_t>(p)) < 0)
                        return false;
                    place(image, tile.data(), tw * pixelBytes, x, y, tw, th, planar ? p : -1);
                }
        return true;
    }
    std::vector<unsigned char> row(static_cast<size_t>(TIFFScanlineSize(tif)));
    for (int p = 0; p < planes; ++p)
        for (uint32_t y = 0; y < s.height; ++y) {
            if (TIFFReadScanline(tif, row.data(), y, static_cast<uint16_t>(p)) < 0) return false;
            place(image, row.data(), row.size(), 0, y, s.width, 1, planar ? p : -1);
        }
    return true;
}

// White as zero: turn the gray values around.
void invertGray(ImageHeader* image) {
    for (int32_t y = 0; y < image->height; ++y)
        for (int32_t x = 0; x < image->width; ++x) {
            char* p = rowOf(image, y) + x * image->nChannels * bytesPerSample(image->depth);
            if (image->depth == ZAR_DEPTH_8U) *reinterpret_cast<uint8_t*>(p) ^= 0xFF;
            if (image->depth == ZAR_DEPTH_16U) *reinterpret_cast<uint16_t*>(p) ^= 0xFFFF;
        }
}

OwnedImage readThroughRgba(TIFF* tif, const Shape& s) {
    const bool alpha = s.samples > (isGray(s) ? 1 : 3);
    const int32_t channels = (isGray(s) ? 1 : 3) + (alpha ? 1 : 0);
    std::vector<uint32_t> raster(static_cast<size_t>(s.width) * s.height);
    if (!TIFFReadRGBAImageOriented(tif, s.width, s.height, raster.data(), ORIENTATION_TOPLEFT, 0))
        throw UserError(std::string("not a TIFF file zar can read: ") + tMessage);
    OwnedImage bgra = newImage(4, ZAR_DEPTH_8U, static_cast<int32_t>(s.width),
                               static_cast<int32_t>(s.height));
    for (uint32_t y = 0; y < s.height; ++y) {
        auto* out = reinterpret_cast<uint8_t*>(rowOf(bgra.get(), static_cast<int32_t>(y)));
        for (uint32_t x = 0; x < s.width; ++x) {
            uint32_t v = raster[static_cast<size_t>(y) * s.width + x];
            uint8_t px[4] = {static_cast<uint8_t>(TIFFGetB(v)), static_cast<uint8_t>(TIFFGetG(v)),
                             static_cast<uint8_t>(TIFFGetR(v)), static_cast<uint8_t>(TIFFGetA(v))};
            std::memcpy(out + 4 * x, px, 4);
        }
    }
    OwnedImage holder;
    if (shaped(bgra.get(), channels, ZAR_DEPTH_8U, holder) == bgra.get()) return bgra;
    return holder;
}

struct TiffCloser {
    TIFF* tif;
    ~TiffCloser() { TIFFClose(tif); }
};

}  // namespace

void installTiffMessages() {
    TIFFSetErrorHandler(onError);
    TIFFSetWarningHandler(nullptr);
}

OwnedImage readTiff(const FileBytes& file) {
    Stream stream{file.data.get(), file.size, 0, nullptr};
    TIFF* tif = openStream(&stream, "rm");
    if (!tif) throw UserError(std::string("not a TIFF file zar can read: ") + tMessage);
    TiffCloser closer{tif};
    const Shape s = shapeOf(tif);
    const int32_t depth = directDepth(s);
    if (depth == 0) {
        if (s.bits > 8)
            throw UserError("this kind of TIFF (" + std::to_string(s.bits) +
                            "-bit samples) is not supported");
        return readThroughRgba(tif, s);
    }
    OwnedImage image = newImage(s.samples, depth, static_cast<int32_t>(s.width),
                                static_cast<int32_t>(s.height));
    if (!readDirect(tif, s, image.get()))
        throw UserError(std::string("damaged TIFF file: ") + tMessage);
    if (s.photometric == PHOTOMETRIC_MINISWHITE) invertGray(image.get());
    if (s.samples >= 3)
        for (int32_t y = 0; y < image->height; ++y)
            swapRedBlue(rowOf(image.get(), y), s.width, s.samples, bytesPerSample(depth));
    return image;
}

void writeTiff(const ImageHeader* image, FILE* out) {
    Stream stream{nullptr, 0, 0, out};
    TIFF* tif = openStream(&stream, "w");
    if (!tif) throw UserError(std::string("cannot write the TIFF: ") + tMessage);
    TiffCloser closer{tif};
    const int32_t channels = image->nChannels;
    const uint16_t bits = static_cast<uint16_t>(8 * bytesPerSample(image->depth));
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image->width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image->height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(channels));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT,
                 image->depth == ZAR_DEPTH_32F   ? SAMPLEFORMAT_IEEEFP
                 : image->depth == ZAR_DEPTH_32S ? SAMPLEFORMAT_INT
                                                 : SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (hasAlpha(image)) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    std::vector<unsigned char> row(rowBytes(image));
    for (int32_t y = 0; y < image->height; ++y) {
        std::memcpy(row.data(), pictureRow(image, y), row.size());
        if (channels >= 3) swapRedBlue(row.data(), image->width, channels, bits / 8);
        if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0)
            throw UserError(std::string("cannot write the TIFF: ") + tMessage);
    }
    if (!TIFFFlush(tif)) throw UserError(std::string("cannot write the TIFF: ") + tMessage);
}

std::string tiffVersion() {
    std::string text = TIFFGetVersion();  // "LIBTIFF, Version 4.5.0\n..."
    text = text.substr(0, text.find('\n'));
    size_t number = text.find_first_of("0123456789");
    return "libtiff " + (number == std::string::npos ? text : text.substr(number));
}

}  // namespace tool
