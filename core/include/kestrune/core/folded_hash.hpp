// A keyed hash of short byte strings built on the folded multiply (the two halves of
// a 64x64->128-bit product xored together): a few instructions per text, and every
// word is xored with a secret before it is multiplied, so which texts collide
// depends on the secrets. Its values are never shown outside the process.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kestrune {

class FoldedHash {
public:
    using Secrets = std::array<std::uint64_t, 4>;

    explicit FoldedHash(const Secrets& secrets) : secrets_(secrets) {}

    std::uint64_t operator()(std::string_view text) const {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t size = text.size();
        std::uint64_t state = secrets_[0] ^ size;
        std::uint64_t first;
        std::uint64_t second;
        if (size <= 16) {
            // Two loads that overlap in the middle: for a given length they name
            // the text exactly.
            if (size >= 8) {
                first = load<std::uint64_t>(bytes);
                second = load<std::uint64_t>(bytes + size - 8);
            } else if (size >= 4) {
                first = load<std::uint32_t>(bytes);
                second = load<std::uint32_t>(bytes + size - 4);
            } else {
                first = size == 0 ? 0 : (std::uint64_t{bytes[0]} << 16) | (std::uint64_t{bytes[size / 2]} << 8) |
                                            bytes[size - 1];
                second = 0;
            }
        } else {
            // Sixteen bytes at a time, chained through the state so that order
            // counts; the last block ends at the end and may overlap the one before.
            const unsigned char* const last = bytes + size - 16;
            for (; bytes < last; bytes += 16) {
                state = fold(load<std::uint64_t>(bytes) ^ secrets_[1], load<std::uint64_t>(bytes + 8) ^ state);
            }
            first = load<std::uint64_t>(last);
            second = load<std::uint64_t>(last + 8);
        }
        // The second fold carries the high bits of the first product down to the
        // low bits, which pick a slot.
        return fold(fold(first ^ secrets_[1], second ^ state) ^ secrets_[2], secrets_[3]);
    }

private:
    static std::uint64_t fold(std::uint64_t a, std::uint64_t b) {
        const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
        return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
    }

    template <class Word>
    static std::uint64_t load(const unsigned char* at) {
        Word word;
        std::memcpy(&word, at, sizeof word);
        return word;
    }

    Secrets secrets_;
};

}  // namespace kestrune
