// Test helpers of the neighbourhood filters: border sampling by the border
// rules, written independently of the transfer engine, and image comparison.
#pragma once

#include <cstdint>
#include <string>

#include "zar_test.h"

namespace ft {

inline constexpr int32_t kAllDepths[] = {ZAR_DEPTH_1U,  ZAR_DEPTH_8U,  ZAR_DEPTH_8S, ZAR_DEPTH_16U,
                                         ZAR_DEPTH_16S, ZAR_DEPTH_32S, ZAR_DEPTH_32F};
inline constexpr int32_t kReplicate[4] = {1, 1, 1, 1};
inline constexpr int32_t kZeros[4] = {0, 0, 0, 0};

// An image's region clipped at the far edges and its processed channels (the
// coi, or all but the alpha channel), 0-based.
struct Region {
    int32_t x, y, width, height;
    int32_t firstChannel, channels;
};
Region regionOf(const ImageHeader* image);

// The processed size of an operation from src into dst: the smallest clipped
// region of the two images and of their masks.
void processedSize(const ImageHeader* src, const ImageHeader* dst, int32_t* w, int32_t* h);

// Whether the mask bit of region position (i, j) allows writing (true without
// a mask).
bool maskAllows(const ImageHeader* image, int32_t i, int32_t j);

// The integer part of a * b, computed exactly (long double holds 64 bits).
int64_t exactIntegerPart(int64_t a, float b);

// Round half to even of s / 2^shift, by the definition.
int64_t divideHalfEven(int64_t s, int32_t shift);

// The range of an integer depth.
int64_t depthMin(int32_t depth);
int64_t depthMax(int32_t depth);

// Sets every border mode and constant of an image.
void setBorders(ImageHeader* image, const int32_t modes[4], const int32_t values[4]);

}  // namespace ft
