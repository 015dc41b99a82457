// Decimation row kernels for AVX-512 (F, BW, VL) processors: 2x2 boxes of 8-bit
// rows summed in 16-bit lanes, (sum + 2) >> 2.  Each box's two pixels of a row
// are brought side by side by byte shuffles inside 16-byte lanes and added by
// one multiply-add with ones; the plain kernel takes the tails.
#include <immintrin.h>

#include "geometry/decimateKernels.h"
#include "geometry/lagrangeLanes.h"
#include "geometry/windowsAvx512.h"

namespace {

// (a + b + 2) >> 2 of the pair sums of two rows, as bytes.
inline __m256i roundedMeans(__m512i pairs0, __m512i pairs1) {
    const __m512i ones = _mm512_set1_epi8(1);
    const __m512i sum = _mm512_add_epi16(_mm512_maddubs_epi16(pairs0, ones),
                                         _mm512_maddubs_epi16(pairs1, ones));
    return _mm512_cvtepi16_epi8(_mm512_srli_epi16(_mm512_add_epi16(sum, _mm512_set1_epi16(2)), 2));
}

// The taps a and b of a group's sixteen lanes from a window of 64 elements, as
// 32-bit lanes.
template <typename T>
inline void groupTaps(const T* row, const ColumnGroup& g, __m512i idxA, __m512i idxB, __m512i& a,
                      __m512i& b) {
    __m512i lo, hi;
    loadWordWindow(row + g.base, g.span, lo, hi);
    a = pickWordLanes(lo, hi, idxA);
    b = pickWordLanes(lo, hi, idxB);
}

// Eight lanes of the blend, in the plain kernel's order.
inline __m256i blend8(__m512d gx, __m512d fx, __m256i a, __m256i b, __m256i c, __m256i d,
                      __m512d fy, __m512d gy) {
    const __m512d top = _mm512_add_pd(_mm512_mul_pd(gx, _mm512_cvtepi32_pd(a)),
                                      _mm512_mul_pd(fx, _mm512_cvtepi32_pd(b)));
    const __m512d bottom = _mm512_add_pd(_mm512_mul_pd(gx, _mm512_cvtepi32_pd(c)),
                                         _mm512_mul_pd(fx, _mm512_cvtepi32_pd(d)));
    return _mm512_cvttpd_epi32(_mm512_add_pd(_mm512_mul_pd(top, gy), _mm512_mul_pd(bottom, fy)));
}

// The first and second pixel of each box of one 16-bit row (the first
// words of a window at p, from idxA and idxB): their quarters x >> 2 added
// into high, their low two bits into low.
inline void addQuarters(const uint16_t* p, int32_t words, __m512i idxA, __m512i idxB, __m512i& high,
                        __m512i& low) {
    __m512i lo, hi;
    _mm_prefetch(reinterpret_cast<const char*>(p) + 512, _MM_HINT_T0);
    loadWordWindow(p, words, lo, hi);
    const __m512i three = _mm512_set1_epi16(3);
    const __m512i a = _mm512_permutex2var_epi16(lo, idxA, hi);
    const __m512i b = _mm512_permutex2var_epi16(lo, idxB, hi);
    high = _mm512_add_epi16(high,
                            _mm512_add_epi16(_mm512_srli_epi16(a, 2), _mm512_srli_epi16(b, 2)));
    low = _mm512_add_epi16(
        low, _mm512_add_epi16(_mm512_and_si512(a, three), _mm512_and_si512(b, three)));
}

// The first n of the sixteen 32-bit lanes lo, hi narrowed to T and stored;
// a whole group without a mask (the narrowing masked store is slow on some
// processors).
template <typename T>
inline void storeGroup(T* out, int32_t n, __m256i lo, __m256i hi) {
    const __m512i v = _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
    const __mmask16 m = static_cast<__mmask16>((1u << n) - 1);
    if constexpr (sizeof(T) == 1) {
        const __m128i narrow = _mm512_cvtepi32_epi8(v);
        if (n < kColumnGroup) return _mm_mask_storeu_epi8(out, m, narrow);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), narrow);
    } else {
        const __m256i narrow = _mm512_cvtepi32_epi16(v);
        if (n < kColumnGroup) return _mm256_mask_storeu_epi16(out, m, narrow);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), narrow);
    }
}

}  // namespace

template <typename T>
void linearBlendRowAvx512(const char* row0, const char* row1, const LinearBlend& l, double fy,
                          double gy, char* dst) {
    const T* r0 = reinterpret_cast<const T*>(row0);
    const T* r1 = reinterpret_cast<const T*>(row1);
    T* out = reinterpret_cast<T*>(dst);
    const __m512d vfy = _mm512_set1_pd(fy), vgy = _mm512_set1_pd(gy);
    for (int32_t e = 0; e < l.count; e += kColumnGroup) {
        const ColumnGroup& g = l.groups[e / kColumnGroup];
        const int32_t n = l.count - e < kColumnGroup ? l.count - e : kColumnGroup;
        if (g.span == 0) {
            kLinearBlendRows[sizeof(T) - 1].variants.at[0](
                row0, row1, LinearBlend{l.elemOff + e, nullptr, l.fxs + e, l.gxs + e, l.tap, n}, fy,
                gy, reinterpret_cast<char*>(out + e));
            continue;
        }
        const __m512i idxA = _mm512_cvtepu8_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(g.rel)));
        const __m512i idxB = _mm512_add_epi32(idxA, _mm512_set1_epi32(l.tap));
        _mm_prefetch(reinterpret_cast<const char*>(r0 + g.base) + 512, _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(r1 + g.base) + 512, _MM_HINT_T0);
        __m512i a, b, c, d;
        groupTaps(r0, g, idxA, idxB, a, b);
        groupTaps(r1, g, idxA, idxB, c, d);
        const __mmask8 m0 = static_cast<__mmask8>(n >= 8 ? 0xFF : (1u << n) - 1);
        const __mmask8 m1 = static_cast<__mmask8>(n >= 16 ? 0xFF : n > 8 ? (1u << (n - 8)) - 1 : 0);
        auto half = [](__m512i v, int32_t h) {
            return h ? _mm512_extracti64x4_epi64(v, 1) : _mm512_castsi512_si256(v);
        };
        const __m256i lo = blend8(_mm512_maskz_loadu_pd(m0, l.gxs + e),
                                  _mm512_maskz_loadu_pd(m0, l.fxs + e), half(a, 0), half(b, 0),
                                  half(c, 0), half(d, 0), vfy, vgy);
        const __m256i hi = blend8(_mm512_maskz_loadu_pd(m1, l.gxs + e + 8),
                                  _mm512_maskz_loadu_pd(m1, l.fxs + e + 8), half(a, 1), half(b, 1),
                                  half(c, 1), half(d, 1), vfy, vgy);
        storeGroup(out + e, n, lo, hi);
    }
}

template void linearBlendRowAvx512<uint8_t>(const char*, const char*, const LinearBlend&, double,
                                            double, char*);
template void linearBlendRowAvx512<uint16_t>(const char*, const char*, const LinearBlend&, double,
                                             double, char*);

// 64 bytes of the row at a time, their even elements kept by narrowing each
// pair to its low half.
template <typename T>
void pickEvenAvx512(const char* src, char* dst, int32_t count) {
    constexpr int32_t kPerLoad = 32 / sizeof(T);
    int32_t e = 0;
    for (; e + 2 * kPerLoad <= count; e += 2 * kPerLoad)
        for (int32_t h = 0; h < 2; ++h) {
            const __m512i v = _mm512_loadu_si512(src + (2 * e + 2 * h * kPerLoad) * sizeof(T));
            __m256i* out = reinterpret_cast<__m256i*>(dst + (e + h * kPerLoad) * sizeof(T));
            if constexpr (sizeof(T) == 1)
                _mm256_storeu_si256(out, _mm512_cvtepi16_epi8(v));
            else
                _mm256_storeu_si256(out, _mm512_cvtepi32_epi16(v));
        }
    kEvenPicks[sizeof(T) - 1].variants.at[0](src + 2 * e * sizeof(T), dst + e * sizeof(T),
                                             count - e);
}

template void pickEvenAvx512<uint8_t>(const char*, char*, int32_t);
template void pickEvenAvx512<uint16_t>(const char*, char*, int32_t);

// 32 one-channel boxes at a time: neighbouring bytes are a box's two pixels.
void halveRowsAvx512C1(const char* r0, const char* r1, char* out, int32_t lanes) {
    int32_t e = 0;
    for (; e + 32 <= lanes; e += 32)
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(out + e),
            roundedMeans(_mm512_loadu_si512(r0 + 2 * e), _mm512_loadu_si512(r1 + 2 * e)));
    kRowHalvers[0].variants.at[0](r0 + 2 * e, r1 + 2 * e, out + e, lanes - e);
}

// 24 three-channel boxes (8 pixels) at a time: each 16-byte lane takes 12
// source bytes (two boxes), and shuffles pair channel c of the box's first
// pixel with channel c of its second; the six means of each lane are then
// packed together.
void halveRowsAvx512C3(const char* r0, const char* r1, char* out, int32_t lanes) {
    const __m512i spread = _mm512_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12);
    const __m512i pairs = _mm512_broadcast_i32x4(
        _mm_setr_epi8(0, 3, 1, 4, 2, 5, 6, 9, 7, 10, 8, 11, -1, -1, -1, -1));
    const __m256i pack = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1));
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    const __mmask64 bytes48 = lowBits64(48);
    int32_t e = 0;
    for (; e + 24 <= lanes; e += 24) {
        _mm_prefetch(r0 + 2 * e + 512, _MM_HINT_T0);
        _mm_prefetch(r1 + 2 * e + 512, _MM_HINT_T0);
        const __m512i a = _mm512_shuffle_epi8(
            _mm512_permutexvar_epi32(spread, _mm512_maskz_loadu_epi8(bytes48, r0 + 2 * e)), pairs);
        const __m512i b = _mm512_shuffle_epi8(
            _mm512_permutexvar_epi32(spread, _mm512_maskz_loadu_epi8(bytes48, r1 + 2 * e)), pairs);
        // per 8-byte group: six means, two spare bytes
        const __m256i means = _mm256_permutevar8x32_epi32(
            _mm256_shuffle_epi8(roundedMeans(a, b), pack), join);
        _mm256_mask_storeu_epi8(out + e, 0xFFFFFF, means);
    }
    kRowHalvers[1].variants.at[0](r0 + 2 * e, r1 + 2 * e, out + e, lanes - e);
}

// 32 four-channel boxes (8 pixels) at a time: each 16-byte lane holds two
// boxes; shuffles pair channel c of a box's two pixels.
void halveRowsAvx512C4(const char* r0, const char* r1, char* out, int32_t lanes) {
    const __m512i pairs = _mm512_broadcast_i32x4(
        _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15));
    int32_t e = 0;
    for (; e + 32 <= lanes; e += 32)
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(out + e),
            roundedMeans(_mm512_shuffle_epi8(_mm512_loadu_si512(r0 + 2 * e), pairs),
                         _mm512_shuffle_epi8(_mm512_loadu_si512(r1 + 2 * e), pairs)));
    kRowHalvers[2].variants.at[0](r0 + 2 * e, r1 + 2 * e, out + e, lanes - e);
}

// 16-bit rows, Q = 32 boxes (30 with three channels) at a time: the first
// and second pixel of each box picked by word permutes from the 2Q words of
// each row, and (a + b + c + d + 2) >> 2 formed in 16-bit lanes as the sum of
// the quarters x >> 2 plus the rounded quarter of the sum of the low two bits.
template <int C>
void halveRows16Avx512(const char* r0, const char* r1, char* out, int32_t lanes) {
    constexpr int32_t kBoxes = C == 3 ? 30 : 32;
    alignas(64) uint16_t first[32] = {}, second[32] = {};
    for (int32_t j = 0; j < kBoxes; ++j) {
        first[j] = static_cast<uint16_t>(j / C * 2 * C + j % C);
        second[j] = static_cast<uint16_t>(first[j] + C);
    }
    const __m512i idxA = _mm512_load_si512(first), idxB = _mm512_load_si512(second);
    const __m512i two = _mm512_set1_epi16(2);
    const uint16_t* a = reinterpret_cast<const uint16_t*>(r0);
    const uint16_t* b = reinterpret_cast<const uint16_t*>(r1);
    uint16_t* o = reinterpret_cast<uint16_t*>(out);
    for (int32_t e = 0; e < lanes; e += kBoxes) {
        const int32_t n = lanes - e < kBoxes ? lanes - e : kBoxes;
        __m512i high = _mm512_setzero_si512(), low = two;
        addQuarters(a + 2 * e, 2 * n, idxA, idxB, high, low);
        addQuarters(b + 2 * e, 2 * n, idxA, idxB, high, low);
        _mm512_mask_storeu_epi16(o + e, lowBits32(n),
                                 _mm512_add_epi16(high, _mm512_srli_epi16(low, 2)));
    }
}

template void halveRows16Avx512<1>(const char*, const char*, char*, int32_t);
template void halveRows16Avx512<3>(const char*, const char*, char*, int32_t);
template void halveRows16Avx512<4>(const char*, const char*, char*, int32_t);

namespace {

// Double-precision arithmetic on eight lanes for lagrangeLanes.
struct Lanes8 {
    static __m512d set1(double v) { return _mm512_set1_pd(v); }
    static __m512d add(__m512d x, __m512d y) { return _mm512_add_pd(x, y); }
    static __m512d sub(__m512d x, __m512d y) { return _mm512_sub_pd(x, y); }
    static __m512d mul(__m512d x, __m512d y) { return _mm512_mul_pd(x, y); }
};
inline __m512d lagrange8(__m512d a, __m512d b, __m512d c, __m512d d, __m512d t) {
    return lagrangeLanes<__m512d, Lanes8>(a, b, c, d, t);
}

inline __m512d half(__m512i v, int32_t h) {
    return _mm512_cvtepi32_pd(h ? _mm512_extracti64x4_epi64(v, 1) : _mm512_castsi512_si256(v));
}

}  // namespace

// Sixteen lanes at a time: the four taps picked from the group's window by
// word permutes, the polynomial in two halves of eight.
template <typename T>
void cubicRowAvx512(const char* row, const CubicLanes& l, double* out) {
    const T* r = reinterpret_cast<const T*>(row);
    for (int32_t e = 0; e < l.count; e += kColumnGroup) {
        const ColumnGroup& g = l.groups[e / kColumnGroup];
        const int32_t n = l.count - e < kColumnGroup ? l.count - e : kColumnGroup;
        if (g.span == 0) {
            kCubicRows[sizeof(T) - 1].variants.at[0](
                row, CubicLanes{l.elemOff + e, nullptr, l.ts + e, l.tap, n}, out + e);
            continue;
        }
        __m512i lo, hi;
        loadWordWindow(r + g.base, g.span, lo, hi);
        const __m512i idx = _mm512_cvtepu8_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(g.rel)));
        const __m512i tap = _mm512_set1_epi32(l.tap);
        const __m512i a = pickWordLanes(lo, hi, idx);
        const __m512i b = pickWordLanes(lo, hi, _mm512_add_epi32(idx, tap));
        const __m512i c = pickWordLanes(lo, hi, _mm512_add_epi32(idx, _mm512_add_epi32(tap, tap)));
        const __m512i d = pickWordLanes(
            lo, hi, _mm512_add_epi32(idx, _mm512_add_epi32(tap, _mm512_add_epi32(tap, tap))));
        for (int32_t h = 0; h < 2 && 8 * h < n; ++h) {
            const int32_t m = n - 8 * h;
            const __mmask8 mask = static_cast<__mmask8>(m >= 8 ? 0xFF : (1u << m) - 1);
            const __m512d t = _mm512_maskz_loadu_pd(mask, l.ts + e + 8 * h);
            _mm512_mask_storeu_pd(out + e + 8 * h, mask,
                                  lagrange8(half(a, h), half(b, h), half(c, h), half(d, h), t));
        }
    }
}

// Eight lanes at a time, truncated, saturated and narrowed.
template <typename T>
void cubicColumnAvx512(const double* const* h, double t, char* dst, int32_t count) {
    T* out = reinterpret_cast<T*>(dst);
    const __m512d vt = _mm512_set1_pd(t);
    const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi32(T(~T(0)));
    for (int32_t e = 0; e < count; e += 8) {
        const __mmask8 m = static_cast<__mmask8>(count - e >= 8 ? 0xFF : (1u << (count - e)) - 1);
        const __m512d v = lagrange8(
            _mm512_maskz_loadu_pd(m, h[0] + e), _mm512_maskz_loadu_pd(m, h[1] + e),
            _mm512_maskz_loadu_pd(m, h[2] + e), _mm512_maskz_loadu_pd(m, h[3] + e), vt);
        const __m256i i = _mm256_min_epi32(_mm256_max_epi32(_mm512_cvttpd_epi32(v), zero), top);
        if constexpr (sizeof(T) == 1)
            _mm256_mask_cvtepi32_storeu_epi8(out + e, m, i);
        else
            _mm256_mask_cvtepi32_storeu_epi16(out + e, m, i);
    }
}

template void cubicRowAvx512<uint8_t>(const char*, const CubicLanes&, double*);
template void cubicRowAvx512<uint16_t>(const char*, const CubicLanes&, double*);
template void cubicColumnAvx512<uint8_t>(const double* const*, double, char*, int32_t);
template void cubicColumnAvx512<uint16_t>(const double* const*, double, char*, int32_t);

namespace {

// Sixteen lanes of the boxes, TAPS taps per row (the caller's group holds
// them): each row's taps picked from its window by word permutes, its sum and
// the rows' sum in two halves of eight, in the plain kernel's order.
template <typename T, int TAPS>
void superGroup(const char* const* rows, const double* rowWeights, int32_t rowCount,
                const SuperBoxes& b, int32_t e, double scale, T* out) {
    const ColumnGroup& g = b.groups[e / kColumnGroup];
    const int32_t n = b.count - e < kColumnGroup ? b.count - e : kColumnGroup;
    const __mmask8 m[2] = {static_cast<__mmask8>(n >= 8 ? 0xFF : (1u << n) - 1),
                           static_cast<__mmask8>(n >= 16 ? 0xFF
                                                 : n > 8 ? (1u << (n - 8)) - 1
                                                         : 0)};
    const __m512i rel = _mm512_cvtepu8_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(g.rel)));
    __m512i idx[TAPS];
    __m512d w[TAPS][2];
    for (int32_t k = 0; k < TAPS; ++k) {
        idx[k] = _mm512_add_epi32(rel, _mm512_set1_epi32(k * b.tap));
        for (int32_t h = 0; h < 2; ++h)
            w[k][h] = _mm512_maskz_loadu_pd(m[h], b.weights + int64_t{k} * b.stride + e + 8 * h);
    }
    __m512d sum[2] = {_mm512_setzero_pd(), _mm512_setzero_pd()};
    for (int32_t r = 0; r < rowCount; ++r) {
        const T* window = reinterpret_cast<const T*>(rows[r]) + g.base;
        _mm_prefetch(reinterpret_cast<const char*>(window) + 512, _MM_HINT_T0);
        __m512i lo, hi;
        loadWordWindow(window, g.span, lo, hi);
        __m512d s[2] = {_mm512_setzero_pd(), _mm512_setzero_pd()};
        for (int32_t k = 0; k < TAPS; ++k) {
            const __m512i v = pickWordLanes(lo, hi, idx[k]);
            for (int32_t h = 0; h < 2; ++h)
                s[h] = _mm512_add_pd(s[h], _mm512_mul_pd(w[k][h], half(v, h)));
        }
        const __m512d rw = _mm512_set1_pd(rowWeights[r]);
        for (int32_t h = 0; h < 2; ++h) sum[h] = _mm512_add_pd(sum[h], _mm512_mul_pd(rw, s[h]));
    }
    const __m512d vscale = _mm512_set1_pd(scale), rounding = _mm512_set1_pd(0.5);
    const __m256i top = _mm256_set1_epi32(T(~T(0)));
    __m256i v[2];
    for (int32_t h = 0; h < 2; ++h)
        v[h] = _mm256_min_epi32(
            _mm512_cvttpd_epi32(_mm512_add_pd(_mm512_mul_pd(sum[h], vscale), rounding)), top);
    storeGroup(out + e, n, v[0], v[1]);
}

}  // namespace

// Sixteen lanes at a time for boxes of one to four taps per row; groups whose
// taps do not fit a window, and wider boxes, go to the plain kernel.
template <typename T>
void superRowAvx512(const char* const* rows, const double* rowWeights, int32_t rowCount,
                    const SuperBoxes& b, double scale, char* dst) {
    T* out = reinterpret_cast<T*>(dst);
    const SuperRowFn plain = kSuperRows[sizeof(T) - 1].variants.at[0];
    for (int32_t e = 0; e < b.count; e += kColumnGroup) {
        const int32_t n = b.count - e < kColumnGroup ? b.count - e : kColumnGroup;
        if (b.groups[e / kColumnGroup].span == 0 || b.taps < 1 || b.taps > 4) {
            const SuperBoxes part{b.elemOff + e, nullptr, b.weights + e, b.taps,
                                  b.tap,         n,       b.stride};
            plain(rows, rowWeights, rowCount, part, scale, reinterpret_cast<char*>(out + e));
        } else if (b.taps == 1) {
            superGroup<T, 1>(rows, rowWeights, rowCount, b, e, scale, out);
        } else if (b.taps == 2) {
            superGroup<T, 2>(rows, rowWeights, rowCount, b, e, scale, out);
        } else if (b.taps == 3) {
            superGroup<T, 3>(rows, rowWeights, rowCount, b, e, scale, out);
        } else {
            superGroup<T, 4>(rows, rowWeights, rowCount, b, e, scale, out);
        }
    }
}

template void superRowAvx512<uint8_t>(const char* const*, const double*, int32_t, const SuperBoxes&,
                                      double, char*);
template void superRowAvx512<uint16_t>(const char* const*, const double*, int32_t,
                                       const SuperBoxes&, double, char*);
