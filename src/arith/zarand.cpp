// zarAnd: source A AND source B into the destination, bit by bit.
#include "arith/arith.h"
#include "arith/kernels.h"
#include "frame/frame.h"

namespace {
RegionKernel chooseAndKernel(int32_t depth, bool masked) {
    return chooseLogicalKernel<AndBits, true>(depth, masked);
}
}  // namespace

constexpr ReportSite kSite{"zarAnd", "zarand"};

void ZAR_STDCALL zarAnd(ImageHeader* srcImageA, ImageHeader* srcImageB, ImageHeader* dstImage) {
    const Failure failure = runLogical(srcImageA, srcImageB, dstImage, chooseAndKernel);
    if (failure.failed()) report(kSite, failure.status, failure.context, __LINE__);
}
