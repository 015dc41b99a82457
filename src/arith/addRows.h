// Saturating sums of n consecutive 8- and 16-bit samples (whose sums the
// compiler only vectorises through 32-bit lanes): one table entry per depth,
// with vector variants.  In place use (d == a or d == b) is allowed; any other
// overlap runs the plain loop, so results never depend on the variant.
#pragma once

#include <cstdint>

#include "frame/cpu.h"

using AddRowFn = void (*)(const void* a, const void* b, void* d, int64_t n);
struct AddRowsEntry {
    int32_t depth;
    Variants<AddRowFn> variants;
};
extern const AddRowsEntry kAddRows[4];  // 8U, 8S, 16U, 16S

void addRowsSse41U8(const void* a, const void* b, void* d, int64_t n);
void addRowsSse41S8(const void* a, const void* b, void* d, int64_t n);
void addRowsSse41U16(const void* a, const void* b, void* d, int64_t n);
void addRowsSse41S16(const void* a, const void* b, void* d, int64_t n);
void addRowsAvx2U8(const void* a, const void* b, void* d, int64_t n);
void addRowsAvx2S8(const void* a, const void* b, void* d, int64_t n);
void addRowsAvx2U16(const void* a, const void* b, void* d, int64_t n);
void addRowsAvx2S16(const void* a, const void* b, void* d, int64_t n);
