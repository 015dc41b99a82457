// The fixed filters' row kernels compiled for AVX-512 (F, BW, VL).
#include "filter/rowKernelBodies.h"

RowKernel rowKernelAvx512(int32_t filter, int32_t depthIndex) {
    return kLevelKernels.at[filter][depthIndex];
}
