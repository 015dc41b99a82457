// Image model internals: header checks, memory, regions, channels and tiles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "zar.h"

// ---------------------------------------------------------------- headers

// Bits per channel value: the depth without its sign flag.
inline int32_t bitDepth(int32_t depth) { return depth & 0x7FFFFFFF; }
// Bytes per channel value; 0 for 1-bit images, whose positions count bits.
inline int32_t bytesPerValue(int32_t depth) { return bitDepth(depth) / 8; }
bool isValidDepth(int32_t depth);
bool isValidAlign(int32_t align);

// The header checks shared by creation and allocation, in their order
// (size, channels, 1-bit channels, colour model, depth, alpha, data order,
// origin, align, mask rule).  Returns 0 or the first failing code.
ZarStatus checkHeaderArgs(int32_t nChannels, int32_t alphaChannel, int32_t depth,
                          const char* colorModel, const char* channelSeq, int32_t dataOrder,
                          int32_t origin, int32_t align, int32_t width, int32_t height,
                          const ImageHeader* maskImage);

// 0 when valid, else the first failing code, which is also recorded in the
// status word (the handler is not called).
ZarStatus validateHeader(const ImageHeader* image);

Roi* makeRoi(int32_t coi, int32_t xOffset, int32_t yOffset, int32_t width, int32_t height);
void setBorderMode(ImageHeader* image, int32_t mode, int32_t sides, int32_t value);
int32_t computeWidthStep(int32_t dataOrder, int32_t depth, int32_t align, int32_t nChannels,
                         int32_t width);
// Row stride inside one tile; 0 for a null, invalid or untiled image.
int32_t tileWidthStep(const ImageHeader* image);

// ----------------------------------------------------------------- memory

// 32-byte aligned blocks; the runtime block sits in the word below the result.
void* alignedMalloc(size_t size);
void alignedFree(void* p);

// n values of a trivial type T from alignedMalloc, released when the owner
// goes: the library's scratch arrays, which never throw.  data() is null when
// the block could not be had (n 0 gives a block too).  Values start
// unspecified; zeroed() sets every byte to 0.
template <class T>
class ScratchArray {
  public:
    ScratchArray() = default;
    explicit ScratchArray(int64_t n) : n_(n < 0 ? 0 : n) {
        if (static_cast<uint64_t>(n_) <= SIZE_MAX / sizeof(T))
            data_ = static_cast<T*>(alignedMalloc(static_cast<size_t>(n_) * sizeof(T)));
    }
    ScratchArray(ScratchArray&& other) noexcept : data_(other.data_), n_(other.n_) {
        other.data_ = nullptr;
    }
    ScratchArray& operator=(ScratchArray&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(n_, other.n_);
        return *this;
    }
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;
    ~ScratchArray() { alignedFree(data_); }
    bool held() const { return data_ != nullptr; }
    T* data() const { return data_; }
    int64_t size() const { return n_; }
    T& operator[](int64_t i) const { return data_[i]; }
    ScratchArray& zeroed() {
        if (data_) std::memset(static_cast<void*>(data_), 0, static_cast<size_t>(n_) * sizeof(T));
        return *this;
    }

  private:
    T* data_ = nullptr;
    int64_t n_ = 0;
};

// ---------------------------------------------------------------- regions

struct RoiChannels {
    int32_t x, y, width, height;
    int32_t firstChannel, lastChannel;  // 1-based, inclusive
};
// false when the image has no channel to process (only an alpha channel, or a
// bad alpha number).
bool getRoiChannels(const ImageHeader* image, RoiChannels* out);

struct Rect {
    int32_t x, y, width, height;
};
// Region clipped at the right and bottom edges; negative offsets stay.
Rect getRoiRect(const ImageHeader* image);

struct RoiOrigin {
    char* address;          // first value of the region in the channel
    int32_t width, height;  // clipped, never negative
    int32_t bitOffset;      // x mod 8 (1-bit images)
};
RoiOrigin getRoiOrigin(const ImageHeader* image, int32_t channel);

// 1 when both images may be processed as one run of imageSize bytes.
int isWholeImageLayout(const ImageHeader* imageA, const ImageHeader* imageB, int flag);

struct RoiSize {
    int32_t height, width;  // both 0 for an empty region
    bool empty() const { return height == 0 && width == 0; }
};
RoiSize getRoiSize(const ImageHeader* image, bool clip);
RoiSize getCommonRoiSize(const ImageHeader* imageA, const ImageHeader* imageB, bool clip);
RoiSize getCommonRoiSize(const ImageHeader* imageA, const ImageHeader* imageB,
                         const ImageHeader* imageC, bool clip);

struct RoiBounds {
    int32_t x0, y0, x1, y1;  // inclusive
};
// false for an empty region.
bool getRoiBounds(const ImageHeader* image, bool clip, RoiBounds* out);

struct BitOrigin {
    char* address;  // byte holding the region's first pixel
    int32_t widthStep;
    int32_t bitOffset;
};
// false unless the image is 1-bit.
bool getRoiBitOrigin(const ImageHeader* image, BitOrigin* out);

struct CoiLayout {
    char* address;  // first value to process
    int32_t widthStep;
    int64_t planeStride;  // height * widthStep
    int32_t channels;     // number of channels to process
    int32_t nChannels;
    int32_t firstChannel;  // 0-based index of the first channel to process
    int32_t bitX;          // 1-bit images: the region's x in bits
};
// false when the image has nothing to process.
bool getCoiOrigin(const ImageHeader* image, CoiLayout* out);
bool getCoiLayout(const ImageHeader* image, bool clamp, CoiLayout* out);

char* pixelAddress(const ImageHeader* image, int32_t x, int32_t y, int32_t channel);

// ------------------------------------------------------------------ tiles

// The end (exclusive) of tile `index` along an axis of tiles `size` pixels
// wide, cut to limit: in an image nearly INT32_MAX wide the last tile's own
// end lies past the largest int32.
inline int32_t tileEnd(int32_t index, int32_t size, int32_t limit) {
    const int64_t end = (static_cast<int64_t>(index) + 1) * size;
    return end < limit ? static_cast<int32_t>(end) : limit;
}

// The imageSize of a header describing other memory (a tile, a working
// buffer): rows of widthStep bytes, height rows per plane.  0 when that does
// not fit an int32, so that no whole-buffer form takes it for a run.
int32_t viewImageSize(int64_t widthStep, int64_t height, int64_t planes);

struct TileSpan {
    int32_t xInTile, yInTile;  // region's first pixel inside its tile
    int32_t tileHeight, tileWidth;
    int32_t firstColumn, firstRow;
    int32_t columns, rows;  // tile columns and rows covered
};
TileSpan getTileSpan(const ImageHeader* image, int32_t height, int32_t width);

// Asks for count tiles of a tile row (columns firstColumn + k*step) with mode
// ZAR_TILE_READ or ZAR_TILE_WRITE, all of them even after a refusal.  Returns 0
// when every tile was delivered, 1 otherwise.
int fetchTileRow(ImageHeader* image, char** table, int32_t count, int32_t firstColumn, int32_t row,
                 int32_t step, int32_t mode = ZAR_TILE_READ);
// Releases the tiles of the table in reverse order; null entries are skipped.
void releaseTileRow(ImageHeader* image, char** table, int32_t count, int32_t firstColumn,
                    int32_t row, int32_t step);

// ------------------------------------------------------- transfer engine

// A working copy of the rectangle (x, y, width, height) of image, every
// position outside the image given by the border rules.  Layout: nChannels
// planes in plane order, rows of *stride bytes (rounded to the image's align).
// Null on a bad header, no memory or a refused tile.
char* copyRegionWithBorder(ImageHeader* image, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t* stride);
void freeRegionCopy(void* buffer);
// The same into data, a buffer of copyRegionWithBorder's layout for the same
// image and size (one made by it, for instance); false where it gives null.
bool fillRegionWithBorder(ImageHeader* image, int32_t x, int32_t y, int32_t width, int32_t height,
                          char* data);

// A plain header describing other memory in the format of image: a tile, a
// working buffer or a slot.  No roi, mask or tile record.
ImageHeader memoryView(const ImageHeader* image, char* data, int32_t width, int32_t height,
                       int32_t widthStep);

// A tile of a tiled image seen as a plain image of the tile's size (no roi).
ImageHeader tileView(const ImageHeader* image, char* tile);
