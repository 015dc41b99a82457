// The library's reports, caught per thread and said again in the user's words.
#pragma once

#include <string>

#include "zar.h"

namespace tool {

// Puts the calling thread in ZAR_ERRMODE_RETURN with a handler that keeps the
// first report after each clearReport().  Every thread that calls the library
// does this once: status, mode and handler are the thread's own.
void installErrorCapture();

// Clears the status word and the kept report before a library call.
void clearReport();

struct LibraryReport {
    ZarStatus status = STATUS_OK;
    std::string function, context;
};

// True when the library reported an error (or left a negative status) since
// clearReport(); report then holds the first report.
bool libraryFailed(LibraryReport* report);

// What went wrong, on one line, naming the option at fault where there is
// one.  operation is the tool's command name, input the image it worked on.
std::string inUserWords(const LibraryReport& report, const std::string& operation,
                        const ImageHeader* input);

}  // namespace tool
