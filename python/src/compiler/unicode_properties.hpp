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

    // Appends the set, or its complement, as the items of a bracketed class.
    void append_items(std::string& out, bool complement) const;

private:
    UnicodeSet(std::size_t index, std::string_view engine_name) : index_(index), engine_name_(engine_name) {}

    std::size_t index_;             // an explicit set, when there is no engine name
    std::string_view engine_name_;  // a category or a script the engine knows
};

}  // namespace kestrune::py
