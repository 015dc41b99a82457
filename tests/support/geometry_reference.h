// Naive references of the geometric transforms, written from the rules: one
// per operation (zarResize is decimation for SUPER and the zoom engine else).
#pragma once

#include <cstdint>

#include "support/zar_test.h"

namespace zt {

// Decimates src into dst (both plain, rois attached) one value at a time by
// the rules; srcTiles: the tiles of a tiled twin of src (null: plain).
void referenceDecimate(const ImageHeader* src, ImageHeader* dst, int32_t xDst, int32_t xSrc,
                       int32_t yDst, int32_t ySrc, int32_t mode, const TileInfo* srcTiles);

// Zooms src into dst (both plain, roi and mask attached) one pixel at a time,
// every tap recomputed from the rules.
void referenceZoom(const ImageHeader* src, ImageHeader* dst, int32_t xDst, int32_t xSrc,
                   int32_t yDst, int32_t ySrc, int32_t mode);

// Remaps src through the maps into dst (all plain, rois attached) by the rules.
void referenceRemap(const ImageHeader* src, const ImageHeader* xMap, const ImageHeader* yMap,
                    ImageHeader* dst, int32_t mode);

}  // namespace zt
