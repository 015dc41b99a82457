// Several threads use the library at once, each with its own error mode and
// handler and images of its own, plain and tiled: every result and every
// report is the one a single thread gets.  `make test-tsan` runs this under
// ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "support/scenario.h"

namespace {

thread_local int32_t handled = 0;
ZarStatus ZAR_STDCALL countingHandler(ZarStatus status, const char*, const char*, const char*,
                                      int32_t) {
    ++handled;
    return status;
}

// Every operation on every scenario: the pixels after each call.
std::vector<std::vector<uint8_t>> runAll() {
    std::vector<std::vector<uint8_t>> results;
    for (int32_t scenario = 0; scenario < zt::kScenarioCount; ++scenario)
        for (int32_t k = 0; k < zt::kOperationCount; ++k) {
            zt::Scenario s(scenario);
            std::memcpy(s.operands.args, zt::kOperations[k].defaults, sizeof(s.operands.args));
            zarSetStatus(STATUS_OK);
            zt::kOperations[k].call(s.operands);
            results.push_back(s.snapshot());
        }
    return results;
}

TEST(Threads, SeveralThreadsWithTheirOwnModesAndHandlers) {
    std::vector<std::vector<uint8_t>> expected;
    size_t expectedReports = 0;
    {
        zt::ErrorRecorder recorder;
        expected = runAll();
        expectedReports = recorder.reports().size();
    }
    ASSERT_GT(expectedReports, 0u);
    std::atomic<int32_t> mismatches{0};
    std::vector<std::thread> threads;
    for (int32_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int32_t round = 0; round < 2; ++round) {
                size_t reports = 0;
                std::vector<std::vector<uint8_t>> got;
                if (t % 2 == 0) {  // the recording handler, in return mode
                    zt::ErrorRecorder recorder;
                    got = runAll();
                    reports = recorder.reports().size();
                } else {  // a handler of this thread's own
                    zarSetErrorMode(ZAR_ERRMODE_RETURN);
                    const ZarErrorHandler previous = zarRedirectError(countingHandler);
                    handled = 0;
                    got = runAll();
                    reports = static_cast<size_t>(handled);
                    zarRedirectError(previous);
                    zarSetErrorMode(ZAR_ERRMODE_EXIT);
                }
                if (got != expected || reports != expectedReports) ++mismatches;
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
