// The saturating add's 8- and 16-bit rows: the plain loops (the reference,
// sample by sample in order, whatever the rows' overlap) and their table.
#include <cstdint>

#include "arith/kernels.h"

namespace {

template <class T>
void plainAddRow(const void* a, const void* b, void* d, int64_t n) {
    const T* x = static_cast<const T*>(a);
    const T* y = static_cast<const T*>(b);
    T* out = static_cast<T*>(d);
    const SaturatedAdd op(0);
    for (int64_t i = 0; i < n; ++i) out[i] = op(x[i], y[i]);
}

}  // namespace

const AddRowsEntry kAddRows[4] = {
    {ZAR_DEPTH_8U, {plainAddRow<uint8_t>, ZAR_SSE41(addRowsSse41U8), ZAR_AVX2(addRowsAvx2U8)}},
    {ZAR_DEPTH_8S, {plainAddRow<int8_t>, ZAR_SSE41(addRowsSse41S8), ZAR_AVX2(addRowsAvx2S8)}},
    {ZAR_DEPTH_16U, {plainAddRow<uint16_t>, ZAR_SSE41(addRowsSse41U16), ZAR_AVX2(addRowsAvx2U16)}},
    {ZAR_DEPTH_16S, {plainAddRow<int16_t>, ZAR_SSE41(addRowsSse41S16), ZAR_AVX2(addRowsAvx2S16)}},
};
