#include "messages.h"

#include <cstring>

#include "image.h"

namespace tool {

namespace {

thread_local bool tReported = false;
thread_local LibraryReport tReport;

// An inner failure is often reported again by its caller: keep the first.
ZarStatus ZAR_STDCALL keepFirstReport(ZarStatus status, const char* funcName, const char* context,
                                      const char*, int32_t) {
    if (!tReported) {
        tReported = true;
        tReport = {status, funcName ? funcName : "", context ? context : ""};
    }
    return status;
}

struct Wording {
    const char* context;  // the library's context text
    const char* words;    // {op} and {depth} are filled in
};

// Reports that the tool's options can provoke.
const Wording kWordings[] = {
    {"(interpolate == ZAR_INTER_SUPER) && (xDst > xSrc || yDst > ySrc)",
     "super-sampling only shrinks: --scale must be at most 1"},
    {"xDst > xSrc", "decimate only shrinks: --scale must be at most 1"},
    {"yDst > ySrc", "decimate only shrinks: --scale must be at most 1"},
    {"xDst < xSrc || yDst < ySrc", "zoom only enlarges: --scale must be at least 1"},
    {"(anchorX>=nCols||anchorY>=nRows)",
     "--anchor must lie inside the --size neighbourhood (0 to width-1, 0 to height-1)"},
    {"(anchorX<0||anchorY<0)", "--anchor must not be negative"},
    {"(nRows<0||nCols<0)", "--size must be positive"},
    {"Illegal number of of iterations", "--iterations must be at least 1"},
    {"Illegal image depth", "{op} works on 8- and 16-bit images, not {depth} ones"},
    {"srcImage->depth != ZAR_DEPTH_1U && srcImage->depth != ZAR_DEPTH_8U && "
     "srcImage->depth != ZAR_DEPTH_16U",
     "{op} works on 8- and 16-bit images, not {depth} ones"},
    {"(srcImage->depth & ZAR_DEPTH_SIGN) || (srcImage->depth == ZAR_DEPTH_32F)",
     "{op} works on 8- and 16-bit images, not {depth} ones"},
    {"interpolate != ZAR_INTER_NN && interpolate != ZAR_INTER_LINEAR && "
     "interpolate != ZAR_INTER_CUBIC",
     "{op} takes --interp nn, linear or cubic (super-sampling only shrinks: use resize)"},
    {"Out of memory", "out of memory"},
    {"Allocation failure", "out of memory"},
};

std::string replaceAll(std::string text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key))
        text.replace(at, key.size(), value);
    return text;
}

}  // namespace

void installErrorCapture() {
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    zarRedirectError(keepFirstReport);
}

void clearReport() {
    zarSetStatus(STATUS_OK);
    tReported = false;
}

bool libraryFailed(LibraryReport* report) {
    if (tReported) {
        *report = tReport;
        return true;
    }
    if (zarGetStatus() >= 0) return false;
    *report = {zarGetStatus(), "", ""};
    return true;
}

std::string inUserWords(const LibraryReport& report, const std::string& operation,
                        const ImageHeader* input) {
    for (const Wording& w : kWordings) {
        if (report.context != w.context) continue;
        std::string words = replaceAll(w.words, "{op}", operation);
        return replaceAll(words, "{depth}", input ? depthName(input->depth) : "these");
    }
    std::string words = operation + " failed: " + zarStatusMessage(report.status);
    if (!report.context.empty()) words += " (" + report.context + ")";
    return words;
}

}  // namespace tool
