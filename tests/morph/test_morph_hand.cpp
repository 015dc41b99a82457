// Dilations and erosions worked by hand where a reference could go wrong alike:
// the one-pixel frame a region sees, border constants (per side, corners by
// the top and bottom rules, stored as the depth stores them), 1-bit images at
// odd offsets and iteration counts up to the largest.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "support/geometry_support.h"
#include "support/zar_test.h"

namespace {

double ramp(int32_t x, int32_t y) { return 4.0 * y + x + 1; }

// Each row fills a source of w x h with pixel(x, y) and the given borders
// (mode, constants top, bottom, left, right), gives source and destination
// (filled with 77) regions of sw x sh at (sx, sy) and (dx, dy) (sw 0: none),
// and reads the destination region row by row.
TEST(MorphHand, WorkedByHand) {
    const struct Row {
        const char* rule;
        bool dilate;
        int32_t n, depth, w, h;
        gt::Pixel pixel;
        int32_t mode, top, bottom, left, right, sx, sy, dx, dy, sw, sh;
        const char* expected;
    } rows[] = {
        {"dilate: the region sees its frame, not beyond", true, 3, ZAR_DEPTH_8U, 12, 12,
         [](int32_t x, int32_t y) {
             const int32_t at[][3] = {{2, 5, 250},  {5, 1, 240}, {9, 4, 230},
                                      {6, 10, 220}, {3, 6, 100}, {8, 7, 30}};
             for (const auto& p : at)
                 if (x == p[0] && y == p[1]) return double(p[2]);
             return 0.0;
         },
         0, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4,
         "100 100 100 30 / 100 100 100 30 / 100 100 100 30 / 100 100 100 30"},
        {"erode: the frame row below, not beyond", false, 3, ZAR_DEPTH_8U, 12, 12,
         [](int32_t x, int32_t y) {
             return x == 1 && y == 4 ? 1.0 : x == 5 && y == 9 ? 2.0 : x == 5 && y == 8 ? 50 : 200;
         },
         0, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4,
         "200 200 200 200 / 50 50 50 50 / 50 50 50 50 / 50 50 50 50"},
        {"constants per side; corners by top and bottom; 336 stored as 80", true, 1, ZAR_DEPTH_8U,
         3, 3, [](int32_t, int32_t) { return 50.0; }, 0, 60, 70, 336, 40, 0, 0, 0, 0, 0, 0,
         "80 60 60 / 80 50 50 / 80 70 70"},
        {"16-bit: 70000 stored as 4464", true, 1, ZAR_DEPTH_16U, 3, 3,
         [](int32_t x, int32_t y) {
             return std::array<double, 9>{1000, 2, 3, 4, 5, 6, 7, 8, 300}[3 * y + x];
         },
         0, 70000, 0, 0, 0, 0, 0, 0, 0, 0, 0, "4464 4464 4464 / 1000 1000 300 / 8 300 300"},
        {"replicate: erosion keeps the edge", false, 1, ZAR_DEPTH_8U, 4, 4, ramp, 1, 0, 0, 0, 0, 0,
         0, 0, 0, 0, 0, "1 1 2 3 / 1 1 2 3 / 5 5 6 7 / 9 9 10 11"},
        {"every iteration count sees the whole frame", true, 0x7FFFFFFF, ZAR_DEPTH_8U, 4, 4, ramp,
         0, 0, 0, 0, 0, 1, 1, 0, 0, 2, 2, "16 16 / 16 16"},
        {"1-bit dilation at odd offsets", true, 1, ZAR_DEPTH_1U, 21, 3,
         [](int32_t x, int32_t y) { return y == 1 ? double("000010000000110000001"[x] - '0') : 0; },
         0, 0, 0, 0, 0, 3, 0, 5, 0, 13, 3,
         "1 1 1 0 0 0 0 0 1 1 1 1 0 / 1 1 1 0 0 0 0 0 1 1 1 1 0 / 1 1 1 0 0 0 0 0 1 1 1 1 0"},
        {"1-bit erosion at odd offsets", false, 1, ZAR_DEPTH_1U, 21, 3,
         [](int32_t x, int32_t y) { return y == 1 && x == 7 ? 0.0 : 1; }, 0, 0, 0, 0, 0, 3, 0, 5, 0,
         13, 3,
         "0 0 0 0 0 0 0 0 0 0 0 0 0 / 1 1 1 0 0 0 1 1 1 1 1 1 1 / 0 0 0 0 0 0 0 0 0 0 0 0 0"},
        {"1-bit: an odd constant sets the frame", false, 1, ZAR_DEPTH_1U, 4, 2,
         [](int32_t, int32_t) { return 1.0; }, 0, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0,
         "1 1 1 1 / 1 1 1 1"},
        {"1-bit: an even constant clears it", false, 1, ZAR_DEPTH_1U, 4, 2,
         [](int32_t, int32_t) { return 1.0; }, 0, 3, 3, 2, 3, 0, 0, 0, 0, 0, 0,
         "0 1 1 1 / 0 1 1 1"},
    };
    for (const Row& r : rows) {
        zt::ErrorRecorder recorder;
        zt::Image src = gt::filled(r.depth, r.w, r.h, r.pixel);
        zt::Image dst(1, 0, r.depth, 0, r.w, r.h, 4, r.depth == ZAR_DEPTH_1U ? 1 : 77);
        const int32_t constants[4] = {r.top, r.bottom, r.left, r.right};
        for (int32_t side = 0; side < 4; ++side) {
            src->borderModes[side] = r.mode;
            src->borderValues[side] = constants[side];
        }
        if (r.sw) {
            src.setRoi(0, r.sx, r.sy, r.sw, r.sh);
            dst.setRoi(0, r.dx, r.dy, r.sw, r.sh);
        }
        (r.dilate ? zarDilate : zarErode)(src, dst, r.n);
        const std::string got = r.sw ? gt::regionText(dst, r.dx, r.dy, r.sw, r.sh)
                                     : gt::regionText(dst, 0, 0, r.w, r.h);
        EXPECT_EQ(got, r.expected) << r.rule;
        EXPECT_TRUE(recorder.reports().empty()) << r.rule;
    }
}

}  // namespace
