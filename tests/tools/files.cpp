// Pictures read and written by the format libraries, independently of the tool.
#include <png.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
// jpeglib.h needs FILE declared first.
#include <jpeglib.h>

#include "support/zar_test.h"
#include "tool_test.h"

namespace tt {

void ToolTest::SetUp() {
    dir_ = std::filesystem::temp_directory_path() /
           ("zar-tool-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
}

ToolRun ToolTest::run(const std::string& args) const {
    const std::string out = path("stdout.txt"), err = path("stderr.txt");
    const std::string line = std::string(ZAR_TOOL_PATH) + " " + args + " >" + out + " 2>" + err;
    const int raw = std::system((line + " </dev/null").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(err), slurp(out)};
}

std::string slurp(const std::string& file) {
    std::stringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

Pixels pattern(int w, int h, int c, int bits, unsigned seed, bool smooth) {
    Pixels p{w, h, c, bits, {}};
    std::mt19937 random(seed);
    const long top = bits == 8 ? 255 : bits == 16 ? 65535 : 2000000000;
    for (int i = 0; i < w * h * c; ++i) {
        if (smooth)  // x + y + 40 per channel
            p.v.push_back(i / c % w + i / c / w + i % c * 40);
        else if (bits == -32)
            p.v.push_back(static_cast<float>(std::uniform_real_distribution<>(-4, 4)(random)));
        else
            p.v.push_back(std::uniform_int_distribution<long>(bits == 32 ? -top : 0, top)(random));
    }
    return p;
}

Pixels readPng(const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return {};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_read_png(png, info, PNG_TRANSFORM_EXPAND, nullptr);
    Pixels p{static_cast<int>(png_get_image_width(png, info)),
             static_cast<int>(png_get_image_height(png, info)),
             png_get_channels(png, info),
             png_get_bit_depth(png, info),
             {}};
    png_bytepp rows = png_get_rows(png, info);
    for (int i = 0; i < p.w * p.h * p.c; ++i) {
        png_bytep row = rows[i / (p.w * p.c)];
        const int at = i % (p.w * p.c);
        p.v.push_back(p.bits == 16 ? row[2 * at] << 8 | row[2 * at + 1] : row[at]);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return p;
}

Pixels readJpeg(const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return {};
    jpeg_decompress_struct d;
    jpeg_error_mgr error;
    d.err = jpeg_std_error(&error);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    Pixels p{int(d.output_width), int(d.output_height), d.output_components, 8, {}};
    std::vector<JSAMPLE> row(static_cast<size_t>(p.w) * p.c);
    for (JSAMPROW r = row.data(); d.output_scanline < d.output_height;) {
        jpeg_read_scanlines(&d, &r, 1);
        p.v.insert(p.v.end(), row.begin(), row.end());
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    return p;
}

namespace {
// A row of TIFF samples as the library's test support reads and writes samples.
zt::Layout tiffRow(std::vector<unsigned char>& row, int bits) {
    const int32_t depth = bits == 8    ? ZAR_DEPTH_8U
                          : bits == 16 ? ZAR_DEPTH_16U
                          : bits == 32 ? ZAR_DEPTH_32S
                                       : ZAR_DEPTH_32F;
    return {reinterpret_cast<char*>(row.data()), 0, 1, 1, depth, ZAR_DATA_ORDER_PIXEL};
}
}  // namespace

Pixels readTiff(const std::string& file) {
    TIFF* t = TIFFOpen(file.c_str(), "r");
    if (!t) return {};
    uint32_t w = 0, h = 0;
    uint16_t c = 1, bits = 8, format = SAMPLEFORMAT_UINT;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &c);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    Pixels p{int(w), int(h), c, format == SAMPLEFORMAT_IEEEFP ? -32 : bits, {}};
    std::vector<unsigned char> row(TIFFScanlineSize(t));
    for (uint32_t y = 0; y < h; ++y) {
        TIFFReadScanline(t, row.data(), y, 0);
        for (uint32_t i = 0; i < w * c; ++i)
            p.v.push_back(zt::getSample(tiffRow(row, p.bits), i, 0, 0));
    }
    TIFFClose(t);
    return p;
}

void writeTiff(const Pixels& p, const std::string& file) {
    TIFF* t = TIFFOpen(file.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.h);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, p.c);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, std::abs(p.bits));
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT,
                 p.bits == -32  ? SAMPLEFORMAT_IEEEFP
                 : p.bits == 32 ? SAMPLEFORMAT_INT
                                : 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, p.c >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
    if (p.c == 2 || p.c == 4) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &alpha);
    const size_t n = static_cast<size_t>(p.w) * p.c;
    std::vector<unsigned char> row(n * std::abs(p.bits) / 8);
    for (int y = 0; y < p.h; ++y) {
        for (size_t i = 0; i < n; ++i)
            zt::setSample(tiffRow(row, p.bits), int32_t(i), 0, 0, p.v[y * n + i]);
        TIFFWriteScanline(t, row.data(), y, 0);
    }
    TIFFClose(t);
}

Pixels readBitmap(const std::string& bytes) {
    zt::ErrorRecorder errors;
    int32_t clone = 0;
    ImageHeader* image = zarTranslateDIBBlock(bytes.data(), bytes.size(), &clone);
    if (image && !errors.reports().empty())
        zarDeallocate(image, clone ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
    if (!image || !errors.reports().empty()) return {};
    Pixels p{image->width, image->height, image->nChannels, 8, {}};
    const int scale = image->depth == ZAR_DEPTH_1U ? 255 : 1;
    for (int i = 0; i < p.w * p.h * p.c; ++i) {
        const int x = i / p.c % p.w, y = i / p.c / p.w, ch = i % p.c;
        const int row = image->origin == ZAR_ORIGIN_BL ? p.h - 1 - y : y;
        p.v.push_back(scale * zt::getSample(image, x, row, p.c >= 3 && ch < 3 ? 2 - ch : ch));
    }
    zarDeallocate(image, clone ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
    bool unused = p.c == 4;  // an alpha byte 0 everywhere is no alpha: the tool reads it opaque
    for (size_t i = 3; unused && i < p.v.size(); i += 4) unused = p.v[i] == 0;
    for (size_t i = 3; unused && i < p.v.size(); i += 4) p.v[i] = 255;
    return p;
}

}  // namespace tt
