// Shared test support: error recording, plain test images, sample access and
// the tile store that backs tiled images with memory.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "zar.h"

namespace zt {

// ------------------------------------------------------------ error reports

struct Report {
    ZarStatus status;
    std::string func, context, file;
    int32_t line;
};

// While alive: return mode and a handler that records every report of this
// thread.  Restores the previous mode and handler on destruction.
class ErrorRecorder {
  public:
    ErrorRecorder();
    ~ErrorRecorder();
    ErrorRecorder(const ErrorRecorder&) = delete;
    ErrorRecorder& operator=(const ErrorRecorder&) = delete;
    const std::vector<Report>& reports() const { return reports_; }
    void clear();

  private:
    int32_t previousMode_;
    ZarErrorHandler previousHandler_;
    std::vector<Report>* previousList_;
    std::vector<Report> reports_;
};

// One expected report: line 0 stands for any positive line (one the rules leave open).
struct Want {
    ZarStatus status;
    std::string context;
    int32_t line = 0;
};

// The recorder holds exactly these reports in this order, each made by func in file.
void expectReports(const ErrorRecorder& recorder, const std::string& func, const std::string& file,
                   const std::vector<Want>& want);

// --------------------------------------------------------------- samples

// Size of a depth's value in bits (the depth without its sign flag).
int32_t depthBits(int32_t depth);

// Layout of plain pixel memory (a plain image or one tile).
struct Layout {
    char* data;
    int32_t widthStep, height, nChannels, depth, dataOrder;  // height: rows per plane
};
Layout layoutOf(const ImageHeader* plainImage);

// One channel value as a double (integers exactly), channel 0-based.
double getSample(const Layout& layout, int32_t x, int32_t y, int32_t channel);
// Stores value converted to the depth (integers wrap to the depth's width; no saturation).
void setSample(const Layout& layout, int32_t x, int32_t y, int32_t channel, double value);
double getSample(const ImageHeader* plainImage, int32_t x, int32_t y, int32_t channel);
void setSample(ImageHeader* plainImage, int32_t x, int32_t y, int32_t channel, double value);

// Calls f(x, y, channel) for every sample of the image, channel by channel, row by row.
template <class F>
void forEachSample(const ImageHeader* image, F f) {
    for (int32_t c = 0; c < image->nChannels; ++c)
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x) f(x, y, c);
}

// An outside coordinate mapped into 0 .. size - 1 by a replicate, reflect or wrap mode.
int32_t mapCoordinate(int32_t mode, int64_t c, int32_t size);

// The value at (x, y), channel 0-based, of a plain image; positions outside
// the image follow the border modes and constants of `borders` (the image
// itself when null): top and bottom rules cover the corners, a constant is
// stored as the depth stores it.
double borderSample(const ImageHeader* plain, int64_t x, int64_t y, int32_t channel,
                    const ImageHeader* borders = nullptr);

// The widthStep rule, computed independently of the library.
int32_t expectedWidthStep(int32_t dataOrder, int32_t depth, int32_t align, int32_t nChannels,
                          int32_t width);

// A plain image created and allocated through the public API (filled with
// fill).  Free with zarDeallocate(image, ZAR_FREE_ALL) or use the Image owner.
ImageHeader* newImage(int32_t nChannels, int32_t alphaChannel, int32_t depth, int32_t dataOrder,
                      int32_t width, int32_t height, int32_t align = 4, int32_t fill = 0);

struct FreeAll {
    void operator()(ImageHeader* image) const { zarDeallocate(image, ZAR_FREE_ALL); }
};

// Owner of a library-made image; frees header, pixels, roi and mask.
class Image {
  public:
    Image() = default;
    explicit Image(ImageHeader* image) : image_(image) {}
    Image(int32_t nChannels, int32_t alphaChannel, int32_t depth, int32_t dataOrder, int32_t width,
          int32_t height, int32_t align = 4, int32_t fill = 0)
        : image_(newImage(nChannels, alphaChannel, depth, dataOrder, width, height, align, fill)) {}
    ImageHeader* get() const { return image_.get(); }
    ImageHeader* operator->() const { return image_.get(); }
    operator ImageHeader*() const { return image_.get(); }
    // Gives the image a roi (a 32-byte aligned record freed with the image).
    void setRoi(int32_t coi, int32_t x, int32_t y, int32_t width, int32_t height);
    void setRoi(const Roi& r) { setRoi(r.coi, r.xOffset, r.yOffset, r.width, r.height); }
    // Fills every channel value of the whole image with a deterministic
    // pseudo-random value valid for the depth (floats: small integers and halves).
    void randomize(uint32_t seed);

  private:
    std::unique_ptr<ImageHeader, FreeAll> image_;
};

// Deterministic 32-bit generator for tests.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next();
    // Uniform in [lo, hi].
    int32_t range(int32_t lo, int32_t hi);
};

// ------------------------------------------------------------ tile store

struct TileCall {
    int32_t column, row, mode;
    char* data;  // tileData after a read/write call, or the pointer handed back
};

// Backs a tiled image with memory.  The tiled header has the given format;
// tiles are tileWidth x tileHeight pixels, laid out like plain images, each
// made (zeroed, or filled by fillBytes) when first used, so an image may be
// INT32_MAX wide.  Every callback call is logged; chosen tiles can be refused
// (tileData null).
class TileStore {
  public:
    TileStore(int32_t nChannels, int32_t alphaChannel, int32_t depth, int32_t dataOrder,
              int32_t width, int32_t height, int32_t tileWidth, int32_t tileHeight,
              int32_t align = 4);
    TileStore(const TileStore&) = delete;
    TileStore& operator=(const TileStore&) = delete;

    ImageHeader* image() const { return &header_; }
    operator ImageHeader*() const { return &header_; }

    void refuse(int32_t column, int32_t row) { refused_.insert({column, row}); }
    const std::vector<TileCall>& log() const { return log_; }
    // Every tile handed out was released, with the pointer it was given as.
    bool balanced() const;

    // Copies the pixels of a plain image of the same size and format into the
    // tiles, or the tiles into it.
    void copy(ImageHeader* plain, bool intoTiles);
    // Sets every byte of every tile made from now on.
    void fillBytes(uint8_t value) { fill_ = value; }

  private:
    static void ZAR_STDCALL callback(ImageHeader* image, int32_t column, int32_t row, int32_t mode);
    void onCall(int32_t column, int32_t row, int32_t mode);

    mutable ImageHeader header_{};  // handed to the library, which may change its fields
    TileInfo tileInfo_{};
    int32_t columns_ = 0, rows_ = 0, tileStep_ = 0, tileBytes_ = 0;
    uint8_t fill_ = 0;
    mutable std::map<std::pair<int32_t, int32_t>, std::vector<char>> tiles_;
    char* tile(int32_t column, int32_t row) const;
    std::vector<TileCall> log_;
    std::set<std::pair<int32_t, int32_t>> refused_;
};

}  // namespace zt
