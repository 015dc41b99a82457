// Source and destination headers over one block of memory: Copy, Add, Or, And,
// XorS and the masked 1-bit Set keep the rules' order (rows first to last,
// each from its lowest address upward) whether or not the rows are padded,
// compared with that order written out below.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/zar_test.h"

namespace {

enum Family { kCopy, kAdd, kOr, kAnd, kXor, kSetMasked };

struct Case {
    Family family;
    int32_t depth, channels, width;
    int32_t rowShift;    // the destination's pixels start this many rows after the source's
    int32_t srcX, dstX;  // region offsets inside each header's row
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

uint32_t combine(Family family, int32_t bits, uint32_t a, uint32_t d) {
    const uint32_t most = bits == 32 ? ~0u : (1u << bits) - 1;
    switch (family) {
        case kCopy:
            return a;
        case kAdd:
            return std::min<uint64_t>(uint64_t{a} + d, most);
        case kAnd:
            return a & d;
        case kXor:
            return (a ^ 0x5A5A5A5Au) & most;
        default:
            return a | d;  // Or, and the Set of 1 under the mask a
    }
}

// The rules' order: rows first to last, each sample (bit) of a row from the
// lowest address up, every read seeing the writes before it.
void expectedRows(const Case& c, std::vector<uint8_t>& m, int32_t step, int32_t height) {
    const int32_t bits = c.depth & 0xFF, w = c.width - std::max(c.srcX, c.dstX);
    const int64_t srcBase = c.rowShift < 0 ? -c.rowShift * int64_t{step} : 0;
    const int64_t dstBase = c.rowShift > 0 ? c.rowShift * int64_t{step} : 0;
    for (int32_t y = 0; y < height; ++y)
        for (int64_t i = 0; i < int64_t{w} * c.channels; ++i) {
            const int64_t s = srcBase + int64_t{y} * step, d = dstBase + int64_t{y} * step;
            const int64_t si = int64_t{c.srcX} * c.channels + i,
                          di = int64_t{c.dstX} * c.channels + i;
            const uint32_t a = sampleAt(m, s + si * bits / 8, bits, s * 8 + si);
            const uint32_t old = sampleAt(m, d + di * bits / 8, bits, d * 8 + di);
            putSampleAt(m, d + di * bits / 8, bits, d * 8 + di, combine(c.family, bits, a, old));
        }
}

TEST(Overlap, RowsFirstToLastWithAndWithoutPadding) {
    const int32_t u8 = ZAR_DEPTH_8U, u16 = ZAR_DEPTH_16U, s32 = ZAR_DEPTH_32S, u1 = ZAR_DEPTH_1U;
    const Case cases[] = {
        {kCopy, u8, 1, 4, 1, 0, 0},       {kCopy, u8, 1, 3, 1, 0, 0},
        {kCopy, u8, 1, 8, 0, 0, 1},       {kCopy, u8, 1, 7, 0, 2, 0},
        {kCopy, u8, 1, 4, -1, 0, 0},      {kCopy, u16, 1, 2, 1, 0, 0},
        {kCopy, u16, 1, 3, 1, 0, 1},      {kCopy, s32, 1, 1, 1, 0, 0},
        {kCopy, s32, 1, 3, 1, 1, 0},      {kCopy, u8, 3, 4, 1, 0, 0},
        {kCopy, u8, 3, 3, 1, 0, 1},       {kCopy, u1, 1, 32, 1, 0, 0},
        {kCopy, u1, 1, 13, 1, 0, 0},      {kCopy, u1, 1, 32, 0, 0, 3},
        {kCopy, u1, 1, 13, 0, 5, 0},      {kAdd, u8, 1, 4, 1, 0, 0},
        {kAdd, u8, 1, 3, 1, 0, 1},        {kAdd, u16, 3, 2, 1, 0, 0},
        {kAdd, u16, 1, 3, -1, 0, 0},      {kOr, u8, 1, 4, 1, 0, 0},
        {kOr, u1, 1, 64, 1, 0, 0},        {kOr, u1, 1, 13, 0, 0, 3},
        {kAnd, u16, 1, 2, 1, 0, 0},       {kAnd, u1, 1, 40, 1, 0, 0},
        {kXor, u8, 1, 4, 1, 0, 0},        {kXor, s32, 1, 3, 1, 0, 0},
        {kXor, u8, 1, 5, 0, 0, 1},        {kXor, u1, 1, 32, 1, 0, 0},
        {kSetMasked, u1, 1, 32, 1, 0, 0}, {kSetMasked, u1, 1, 13, 0, 0, 2},
    };
    const int32_t height = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "family " << c.family << " depth " << c.depth << " x"
                                        << c.channels << " width " << c.width << " rows "
                                        << c.rowShift << " x " << c.srcX << "/" << c.dstX);
        zt::ErrorRecorder recorder;
        zt::Image block(c.channels, 0, c.depth, ZAR_DATA_ORDER_PIXEL, c.width, height + 1);
        const int32_t step = block->widthStep;
        std::vector<uint8_t> expected(static_cast<size_t>(block->imageSize));
        zt::Rng rng(static_cast<uint64_t>(c.width * 31 + c.family));
        for (auto& b : expected) b = static_cast<uint8_t>(rng.next());
        std::memcpy(block->imageData, expected.data(), expected.size());
        // Two whole-image headers of `height` rows over the block.
        ImageHeader src = *block.get(), dst = *block.get();
        src.height = dst.height = height;
        src.imageSize = dst.imageSize = step * height;
        src.imageData += c.rowShift < 0 ? -c.rowShift * step : 0;
        dst.imageData += c.rowShift > 0 ? c.rowShift * step : 0;
        Roi srcRoi{0, c.srcX, 0, c.width - c.srcX, height},
            dstRoi{0, c.dstX, 0, c.width - c.dstX, height};
        if (c.srcX) src.roi = &srcRoi;
        if (c.dstX) dst.roi = &dstRoi;
        switch (c.family) {
            case kCopy:
                zarCopy(&src, &dst);
                break;
            case kAdd:
                zarAdd(&src, &dst, &dst);
                break;
            case kOr:
                zarOr(&src, &dst, &dst);
                break;
            case kAnd:
                zarAnd(&src, &dst, &dst);
                break;
            case kXor:
                zarXorS(&src, &dst, 0x5A5A5A5A);
                break;
            case kSetMasked:
                dst.maskImage = &src;  // the mask is the source's memory
                zarSet(&dst, 1);
                break;
        }
        EXPECT_TRUE(recorder.reports().empty());
        expectedRows(c, expected, step, height);
        EXPECT_EQ(0, std::memcmp(block->imageData, expected.data(), expected.size()));
    }
}

}  // namespace
