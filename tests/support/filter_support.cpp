#include "filter_support.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

namespace ft {

namespace {

int32_t mapCoordinate(int32_t mode, int32_t c, int32_t n) {
    switch (mode) {
        case ZAR_BORDER_REPLICATE:
            return c < 0 ? 0 : c >= n ? n - 1 : c;
        case ZAR_BORDER_REFLECT: {
            int32_t m = ((c % (2 * n)) + 2 * n) % (2 * n);
            return m >= n ? 2 * n - 1 - m : m;
        }
        default:
            return ((c % n) + n) % n;  // wrap
    }
}

double constantSample(int32_t depth, int32_t value) {
    switch (depth) {
        case ZAR_DEPTH_1U:
            return value & 1;
        case ZAR_DEPTH_8U:
            return static_cast<uint8_t>(value);
        case ZAR_DEPTH_8S:
            return static_cast<int8_t>(value);
        case ZAR_DEPTH_16U:
            return static_cast<uint16_t>(value);
        case ZAR_DEPTH_16S:
            return static_cast<int16_t>(value);
        case ZAR_DEPTH_32F:
            return static_cast<float>(value);
        default:
            return value;
    }
}

}  // namespace

double borderSample(const ImageHeader* image, int32_t x, int32_t y, int32_t channel) {
    const int32_t w = image->width, h = image->height;
    int32_t side = y < 0 ? 0 : y >= h ? 1 : x < 0 ? 2 : x >= w ? 3 : -1;
    if (side < 0) return zt::getSample(image, x, y, channel);
    const int32_t mode = image->borderModes[side] & 3;
    if (mode == ZAR_BORDER_CONSTANT) return constantSample(image->depth, image->borderValues[side]);
    x = mapCoordinate(mode, x, w);
    if (side < 2) y = mapCoordinate(mode, y, h);
    return zt::getSample(image, x, y, channel);
}

Region regionOf(const ImageHeader* image) {
    Region r{0, 0, image->width, image->height, 0, image->nChannels};
    if (image->alphaChannel) r.channels = image->nChannels - 1;
    if (const Roi* roi = image->roi) {
        r.x = roi->xOffset;
        r.y = roi->yOffset;
        r.width = std::min(roi->width, image->width - roi->xOffset);
        r.height = std::min(roi->height, image->height - roi->yOffset);
        if (roi->coi) {
            r.firstChannel = roi->coi - 1;
            r.channels = 1;
        }
    }
    return r;
}

void processedSize(const ImageHeader* src, const ImageHeader* dst, int32_t* w, int32_t* h) {
    const Region s = regionOf(src), d = regionOf(dst);
    *w = std::min(s.width, d.width);
    *h = std::min(s.height, d.height);
    for (const ImageHeader* mask : {src->maskImage, dst->maskImage})
        if (mask) {
            *w = std::min(*w, regionOf(mask).width);
            *h = std::min(*h, regionOf(mask).height);
        }
}

bool maskAllows(const ImageHeader* image, int32_t i, int32_t j) {
    const ImageHeader* mask = image->maskImage;
    if (!mask) return true;
    const Region r = regionOf(mask);
    return zt::getSample(mask, r.x + i, r.y + j, 0) != 0;
}

zt::Image copyOf(const ImageHeader* image) {
    zt::Image copy(image->nChannels, image->alphaChannel, image->depth, image->dataOrder,
                   image->width, image->height, image->align);
    for (int32_t c = 0; c < image->nChannels; ++c)
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x)
                zt::setSample(copy.get(), x, y, c, zt::getSample(image, x, y, c));
    for (int i = 0; i < 4; ++i) {
        copy->borderModes[i] = image->borderModes[i];
        copy->borderValues[i] = image->borderValues[i];
    }
    return copy;
}

int32_t countDifferences(const ImageHeader* expected, const ImageHeader* actual,
                         std::string* where) {
    std::ostringstream out;
    int32_t count = 0;
    for (int32_t c = 0; c < expected->nChannels; ++c)
        for (int32_t y = 0; y < expected->height; ++y)
            for (int32_t x = 0; x < expected->width; ++x) {
                double e = zt::getSample(expected, x, y, c), a = zt::getSample(actual, x, y, c);
                if (e == a || (std::isnan(e) && std::isnan(a))) continue;
                if (count++ < 5)
                    out << " (" << x << "," << y << ",c" << c << "): expected " << e << " got " << a
                        << ";";
            }
    if (where) *where = out.str();
    return count;
}

void expectSame(const ImageHeader* expected, const ImageHeader* actual, const std::string& what) {
    std::string where;
    EXPECT_EQ(countDifferences(expected, actual, &where), 0) << what << where;
}

void fill(ImageHeader* image, double value) {
    for (int32_t c = 0; c < image->nChannels; ++c)
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x) zt::setSample(image, x, y, c, value);
}

int64_t exactIntegerPart(int64_t a, float b) {
    long double product = static_cast<long double>(a) * static_cast<long double>(b);
    return static_cast<int64_t>(std::trunc(product));
}

int64_t divideHalfEven(int64_t s, int32_t shift) {
    const int64_t d = int64_t{1} << shift;
    int64_t q = s >= 0 ? s / d : -((-s + d - 1) / d);  // floor
    int64_t r = s - q * d;
    if (2 * r > d || (2 * r == d && (q & 1))) ++q;
    return q;
}

int64_t depthMin(int32_t depth) {
    switch (depth) {
        case ZAR_DEPTH_8S:
            return -128;
        case ZAR_DEPTH_16S:
            return -32768;
        case ZAR_DEPTH_32S:
            return INT32_MIN;
        default:
            return 0;
    }
}

int64_t depthMax(int32_t depth) {
    switch (depth) {
        case ZAR_DEPTH_1U:
            return 1;
        case ZAR_DEPTH_8U:
            return 255;
        case ZAR_DEPTH_8S:
            return 127;
        case ZAR_DEPTH_16U:
            return 65535;
        case ZAR_DEPTH_16S:
            return 32767;
        default:
            return INT32_MAX;
    }
}

void setBorders(ImageHeader* image, const int32_t modes[4], const int32_t values[4]) {
    for (int i = 0; i < 4; ++i) {
        image->borderModes[i] = modes[i];
        image->borderValues[i] = values[i];
    }
}

ImageHeader* attachRandomMask(ImageHeader* image, int32_t width, int32_t height, uint32_t seed) {
    ImageHeader* mask = zt::newImage(1, 0, ZAR_DEPTH_1U, ZAR_DATA_ORDER_PIXEL, width, height);
    zt::Rng rng(seed);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) zt::setSample(mask, x, y, 0, (rng.next() & 3) != 0);
    image->maskImage = mask;
    return mask;
}

}  // namespace ft
