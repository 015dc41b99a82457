// The processor's instruction-set level, found on first use.  Both words are
// constant-initialised atomics: finding the level twice gives the same value,
// so two threads racing on the first use only repeat the work, and no lock or
// guarded static is needed.
#include "frame/cpu.h"

#include <atomic>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

namespace {

constexpr int32_t kUnknown = -1;
std::atomic<int32_t> gDetected{kUnknown};
std::atomic<int32_t> gCap{kIsaLevelCount - 1};

int32_t probeLevel() {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    // The runtime's answers already require the operating system to save the
    // wider registers (XGETBV), not just the processor to have them.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl"))
        return static_cast<int32_t>(IsaLevel::avx512);
    if (__builtin_cpu_supports("avx2")) return static_cast<int32_t>(IsaLevel::avx2);
    if (__builtin_cpu_supports("sse4.1")) return static_cast<int32_t>(IsaLevel::sse41);
    return static_cast<int32_t>(IsaLevel::plain);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    int regs[4];
    __cpuid(regs, 0);
    const int maxLeaf = regs[0];
    __cpuid(regs, 1);
    const bool sse41 = (regs[2] >> 19) & 1, osxsave = (regs[2] >> 27) & 1;
    const unsigned long long xcr0 = osxsave ? _xgetbv(0) : 0;
    const bool ymmSaved = (xcr0 & 0x6) == 0x6, zmmSaved = (xcr0 & 0xE6) == 0xE6;
    int leaf7[4] = {0, 0, 0, 0};
    if (maxLeaf >= 7) __cpuidex(leaf7, 7, 0);
    const bool avx2 = (leaf7[1] >> 5) & 1;
    const bool avx512 = ((leaf7[1] >> 16) & 1) && ((leaf7[1] >> 30) & 1) && ((leaf7[1] >> 31) & 1);
    if (avx512 && zmmSaved) return static_cast<int32_t>(IsaLevel::avx512);
    if (avx2 && ymmSaved) return static_cast<int32_t>(IsaLevel::avx2);
    return static_cast<int32_t>(sse41 ? IsaLevel::sse41 : IsaLevel::plain);
#else
    return static_cast<int32_t>(IsaLevel::plain);
#endif
}

bool probeVbmi() {
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    return probeLevel() == static_cast<int32_t>(IsaLevel::avx512) &&
           __builtin_cpu_supports("avx512vbmi");
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    int leaf7[4] = {0, 0, 0, 0};
    __cpuidex(leaf7, 7, 0);
    return probeLevel() == static_cast<int32_t>(IsaLevel::avx512) && ((leaf7[2] >> 1) & 1);
#else
    return false;
#endif
}

std::atomic<int32_t> gVbmi{kUnknown};
std::atomic<int32_t> gVbmiAllowed{1};

int32_t detected() {
    int32_t level = gDetected.load(std::memory_order_relaxed);
    if (level == kUnknown) {
        level = probeLevel();
        gDetected.store(level, std::memory_order_relaxed);
    }
    return level;
}

}  // namespace

IsaLevel detectedIsaLevel() { return static_cast<IsaLevel>(detected()); }

bool hasAvx512Vbmi() {
    int32_t vbmi = gVbmi.load(std::memory_order_relaxed);
    if (vbmi == kUnknown) {
        vbmi = probeVbmi() ? 1 : 0;
        gVbmi.store(vbmi, std::memory_order_relaxed);
    }
    return vbmi == 1 && gVbmiAllowed.load(std::memory_order_relaxed) == 1 &&
           isaLevel() == IsaLevel::avx512;
}

IsaLevel isaLevel() {
    const int32_t cap = gCap.load(std::memory_order_relaxed);
    const int32_t level = detected();
    return static_cast<IsaLevel>(level < cap ? level : cap);
}

void setMaxIsaForTests(IsaLevel level) {
    gCap.store(static_cast<int32_t>(level), std::memory_order_relaxed);
}

void allowVbmiForTests(bool allowed) {
    gVbmiAllowed.store(allowed ? 1 : 0, std::memory_order_relaxed);
}
