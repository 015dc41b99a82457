// Every public operation as one entry of a table, called on a set of operands:
// the catalogue that the allocation-failure test, the thread stress test and
// the operation fuzzer (fuzz/fuzz_ops.cpp, which builds without GoogleTest)
// all walk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zar.h"

namespace zt {

struct Operands {
    ImageHeader* src = nullptr;
    ImageHeader* src2 = nullptr;  // second source of Add, Or, And
    ImageHeader* dst = nullptr;   // may be src itself (in place)
    ImageHeader* xMap = nullptr;  // the maps of Remap
    ImageHeader* yMap = nullptr;
    int32_t args[7] = {};         // the integer arguments, in the operation's order
    const void* block = nullptr;  // a bitmap block for the translations
    size_t blockSize = 0;
    ImageHeader* made = nullptr;  // a header the call made: the caller frees it (ZAR_FREE_ALL)
};

struct CatalogueEntry {
    const char* name;
    void (*call)(Operands& operands);
    int32_t defaults[7];          // representative arguments
    bool readsPastBlock = false;  // zarTranslateDIB: trusts the block's own sizes
};

extern const CatalogueEntry kOperations[];
extern const int32_t kOperationCount;

}  // namespace zt
