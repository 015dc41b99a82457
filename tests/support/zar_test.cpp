#include "zar_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "image/image.h"

namespace zt {

// ------------------------------------------------------------ error reports

namespace {
// The live recorder's list.  A plain pointer: a thread-local object with a
// destructor crashes at thread exit with MinGW's emulated thread storage.
thread_local std::vector<Report>* recording = nullptr;

ZarStatus ZAR_STDCALL recordReport(ZarStatus status, const char* func, const char* context,
                                   const char* file, int32_t line) {
    if (recording)
        recording->push_back({status, func ? func : "(null)", context ? context : "(null)",
                              file ? file : "(null)", line});
    return status;
}
}  // namespace

ErrorRecorder::ErrorRecorder()
    : previousMode_(zarSetErrorMode(ZAR_ERRMODE_RETURN)),
      previousHandler_(zarRedirectError(recordReport)),
      previousList_(recording) {
    recording = &reports_;
    zarSetStatus(STATUS_OK);
}

ErrorRecorder::~ErrorRecorder() {
    recording = previousList_;
    zarRedirectError(previousHandler_);
    zarSetErrorMode(previousMode_);
    zarSetStatus(STATUS_OK);
}

void ErrorRecorder::clear() {
    reports_.clear();
    zarSetStatus(STATUS_OK);
}

void expectReports(const ErrorRecorder& recorder, const std::string& func, const std::string& file,
                   const std::vector<Want>& want) {
    const std::vector<Report>& got = recorder.reports();
    ASSERT_EQ(got.size(), want.size()) << (got.empty() ? "no report" : got.front().context);
    for (size_t i = 0; i < want.size(); ++i) {
        const Report& g = got[i];
        const int32_t line = want[i].line ? want[i].line : std::max(g.line, 1);  // 0: any positive
        EXPECT_EQ(std::make_tuple(g.status, g.func, g.context, g.file, g.line),
                  std::make_tuple(want[i].status, func, want[i].context, file, line));
    }
}

// --------------------------------------------------------------- samples

int32_t depthBits(int32_t depth) { return depth & 0x7FFFFFFF; }

Layout layoutOf(const ImageHeader* image) {
    return {image->imageData, image->widthStep, image->height,
            image->nChannels, image->depth,     image->dataOrder};
}

namespace {
// Address of the byte holding the value, and for 1-bit images the bit (7 = msb).
char* valueAddress(const Layout& l, int32_t x, int32_t y, int32_t channel, int* bit) {
    const bool planes = l.dataOrder == ZAR_DATA_ORDER_PLANE;
    const int64_t index = planes ? x : int64_t{x} * l.nChannels + channel;
    const int64_t row = planes ? int64_t{channel} * l.height + y : y, bits = depthBits(l.depth);
    *bit = 7 - static_cast<int>(index % 8);
    return l.data + row * l.widthStep + (bits == 1 ? index / 8 : index * (bits / 8));
}

template <class T>
double load(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void store(char* p, T v) {
    std::memcpy(p, &v, sizeof v);
}
}  // namespace

double getSample(const Layout& l, int32_t x, int32_t y, int32_t channel) {
    int bit = 0;
    const char* p = valueAddress(l, x, y, channel, &bit);
    const bool isSigned = (l.depth & ZAR_DEPTH_SIGN) != 0;
    const int32_t bits = depthBits(l.depth);
    if (bits == 1) return (static_cast<uint8_t>(*p) >> bit) & 1;
    if (bits == 8) return isSigned ? load<int8_t>(p) : load<uint8_t>(p);
    if (bits == 16) return isSigned ? load<int16_t>(p) : load<uint16_t>(p);
    return l.depth == ZAR_DEPTH_32F ? load<float>(p) : load<int32_t>(p);
}

void setSample(const Layout& l, int32_t x, int32_t y, int32_t channel, double value) {
    int bit = 0;
    char* p = valueAddress(l, x, y, channel, &bit);
    const int64_t i = static_cast<int64_t>(value);
    const int32_t bits = depthBits(l.depth);
    if (bits == 1) return store(p, static_cast<char>((*p & ~(1 << bit)) | ((i & 1) << bit)));
    if (bits == 8) return store(p, static_cast<uint8_t>(i));
    if (bits == 16) return store(p, static_cast<uint16_t>(i));
    if (l.depth == ZAR_DEPTH_32F) return store(p, static_cast<float>(value));
    store(p, static_cast<uint32_t>(i));
}

double getSample(const ImageHeader* image, int32_t x, int32_t y, int32_t channel) {
    return getSample(layoutOf(image), x, y, channel);
}
void setSample(ImageHeader* image, int32_t x, int32_t y, int32_t channel, double value) {
    setSample(layoutOf(image), x, y, channel, value);
}

int32_t mapCoordinate(int32_t mode, int64_t c, int32_t size) {
    const int64_t period = mode == ZAR_BORDER_REFLECT ? 2 * int64_t{size} : size;
    const int64_t m = ((c % period) + period) % period;
    if (mode == ZAR_BORDER_REPLICATE)
        return static_cast<int32_t>(c < 0 ? 0 : c >= size ? size - 1 : c);
    return static_cast<int32_t>(m < size ? m : period - 1 - m);
}

namespace {
// A value as a sample of the depth stores it (integers wrap to its width).
double storedConstant(int32_t depth, int32_t value) {
    char cell[4] = {};
    const Layout l{cell, 4, 1, 1, depth, ZAR_DATA_ORDER_PIXEL};
    setSample(l, 0, 0, 0, value);
    return getSample(l, 0, 0, 0);
}
}  // namespace

double borderSample(const ImageHeader* plain, int64_t x, int64_t y, int32_t channel,
                    const ImageHeader* borders) {
    if (!borders) borders = plain;
    const int32_t w = plain->width, h = plain->height;
    const int side = y < 0 ? 0 : y >= h ? 1 : x < 0 ? 2 : x >= w ? 3 : -1;
    if (side >= 0) {
        const int32_t mode = borders->borderModes[side] & 3;
        if (mode == ZAR_BORDER_CONSTANT)
            return storedConstant(plain->depth, borders->borderValues[side]);
        if (x < 0 || x >= w) x = mapCoordinate(mode, x, w);
        if (side < 2) y = mapCoordinate(mode, y, h);
    }
    return getSample(plain, static_cast<int32_t>(x), static_cast<int32_t>(y), channel);
}

int32_t expectedWidthStep(int32_t dataOrder, int32_t depth, int32_t align, int32_t nChannels,
                          int32_t width) {
    int64_t bits = static_cast<int64_t>(width) * depthBits(depth);
    if (dataOrder == ZAR_DATA_ORDER_PIXEL) bits *= nChannels;
    int64_t bytes = (bits + 7) / 8;
    return static_cast<int32_t>((bytes + align - 1) / align * align);
}

ImageHeader* newImage(int32_t nChannels, int32_t alphaChannel, int32_t depth, int32_t dataOrder,
                      int32_t width, int32_t height, int32_t align, int32_t fill) {
    ImageHeader* image = zarCreateImageHeader(nChannels, alphaChannel, depth, "RGBA", "BGRA",
                                              dataOrder, ZAR_ORIGIN_TL, align, width, height,
                                              nullptr, nullptr, nullptr, nullptr);
    if (image && depth == ZAR_DEPTH_32F) zarAllocateImageFP(image, 1, static_cast<float>(fill));
    if (image && depth != ZAR_DEPTH_32F) zarAllocateImage(image, 1, fill);
    return image;
}

void Image::setRoi(int32_t coi, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (image_->roi) zarDeallocate(get(), ZAR_FREE_ROI);
    image_->roi = makeRoi(coi, x, y, width, height);  // as the library allocates, so freed by it
}

void Image::randomize(uint32_t seed) {
    Rng rng(seed);
    Layout l = layoutOf(get());
    const bool floats = image_->depth == ZAR_DEPTH_32F;
    forEachSample(get(), [&](int32_t x, int32_t y, int32_t c) {
        // Integers wrap to the depth's width; floats are small integers and halves.
        const uint32_t r = rng.next();
        setSample(l, x, y, c, floats ? static_cast<int32_t>(r % 2001) / 2.0 - 500.0 : r);
    });
}

uint32_t Rng::next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 32);
}

int32_t Rng::range(int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>(next() % static_cast<uint32_t>(hi - lo + 1));
}

// ------------------------------------------------------------ tile store

TileStore::TileStore(int32_t nChannels, int32_t alphaChannel, int32_t depth, int32_t dataOrder,
                     int32_t width, int32_t height, int32_t tileWidth, int32_t tileHeight,
                     int32_t align) {
    const int32_t planes = dataOrder == ZAR_DATA_ORDER_PLANE ? nChannels : 1;
    const int32_t step = expectedWidthStep(dataOrder, depth, align, nChannels, width);
    const int64_t size = int64_t{step} * height * planes;
    tileInfo_ = {&TileStore::callback, 0, nullptr, tileWidth, tileHeight};
    header_.headerSize = sizeof(ImageHeader);
    header_.nChannels = nChannels;
    header_.alphaChannel = alphaChannel;
    header_.depth = depth;
    std::memcpy(header_.colorModel, "RGBA", 4);
    std::memcpy(header_.channelSeq, "BGRA", 4);
    header_.dataOrder = dataOrder;
    header_.align = align;
    header_.width = width;
    header_.height = height;
    header_.widthStep = step;
    header_.imageSize = size <= INT32_MAX ? static_cast<int32_t>(size) : 0;
    header_.tileInfo = &tileInfo_;
    header_.imageTag = this;  // the application's word: how the callback finds this store
    columns_ = static_cast<int32_t>((int64_t{width} + tileWidth - 1) / tileWidth);
    rows_ = static_cast<int32_t>((int64_t{height} + tileHeight - 1) / tileHeight);
    tileStep_ = expectedWidthStep(dataOrder, depth, align, nChannels, tileWidth);
    tileBytes_ = tileStep_ * tileHeight * planes;
    // Room for the calls of a test, so that logging a call allocates nothing
    // (the allocation-failure test counts every allocation during a call).
    log_.reserve(4096);
}

void ZAR_STDCALL TileStore::callback(ImageHeader* image, int32_t column, int32_t row,
                                     int32_t mode) {
    auto* store = static_cast<TileStore*>(image->imageTag);
    if (!store || store->image() != image) {
        ADD_FAILURE() << "tile callback for another header than the tiled image's";
        return;
    }
    store->onCall(column, row, mode);
}

void TileStore::onCall(int32_t column, int32_t row, int32_t mode) {
    // A request sets the tile handed out; a release logs the one handed back.
    const bool outside = column < 0 || row < 0 || column >= columns_ || row >= rows_;
    if (mode != ZAR_TILE_RELEASE) {
        if (outside) ADD_FAILURE() << "tile (" << column << ", " << row << ") is outside the image";
        tileInfo_.tileData = outside || refused_.count({column, row}) ? nullptr : tile(column, row);
    }
    log_.push_back({column, row, mode, tileInfo_.tileData});
}

bool TileStore::balanced() const {
    // A request that delivered nothing may be handed back (with a null tile)
    // or not; a null release answers only such a request.
    std::map<std::pair<int32_t, int32_t>, std::vector<char*>> held;
    for (const TileCall& call : log_) {
        auto& stack = held[{call.column, call.row}];
        if (call.mode != ZAR_TILE_RELEASE) {
            stack.push_back(call.data);
            continue;
        }
        while (call.data && !stack.empty() && !stack.back()) stack.pop_back();
        if (stack.empty() || stack.back() != call.data) return false;
        stack.pop_back();
    }
    for (auto& [tile, stack] : held)
        for (char* data : stack)
            if (data) return false;
    return true;
}

void TileStore::copy(ImageHeader* plain, bool intoTiles) {
    const int32_t tw = tileInfo_.width, th = tileInfo_.height;
    Layout in = layoutOf(&header_);  // a tile is laid out like the image, tileStep_ wide
    in.widthStep = tileStep_;
    in.height = th;
    forEachSample(plain, [&](int32_t x, int32_t y, int32_t c) {
        in.data = tile(x / tw, y / th);
        if (intoTiles)
            setSample(in, x % tw, y % th, c, getSample(plain, x, y, c));
        else
            setSample(plain, x, y, c, getSample(in, x % tw, y % th, c));
    });
}

char* TileStore::tile(int32_t column, int32_t row) const {
    auto [at, made] = tiles_.try_emplace({column, row});
    if (made) at->second.assign(static_cast<size_t>(tileBytes_), static_cast<char>(fill_));
    return at->second.data();
}

}  // namespace zt
