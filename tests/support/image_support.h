// Helpers of the frame and image tests that other areas may use too.
#pragma once

#include <string>

#include "zar_test.h"

namespace zt {

// The recorder holds exactly one report, with these five values.
void expectReport(const ErrorRecorder& recorder, ZarStatus status, const std::string& func,
                  const std::string& context, const std::string& file, int32_t line);

}  // namespace zt
