// Source and destination headers over one block of memory: Copy, Add, Or, And,
// XorS and the masked 1-bit Set keep the rules' order (rows first to last,
// each from its lowest address upward) whether or not the rows are padded,
// compared with that order written out below.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/pixel_support.h"

namespace {

constexpr int32_t kXorValue = 0x5A5A5A5B;

// Where the two headers start: the destination rowShift rows after the
// source (negative: before), each region starting srcX / dstX pixels in.
struct Placement {
    int32_t rowShift, srcX, dstX;
};

// The rules' order over the block's memory: rows first to last, each sample
// (bit) of a row from the lowest address up, every read seeing the writes
// before it.  The masked Set of 1 is the Or of the mask (the source) into the
// destination.
void expectedRows(zt::PixelOp op, const zt::Layout& block, const Placement& p, int32_t width,
                  int32_t height) {
    const int32_t srcRow = p.rowShift < 0 ? -p.rowShift : 0,
                  dstRow = p.rowShift > 0 ? p.rowShift : 0;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t i = 0; i < (width - std::max(p.srcX, p.dstX)) * block.nChannels; ++i) {
            const int32_t c = i % block.nChannels, x = i / block.nChannels;
            const double a = zt::getSample(block, p.srcX + x, srcRow + y, c);
            const double d = zt::getSample(block, p.dstX + x, dstRow + y, c);
            zt::setSample(block, p.dstX + x, dstRow + y, c,
                          zt::pixelRule(op == zt::PixelOp::set ? zt::PixelOp::logicalOr : op,
                                        block.depth, a, d, kXorValue));
        }
}

// Every operation x format x padded or unpadded rows x placement.  Rows of 8
// pixels (64 for 1-bit) fill their 8-byte alignment exactly: one block move
// could join them; 7 (13) leave padding.
TEST(Overlap, RowsFirstToLastWithAndWithoutPadding) {
    const std::pair<int32_t, int32_t> formats[] = {{ZAR_DEPTH_8U, 1},
                                                   {ZAR_DEPTH_16U, 1},
                                                   {ZAR_DEPTH_32F, 1},
                                                   {ZAR_DEPTH_8U, 3},
                                                   {ZAR_DEPTH_1U, 1}};
    const Placement placements[] = {{1, 0, 0}, {-1, 1, 0}, {0, 0, 1}};
    const int32_t height = 3;
    for (zt::PixelOp op : {zt::PixelOp::copy, zt::PixelOp::add, zt::PixelOp::logicalOr,
                           zt::PixelOp::logicalAnd, zt::PixelOp::xorS, zt::PixelOp::set})
        for (const auto& [depth, channels] : formats)
            for (bool padded : {false, true})
                for (const Placement& p : placements) {
                    const bool bits = depth == ZAR_DEPTH_1U;
                    const bool bitwise = op != zt::PixelOp::copy && op != zt::PixelOp::add;
                    if ((bitwise && depth == ZAR_DEPTH_32F) || (op == zt::PixelOp::set && !bits))
                        continue;  // refused by those operations
                    const int32_t width = padded ? (bits ? 13 : 7) : (bits ? 64 : 8);
                    SCOPED_TRACE(testing::Message()
                                 << "op " << static_cast<int>(op) << " depth " << depth << " x"
                                 << channels << " width " << width << " rows " << p.rowShift
                                 << " x " << p.srcX << "/" << p.dstX);
                    zt::ErrorRecorder recorder;
                    zt::Image block(channels, 0, depth, 0, width, height + 1, 8);
                    block.randomize(static_cast<uint32_t>(width * 31 + static_cast<int>(op)));
                    std::vector<char> expected(block->imageData,
                                               block->imageData + block->imageSize);
                    // Two whole-image headers of `height` rows over the block.
                    const int32_t step = block->widthStep;
                    ImageHeader src = *block.get(), dst = *block.get();
                    src.height = dst.height = height;
                    src.imageSize = dst.imageSize = step * height;
                    src.imageData += p.rowShift < 0 ? -p.rowShift * step : 0;
                    dst.imageData += p.rowShift > 0 ? p.rowShift * step : 0;
                    Roi srcRoi{0, p.srcX, 0, width - p.srcX, height},
                        dstRoi{0, p.dstX, 0, width - p.dstX, height};
                    if (p.srcX) src.roi = &srcRoi;
                    if (p.dstX) dst.roi = &dstRoi;
                    if (op == zt::PixelOp::set)
                        dst.maskImage = &src;  // the mask is the source's memory
                    zt::callPixelOp(op,
                                    op == zt::PixelOp::set
                                        ? std::vector<ImageHeader*>{&dst}
                                        : std::vector<ImageHeader*>{&src, &dst, &dst},
                                    op == zt::PixelOp::set ? 1 : kXorValue);
                    EXPECT_TRUE(recorder.reports().empty());
                    expectedRows(op,
                                 zt::Layout{expected.data(), step, height + 1, channels, depth, 0},
                                 p, width, height);
                    EXPECT_EQ(0, std::memcmp(block->imageData, expected.data(), expected.size()));
                }
}

}  // namespace
