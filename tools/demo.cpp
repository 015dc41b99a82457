#include "demo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "commands.h"
#include "formats.h"

// The photograph of data/ (see data/README.md), built into the tool by sample.cpp.
extern "C" const unsigned char zarSamplePhoto[], zarSamplePhotoEnd[];

namespace tool {

namespace {

struct Step {
    const char* name;  // of the output file, without extension
    const char* command;
    std::vector<std::string> args;  // options; inputs and output are added
    const char* note;
};

// Typical settings for each operation on the photograph (451 x 300).
const std::vector<Step> kSteps = {
    {"blur-5x5", "blur", {"--size", "5x5", "--border", "replicate"}, "box blur, 5x5"},
    {"blur-15x15", "blur", {"--size", "15x15", "--border", "reflect"}, "box blur, 15x15"},
    {"sobel-x",
     "filter",
     {"--kernel", "sobel-x", "--border", "replicate"},
     "vertical edges, bright on the left (negative responses are 0)"},
    {"laplace-3", "filter", {"--kernel", "laplace-3", "--border", "replicate"}, "bright details"},
    {"gauss-5", "filter", {"--kernel", "gauss-5", "--border", "replicate"}, "Gaussian 5x5"},
    {"sharpen-3", "filter", {"--kernel", "sharpen-3", "--border", "replicate"}, "sharpened"},
    {"dilate-2",
     "dilate",
     {"--iterations", "2", "--border", "replicate"},
     "5x5 maximum: bright areas grow"},
    {"erode-2",
     "erode",
     {"--iterations", "2", "--border", "replicate"},
     "5x5 minimum: dark areas grow"},
    {"resize-half-super",
     "resize",
     {"--scale", "50%", "--interp", "super"},
     "half size, super-sampling (shown at the input's size)"},
    {"decimate-third-linear",
     "decimate",
     {"--scale", "1/3", "--interp", "linear"},
     "a third, bilinear (shown at the input's size)"},
    {"zoom-eye-cubic",
     "zoom",
     {"--roi", "120,70,120,80", "--scale", "3", "--interp", "cubic"},
     "the left eye enlarged 3 times, bicubic (the input region shown with square pixels)"},
    {"remap-rotate-30",
     "remap",
     {"--rotate", "30", "--interp", "linear"},
     "turned 30 degrees clockwise about the centre"},
    {"add-self", "add", {}, "the photograph added to itself (saturating)"},
    {"copy-roi", "copy", {"--roi", "120,70,120,80"}, "the region 120,70,120,80 cut out"},
    {"set-roi",
     "set",
     {"--value", "255", "--roi", "300,100,100,60", "--coi", "3"},
     "red channel of a region set to 255"},
};

// The region shown magnified under each pair.
const std::vector<std::string> kDetail = {"--roi", "120,70,120,80"};
constexpr int kDetailZoom = 3;

OwnedImage photograph() {
    FileBytes file;
    file.size = static_cast<size_t>(zarSamplePhotoEnd - zarSamplePhoto);
    file.data.reset(new unsigned char[file.size]);
    std::memcpy(file.data.get(), zarSamplePhoto, file.size);
    return decodeImage(std::move(file), "the built-in photograph");
}

OwnedImage run(const char* name, const std::vector<std::string>& args, const ImageHeader* photo) {
    const Command* command = findCommand(name);
    Options options = parseOptions(args);
    checkOptions(*command, options);
    std::vector<OwnedImage> inputs;
    for (int i = 0; i < command->inputs; ++i) inputs.push_back(duplicate(photo));
    return runCommand(*command, inputs, options);
}

// The median time of runs calls of the step, and its result.
double medianMs(const Step& step, const ImageHeader* photo, int runs, OwnedImage& result) {
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const Command* command = findCommand(step.command);
        Options options = parseOptions(step.args);
        std::vector<OwnedImage> inputs;
        for (int i = 0; i < command->inputs; ++i) inputs.push_back(duplicate(photo));
        const auto start = std::chrono::steady_clock::now();
        result = runCommand(*command, inputs, options);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string figure(const std::string& file, int width, const std::string& caption) {
    return "<figure><img src=\"" + file + "\" width=\"" + std::to_string(width) +
           "\"><figcaption>" + caption + "</figcaption></figure>";
}

const char* const kPage =
    "<!doctype html><meta charset=\"utf-8\"><title>zar demo</title>\n"
    "<style>body{font-family:sans-serif;background:#222;color:#eee;margin:24px}"
    "section{margin:0 0 40px}figure{display:inline-block;margin:6px;vertical-align:top}"
    "img{image-rendering:pixelated;border:1px solid #555}code{color:#9cf}"
    "figcaption{font-size:90%}</style>\n"
    "<h1>zar demo</h1><p>Each operation of the library on a photograph (Chelsea the cat, by "
    "Stefan van der Walt, CC0), before and after, and the region 120,70,120,80 of both "
    "magnified 3 times. Times are the median of several runs of the operation alone "
    "(files not counted).</p>\n";

}  // namespace

int runDemo(const std::vector<std::string>& args) {
    std::string directory = "demo-out";
    int runs = 7;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help") {
            std::printf(
                "usage: zar demo [DIR] [--runs N]\n"
                "runs every operation on the built-in photograph and writes before/after pairs\n"
                "and an index.html gallery into DIR (default demo-out); times are the median\n"
                "of N runs (default 7)\n");
            return 0;
        }
        if (args[i] == "--runs" && i + 1 < args.size())
            runs = std::max(1, std::atoi(args[++i].c_str()));
        else
            directory = args[i];
    }
    std::filesystem::create_directories(directory);
    const OwnedImage photo = photograph();
    const WriteOptions png;
    saveImage(photo.get(), directory + "/photo.png", png);
    saveImage(run("copy", kDetail, photo.get()).get(), directory + "/photo-detail.png", png);
    const int w = photo->width, detailW = 120 * kDetailZoom;

    std::string body;
    std::printf("%-22s %-9s %12s\n", "output", "operation", "median (ms)");
    for (const Step& step : kSteps) {
        OwnedImage result;
        const double ms = medianMs(step, photo.get(), runs, result);
        const std::string name = step.name;
        saveImage(result.get(), directory + "/" + name + ".png", png);
        std::string command = std::string("zar ") + step.command;
        for (const std::string& a : step.args) command += " " + a;
        char time[64];
        std::snprintf(time, sizeof time, "%.3f ms (median of %d)", ms, runs);
        std::printf("%-22s %-9s %12.3f\n", step.name, step.command, ms);
        const bool sameSize = result->width == w && result->height == photo->height;
        std::string before = "photo.png";
        if (std::strcmp(step.command, "zoom") == 0) {  // the region it enlarged
            before = name + "-before.png";
            saveImage(run("copy", {"--roi", "120,70,120,80"}, photo.get()).get(),
                      directory + "/" + before, png);
        }
        body += "<section><h2><code>" + command + "</code></h2><p>" + step.note + " &mdash; " +
                time + "</p>\n" + figure(before, w, "before") + figure(name + ".png", w, "after") +
                "<br>\n";
        if (sameSize) {
            saveImage(run("copy", kDetail, result.get()).get(),
                      directory + "/" + name + "-detail.png", png);
            body += figure("photo-detail.png", detailW, "before, magnified") +
                    figure(name + "-detail.png", detailW, "after, magnified") + "\n";
        }
        body += "</section>\n";
    }
    std::ofstream(directory + "/index.html") << kPage << body;
    std::printf("wrote %s/index.html\n", directory.c_str());
    return 0;
}

}  // namespace tool
