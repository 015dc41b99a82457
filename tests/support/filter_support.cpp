#include "filter_support.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

namespace ft {

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

}  // namespace ft
