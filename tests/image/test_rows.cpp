// Row kernels: 1-bit runs at every pair of bit offsets, value runs, reversed
// rows, against bit-by-bit references.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/rows.h"
#include "support/zar_test.h"

namespace {

int bitOf(const std::vector<uint8_t>& row, int64_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

std::vector<uint8_t> randomBytes(zt::Rng& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng.next());
    return v;
}

TEST(RowKernels, CopyBitsAtEveryOffsetPair) {
    zt::Rng rng(11);
    for (int srcOffset = 0; srcOffset < 8; ++srcOffset)
        for (int dstOffset = 0; dstOffset < 8; ++dstOffset)
            for (int64_t count : {1, 2, 5, 7, 8, 9, 13, 63, 64, 65, 71, 72, 73, 130, 257}) {
                // Exactly the bytes the runs touch, so a read or write past
                // them is caught by the sanitizer build.
                std::vector<uint8_t> src = randomBytes(rng, (srcOffset + count + 7) / 8);
                std::vector<uint8_t> dst = randomBytes(rng, (dstOffset + count + 7) / 8);
                std::vector<uint8_t> before = dst;
                copyBits(src.data(), srcOffset, dst.data(), dstOffset, count);
                for (int64_t x = 0; x < static_cast<int64_t>(dst.size()) * 8; ++x) {
                    int want = x >= dstOffset && x < dstOffset + count
                                   ? bitOf(src, srcOffset + x - dstOffset)
                                   : bitOf(before, x);
                    ASSERT_EQ(bitOf(dst, x), want)
                        << srcOffset << "->" << dstOffset << " count " << count << " bit " << x;
                }
            }
}

TEST(RowKernels, CopyBitsTakesPositionsPastTheFirstByte) {
    std::vector<uint8_t> src = {0x00, 0x0F, 0xF0};
    std::vector<uint8_t> dst = {0xAA, 0xAA, 0xAA};
    copyBits(src.data(), 12, dst.data(), 17, 4);  // 1111 into bits 17..20
    EXPECT_EQ(dst[0], 0xAA);
    EXPECT_EQ(dst[1], 0xAA);
    EXPECT_EQ(dst[2], 0xFA);  // 1 1111 010: bit 16 kept (1), 17..20 set, 21..23 kept
}

TEST(RowKernels, CopyBitsOfNothingTouchesNothing) {
    uint8_t byte = 0x5A;
    copyBits(&byte, 3, &byte, 5, 0);
    EXPECT_EQ(byte, 0x5A);
}

TEST(RowKernels, FillBitsAtEveryOffset) {
    zt::Rng rng(12);
    for (int offset = 0; offset < 8; ++offset)
        for (int64_t count : {1, 2, 3, 7, 8, 9, 15, 16, 17, 100})
            for (int value : {0, 1}) {
                std::vector<uint8_t> row = randomBytes(rng, (offset + count + 7) / 8);
                std::vector<uint8_t> before = row;
                fillBits(row.data(), offset, count, value);
                for (int64_t x = 0; x < static_cast<int64_t>(row.size()) * 8; ++x) {
                    int want = x >= offset && x < offset + count ? value : bitOf(before, x);
                    ASSERT_EQ(bitOf(row, x), want) << offset << " " << count << " " << x;
                }
            }
}

TEST(RowKernels, CopyBitsReversedMirrors) {
    std::vector<uint8_t> src = {0xC1};  // 1100 0001
    std::vector<uint8_t> dst = {0x00, 0x00};
    copyBitsReversed(src.data(), 7, dst.data(), 4, 8);
    EXPECT_EQ(dst[0], 0x08);  // bits 4..7 take src 7, 6, 5, 4 = 1, 0, 0, 0
    EXPECT_EQ(dst[1], 0x30);  // bits 8..11 take src 3, 2, 1, 0 = 0, 0, 1, 1
}

TEST(RowKernels, ValueRunsWriteTheLowBytes) {
    std::vector<char> buffer(40, 0);
    fillRunFor(1)(buffer.data() + 1, 5, 0x1234);
    for (int i = 1; i < 6; ++i) EXPECT_EQ(static_cast<uint8_t>(buffer[i]), 0x34);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[6], 0);
    fillRunFor(2)(buffer.data() + 9, 3, 0xABCD1234u);  // unaligned start
    for (int i = 0; i < 3; ++i) {
        uint16_t v;
        std::memcpy(&v, buffer.data() + 9 + 2 * i, 2);
        EXPECT_EQ(v, 0x1234);
    }
    EXPECT_EQ(buffer[15], 0);
    fillRunFor(4)(buffer.data() + 20, 4, 0xDEADBEEFu);
    for (int i = 0; i < 4; ++i) {
        uint32_t v;
        std::memcpy(&v, buffer.data() + 20 + 4 * i, 4);
        EXPECT_EQ(v, 0xDEADBEEFu);
    }
    EXPECT_EQ(buffer[36], 0);
}

TEST(RowKernels, RepeatBytesCopiesTheFirstUnit) {
    std::vector<char> buffer(23, 0);
    std::memcpy(buffer.data(), "abc", 3);
    repeatBytes(buffer.data(), 3, 22);
    EXPECT_EQ(std::string(buffer.data(), 22), "abcabcabcabcabcabcabca");
    EXPECT_EQ(buffer[22], 0);
}

TEST(RowKernels, ReverseRowKeepsChannelOrder) {
    const uint16_t src[6] = {1, 2, 3, 4, 5, 6};  // three pixels of two channels
    uint16_t dst[6] = {};
    reverseRowFor(2)(reinterpret_cast<const char*>(src + 4), reinterpret_cast<char*>(dst), 3, 2);
    const uint16_t want[6] = {5, 6, 3, 4, 1, 2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(dst[i], want[i]);
}

}  // namespace

// The value runs store whole blocks; compare them with one store per value on
// every length up to a few blocks, from every start offset within a block.
template <typename T>
void checkFillAgainstPlainLoop(uint32_t pattern) {
    const T v = static_cast<T>(pattern);
    for (int offset = 0; offset < 16; ++offset) {
        for (int64_t count = 0; count <= 70; ++count) {
            const size_t size = static_cast<size_t>(offset + count * sizeof(T) + 24);
            std::vector<char> got(size), want(size);
            for (size_t b = 0; b < size; ++b) got[b] = want[b] = static_cast<char>(0x5A ^ b);
            fillRunFor(sizeof(T))(got.data() + offset, count, pattern);
            for (int64_t i = 0; i < count; ++i)
                std::memcpy(want.data() + offset + i * static_cast<int64_t>(sizeof(T)), &v,
                            sizeof(T));
            ASSERT_EQ(got, want) << "size " << sizeof(T) << " offset " << offset << " count "
                                 << count;
        }
    }
}

TEST(RowKernels, ValueRunsMatchOneStorePerValue) {
    checkFillAgainstPlainLoop<uint16_t>(0xABCD1234u);
    checkFillAgainstPlainLoop<uint16_t>(0x00FFu);
    checkFillAgainstPlainLoop<uint32_t>(0xDEADBEEFu);
    checkFillAgainstPlainLoop<uint32_t>(0x3F800000u);
}
