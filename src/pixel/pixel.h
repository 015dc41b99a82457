// Row kernels of Set and Copy: each fills or copies every row of a region
// through raw pointers; one is chosen per call by form and value size.
#pragma once

#include <cstdint>

// How the processed values of a region are laid out for a fill or a copy.
enum class PixelForm {
    Run,          // runValues consecutive values per row in each of planes planes
    Pixel,        // channels consecutive values per pixel, pixels nChannels values apart
    MaskedRun,    // under the mask: one value per pixel in each of planes planes
    MaskedPixel,  // under the mask: channels consecutive values per pixel
    Bits,         // 1-bit: width bits per row from a bit position
};

// A 1-bit mask region: mask row j pairs with region row j, pixel i of a row is
// bit bitOffset + i counted from the row's first byte.
struct MaskRows {
    const uint8_t* first;
    int64_t step;
    int32_t bitOffset;
};

struct FillJob {
    char* dst;              // first processed value of the region (1-bit: its row)
    int64_t step;           // bytes between rows
    int64_t planeStride;    // bytes between planes
    int32_t width, height;  // region in pixels
    int32_t nChannels;      // values per pixel in pixel order
    int32_t channels;       // processed channels per pixel
    int32_t planes;         // run forms: planes to visit
    int64_t runValues;      // run form: values per row and plane
    int32_t bitX;           // 1-bit: bit position of the region's first pixel
    uint32_t value;         // the saturated value's pattern
    MaskRows mask;
};

struct CopyJob {
    const char* src;
    char* dst;
    int64_t srcStep, dstStep;
    int64_t srcPlane, dstPlane;
    int32_t width, height;
    int32_t srcChannels, dstChannels;  // values per pixel of each image
    int32_t channels;                  // processed channels per pixel
    int32_t planes;
    int64_t runValues;
    int32_t srcBitX, dstBitX;
    MaskRows mask;
};

using FillKernel = void (*)(const FillJob& job);
using CopyKernel = void (*)(const CopyJob& job);

// valueSize: 1, 2 or 4 bytes (ignored for PixelForm::Bits).
FillKernel fillKernelFor(PixelForm form, int32_t valueSize);
CopyKernel copyKernelFor(PixelForm form, int32_t valueSize);
