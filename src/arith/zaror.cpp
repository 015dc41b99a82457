// zarOr: source A OR source B into the destination, bit by bit.
#include "arith/arith.h"
#include "arith/kernels.h"

namespace {
RegionKernel chooseOrKernel(int32_t depth, bool masked) {
    return chooseLogicalKernel<OrBits, true>(depth, masked);
}
}  // namespace

void ZAR_STDCALL zarOr(ImageHeader* srcImageA, ImageHeader* srcImageB, ImageHeader* dstImage) {
    const Failure failure = runLogical(srcImageA, srcImageB, dstImage, chooseOrKernel);
    if (failure.failed())
        zarReportError(failure.status, "zarOr", failure.context, "zaror", __LINE__);
}
