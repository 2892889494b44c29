// The front end between a wrapped pattern and RE2: one pass that refuses what RE2
// must not see (look-around, backreferences, \C, repetitions RE2 would misread) with
// reasons about the text the user wrote, and rewrites what RE2 reads otherwise than
// we do: the Perl classes and \p{..} names become Unicode sets, octal escapes become
// code points, counted repetitions above RE2's cap of 1000 become runs of repetitions
// it accepts, and a leading (?x) strips the layout of a verbose pattern.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::py {

// A pattern is matched as a whole: the engine compiles kPatternPrefix + pattern +
// kPatternSuffix, joined as plain text.
inline constexpr std::string_view kPatternPrefix = "\\A(?:";
inline constexpr std::string_view kPatternSuffix = ")\\z";

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

struct PatternLimits {
    std::size_t max_nesting;        // parentheses and brackets, the wrapping included
    std::size_t max_program_bytes;  // the size limit of the compiled program
};

// `wrapped` is kPatternPrefix + pattern + kPatternSuffix.
PatternTranslation translate_pattern(std::string_view wrapped, const PatternLimits& limits);

}  // namespace kestrune::py
