#include "morph_support.h"

#include <algorithm>

#include "zar_test.h"

namespace mt {

namespace {

struct Region {
    int64_t x, y, width, height;
};

// The roi clipped to the image, cut to the mask's clipped region.
Region regionOf(const ImageHeader* image) {
    auto clipped = [](const ImageHeader* im) {
        if (!im->roi) return Region{0, 0, im->width, im->height};
        const Roi& r = *im->roi;
        return Region{r.xOffset, r.yOffset, std::min<int64_t>(r.width, im->width - r.xOffset),
                      std::min<int64_t>(r.height, im->height - r.yOffset)};
    };
    Region region = clipped(image);
    if (image->maskImage) {
        const Region mask = clipped(image->maskImage);
        region.width = std::min(region.width, mask.width);
        region.height = std::min(region.height, mask.height);
    }
    return region;
}

bool maskAllows(const ImageHeader* image, int64_t i, int64_t j) {
    const ImageHeader* mask = image->maskImage;
    if (!mask) return true;
    const int32_t mx = mask->roi ? mask->roi->xOffset : 0;
    const int32_t my = mask->roi ? mask->roi->yOffset : 0;
    return zt::getSample(mask, static_cast<int32_t>(mx + i), static_cast<int32_t>(my + j), 0) != 0;
}

void channelsOf(const ImageHeader* image, int32_t* first, int32_t* last) {
    const int32_t coi = image->roi ? image->roi->coi : 0;
    *first = coi ? coi - 1 : 0;
    *last = coi ? coi - 1 : image->nChannels - 1 - (image->alphaChannel ? 1 : 0);
}

}  // namespace

void referenceMorph(const ImageHeader* src, ImageHeader* dst, int64_t n, bool dilate) {
    const Region rs = regionOf(src), rd = regionOf(dst);
    const int64_t w = std::min(rs.width, rd.width), h = std::min(rs.height, rd.height);
    if (w < 1 || h < 1) return;
    int32_t sFirst, sLast, dFirst, dLast;
    channelsOf(src, &sFirst, &sLast);
    channelsOf(dst, &dFirst, &dLast);
    for (int32_t sc = sFirst, dc = dFirst; sc <= sLast; ++sc, ++dc)
        for (int64_t j = 0; j < h; ++j)
            for (int64_t i = 0; i < w; ++i) {
                if (!maskAllows(src, i, j) || !maskAllows(dst, i, j)) continue;
                // The square around (i, j), each position past the region's
                // one-pixel frame taken at the nearest frame position: since
                // the clamp is monotone, the clamped rows and columns are the
                // ranges between the clamped ends.
                const int64_t y0 = std::clamp<int64_t>(j - n, -1, h),
                              y1 = std::clamp<int64_t>(j + n, -1, h);
                const int64_t x0 = std::clamp<int64_t>(i - n, -1, w),
                              x1 = std::clamp<int64_t>(i + n, -1, w);
                double best = dilate ? -1.0 : 1e9;
                for (int64_t yy = y0; yy <= y1; ++yy)
                    for (int64_t xx = x0; xx <= x1; ++xx) {
                        const double v = zt::borderSample(src, rs.x + xx, rs.y + yy, sc);
                        best = dilate ? std::max(best, v) : std::min(best, v);
                    }
                zt::setSample(dst, static_cast<int32_t>(rd.x + i), static_cast<int32_t>(rd.y + j),
                              dc, best);
            }
}

}  // namespace mt
