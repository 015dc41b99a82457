// The saturating add's row forms (vector rows and the plain loop) against a
// naive sequential loop written here: every depth, odd lengths, unaligned
// starts, in-place use and overlapping rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "arith/kernels.h"
#include "support/zar_test.h"

namespace {

// The sum clamped to T's range (floats unclamped), from a 64-bit sum.
template <class T>
T referenceSum(T a, T b) {
    if constexpr (std::is_floating_point_v<T>) {
        return a + b;
    } else {
        const int64_t sum = static_cast<int64_t>(a) + static_cast<int64_t>(b);
        const int64_t lo = std::numeric_limits<T>::min();
        const int64_t hi = std::numeric_limits<T>::max();
        return static_cast<T>(sum < lo ? lo : (sum > hi ? hi : sum));
    }
}

// Mostly values near the type's bounds and zero, so that many sums saturate.
template <class T>
T randomSample(zt::Rng& rng) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(rng.range(-100000, 100000)) / 8.0f;
    } else {
        const uint32_t bits = rng.next();
        T value;
        std::memcpy(&value, &bits, sizeof(T));
        switch (rng.range(0, 3)) {
            case 0:
                return std::numeric_limits<T>::max() - static_cast<T>(bits % 8);
            case 1:
                return std::numeric_limits<T>::min() + static_cast<T>(bits % 8);
            default:
                return value;
        }
    }
}

template <class T>
std::vector<T> randomSamples(zt::Rng& rng, size_t count) {
    std::vector<T> v(count);
    for (T& x : v) x = randomSample<T>(rng);
    return v;
}

// d = a + b sample by sample, in order, inside one buffer (offsets in samples).
template <class T>
void naiveRun(std::vector<T>& buffer, size_t a, size_t b, size_t d, int64_t n) {
    for (int64_t i = 0; i < n; ++i) buffer[d + i] = referenceSum(buffer[a + i], buffer[b + i]);
}

template <class T>
void addInBuffer(std::vector<T>& buffer, size_t a, size_t b, size_t d, int64_t n) {
    ::runRow(buffer.data() + a, buffer.data() + b, buffer.data() + d, n, SaturatedAdd(0));
}

// Separate rows at random starts and lengths (0 to 300 samples).
template <class T>
void checkSeparateRows(uint64_t seed) {
    zt::Rng rng(seed);
    for (int trial = 0; trial < 300; ++trial) {
        const int64_t n = rng.range(0, 300);
        const size_t span = 320;
        std::vector<T> buffer = randomSamples<T>(rng, 3 * span);
        const size_t a = rng.range(0, 15), b = span + rng.range(0, 15),
                     d = 2 * span + rng.range(0, 15);
        std::vector<T> expected = buffer;
        naiveRun(expected, a, b, d, n);
        addInBuffer(buffer, a, b, d, n);
        ASSERT_EQ(0, std::memcmp(expected.data(), buffer.data(), buffer.size() * sizeof(T)))
            << "trial " << trial << " n " << n;
    }
}

// In place (the destination is a source, or both) and rows overlapping at
// every distance up to 70 samples either way.
template <class T>
void checkSharedRows(uint64_t seed) {
    zt::Rng rng(seed);
    const size_t base = 80;
    for (int trial = 0; trial < 400; ++trial) {
        const int64_t n = rng.range(0, 200);
        std::vector<T> buffer = randomSamples<T>(rng, base + 520);
        size_t a = base + rng.range(0, 7), b = 0, d = 0;
        switch (trial % 4) {
            case 0:
                b = a + 300;
                d = a;
                break;  // d == a
            case 1:
                b = a + 300;
                d = b;
                break;  // d == b
            case 2:
                b = a;
                d = a;
                break;  // all three
            default:
                b = a + 300;
                d = a + rng.range(-70, 70);
                break;  // overlap
        }
        std::vector<T> expected = buffer;
        naiveRun(expected, a, b, d, n);
        addInBuffer(buffer, a, b, d, n);
        ASSERT_EQ(0, std::memcmp(expected.data(), buffer.data(), buffer.size() * sizeof(T)))
            << "trial " << trial << " n " << n << " d - a " << static_cast<int64_t>(d - a);
    }
}

template <class T>
class AddRows : public ::testing::Test {};
using SampleTypes = ::testing::Types<uint8_t, int8_t, uint16_t, int16_t, int32_t, float>;
TYPED_TEST_SUITE(AddRows, SampleTypes);

TYPED_TEST(AddRows, SeparateRowsMatchTheNaiveLoop) { checkSeparateRows<TypeParam>(71); }

TYPED_TEST(AddRows, InPlaceAndOverlappingRowsMatchTheNaiveLoop) { checkSharedRows<TypeParam>(72); }

TEST(AddRowsHandWorked, SaturateAtBothBounds) {
    const uint8_t a8[2] = {200, 10}, b8[2] = {100, 20};
    uint8_t d8[2];
    ::runRow(a8, b8, d8, 2, SaturatedAdd(0));
    EXPECT_EQ(255, d8[0]);
    EXPECT_EQ(30, d8[1]);
    const int32_t a32[3] = {2147483000, -2147483000, -5}, b32[3] = {1000, -1000, 7};
    int32_t d32[3];
    ::runRow(a32, b32, d32, 3, SaturatedAdd(0));
    EXPECT_EQ(2147483647, d32[0]);
    EXPECT_EQ(-2147483647 - 1, d32[1]);
    EXPECT_EQ(2, d32[2]);
}

}  // namespace
