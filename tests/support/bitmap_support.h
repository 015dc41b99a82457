// Test helpers for bitmaps: blocks built byte by byte, the row-size rule, the
// random bitmap maker with its reference decoder.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/zar_test.h"
#include "zar.h"

namespace zt {

using Bytes = std::vector<uint8_t>;

// Little-endian words of `size` bytes.
Bytes le(std::initializer_list<uint32_t> values, int size = 4);

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

// A bitmap made for a test: header, colour entries (or masks), the bits as stored (a
// run-length stream for compressions 1 and 2) and the rows an uncompressed bitmap of the
// same bit count would hold (memory order: bottom-up when biHeight > 0).
struct MadeDib {
    BITMAPINFOHEADER header;
    Bytes colors, bits, rows;
};

// A random bitmap of any bit count and compression: random or gray palettes of any
// length, random masks, random run-length streams using every command.
MadeDib randomDib(Rng& rng);

// The reference decoder, one pixel at a time from the rules: the palette index (1, 4 and
// 8 bits) and the working pixel (blue, green, red, alpha) at column x of memory row r.
int32_t referenceIndex(const MadeDib& d, int32_t x, int32_t r);
std::array<int32_t, 4> referencePixel(const MadeDib& d, int32_t x, int32_t r);

}  // namespace zt
