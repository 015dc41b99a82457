// The images the zar tool works on, and the conversions between their shapes.
//
// Every image a format reader returns is pixel-ordered with 1 (gray), 2
// (gray, alpha), 3 (blue, green, red) or 4 (blue, green, red, alpha) channels
// of depth 8U, 16U, 32S or 32F.  Its rows run top line first, except a
// bottom-up bitmap's, which the library references in place in the file's
// bytes: operations turn those top line first, a conversion need not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "zar.h"

namespace tool {

// A user mistake or an unusable input, said in the user's words on one line.
struct UserError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Bytes not cleared on allocation: a file's contents, mapped or read.
using Bytes = std::shared_ptr<unsigned char[]>;

// Owner of an image made by the library.  When backing is given, the pixels
// live in those bytes (a bitmap read in place) and only the header is freed.
class OwnedImage {
  public:
    OwnedImage() = default;
    explicit OwnedImage(ImageHeader* image, Bytes backing = nullptr)
        : image_(image), backing_(std::move(backing)) {}
    ~OwnedImage() { reset(); }
    OwnedImage(OwnedImage&& other) noexcept
        : image_(other.image_), backing_(std::move(other.backing_)) {
        other.image_ = nullptr;
    }
    OwnedImage& operator=(OwnedImage&& other) noexcept;
    OwnedImage(const OwnedImage&) = delete;
    OwnedImage& operator=(const OwnedImage&) = delete;
    ImageHeader* get() const { return image_; }
    ImageHeader* operator->() const { return image_; }
    void reset();

  private:
    ImageHeader* image_ = nullptr;
    Bytes backing_;
};

// A new pixel-ordered, top-left image of 1 to 4 channels (2 and 4 carry
// alpha last), pixels cleared to 0.
OwnedImage newImage(int32_t nChannels, int32_t depth, int32_t width, int32_t height);
// An image of the same shape as image with the given size, pixels 0.
OwnedImage newLike(const ImageHeader* image, int32_t width, int32_t height);
// An image of the same shape and pixels.
OwnedImage duplicate(const ImageHeader* image);

bool hasAlpha(const ImageHeader* image);
// The colour channels: 1 for gray, 3 for colour.
int32_t colourChannels(const ImageHeader* image);
// "8-bit", "16-bit", "32-bit integer", "32-bit float".
std::string depthName(int32_t depth);
size_t bytesPerSample(int32_t depth);
// Bytes of one row of samples without padding.
size_t rowBytes(const ImageHeader* image);

// Turns a bottom-up image's rows top line first, in place.
void makeTopDown(ImageHeader* image);
// A plane-ordered image turned into the pixel order (same channels and depth).
OwnedImage toPixelOrder(const ImageHeader* image);
// A 1-bit image as an 8-bit one of 0 and 255.
OwnedImage expandBits(const ImageHeader* image);

// image in the given channels (1 to 4, as above) and depth: the image itself
// when it already is, else a converted copy kept in holder.  Gray becomes
// colour by repeating it, colour becomes gray as (77 R + 151 G + 28 B) / 256,
// a missing alpha is opaque.  Between 8- and 16-bit samples the full ranges
// map onto each other; float 0..1 is the full range of 8- and 16-bit
// samples; 32-bit integers keep their values (saturated where they must).
const ImageHeader* shaped(const ImageHeader* image, int32_t nChannels, int32_t depth,
                          OwnedImage& holder);

// Swaps the first and third value of every pixel of a row of n pixels of
// the given channel count (blue-green-red <-> red-green-blue).
void swapRedBlue(void* row, size_t pixels, int32_t nChannels, size_t sampleBytes);

// Start of a row in memory.
inline char* rowOf(const ImageHeader* image, int32_t y) {
    return image->imageData + static_cast<ptrdiff_t>(y) * image->widthStep;
}
// Start of row y of the picture, counted from its top line.
inline char* pictureRow(const ImageHeader* image, int32_t y) {
    return rowOf(image, image->origin == ZAR_ORIGIN_BL ? image->height - 1 - y : y);
}

// Pointers to the rows of the picture, top line first, as a format library takes them.
template <typename Row>
std::vector<Row> pictureRows(const ImageHeader* image) {
    std::vector<Row> rows(static_cast<size_t>(image->height));
    for (int32_t y = 0; y < image->height; ++y)
        rows[y] = reinterpret_cast<Row>(pictureRow(image, y));
    return rows;
}

}  // namespace tool
