#include "image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tool {

OwnedImage& OwnedImage::operator=(OwnedImage&& other) noexcept {
    if (this != &other) {
        reset();
        image_ = other.image_;
        backing_ = std::move(other.backing_);
        other.image_ = nullptr;
    }
    return *this;
}

void OwnedImage::reset() {
    if (image_) {
        // Regions and masks belong to the tool's own frames: detach them first.
        image_->roi = nullptr;
        image_->maskImage = nullptr;
        zarDeallocate(image_, backing_ ? ZAR_FREE_HEADER : ZAR_FREE_ALL);
    }
    image_ = nullptr;
    backing_.reset();
}

OwnedImage newImage(int32_t nChannels, int32_t depth, int32_t width, int32_t height) {
    static const char* const models[] = {"GRAY", "GRAY", "RGB", "RGBA"};
    // The header copies four bytes of each name.
    static const char* const sequences[] = {"GRAY", "GA\0", "BGR", "BGRA"};
    int32_t alpha = nChannels == 2 || nChannels == 4 ? nChannels : 0;
    OwnedImage image(zarCreateImageHeader(nChannels, alpha, depth, models[nChannels - 1],
                                          sequences[nChannels - 1], ZAR_DATA_ORDER_PIXEL,
                                          ZAR_ORIGIN_TL, ZAR_ALIGN_4BYTES, width, height, nullptr,
                                          nullptr, nullptr, nullptr));
    if (!image.get())
        throw UserError("cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                        " image");
    if (depth == ZAR_DEPTH_32F)
        zarAllocateImageFP(image.get(), 1, 0.0f);
    else
        zarAllocateImage(image.get(), 1, 0);
    if (!image->imageData) throw UserError("out of memory");
    return image;
}

OwnedImage newLike(const ImageHeader* image, int32_t width, int32_t height) {
    OwnedImage copy = newImage(image->nChannels, image->depth, width, height);
    std::memcpy(copy->borderModes, image->borderModes, sizeof image->borderModes);
    std::memcpy(copy->borderValues, image->borderValues, sizeof image->borderValues);
    return copy;
}

OwnedImage duplicate(const ImageHeader* image) {
    OwnedImage copy = newLike(image, image->width, image->height);
    size_t bytes = rowBytes(image);
    for (int32_t y = 0; y < image->height; ++y)
        std::memcpy(rowOf(copy.get(), y), pictureRow(image, y), bytes);
    return copy;
}

bool hasAlpha(const ImageHeader* image) { return image->alphaChannel != 0; }

int32_t colourChannels(const ImageHeader* image) {
    return image->nChannels - (hasAlpha(image) ? 1 : 0);
}

std::string depthName(int32_t depth) {
    switch (depth) {
        case ZAR_DEPTH_1U:
            return "1-bit";
        case ZAR_DEPTH_8U:
            return "8-bit";
        case ZAR_DEPTH_16U:
            return "16-bit";
        case ZAR_DEPTH_32S:
            return "32-bit integer";
        case ZAR_DEPTH_32F:
            return "32-bit float";
        default:
            return "signed " + std::to_string(depth & 0x7FFFFFFF) + "-bit";
    }
}

size_t bytesPerSample(int32_t depth) { return static_cast<size_t>((depth & 0x7FFFFFFF) / 8); }

size_t rowBytes(const ImageHeader* image) {
    return static_cast<size_t>(image->width) * image->nChannels * bytesPerSample(image->depth);
}

void makeTopDown(ImageHeader* image) {
    if (image->origin != ZAR_ORIGIN_BL) return;
    image->origin = ZAR_ORIGIN_TL;
    std::vector<char> scratch(rowBytes(image));
    for (int32_t top = 0, bottom = image->height - 1; top < bottom; ++top, --bottom) {
        std::memcpy(scratch.data(), rowOf(image, top), scratch.size());
        std::memcpy(rowOf(image, top), rowOf(image, bottom), scratch.size());
        std::memcpy(rowOf(image, bottom), scratch.data(), scratch.size());
    }
}

namespace {

template <typename T>
void interleave(const ImageHeader* planes, ImageHeader* pixels) {
    const int32_t channels = planes->nChannels;
    const ptrdiff_t planeStep = static_cast<ptrdiff_t>(planes->height) * planes->widthStep;
    for (int32_t y = 0; y < planes->height; ++y) {
        T* out = reinterpret_cast<T*>(rowOf(pixels, y));
        for (int32_t c = 0; c < channels; ++c) {
            const T* in = reinterpret_cast<const T*>(rowOf(planes, y) + c * planeStep);
            for (int32_t x = 0; x < planes->width; ++x) out[x * channels + c] = in[x];
        }
    }
}

}  // namespace

OwnedImage toPixelOrder(const ImageHeader* image) {
    OwnedImage out = newImage(image->nChannels, image->depth, image->width, image->height);
    switch (bytesPerSample(image->depth)) {
        case 1:
            interleave<uint8_t>(image, out.get());
            break;
        case 2:
            interleave<uint16_t>(image, out.get());
            break;
        default:
            interleave<uint32_t>(image, out.get());
    }
    out->origin = image->origin;
    return out;
}

OwnedImage expandBits(const ImageHeader* image) {
    OwnedImage out = newImage(1, ZAR_DEPTH_8U, image->width, image->height);
    for (int32_t y = 0; y < image->height; ++y) {
        const auto* in = reinterpret_cast<const uint8_t*>(rowOf(image, y));
        auto* row = reinterpret_cast<uint8_t*>(rowOf(out.get(), y));
        for (int32_t x = 0; x < image->width; ++x)
            row[x] = (in[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
    }
    out->origin = image->origin;
    return out;
}

void swapRedBlue(void* row, size_t pixels, int32_t nChannels, size_t sampleBytes) {
    auto* p = static_cast<unsigned char*>(row);
    const size_t step = nChannels * sampleBytes, third = 2 * sampleBytes;
    unsigned char t[4];
    for (size_t i = 0; i < pixels; ++i, p += step) {
        std::memcpy(t, p, sampleBytes);
        std::memcpy(p, p + third, sampleBytes);
        std::memcpy(p + third, t, sampleBytes);
    }
}

namespace {

// The value that stands for "full" in a depth: white, or opaque.  32-bit
// integers are taken as they are, so their scale is 1.
double fullScale(int32_t depth) {
    switch (depth) {
        case ZAR_DEPTH_8U:
            return 255;
        case ZAR_DEPTH_16U:
            return 65535;
        default:
            return 1;
    }
}

void loadRow(const ImageHeader* image, int32_t y, double* out) {
    const char* row = pictureRow(image, y);
    const size_t n = static_cast<size_t>(image->width) * image->nChannels;
    for (size_t i = 0; i < n; ++i) {
        switch (image->depth) {
            case ZAR_DEPTH_8U:
                out[i] = reinterpret_cast<const uint8_t*>(row)[i];
                break;
            case ZAR_DEPTH_16U:
                out[i] = reinterpret_cast<const uint16_t*>(row)[i];
                break;
            case ZAR_DEPTH_32S:
                out[i] = reinterpret_cast<const int32_t*>(row)[i];
                break;
            default:
                out[i] = reinterpret_cast<const float*>(row)[i];
        }
    }
}

template <typename T>
T saturate(double v, double low, double high) {
    return static_cast<T>(std::nearbyint(std::clamp(v, low, high)));
}

void storeRow(ImageHeader* image, int32_t y, const double* in) {
    char* row = rowOf(image, y);
    const size_t n = static_cast<size_t>(image->width) * image->nChannels;
    for (size_t i = 0; i < n; ++i) {
        switch (image->depth) {
            case ZAR_DEPTH_8U:
                reinterpret_cast<uint8_t*>(row)[i] = saturate<uint8_t>(in[i], 0, 255);
                break;
            case ZAR_DEPTH_16U:
                reinterpret_cast<uint16_t*>(row)[i] = saturate<uint16_t>(in[i], 0, 65535);
                break;
            case ZAR_DEPTH_32S:
                reinterpret_cast<int32_t*>(row)[i] = saturate<int32_t>(in[i], -2147483648.0,
                                                                       2147483647.0);
                break;
            default:
                reinterpret_cast<float*>(row)[i] = static_cast<float>(in[i]);
        }
    }
}

// One pixel from blue, green, red, alpha into a channel layout.
void storePixel(const double bgra[4], int32_t nChannels, double* out) {
    if (nChannels <= 2) {
        out[0] = (77 * bgra[2] + 151 * bgra[1] + 28 * bgra[0]) / 256;
        if (nChannels == 2) out[1] = bgra[3];
    } else {
        std::copy(bgra, bgra + nChannels, out);
    }
}

}  // namespace

const ImageHeader* shaped(const ImageHeader* image, int32_t nChannels, int32_t depth,
                          OwnedImage& holder) {
    if (image->nChannels == nChannels && image->depth == depth) return image;
    holder = newImage(nChannels, depth, image->width, image->height);
    const double scale = fullScale(depth) / fullScale(image->depth);
    const double opaque = fullScale(image->depth);
    const int32_t from = image->nChannels;
    const bool gray = from <= 2;
    std::vector<double> in(static_cast<size_t>(image->width) * from);
    std::vector<double> out(static_cast<size_t>(image->width) * nChannels);
    for (int32_t y = 0; y < image->height; ++y) {
        loadRow(image, y, in.data());
        for (int32_t x = 0; x < image->width; ++x) {
            const double* p = &in[static_cast<size_t>(x) * from];
            double bgra[4] = {p[0], gray ? p[0] : p[1], gray ? p[0] : p[2],
                              from == 2   ? p[1]
                              : from == 4 ? p[3]
                                          : opaque};
            for (double& v : bgra) v *= scale;
            double* q = &out[static_cast<size_t>(x) * nChannels];
            if (gray && nChannels <= 2) {  // gray stays exactly gray
                q[0] = bgra[0];
                if (nChannels == 2) q[1] = bgra[3];
            } else {
                storePixel(bgra, nChannels, q);
            }
        }
        storeRow(holder.get(), y, out.data());
    }
    return holder.get();
}

}  // namespace tool
