// The plain row kernels of the decimation and their table.
#include "geometry/decimateKernels.h"

#include "zar.h"

namespace {

template <typename T, int C>
void halveRows(const char* row0, const char* row1, char* dst, int32_t lanes) {
    const T* __restrict r0 = reinterpret_cast<const T*>(row0);
    const T* __restrict r1 = reinterpret_cast<const T*>(row1);
    T* __restrict out = reinterpret_cast<T*>(dst);
    for (int32_t i = 0; i < lanes / C; ++i)
        for (int32_t c = 0; c < C; ++c) {
            const int32_t at = 2 * C * i + c;
            out[C * i + c] = static_cast<T>((r0[at] + r0[at + C] + r1[at] + r1[at + C] + 2) >> 2);
        }
}

template <typename T>
void pickEven(const char* src, char* dst, int32_t count) {
    const T* __restrict in = reinterpret_cast<const T*>(src);
    T* __restrict out = reinterpret_cast<T*>(dst);
    for (int32_t e = 0; e < count; ++e) out[e] = in[2 * e];
}

template <typename T>
void linearBlendRow(const char* row0, const char* row1, const LinearBlend& l, double fy, double gy,
                    char* dst) {
    const T* a = reinterpret_cast<const T*>(row0);
    const T* c = reinterpret_cast<const T*>(row1);
    T* out = reinterpret_cast<T*>(dst);
    for (int32_t e = 0; e < l.count; ++e) {
        const int32_t o = l.elemOff[e];
        const double gx = l.gxs[e], fx = l.fxs[e];
        const double v = (gx * a[o] + fx * a[o + l.tap]) * gy +
                         (gx * c[o] + fx * c[o + l.tap]) * fy;
        out[e] = static_cast<T>(static_cast<int32_t>(v));
    }
}

template <typename T>
void superRow(const char* const* rows, const double* rowWeights, int32_t rowCount,
              const SuperBoxes& b, double scale, char* dst) {
    T* out = reinterpret_cast<T*>(dst);
    constexpr int32_t kMax = T(~T(0));
    for (int32_t e = 0; e < b.count; ++e) {
        double sum = 0.0;
        for (int32_t r = 0; r < rowCount; ++r) {
            const T* p = reinterpret_cast<const T*>(rows[r]) + b.elemOff[e];
            double s = 0.0;
            for (int32_t k = 0; k < b.taps; ++k)
                s += b.weights[int64_t{k} * b.stride + e] * p[k * b.tap];
            sum += rowWeights[r] * s;
        }
        const int32_t v = static_cast<int32_t>(sum * scale + 0.5);
        out[e] = static_cast<T>(v < kMax ? v : kMax);
    }
}

template <typename T>
void cubicRow(const char* row, const CubicLanes& l, double* out) {
    const T* r = reinterpret_cast<const T*>(row);
    for (int32_t e = 0; e < l.count; ++e) {
        const T* p = r + l.elemOff[e];
        out[e] = lagrange4(p[0], p[l.tap], p[2 * l.tap], p[3 * l.tap], l.ts[e]);
    }
}

template <typename T>
void cubicColumn(const double* const* h, double t, char* dst, int32_t count) {
    T* out = reinterpret_cast<T*>(dst);
    constexpr int32_t kMax = T(~T(0));
    for (int32_t e = 0; e < count; ++e) {
        const int32_t v = static_cast<int32_t>(lagrange4(h[0][e], h[1][e], h[2][e], h[3][e], t));
        out[e] = static_cast<T>(v < 0 ? 0 : v > kMax ? kMax : v);
    }
}

}  // namespace

const CubicRowEntry kCubicRows[2] = {
    {ZAR_DEPTH_8U,
     {cubicRow<uint8_t>, nullptr, ZAR_AVX2(cubicRowAvx2<uint8_t>),
      ZAR_AVX512(cubicRowAvx512<uint8_t>)}},
    {ZAR_DEPTH_16U,
     {cubicRow<uint16_t>, nullptr, ZAR_AVX2(cubicRowAvx2<uint16_t>),
      ZAR_AVX512(cubicRowAvx512<uint16_t>)}},
};
const CubicColumnEntry kCubicColumns[2] = {
    {ZAR_DEPTH_8U,
     {cubicColumn<uint8_t>, nullptr, ZAR_AVX2(cubicColumnAvx2<uint8_t>),
      ZAR_AVX512(cubicColumnAvx512<uint8_t>)}},
    {ZAR_DEPTH_16U,
     {cubicColumn<uint16_t>, nullptr, ZAR_AVX2(cubicColumnAvx2<uint16_t>),
      ZAR_AVX512(cubicColumnAvx512<uint16_t>)}},
};

const EvenPickEntry kEvenPicks[2] = {
    {ZAR_DEPTH_8U, {pickEven<uint8_t>, nullptr, nullptr, ZAR_AVX512(pickEvenAvx512<uint8_t>)}},
    {ZAR_DEPTH_16U, {pickEven<uint16_t>, nullptr, nullptr, ZAR_AVX512(pickEvenAvx512<uint16_t>)}},
};

const LinearBlendEntry kLinearBlendRows[2] = {
    {ZAR_DEPTH_8U,
     {linearBlendRow<uint8_t>, nullptr, nullptr, ZAR_AVX512(linearBlendRowAvx512<uint8_t>)}},
    {ZAR_DEPTH_16U,
     {linearBlendRow<uint16_t>, nullptr, nullptr, ZAR_AVX512(linearBlendRowAvx512<uint16_t>)}},
};

const SuperRowEntry kSuperRows[2] = {
    {ZAR_DEPTH_8U, {superRow<uint8_t>, nullptr, nullptr, ZAR_AVX512(superRowAvx512<uint8_t>)}},
    {ZAR_DEPTH_16U, {superRow<uint16_t>, nullptr, nullptr, ZAR_AVX512(superRowAvx512<uint16_t>)}},
};

const RowHalverEntry kRowHalvers[6] = {
    {ZAR_DEPTH_8U,
     1,
     {halveRows<uint8_t, 1>, ZAR_SSE41(halveRowsSse41C1), nullptr, ZAR_AVX512(halveRowsAvx512C1)}},
    {ZAR_DEPTH_8U, 3, {halveRows<uint8_t, 3>, nullptr, nullptr, ZAR_AVX512(halveRowsAvx512C3)}},
    {ZAR_DEPTH_8U, 4, {halveRows<uint8_t, 4>, nullptr, nullptr, ZAR_AVX512(halveRowsAvx512C4)}},
    {ZAR_DEPTH_16U,
     1,
     {halveRows<uint16_t, 1>, nullptr, nullptr, ZAR_AVX512(halveRows16Avx512<1>)}},
    {ZAR_DEPTH_16U,
     3,
     {halveRows<uint16_t, 3>, nullptr, nullptr, ZAR_AVX512(halveRows16Avx512<3>)}},
    {ZAR_DEPTH_16U,
     4,
     {halveRows<uint16_t, 4>, nullptr, nullptr, ZAR_AVX512(halveRows16Avx512<4>)}},
};

RowHalver rowHalverFor(int32_t depth, int32_t channels, IsaLevel level) {
    for (const RowHalverEntry& entry : kRowHalvers)
        if (entry.depth == depth && entry.channels == channels) return entry.variants.pick(level);
    return nullptr;
}
