// The front end between a wrapped pattern and RE2: one pass that refuses what RE2
// must not see (look-around, backreferences, \C, repetitions RE2 would misread) or
// cannot express, with reasons about the text the user wrote, and rewrites what RE2
// reads otherwise than Python does or not at all: the Perl classes and \p{..} names
// become Unicode sets, Python's escapes of one character become code points, \Z the
// end of the text, comments vanish, counted repetitions above RE2's cap of 1000
// become runs of repetitions it accepts, and a leading (?x) strips the layout of a
// verbose pattern. It bounds the program the text compiles to before RE2 sees it.
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

// Why a pattern is refused before RE2 sees it: a syntax error about the bytes
// [offset, offset + length) of the wrapped text, or a program above the size limit.
struct PatternRefusal {
    std::string reason;
    std::size_t offset;
    std::size_t length;
    bool exceeds_size_limit = false;
};

// A syntax refusal at `offset` of `wrapped`, marking at least one byte and none past
// its end.
PatternRefusal refusal_at(std::string_view wrapped, std::size_t offset, std::string_view reason, std::size_t length);

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
