// The escapes that stand for one character and that RE2 reads otherwise than Python
// or not at all: \uXXXX, \UXXXXXXXX, octal escapes, \N{...}, an escaped character
// that is not ASCII, and inside a class \b (a backspace). Pure C++.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::py {

struct CharacterEscape {
    std::size_t length;                 // of the escape, the backslash included
    std::optional<char32_t> code_point;  // none when refused
    std::string refusal;                // the reason, when refused
};

// The byte at `index`, or NUL past the end: the front end looks ahead without
// bounds checks of its own.
inline char char_at(std::string_view text, std::size_t index) { return index < text.size() ? text[index] : '\0'; }

// The number of bytes of the UTF-8 sequence that starts with `lead` (one for a byte
// that starts none).
std::size_t utf8_sequence_length(unsigned char lead);

// The escape at `text[cursor]` (a backslash followed by at least one character) when
// it is one of those above, read as Python reads it inside a class or outside one;
// none for any other escape. Outside a class \1...\9 are octal only with three octal
// digits: otherwise they refer to a group, and are not read here.
std::optional<CharacterEscape> read_character_escape(std::string_view text, std::size_t cursor, bool in_class);

}  // namespace kestrune::py
