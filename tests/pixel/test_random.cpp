// Randomized Set, SetFP and Copy against the naive references, fixed seeds.
#include <gtest/gtest.h>

#include "support/pixel_support.h"

namespace {

TEST(SetRandom, MatchesTheReference) {
    for (uint64_t seed = 1; seed <= 1500; ++seed) {
        const std::string fault = zt::runRandomSet(seed);
        ASSERT_TRUE(fault.empty()) << fault;
    }
}

TEST(CopyRandom, MatchesTheReference) {
    for (uint64_t seed = 1; seed <= 2000; ++seed) {
        const std::string fault = zt::runRandomCopy(seed);
        ASSERT_TRUE(fault.empty()) << fault;
    }
}

}  // namespace
