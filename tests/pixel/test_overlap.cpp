// Source and destination headers over one block of memory: Copy, Add, Or, And,
// XorS and the masked 1-bit Set keep the rules' order (rows first to last,
// each from its lowest address upward) whether or not the rows are padded,
// compared with that order written out below.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/zar_test.h"

namespace {

enum Family { kCopy, kAdd, kOr, kAnd, kXor, kSetMasked, kFamilies };
constexpr uint32_t kXorValue = 0x5A5A5A5B;

struct Format {
    int32_t depth, channels;
};

// Where the two headers start: the destination rowShift rows after the
// source (negative: before), each region starting srcX / dstX pixels in.
struct Placement {
    int32_t rowShift, srcX, dstX;
};

uint32_t sampleAt(const std::vector<uint8_t>& m, int64_t byte, int32_t bits, int64_t bit) {
    if (bits == 1) return (m[static_cast<size_t>(bit >> 3)] >> (7 - (bit & 7))) & 1;
    uint32_t v = 0;
    std::memcpy(&v, &m[static_cast<size_t>(byte)], static_cast<size_t>(bits / 8));
    return v;
}

void putSampleAt(std::vector<uint8_t>& m, int64_t byte, int32_t bits, int64_t bit, uint32_t v) {
    if (bits == 1) {
        uint8_t& b = m[static_cast<size_t>(bit >> 3)];
        b = static_cast<uint8_t>((b & ~(0x80 >> (bit & 7))) | ((v & 1) << (7 - (bit & 7))));
        return;
    }
    std::memcpy(&m[static_cast<size_t>(byte)], &v, static_cast<size_t>(bits / 8));
}

uint32_t combine(Family family, int32_t depth, uint32_t a, uint32_t d) {
    const int32_t bits = depth & 0xFF;
    const uint32_t most = bits == 32 ? ~0u : (1u << bits) - 1;
    switch (family) {
        case kCopy:
            return a;
        case kAdd: {
            if (depth != ZAR_DEPTH_32F) return std::min<uint64_t>(uint64_t{a} + d, most);
            float fa, fd;
            std::memcpy(&fa, &a, 4);
            std::memcpy(&fd, &d, 4);
            const float sum = fa + fd;
            std::memcpy(&a, &sum, 4);
            return a;
        }
        case kAnd:
            return a & d;
        case kXor:
            return (a ^ kXorValue) & most;
        default:
            return a | d;  // Or, and the Set of 1 under the mask a
    }
}

// The rules' order: rows first to last, each sample (bit) of a row from the
// lowest address up, every read seeing the writes before it.
void expectedRows(Family family, const Format& f, const Placement& p, int32_t width,
                  std::vector<uint8_t>& m, int32_t step, int32_t height) {
    const int32_t bits = f.depth & 0xFF, w = width - std::max(p.srcX, p.dstX);
    const int64_t srcBase = p.rowShift < 0 ? -p.rowShift * int64_t{step} : 0;
    const int64_t dstBase = p.rowShift > 0 ? p.rowShift * int64_t{step} : 0;
    for (int32_t y = 0; y < height; ++y)
        for (int64_t i = 0; i < int64_t{w} * f.channels; ++i) {
            const int64_t s = srcBase + int64_t{y} * step, d = dstBase + int64_t{y} * step;
            const int64_t si = int64_t{p.srcX} * f.channels + i,
                          di = int64_t{p.dstX} * f.channels + i;
            const uint32_t a = sampleAt(m, s + si * bits / 8, bits, s * 8 + si);
            const uint32_t old = sampleAt(m, d + di * bits / 8, bits, d * 8 + di);
            putSampleAt(m, d + di * bits / 8, bits, d * 8 + di, combine(family, f.depth, a, old));
        }
}

void call(Family family, ImageHeader* src, ImageHeader* dst) {
    switch (family) {
        case kCopy:
            return zarCopy(src, dst);
        case kAdd:
            return zarAdd(src, dst, dst);
        case kOr:
            return zarOr(src, dst, dst);
        case kAnd:
            return zarAnd(src, dst, dst);
        case kXor:
            return zarXorS(src, dst, static_cast<int32_t>(kXorValue));
        default:
            dst->maskImage = src;  // the mask is the source's memory
            return zarSet(dst, 1);
    }
}

// Every family x format x padded or unpadded rows x placement.  Rows of 8
// pixels (64 for 1-bit) fill their 8-byte alignment exactly: one block move
// could join them; 7 (13) leave padding.
TEST(Overlap, RowsFirstToLastWithAndWithoutPadding) {
    const Format formats[] = {{ZAR_DEPTH_8U, 1},
                              {ZAR_DEPTH_16U, 1},
                              {ZAR_DEPTH_32F, 1},
                              {ZAR_DEPTH_8U, 3},
                              {ZAR_DEPTH_1U, 1}};
    const Placement placements[] = {{1, 0, 0}, {-1, 1, 0}, {0, 0, 1}};
    const int32_t height = 3;
    for (int32_t family = 0; family < kFamilies; ++family)
        for (const Format& f : formats)
            for (bool padded : {false, true})
                for (const Placement& p : placements) {
                    const bool bits = f.depth == ZAR_DEPTH_1U;
                    const bool bitwise = family == kOr || family == kAnd || family == kXor;
                    if ((bitwise && f.depth == ZAR_DEPTH_32F) || (family == kSetMasked && !bits))
                        continue;  // refused by those operations
                    const int32_t width = padded ? (bits ? 13 : 7) : (bits ? 64 : 8);
                    SCOPED_TRACE(testing::Message()
                                 << "family " << family << " depth " << f.depth << " x"
                                 << f.channels << " width " << width << " rows " << p.rowShift
                                 << " x " << p.srcX << "/" << p.dstX);
                    zt::ErrorRecorder recorder;
                    zt::Image block(f.channels, 0, f.depth, 0, width, height + 1, 8);
                    const int32_t step = block->widthStep;
                    std::vector<uint8_t> expected(static_cast<size_t>(block->imageSize));
                    zt::Rng rng(static_cast<uint64_t>(width * 31 + family));
                    for (size_t i = 0; i < expected.size(); i += 4) {  // floats: small halves
                        const uint32_t r = static_cast<uint32_t>(rng.next());
                        const float half = static_cast<float>(r % 64) / 2;
                        std::memcpy(&expected[i],
                                    f.depth == ZAR_DEPTH_32F ? static_cast<const void*>(&half) : &r,
                                    4);
                    }
                    std::memcpy(block->imageData, expected.data(), expected.size());
                    // Two whole-image headers of `height` rows over the block.
                    ImageHeader src = *block.get(), dst = *block.get();
                    src.height = dst.height = height;
                    src.imageSize = dst.imageSize = step * height;
                    src.imageData += p.rowShift < 0 ? -p.rowShift * step : 0;
                    dst.imageData += p.rowShift > 0 ? p.rowShift * step : 0;
                    Roi srcRoi{0, p.srcX, 0, width - p.srcX, height},
                        dstRoi{0, p.dstX, 0, width - p.dstX, height};
                    if (p.srcX) src.roi = &srcRoi;
                    if (p.dstX) dst.roi = &dstRoi;
                    call(static_cast<Family>(family), &src, &dst);
                    EXPECT_TRUE(recorder.reports().empty());
                    expectedRows(static_cast<Family>(family), f, p, width, expected, step, height);
                    EXPECT_EQ(0, std::memcmp(block->imageData, expected.data(), expected.size()));
                }
}

}  // namespace
