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

// What a plain run stopped at, `cursor` being where find_string_run_end stopped:
// the closing quote or a backslash (0, the run is over), a valid UTF-8 sequence of a
// bytes document (its length, the run goes on after it), or a fault (-1 with
// `failure` set: the end of the document, a control byte, bytes that are not UTF-8).
inline int classify_run_stop(const char* cursor, const char* end, ReadFailure& failure) {
    if (cursor == end) {
        failure = {JsonErrorKind::EofWhileParsingString, end};
        return -1;
    }
    const auto byte = static_cast<unsigned char>(*cursor);
    if (byte == '"' || byte == '\\') return 0;
    if (byte < 0x20) {
        failure = {JsonErrorKind::ControlCharacterInString, cursor};
        return -1;
    }
    const Utf8Sequence sequence = check_utf8_sequence(cursor, end);
    if (sequence.check == Utf8Check::Valid) return static_cast<int>(sequence.length);
    failure = sequence.check == Utf8Check::Truncated ? ReadFailure{JsonErrorKind::EofWhileParsingString, end}
                                                     : ReadFailure{JsonErrorKind::InvalidUnicodeCodePoint, cursor + 1};
    return -1;
}

// Steps over bytes that stand for themselves and stops at the closing quote or a
// backslash; nullptr with `failure` set for the end of the document, a control byte
// or (when `check_utf8`) bytes that are not UTF-8.
inline const char* skip_plain_run(const char* cursor, const char* end, bool check_utf8, ReadFailure& failure) {
    for (;;) {
        cursor = find_string_run_end(cursor, end, check_utf8);
        const int sequence = classify_run_stop(cursor, end, failure);
        if (sequence <= 0) return sequence == 0 ? cursor : nullptr;
        cursor += sequence;
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
