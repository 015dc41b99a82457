// The fixed filters' row kernels: the plain ones (the reference), their
// variants by instruction-set level, shapes, scratch sizes and masked stores.
#include "filter/rowKernelBodies.h"

namespace {

struct FilterEntry {
    FilterShape shape;
    size_t (*scratch)(int32_t count, int32_t elementStep);
};

template <class F>
size_t scratchBytes(int32_t count, int32_t elementStep) {
    return sizeof(int32_t) * scratchValues<F>(count, elementStep);
}

template <class F>
constexpr FilterEntry entry(int32_t nCols, int32_t nRows, int32_t anchorX, int32_t anchorY) {
    return {{nCols, nRows, anchorX, anchorY}, scratchBytes<F>};
}

// Indexed by filter number; filters 4 and 8 share their kernels.
const FilterEntry kFilters[11] = {
    entry<PrewittX>(3, 3, 1, 1),  entry<PrewittY>(3, 3, 1, 1), entry<SobelX>(3, 3, 1, 1),
    entry<SobelY>(3, 3, 1, 1),    entry<Laplace3>(3, 3, 1, 1), entry<Laplace5>(5, 5, 2, 2),
    entry<Gauss3>(3, 3, 1, 1),    entry<Gauss5>(5, 5, 2, 2),   entry<Laplace3>(3, 3, 1, 1),
    entry<HighPass5>(5, 5, 2, 2), entry<Sharpen3>(3, 3, 1, 1),
};

// ---------------------------------------------------------- masked stores

template <typename T>
void storeMaskedValues(const char* row, char* dst, int32_t, int32_t pixels, int32_t pixelStep,
                       int32_t valuesPerPixel, const uint8_t* maskA, int32_t bitA,
                       const uint8_t* maskB, int32_t bitB) {
    const T* in = reinterpret_cast<const T*>(row);
    T* out = reinterpret_cast<T*>(dst);
    for (int32_t x = 0; x < pixels; ++x) {
        if (!(getBit(maskA, bitA + x) & getBit(maskB, bitB + x))) continue;
        const int32_t first = x * pixelStep;
        for (int32_t k = 0; k < valuesPerPixel; ++k) out[first + k] = in[first + k];
    }
}

void storeMaskedBits(const char* row, char* dst, int32_t dstBit, int32_t pixels, int32_t, int32_t,
                     const uint8_t* maskA, int32_t bitA, const uint8_t* maskB, int32_t bitB) {
    const uint8_t* in = reinterpret_cast<const uint8_t*>(row);
    uint8_t* out = reinterpret_cast<uint8_t*>(dst);
    for (int32_t x = 0; x < pixels; ++x) {
        if (!(getBit(maskA, bitA + x) & getBit(maskB, bitB + x))) continue;
        putBit(out, dstBit + x, getBit(in, x));
    }
}

constexpr MaskedStore kMaskedStores[kDepthCount] = {
    storeMaskedBits,
    storeMaskedValues<uint8_t>,
    storeMaskedValues<uint8_t>,
    storeMaskedValues<uint16_t>,
    storeMaskedValues<uint16_t>,
    storeMaskedValues<uint32_t>,
    storeMaskedValues<uint32_t>,
};

}  // namespace

int32_t filterDepthIndex(int32_t depth) {
    switch (depth) {
        case ZAR_DEPTH_1U:
            return kDepth1u;
        case ZAR_DEPTH_8U:
            return kDepth8u;
        case ZAR_DEPTH_8S:
            return kDepth8s;
        case ZAR_DEPTH_16U:
            return kDepth16u;
        case ZAR_DEPTH_16S:
            return kDepth16s;
        case ZAR_DEPTH_32S:
            return kDepth32s;
        case ZAR_DEPTH_32F:
            return kDepth32f;
        default:
            return -1;
    }
}

FilterShape fixedFilterShape(int32_t filter) { return kFilters[filter].shape; }

Variants<RowKernel> rowKernelVariants(int32_t filter, int32_t depthIndex) {
    return {kLevelKernels.at[filter][depthIndex], nullptr,
            ZAR_AVX2(rowKernelAvx2(filter, depthIndex)),
            ZAR_AVX512(rowKernelAvx512(filter, depthIndex))};
}

RowKernel selectRowKernel(int32_t filter, int32_t depthIndex) {
    return rowKernelVariants(filter, depthIndex).pick();
}

size_t rowKernelScratch(int32_t filter, int32_t count, int32_t elementStep) {
    return kFilters[filter].scratch(count, elementStep);
}

MaskedStore selectMaskedStore(int32_t depthIndex) { return kMaskedStores[depthIndex]; }
