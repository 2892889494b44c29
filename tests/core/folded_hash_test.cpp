// The keyed hash of the JSON string cache: every byte and the length enter it, and
// which texts share a slot (the hash modulo 16,384) changes with the secrets.
#include "kestrune/core/folded_hash.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {
namespace {

constexpr std::uint64_t kSlots = 16384;

FoldedHash hash_of_seed(std::uint64_t seed) {
    std::mt19937_64 generator(seed);
    return FoldedHash({generator(), generator(), generator(), generator()});
}

std::vector<std::string> random_texts(std::size_t count, std::uint64_t seed) {
    std::mt19937_64 generator(seed);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text(2 + generator() % 62, '\0');
        for (char& byte : text) byte = static_cast<char>(generator());
        texts.push_back(std::move(text));
    }
    return texts;
}

TEST(FoldedHash, EveryBitOfEveryByteChangesTheHash) {
    const FoldedHash hash = hash_of_seed(1);
    for (std::size_t length = 1; length <= 80; ++length) {
        std::string text(length, '\0');
        for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(7 * i + 1);
        const std::uint64_t original = hash(text);
        for (std::size_t at = 0; at < length; ++at) {
            for (int bit = 0; bit < 8; ++bit) {
                std::string flipped = text;
                flipped[at] = static_cast<char>(flipped[at] ^ (1 << bit));
                ASSERT_NE(hash(flipped), original) << "length " << length << " byte " << at << " bit " << bit;
            }
        }
    }
}

// Pairs that a hash of padded words, of unordered blocks or of a symmetric
// combination of the two words would confuse.
TEST(FoldedHash, TextsThatShareTheirWordsDiffer) {
    const std::string block_a(16, 'a');
    const std::string block_b(16, 'b');
    const std::pair<std::string, std::string> pairs[] = {
        {std::string(2, '\0'), std::string(3, '\0')},
        {"ab", std::string("ab\0", 3)},
        {std::string(7, '\0'), std::string(8, '\0')},
        {std::string(16, '\0'), std::string(17, '\0')},
        {"abcdefgh12345678", "12345678abcdefgh"},
        {"abcd1234", "1234abcd"},
        {block_a + block_b + "the last block!!", block_b + block_a + "the last block!!"},
        {block_a + block_a + "x", block_a + "x"},
        {"", std::string(1, '\0')},
    };
    for (std::uint64_t seed : {1, 2, 3}) {
        const FoldedHash hash = hash_of_seed(seed);
        for (const auto& [left, right] : pairs) {
            EXPECT_NE(hash(left), hash(right)) << left.size() << " and " << right.size() << " bytes";
        }
    }
}

TEST(FoldedHash, SequentialKeysSpreadOverTheSlots) {
    // Keys that differ in a digit or two, as the keys and values of documents do:
    // 4,000 of them placed at random would take about 3,540 slots.
    const FoldedHash hash = hash_of_seed(4);
    for (const char* prefix : {"", "row ", "a longer prefix of the key number "}) {
        std::set<std::uint64_t> slots;
        for (int i = 0; i < 4000; ++i) slots.insert(hash(prefix + std::to_string(i)) % kSlots);
        EXPECT_GT(slots.size(), 3400u) << '"' << prefix << '"';
    }
}

TEST(FoldedHash, TextsSharingASlotUnderOneSecretDoNotUnderAnother) {
    const std::vector<std::string> texts = random_texts(20000, 5);
    const FoldedHash first = hash_of_seed(6);
    const FoldedHash second = hash_of_seed(7);
    std::vector<std::vector<const std::string*>> by_slot(kSlots);
    for (const std::string& text : texts) by_slot[first(text) % kSlots].push_back(&text);
    std::size_t pairs = 0;
    std::size_t still_sharing = 0;
    for (const auto& slot : by_slot) {
        for (std::size_t i = 0; i < slot.size(); ++i) {
            for (std::size_t j = i + 1; j < slot.size(); ++j) {
                ++pairs;
                still_sharing += second(*slot[i]) % kSlots == second(*slot[j]) % kSlots;
            }
        }
    }
    // About 12,000 pairs, of which one in 16,384 shares a slot again by chance.
    EXPECT_GT(pairs, 10000u);
    EXPECT_LE(still_sharing, 8u);
}

}  // namespace
}  // namespace kestrune
