// The fixed filters' row kernels compiled for AVX2.
#include "filter/rowKernelBodies.h"

RowKernel rowKernelAvx2(int32_t filter, int32_t depthIndex) {
    return kLevelKernels.at[filter][depthIndex];
}
