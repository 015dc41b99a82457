// The operations of the zar tool.
#pragma once

#include <string>
#include <vector>

#include "image.h"
#include "options.h"

namespace tool {

// What an operation works on: the loaded inputs, the options, and the region
// and mask the options describe (null when not given).
struct Job {
    std::vector<OwnedImage>& inputs;
    const Options& options;
    Roi* roi;
    ImageHeader* mask;
};

// An option an operation takes, with what it means there (null: the common text).
struct OptionUse {
    const char* name;
    const char* text;
};

struct Command {
    const char* name;
    const char* summary;  // one line for `zar --help`
    const char* about;    // what it does, for `zar NAME --help`
    std::vector<OptionUse> options;
    const char* example;
    int inputs;  // files read for one output: 1, or 2 for add
    OwnedImage (*run)(Job& job);
};

const std::vector<Command>& commands();
const Command* findCommand(const std::string& name);

// Refuses options the command does not use and checks the ones it needs.
void checkOptions(const Command& command, const Options& options);

// Runs a command on loaded inputs: checks the region against the image,
// applies --border, --roi/--coi and --mask, calls the library, and throws
// UserError in the user's words when the library reported an error.
OwnedImage runCommand(const Command& command, std::vector<OwnedImage>& inputs,
                      const Options& options);

// `zar NAME --help`.
std::string commandHelp(const Command& command);

}  // namespace tool
