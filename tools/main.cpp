// zar — the command-line face of the library.
//
// Exit codes: 0 success, 1 a file could not be read, processed or written,
// 2 a mistake in the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "batch.h"
#include "demo.h"
#include "formats.h"
#include "messages.h"

namespace {

using tool::UserError;

// A mistake in the command line: exit code 2.
struct UsageError : UserError {
    using UserError::UserError;
};

void printUsage(FILE* out) {
    std::fprintf(out,
                 "usage: zar OPERATION [options] IN OUT\n"
                 "       zar OPERATION [options] IN... -o DIR [--format EXT]\n"
                 "       zar info FILE...\n"
                 "       zar demo [DIR]\n"
                 "       zar --version\n\n"
                 "operations:\n");
    for (const tool::Command& c : tool::commands())
        std::fprintf(out, "  %-9s %s\n", c.name, c.summary);
    std::fprintf(out,
                 "\nfiles: BMP (every header and compression), PNG (gray, colour, alpha, palette;\n"
                 "8 or 16 bits), JPEG, TIFF (8, 16, 32-bit integer, float), PBM/PGM/PPM/PNM\n"
                 "(binary and ASCII) and PFM.  Inputs are recognised by their contents, the\n"
                 "output's format by its extension.\n"
                 "`zar OPERATION --help` explains an operation, its options and defaults.\n"
                 "Exit code 0: done; 1: a file failed; 2: a mistake in the command line.\n");
}

int runInfo(const std::vector<std::string>& files) {
    if (files.empty() || files[0] == "--help") {
        std::printf("usage: zar info FILE...\nwhat each file holds and how zar reads it\n");
        return files.empty() ? 2 : 0;
    }
    int failed = 0;
    for (const std::string& file : files) {
        try {
            std::printf("%s%s", files.size() > 1 ? (file + ":\n").c_str() : "",
                        tool::describeFile(file).c_str());
        } catch (const UserError& e) {
            std::fprintf(stderr, "zar: %s\n", e.what());
            failed = 1;
        }
    }
    return failed;
}

int runOperation(const tool::Command& command, const std::vector<std::string>& args) {
    tool::Options options;
    try {
        options = tool::parseOptions(args);
        if (options.help) {
            std::fputs(tool::commandHelp(command).c_str(), stdout);
            return 0;
        }
        tool::checkOptions(command, options);
    } catch (const UserError& e) {
        throw UsageError(std::string(command.name) + ": " + e.what());
    }
    if (!options.outputDir.empty()) {
        try {
            return tool::runBatch(command, options);
        } catch (const UserError&
                     e) {  // each file's failure is reported inside: this is the command line's
            throw UsageError(e.what());
        }
    }
    const size_t files = options.positional.size();
    if (files != static_cast<size_t>(command.inputs) + 1)
        throw UsageError(
            tool::commandHelp(command).substr(0, tool::commandHelp(command).find('\n')));
    const std::string& output = options.positional.back();
    if (!tool::isOutputExtension(output))
        throw UsageError(output + ": unknown output format; name it " + tool::outputExtensions());
    std::vector<std::string> inputs(options.positional.begin(), options.positional.end() - 1);
    tool::processFile(command, options, inputs, output);
    return 0;
}

int run(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::printf("zar %s (%s, %s, %s)\n", ZAR_VERSION, tool::pngVersion().c_str(),
                    tool::jpegVersion().c_str(), tool::tiffVersion().c_str());
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "info") return runInfo(rest);
    if (args[0] == "demo") return tool::runDemo(rest);
    const tool::Command* command = tool::findCommand(args[0]);
    if (!command) throw UsageError("unknown operation '" + args[0] + "' (see zar --help)");
    return runOperation(*command, rest);
}

}  // namespace

int main(int argc, char** argv) {
    tool::installErrorCapture();
    tool::installTiffMessages();
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "zar: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zar: %s\n", e.what());
        return 1;
    }
}
