// zarOr: source A OR source B into the destination, bit by bit.
#include "arith/arith.h"
#include "arith/kernels.h"
#include "frame/frame.h"

namespace {
RegionKernel chooseOrKernel(int32_t depth, bool masked) {
    return chooseLogicalKernel<OrBits, true>(depth, masked);
}
}  // namespace

constexpr ReportSite kSite{"zarOr", "zaror"};

void ZAR_STDCALL zarOr(ImageHeader* srcImageA, ImageHeader* srcImageB, ImageHeader* dstImage) {
    const Failure failure = runLogical(srcImageA, srcImageB, dstImage, chooseOrKernel);
    if (failure.failed()) report(kSite, failure.status, failure.context, __LINE__);
}
