// Test support for the arithmetic and logic operations: operands that are
// plain or tiled images with a roi and a mask, snapshots of their pixels, and
// a naive per-pixel reference of Add, Or, And and XorS.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "support/zar_test.h"
#include "zar.h"

namespace zt {

// Format and geometry of one operand.
struct OperandSpec {
    int32_t nChannels = 1;
    int32_t alphaChannel = 0;
    int32_t depth = ZAR_DEPTH_8U;
    int32_t dataOrder = ZAR_DATA_ORDER_PIXEL;
    int32_t width = 8, height = 8;
    int32_t align = 4;
    bool hasRoi = false;
    Roi roi{};
    bool tiled = false;
    int32_t tileWidth = 8, tileHeight = 8;
    // Mask image (1-bit, never tiled).
    bool hasMask = false;
    int32_t maskWidth = 8, maskHeight = 8, maskOrder = ZAR_DATA_ORDER_PIXEL, maskAlign = 4;
    bool maskHasRoi = false;
    Roi maskRoi{};
};

// An operand built from a spec and filled with pseudo-random values.  Its
// pixels live in `plain` (a plain image) or, for a tiled operand, in a tile
// store loaded from `plain`.
class Operand {
  public:
    Operand(const OperandSpec& spec, uint32_t seed);
    ~Operand();
    Operand(const Operand&) = delete;
    Operand& operator=(const Operand&) = delete;

    ImageHeader* header() const;
    const OperandSpec& spec() const { return spec_; }
    TileStore* store() const { return store_.get(); }
    ImageHeader* plain() const { return plain_.get(); }
    ImageHeader* mask() const { return mask_.get(); }
    // The current pixels as a new plain image (tiles gathered).
    Image snapshot() const;

  private:
    OperandSpec spec_;
    Image plain_;
    Image mask_;
    Roi roi_{};
    std::unique_ptr<TileStore> store_;
};

// A 1-bit mask image (filled with fill) attached to image while the owner
// lives; detached and released on destruction.
class AttachedMask {
  public:
    AttachedMask(ImageHeader* image, int32_t width, int32_t height, int32_t fill = 1,
                 int32_t dataOrder = ZAR_DATA_ORDER_PIXEL);
    ~AttachedMask();
    AttachedMask(const AttachedMask&) = delete;
    AttachedMask& operator=(const AttachedMask&) = delete;
    ImageHeader* get() const { return mask_.get(); }
    operator ImageHeader*() const { return mask_.get(); }
    ImageHeader* operator->() const { return mask_.get(); }
    void setRoi(int32_t x, int32_t y, int32_t width, int32_t height) {
        mask_.setRoi(0, x, y, width, height);
    }

  private:
    ImageHeader* image_;
    Image mask_;
};

// A new plain image with the same format and the same pixel bytes.
Image copyImage(const ImageHeader* image);

// What the reference reads of an operand: pixels of a plain image (a
// snapshot for tiled operands) with the operand's roi and mask.
struct RefView {
    const ImageHeader* pixels;  // plain image holding the pixels
    const Roi* roi;             // null: the whole image
    int32_t alphaChannel;
    const ImageHeader* mask;  // null: no mask
};
RefView viewOf(const Operand& operand, const ImageHeader* pixels);

enum class RefOp { add, logicalOr, logicalAnd, xorS };

// Applies op the slow way, pixel by pixel, from the rules: the common size of
// the clipped regions (and of the masks' regions), the processed channels of
// each operand, the mask bits of every mask, saturation per depth (32F
// unclamped), bit operations on the samples' bit patterns.  expected starts as
// the destination's pixels and receives the result.  srcB is ignored for xorS.
void referenceOp(RefOp op, const RefView& srcA, const RefView& srcB, const RefView& dst,
                 int32_t value, ImageHeader* expected);

// The recorder holds exactly one report with these values (the line is the
// reporting source's own and only checked to be positive); the status word
// holds the status.
void expectOneReport(const ErrorRecorder& recorder, ZarStatus status, const char* func,
                     const char* context, const char* file);

// Runs op on the operands' headers (b is ignored for xorS; the same operand
// may be given twice for in-place use), in return mode.  Empty when no report
// arrived, every tile handed out was released and every destination pixel
// equals referenceOp's; else a description of the first fault.
std::string runAgainstReference(RefOp op, const Operand& a, const Operand& b, const Operand& d,
                                int32_t value = 0);

// One randomized case of op from seed: random depth, data orders, channel
// layouts (channel of interest, alpha), sizes, regions reaching past the
// edges, masks on any operand, tiled operands and in-place use.  Runs the
// operation, compares every destination pixel with referenceOp and checks
// that every tile handed out was released.  Empty on success, else a
// description of the case and of the first difference.
std::string runRandomCase(RefOp op, uint64_t seed);

// Empty when every sample of every pixel is equal, else a description of the
// first difference.
std::string compareImages(const ImageHeader* expected, const ImageHeader* actual);

}  // namespace zt
