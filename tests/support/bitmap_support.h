// Test helpers for bitmaps: blocks built byte by byte, the row-size rule, the
// sample files under tests/data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/zar_test.h"
#include "zar.h"

namespace zt {

// Bytes of a bitmap row: width pixels of bitCount bits padded to 32 bits.
int32_t bmpRowSize(int32_t width, int32_t bitCount);

BITMAPINFOHEADER bmpHeader(int32_t width, int32_t height, uint16_t bitCount,
                           uint32_t compression = 0, uint32_t clrUsed = 0, uint32_t sizeImage = 0);

// Colour entries (blue, green, red, reserved) from 0xRRGGBB values.
std::vector<uint8_t> bmpPalette(const std::vector<uint32_t>& rgb);
// n entries of the gray ramp 255 * i / (n - 1).
std::vector<uint8_t> bmpGrayRamp(int32_t n);
// A bitmap block: header, colour entries, bits, in storage aligned for the
// header.  `bits` points at the bits inside the block.
class Dib {
  public:
    Dib(const BITMAPINFOHEADER& header, const std::vector<uint8_t>& colors,
        const std::vector<uint8_t>& bits);
    const BITMAPINFOHEADER* header() const {
        return reinterpret_cast<const BITMAPINFOHEADER*>(storage_.data());
    }
    BITMAPINFOHEADER* header() { return reinterpret_cast<BITMAPINFOHEADER*>(storage_.data()); }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(storage_.data()); }
    const uint8_t* bits() const { return bytes() + bitsOffset_; }
    size_t size() const { return size_; }
    // The same block as a whole .bmp file (14-byte "BM" header in front).
    std::vector<uint8_t> fileImage() const;

  private:
    std::vector<uint64_t> storage_;
    size_t size_ = 0, bitsOffset_ = 0;
};

// Owner of a translated image (frees what the library allocated).
struct Translated {
    ImageHeader* image = nullptr;
    int32_t cloneData = -1;
    Translated() = default;
    Translated(const Translated&) = delete;
    Translated& operator=(const Translated&) = delete;
    ~Translated() { zarDeallocate(image, ZAR_FREE_ALL); }
};

// Channel c of the pixel at picture position (x, y), y = 0 the top line,
// whatever the image's origin.
int32_t pictureSample(const ImageHeader* image, int32_t x, int32_t y, int32_t c);

// The recorder holds exactly these reports in this order (line 0: any positive line).
void expectReportList(const ErrorRecorder& errors, const std::vector<Report>& want);

// The reports of a failed run-length conversion: the decoder's (text, line),
// then the converter's.
std::vector<Report> rleFailure(const std::string& text, int32_t line);

// Contents of a file under tests/data.
std::vector<uint8_t> readTestData(const std::string& name);

}  // namespace zt
