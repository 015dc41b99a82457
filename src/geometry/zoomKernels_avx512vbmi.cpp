// LINEAR of the zoom engine in one pass for 8-bit rows on AVX-512 processors
// with VBMI: each tap of sixteen elements comes out of the 64-byte window in
// one byte permute, straight into the low byte of a biased float.
#include <immintrin.h>

#include "geometry/fusedLinearAvx512.h"
#include "geometry/windowsAvx512.h"
#include "geometry/zoomKernels.h"

namespace {

struct PickByBytePermutes {
    template <bool Whole>
    static void taps(const uint8_t* top, const uint8_t* bottom, const ColumnGroup& group,
                     const int32_t* elemOff, int32_t n, int32_t step, __m512& a0, __m512& b0,
                     __m512& a1, __m512& b1) {
        constexpr __mmask64 lowBytes = 0x1111111111111111u;
        const __m512i bias = _mm512_set1_epi32(kTwo23Bits);
        // the taps' places in the window (the permute reads the low byte of each slot)
        const __m512i offsets = Whole ? _mm512_loadu_si512(elemOff)
                                      : _mm512_maskz_loadu_epi32(
                                            static_cast<__mmask16>((1u << n) - 1), elemOff);
        const __m512i idxA = _mm512_sub_epi32(offsets, _mm512_set1_epi32(group.base));
        const __m512i idxB = _mm512_add_epi32(idxA, _mm512_set1_epi32(step));
        const __mmask64 m = lowBits64(group.span);
        const __m512i t = Whole ? _mm512_loadu_si512(top + group.base)
                                : _mm512_maskz_loadu_epi8(m, top + group.base);
        const __m512i b = Whole ? _mm512_loadu_si512(bottom + group.base)
                                : _mm512_maskz_loadu_epi8(m, bottom + group.base);
        a0 = _mm512_castsi512_ps(_mm512_mask_permutexvar_epi8(bias, lowBytes, idxA, t));
        b0 = _mm512_castsi512_ps(_mm512_mask_permutexvar_epi8(bias, lowBytes, idxB, t));
        a1 = _mm512_castsi512_ps(_mm512_mask_permutexvar_epi8(bias, lowBytes, idxA, b));
        b1 = _mm512_castsi512_ps(_mm512_mask_permutexvar_epi8(bias, lowBytes, idxB, b));
    }
};

}  // namespace

void zoomFusedLinearBytesVbmi(const char* top, const char* bottom, const LinearColumns& cols,
                              const float* fys, char* const* dstRows, int32_t rows) {
    fusedLinearRows<PickByBytePermutes, uint8_t>(top, bottom, cols, fys, dstRows, rows);
}
