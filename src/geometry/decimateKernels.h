// Row kernels of the decimation: 8-bit and 16-bit rows halved both ways,
// where the rounded mean of a 2x2 box is (sum + 2) >> 2.
#pragma once

#include <cstdint>

#include "frame/cpu.h"
#include "geometry/columnGroups.h"

// lanes lanes (i, c) of C packed channels from columns 2i, 2i+1 of rows r0 and
// r1 (lanes a multiple of C), elements of the entry's depth.
using RowHalver = void (*)(const char* r0, const char* r1, char* out, int32_t lanes);
struct RowHalverEntry {
    int32_t depth;     // 8U or 16U
    int32_t channels;  // C: 1, 3 or 4
    Variants<RowHalver> variants;
};
extern const RowHalverEntry kRowHalvers[6];

// Every other element of a row: dst[e] = src[2e] for count elements of the
// depth (one-channel rows sampled at a factor of 2 from their first pixel).
using EvenPickRowFn = void (*)(const char* src, char* dst, int32_t count);
struct EvenPickEntry {
    int32_t depth;
    Variants<EvenPickRowFn> variants;
};
extern const EvenPickEntry kEvenPicks[2];

// LINEAR rows in double precision: lane e of count (packed lanes of the
// depth) is ((gx a + fx b) gy + (gx c + fx d) fy) truncated, with gx = gxs[e],
// fx = fxs[e], a and b the elements elemOff[e] and elemOff[e] + tap of row0,
// c and d those of row1.  groups (columnGroups.h, second tap at tap) serve the
// vector forms.
struct LinearBlend {
    const int32_t* elemOff;
    const ColumnGroup* groups;
    const double* fxs;
    const double* gxs;
    int32_t tap, count;
};
using LinearBlendRowFn = void (*)(const char* row0, const char* row1, const LinearBlend& lanes,
                                  double fy, double gy, char* dst);
struct LinearBlendEntry {
    int32_t depth;
    Variants<LinearBlendRowFn> variants;
};
extern const LinearBlendEntry kLinearBlendRows[2];

// SUPER boxes with weighted edges, in double precision: lane e of count
// (packed lanes of the depth) over rowCount source rows.  Per row r, s is
// the sum for k = 0 .. taps-1 of weights[k * stride + e] times the element
// elemOff[e] + k * tap, and sum that of rowWeights[r] * s, each added in that
// order from 0.  Stored as min(trunc(sum * scale + 0.5), the depth's
// maximum).  groups (columnGroups.h, last tap at (taps - 1) * tap) serve the
// vector forms.
struct SuperBoxes {
    const int32_t* elemOff;
    const ColumnGroup* groups;
    const double* weights;
    int32_t taps, tap, count, stride;
};
using SuperRowFn = void (*)(const char* const* rows, const double* rowWeights, int32_t rowCount,
                            const SuperBoxes& boxes, double scale, char* dst);
struct SuperRowEntry {
    int32_t depth;
    Variants<SuperRowFn> variants;
};
extern const SuperRowEntry kSuperRows[2];

// CUBIC in double precision: the four-point Lagrange polynomial through a, b,
// c, d (at -1, 0, 1, 2) at t, in the power form with 1/6 taken as the
// single-precision constant.
static inline double lagrange4(double a, double b, double c, double d, double t) {
    constexpr double kSixth = static_cast<double>(1.0f / 6.0f);
    const double c1 = -2.0 * a - 3.0 * b + 6.0 * c - d;
    const double c2 = 3.0 * a - 6.0 * b + 3.0 * c;
    const double c3 = -a + 3.0 * b - 3.0 * c + d;
    return (6.0 * b + t * c1 + t * t * c2 + t * t * t * c3) * kSixth;
}

// The x pass of a source row: lane e of count (packed lanes of the depth) is
// lagrange4 of the elements elemOff[e] + k * tap (k = 0 .. 3) at ts[e].
// groups (columnGroups.h, second tap at 3 * tap) serve the vector forms.
struct CubicLanes {
    const int32_t* elemOff;
    const ColumnGroup* groups;
    const double* ts;
    int32_t tap, count;
};
using CubicRowFn = void (*)(const char* row, const CubicLanes& lanes, double* out);
// The y pass: lane e of count is lagrange4(h[0][e] .. h[3][e], t) truncated
// and saturated to the depth.
using CubicColumnFn = void (*)(const double* const* h, double t, char* dst, int32_t count);
struct CubicRowEntry {
    int32_t depth;
    Variants<CubicRowFn> variants;
};
struct CubicColumnEntry {
    int32_t depth;
    Variants<CubicColumnFn> variants;
};
extern const CubicRowEntry kCubicRows[2];
extern const CubicColumnEntry kCubicColumns[2];

// The halver for a depth and C channels at an instruction-set level; null for
// other C.
RowHalver rowHalverFor(int32_t depth, int32_t channels, IsaLevel level);

void halveRowsSse41C1(const char* r0, const char* r1, char* out, int32_t lanes);
void halveRowsAvx512C1(const char* r0, const char* r1, char* out, int32_t lanes);
void halveRowsAvx512C3(const char* r0, const char* r1, char* out, int32_t lanes);
void halveRowsAvx512C4(const char* r0, const char* r1, char* out, int32_t lanes);
template <typename T>
void cubicRowAvx2(const char* row, const CubicLanes& lanes, double* out);
template <typename T>
void cubicColumnAvx2(const double* const* h, double t, char* dst, int32_t count);
template <typename T>
void cubicRowAvx512(const char* row, const CubicLanes& lanes, double* out);
template <typename T>
void cubicColumnAvx512(const double* const* h, double t, char* dst, int32_t count);
template <int C>
void halveRows16Avx512(const char* r0, const char* r1, char* out, int32_t lanes);
template <typename T>
void linearBlendRowAvx512(const char* row0, const char* row1, const LinearBlend& lanes, double fy,
                          double gy, char* dst);
template <typename T>
void superRowAvx512(const char* const* rows, const double* rowWeights, int32_t rowCount,
                    const SuperBoxes& boxes, double scale, char* dst);
template <typename T>
void pickEvenAvx512(const char* src, char* dst, int32_t count);
