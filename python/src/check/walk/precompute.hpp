// The lookup tables a validator builds once, on its first check, and then shares
// read-only between threads. They hold no Python object: names are copies, and
// records are keyed by the address of their `fields` storage, which never moves
// once the validator exists.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "kestrune/core/fxhash.hpp"

namespace kestrune::py {

struct ValidatorValue;

// Looks texts up by view, without making a string per lookup.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

struct RecordIndex {
    std::unordered_map<std::string, std::uint64_t, TextHash, std::equal_to<>> names;  // last position of each name
    std::uint64_t required = 0;
};

struct Precompute {
    std::unordered_map<std::uint64_t, RecordIndex, FxIntegerHash> field_index;
};

Precompute build_precompute(const ValidatorValue& validator);

}  // namespace kestrune::py
