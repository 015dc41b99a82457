// The one dispatch point of the kernels: the instruction-set level of the
// processor and the tables that hold a kernel's variants, one per level.
//
// Each kernel family keeps one table of entries; an entry holds the plain C++
// kernel (the reference, which every variant matches bit for bit) and, where
// it pays, variants compiled for higher levels in files of their own
// (xxx_sse41.cpp, xxx_avx2.cpp, xxx_avx512.cpp).  A call takes the entry's best
// variant at or below the level in force.  DEVELOPERS.md tells how to add one.
#pragma once

#include <cstdint>

enum class IsaLevel : int32_t {
    plain = 0,   // portable C++, whatever the target
    sse41 = 1,   // x86: SSE2 to SSE4.1
    avx2 = 2,    // x86: AVX2
    avx512 = 3,  // x86: AVX-512 F, BW and VL
};
inline constexpr int32_t kIsaLevelCount = 4;

// The level in force: the processor's (found once per process, without a lock),
// capped by setMaxIsaForTests.
IsaLevel isaLevel();
// The processor's own level, whatever the cap.
IsaLevel detectedIsaLevel();
// Whether AVX-512 VBMI (byte permutes across a whole register) may be used:
// the processor runs it, the level in force is AVX-512, and tests have not
// turned it off.  Some AVX-512 kernels use it within their level.
bool hasAvx512Vbmi();
// Lets tests run the AVX-512 kernels both with and without VBMI.  Internal.
void allowVbmiForTests(bool allowed);
// Caps the level for the calls that follow (tests run every level the processor
// has); IsaLevel::avx512 lifts the cap.  Internal, not exported.
void setMaxIsaForTests(IsaLevel level);

// The variants of one kernel by level; null where a level has none (the plain
// one is always there).
template <class Fn>
struct Variants {
    Fn at[kIsaLevelCount];

    // The best variant at or below level.
    Fn pick(IsaLevel level) const {
        for (int32_t l = static_cast<int32_t>(level); l > 0; --l)
            if (at[l]) return at[l];
        return at[0];
    }
    Fn pick() const { return pick(isaLevel()); }
};

// Variant functions exist only where their files are compiled (x86 targets
// without ZAR_PLAIN_KERNELS); elsewhere a table names them as null.
#if defined(ZAR_X86_VARIANTS)
#define ZAR_SSE41(f) f
#define ZAR_AVX2(f) f
#define ZAR_AVX512(f) f
#else
#define ZAR_SSE41(f) nullptr
#define ZAR_AVX2(f) nullptr
#define ZAR_AVX512(f) nullptr
#endif
