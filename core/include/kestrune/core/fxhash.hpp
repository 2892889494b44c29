// FxHash: the fast, non-cryptographic hash of the module's internal tables. None of
// its values is visible outside the module.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kestrune {

inline constexpr std::uint64_t kFxSeed = 0xf1357aea2e62a9c5ULL;

class FxHasher {
public:
    void add_word(std::uint64_t word) { state_ = (state_ + word) * kFxSeed; }
    std::uint64_t finish() const { return std::rotl(state_, 26); }

private:
    std::uint64_t state_ = 0;
};

// Hash functor for unordered containers keyed by 64-bit integers.
struct FxIntegerHash {
    std::size_t operator()(std::uint64_t key) const {
        FxHasher hasher;
        hasher.add_word(key);
        return hasher.finish();
    }
};

// Hash functor for texts, eight bytes at a time; looks up by view without making a
// string (transparent).
struct FxTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        FxHasher hasher;
        std::size_t i = 0;
        for (; i + 8 <= text.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            hasher.add_word(word);
        }
        hasher.add_word(tail_word(text.data() + i, text.size() - i));
        hasher.add_word(text.size());
        return hasher.finish();
    }

private:
    // The last `count` (< 8) bytes as one word, read with fixed-size loads that may
    // overlap (the length is hashed too): a copy of variable size would be a call.
    static std::uint64_t tail_word(const char* bytes, std::size_t count) {
        if (count >= 4) {
            std::uint32_t low;
            std::uint32_t high;
            std::memcpy(&low, bytes, 4);
            std::memcpy(&high, bytes + count - 4, 4);
            return low | (std::uint64_t{high} << 32);
        }
        if (count == 0) return 0;
        const auto byte = [&](std::size_t at) { return std::uint64_t{static_cast<unsigned char>(bytes[at])}; };
        return byte(0) | (byte(count / 2) << 8) | (byte(count - 1) << 16);
    }
};

}  // namespace kestrune
