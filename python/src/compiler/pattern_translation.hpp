// The front end between a wrapped pattern and RE2: one pass that refuses what RE2
// must not see and rewrites the Perl classes into their Unicode meaning.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::py {

// Why a pattern is refused before RE2 sees it, and which bytes of the wrapped text
// show the problem.
struct PatternRefusal {
    std::string reason;
    std::size_t offset;
    std::size_t length;
};

struct PatternTranslation {
    std::string text;                      // what RE2 compiles
    std::optional<PatternRefusal> refusal;  // set instead when refused
};

// `wrapped` is the whole-text form "\A(?:" + pattern + ")\z".
PatternTranslation translate_pattern(std::string_view wrapped, std::size_t max_nesting);

}  // namespace kestrune::py
