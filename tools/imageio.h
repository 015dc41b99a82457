// Reading and writing image files for the zar tool.  The library reads no file:
// BMP files are handed to zarTranslateDIBBlock, PGM/PPM/PFM are parsed here.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "zar.h"

namespace tool {

// A user mistake or unusable input; main prints it as one line and exits with 2.
struct UserError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Makes the library's reports arrive as one line on stderr: the first report
// of each call (an inner failure is often reported again by its caller).
void installErrorReporting();
// Clears the status word and the one-report latch before a library call.
void beginLibraryCall();

// Owner of an image made by the library (header, pixels, roi and mask).
class OwnedImage {
  public:
    OwnedImage() = default;
    explicit OwnedImage(ImageHeader* image) : image_(image) {}
    ~OwnedImage() { reset(); }
    OwnedImage(OwnedImage&& other) noexcept : image_(other.release()) {}
    OwnedImage& operator=(OwnedImage&& other) noexcept {
        if (this != &other) {
            reset();
            image_ = other.release();
        }
        return *this;
    }
    OwnedImage(const OwnedImage&) = delete;
    OwnedImage& operator=(const OwnedImage&) = delete;
    ImageHeader* get() const { return image_; }
    ImageHeader* operator->() const { return image_; }
    ImageHeader* release() {
        ImageHeader* p = image_;
        image_ = nullptr;
        return p;
    }
    void reset();

  private:
    ImageHeader* image_ = nullptr;
};

std::vector<unsigned char> readFile(const std::string& path);

// A plain, pixel-ordered, top-left image of 1 or 3 channels, 8U or 16U (or
// 32F one channel for maps): the shape every command works on.
OwnedImage newCanonical(int32_t nChannels, int32_t depth, int32_t width, int32_t height);
// Same format and size as image, fresh pixels filled with 0.
OwnedImage newLike(const ImageHeader* image, int32_t width, int32_t height);

// Any image the library can describe, turned into the canonical shape: 1-bit
// becomes 0/255, an alpha channel is dropped, plane order and bottom-left
// origin are undone.
OwnedImage canonicalize(const ImageHeader* image);

// Loads BMP (through the library), PGM/PPM (P5/P6, 8 or 16 bit) and PFM
// (Pf/PF, maps).  Throws UserError with a clear message.
OwnedImage loadImage(const std::string& path);
// The image the library builds for a BMP held in memory, as it is (any layout);
// release it with releaseTranslated.  Throws UserError.
ImageHeader* translateBitmap(const unsigned char* bytes, size_t size, const std::string& name,
                             int32_t* cloneData);
void releaseTranslated(ImageHeader* image, int32_t cloneData);
// Translates a BMP held in memory into the canonical shape.
OwnedImage loadBitmap(const unsigned char* bytes, size_t size, const std::string& name);

// Saves by extension: .bmp (8-bit gray palette or 24-bit), .pgm/.ppm.  Writes a
// temporary file and renames it, so no partial output is left.
void saveImage(const ImageHeader* image, const std::string& path);

// Prints the header fields.
std::string describe(const ImageHeader* image);

// One channel value of a plain image of any layout and depth.
double sampleAt(const ImageHeader* image, int32_t x, int32_t y, int32_t channel);
void storeAt(ImageHeader* image, int32_t x, int32_t y, int32_t channel, double value);

}  // namespace tool
