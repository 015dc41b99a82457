// Runs the zar command as a subprocess and compares its output files with the
// library's result for the same call made in this process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/zar_test.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status;
    std::string err, out;
};

class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zar-tool-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    // Writes src as in.EXT, runs `zar ARGS in.EXT out.EXT` and reads the output.
    zt::Image runOn(const ImageHeader* src, const std::string& args) const;

    ToolRun run(const std::string& args) const {
        std::string out = path("stdout.txt"), err = path("stderr.txt");
        std::string command = std::string(ZAR_TOOL_PATH) + " " + args + " >" + out + " 2>" + err;
        int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(err), slurp(out)};
    }

    static std::string slurp(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
};

// Writes a binary PGM (1 channel) or PPM (3 channels, stored red first) of an 8U
// pixel-ordered image whose channels are blue, green, red.
void writeNetpbm(const ImageHeader* image, const std::string& file) {
    std::ofstream out(file, std::ios::binary);
    bool colour = image->nChannels == 3;
    out << (colour ? "P6\n" : "P5\n") << image->width << " " << image->height << "\n255\n";
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            for (int c = 0; c < image->nChannels; ++c)
                out.put(static_cast<char>(zt::getSample(image, x, y, colour ? 2 - c : c)));
}

// Reads a binary PGM/PPM written by the tool into a new 8U image.
zt::Image readNetpbm(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxValue = 0;
    in >> magic >> w >> h >> maxValue;
    in.get();
    EXPECT_EQ(maxValue, 255);
    int channels = magic == "P6" ? 3 : 1;
    zt::Image image(channels, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                zt::setSample(image, x, y, channels == 3 ? 2 - c : c,
                              static_cast<unsigned char>(in.get()));
    EXPECT_TRUE(in.good()) << file << " is short";
    return image;
}

void expectSamePixels(const ImageHeader* expected, const ImageHeader* actual) {
    ASSERT_EQ(expected->width, actual->width);
    ASSERT_EQ(expected->height, actual->height);
    ASSERT_EQ(expected->nChannels, actual->nChannels);
    int mismatches = 0;
    for (int c = 0; c < expected->nChannels; ++c)
        for (int y = 0; y < expected->height; ++y)
            for (int x = 0; x < expected->width; ++x)
                if (zt::getSample(expected, x, y, c) != zt::getSample(actual, x, y, c) &&
                    ++mismatches < 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c
                                  << ": expected " << zt::getSample(expected, x, y, c) << ", got "
                                  << zt::getSample(actual, x, y, c);
    EXPECT_EQ(mismatches, 0);
}

zt::Image picture(int channels, int w, int h, uint32_t seed) {
    zt::Image image(channels, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, w, h);
    image.randomize(seed);
    return image;
}

zt::Image copyOf(const zt::Image& source) {
    zt::Image copy(source->nChannels, 0, source->depth, ZAR_DATA_ORDER_PIXEL, source->width,
                   source->height);
    std::memcpy(copy->imageData, source->imageData, static_cast<size_t>(source->imageSize));
    return copy;
}

void setBorders(ImageHeader* image, int mode) {
    for (int i = 0; i < 4; ++i) image->borderModes[i] = mode;
}

}  // namespace

zt::Image ToolTest::runOn(const ImageHeader* src, const std::string& args) const {
    const std::string ext = src->nChannels == 3 ? ".ppm" : ".pgm";
    writeNetpbm(src, path("in" + ext));
    ToolRun r = run(args + " " + path("in" + ext) + " " + path("out" + ext));
    EXPECT_EQ(r.status, 0) << args << ": " << r.err;
    return readNetpbm(path("out" + ext));
}

TEST_F(ToolTest, BlurMatchesTheLibrary) {
    zt::Image src = picture(1, 37, 23, 1);
    zt::Image actual = runOn(src, "blur --size 5x3 --border replicate");

    zt::Image expected = copyOf(src);
    setBorders(src, ZAR_BORDER_REPLICATE);
    zarBlur(src, expected, 5, 3, 2, 1);
    expectSamePixels(expected, actual);
}

TEST_F(ToolTest, FixedFilterOnAColourImageMatchesTheLibrary) {
    zt::Image src = picture(3, 20, 17, 2);
    zt::Image actual = runOn(src, "filter --kernel sobel-x --border reflect");

    zt::Image expected = copyOf(src);
    setBorders(src, ZAR_BORDER_REFLECT);
    zarFixedFilter(src, expected, ZAR_FIXED_SOBEL_X);
    expectSamePixels(expected, actual);
}

TEST_F(ToolTest, MorphologyWithARegionChangesOnlyTheRegion) {
    zt::Image src = picture(1, 30, 20, 3);
    zt::Image actual = runOn(src, "dilate --iterations 2 --roi 4,3,10,9");

    zt::Image expected = copyOf(src);
    src.setRoi(0, 4, 3, 10, 9);
    expected.setRoi(0, 4, 3, 10, 9);
    zarDilate(src, expected, 2);
    expectSamePixels(expected, actual);
}

TEST_F(ToolTest, ResizeAndDecimateMatchTheLibrary) {
    zt::Image src = picture(1, 40, 30, 4);
    zt::Image half(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 20, 15);
    zarResize(src, half, 1, 2, 1, 2, ZAR_INTER_SUPER);
    expectSamePixels(half, runOn(src, "resize --scale 1/2 --interp super"));

    zt::Image big(1, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 60, 45);
    zarZoom(src, big, 60, 40, 45, 30, ZAR_INTER_CUBIC);
    expectSamePixels(big, runOn(src, "zoom --size 60x45 --interp cubic"));
}

TEST_F(ToolTest, AddCopyAndSetMatchTheLibrary) {
    zt::Image a = picture(3, 16, 12, 5), b = picture(3, 16, 12, 6);
    writeNetpbm(a, path("a.ppm"));
    writeNetpbm(b, path("b.ppm"));
    ToolRun r = run("add " + path("a.ppm") + " " + path("b.ppm") + " " + path("sum.ppm"));
    ASSERT_EQ(r.status, 0) << r.err;
    zt::Image sum = copyOf(a);
    zarAdd(a, b, sum);
    expectSamePixels(sum, readNetpbm(path("sum.ppm")));

    zt::Image crop(3, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, 8, 5);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 8; ++x)
                zt::setSample(crop, x, y, c, zt::getSample(a, x + 3, y + 2, c));
    expectSamePixels(crop, runOn(a, "copy --roi 3,2,8,5"));

    zt::Image set = copyOf(a);
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 5; ++x) zt::setSample(set, x, y, 1, 255);  // saturated
    expectSamePixels(set, runOn(a, "set --value 300 --roi 1,1,4,4 --coi 2"));
}

TEST_F(ToolTest, BitmapRoundTripKeepsThePixels) {
    zt::Image src = picture(3, 13, 7, 7);
    writeNetpbm(src, path("in.ppm"));
    ASSERT_EQ(run("convert " + path("in.ppm") + " " + path("mid.bmp")).status, 0);
    ASSERT_EQ(run("convert " + path("mid.bmp") + " " + path("out.ppm")).status, 0);
    expectSamePixels(src, readNetpbm(path("out.ppm")));

    ToolRun info = run("info " + path("mid.bmp"));
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("13 x 7"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("bottom-left"), std::string::npos) << info.out;
}

TEST_F(ToolTest, UserMistakesExitWithTwoAndOneLineAndNoOutput) {
    zt::Image src = picture(1, 8, 8, 8);
    writeNetpbm(src, path("in.pgm"));
    ASSERT_EQ(run("convert " + path("in.pgm") + " " + path("good.bmp")).status, 0);
    {  // a truncated bitmap
        std::string bytes = slurp(path("good.bmp"));
        std::ofstream(path("cut.bmp"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    const std::vector<std::string> mistakes = {
        "blur " + path("cut.bmp") + " " + path("out.bmp"),
        "blur --bogus 1 " + path("in.pgm") + " " + path("out.bmp"),
        "blur " + path("missing.pgm") + " " + path("out.bmp"),
        "blur --roi 1,2,x,4 " + path("in.pgm") + " " + path("out.bmp"),
        "blur --size 3x3 --anchor 5,5 " + path("in.pgm") + " " + path("out.bmp"),
        "filter --kernel nope " + path("in.pgm") + " " + path("out.bmp"),
        "explode " + path("in.pgm") + " " + path("out.bmp"),
        "convert " + path("in.pgm") + " " + path("out.xyz"),
    };
    for (const std::string& args : mistakes) {
        ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_FALSE(r.err.empty()) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_FALSE(fs::exists(path("out.bmp"))) << args;
        EXPECT_FALSE(fs::exists(path("out.xyz"))) << args;
    }
}

TEST_F(ToolTest, HelpExplainsEveryOperation) {
    for (const char* op : {"blur", "filter", "dilate", "erode", "resize", "zoom", "decimate",
                           "remap", "add", "copy", "set", "convert"}) {
        ToolRun r = run(std::string(op) + " --help");
        EXPECT_EQ(r.status, 0) << op;
        EXPECT_NE(r.out.find("example: zar"), std::string::npos) << op;
    }
    EXPECT_EQ(run("--help").status, 0);
    EXPECT_EQ(run("").status, 2);
}

TEST_F(ToolTest, DemoWritesTheGallery) {
    ToolRun r = run("demo " + path("demo"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("demo/index.html")));
    EXPECT_TRUE(fs::exists(path("demo/blur-5x5.bmp")));
    EXPECT_TRUE(fs::exists(path("demo/remap-rotate-30.bmp")));
    EXPECT_NE(r.out.find("zoom"), std::string::npos);
}

namespace {

// The picture a translated bitmap shows, top line first, as 8-bit values
// (1-bit pixels as 0/255), without an alpha channel.
std::vector<int> translatedPixels(const std::string& file, int* width, int* height, int* channels) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    int32_t cloneData = 0;
    zarSetStatus(STATUS_OK);
    ImageHeader* image = zarTranslateDIBBlock(bytes.data(), bytes.size(), &cloneData);
    std::vector<int> pixels;
    if (image && zarGetStatus() < 0)
        zarDeallocate(image, cloneData ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
    if (!image || zarGetStatus() < 0) return pixels;
    *width = image->width;
    *height = image->height;
    *channels = image->nChannels - (image->alphaChannel ? 1 : 0);
    const int scale = image->depth == ZAR_DEPTH_1U ? 255 : 1;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x)
            for (int c = 0; c < *channels; ++c) {
                int row = image->origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y;
                pixels.push_back(static_cast<int>(zt::getSample(image, x, row, c)) * scale);
            }
    zarDeallocate(image, cloneData ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
    return pixels;
}

}  // namespace

TEST_F(ToolTest, ReadsEverySampleBitmapAsTheLibraryTranslatesIt) {
    zt::ErrorRecorder errors;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(ZAR_TEST_DATA)) {
        const std::string input = entry.path().string();
        if (entry.path().extension() != ".bmp") continue;
        int w = 0, h = 0, channels = 0;
        std::vector<int> expected = translatedPixels(input, &w, &h, &channels);
        const std::string output = path("out.bmp");
        ToolRun r = run("convert " + input + " " + output);
        if (expected.empty()) {  // the library refuses it: so does the tool
            EXPECT_EQ(r.status, 2) << input;
            EXPECT_FALSE(fs::exists(output)) << input;
            errors.clear();
            continue;
        }
        ASSERT_EQ(r.status, 0) << input << ": " << r.err;
        int ow = 0, oh = 0, oc = 0;
        EXPECT_EQ(translatedPixels(output, &ow, &oh, &oc), expected) << input;
        EXPECT_EQ(std::make_tuple(ow, oh, oc), std::make_tuple(w, h, channels)) << input;
        fs::remove(output);
        ++files;
    }
    EXPECT_GE(files, 20);
}
