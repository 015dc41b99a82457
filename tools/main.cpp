// zar — the command-line face of the library.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "demo.h"

namespace {

void printUsage(FILE* out) {
    std::fprintf(out,
                 "usage: zar <operation> [options] INPUT... OUTPUT\n"
                 "       zar info FILE\n"
                 "       zar demo [DIR]\n\n"
                 "operations:\n");
    for (const tool::Command& c : tool::commands())
        std::fprintf(out, "  %-9s %s\n", c.name, c.description);
    std::fprintf(out,
                 "\nfiles: BMP (every kind the library translates), PGM/PPM (8 and 16 bit);\n"
                 "output format by extension (.bmp, .pgm, .ppm).\n"
                 "`zar <operation> --help` explains one operation.\n");
}

int run(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string& name = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (name == "demo") {
        tool::Options o = tool::parseOptions(rest);
        if (o.help) {
            std::printf(
                "usage: zar demo [DIR]\nruns every operation on the built-in sample picture and\n"
                "writes the results and an index.html gallery into DIR (default demo-out)\n");
            return 0;
        }
        return tool::runDemo(o.positional.empty() ? "demo-out" : o.positional[0]);
    }
    if (name == "info") {
        tool::Options o = tool::parseOptions(rest);
        if (o.help || o.positional.size() != 1) {
            std::fprintf(o.help ? stdout : stderr,
                         "usage: zar info FILE\nexample: zar info photo.bmp\n");
            return o.help ? 0 : 2;
        }
        std::fputs(tool::infoText(o.positional[0]).c_str(), stdout);
        return 0;
    }
    const tool::Command* command = tool::findCommand(name);
    if (!command) throw tool::UserError("unknown operation '" + name + "' (see zar --help)");
    tool::Options options = tool::parseOptions(rest);
    if (options.help) {
        std::fputs(tool::commandHelp(*command).c_str(), stdout);
        return 0;
    }
    if (options.positional.size() != static_cast<size_t>(command->inputs) + 1)
        throw tool::UserError(std::string("usage: zar ") + command->synopsis);
    std::vector<tool::OwnedImage> inputs;
    for (int i = 0; i < command->inputs; ++i)
        inputs.push_back(tool::loadImage(options.positional[i]));
    tool::OwnedImage result = tool::runCommand(*command, inputs, options);
    tool::saveImage(result.get(), options.positional.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Errors of the library arrive as one line on stderr and the call returns.
    tool::installErrorReporting();
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const tool::UserError& e) {
        if (e.what()[0] != '\0') std::fprintf(stderr, "zar: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zar: %s\n", e.what());
        return 2;
    }
}
