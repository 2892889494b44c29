// Counted repetitions: {n}, {n,}, {n,m}, and as in Python {,m} and {,}, read with any
// leading zeros, and written for RE2, whose cap on a count is 1000. Pure C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::py {

inline constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();

// RE2 refuses a count above 1000, and a counted repetition whose count times the
// counts of the repetitions nested in it is above 1000.
inline constexpr std::uint64_t kEngineCountLimit = 1000;

struct Count {
    std::uint64_t min;
    std::uint64_t max;   // kUnbounded when open
    std::size_t length;  // of its text, braces included
};

// The count that `text` starts with (at its '{'), or none when the brace opens no
// count and is a character. Counts saturate far above anything that compiles.
std::optional<Count> read_count(std::string_view text);

// The count as RE2 reads it: no leading zeros, no empty minimum.
std::string engine_count_text(const Count& count);

// The text of `atom` repeated `count` times, as copies of it each counted at most
// `chunk` times: for counts RE2 cannot take at once.
std::string expanded_repetition(std::string_view atom, const Count& count, std::uint64_t chunk);

// How many copies of the atom `expanded_repetition` writes, for bounding its text.
std::uint64_t expanded_copies(const Count& count, std::uint64_t chunk);

}  // namespace kestrune::py
