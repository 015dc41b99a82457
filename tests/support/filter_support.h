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

// The value at (x, y) of a plain image, positions outside the image given by
// its border modes and constants (top and bottom rules cover the corners).
double borderSample(const ImageHeader* plain, int32_t x, int32_t y, int32_t channel);

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

// A new plain image with the format and pixels of image (no roi, no mask).
zt::Image copyOf(const ImageHeader* image);

// Number of differing channel values over the whole images; the first few are
// described in *where.
int32_t countDifferences(const ImageHeader* expected, const ImageHeader* actual,
                         std::string* where);

// Expects no differing value; what names the case in the message.
void expectSame(const ImageHeader* expected, const ImageHeader* actual, const std::string& what);

// Sets every channel value of a plain image.
void fill(ImageHeader* image, double value);

// The integer part of a * b, computed exactly (long double holds 64 bits).
int64_t exactIntegerPart(int64_t a, float b);

// Round half to even of s / 2^shift, by the definition.
int64_t divideHalfEven(int64_t s, int32_t shift);

// The range of an integer depth.
int64_t depthMin(int32_t depth);
int64_t depthMax(int32_t depth);

// While alive, image uses the roi and mask of owner (so a copy of the pixels
// describes the same region); they are handed back before either is freed.
struct Borrowed {
    ImageHeader* image;
    Borrowed(ImageHeader* borrower, const ImageHeader* owner) : image(borrower) {
        image->roi = owner->roi;
        image->maskImage = owner->maskImage;
    }
    ~Borrowed() {
        image->roi = nullptr;
        image->maskImage = nullptr;
    }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;
};

// Sets every border mode and constant of an image.
void setBorders(ImageHeader* image, const int32_t modes[4], const int32_t values[4]);

// Gives image a new 1-bit mask of the given size with random bits (about
// three in four set); the image's owner frees it.
ImageHeader* attachRandomMask(ImageHeader* image, int32_t width, int32_t height, uint32_t seed);

}  // namespace ft
