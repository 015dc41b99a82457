// Allocation failure injection: the program's allocator (malloc, calloc and
// realloc wrapped at link time) fails the n-th allocation of an operation, for
// every n up to the count the operation makes, on representative inputs.  A
// run must report the failure (a report, a negative status word, or the null
// result the operation's rules give for it) or give the result of a run that
// did not fail; the library must use no throwing allocation; in the
// sanitizer build LeakSanitizer checks that no run leaks.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/scenario.h"
#include "support/zar_test.h"

extern "C" {
void* __real_malloc(size_t);
void* __real_calloc(size_t, size_t);
void* __real_realloc(void*, size_t);
}

// ZT_NEW and ZT_NEW_ARRAY, the mangled names of operator new and new[] (they carry
// size_t), come from tests/CMakeLists.txt, whose link options wrap the same names.
#define ZT_PASTE_TOKENS(a, b) a##b
#define ZT_PASTE(a, b) ZT_PASTE_TOKENS(a, b)

extern "C" {
void* ZT_PASTE(__real_, ZT_NEW)(size_t);
void* ZT_PASTE(__real_, ZT_NEW_ARRAY)(size_t);
}

namespace {
thread_local bool armed = false;
thread_local int64_t allocations = 0, failAt = 0;  // failAt 0: none fails
thread_local bool usedNew = false;
bool failNow() { return armed && ++allocations == failAt; }
}  // namespace

extern "C" {
void* __wrap_malloc(size_t n) { return failNow() ? nullptr : __real_malloc(n); }
void* __wrap_calloc(size_t n, size_t s) { return failNow() ? nullptr : __real_calloc(n, s); }
void* __wrap_realloc(void* p, size_t n) { return failNow() ? nullptr : __real_realloc(p, n); }
void* ZT_PASTE(__wrap_, ZT_NEW)(size_t n) {
    usedNew = usedNew || armed;
    return ZT_PASTE(__real_, ZT_NEW)(n);
}
void* ZT_PASTE(__wrap_, ZT_NEW_ARRAY)(size_t n) {
    usedNew = usedNew || armed;
    return ZT_PASTE(__real_, ZT_NEW_ARRAY)(n);
}
}

namespace {

// Counts reports without allocating (a recording handler would allocate
// during the call).
thread_local int32_t reports = 0;
ZarStatus ZAR_STDCALL countReport(ZarStatus status, const char*, const char*, const char*,
                                  int32_t) {
    ++reports;
    return status;
}

TEST(AllocationFailure, EveryAllocationOfEveryOperation) {
    int64_t runs = 0;
    const int32_t mode = zarSetErrorMode(ZAR_ERRMODE_RETURN);
    const ZarErrorHandler handler = zarRedirectError(countReport);
    for (int32_t scenario = 0; scenario < zt::kScenarioCount; ++scenario)
        for (int32_t k = 0; k < zt::kOperationCount; ++k) {
            const zt::CatalogueEntry& op = zt::kOperations[k];
            SCOPED_TRACE(testing::Message() << op.name << ", scenario " << scenario);
            auto run = [&](int64_t failing, zt::Scenario& s) {
                std::memcpy(s.operands.args, op.defaults, sizeof(op.defaults));
                zarSetStatus(STATUS_OK);
                reports = 0;
                allocations = 0;
                failAt = failing;
                usedNew = false;
                armed = true;
                op.call(s.operands);
                armed = false;
                EXPECT_FALSE(usedNew) << "a throwing allocation";
            };
            std::vector<uint8_t> expected;
            int64_t count = 0;
            {
                zt::Scenario s(scenario);
                run(0, s);
                count = allocations;
                expected = s.snapshot();
            }
            for (int64_t n = 1; n <= count; ++n, ++runs) {
                zt::Scenario s(scenario);
                run(n, s);
                // Header creation fails without a report: a null header, or
                // one without pixels, says so.
                const std::string name = op.name;
                const bool signalled = (name == "zarCreateImageHeader" ||
                                        name == "zarAllocateImage") &&
                                       (!s.operands.made || !s.operands.made->imageData);
                if (reports == 0 && zarGetStatus() >= 0 && !signalled) {
                    EXPECT_EQ(s.snapshot(), expected) << "allocation " << n << " failed silently";
                }
            }
        }
    zarRedirectError(handler);
    zarSetErrorMode(mode);
    EXPECT_GT(runs, 400);
}

}  // namespace
