// The tile walks of Set and Copy over tiled images (tiledCopy.cpp).
#pragma once

#include "image/image.h"

// How a walk ended: every piece done, a tile refused (for reading or
// writing), or an inner step failed (the status word tells).
enum class TiledEnd { Done, RefusedRead, RefusedWrite, Failed };

// Fills the size of the destination's region, tile by tile, through zarSet.
TiledEnd setTiles(ImageHeader* dstImage, const RoiSize& size, int32_t fillValue);

// Copies the common region piece by piece along the tiled image's grid (the
// destination's when both are tiled) through zarCopy, under mask if given.
TiledEnd copyTiles(ImageHeader* srcImage, ImageHeader* dstImage, ImageHeader* mask,
                   const RoiSize& size);
