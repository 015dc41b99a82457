// Shared by the tool's tests: running the zar command in a scratch folder, and
// pictures read (and, for TIFF, written) by the format libraries themselves.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tt {

struct ToolRun {
    int status;
    std::string err, out;
};

class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    ToolRun run(const std::string& args) const;  // `zar ARGS`, output captured
    std::filesystem::path dir_;
};

std::string slurp(const std::string& file);

// A picture in the file's own channel order: gray[, alpha] or red, green, blue[, alpha].
struct Pixels {
    int w = 0, h = 0, c = 0;
    int bits = 8;           // 8, 16, 32 (signed integers) or -32 (floats)
    std::vector<double> v;  // top line first
    double& at(int x, int y, int ch) { return v[(static_cast<size_t>(y) * w + x) * c + ch]; }
    bool operator==(const Pixels& o) const { return w == o.w && h == o.h && c == o.c && v == o.v; }
};

// Deterministic pixels over the depth's range; smooth ones suit JPEG.
Pixels pattern(int w, int h, int c, int bits, unsigned seed, bool smooth = false);

// Through libpng, libjpeg and libtiff; bitmaps as the library translates them
// (1-bit as 0/255).
Pixels readPng(const std::string& file);
Pixels readJpeg(const std::string& file);
Pixels readTiff(const std::string& file);
void writeTiff(const Pixels& p, const std::string& file);
Pixels readBitmap(const std::string& bytes);

}  // namespace tt
