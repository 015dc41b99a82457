#include "demo.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "commands.h"

extern const unsigned char kSampleBitmap[];
extern const size_t kSampleBitmapSize;

namespace tool {

namespace {

struct Step {
    const char* output;
    const char* command;
    std::vector<std::string> args;  // options; inputs and output are added
    bool secondInput;               // add: the sample twice
};

// Typical settings for each operation.
const std::vector<Step> kSteps = {
    {"convert.bmp", "convert", {}, false},
    {"blur-5x5.bmp", "blur", {"--size", "5x5", "--border", "replicate"}, false},
    {"blur-15x15.bmp", "blur", {"--size", "15x15", "--border", "reflect"}, false},
    {"sobel-x.bmp", "filter", {"--kernel", "sobel-x", "--border", "replicate"}, false},
    {"laplace-3.bmp", "filter", {"--kernel", "laplace-3", "--border", "replicate"}, false},
    {"gauss-5.bmp", "filter", {"--kernel", "gauss-5", "--border", "replicate"}, false},
    {"sharpen-3.bmp", "filter", {"--kernel", "sharpen-3", "--border", "replicate"}, false},
    {"dilate-2.bmp", "dilate", {"--iterations", "2"}, false},
    {"erode-2.bmp", "erode", {"--iterations", "2", "--border", "replicate"}, false},
    {"resize-half-super.bmp", "resize", {"--scale", "1/2", "--interp", "super"}, false},
    {"zoom-2-cubic.bmp", "zoom", {"--scale", "2", "--interp", "cubic"}, false},
    {"decimate-third-linear.bmp", "decimate", {"--scale", "1/3", "--interp", "linear"}, false},
    {"remap-rotate-30.bmp", "remap", {"--rotate", "30", "--interp", "linear"}, false},
    {"add-self.bmp", "add", {}, true},
    {"copy-roi.bmp", "copy", {"--roi", "64,48,128,96"}, false},
    {"set-roi-green.bmp", "set", {"--value", "200", "--roi", "16,16,64,48", "--coi", "2"}, false},
};

std::string shellLine(const Step& step) {
    std::string line = std::string("zar ") + step.command;
    for (const std::string& a : step.args) line += " " + a;
    line += step.secondInput ? " sample.bmp sample.bmp " : " sample.bmp ";
    return line + step.output;
}

}  // namespace

int runDemo(const std::string& directory) {
    std::filesystem::create_directories(directory);
    OwnedImage sample = loadBitmap(kSampleBitmap, kSampleBitmapSize, "the built-in sample");
    saveImage(sample.get(), directory + "/sample.bmp");

    std::string rows;
    std::printf("%-10s %-28s %10s\n", "operation", "output", "time (ms)");
    for (const Step& step : kSteps) {
        const Command* command = findCommand(step.command);
        std::vector<OwnedImage> inputs;
        inputs.push_back(loadBitmap(kSampleBitmap, kSampleBitmapSize, "sample"));
        if (step.secondInput)
            inputs.push_back(loadBitmap(kSampleBitmap, kSampleBitmapSize, "sample"));
        Options options = parseOptions(step.args);
        auto start = std::chrono::steady_clock::now();
        OwnedImage result = runCommand(*command, inputs, options);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                              start)
                        .count();
        saveImage(result.get(), directory + "/" + step.output);
        std::printf("%-10s %-28s %10.3f\n", step.command, step.output, ms);
        rows += "<figure><img src=\"" + std::string(step.output) + "\"><figcaption><code>" +
                shellLine(step) + "</code><br>" + std::to_string(ms).substr(0, 6) +
                " ms</figcaption></figure>\n";
    }
    std::ofstream page(directory + "/index.html");
    page << "<!doctype html><meta charset=\"utf-8\"><title>zar demo</title>\n"
            "<style>body{font-family:sans-serif;background:#222;color:#eee}"
            "figure{display:inline-block;margin:8px;vertical-align:top}"
            "img{image-rendering:pixelated;max-width:512px;border:1px solid #555}"
            "code{color:#9cf}</style>\n"
            "<h1>zar demo</h1><p>Every picture is the library's real output on the sample.</p>\n"
            "<figure><img src=\"sample.bmp\"><figcaption>the sample</figcaption></figure>\n"
         << rows;
    std::printf("wrote %zu images and %s/index.html\n", kSteps.size() + 1, directory.c_str());
    return 0;
}

}  // namespace tool
