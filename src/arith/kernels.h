// Row kernels and region kernels of the arithmetic and logic operations.
//
// An operation is a functor with `T operator()(T a, T b)` on samples (or on
// packed 1-bit words) and a flag telling whether it reads a second source.
// The region kernels resolve the operands' regions once per call (or per piece
// of the tiled walk) and run row kernels over raw pointers; nothing is decided
// per pixel.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "arith/addRows.h"
#include "arith/arith.h"
#include "image/rows.h"

// ------------------------------------------------------------ operations

struct OrBits {
    static constexpr bool kTwoSources = true;
    explicit OrBits(uint32_t) {}
    template <class W>
    W operator()(W a, W b) const {
        return a | b;
    }
};

struct AndBits {
    static constexpr bool kTwoSources = true;
    explicit AndBits(uint32_t) {}
    template <class W>
    W operator()(W a, W b) const {
        return a & b;
    }
};

// XOR with the constant's 32-bit pattern; narrower samples take its low bits.
struct XorBits {
    static constexpr bool kTwoSources = false;
    uint64_t pattern;
    explicit XorBits(uint32_t p) : pattern(p | (static_cast<uint64_t>(p) << 32)) {}
    template <class W>
    W operator()(W a, W) const {
        return a ^ static_cast<W>(pattern);
    }
};

// Sum saturated to the sample type's range; floats are never clamped.
struct SaturatedAdd {
    static constexpr bool kTwoSources = true;
    explicit SaturatedAdd(uint32_t) {}
    template <class T>
    T operator()(T a, T b) const {
        if constexpr (std::is_floating_point_v<T>) {
            return a + b;
        } else if constexpr (std::is_same_v<T, int32_t>) {
            // Without a 64-bit sum (which the compiler vectorises poorly): the
            // wrapped sum overflowed when its sign differs from both operands'
            // signs, and then the result is the bound on a's side.
            const uint32_t sum = static_cast<uint32_t>(a) + static_cast<uint32_t>(b);
            const int32_t wrapped = static_cast<int32_t>(sum);
            const int32_t overflow = ((a ^ wrapped) & (b ^ wrapped)) >> 31;  // 0 or -1
            const int32_t bound = (a >> 31) ^ std::numeric_limits<int32_t>::max();
            return (wrapped & ~overflow) | (bound & overflow);
        } else {
            using Wide = std::conditional_t<(sizeof(T) < 4), int32_t, int64_t>;
            const Wide sum = static_cast<Wide>(a) + static_cast<Wide>(b);
            constexpr Wide lo = std::numeric_limits<T>::min();
            constexpr Wide hi = std::numeric_limits<T>::max();
            // Written as a maximum and then a minimum, which the compiler may
            // turn into conditional moves rather than branches on the data.
            const Wide low = sum < lo ? lo : sum;
            return static_cast<T>(low > hi ? hi : low);
        }
    }
};

// ------------------------------------------------------------- sample rows

// n consecutive samples.  b may equal a for a one-source operation.
template <class T, class Op>
void runRow(const T* a, const T* b, T* d, int64_t n, const Op& op) {
    for (int64_t i = 0; i < n; ++i) d[i] = op(a[i], b[i]);
}

// The entry of kAddRows for T.
template <class T>
constexpr int32_t addRowsIndex() {
    return (sizeof(T) == 2 ? 2 : 0) + (std::is_signed_v<T> ? 1 : 0);
}

// The saturating add's rows: the table's where there is an entry.
template <class T>
void runRow(const T* a, const T* b, T* d, int64_t n, const SaturatedAdd& op) {
    if constexpr (sizeof(T) <= 2 && std::is_integral_v<T>) {
        kAddRows[addRowsIndex<T>()].variants.pick()(a, b, d, n);
    } else {
        for (int64_t i = 0; i < n; ++i) d[i] = op(a[i], b[i]);
    }
}

// w pixels of kPer samples each (per when kPer is 0); pixels are
// strideA/B/D samples apart.
template <int32_t kPer, class T, class Op>
void pixelRowOf(const T* a, int32_t strideA, const T* b, int32_t strideB, T* d, int32_t strideD,
                int32_t per, int32_t w, const Op& op) {
    const int32_t samples = kPer ? kPer : per;
    for (int32_t x = 0; x < w; ++x, a += strideA, b += strideB, d += strideD)
        for (int32_t c = 0; c < samples; ++c) d[c] = op(a[c], b[c]);
}

// The common sample counts get loops of a fixed count (a variable inner count
// made the compiler guard every pixel's samples), chosen once per row.
template <class T, class Op>
void pixelRow(const T* a, int32_t strideA, const T* b, int32_t strideB, T* d, int32_t strideD,
              int32_t per, int32_t w, const Op& op) {
    switch (per) {
        case 1:
            pixelRowOf<1>(a, strideA, b, strideB, d, strideD, per, w, op);
            break;
        case 2:
            pixelRowOf<2>(a, strideA, b, strideB, d, strideD, per, w, op);
            break;
        case 3:
            pixelRowOf<3>(a, strideA, b, strideB, d, strideD, per, w, op);
            break;
        case 4:
            pixelRowOf<4>(a, strideA, b, strideB, d, strideD, per, w, op);
            break;
        default:
            pixelRowOf<0>(a, strideA, b, strideB, d, strideD, per, w, op);
            break;
    }
}

// The pixels x .. x + n - 1 (n <= 8) whose bits of byte (bit 7 - first for
// pixel x, then down) are set, in one pass over the byte's pixels (no run
// bookkeeping per bit): a clear bit keeps the destination's value.  Pixel by
// pixel in order, so overlapping operands read what a per-pixel test would.
template <int32_t kPer, class T, class Op>
void selectPixelsOf(const T* a, int32_t strideA, const T* b, int32_t strideB, T* d, int32_t strideD,
                    int32_t per, int32_t n, uint32_t byte, int32_t first, const Op& op) {
    const int32_t samples = kPer ? kPer : per;
    for (int32_t i = 0; i < n; ++i, a += strideA, b += strideB, d += strideD) {
        const bool set = ((byte >> (7 - first - i)) & 1) != 0;
        for (int32_t c = 0; c < samples; ++c) {
            const T result = op(a[c], b[c]);
            d[c] = set ? result : d[c];
        }
    }
}

// As pixelRow, only for pixels whose mask bit (most significant bit first,
// from bit maskBit of *mask) is 1.  Whole 0x00 and 0xFF bytes extend runs of
// clear or set bits, each run of set bits one row call (a single run of
// samples when the pixels are contiguous); the pixels of the other bytes are
// handled in one pass per byte.  (A blend through bit masks instead of the
// choice measured slower on random masks.)
template <int32_t kPer, class T, class Op>
void maskedPixelRowOf(const T* a, int32_t strideA, const T* b, int32_t strideB, T* d,
                      int32_t strideD, int32_t per, int32_t w, const uint8_t* mask, int32_t maskBit,
                      const Op& op) {
    const bool contiguous = strideA == per && strideB == per && strideD == per;
    auto runOf = [&](int32_t x, int32_t n) {
        if (contiguous)
            runRow(a + static_cast<int64_t>(x) * per, b + static_cast<int64_t>(x) * per,
                   d + static_cast<int64_t>(x) * per, static_cast<int64_t>(n) * per, op);
        else
            pixelRowOf<kPer>(a + static_cast<int64_t>(x) * strideA, strideA,
                             b + static_cast<int64_t>(x) * strideB, strideB,
                             d + static_cast<int64_t>(x) * strideD, strideD, per, n, op);
    };
    int32_t runStart = -1;  // first pixel of the pending run of set bits
    auto flush = [&](int32_t x) {
        if (runStart >= 0) runOf(runStart, x - runStart);
        runStart = -1;
    };
    int32_t x = 0;
    for (int32_t bit = maskBit; x < w; bit = 0, ++mask) {
        const uint8_t byte = *mask;
        const int32_t n = std::min(8 - bit, w - x);
        if (n == 8 && byte == 0xFF) {
            if (runStart < 0) runStart = x;
        } else if (n == 8 && byte == 0) {
            flush(x);
        } else {
            flush(x);
            selectPixelsOf<kPer>(a + static_cast<int64_t>(x) * strideA, strideA,
                                 b + static_cast<int64_t>(x) * strideB, strideB,
                                 d + static_cast<int64_t>(x) * strideD, strideD, per, n, byte, bit,
                                 op);
        }
        x += n;
    }
    flush(w);
}

template <class T, class Op>
void maskedPixelRow(const T* a, int32_t strideA, const T* b, int32_t strideB, T* d, int32_t strideD,
                    int32_t per, int32_t w, const uint8_t* mask, int32_t maskBit, const Op& op) {
    switch (per) {
        case 1:
            maskedPixelRowOf<1>(a, strideA, b, strideB, d, strideD, per, w, mask, maskBit, op);
            break;
        case 3:
            maskedPixelRowOf<3>(a, strideA, b, strideB, d, strideD, per, w, mask, maskBit, op);
            break;
        default:
            maskedPixelRowOf<0>(a, strideA, b, strideB, d, strideD, per, w, mask, maskBit, op);
            break;
    }
}

// --------------------------------------------------------------- bit rows

inline uint64_t loadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

inline void storeBigEndian64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

// The 64 bits of a 1-bit row that start at bit position pos (most significant
// bit first; pos may be negative).  Only the row's bytes [0, bytes) are read;
// positions outside them read as 0.
inline uint64_t loadBitsAt(const uint8_t* row, int64_t bytes, int64_t pos) {
    const int64_t first = pos >> 3;  // rounds toward minus infinity
    const int shift = static_cast<int>(pos & 7);
    if (first >= 0 && first + 9 <= bytes) {
        const uint64_t v = loadBigEndian64(row + first);
        return shift ? (v << shift) | (row[first + 8] >> (8 - shift)) : v;
    }
    auto byteAt = [&](int64_t i) -> uint64_t { return i >= 0 && i < bytes ? row[i] : 0; };
    uint64_t v = 0;
    for (int j = 0; j < 8; ++j) v = (v << 8) | byteAt(first + j);
    return shift ? (v << shift) | (byteAt(first + 8) >> (8 - shift)) : v;
}

// The 64 bits that start shift bits (0..7) into byte p; reads p[0..8].
inline uint64_t loadShifted(const uint8_t* p, int shift) {
    // A byte shifted right by 8 is 0, so shift 0 needs no branch.
    return (loadBigEndian64(p) << shift) | (static_cast<uint64_t>(p[8]) >> (8 - shift));
}

// Combines w bits of the source rows (each from its own bit offset 0..7 of its
// first byte) into the destination row at its bit offset, 64 bits at a time.
// Destination bits outside the w bits (and, when masked, where the mask bit is
// 0) keep their values.  In place use (d == a, same offset) is allowed.
//
// Window q covers destination bits [q, q + 64) from d's first bit; the
// windows inside the row (from the first whole one while every source has 9
// bytes left) run without bound checks, the first and last ones through
// loadBitsAt and a byte-wise merge.
template <bool kMasked, class Op>
void combineBitRow(uint8_t* d, int32_t offD, const uint8_t* a, int32_t offA, const uint8_t* b,
                   int32_t offB, const uint8_t* m, int32_t offM, int32_t w, const Op& op) {
    const int64_t end = static_cast<int64_t>(offD) + w;  // destination bits [offD, end)
    const int64_t bytesD = (end + 7) >> 3;
    const int64_t bytesA = (static_cast<int64_t>(offA) + w + 7) >> 3;
    const int64_t bytesB = (static_cast<int64_t>(offB) + w + 7) >> 3;
    const int64_t bytesM = (static_cast<int64_t>(offM) + w + 7) >> 3;

    auto edgeWindow = [&](int64_t q) {
        const uint64_t va = loadBitsAt(a, bytesA, q - offD + offA);
        uint64_t vb = 0;
        if constexpr (Op::kTwoSources) vb = loadBitsAt(b, bytesB, q - offD + offB);
        const uint64_t result = op(va, vb);
        uint64_t select = ~0ull;
        if (q < offD) select >>= offD;
        if (end - q < 64) select &= ~(~0ull >> (end - q));
        if constexpr (kMasked) select &= loadBitsAt(m, bytesM, q - offD + offM);
        uint8_t* p = d + (q >> 3);
        const int64_t left = bytesD - (q >> 3);
        if (left >= 8) {
            storeBigEndian64(p, (loadBigEndian64(p) & ~select) | (result & select));
            return;
        }
        for (int64_t j = 0; j < left; ++j) {
            const int shift = 56 - 8 * static_cast<int>(j);
            const uint8_t s = static_cast<uint8_t>(select >> shift);
            const uint8_t v = static_cast<uint8_t>(result >> shift);
            p[j] = static_cast<uint8_t>((p[j] & ~s) | (v & s));
        }
    };

    // Source bit q - offD + off lies shift bits into byte q / 8 + first.
    const int32_t firstA = (offA - offD) >> 3, shiftA = (offA - offD) & 7;
    const int32_t firstB = (offB - offD) >> 3, shiftB = (offB - offD) & 7;
    const int32_t firstM = (offM - offD) >> 3, shiftM = (offM - offD) & 7;
    int64_t q = 0;
    if (offD != 0) {
        edgeWindow(0);
        q = 64;
    }
    // q + 72 <= end leaves every source 9 bytes from its window's first byte.
    for (; q + 72 <= end; q += 64) {
        const int64_t byte = q >> 3;
        const uint64_t va = loadShifted(a + byte + firstA, shiftA);
        uint64_t vb = 0;
        if constexpr (Op::kTwoSources) vb = loadShifted(b + byte + firstB, shiftB);
        const uint64_t result = op(va, vb);
        if constexpr (kMasked) {
            const uint64_t select = loadShifted(m + byte + firstM, shiftM);
            storeBigEndian64(d + byte, (loadBigEndian64(d + byte) & ~select) | (result & select));
        } else {
            storeBigEndian64(d + byte, result);
        }
    }
    for (; q < end; q += 64) edgeWindow(q);
}

// The same one bit at a time in pixel order, each read after the bits before
// it were written: for rows that share memory.
template <bool kMasked, class Op>
void combineBitsInOrder(uint8_t* d, int32_t offD, const uint8_t* a, int32_t offA, const uint8_t* b,
                        int32_t offB, const uint8_t* m, int32_t offM, int32_t w, const Op& op) {
    for (int32_t i = 0; i < w; ++i) {
        if (kMasked && !getBit(m, int64_t{offM} + i)) continue;
        const uint32_t va = getBit(a, int64_t{offA} + i) ? ~0u : 0u;
        const uint32_t vb = Op::kTwoSources && getBit(b, int64_t{offB} + i) ? ~0u : 0u;
        putBit(d, int64_t{offD} + i, static_cast<int>(op(va, vb) & 1u));
    }
}

// ---------------------------------------------------------- region kernels

// The source B header to read: source A stands in for a one-source operation
// (whose functor ignores the second value).
inline const ImageHeader* sourceB(const KernelArgs& k) { return k.srcB ? k.srcB : k.srcA; }
inline int32_t channelB(const KernelArgs& k) { return k.srcB ? k.channelB : k.channelA; }

// A source whose pixel block overlaps the destination's at another address:
// the rules then go row by row in order, which one run joining the rows (and
// their padding) would not follow.  The same block is position by position.
inline bool sharesMemoryAtAnOffset(const ImageHeader* src, const ImageHeader* dst) {
    return src->imageData != dst->imageData &&
           bytesOverlap(src->imageData, src->imageSize, dst->imageData, dst->imageSize);
}

// Both sources and the destination may be processed as one run of imageSize
// bytes (no mask; equal geometry; regions covering the whole images; no
// source sharing the destination's memory at an offset).
inline bool wholeBufferLayout(const KernelArgs& k) {
    return !k.mask && isWholeImageLayout(k.srcA, k.dst, k.alpha) &&
           isWholeImageLayout(sourceB(k), k.dst, k.alpha) &&
           !sharesMemoryAtAnOffset(k.srcA, k.dst) && !sharesMemoryAtAnOffset(sourceB(k), k.dst);
}

// The whole pixel buffers as one run of W values (row padding included).
template <class W, class Op>
void wholeBufferRun(const KernelArgs& k) {
    const Op op(k.pattern);
    runRow(reinterpret_cast<const W*>(k.srcA->imageData),
           reinterpret_cast<const W*>(sourceB(k)->imageData),
           reinterpret_cast<W*>(k.dst->imageData),
           static_cast<int64_t>(k.srcA->imageSize) / static_cast<int64_t>(sizeof(W)), op);
}

// The operands' regions at their channel indices, cut to the common size.
struct RegionOrigins {
    RoiOrigin a, b, d, m;
    int32_t width, height;
};

inline RegionOrigins resolveRegion(const KernelArgs& k) {
    RegionOrigins r;
    r.a = getRoiOrigin(k.srcA, k.channelA);
    r.b = getRoiOrigin(sourceB(k), channelB(k));
    r.d = getRoiOrigin(k.dst, k.channelDst);
    r.width = std::min({r.a.width, r.b.width, r.d.width});
    r.height = std::min({r.a.height, r.b.height, r.d.height});
    r.m = {};
    if (k.mask) {
        r.m = getRoiOrigin(k.mask, 0);
        r.width = std::min(r.width, r.m.width);
        r.height = std::min(r.height, r.m.height);
    }
    return r;
}

// Kernel on samples of type T: the whole-buffer form (values of type W) when
// kWholeBuffer allows it, then plane order, one or several samples per pixel,
// or one run per row.  Masked kernels test the mask bit of each pixel.
template <class Op, class T, class W, bool kMasked, bool kWholeBuffer>
void sampleRegion(const KernelArgs& k) {
    if constexpr (!kMasked && kWholeBuffer) {
        if (wholeBufferLayout(k)) {
            wholeBufferRun<W, Op>(k);
            return;
        }
    }
    const RegionOrigins r = resolveRegion(k);
    if (r.width <= 0 || r.height <= 0 || k.channels <= 0) return;
    const Op op(k.pattern);
    const ImageHeader* A = k.srcA;
    const ImageHeader* B = sourceB(k);
    const ImageHeader* D = k.dst;
    const char* a = r.a.address;
    const char* b = r.b.address;
    char* d = r.d.address;
    const uint8_t* m = reinterpret_cast<const uint8_t*>(r.m.address);
    const int32_t maskStep = k.mask ? k.mask->widthStep : 0;

    if (D->dataOrder == ZAR_DATA_ORDER_PLANE) {
        const int64_t planeA = static_cast<int64_t>(A->height) * A->widthStep;
        const int64_t planeB = static_cast<int64_t>(B->height) * B->widthStep;
        const int64_t planeD = static_cast<int64_t>(D->height) * D->widthStep;
        for (int32_t c = 0; c < k.channels; ++c) {
            const char* ra = a + c * planeA;
            const char* rb = b + c * planeB;
            char* rd = d + c * planeD;
            const uint8_t* rm = m;
            for (int32_t y = 0; y < r.height; ++y) {
                if constexpr (kMasked) {
                    maskedPixelRow(reinterpret_cast<const T*>(ra), 1,
                                   reinterpret_cast<const T*>(rb), 1, reinterpret_cast<T*>(rd), 1,
                                   1, r.width, rm, r.m.bitOffset, op);
                    rm += maskStep;
                } else {
                    runRow(reinterpret_cast<const T*>(ra), reinterpret_cast<const T*>(rb),
                           reinterpret_cast<T*>(rd), r.width, op);
                }
                ra += A->widthStep;
                rb += B->widthStep;
                rd += D->widthStep;
            }
        }
        return;
    }

    // Pixel order: with a channel of interest every operand processes one
    // sample per pixel (k.channels is then 1); otherwise the processed samples
    // of each pixel, pixels nChannels apart.
    const int32_t per = k.channels;
    const bool oneRun = k.allChannels && !k.alpha;
    for (int32_t y = 0; y < r.height; ++y) {
        const T* ra = reinterpret_cast<const T*>(a);
        const T* rb = reinterpret_cast<const T*>(b);
        T* rd = reinterpret_cast<T*>(d);
        if constexpr (kMasked) {
            maskedPixelRow(ra, A->nChannels, rb, B->nChannels, rd, D->nChannels, per, r.width, m,
                           r.m.bitOffset, op);
            m += maskStep;
        } else if (oneRun) {
            runRow(ra, rb, rd, static_cast<int64_t>(r.width) * per, op);
        } else {
            pixelRow(ra, A->nChannels, rb, B->nChannels, rd, D->nChannels, per, r.width, op);
        }
        a += A->widthStep;
        b += B->widthStep;
        d += D->widthStep;
    }
}

// Kernel on 1-bit images: the whole-buffer form in 32-bit words when
// kWholeBuffer allows it, else each row combined bit-aligned.  Masked rows
// are merged 64 bits at a time under the mask's bits, which leaves every
// pixel as a test of its own mask bit would.
template <class Op, bool kMasked, bool kWholeBuffer>
void bitRegion(const KernelArgs& k) {
    if (k.channels <= 0) return;  // the only channel is an alpha channel
    if constexpr (!kMasked && kWholeBuffer) {
        if (wholeBufferLayout(k)) {
            wholeBufferRun<uint32_t, Op>(k);
            return;
        }
    }
    const RegionOrigins r = resolveRegion(k);
    if (r.width <= 0 || r.height <= 0) return;
    const Op op(k.pattern);
    auto a = reinterpret_cast<const uint8_t*>(r.a.address);
    auto b = reinterpret_cast<const uint8_t*>(r.b.address);
    auto d = reinterpret_cast<uint8_t*>(r.d.address);
    auto m = reinterpret_cast<const uint8_t*>(r.m.address);
    const int32_t maskStep = k.mask ? k.mask->widthStep : 0;
    // A source row sharing bytes with its destination row (other than the
    // same bits in place) goes bit by bit in pixel order, as the rules order
    // it; the 64-bit windows would read bits after writing over them.
    auto bytesOf = [&](int32_t offset) { return (int64_t{offset} + r.width + 7) >> 3; };
    auto sharesRow = [&](const uint8_t* s, int32_t offset) {
        return !(s == d && offset == r.d.bitOffset) &&
               bytesOverlap(s, bytesOf(offset), d, bytesOf(r.d.bitOffset));
    };
    for (int32_t y = 0; y < r.height; ++y) {
        if (sharesRow(a, r.a.bitOffset) || (Op::kTwoSources && sharesRow(b, r.b.bitOffset)))
            combineBitsInOrder<kMasked>(d, r.d.bitOffset, a, r.a.bitOffset, b, r.b.bitOffset, m,
                                        r.m.bitOffset, r.width, op);
        else
            combineBitRow<kMasked>(d, r.d.bitOffset, a, r.a.bitOffset, b, r.b.bitOffset, m,
                                   r.m.bitOffset, r.width, op);
        a += k.srcA->widthStep;
        b += sourceB(k)->widthStep;
        d += k.dst->widthStep;
        m += maskStep;
    }
}

// Kernels of a logical operation by depth: 1-bit, 8-bit, 16-bit and 32-bit
// integers; null for 32F.  Bits combine the same whatever the sign, so the
// whole-buffer form works on 32-bit words.
template <class Op, bool kWholeBuffer>
RegionKernel chooseLogicalKernel(int32_t depth, bool masked) {
    switch (depth) {
        case ZAR_DEPTH_1U:
            return masked ? &bitRegion<Op, true, false> : &bitRegion<Op, false, kWholeBuffer>;
        case ZAR_DEPTH_8U:
        case ZAR_DEPTH_8S:
            return masked ? &sampleRegion<Op, uint8_t, uint32_t, true, false>
                          : &sampleRegion<Op, uint8_t, uint32_t, false, kWholeBuffer>;
        case ZAR_DEPTH_16U:
        case ZAR_DEPTH_16S:
            return masked ? &sampleRegion<Op, uint16_t, uint32_t, true, false>
                          : &sampleRegion<Op, uint16_t, uint32_t, false, kWholeBuffer>;
        case ZAR_DEPTH_32S:
            return masked ? &sampleRegion<Op, uint32_t, uint32_t, true, false>
                          : &sampleRegion<Op, uint32_t, uint32_t, false, kWholeBuffer>;
        default:
            return nullptr;
    }
}
