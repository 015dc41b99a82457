// The columns of a row read in groups: the element offsets of a row's taps,
// cut into groups of kColumnGroup elements that each read one window of 64
// elements (bytes or words), for the vector kernels of the zoom engine and
// the decimation.
#pragma once

#include <cstdint>

inline constexpr int32_t kColumnGroup = 16;
inline constexpr int32_t kColumnWindow = 64;

// One group.  span is the number of elements from base that the group reads,
// 0 when its taps do not fit one window.  Tap a of element k is element
// rel[k] of the window (tap b, where there is one, tapDistance elements
// after it).  With byte lanes (byteLanes set where they fit), the window is
// also cut into four 16-byte lanes, lane q being the bytes from 4 * lane[4q]
// (lane[4q + i] = lane[4q] + i): element k = 4q + j finds tap a at byte
// tapA[4k] of its lane and tap b tapDistance bytes after it (the other bytes
// of each 32-bit slot are 0x80, which picks zero).  paired: the group is full,
// element k's taps are the neighbours base + 2k and base + 2k + 1 (one
// channel shrunk by 2), so its 32 elements from base hold the taps in order.
struct ColumnGroup {
    int32_t base, span;
    bool byteLanes, paired;
    uint8_t lane[16];
    uint8_t rel[kColumnGroup];
    uint8_t tapA[4 * kColumnGroup];
};

// The ceil(count / 16) groups of count elements whose taps are elemOff[e]
// and, for tapDistance > 0, elemOff[e] + tapDistance.
void groupColumns(const int32_t* elemOff, int32_t count, int32_t tapDistance, bool byteLanes,
                  ColumnGroup* groups);
// How many groups from the first are full and have their whole window within
// the first readable elements of a row.
int32_t wholeWindowGroups(const ColumnGroup* groups, int32_t count, int32_t readable);
// How many groups from the first are paired, each one's taps following the
// previous one's.
int32_t pairedRunGroups(const ColumnGroup* groups, int32_t count);
