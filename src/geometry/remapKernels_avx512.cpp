// The remap kernels for AVX-512 (F, BW, VL) processors, giving the plain
// kernels' bits under the default rounding mode.  Sixteen positions at a time:
// NN gathers each pixel as one word; LINEAR gathers both pixels of a pair as
// one word per source row (16 lanes for one channel, 8 lanes of 8-byte words
// for up to four) and blends in double precision with the plain kernel's
// operations in its order.  The channels of pixel-ordered rows are
// interleaved by permutes and stored under a mask, so that positions outside
// the region leave their pixels.  Pixels whose words would reach past the
// source's last byte, and formats beyond four channels, go to the plain kernel.
#include <immintrin.h>

#include "geometry/remapKernels.h"
#include "zar.h"

namespace {

constexpr int32_t kLanes = 16;

template <typename T>
constexpr int32_t kBytes = static_cast<int32_t>(sizeof(T));

template <typename T, int32_t Mode, bool Planes>
RemapKernel plainKernel() {
    return kRemapKernels[(sizeof(T) == 2 ? 6 : 0) + (Planes ? 3 : 0) + Mode].variants.at[0];
}

// What stays fixed over a pass (a plane, or all channels of pixel-ordered rows).
struct Pass {
    const char* plane;  // the source plane (pixel layout: the first processed channel)
    char* dst;
    int32_t rowStep, pixelStep;  // source, bytes
    int32_t together;            // channels per pixel
    int32_t room;                // first taps at offsets up to this one gather inside the source
    bool packed;                 // destination pixels hold exactly the processed channels
};

inline __m256i lowHalf(__m512i v) { return _mm512_castsi512_si256(v); }
inline __m256i highHalf(__m512i v) { return _mm512_extracti64x4_epi64(v, 1); }
inline __m256 lowHalf(__m512 v) { return _mm512_castps512_ps256(v); }
inline __m256 highHalf(__m512 v) {
    return _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1));
}

// The 16 positions of a row from column c on, and which lie inside the region.
struct Row16 {
    __m512 x, y;
    __mmask16 take;
};
inline Row16 loadPositions(const RemapJob& job, int32_t r, int32_t c) {
    const float* xs = reinterpret_cast<const float*>(job.xMap + r * job.xMapStep);
    const float* ys = reinterpret_cast<const float*>(job.yMap + r * job.yMapStep);
    const int32_t n = job.width - c < kLanes ? job.width - c : kLanes;
    const __mmask16 tail = static_cast<__mmask16>((1u << n) - 1);
    // the maps stream from memory: asked for ahead of their use
    _mm_prefetch(reinterpret_cast<const char*>(xs + c) + 1024, _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(ys + c) + 1024, _MM_HINT_T0);
    Row16 p{_mm512_maskz_loadu_ps(tail, xs + c), _mm512_maskz_loadu_ps(tail, ys + c), tail};
    const __m512i bx = _mm512_castps_si512(p.x), by = _mm512_castps_si512(p.y);
    p.take = _mm512_mask_cmpge_epi32_mask(p.take, bx, _mm512_set1_epi32(job.lowX));
    p.take = _mm512_mask_cmple_epi32_mask(p.take, bx, _mm512_set1_epi32(job.highX));
    p.take = _mm512_mask_cmpge_epi32_mask(p.take, by, _mm512_set1_epi32(job.lowY));
    p.take = _mm512_mask_cmple_epi32_mask(p.take, by, _mm512_set1_epi32(job.highY));
    return p;
}

inline __m512i byteOffsets(__m512i ix, __m512i iy, const Pass& p) {
    return _mm512_add_epi32(_mm512_mullo_epi32(iy, _mm512_set1_epi32(p.rowStep)),
                            _mm512_mullo_epi32(ix, _mm512_set1_epi32(p.pixelStep)));
}

// The lanes of take whose words lie inside the source; the others are done by
// the plain kernel.
template <typename T, int32_t Mode, bool Planes>
__mmask16 safeLanes(const RemapJob& job, const Pass& p, __mmask16 take, __m512i offset,
                    int32_t pass, int32_t c, int32_t r) {
    const __mmask16 safe = _mm512_mask_cmple_epi32_mask(take, offset, _mm512_set1_epi32(p.room));
    for (uint32_t rest = take & ~safe; rest; rest &= rest - 1)
        plainKernel<T, Mode, Planes>()(
            remapPixelJob(job, Planes, pass, c + __builtin_ctz(rest), r));
    return safe;
}

// Channel k of lane i in values[k * 16 + i], written for the taken lanes.
template <typename T>
void storeScalar(const RemapJob& job, char* dstRow, const int32_t* values, __mmask16 take,
                 int32_t together) {
    for (uint32_t m = take; m; m &= m - 1) {
        const int32_t lane = __builtin_ctz(m);
        char* d = dstRow + lane * job.dstPixelStep;
        for (int32_t k = 0; k < together; ++k)
            *reinterpret_cast<T*>(d + k * job.dstChannelStep) = static_cast<T>(
                values[k * kLanes + lane]);
    }
}

// ------------------------------------------------------------------- NN

// Packs the first pixelBytes bytes of each slot (4 or 8 bytes) of words into
// consecutive pixels and stores those of the pixels in take.  pick gathers the
// pixels' bytes at the start of each 16-byte lane, join their dwords together.
struct Packing {
    __m512i pick, join;
};
Packing packing(int32_t slot, int32_t pixelBytes) {
    alignas(64) int8_t pick[64];
    alignas(64) int32_t join[16];
    const int32_t perLane = 16 / slot * pixelBytes;
    for (int32_t b = 0; b < 64; ++b) {
        const int32_t at = b % 16;
        pick[b] = at < perLane ? static_cast<int8_t>(at / pixelBytes * slot + at % pixelBytes) : -1;
    }
    for (int32_t d = 0; d < 16; ++d) join[d] = d / (perLane / 4) * 4 + d % (perLane / 4);
    return {_mm512_load_si512(pick), _mm512_load_si512(join)};
}
inline void storePacked(char* dst, __m512i words, __m512i slotMask, const Packing& k,
                        int32_t bytes) {
    auto pack = [&](__m512i v) {
        return _mm512_permutexvar_epi32(k.join, _mm512_shuffle_epi8(v, k.pick));
    };
    const __mmask64 m = _mm512_movepi8_mask(pack(slotMask)) &
                        (bytes >= 64 ? ~__mmask64{0} : (__mmask64{1} << bytes) - 1);
    _mm512_mask_storeu_epi8(dst, m, pack(words));
}

// The channels of the taken lanes from words of W, one pixel each.
template <typename T, typename W>
void storeWords(const RemapJob& job, char* dst, __m512i words, uint32_t take, int32_t together) {
    alignas(64) W w[64 / sizeof(W)];
    _mm512_store_si512(w, words);
    for (uint32_t m = take; m; m &= m - 1) {
        const int32_t lane = __builtin_ctz(m);
        for (int32_t k = 0; k < together; ++k)
            *reinterpret_cast<T*>(dst + lane * job.dstPixelStep +
                                  k * job.dstChannelStep) = static_cast<T>(w[lane] >>
                                                                           (8 * kBytes<T> * k));
    }
}

template <typename T, bool Planes>
void nearestRow(const RemapJob& job, const Pass& p, const Packing& k, int32_t pass, int32_t r) {
    char* dstRow = p.dst + r * job.dstRowStep;
    const int32_t pixelBytes = p.together * kBytes<T>;
    for (int32_t c = 0; c < job.width; c += kLanes) {
        const Row16 pos = loadPositions(job, r, c);
        if (!pos.take) continue;
        const __m512i offset = byteOffsets(_mm512_cvtps_epi32(pos.x), _mm512_cvtps_epi32(pos.y), p);
        const __mmask16 take = safeLanes<T, ZAR_INTER_NN, Planes>(job, p, pos.take, offset, pass, c,
                                                                  r);
        char* dst = dstRow + c * job.dstPixelStep;
        const __m512i all = _mm512_set1_epi32(-1), none = _mm512_setzero_si512();
        if (pixelBytes <= 4) {
            const __m512i w = _mm512_mask_i32gather_epi32(none, take, offset, p.plane, 1);
            if (p.packed)
                storePacked(dst, w, _mm512_maskz_mov_epi32(take, all), k, kLanes * pixelBytes);
            else
                storeWords<T, uint32_t>(job, dst, w, take, p.together);
            continue;
        }
        for (int32_t h = 0; h < 2; ++h) {  // 8-byte pixels: eight at a time, packed
            const __mmask8 m = static_cast<__mmask8>(take >> (8 * h));
            const __m512i w = _mm512_mask_i32gather_epi64(
                none, m, h ? highHalf(offset) : lowHalf(offset), p.plane, 1);
            char* out = dst + 8 * h * job.dstPixelStep;
            if (p.packed)
                storePacked(out, w, _mm512_maskz_mov_epi64(m, all), k, 8 * pixelBytes);
            else
                storeWords<T, uint64_t>(job, out, w, m, p.together);
        }
    }
}

// --------------------------------------------------------------- LINEAR

// nearest(v - 0.5 + 0.0000001) of positions v >= 0 below 2^24, evaluated by
// the plain kernel in double precision: no float lies within 1e-8 of a
// boundary k - 0.0000001, so it is floor(v + 0.0000001), that is floor(v) + 1
// when the fraction (exact in float) reaches 1 - 2^-24, the first float above
// 1 - 0.0000001; and that is v + 2^-24 rounded down, then floored.  Stepped
// back by one on the region's last column (row) unless at 0.  The fraction
// v - index is exact in float (the two lie within 1 of each other).
inline __m512i floorIndex(__m512 v, int32_t last, __m512d fraction[2]) {
    constexpr int32_t down = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC;
    const __m512 up = _mm512_add_round_ps(v, _mm512_set1_ps(0x1p-24f), down);
    __m512i i = _mm512_cvt_roundps_epi32(up, down);
    const __mmask16 back = _mm512_cmpeq_epi32_mask(i, _mm512_set1_epi32(last)) &
                           _mm512_cmpgt_epi32_mask(i, _mm512_setzero_si512());
    i = _mm512_mask_sub_epi32(i, back, i, _mm512_set1_epi32(1));
    const __m512 f = _mm512_sub_ps(v, _mm512_cvtepi32_ps(i));
    fraction[0] = _mm512_cvtps_pd(lowHalf(f));
    fraction[1] = _mm512_cvtps_pd(highHalf(f));
    return i;
}

// top = a + (b - a) fx, bottom = c + (d - c) fx, nearest(top + (bottom - top) fy).
inline __m256i blend(__m512d a, __m512d b, __m512d c, __m512d d, __m512d fx, __m512d fy) {
    const __m512d top = _mm512_add_pd(a, _mm512_mul_pd(_mm512_sub_pd(b, a), fx));
    const __m512d bottom = _mm512_add_pd(c, _mm512_mul_pd(_mm512_sub_pd(d, c), fx));
    return _mm512_cvtpd_epi32(_mm512_add_pd(top, _mm512_mul_pd(_mm512_sub_pd(bottom, top), fy)));
}

// The field of bits bits at bit shift of every 64-bit lane as doubles: or'ed
// into the pattern of 2^52, which is then taken off (exact).
inline __m512d fieldAsDouble(__m512i words, int32_t shift, int32_t bits) {
    const __m512i field = _mm512_srl_epi64(words, _mm_cvtsi32_si128(shift));
    const __m512i mask = _mm512_set1_epi64((int64_t{1} << bits) - 1);
    const __m512i magic = _mm512_set1_epi64(0x4330000000000000);
    return _mm512_sub_pd(_mm512_castsi512_pd(_mm512_ternarylogic_epi64(field, mask, magic, 0xEA)),
                         _mm512_set1_pd(4503599627370496.0));
}

// One channel whose pair of taps fits one 32-bit word: one gather per source row.
template <typename T>
__m512i linearNarrow(const Pass& p, __m512i offset, const __m512d fx[2], const __m512d fy[2],
                     __mmask16 take) {
    const __m512i none = _mm512_setzero_si512();
    const __m512i w0 = _mm512_mask_i32gather_epi32(none, take, offset, p.plane, 1);
    const __m512i w1 = _mm512_mask_i32gather_epi32(none, take, offset, p.plane + p.rowStep, 1);
    const __m512i low = _mm512_set1_epi32(sizeof(T) == 1 ? 0xFF : 0xFFFF);
    const __m128i shift = _mm_cvtsi32_si128(8 * p.pixelStep);
    const __m512i a = _mm512_and_si512(w0, low);
    const __m512i b = _mm512_and_si512(_mm512_srl_epi32(w0, shift), low);
    const __m512i c = _mm512_and_si512(w1, low);
    const __m512i d = _mm512_and_si512(_mm512_srl_epi32(w1, shift), low);
    auto half = [&](int32_t h) {
        auto asDouble = [h](__m512i v) { return _mm512_cvtepi32_pd(h ? highHalf(v) : lowHalf(v)); };
        return blend(asDouble(a), asDouble(b), asDouble(c), asDouble(d), fx[h], fy[h]);
    };
    return _mm512_inserti64x4(_mm512_castsi256_si512(half(0)), half(1), 1);
}

// Up to four channels of 16 lanes whose pixels fit 8-byte words, eight lanes
// at a time, the pair of a row in one word or two: channel k of lane i into
// values[k * 16 + i].  Every word is gathered before the arithmetic starts.
template <typename T>
void linearWide(const Pass& p, __m512i offset, const __m512d fx[2], const __m512d fy[2],
                __mmask16 take, int32_t* values) {
    constexpr int32_t bits = 8 * kBytes<T>;
    const bool pairInOne = p.pixelStep + p.together * kBytes<T> <= 8;
    __m512i a0[2], a1[2], b0[2], b1[2];
    for (int32_t h = 0; h < 2; ++h) {
        const __mmask8 m = static_cast<__mmask8>(take >> (8 * h));
        const __m256i at = h ? highHalf(offset) : lowHalf(offset);
        auto gather = [&](int32_t from) {
            return _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), m, at, p.plane + from, 1);
        };
        a0[h] = gather(0);
        a1[h] = gather(p.rowStep);
        b0[h] = pairInOne ? a0[h] : gather(p.pixelStep);
        b1[h] = pairInOne ? a1[h] : gather(p.rowStep + p.pixelStep);
    }
    const int32_t bShift = pairInOne ? 8 * p.pixelStep : 0;
    for (int32_t h = 0; h < 2; ++h)
        for (int32_t k = 0; k < p.together; ++k) {
            const __m512d a = fieldAsDouble(a0[h], k * bits, bits);
            const __m512d b = fieldAsDouble(b0[h], bShift + k * bits, bits);
            const __m512d c = fieldAsDouble(a1[h], k * bits, bits);
            const __m512d d = fieldAsDouble(b1[h], bShift + k * bits, bits);
            _mm256_store_si256(reinterpret_cast<__m256i*>(values + k * kLanes + 8 * h),
                               blend(a, b, c, d, fx[h], fy[h]));
        }
}

// The channels of 16 pixels from values (channel k of lane i at k * 16 + i)
// interleaved by a word permute and stored for the lanes of take: eight
// pixels (up to 32 words) at a time.
template <typename T>
void storeInterleaved(char* dst, const int32_t* values, __mmask16 take, int32_t together,
                      __m512i order) {
    for (int32_t h = 0; h < 2; ++h) {
        const uint32_t m = (take >> (8 * h)) & 0xFF;
        if (!m) continue;
        auto channel = [&](int32_t k) {
            return _mm256_cvtepi32_epi16(
                _mm256_load_si256(reinterpret_cast<const __m256i*>(values + k * kLanes + 8 * h)));
        };
        __m512i slots = _mm512_castsi128_si512(channel(0));
        if (together > 1) slots = _mm512_inserti32x4(slots, channel(1), 1);
        if (together > 2) slots = _mm512_inserti32x4(slots, channel(2), 2);
        if (together > 3) slots = _mm512_inserti32x4(slots, channel(3), 3);
        const __m512i words = _mm512_permutexvar_epi16(order, slots);
        const __mmask32 slotMask = m | m << 8 | m << 16 | m << 24;
        const __mmask32 elems = _mm512_movepi16_mask(
                                    _mm512_permutexvar_epi16(order, _mm512_movm_epi16(slotMask))) &
                                static_cast<__mmask32>((uint64_t{1} << (8 * together)) - 1);
        char* out = dst + 8 * h * together * kBytes<T>;
        if constexpr (sizeof(T) == 1)
            _mm256_mask_storeu_epi8(out, elems, _mm512_cvtepi16_epi8(words));
        else
            _mm512_mask_storeu_epi16(out, elems, words);
    }
}

template <typename T, bool Planes>
void linearRow(const RemapJob& job, const Pass& p, __m512i order, int32_t pass, int32_t r) {
    char* dstRow = p.dst + r * job.dstRowStep;
    const bool narrow = p.together == 1 && p.pixelStep + kBytes<T> <= 4;
    for (int32_t c = 0; c < job.width; c += kLanes) {
        const Row16 pos = loadPositions(job, r, c);
        if (!pos.take) continue;
        __m512d fx[2], fy[2];
        const __m512i ix = floorIndex(pos.x, job.x1, fx), iy = floorIndex(pos.y, job.y1, fy);
        const __m512i offset = byteOffsets(ix, iy, p);
        const __mmask16 take = safeLanes<T, ZAR_INTER_LINEAR, Planes>(job, p, pos.take, offset,
                                                                      pass, c, r);
        char* dst = dstRow + c * job.dstPixelStep;
        alignas(64) int32_t values[4 * kLanes];
        if (narrow) {
            const __m512i v = linearNarrow<T>(p, offset, fx, fy, take);
            if (p.packed) {
                if constexpr (sizeof(T) == 1)
                    _mm_mask_storeu_epi8(dst, take, _mm512_cvtepi32_epi8(v));
                else
                    _mm256_mask_storeu_epi16(dst, take, _mm512_cvtepi32_epi16(v));
                continue;
            }
            _mm512_store_si512(values, v);
        } else {
            linearWide<T>(p, offset, fx, fy, take, values);
            if (p.packed) {
                storeInterleaved<T>(dst, values, take, p.together, order);
                continue;
            }
        }
        storeScalar<T>(job, dst, values, take, p.together);
    }
}

// Word j of eight interleaved pixels of together channels: channel j % together
// of pixel j / together, from the channel blocks of eight words.
__m512i interleaving(int32_t together) {
    alignas(64) uint16_t order[32];
    for (int32_t j = 0; j < 32; ++j)
        order[j] = static_cast<uint16_t>(j < 8 * together ? j % together * 8 + j / together : j);
    return _mm512_load_si512(order);
}

}  // namespace

template <typename T, int32_t Mode, bool Planes>
void remapAvx512(const RemapJob& job) {
    const int32_t together = Planes ? 1 : job.channels;
    const int64_t bytes = job.srcEnd - job.src;
    // offsets in 32-bit lanes, positions in float's integers, pixels in 8-byte words
    if (bytes > INT32_MAX / 2 || job.srcRowStep > INT32_MAX / 4 || job.srcWidth > (1 << 24) ||
        job.srcHeight > (1 << 24) || together * kBytes < T >> 8 || together > 4)
        return plainKernel<T, Mode, Planes>()(job);
    const int32_t passes = Planes ? job.channels : 1;
    const int32_t pixelBytes = together * kBytes<T>;
    const Packing packs = packing(pixelBytes <= 4 ? 4 : 8, pixelBytes);
    const __m512i order = interleaving(together);
    for (int32_t pass = 0; pass < passes; ++pass) {
        Pass p{
            job.src + pass * job.srcChannelStep,
            job.dst + (Planes ? pass * job.dstChannelStep : 0),
            static_cast<int32_t>(job.srcRowStep),
            static_cast<int32_t>(job.srcPixelStep),
            together,
            0,
            job.dstPixelStep == pixelBytes && (together == 1 || job.dstChannelStep == kBytes<T>)};
        // the widest read: eight bytes a row below and a pixel on
        const int64_t room = job.srcEnd - p.plane - 8 -
                             (Mode == ZAR_INTER_NN ? 0 : p.rowStep + p.pixelStep);
        p.room = room < 0 ? -1 : static_cast<int32_t>(room);
        for (int32_t r = 0; r < job.height; ++r) {
            if constexpr (Mode == ZAR_INTER_NN)
                nearestRow<T, Planes>(job, p, packs, pass, r);
            else
                linearRow<T, Planes>(job, p, order, pass, r);
        }
    }
}

#define ZAR_REMAP_AVX512(T)                                                 \
    template void remapAvx512<T, ZAR_INTER_NN, false>(const RemapJob&);     \
    template void remapAvx512<T, ZAR_INTER_NN, true>(const RemapJob&);      \
    template void remapAvx512<T, ZAR_INTER_LINEAR, false>(const RemapJob&); \
    template void remapAvx512<T, ZAR_INTER_LINEAR, true>(const RemapJob&)
ZAR_REMAP_AVX512(uint8_t);
ZAR_REMAP_AVX512(uint16_t);
