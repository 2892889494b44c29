#include "kestrune/json/json_error.hpp"

#include <algorithm>

namespace kestrune::json {

std::string_view json_error_text(JsonErrorKind kind) {
    switch (kind) {
        case JsonErrorKind::EofWhileParsingValue: return "EOF while parsing a value";
        case JsonErrorKind::ExpectedValue: return "expected value";
        case JsonErrorKind::InvalidNumber: return "invalid number";
        case JsonErrorKind::ExpectedIdent: return "expected ident";
        case JsonErrorKind::NumberOutOfRange: return "number out of range";
        case JsonErrorKind::EofWhileParsingString: return "EOF while parsing a string";
        case JsonErrorKind::ControlCharacterInString:
            return "control character (\\u0000-\\u001F) found while parsing a string";
        case JsonErrorKind::InvalidEscape: return "invalid escape";
        case JsonErrorKind::LoneLeadingSurrogate: return "lone leading surrogate in hex escape";
        case JsonErrorKind::UnexpectedEndOfHexEscape: return "unexpected end of hex escape";
        case JsonErrorKind::InvalidUnicodeCodePoint: return "invalid unicode code point";
        case JsonErrorKind::EofWhileParsingList: return "EOF while parsing a list";
        case JsonErrorKind::ExpectedListCommaOrEnd: return "expected `,` or `]`";
        case JsonErrorKind::EofWhileParsingObject: return "EOF while parsing an object";
        case JsonErrorKind::KeyMustBeAString: return "key must be a string";
        case JsonErrorKind::ExpectedColon: return "expected `:`";
        case JsonErrorKind::ExpectedObjectCommaOrEnd: return "expected `,` or `}`";
        case JsonErrorKind::TrailingComma: return "trailing comma";
        case JsonErrorKind::RecursionLimitExceeded: return "recursion limit exceeded";
        case JsonErrorKind::TrailingCharacters: return "trailing characters";
        case JsonErrorKind::SinkStopped: return "stopped by the sink";
    }
    return "unknown error";
}

std::string json_position_text(std::string_view document, std::size_t index) {
    // Past the end, count every line feed and stand on the last byte.
    const bool at_end = index >= document.size();
    const std::size_t counted = at_end ? document.size() : index + 1;
    const std::string_view head = document.substr(0, counted);
    const std::size_t line = 1 + static_cast<std::size_t>(std::count(head.begin(), head.end(), '\n'));
    const std::size_t last_feed = head.rfind('\n');
    const std::size_t line_start = last_feed == std::string_view::npos ? 0 : last_feed + 1;
    const std::size_t column = counted - line_start;
    return "line " + std::to_string(line) + " column " + std::to_string(column);
}

std::string format_json_error(std::string_view document, const JsonError& error) {
    std::string message(json_error_text(error.kind));
    message += " at ";
    message += json_position_text(document, error.index);
    return message;
}

}  // namespace kestrune::json
