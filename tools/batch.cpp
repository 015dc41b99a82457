#include "batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "formats.h"
#include "messages.h"

namespace tool {

namespace fs = std::filesystem;

void processFile(const Command& command, const Options& options,
                 const std::vector<std::string>& inputs, const std::string& output) {
    std::vector<OwnedImage> images;
    for (const std::string& input : inputs) images.push_back(loadImage(input));
    OwnedImage result;
    try {
        result = runCommand(command, images, options);
    } catch (const UserError& e) {
        throw UserError(inputs[0] + ": " + e.what());
    }
    saveImage(result.get(), output, options.write);
}

namespace {

struct Work {
    std::vector<std::string> inputs, outputs;
    std::atomic<size_t> next{0};
    std::mutex lock;  // guards what follows, and the terminal
    std::condition_variable changed;
    size_t done = 0, failed = 0;
    bool progressShown = false;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
};

// Output paths: DIR/name, with the extension of --format when given.
std::vector<std::string> outputPaths(const std::vector<std::string>& inputs, const Options& o) {
    std::vector<std::string> outputs;
    std::set<std::string> seen;
    for (const std::string& input : inputs) {
        fs::path name = fs::path(input).filename();
        if (!o.format.empty()) name.replace_extension("." + o.format);
        const std::string out = (fs::path(o.outputDir) / name).string();
        std::error_code error;
        if (fs::equivalent(input, out, error))
            throw UserError(out + ": -o would write over the input");
        if (!seen.insert(out).second) throw UserError("two inputs would both be written to " + out);
        outputs.push_back(out);
    }
    return outputs;
}

void clearProgress(Work& w) {
    if (w.progressShown) std::fputs("\r\033[K", stderr);
    w.progressShown = false;
}

void showProgress(Work& w) {
    std::fprintf(stderr, "\r\033[K%zu of %zu files%s", w.done, w.inputs.size(),
                 w.failed ? (", " + std::to_string(w.failed) + " failed").c_str() : "");
    std::fflush(stderr);
    w.progressShown = true;
}

void worker(const Command& command, const Options& options, Work& w) {
    installErrorCapture();  // this thread's own status, mode and handler
    for (size_t i = w.next++; i < w.inputs.size(); i = w.next++) {
        std::string failure;
        try {
            processFile(command, options, {w.inputs[i]}, w.outputs[i]);
        } catch (const std::exception& e) {  // UserError, or no memory
            failure = e.what();
        }
        std::lock_guard<std::mutex> hold(w.lock);
        const bool wasShown = w.progressShown;
        clearProgress(w);
        if (failure.empty()) {
            std::printf("%s -> %s\n", w.inputs[i].c_str(), w.outputs[i].c_str());
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "zar: %s\n", failure.c_str());
            ++w.failed;
        }
        ++w.done;
        if (wasShown) showProgress(w);
        w.changed.notify_all();
    }
}

}  // namespace

int runBatch(const Command& command, const Options& options) {
    if (command.inputs != 1)
        throw UserError(std::string(command.name) + " takes two inputs and one output: no -o");
    if (options.positional.empty()) throw UserError("no input files before -o");
    Work w;
    w.inputs = options.positional;
    w.outputs = outputPaths(w.inputs, options);
    std::error_code error;
    fs::create_directories(options.outputDir, error);
    if (!fs::is_directory(options.outputDir))
        throw UserError(options.outputDir + ": cannot make the output directory");

    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    for (size_t t = 0; t < std::min(cores, w.inputs.size()); ++t)
        workers.emplace_back(worker, std::cref(command), std::cref(options), std::ref(w));
    const auto start = std::chrono::steady_clock::now();
    {
        std::unique_lock<std::mutex> hold(w.lock);
        while (w.done < w.inputs.size()) {
            w.changed.wait_for(hold, std::chrono::milliseconds(200));
            if (w.terminal && w.done < w.inputs.size() &&
                std::chrono::steady_clock::now() - start > std::chrono::seconds(1))
                showProgress(w);
        }
        clearProgress(w);
    }
    for (std::thread& t : workers) t.join();
    std::printf("%zu written, %zu failed\n", w.done - w.failed, w.failed);
    return w.failed ? 1 : 0;
}

}  // namespace tool
