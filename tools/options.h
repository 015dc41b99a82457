// The command line of one operation: its options, checked and turned into values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats.h"

namespace tool {

struct Ratio {
    int32_t num = 1, den = 1;
    double value() const { return static_cast<double>(num) / den; }
};

struct Pair {
    int32_t a = 0, b = 0;
};

struct Options {
    std::vector<std::string> given;       // option names in the order given
    std::vector<std::string> positional;  // files
    std::optional<Roi> roi;               // as given: rows count from the top
    int32_t coi = 0;
    std::string mask;
    std::optional<int32_t> borderMode;
    int32_t borderValue = 0;
    std::optional<Pair> size;    // --size WxH
    std::optional<Pair> anchor;  // --anchor X,Y
    int32_t kernel = -1;         // ZAR_FIXED_*
    int32_t iterations = 1;
    std::optional<Ratio> scale;
    int32_t interp = ZAR_INTER_LINEAR;
    double rotate = 0;
    std::string xmap, ymap;
    std::optional<double> value;
    WriteOptions write;
    std::string format;     // --format EXT: extension of outputs in a directory
    std::string outputDir;  // -o DIR
    bool help = false;

    bool has(const std::string& name) const;
    // The value as typed, for messages.
    std::vector<std::string> texts;
    std::string textOf(const std::string& name) const;
};

// Parses the arguments that follow the operation's name.  Throws UserError.
Options parseOptions(const std::vector<std::string>& args);

// "--scale" values: "50%", "0.5", "1/2" or "2".
Ratio parseScale(const std::string& text);

// The names of the fixed kernels, in ZAR_FIXED_* order.
const std::vector<std::string>& kernelNames();

}  // namespace tool
