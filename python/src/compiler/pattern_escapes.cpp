#include "compiler/pattern_escapes.hpp"

#include <cstdint>

namespace kestrune::py {

namespace {

bool is_octal(char c) { return c >= '0' && c <= '7'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string escape_text(std::string_view text, std::size_t cursor, std::size_t length) {
    return std::string(text.substr(cursor, length));
}

CharacterEscape refused(std::string_view text, std::size_t cursor, std::size_t length, std::string reason) {
    return {length, std::nullopt, std::move(reason) + escape_text(text, cursor, length)};
}

// \0, \012 and, given three digits, \101.
CharacterEscape octal(std::string_view text, std::size_t cursor, std::size_t digits) {
    std::uint32_t value = 0;
    for (std::size_t i = 1; i <= digits; ++i) value = value * 8 + static_cast<std::uint32_t>(text[cursor + i] - '0');
    if (value > 0377) {
        return {1 + digits, std::nullopt,
                "octal escape value " + escape_text(text, cursor, 1 + digits) + " outside of range 0-0o377"};
    }
    return {1 + digits, value, {}};
}

// \u with four hexadecimal digits, \U with eight.
CharacterEscape hexadecimal(std::string_view text, std::size_t cursor, std::size_t digits) {
    std::uint32_t value = 0;
    std::size_t read = 0;
    for (; read < digits; ++read) {
        const int digit = hex_value(char_at(text, cursor + 2 + read));
        if (digit < 0) break;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    if (read < digits) return refused(text, cursor, 2 + read, "incomplete escape sequence: ");
    if (value > 0x10FFFF) return refused(text, cursor, 2 + digits, "escape outside of the Unicode range: ");
    return {2 + digits, value, {}};
}

char32_t decode_utf8(std::string_view sequence) {
    const auto lead = static_cast<unsigned char>(sequence[0]);
    char32_t value = sequence.size() == 1 ? lead : lead & (0x7F >> sequence.size());
    for (std::size_t i = 1; i < sequence.size(); ++i) value = value << 6 | (static_cast<unsigned char>(sequence[i]) & 0x3F);
    return value;
}

}  // namespace

std::size_t utf8_sequence_length(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

std::optional<CharacterEscape> read_character_escape(std::string_view text, std::size_t cursor, bool in_class) {
    const char next = char_at(text, cursor + 1);
    if (next == '0' || (in_class && is_octal(next))) {
        std::size_t digits = 1;
        while (digits < 3 && is_octal(char_at(text, cursor + 1 + digits))) ++digits;
        return octal(text, cursor, digits);
    }
    if (is_octal(next) && is_octal(char_at(text, cursor + 2)) && is_octal(char_at(text, cursor + 3))) return octal(text, cursor, 3);
    if (next == 'u') return hexadecimal(text, cursor, 4);
    if (next == 'U') return hexadecimal(text, cursor, 8);
    if (next == 'b' && in_class) return CharacterEscape{2, U'\b', {}};
    if (next == 'N') {
        // Characters by name would need the whole Unicode name list.
        const std::size_t close = char_at(text, cursor + 2) == '{' ? text.find('}', cursor + 3) : std::string_view::npos;
        const std::size_t length = close == std::string_view::npos ? 2 : close + 1 - cursor;
        return refused(text, cursor, length, "characters by name are not supported: ");
    }
    if (static_cast<unsigned char>(next) >= 0x80) {
        // Python reads an escaped character that is not ASCII as itself.
        const std::size_t length = utf8_sequence_length(static_cast<unsigned char>(next));
        if (cursor + 1 + length > text.size()) return std::nullopt;
        return CharacterEscape{1 + length, decode_utf8(text.substr(cursor + 1, length)), {}};
    }
    return std::nullopt;
}

}  // namespace kestrune::py
