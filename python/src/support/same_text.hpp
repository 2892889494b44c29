// Byte equality of short texts without a call.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace kestrune::py {

// Byte equality of two texts. Names are short, so they are compared inline with
// fixed-size loads (overlapping for lengths between the sizes) instead of a call.
inline bool is_same_text(std::string_view a, std::string_view b) {
    const std::size_t size = a.size();
    if (size != b.size()) return false;
    if (size > 16) return std::memcmp(a.data(), b.data(), size) == 0;
    const auto differ = [&]<class Word>(Word, std::size_t at) {
        Word left;
        Word right;
        std::memcpy(&left, a.data() + at, sizeof left);
        std::memcpy(&right, b.data() + at, sizeof right);
        return left != right;
    };
    if (size >= 8) return !differ(std::uint64_t{}, 0) && !differ(std::uint64_t{}, size - 8);
    if (size >= 4) return !differ(std::uint32_t{}, 0) && !differ(std::uint32_t{}, size - 4);
    for (std::size_t i = 0; i < size; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

}  // namespace kestrune::py
