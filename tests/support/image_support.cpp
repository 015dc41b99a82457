#include "image_support.h"

#include <gtest/gtest.h>

namespace zt {

void expectReport(const ErrorRecorder& recorder, ZarStatus status, const std::string& func,
                  const std::string& context, const std::string& file, int32_t line) {
    Report r = recorder.only();
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.func, func);
    EXPECT_EQ(r.context, context);
    EXPECT_EQ(r.file, file);
    EXPECT_EQ(r.line, line);
}

}  // namespace zt
