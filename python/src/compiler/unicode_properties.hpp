// The Unicode sets a pattern can name in \p{...}, as items of a bracketed class for
// the engine. Categories and scripts the engine knows keep its own \p{..} names; the
// other sets (binary properties such as Alphabetic, the word class) are written out
// as ranges from our generated tables. Pure C++.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::py {

class UnicodeSet {
public:
    // The word class of \w: alphabetic characters, marks, decimal numbers, connector
    // punctuation and the join controls.
    static UnicodeSet word();
    // The White_Space characters, the class of \s.
    static UnicodeSet space();

    // The set named inside \p{...}, matched loosely (case, spaces, '_' and '-'
    // ignored): "gc=" or "General_Category=" names a category, "sc=" or "Script=" a
    // script, a bare name a binary property, a category or a script, in that order.
    static std::optional<UnicodeSet> find(std::string_view name);

    // Appends the set, or its complement, as the items of a bracketed class; nothing
    // for an empty set.
    void append_items(std::string& out, bool complement) const;

    // The number of ranges the set, or its complement, is made of: the engine's
    // program spends an instruction on each at the least.
    std::size_t range_count(bool complement) const;

    bool operator==(const UnicodeSet&) const = default;

private:
    UnicodeSet(std::size_t index, std::string_view engine_name, std::size_t ranges)
        : index_(index), engine_name_(engine_name), ranges_(ranges) {}

    std::size_t index_;             // an explicit set, when there is no engine name
    std::string_view engine_name_;  // a category or a script the engine knows
    std::size_t ranges_;            // of a set the engine knows
};

// Appends a code point as the engine reads it anywhere: \x{..} in hexadecimal.
void append_code_point(std::string& out, char32_t code_point);

}  // namespace kestrune::py
