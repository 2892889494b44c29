#include "kestrune/core/siphash.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace kestrune {
namespace {

std::int64_t signed_hash(const std::vector<unsigned char>& bytes) {
    SipHash13 hasher;
    hasher.write(bytes.data(), bytes.size());
    return static_cast<std::int64_t>(hasher.finish());
}

std::vector<unsigned char> counting_bytes(std::size_t length) {
    std::vector<unsigned char> bytes(length);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

TEST(SipHash13, PinnedZeroKeyValues) {
    EXPECT_EQ(signed_hash(std::vector<unsigned char>(16, 0)), 8556445246977061536);
    std::vector<unsigned char> int_then_zero_count(16, 0);
    int_then_zero_count[0] = 5;
    EXPECT_EQ(signed_hash(int_then_zero_count), -919969618110616173);
}

// Lengths around the block size reach every arrangement of the final block.
TEST(SipHash13, ZeroKeyValuesOfBytes0ToNMinus1) {
    const struct {
        std::size_t length;
        std::int64_t hash;
    } cases[] = {
        {1, 7541581120933061747},   {7, 3389392686435873370},   {8, -1525574692105212182},
        {9, 8471974163824919394},   {15, -932606700130547222},  {16, -8542738587087157833},
        {17, 5225236159122152477},  {24, 3537676771234361146},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(signed_hash(counting_bytes(c.length)), c.hash);
    }
}

TEST(SipHash13, StreamingIsIndependentOfHowTheInputIsSplit) {
    const std::vector<unsigned char> bytes = counting_bytes(29);
    const std::uint64_t whole = static_cast<std::uint64_t>(signed_hash(bytes));
    for (std::size_t first = 0; first <= bytes.size(); ++first) {
        for (std::size_t second = first; second <= bytes.size(); ++second) {
            SipHash13 hasher;
            hasher.write(bytes.data(), first);
            hasher.write(bytes.data() + first, second - first);
            hasher.write(bytes.data() + second, bytes.size() - second);
            ASSERT_EQ(hasher.finish(), whole) << "split at " << first << " and " << second;
        }
    }
}

TEST(SipHash13, TypedWritesAreTheirByteEncodings) {
    SipHash13 typed;
    typed.write_u8(0x7f);
    typed.write_u64(0x0102030405060708ULL);
    typed.write_text("hi");
    typed.write_text("");
    const unsigned char bytes[] = {0x7f, 8, 7, 6, 5, 4, 3, 2, 1, 'h', 'i', 0xff, 0xff};
    SipHash13 raw;
    raw.write(bytes, sizeof bytes);
    EXPECT_EQ(typed.finish(), raw.finish());
}

TEST(SipHash13, FinishLeavesTheStateToKeepFeeding) {
    const std::vector<unsigned char> bytes = counting_bytes(21);
    SipHash13 hasher;
    hasher.write(bytes.data(), 11);
    const std::uint64_t partial = hasher.finish();
    EXPECT_EQ(partial, hasher.finish());
    hasher.write(bytes.data() + 11, bytes.size() - 11);
    EXPECT_NE(hasher.finish(), partial);
    EXPECT_EQ(static_cast<std::int64_t>(hasher.finish()), signed_hash(bytes));
}

TEST(SipHash13, BothKeysEnterTheHash) {
    const std::vector<unsigned char> bytes = counting_bytes(12);
    auto keyed = [&](std::uint64_t k0, std::uint64_t k1) {
        SipHash13 hasher(k0, k1);
        hasher.write(bytes.data(), bytes.size());
        return hasher.finish();
    };
    EXPECT_EQ(keyed(0, 0), static_cast<std::uint64_t>(signed_hash(bytes)));
    EXPECT_NE(keyed(1, 0), keyed(0, 0));
    EXPECT_NE(keyed(0, 1), keyed(0, 0));
    EXPECT_NE(keyed(1, 0), keyed(0, 1));
}

}  // namespace
}  // namespace kestrune
