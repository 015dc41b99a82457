// libFuzzer target: arbitrary bytes as a bitmap block or a whole .bmp file,
// translated in return mode.  The address and undefined-behaviour sanitizers
// catch any read past the input or write past an image; every returned image
// is read whole (its imageSize bytes) and released.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zar.h"

namespace {

// Bitmaps of more than this many pixels are skipped: a few bytes of
// run-length stream may describe gigabytes of rows, which would only measure
// the allocator against the fuzzer's memory limit.
constexpr int64_t kMaxPixels = int64_t{1} << 20;

bool tooLarge(const uint8_t* data, size_t size) {
    const size_t at = size >= 2 && data[0] == 'B' && data[1] == 'M' ? 14 : 0;
    if (size < at + 12) return false;
    int32_t width, height;
    std::memcpy(&width, data + at + 4, 4);
    std::memcpy(&height, data + at + 8, 4);
    return std::llabs(static_cast<int64_t>(width)) * std::llabs(static_cast<int64_t>(height)) >
           kMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarSetErrorMode(ZAR_ERRMODE_RETURN);
    if (tooLarge(data, size)) return 0;
    int32_t cloneData = -1;
    ImageHeader* image = zarTranslateDIBBlock(data, size, &cloneData);
    if (image == nullptr) return 0;
    if (cloneData != 0 && cloneData != 1) std::abort();
    volatile uint8_t sum = 0;
    for (int32_t i = 0; i < image->imageSize; ++i)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(image->imageData[i]));
    // A referenced image's pixels belong to the input: free only the header.
    zarDeallocate(image, cloneData ? ZAR_FREE_ALL : ZAR_FREE_HEADER);
    return 0;
}
