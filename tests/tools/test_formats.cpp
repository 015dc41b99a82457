// Every format in and out of the tool, compared with what the format's own
// library decodes (libpng, libjpeg, libtiff; the zar library for bitmaps;
// netpbm by hand) and with files other programs wrote.
#include <cmath>
#include <fstream>

#include "tool_test.h"

namespace tt {
namespace {

struct FormatCase {
    const char* ext;
    int c, bits;
};

const FormatCase kFormats[] = {
    {"png", 1, 8},   {"png", 2, 8},  {"png", 3, 8},  {"png", 4, 8},   {"png", 1, 16},
    {"png", 2, 16},  {"png", 3, 16}, {"png", 4, 16}, {"jpg", 1, 8},   {"jpg", 3, 8},
    {"tif", 1, 8},   {"tif", 2, 8},  {"tif", 3, 8},  {"tif", 4, 8},   {"tif", 1, 16},
    {"tif", 4, 16},  {"tif", 1, 32}, {"tif", 3, 32}, {"tif", 1, -32}, {"tif", 4, -32},
    {"pgm", 1, 8},   {"pgm", 1, 16}, {"ppm", 3, 8},  {"ppm", 3, 16},  {"pfm", 1, -32},
    {"pfm", 3, -32}, {"bmp", 1, 8},  {"bmp", 3, 8},
};

Pixels readAs(const std::string& ext, const std::string& file) {
    if (ext == "png") return readPng(file);
    if (ext == "jpg") return readJpeg(file);
    if (ext == "tif") return readTiff(file);
    return readBitmap(slurp(file));
}

// The same bitmap with an info header of size bytes: BI_BITFIELDS masks stay at
// header bytes 40 to 51 (or right behind a 40-byte header); the rest is zeros.
std::string withHeader(std::string b, uint32_t size) {
    auto get = [&](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
        return v;
    };
    auto set = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> 8 * i);
    };
    const size_t before = b.size(), keep = 54 + (get(30) == 3 ? 12 : 0);
    b.erase(keep, std::max(keep, size_t{14} + get(14)) - keep);
    b.insert(keep, std::max<long>(0, 14 + long{size} - long(keep)), '\0');
    set(14, size);
    set(10, get(10) + static_cast<uint32_t>(b.size() - before));
    set(2, static_cast<uint32_t>(b.size()));
    return b;
}

}  // namespace

class FormatTest : public ToolTest {};

// The tool writes each format (checked by the format's library) and reads it
// back (checked against the same library's decoding); TIFF carries the pixels.
TEST_F(FormatTest, EveryFormatAndDepthGoesOutAndComesBack) {
    unsigned seed = 1;
    for (const FormatCase& f : kFormats) {
        const std::string ext = f.ext, out = path("out." + ext), back = path("back.tif");
        const std::string label = ext + " " + std::to_string(f.c) + "x" + std::to_string(f.bits);
        const Pixels src = pattern(23, 17, f.c, f.bits, ++seed, ext == "jpg");
        writeTiff(src, path("src.tif"));
        ToolRun r = run("convert " + path("src.tif") + " " + out);
        ASSERT_EQ(r.status, 0) << label << ": " << r.err;
        // Netpbm has no library: its files are checked on the way back.
        const bool own = ext == "pgm" || ext == "ppm" || ext == "pfm";
        const Pixels written = own ? src : readAs(ext, out);
        if (ext == "jpg") {  // lossy: close to the source
            double sum = 0;
            for (size_t i = 0; i < src.v.size(); ++i) sum += std::abs(src.v[i] - written.v[i]);
            EXPECT_LT(sum / src.v.size(), 2) << label;
        } else {
            EXPECT_EQ(written, src) << label;
        }
        r = run("convert " + out + " " + back);
        ASSERT_EQ(r.status, 0) << label << ": " << r.err;
        EXPECT_EQ(readTiff(back), written) << label;
    }
}

// Files other programs wrote, against the pixels ImageMagick decodes from them
// (16 bits a sample, RGBA): its default bitmaps (124-byte headers), a palette
// PNG, 16-bit PNGs, netpbm files (ASCII and binary), tiled, planar and
// white-is-zero TIFFs.
TEST_F(FormatTest, FilesOfOtherProgramsReadAsImageMagickDecodesThem) {
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

// Bitmaps with every info header size the tool takes: 40, 52, 56, 108, 124 bytes.
TEST_F(FormatTest, EveryBitmapHeaderReadsAsTheLibraryTranslatesIt) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ZAR_TEST_DATA)) {
        if (entry.path().extension() != ".bmp") continue;
        const std::string original = slurp(entry.path().string());
        const Pixels expected = readBitmap(original);  // none: the library refuses it
        for (uint32_t size : {40u, 52u, 56u, 108u, 124u}) {
            std::ofstream(path("in.bmp"), std::ios::binary) << withHeader(original, size);
            ToolRun r = run("convert " + path("in.bmp") + " " + path("out.tif"));
            ASSERT_EQ(r.status, expected.v.empty() ? 1 : 0) << entry.path() << size << r.err;
            if (r.status == 0) {
                EXPECT_EQ(readTiff(path("out.tif")), expected) << entry.path() << size;
            }
        }
        ++files;
    }
    EXPECT_GE(files, 20);
}

}  // namespace tt
