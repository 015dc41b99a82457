// The groups of a row's columns for the vector kernels.
#include "geometry/columnGroups.h"

namespace {

// The 8-bit form of a group: each lane of four elements reads the 16 bytes
// from the 4-byte boundary at or below its first tap.  False when a lane's
// taps do not fit.
bool cutIntoLanes(const int32_t* elemOff, int32_t n, int32_t tapDistance, ColumnGroup* g) {
    for (int32_t q = 0; q < 4; ++q) {
        int32_t low = kColumnWindow, high = 0;
        for (int32_t k = 4 * q; k < 4 * q + 4 && k < n; ++k) {
            const int32_t rel = elemOff[k] - g->base;
            low = rel < low ? rel : low;
            high = rel > high ? rel : high;
        }
        const int32_t start = low < kColumnWindow ? low / 4 : 0;
        if (start > 12 || high + tapDistance - 4 * start > 15) return false;
        for (int32_t i = 0; i < 4; ++i) g->lane[4 * q + i] = static_cast<uint8_t>(start + i);
        for (int32_t j = 0; j < 4; ++j) {
            const int32_t k = 4 * q + j;
            const int32_t at = k < n ? elemOff[k] - g->base - 4 * start : 0;
            for (int32_t b = 0; b < 4; ++b)
                g->tapA[4 * k + b] = b == 0 ? static_cast<uint8_t>(at) : 0x80;
        }
    }
    return true;
}

}  // namespace

void groupColumns(const int32_t* elemOff, int32_t count, int32_t tapDistance, bool byteLanes,
                  ColumnGroup* groups) {
    for (int32_t first = 0; first < count; first += kColumnGroup) {
        ColumnGroup& g = groups[first / kColumnGroup];
        const int32_t n = count - first < kColumnGroup ? count - first : kColumnGroup;
        int32_t low = elemOff[first], high = elemOff[first];
        for (int32_t k = 1; k < n; ++k) {
            low = elemOff[first + k] < low ? elemOff[first + k] : low;
            high = elemOff[first + k] > high ? elemOff[first + k] : high;
        }
        g = ColumnGroup{};
        g.base = low;
        g.span = high + tapDistance - low + 1;
        for (int32_t k = 0; k < n; ++k) g.rel[k] = static_cast<uint8_t>(elemOff[first + k] - low);
        if (g.span > kColumnWindow) {
            g = ColumnGroup{};
            continue;
        }
        g.byteLanes = byteLanes && cutIntoLanes(elemOff + first, n, tapDistance, &g);
        g.paired = n == kColumnGroup && tapDistance == 1;
        for (int32_t k = 0; k < n && g.paired; ++k) g.paired = g.rel[k] == 2 * k;
    }
}

int32_t wholeWindowGroups(const ColumnGroup* groups, int32_t count, int32_t readable) {
    int32_t g = 0;
    while ((g + 1) * kColumnGroup <= count && groups[g].span > 0 &&
           groups[g].base + kColumnWindow <= readable)
        ++g;
    return g;
}

int32_t pairedRunGroups(const ColumnGroup* groups, int32_t count) {
    int32_t g = 0;
    while ((g + 1) * kColumnGroup <= count && groups[g].paired &&
           groups[g].base == groups[0].base + 2 * kColumnGroup * g)
        ++g;
    return g;
}
