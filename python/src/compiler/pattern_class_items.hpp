// The items of a bracketed class, and the set escapes (\d, \w, \s, their negations,
// \p{..} and \P{..}) anywhere, as RE2 is to read them: the sets become Unicode sets
// written as class items, Python's escapes of one character become code points, and
// what RE2 must not see is refused. Pure C++.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "compiler/pattern_translation.hpp"
#include "compiler/unicode_properties.hpp"

namespace kestrune::py {

inline constexpr std::string_view kByteReason = "\\C is not supported: patterns match whole characters, not bytes";

// A set escape as it is to be written: a set of ours or a class the engine knows.
struct SetItem {
    std::optional<UnicodeSet> set;  // none for \d and \D
    bool complement;

    bool operator==(const SetItem&) const = default;

    void append_to(std::string& out) const;
    // What the set costs the program at the least.
    std::uint64_t leaves() const { return set ? set->range_count(complement) : 1; }
};

struct ClassItem {
    std::size_t start;
    std::size_t end;
    std::string text;
    std::optional<SetItem> set = std::nullopt;  // a class of its own: no end of a range
    bool is_set = false;                        // a set, or RE2's [:alpha:]

    std::uint64_t leaves() const { return set ? set->leaves() : 1; }
    void append_to(std::string& out) const;
};

// The wrapped text and where the pattern in it ends.
struct PatternText {
    std::string_view in;
    std::size_t pattern_end;
};

// The set escape at `cursor`; the class item at `cursor`. When it is refused,
// `refusal` is set and the item means nothing.
ClassItem read_set_escape(const PatternText& text, std::size_t cursor, std::optional<PatternRefusal>& refusal);
ClassItem read_class_item(const PatternText& text, std::size_t cursor, std::optional<PatternRefusal>& refusal);

// The escapes that stand for a set.
bool is_set_escape(char c);

// The length of the escape at `cursor` that RE2 reads as one unit: \x{..}, \xhh, or
// a backslash and one character.
std::size_t escape_length(std::string_view in, std::size_t cursor);

}  // namespace kestrune::py
