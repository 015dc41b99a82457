// Resize: scales by any rational factors, handing the whole call either to
// decimation (super-sampling) or to the zoom engine (every other mode).
#include "geometry.h"
#include "geometry/zoom.h"

ZarStatus ZAR_STDCALL zarResize(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst,
                                int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate) {
    if (interpolate == ZAR_INTER_SUPER) {
        // Area averaging only shrinks.
        if (xDst > xSrc || yDst > ySrc)
            return zarReportError(
                STATUS_BAD_ARG, "zarResize",
                "(interpolate == ZAR_INTER_SUPER) && (xDst > xSrc || yDst > ySrc)", "zarresiz", 56);
        zarDecimate(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
    } else {
        // Invalid modes too: the zoom engine's own checks reject them.
        zoomEngine(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
    }
    const ZarStatus status = zarGetStatus();
    if (status >= 0) return status;
    return zarReportError(STATUS_BACKTRACE, "zarResize", "", "zarresiz", 59);
}
