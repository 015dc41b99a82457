// The zar command as a user runs it: each operation against the library's own
// result (or the rule), mistakes said in one line, many files at once, help, demo.
#include <algorithm>
#include <fstream>
#include <functional>

#include "support/zar_test.h"
#include "tool_test.h"

namespace tt {
namespace {

zt::Image toImage(const Pixels& p) {
    zt::Image image(p.c, 0, ZAR_DEPTH_8U, ZAR_DATA_ORDER_PIXEL, p.w, p.h);
    for (int i = 0; i < p.w * p.h * p.c; ++i)
        zt::setSample(image, i / p.c % p.w, i / p.c / p.w, i % p.c, p.v[i]);
    return image;
}

Pixels toPixels(const ImageHeader* image) {
    Pixels p{image->width, image->height, image->nChannels, 8, {}};
    for (int i = 0; i < p.w * p.h * p.c; ++i)
        p.v.push_back(zt::getSample(image, i / p.c % p.w, i / p.c / p.w, i % p.c));
    return p;
}

// The library's result of an operation into a destination of w x h (0: the source's
// size and pixels), with the source's borders set to mode.
Pixels library(const Pixels& src, int w, int h, int mode,
               const std::function<void(ImageHeader*, ImageHeader*)>& call) {
    zt::Image s = toImage(src), d = w ? zt::Image(src.c, 0, ZAR_DEPTH_8U, 0, w, h) : toImage(src);
    std::fill_n(s->borderModes, 4, mode);
    call(s, d);
    return toPixels(d);
}

Pixels halfSuper(const Pixels& s) {
    return library(s, s.w / 2, s.h / 2, 0,
                   [](auto a, auto b) { zarResize(a, b, 1, 2, 1, 2, ZAR_INTER_SUPER); });
}

struct OpCase {
    const char* args;
    int c, w, h;
    std::function<Pixels(Pixels src)> expected;
};

const OpCase kOps[] = {
    {"blur --size 5x3 --border replicate", 1, 37, 23,
     [](Pixels s) {
         return library(s, 0, 0, 1, [](auto a, auto b) { zarBlur(a, b, 5, 3, 2, 1); });
     }},
    {"dilate --iterations 2 --roi 4,3,10,9 --border reflect", 3, 30, 20,
     [](Pixels s) {
         Roi roi{0, 4, 3, 10, 9};
         return library(s, 0, 0, 2, [&](auto a, auto b) {
             a->roi = b->roi = &roi;
             zarDilate(a, b, 2);
             a->roi = b->roi = nullptr;
         });
     }},
    {"resize --scale 50% --interp super", 3, 40, 30, halfSuper},
    {"decimate --scale 0.5 --interp super", 3, 40, 30, halfSuper},
    {"set --value 300 --roi 1,1,4,4 --coi 2", 3, 16, 12,  // green, saturated
     [](Pixels s) {
         for (int i = 0; i < 16; ++i) s.at(i % 4 + 1, i / 4 + 1, 1) = 255;
         return s;
     }},
    {"remap --rotate 90 --interp nn", 1, 9, 9,  // clockwise about the centre pixel (4, 4)
     [](Pixels s) {
         Pixels out = s;
         for (int i = 0; i < 81; ++i) out.at(i % 9, i / 9, 0) = s.at(i / 9, 8 - i % 9, 0);
         return out;
     }},
};

}  // namespace

TEST_F(ToolTest, EachOperationGivesTheLibrarysResult) {
    unsigned seed = 0;
    for (const OpCase& op : kOps) {
        const Pixels src = pattern(op.w, op.h, op.c, 8, ++seed);
        writeTiff(src, path("in.tif"));
        const std::string in = path("in.tif") + " ";
        ToolRun r = run(std::string(op.args) + " " + in + path("out.tif"));
        ASSERT_EQ(r.status, 0) << op.args << ": " << r.err;
        EXPECT_EQ(readTiff(path("out.tif")), op.expected(src)) << op.args;
    }
}

TEST_F(ToolTest, MistakesAreOneLineInTheUsersWordsAndLeaveNoOutput) {
    writeTiff(pattern(64, 48, 1, 8, 1), path("in.tif"));
    writeTiff(pattern(8, 8, 1, -32, 2), path("f.tif"));
    std::ofstream(path("bad.png")) << "\x89PNG\r\n\x1a\n broken";
    const std::string in = path("in.tif") + " ", out = path("out.png");
    const struct {
        std::string args;
        int status;
        const char* says;
    } mistakes[] = {
        {"resize --scale 3 --interp super " + in + out, 1,
         "super-sampling only shrinks: --scale must be at most 1"},
        {"blur --interp cubic " + in + out, 2, "blur does not use --interp"},
        {"blur --roi 800,400,100,100 " + in + out, 1, "--roi 800,400,100,100 lies outside"},
        {"blur --size 3x3 --anchor 5,5 " + in + out, 1, "--anchor must lie inside"},
        {"dilate " + path("f.tif") + " " + out, 1, "8- and 16-bit images, not 32-bit float"},
        {"resize --scale 2x " + in + out, 2, "bad --scale '2x'"},
        {"blur " + path("missing.pgm") + " " + out, 1, "cannot open"},
        {"blur " + path("bad.png") + " " + out, 1, "bad.png: not a PNG file"},
        {"convert " + in + path("out.xyz"), 2, "unknown output format"},
    };
    for (const auto& m : mistakes) {
        ToolRun r = run(m.args);
        EXPECT_EQ(r.status, m.status) << m.args;
        EXPECT_NE(r.err.find(m.says), std::string::npos) << m.args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << m.args << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << m.args;
    }
    ToolRun version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("zar 0.", 0), 0u) << version.out;
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

TEST_F(ToolTest, HelpListsTheAcceptedValuesAndDefaults) {
    const struct {
        const char* op;
        std::vector<const char*> says;
    } helps[] = {
        {"blur", {"default 3x3", "replicate", "reflect", "wrap", "rows from the top"}},
        {"filter", {"sobel-x     3x3  1 0 -1 / 2 0 -2 / 1 0 -1", "divided by 571", "sharpen-3"}},
        {"resize", {"super", "cubic", "(the default)", "50%"}},
        {"remap", {"clockwise", "((width-1)/2, (height-1)/2)", "--xmap"}},
    };
    for (const auto& h : helps) {
        ToolRun r = run(std::string(h.op) + " --help");
        EXPECT_EQ(r.status, 0) << h.op;
        for (const char* phrase : h.says)
            EXPECT_NE(r.out.find(phrase), std::string::npos) << h.op << " lacks " << phrase;
    }
    EXPECT_EQ(run("").status, 2);
}

TEST_F(ToolTest, DemoWritesTheGallery) {
    ToolRun r = run("demo " + path("demo") + " --runs 1");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* file : {"index.html", "blur-5x5.png", "blur-5x5-detail.png"})
        EXPECT_TRUE(std::filesystem::exists(path(std::string("demo/") + file))) << file;
    EXPECT_EQ(readPng(path("demo/photo.png")).w, 451);
}

}  // namespace tt
