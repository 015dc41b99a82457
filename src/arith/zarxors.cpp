// zarXorS: the source XOR a constant into the destination.
#include "arith/arith.h"
#include "arith/kernels.h"
#include "frame/frame.h"

namespace {

const RelationTexts kOneSourceRelations = {
    "(srcImage->depth != dstImage->depth)",
    nullptr,
    "(srcImage->dataOrder != dstImage->dataOrder)",
    nullptr,
    "(nChSrc != nChDst)",
    nullptr,
};

const TileContexts kOneSourceTiles = {
    "(srcImage->tileInfo->tileData == ((void*)(0)))",
    nullptr,
    "(dstImage->tileInfo->tileData == ((void*)(0)))",
};

// The constant spread over 32 bits: each sample takes the low bits that fit it.
uint32_t xorPattern(int32_t depth, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    switch (depth) {
        case ZAR_DEPTH_1U:
            return (v & 1) ? 0xFFFFFFFFu : 0u;
        case ZAR_DEPTH_8U:
        case ZAR_DEPTH_8S:
            return (v & 0xFFu) * 0x01010101u;
        case ZAR_DEPTH_16U:
        case ZAR_DEPTH_16S:
            return (v & 0xFFFFu) * 0x00010001u;
        default:
            return v;
    }
}

// The whole-buffer choice is made once for plain images (before the kernel),
// so the kernels themselves never take it.
RegionKernel chooseXorKernel(int32_t depth, bool masked) {
    return chooseLogicalKernel<XorBits, false>(depth, masked);
}

}  // namespace

constexpr ReportSite kSite{"zarXorS", "zarxors"};

void ZAR_STDCALL zarXorS(ImageHeader* srcImage, ImageHeader* dstImage, int32_t value) {
    Failure failure = checkOperands(srcImage, nullptr, dstImage, false, kOneSourceRelations);
    if (!failure.failed())
        failure = runOperation(srcImage, nullptr, dstImage, xorPattern(srcImage->depth, value),
                               chooseXorKernel, &wholeBufferRun<uint32_t, XorBits>,
                               kOneSourceTiles);
    if (failure.failed()) report(kSite, failure.status, failure.context, __LINE__);
}
