// Reading a string token: plain runs are scanned in place and, when the string has
// no escapes, handed out as a view into the document; an escape switches to
// decoding into a scratch buffer.
#pragma once

#include <string>
#include <string_view>

#include "kestrune/json/detail/byte_scan.hpp"
#include "kestrune/json/detail/read_failure.hpp"
#include "kestrune/json/detail/utf8_sequence.hpp"
#include "kestrune/json/json_sink.hpp"

namespace kestrune::json::detail {

// Steps over bytes that stand for themselves and stops at the closing quote or a
// backslash; nullptr with `failure` set for the end of the document, a control byte
// or (when `check_utf8`) bytes that are not UTF-8.
inline const char* skip_plain_run(const char* cursor, const char* end, bool check_utf8, ReadFailure& failure) {
    for (;;) {
        cursor = find_string_run_end(cursor, end, check_utf8);
        if (cursor == end) {
            failure = {JsonErrorKind::EofWhileParsingString, end};
            return nullptr;
        }
        const auto byte = static_cast<unsigned char>(*cursor);
        if (byte == '"' || byte == '\\') return cursor;
        if (byte < 0x20) {
            failure = {JsonErrorKind::ControlCharacterInString, cursor};
            return nullptr;
        }
        const Utf8Sequence sequence = check_utf8_sequence(cursor, end);
        if (sequence.check == Utf8Check::Valid) {
            cursor += sequence.length;
            continue;
        }
        failure = sequence.check == Utf8Check::Truncated
                      ? ReadFailure{JsonErrorKind::EofWhileParsingString, end}
                      : ReadFailure{JsonErrorKind::InvalidUnicodeCodePoint, cursor + 1};
        return nullptr;
    }
}

struct StringToken {
    std::string_view text;
    JsonTextOrigin origin;
};

// Decodes a string from its first escape on; `body` is just after the opening quote
// and `cursor` at the first backslash. Returns the position after the closing
// quote with `token` viewing `scratch`, or nullptr with `failure` set.
const char* read_escaped_string(const char* body, const char* cursor, const char* end, bool check_utf8,
                                std::string& scratch, StringToken& token, ReadFailure& failure);

// Reads a string whose opening quote is just before `cursor`. Returns the position
// after the closing quote, or nullptr with `failure` set.
inline const char* read_string(const char* cursor, const char* end, bool check_utf8, std::string& scratch,
                               StringToken& token, ReadFailure& failure) {
    const char* const body = cursor;
    cursor = skip_plain_run(cursor, end, check_utf8, failure);
    if (cursor == nullptr) return nullptr;
    if (*cursor == '"') {
        token = {std::string_view(body, static_cast<std::size_t>(cursor - body)), JsonTextOrigin::Document};
        return cursor + 1;
    }
    return read_escaped_string(body, cursor, end, check_utf8, scratch, token, failure);
}

}  // namespace kestrune::json::detail
