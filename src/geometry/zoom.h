// The zoom engine: scales the source region into the destination region by
// xDst/xSrc and yDst/ySrc in NN, LINEAR or CUBIC mode, in either direction.
// zarZoom checks its enlarging direction and runs it; zarResize runs it for
// every mode but super-sampling.  Reports under the name "zarZoom".
#pragma once

#include "zar.h"

void zoomEngine(ImageHeader* srcImage, ImageHeader* dstImage, int32_t xDst, int32_t xSrc,
                int32_t yDst, int32_t ySrc, int32_t interpolate);
