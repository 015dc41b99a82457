// `zar demo`: every operation on the built-in sample, with a gallery page.
#pragma once

#include <string>

namespace tool {

int runDemo(const std::string& directory);

}  // namespace tool
