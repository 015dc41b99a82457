// The shared random case maker and driver: operands that are plain or tiled
// images with a roi and a mask, image comparison, and runEverywhere, which runs
// an operation on plain and tiled operands against a naive reference.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/operations.h"
#include "support/zar_test.h"
#include "zar.h"

namespace zt {

// Format and geometry of one operand.
struct OperandSpec {
    int32_t nChannels = 1, alphaChannel = 0, depth = ZAR_DEPTH_8U, dataOrder = ZAR_DATA_ORDER_PIXEL;
    int32_t width = 8, height = 8, align = 4;
    // A roi, tiles of that size, a mask (1-bit, never tiled) of that format with a roi.
    bool hasRoi = false, tiled = false, hasMask = false, maskHasRoi = false;
    Roi roi{}, maskRoi{};
    int32_t tileWidth = 8, tileHeight = 8;
    int32_t maskWidth = 8, maskHeight = 8, maskOrder = ZAR_DATA_ORDER_PIXEL, maskAlign = 4;
    // Border modes and constants (top, bottom, left, right).
    int32_t borderModes[4] = {}, borderValues[4] = {};
    // 32S values divided by 65536, so that single-precision sums stay exact.
    bool smallValues = false;
    // When positive: 32F values are positions in [-2, positionSpan + 1] (maps of
    // a source that wide), whole numbers, halves and thousandths among them.
    int32_t positionSpan = 0;
    // When not negative: this operand is operand sameAs itself (in-place use), or carries
    // operand maskFrom's mask instead of one of its own.
    int32_t sameAs = -1, maskFrom = -1;
};

// An operand built from its description and filled with pseudo-random values.  Its
// pixels live in `plain` (a plain image) or, for a tiled operand, in a tile
// store loaded from `plain`.
class Operand {
  public:
    Operand(const OperandSpec& spec, uint32_t seed);
    ~Operand();

    ImageHeader* header() const { return store_ ? store_->image() : plain_.get(); }
    TileStore* store() const { return store_.get(); }
    ImageHeader* plain() const { return plain_.get(); }
    ImageHeader* mask() const { return mask_.get(); }
    // The current pixels as a new plain image (tiles gathered).
    Image snapshot() const;

  private:
    Image plain_;
    Image mask_;
    Roi roi_{};
    std::unique_ptr<TileStore> store_;
};

// A new plain image with the same format and the same pixel bytes.
Image copyImage(const ImageHeader* image);

// Empty when every sample of every pixel is equal, else a description of the
// first difference.
std::string compareImages(const ImageHeader* expected, const ImageHeader* actual);

// Picks one of the values.
int32_t pick(Rng& rng, std::initializer_list<int32_t> values);

// A random roi of an image of the given size: it may reach past the right and
// bottom edges or start outside the image.
Roi randomRoi(Rng& rng, int32_t width, int32_t height);

// Sets hasRoi and a random roi that starts inside the image (it may reach past
// the right and bottom edges) with the channel of interest coi.
void randomInsideRoi(Rng& rng, OperandSpec& spec, bool hasRoi, int32_t coi);

// A channel layout that processes n channels: form 0 n channels, form 1 n and
// an alpha channel, form 2 (n = 1) one channel of interest.
void randomChannels(Rng& rng, int32_t depth, int32_t n, int32_t form, OperandSpec& spec);

// Random mask and tile settings for an operand of the described size.
void randomMaskAndTiles(Rng& rng, OperandSpec& spec, bool mask);

// An operation on the operands' headers (the last one is the destination).
using Operation = std::function<void(const std::vector<ImageHeader*>& operands)>;
// The naive reference: reads the plain operands (roi and mask attached) and
// writes the expected destination pixels into expected (a copy of them); specs
// tell which operands the run tiles.
using Reference = std::function<void(const std::vector<ImageHeader*>& plain,
                                     const std::vector<OperandSpec>& specs, ImageHeader* expected)>;

// Runs op on operands made from specs with the given seed: once as the specs
// say, once with every operand plain and once with every operand tiled (tile
// sizes from the specs), and compares each result with the reference.  Also
// requires no report, every tile handed out released, the sources' pixels,
// every mask's pixels and the headers' mask, roi and depth fields as they were.
// Empty on success, else what went wrong.
std::string runEverywhere(const std::vector<OperandSpec>& specs, uint32_t seed, const Operation& op,
                          const Reference& reference);

// Runs op on operands made from specs after refusing one tile (column, row) of
// operand k (tiled).  The recorder must then hold exactly want, made by func in
// file, and every tile handed out must be released.
void expectRefusal(const std::vector<OperandSpec>& specs, size_t k, int32_t column, int32_t row,
                   const Operation& op, const std::string& func, const std::string& file,
                   const Want& want);

// Representative operands for the operation catalogue, made afresh for every
// call: plain three-channel images; masks on every image, each another; the
// same with 1-bit images; a tiled source and destination in plane order; in
// place on a tiled image; floating point.  Each has Remap's maps and a
// run-length bitmap block.
constexpr int32_t kScenarioCount = 6;

class Scenario {
  public:
    explicit Scenario(int32_t index);
    ~Scenario();

    Operands operands;
    // Every pixel the operands and their masks hold, and the samples of the header a call made.
    std::vector<uint8_t> snapshot() const;

  private:
    ImageHeader* add(int32_t channels, int32_t depth, int32_t order, int32_t width, int32_t height,
                     int32_t tileWidth = 0, int32_t maskX = -1);

    std::vector<std::unique_ptr<Operand>> images_;
    struct {
        BITMAPINFOHEADER header{40, 4, 2, 1, 8, 1, 10, 0, 0, 2, 0};
        uint8_t colors[8] = {0, 0, 0, 0, 255, 255, 255, 0};
        uint8_t runs[10] = {2, 0, 2, 1, 0, 0, 4, 1, 0, 1};  // 4 x 2 pixels, run-length coded
    } rle_;
};

}  // namespace zt
