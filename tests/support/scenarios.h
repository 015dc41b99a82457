// Representative operands for the operation catalogue, made afresh for every
// call: plain three-channel images; masks on every image, each another; the
// same with 1-bit images; a tiled source and destination in plane order; in
// place on a tiled image; floating point.  Each has Remap's maps and a
// run-length bitmap block.
#pragma once

#include <memory>
#include <vector>

#include "support/operations.h"
#include "support/scenario.h"

namespace zt {

constexpr int32_t kScenarioCount = 6;

class Scenario {
  public:
    explicit Scenario(int32_t index);
    ~Scenario();
    Scenario(const Scenario&) = delete;
    Scenario& operator=(const Scenario&) = delete;

    Operands operands;
    // Every pixel the operands and their masks hold, and the samples of the header a call made.
    std::vector<uint8_t> snapshot() const;

  private:
    ImageHeader* add(int32_t channels, int32_t depth, int32_t order, int32_t width, int32_t height,
                     int32_t tileWidth = 0, int32_t maskX = -1);

    std::vector<std::unique_ptr<Operand>> images_;
    struct {
        BITMAPINFOHEADER header{40, 4, 2, 1, 8, 1, 10, 0, 0, 2, 0};
        uint8_t colors[8] = {0, 0, 0, 0, 255, 255, 255, 0};
        uint8_t runs[10] = {2, 0, 2, 1, 0, 0, 4, 1, 0, 1};  // 4 x 2 pixels, run-length coded
    } rle_;
};

}  // namespace zt
