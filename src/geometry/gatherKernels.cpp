// The plain gather rows (the reference of the vector forms) and their table.
#include "geometry/gatherKernels.h"

#include "zar.h"

namespace {

template <typename T>
void gatherRow(const char* srcRow, char* dstRow, const int32_t* elemOff, const ColumnGroup*,
               int32_t count) {
    const T* src = reinterpret_cast<const T*>(srcRow);
    T* dst = reinterpret_cast<T*>(dstRow);
    for (int32_t e = 0; e < count; ++e) dst[e] = src[elemOff[e]];
}

}  // namespace

const GatherEntry kGatherRows[2] = {
    {ZAR_DEPTH_8U, {gatherRow<uint8_t>, nullptr, nullptr, ZAR_AVX512(gatherRowAvx512<uint8_t>)}},
    {ZAR_DEPTH_16U, {gatherRow<uint16_t>, nullptr, nullptr, ZAR_AVX512(gatherRowAvx512<uint16_t>)}},
};

GatherRowFn gatherRowFor(int32_t depth, IsaLevel level) {
    for (const GatherEntry& e : kGatherRows)
        if (e.depth == depth && e.variants.pick(level) != e.variants.at[0])
            return e.variants.pick(level);
    return nullptr;
}
