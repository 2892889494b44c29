// What the reader reports when a document is refused: the kind of fault and the
// byte index it is placed at, and their texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune::json {

enum class JsonErrorKind : std::uint8_t {
    EofWhileParsingValue,
    ExpectedValue,
    InvalidNumber,
    ExpectedIdent,
    NumberOutOfRange,
    EofWhileParsingString,
    ControlCharacterInString,
    InvalidEscape,
    LoneLeadingSurrogate,
    UnexpectedEndOfHexEscape,
    InvalidUnicodeCodePoint,
    EofWhileParsingList,
    ExpectedListCommaOrEnd,
    EofWhileParsingObject,
    KeyMustBeAString,
    ExpectedColon,
    ExpectedObjectCommaOrEnd,
    TrailingComma,
    RecursionLimitExceeded,
    TrailingCharacters,
    // A sink event answered false; the sink knows why and words the message itself.
    SinkStopped,
};

struct JsonError {
    JsonErrorKind kind;
    // Byte index into the document; the document length for faults at its end.
    std::size_t index;

    friend bool operator==(const JsonError&, const JsonError&) = default;
};

// The fixed text of a kind, e.g. "expected `,` or `]`".
std::string_view json_error_text(JsonErrorKind kind);

// "line {} column {}" for a byte index: lines are counted by line feeds up to and
// including the index, columns in bytes; an index at or past the end is placed on
// the last byte of the document.
std::string json_position_text(std::string_view document, std::size_t index);

// "{text} at line {} column {}".
std::string format_json_error(std::string_view document, const JsonError& error);

}  // namespace kestrune::json
