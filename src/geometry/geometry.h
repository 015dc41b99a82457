// Geometric transforms: helpers shared by Decimate, Resize and Remap.
#pragma once

#include <array>
#include <cstdint>

#include "image/image.h"
#include "image/rows.h"
#include "zar.h"

// The first channel an operation processes: the channel of interest, else 0.
inline int32_t firstChannel(const ImageHeader* image) {
    return image->roi && image->roi->coi > 0 ? image->roi->coi - 1 : 0;
}

// Every byte value as a double: a table load instead of an integer-to-double
// conversion, which bounds the throughput of the interpolating kernels.
inline constexpr auto kByteValues = [] {
    std::array<double, 256> values{};
    for (int32_t v = 0; v < 256; ++v) values[static_cast<size_t>(v)] = v;
    return values;
}();
// The sample of depth T at p as a double (exactly its value).
template <class T>
inline double sampleAsDouble(const char* p) {
    if constexpr (sizeof(T) == 1)
        return kByteValues[*reinterpret_cast<const uint8_t*>(p)];
    else
        return static_cast<double>(*reinterpret_cast<const T*>(p));
}

// One piece of a destination region cut along the tile grid.
struct TilePiece {
    char* tileData;       // the tile got for writing
    int32_t column, row;  // tile indices
    Rect area;            // the piece, in image coordinates
    Roi roi;              // the piece inside its tile, keeping the image's coi
    bool firstInRow;      // first piece of its tile row
};

enum class TileWalk { Done, Refused, Stopped };

// Walks the region of a tiled image tile row by tile row, tiles left to right:
// gets each tile with ZAR_TILE_WRITE, hands the piece to work (which returns
// false to stop) and releases the tile with ZAR_TILE_RELEASE.  A refused tile
// (null tileData) ends the walk with Refused; a stop, after the release, with
// Stopped.
template <class Work>
TileWalk walkTilesForWriting(ImageHeader* image, const Rect& region, Work&& work) {
    TileInfo* info = image->tileInfo;
    const int32_t tw = info->width, th = info->height;
    const int32_t coi = image->roi ? image->roi->coi : 0;
    for (int32_t row = region.y / th; row <= (region.y + region.height - 1) / th; ++row) {
        const int32_t top = row * th > region.y ? row * th : region.y;
        const int32_t bottom = tileEnd(row, th, region.y + region.height);
        bool first = true;
        for (int32_t column = region.x / tw; column <= (region.x + region.width - 1) / tw;
             ++column) {
            const int32_t left = column * tw > region.x ? column * tw : region.x;
            const int32_t right = tileEnd(column, tw, region.x + region.width);
            info->callBack(image, column, row, ZAR_TILE_WRITE);
            char* data = info->tileData;
            if (!data) return TileWalk::Refused;
            TilePiece piece{data,
                            column,
                            row,
                            {left, top, right - left, bottom - top},
                            {coi, left - column * tw, top - row * th, right - left, bottom - top},
                            first};
            const bool goOn = work(piece);
            info->tileData = data;
            info->callBack(image, column, row, ZAR_TILE_RELEASE);
            if (!goOn) return TileWalk::Stopped;
            first = false;
        }
    }
    return TileWalk::Done;
}
