// The operations of the zar tool.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "imageio.h"

namespace tool {

struct Options {
    std::vector<std::string> positional;
    std::optional<Roi> roi;  // --roi x,y,w,h (coi from --coi)
    int32_t coi = 0;
    std::string mask;                   // --mask FILE
    std::optional<int32_t> borderMode;  // --border
    int32_t borderValue = 0;
    std::optional<int32_t> interp;  // --interp
    std::string size;               // --size WxH
    std::string scale;              // --scale S (fraction or decimal)
    std::string anchor;             // --anchor x,y
    std::string kernel;             // --kernel NAME
    int32_t iterations = 1;         // --iterations N
    std::optional<double> rotate;   // --rotate DEG
    std::string xmap, ymap;         // --xmap F --ymap F
    double value = 0;               // --value V
    bool help = false;
};

// What an operation works on: the loaded inputs, the options, and the region
// and mask the options describe (null when not given).
struct Job {
    std::vector<OwnedImage>& inputs;
    const Options& options;
    Roi* roi;
    ImageHeader* mask;
};

struct Command {
    const char* name;
    const char* synopsis;
    const char* description;
    const char* example;
    int inputs;  // image files read before the output path
    OwnedImage (*run)(Job& job);
};

const std::vector<Command>& commands();
const Command* findCommand(const std::string& name);

// Parses the arguments after the command name.  Throws UserError.
Options parseOptions(const std::vector<std::string>& args);

// Runs a command on loaded inputs: applies --border, --roi/--coi and --mask,
// calls the library, and throws UserError when it reported an error.
OwnedImage runCommand(const Command& command, std::vector<OwnedImage>& inputs,
                      const Options& options);

std::string commandHelp(const Command& command);

// Names of the fixed filters in ZAR_FIXED_* order.
const std::vector<std::string>& filterNames();

// The image the library built for a file, described.
std::string infoText(const std::string& path);

}  // namespace tool
