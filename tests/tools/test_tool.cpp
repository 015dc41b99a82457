// The zar command as a user runs it: every format in and out (checked with the format's own
// library: libpng, libjpeg, libtiff; the zar library for bitmaps; netpbm on the way back), files
// other programs wrote, each operation against the library's own result (or the rule), and one
// table of command lines with their exit status and what they say.  The tool runs in a scratch
// folder; pictures are read (and, for TIFF, written) by the format libraries themselves.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>
// jpeglib.h needs FILE declared first.
#include <jpeglib.h>

#include "support/zar_test.h"

namespace tt {
namespace {

struct ToolRun {
    int status;
    std::string err, out;
};

std::string slurp(const std::string& file) {
    std::stringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("zar-tool-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // `zar ARGS`, output captured.
    ToolRun run(const std::string& args) const {
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const std::string line = std::string(ZAR_TOOL_PATH) + " " + args + " >" + out + " 2>" + err;
        const int raw = std::system((line + " </dev/null").c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(err), slurp(out)};
    }
    std::filesystem::path dir_;
};

// A picture in the file's own channel order: gray[, alpha] or red, green, blue[, alpha].
struct Pixels {
    int w = 0, h = 0, c = 0;
    int bits = 8;           // 8, 16, 32 (signed integers) or -32 (floats)
    std::vector<double> v;  // top line first
    double& at(int x, int y, int ch) { return v[(static_cast<size_t>(y) * w + x) * c + ch]; }
    bool operator==(const Pixels& o) const { return w == o.w && h == o.h && c == o.c && v == o.v; }
};

// Deterministic pixels over the depth's range; smooth ones suit JPEG.
Pixels pattern(int w, int h, int c, int bits, unsigned seed, bool smooth = false) {
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
    Pixels p{int(png_get_image_width(png, info)),
             int(png_get_image_height(png, info)),
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

// A row of TIFF samples as the library's test support reads and writes samples.
zt::Layout tiffRow(std::vector<unsigned char>& row, int bits) {
    const int32_t depth = bits == 8    ? ZAR_DEPTH_8U
                          : bits == 16 ? ZAR_DEPTH_16U
                          : bits == 32 ? ZAR_DEPTH_32S
                                       : ZAR_DEPTH_32F;
    return {reinterpret_cast<char*>(row.data()), 0, 1, 1, depth, ZAR_DATA_ORDER_PIXEL};
}

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

// A bitmap as the library translates it (1-bit as 0/255).
Pixels readBitmap(const std::string& bytes) {
    zt::ErrorRecorder errors;
    int32_t clone = 0;
    ImageHeader* image = zarTranslateDIBBlock(bytes.data(), bytes.size(), &clone);
    Pixels p;
    if (image && errors.reports().empty())
        p = {image->width, image->height, image->nChannels, 8, {}};
    const int scale = p.c && image->depth == ZAR_DEPTH_1U ? 255 : 1;
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

// ------------------------------------------------------------ formats

// The tool writes each format (checked by the format's library) and reads it back (checked
// against the same library's decoding); TIFF carries the pixels.
TEST_F(ToolTest, EveryFormatAndDepthGoesOutAndComesBack) {
    const struct {
        const char* ext;
        int c, bits;
    } formats[] = {
        {"png", 1, 8},   {"png", 2, 8},  {"png", 3, 8},  {"png", 4, 8},   {"png", 1, 16},
        {"png", 2, 16},  {"png", 3, 16}, {"png", 4, 16}, {"jpg", 1, 8},   {"jpg", 3, 8},
        {"tif", 1, 8},   {"tif", 2, 8},  {"tif", 3, 8},  {"tif", 4, 8},   {"tif", 1, 16},
        {"tif", 4, 16},  {"tif", 1, 32}, {"tif", 3, 32}, {"tif", 1, -32}, {"tif", 4, -32},
        {"pgm", 1, 8},   {"pgm", 1, 16}, {"ppm", 3, 8},  {"ppm", 3, 16},  {"pfm", 1, -32},
        {"pfm", 3, -32}, {"bmp", 1, 8},  {"bmp", 3, 8},
    };
    unsigned seed = 1;
    for (const auto& f : formats) {
        const std::string ext = f.ext, out = path("out." + ext), back = path("back.tif");
        const std::string label = ext + " " + std::to_string(f.c) + "x" + std::to_string(f.bits);
        const Pixels src = pattern(23, 17, f.c, f.bits, ++seed, ext == "jpg");
        writeTiff(src, path("src.tif"));
        ToolRun r = run("convert " + path("src.tif") + " " + out);
        ASSERT_EQ(r.status, 0) << label << ": " << r.err;
        // Netpbm has no library: its files are checked on the way back.
        const Pixels written = ext == "png"   ? readPng(out)
                               : ext == "jpg" ? readJpeg(out)
                               : ext == "tif" ? readTiff(out)
                               : ext == "bmp" ? readBitmap(slurp(out))
                                              : src;
        double sum = 0;  // JPEG is lossy: close to the source
        for (size_t i = 0; ext == "jpg" && i < src.v.size(); ++i)
            sum += std::abs(src.v[i] - written.v[i]);
        EXPECT_TRUE(ext == "jpg" ? sum < 2.0 * src.v.size() : written == src) << label;
        r = run("convert " + out + " " + back);
        ASSERT_EQ(r.status, 0) << label << ": " << r.err;
        EXPECT_EQ(readTiff(back), written) << label;
    }
}

// Files other programs wrote, against the pixels ImageMagick decodes from them (16 bits a
// sample, RGBA): its default bitmaps (124-byte headers), a palette PNG, 16-bit PNGs, netpbm
// files (ASCII and binary), tiled, planar and white-is-zero TIFFs.
TEST_F(ToolTest, FilesOfOtherProgramsReadAsImageMagickDecodesThem) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ZAR_TOOL_DATA)) {
        const std::filesystem::path file = entry.path();
        if (file.extension() == ".rgba" || file.extension() == ".sh") continue;
        ToolRun r = run("convert " + file.string() + " " + path("out.tif"));
        ASSERT_EQ(r.status, 0) << file << ": " << r.err;
        const Pixels actual = readTiff(path("out.tif"));
        const std::string rgba = slurp(file.parent_path() / file.stem() += ".rgba");
        Pixels expected{actual.w, actual.h, actual.c, actual.bits, {}};
        for (size_t i = 0; i < rgba.size(); i += 2) {
            const size_t ch = i / 2 % 4;  // gray is red; alpha is the fourth
            if (!(ch == 0 || (ch < 3 && actual.c >= 3) || (ch == 3 && actual.c % 2 == 0))) continue;
            const int v = static_cast<unsigned char>(rgba[i]) << 8 |
                          static_cast<unsigned char>(rgba[i + 1]);
            expected.v.push_back(actual.bits == 8 ? v / 257 : v);
        }
        EXPECT_EQ(actual, expected) << file;
        ++files;
    }
    EXPECT_EQ(files, 14);
}

// Bitmaps with every info header size the tool takes (40, 52, 56, 108, 124 bytes) read as the
// library translates them: BI_BITFIELDS masks stay at header bytes 40 to 51 (or right behind
// a 40-byte header); the rest of a larger header is zeros.
TEST_F(ToolTest, EveryBitmapHeaderReadsAsTheLibraryTranslatesIt) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ZAR_TEST_DATA)) {
        if (entry.path().extension() != ".bmp") continue;
        const std::string original = slurp(entry.path().string());
        const Pixels expected = readBitmap(original);  // none: the library refuses it
        auto get = [&](size_t at) {
            uint32_t v = 0;
            for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(original[at + i]);
            return v;
        };
        for (uint32_t size : {40u, 52u, 56u, 108u, 124u}) {
            std::string b = original;
            auto set = [&](size_t at, uint32_t v) {
                for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> 8 * i);
            };
            const size_t keep = 54 + (get(30) == 3 ? 12 : 0);
            b.erase(keep, std::max(keep, size_t{14} + get(14)) - keep);
            b.insert(keep, std::max<long>(0, 14 + long{size} - long(keep)), '\0');
            set(14, size);
            set(10, get(10) + static_cast<uint32_t>(b.size() - original.size()));
            set(2, static_cast<uint32_t>(b.size()));
            std::ofstream(path("in.bmp"), std::ios::binary) << b;
            ToolRun r = run("convert " + path("in.bmp") + " " + path("out.tif"));
            ASSERT_EQ(r.status, expected.v.empty() ? 1 : 0) << entry.path() << size << r.err;
            EXPECT_TRUE(r.status || readTiff(path("out.tif")) == expected) << entry.path() << size;
        }
        ++files;
    }
    EXPECT_GE(files, 20);
}

// ------------------------------------------------------------ operations

zt::Image toImage(const Pixels& p) {
    zt::Image image(p.c, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, p.w, p.h);
    for (int i = 0; i < p.w * p.h * p.c; ++i)
        zt::setSample(image, i / p.c % p.w, i / p.c / p.w, i % p.c, p.v[i]);
    return image;
}

// The library's result of an operation into a destination of w x h (0: the source's size and
// pixels), with the source's borders set to mode.
Pixels library(const Pixels& src, int w, int h, int mode,
               const std::function<void(ImageHeader*, ImageHeader*)>& call) {
    zt::Image s = toImage(src), d = w ? zt::Image(src.c, 0, ZAR_DEPTH_8U, 0, w, h) : toImage(src);
    std::fill_n(s->borderModes, 4, mode);
    call(s, d);
    Pixels p{d->width, d->height, d->nChannels, 8, {}};
    for (int i = 0; i < p.w * p.h * p.c; ++i)
        p.v.push_back(zt::getSample(d, i / p.c % p.w, i / p.c / p.w, i % p.c));
    return p;
}

Pixels halfSuper(Pixels s) {
    return library(s, s.w / 2, s.h / 2, 0,
                   [](auto a, auto b) { zarResize(a, b, 1, 2, 1, 2, ZAR_INTER_SUPER); });
}
Pixels blurred(Pixels s) {
    return library(s, 0, 0, 1, [](auto a, auto b) { zarBlur(a, b, 5, 3, 2, 1); });
}
Pixels dilated(Pixels s) {
    Roi roi{0, 4, 3, 10, 9};
    return library(s, 0, 0, 2, [&](auto a, auto b) {
        a->roi = b->roi = &roi;
        zarDilate(a, b, 2);
        a->roi = b->roi = nullptr;
    });
}
// Green saturated in the roi.
Pixels greenSet(Pixels s) {
    for (int i = 0; i < 16; ++i) s.at(i % 4 + 1, i / 4 + 1, 1) = 255;
    return s;
}
// Clockwise about the centre pixel (4, 4).
Pixels rotated(Pixels s) {
    Pixels out = s;
    for (int i = 0; i < 81; ++i) out.at(i % 9, i / 9, 0) = s.at(i / 9, 8 - i % 9, 0);
    return out;
}

// ------------------------------------------------------------ command lines

// Each command line on a fresh in.tif (w x h, c channels): its exit status and what it says.
// Mistakes are one line in the user's words on standard error and leave no output; help and
// the version go to standard output; an operation writes the library's result (or the rule's).
TEST_F(ToolTest, EachCommandLineGivesItsStatusAndSaysWhatItShould) {
    writeTiff(pattern(8, 8, 1, -32, 2), path("f.tif"));
    std::ofstream(path("bad.png")) << "\x89PNG\r\n\x1a\n broken";
    const std::string in = path("in.tif") + " ", out = path("out.png"), tif = path("out.tif");
    const struct {
        std::string args;
        int status;
        std::vector<const char*> says;
        Pixels (*expected)(Pixels src) = nullptr;  // of out.tif
        int c = 1, w = 64, h = 48;
    } lines[] = {
        {"blur --size 5x3 --border replicate " + in + tif, 0, {}, blurred, 1, 37, 23},
        {"dilate --iterations 2 --roi 4,3,10,9 --border reflect " + in + tif,
         0,
         {},
         dilated,
         3,
         30,
         20},
        {"resize --scale 50% --interp super " + in + tif, 0, {}, halfSuper, 3, 40, 30},
        {"decimate --scale 0.5 --interp super " + in + tif, 0, {}, halfSuper, 3, 40, 30},
        {"set --value 300 --roi 1,1,4,4 --coi 2 " + in + tif, 0, {}, greenSet, 3, 16, 12},
        {"remap --rotate 90 --interp nn " + in + tif, 0, {}, rotated, 1, 9, 9},
        {"resize --scale 3 --interp super " + in + out,
         1,
         {"super-sampling only shrinks: --scale must be at most 1"}},
        {"blur --interp cubic " + in + out, 2, {"blur does not use --interp"}},
        {"blur --roi 800,400,100,100 " + in + out, 1, {"--roi 800,400,100,100 lies outside"}},
        {"blur --size 3x3 --anchor 5,5 " + in + out, 1, {"--anchor must lie inside"}},
        {"dilate " + path("f.tif") + " " + out, 1, {"8- and 16-bit images, not 32-bit float"}},
        {"resize --scale 2x " + in + out, 2, {"bad --scale '2x'"}},
        {"blur " + path("missing.pgm") + " " + out, 1, {"cannot open"}},
        {"blur " + path("bad.png") + " " + out, 1, {"bad.png: not a PNG file"}},
        {"convert " + in + path("out.xyz"), 2, {"unknown output format"}},
        {"", 2, {}},
        {"--version", 0, {"zar 0."}},
        {"blur --help", 0, {"default 3x3", "replicate", "reflect", "wrap", "rows from the top"}},
        {"filter --help",
         0,
         {"sobel-x     3x3  1 0 -1 / 2 0 -2 / 1 0 -1", "divided by 571", "sharpen-3"}},
        {"resize --help", 0, {"super", "cubic", "(the default)", "50%"}},
        {"remap --help", 0, {"clockwise", "((width-1)/2, (height-1)/2)", "--xmap"}},
    };
    unsigned seed = 0;
    for (const auto& l : lines) {
        const Pixels src = pattern(l.w, l.h, l.c, 8, ++seed);
        writeTiff(src, path("in.tif"));
        ToolRun r = run(l.args);
        EXPECT_EQ(r.status, l.status) << l.args << ": " << r.err;
        if (l.expected) {
            EXPECT_EQ(readTiff(tif), l.expected(src)) << l.args;
        }
        const std::string& said = l.status ? r.err : r.out;
        for (const char* phrase : l.says)
            EXPECT_NE(said.find(phrase), std::string::npos) << l.args << ": " << said;
        if (l.status == 0 || l.says.empty()) continue;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << l.args << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << l.args;
    }
}

TEST_F(ToolTest, ManyFilesAtOnceWriteEveryGoodOneAndNameTheBadOne) {
    std::string inputs;
    for (int i = 0; i < 20; ++i) {
        const std::string file = path("in" + std::to_string(i) + (i == 7 ? ".png" : ".tif"));
        if (i == 7) std::ofstream(file) << "\x89PNG\r\n\x1a\n this file is damaged";
        if (i != 7) writeTiff(pattern(31, 17, 1, 8, i), file);
        inputs += file + " ";
    }
    ToolRun r = run("blur --size 5x5 " + inputs + "-o " + path("out") + " --format png");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("in7.png"), std::string::npos) << r.err;
    int written = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path("out")))
        written += readPng(entry.path().string()).w == 31;
    EXPECT_EQ(written, 19);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 20) << r.out;  // 19 files, a total
}

TEST_F(ToolTest, DemoWritesTheGallery) {
    ToolRun r = run("demo " + path("demo") + " --runs 1");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* file : {"index.html", "blur-5x5.png", "blur-5x5-detail.png"})
        EXPECT_TRUE(std::filesystem::exists(path(std::string("demo/") + file))) << file;
    EXPECT_EQ(readPng(path("demo/photo.png")).w, 451);
}

}  // namespace
}  // namespace tt
