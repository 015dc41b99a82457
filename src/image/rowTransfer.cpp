// Row transfer: runs of one channel's values between image rows (plain or
// tiled) and buffers, positions outside the image by the border rules.
#include <algorithm>
#include <cstring>

#include "image/image.h"
#include "image/region.h"
#include "image/rows.h"

namespace {

template <typename T>
void copyWords(const char* src, int64_t srcPos, int32_t srcStep, bool reversed, char* dst,
               int64_t dstPos, int32_t dstStep, int32_t count) {
    const T* s = reinterpret_cast<const T*>(src) + srcPos;
    T* d = reinterpret_cast<T*>(dst) + dstPos;
    if (!reversed && srcStep == 1 && dstStep == 1) {
        std::memmove(d, s, static_cast<size_t>(count) * sizeof(T));
        return;
    }
    const ptrdiff_t sStep = reversed ? -static_cast<ptrdiff_t>(srcStep) : srcStep;
    for (int32_t i = 0; i < count; ++i) d[i * static_cast<ptrdiff_t>(dstStep)] = s[i * sStep];
}

template <typename T>
void fillValues(char* buffer, int64_t pos, int32_t count, uint32_t value) {
    fillRunFor(sizeof(T))(buffer + pos * static_cast<int64_t>(sizeof(T)), count, value);
}

template <typename T>
uint32_t getValue(const char* buffer, int64_t pos) {
    return reinterpret_cast<const T*>(buffer)[pos];
}

// 1-bit rows (most significant bit first) through the shared bit-run kernels.
void copyBitValues(const char* src, int64_t srcPos, int32_t, bool reversed, char* dst,
                   int64_t dstPos, int32_t, int32_t count) {
    const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
    uint8_t* d = reinterpret_cast<uint8_t*>(dst);
    if (reversed)
        copyBitsReversed(s, srcPos, d, dstPos, count);
    else
        copyBits(s, srcPos, d, dstPos, count);
}

void fillBitValues(char* buffer, int64_t pos, int32_t count, uint32_t value) {
    fillBits(reinterpret_cast<uint8_t*>(buffer), pos, count, value != 0);
}

uint32_t getBitValue(const char* buffer, int64_t pos) {
    return static_cast<uint32_t>(getBit(reinterpret_cast<const uint8_t*>(buffer), pos));
}

const ValueRuns kBitRuns{copyBitValues, fillBitValues, getBitValue};
const ValueRuns kByteRuns{copyWords<uint8_t>, fillValues<uint8_t>, getValue<uint8_t>};
const ValueRuns kShortRuns{copyWords<uint16_t>, fillValues<uint16_t>, getValue<uint16_t>};

}  // namespace

// 1-, 8- and 16-bit images only (the depths morphology takes).
const ValueRuns& valueRunsFor(int32_t depth) {
    switch (bitDepth(depth)) {
        case 1:
            return kBitRuns;
        case 8:
            return kByteRuns;
        default:
            return kShortRuns;
    }
}

namespace {

// Moves count values of image row y, channel `channel`, columns x .. x + count - 1
// (all inside the image) from or to buffer at bufPos.  Reading may take the
// columns in descending order (reversed).  Tiled images go tile by tile, each
// tile fetched and released at once.
bool transferRun(ImageHeader* image, const ValueRuns& runs, int32_t x, int32_t y, int32_t channel,
                 char* buffer, int64_t bufPos, int32_t count, bool reversed, bool toImage) {
    const bool plane = image->dataOrder == ZAR_DATA_ORDER_PLANE;
    const int32_t step = plane ? 1 : image->nChannels;
    const int32_t bytes = bytesPerValue(image->depth);
    if (!image->tileInfo) {
        char* base = pixelAddress(image, 0, y, channel);
        if (toImage)
            runs.copy(buffer, bufPos, 1, false, base, static_cast<int64_t>(x) * step, step, count);
        else if (reversed)
            runs.copy(base, static_cast<int64_t>(x + count - 1) * step, step, true, buffer, bufPos,
                      1, count);
        else
            runs.copy(base, static_cast<int64_t>(x) * step, step, false, buffer, bufPos, 1, count);
        return true;
    }
    const TileInfo& tiles = *image->tileInfo;
    // The tile stride without tileWidthStep's header validation, which every
    // row would repeat.
    const int32_t tileStep = computeWidthStep(image->dataOrder, image->depth, image->align,
                                              image->nChannels, tiles.width);
    const int32_t tileRow = y / tiles.height;
    const int64_t rowOffset = static_cast<int64_t>(y % tiles.height) * tileStep +
                              (plane ? static_cast<int64_t>(channel) * tiles.height * tileStep
                                     : static_cast<int64_t>(channel) * bytes);
    const int32_t mode = toImage ? ZAR_TILE_WRITE : ZAR_TILE_READ;
    const int32_t end = x + count;  // exclusive
    for (int32_t column = x / tiles.width; column <= (end - 1) / tiles.width; ++column) {
        char* tile = nullptr;
        if (fetchTileRow(image, &tile, 1, column, tileRow, 1, mode) != 0) return false;
        char* base = tile + rowOffset;
        const int32_t tileX = column * tiles.width;
        const int32_t a = std::max(x, tileX), b = tileEnd(column, tiles.width, end);
        const int32_t n = b - a;
        if (toImage)
            runs.copy(buffer, bufPos + (a - x), 1, false, base,
                      static_cast<int64_t>(a - tileX) * step, step, n);
        else if (reversed)  // column c goes to bufPos + (end - 1 - c)
            runs.copy(base, static_cast<int64_t>(b - 1 - tileX) * step, step, true, buffer,
                      bufPos + (end - b), 1, n);
        else
            runs.copy(base, static_cast<int64_t>(a - tileX) * step, step, false, buffer,
                      bufPos + (a - x), 1, n);
        releaseTileRow(image, &tile, 1, column, tileRow, 1);
    }
    return true;
}

}  // namespace

bool readRowAt(ImageHeader* image, int32_t x, int32_t y, int32_t channel, char* buffer,
               int64_t bufferPos, int32_t count) {
    const ValueRuns& runs = valueRunsFor(image->depth);
    // Above or below the image the top or bottom rule governs the whole row,
    // corners included, for both coordinates.
    const int32_t rowSide = y < 0 ? 0 : (y >= image->height ? 1 : -1);
    int32_t row = y;
    if (rowSide >= 0) {
        const int32_t mode = image->borderModes[rowSide] & 3;
        if (mode == ZAR_BORDER_CONSTANT) {
            runs.fill(buffer, bufferPos, count,
                      borderPattern(image->depth, image->borderValues[rowSide]));
            return true;
        }
        forEachStretch(y, y + 1, y, image->height, mode, [&](const Stretch& s) { row = s.first; });
    }
    bool ok = true;
    // Columns [from, to) under one side's rule.
    auto outside = [&](int64_t from, int64_t to, int32_t side) {
        if (from >= to) return;
        const int32_t mode = image->borderModes[side] & 3;
        if (mode == ZAR_BORDER_CONSTANT) {
            runs.fill(buffer, bufferPos + (from - x), static_cast<int32_t>(to - from),
                      borderPattern(image->depth, image->borderValues[side]));
            return;
        }
        // Left or right of a row of an untiled image, a repeated edge value is
        // read once, without the walk over stretches (a filter does this per row).
        if (mode == ZAR_BORDER_REPLICATE && side >= 2 && !image->tileInfo &&
            bitDepth(image->depth) != 1) {
            const int64_t step = image->dataOrder == ZAR_DATA_ORDER_PLANE ? 1 : image->nChannels;
            const int64_t edge = side == 2 ? 0 : image->width - 1;
            runs.fill(buffer, bufferPos + (from - x), static_cast<int32_t>(to - from),
                      runs.get(pixelAddress(image, 0, row, channel), edge * step));
            return;
        }
        forEachStretch(from, to, x, image->width, mode, [&](const Stretch& s) {
            const int64_t pos = bufferPos + s.dst;
            if (!ok) return;
            if (s.step > 0) {
                ok = transferRun(image, runs, s.first, row, channel, buffer, pos, s.length, false,
                                 false);
            } else if (s.step < 0) {
                ok = transferRun(image, runs, s.last(), row, channel, buffer, pos, s.length, true,
                                 false);
            } else {
                ok = transferRun(image, runs, s.first, row, channel, buffer, pos, 1, false, false);
                if (ok && s.length > 1)
                    runs.fill(buffer, pos + 1, s.length - 1, runs.get(buffer, pos));
            }
        });
    };
    const int64_t end = static_cast<int64_t>(x) + count;
    if (rowSide >= 0) {
        outside(x, end, rowSide);
        return ok;
    }
    outside(x, std::min<int64_t>(end, 0), 2);
    const int64_t left = std::max<int64_t>(x, 0), right = std::min<int64_t>(end, image->width);
    if (ok && left < right)
        ok = transferRun(image, runs, static_cast<int32_t>(left), row, channel, buffer,
                         bufferPos + (left - x), static_cast<int32_t>(right - left), false, false);
    if (ok) outside(std::max<int64_t>(x, image->width), end, 3);
    return ok;
}

bool writeRow(const char* buffer, int32_t count, ImageHeader* image, int32_t x, int32_t y,
              int32_t channel) {
    return transferRun(image, valueRunsFor(image->depth), x, y, channel, const_cast<char*>(buffer),
                       0, count, false, true);
}

// Whole pixels of a pixel-order image without tiles: count pixels of all
// channels from column x on into buffer, interleaved as in the image.  The
// columns inside the image of a row inside it are copied at once; the rest
// (frame rows and columns beyond the image, a pixel or a row at a time) goes
// channel by channel through the border rules via temp (count values).
bool readPixelRow(ImageHeader* image, int32_t x, int32_t y, char* buffer, int32_t count,
                  char* temp) {
    const ValueRuns& runs = valueRunsFor(image->depth);
    const int32_t channels = image->nChannels;
    const int64_t pixelBytes = static_cast<int64_t>(channels) * bytesPerValue(image->depth);
    auto byChannel = [&](int32_t from, int32_t length) {
        for (int32_t c = 0; c < channels; ++c) {
            if (!readRowAt(image, from, y, c, temp, 0, length)) return false;
            runs.copy(temp, 0, 1, false, buffer, static_cast<int64_t>(from - x) * channels + c,
                      channels, length);
        }
        return true;
    };
    // Columns beyond the left or right side: where its rule repeats the edge
    // pixel, copies of that pixel.
    auto beyond = [&](int32_t from, int32_t length, int32_t side, int32_t edge) {
        if ((image->borderModes[side] & 3) != ZAR_BORDER_REPLICATE) return byChannel(from, length);
        char* first = buffer + (from - x) * pixelBytes;
        std::memcpy(first, pixelAddress(image, edge, y, 0), static_cast<size_t>(pixelBytes));
        repeatBytes(first, static_cast<size_t>(pixelBytes),
                    static_cast<size_t>(length * pixelBytes));
        return true;
    };
    const int64_t end = static_cast<int64_t>(x) + count;
    const int32_t a = static_cast<int32_t>(std::clamp<int64_t>(x, 0, image->width));
    const int32_t b = static_cast<int32_t>(std::clamp<int64_t>(end, 0, image->width));
    if (y < 0 || y >= image->height || a >= b) return byChannel(x, count);
    if (a > x && !beyond(x, a - x, 2, 0)) return false;
    std::memcpy(buffer + (a - x) * pixelBytes, pixelAddress(image, a, y, 0),
                static_cast<size_t>((b - a) * pixelBytes));
    return end <= b || beyond(b, static_cast<int32_t>(end - b), 3, image->width - 1);
}
