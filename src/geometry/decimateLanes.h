// What the decimation kernels share: sample access by depth, the walk over
// positions, and the lanes of the 8U and 16U kernels.
#pragma once

#include <climits>
#include <cstdint>
#include <utility>

#include "geometry/columnGroups.h"
#include "geometry/decimate.h"
#include "geometry/geometry.h"

// ----------------------------------------------------------- sample access

template <class T>
struct Elements {
    static constexpr int32_t kMax = T(~T(0));
    static int32_t read(const char* row, intptr_t step, int32_t, int32_t x) {
        return *reinterpret_cast<const T*>(row + x * step);
    }
    static void write(char* row, intptr_t step, int32_t, int32_t x, int32_t value) {
        *reinterpret_cast<T*>(row + x * step) = static_cast<T>(value);
    }
};

// 1-bit rows: x counts from the row's bit offset.
struct Bits {
    static constexpr int32_t kMax = 1;
    static int32_t read(const char* row, intptr_t, int32_t bitOffset, int32_t x) {
        return getBit(row, bitOffset + x);
    }
    static void write(char* row, intptr_t, int32_t bitOffset, int32_t x, int32_t value) {
        putBit(row, bitOffset + x, value);
    }
};

// ------------------------------------------------------------ the walk

// Walks the piece channel by channel, rows top to bottom, columns left to
// right, accumulating the positions.  rowSetup(srcPlane, j, y) prepares what
// a destination row needs; value(row, i, x) gives the saturated value of
// column i.
template <class P, class RowSetup, class Value>
void walkPositions(const DecimateJob& job, double& x, double& y, RowSetup rowSetup, Value value) {
    const double x0 = x, y0 = y;
    double xEnd = x0, yEnd = y0;
    for (int32_t c = 0; c < job.channels; ++c) {
        const char* srcPlane = job.src + c * job.srcChannelStep;
        char* dstPlane = job.dst + c * job.dstChannelStep;
        double yj = y0;
        for (int32_t j = 0; j < job.height; ++j, yj += job.ky) {
            const auto row = rowSetup(srcPlane, j, yj);
            char* dstRow = dstPlane + j * job.dstRowStep;
            double xi = x0;
            for (int32_t i = 0; i < job.width; ++i, xi += job.kx)
                P::write(dstRow, job.dstPixelStep, job.dstBit, i, value(row, i, xi));
            xEnd = xi;
        }
        yEnd = yj;
    }
    x = xEnd;
    y = yEnd;
}

// ------------------------------------------------------------ lanes
//
// The 8U and 16U kernels work out what depends on the column alone once per
// call.  Pixel-ordered images run all channels of a row as one sequence of
// lanes (lane = column * channels + channel); plane-ordered ones run one
// plane after the other, a lane per column.

struct Lanes {
    int32_t passes, lanes, together;  // channel passes, lanes per row, channels per column
    intptr_t srcPassStep, dstPassStep;
    ScratchArray<intptr_t> dst;  // byte offset of each lane in a destination row (held() false
                                 // when it could not be had)
    bool packed;                 // lanes side by side: dst[lane] = lane * value size
};
inline Lanes lanesOf(const DecimateJob& job, intptr_t valueSize) {
    const bool together = job.channels > 1 && !job.planes;
    Lanes l{together ? 1 : job.channels,
            job.width * (together ? job.channels : 1),
            together ? job.channels : 1,
            job.srcChannelStep,
            job.dstChannelStep,
            ScratchArray<intptr_t>(int64_t{job.width} * (together ? job.channels : 1)),
            true};
    if (!l.dst.held()) return l;
    for (int32_t i = 0; i < job.width; ++i)
        for (int32_t c = 0; c < l.together; ++c)
            l.dst[static_cast<size_t>(i * l.together + c)] = i * job.dstPixelStep +
                                                             c * job.dstChannelStep;
    for (int32_t e = 0; e < l.lanes; ++e)
        l.packed = l.packed && l.dst[static_cast<size_t>(e)] == e * valueSize;
    return l;
}
// Stores value(lane) for every lane of a destination row.
template <class T, class Value>
inline void storeLanes(char* dstRow, const Lanes& l, Value value) {
    if (l.packed) {
        T* __restrict out = reinterpret_cast<T*>(dstRow);
        for (int32_t e = 0; e < l.lanes; ++e) out[e] = value(e);
        return;
    }
    for (int32_t e = 0; e < l.lanes; ++e)
        *reinterpret_cast<T*>(dstRow + l.dst[static_cast<size_t>(e)]) = value(e);
}
// Byte offsets of each lane's source pixel, given the source column of each
// destination column.
template <class Column>
ScratchArray<intptr_t> sourceOffsets(const DecimateJob& job, const Lanes& l, Column column) {
    ScratchArray<intptr_t> offsets(l.lanes);
    if (!offsets.held()) return offsets;
    for (int32_t i = 0; i < job.width; ++i)
        for (int32_t c = 0; c < l.together; ++c)
            offsets[static_cast<size_t>(i * l.together + c)] = column(i) * job.srcPixelStep +
                                                               c * job.srcChannelStep;
    return offsets;
}

// Asks for the n bytes at p to be brought into the cache ahead of use: the
// vector kernels read their windows through masked loads, which the
// hardware prefetchers of some processors do not follow.
inline void prefetchBytes(const char* p, intptr_t n) {
    for (intptr_t b = 0; b < n; b += 64) __builtin_prefetch(p + b);
}

// The positions of n steps from p, one addition each; p is left after them.
inline ScratchArray<double> stepPositions(double& p, float k, int32_t n) {
    ScratchArray<double> positions(n);
    if (positions.held())
        for (int32_t i = 0; i < n; ++i, p += k) positions[i] = p;
    return positions;
}

// The element offsets (the byte offsets of packed lanes, increasing, below
// 2^31 elements) and column groups the gather and blend rows take, for lanes
// whose last offset plus tap stays below INT32_MAX elements; else none.
struct PackedLanes {
    ScratchArray<int32_t> elements;
    ScratchArray<ColumnGroup> groups;
    bool failed = false;  // wanted, but the arrays could not be had
    bool used() const { return groups.held(); }
};
// Byte offsets of packed lanes as element offsets; false when the array
// could not be had.
template <class T>
bool elementOffsets(const ScratchArray<intptr_t>& bytes, ScratchArray<int32_t>& elements) {
    elements = ScratchArray<int32_t>(bytes.size());
    if (!elements.held()) return false;
    for (int64_t e = 0; e < bytes.size(); ++e)
        elements[e] = static_cast<int32_t>(bytes[e] / intptr_t{sizeof(T)});
    return true;
}
template <class T>
PackedLanes packedLanes(const ScratchArray<intptr_t>& bytes, int32_t tap) {
    PackedLanes p;
    const int64_t n = bytes.size();
    if (n == 0 || bytes[n - 1] / intptr_t{sizeof(T)} >= INT32_MAX - tap) return p;
    ScratchArray<ColumnGroup> groups(n / kColumnGroup + 1);
    p.failed = !groups.held() || !elementOffsets<T>(bytes, p.elements);
    if (p.failed) return p;
    p.groups = std::move(groups);
    groupColumns(p.elements.data(), static_cast<int32_t>(n), tap, false, p.groups.data());
    return p;
}
