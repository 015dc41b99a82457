// Running an operation on files: one input, or many at once on every core.
#pragma once

#include <string>
#include <vector>

#include "commands.h"

namespace tool {

// Reads the inputs, runs the command, writes the output.  A failure is a
// UserError whose text starts with the file it concerns.
void processFile(const Command& command, const Options& options,
                 const std::vector<std::string>& inputs, const std::string& output);

// `zar OP [options] IN... -o DIR`: every input with the same options, a
// worker thread per core, one line per file and, on a terminal, a progress
// line when it takes longer than a second.  Returns the exit code: 0 when
// every file was written, 1 otherwise.  Throws UserError for a mistake in
// the command line (before any file is read).
int runBatch(const Command& command, const Options& options);

}  // namespace tool
