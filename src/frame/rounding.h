// The one nearest-integer rule of the kernels.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

// The integer nearest to v in the floating-point unit's current rounding mode
// (halves to even unless the application changed it); never changes the mode.
// Static, so that a copy built for a higher instruction set stays in its file.
// Where doubles are evaluated as doubles, adding 1.5 * 2^52 leaves no fraction
// bits, so the sum is rounded to an integer in the current mode and taking the
// constant off again is exact: no call, and it vectorises.  Holds for
// |v| < 2^31, the range of the result.
static inline int32_t nearestInt(double v) {
#if FLT_EVAL_METHOD == 0
    constexpr double kShifter = 6755399441055744.0;  // 1.5 * 2^52
    return static_cast<int32_t>((v + kShifter) - kShifter);
#else
    return static_cast<int32_t>(std::lrint(v));  // wider evaluation would keep the fraction
#endif
}
