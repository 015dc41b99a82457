#include "morph_support.h"

#include <algorithm>

#include "geometry_support.h"
#include "zar_test.h"

namespace mt {

void referenceMorph(const ImageHeader* src, ImageHeader* dst, int64_t n, bool dilate) {
    const gt::Region rs = gt::regionOf(src), rd = gt::regionOf(dst);
    const int64_t w = std::min(rs.width, rd.width), h = std::min(rs.height, rd.height);
    for (int32_t c = 0; c < rs.channels; ++c)
        for (int64_t j = 0; j < h; ++j)
            for (int64_t i = 0; i < w; ++i) {
                const int32_t x = static_cast<int32_t>(i), y = static_cast<int32_t>(j);
                if (!gt::maskAllows(src, x, y) || !gt::maskAllows(dst, x, y)) continue;
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
                        const double v = zt::borderSample(src, rs.x + xx, rs.y + yy,
                                                          rs.firstChannel + c);
                        best = dilate ? std::max(best, v) : std::min(best, v);
                    }
                zt::setSample(dst, rd.x + x, rd.y + y, rd.firstChannel + c, best);
            }
}

}  // namespace mt
