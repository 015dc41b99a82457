// `zar demo`: every operation on the built-in photograph, before and after, in a gallery page.
#pragma once

#include <string>
#include <vector>

namespace tool {

// args: [DIR] [--runs N].  Returns the exit code.
int runDemo(const std::vector<std::string>& args);

}  // namespace tool
