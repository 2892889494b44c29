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

// read_string for every string: plain runs, UTF-8 sequences of bytes documents and
// escapes. Out of line, so the reader's loop keeps only the short case inline.
const char* read_any_string(const char* cursor, const char* end, bool check_utf8, std::string& scratch,
                            StringToken& token, ReadFailure& failure);

// Reads a string whose opening quote is just before `cursor`. Returns the position
// after the closing quote, or nullptr with `failure` set.
inline const char* read_string(const char* cursor, const char* end, bool check_utf8, std::string& scratch,
                               StringToken& token, ReadFailure& failure) {
    if (const char* const quote = find_near_closing_quote(cursor, end, check_utf8)) {
        token = {std::string_view(cursor, static_cast<std::size_t>(quote - cursor)), JsonTextOrigin::Document};
        return quote + 1;
    }
    // Read into a token of its own, so the caller's never has its address taken.
    StringToken read{};
    const char* const next = read_any_string(cursor, end, check_utf8, scratch, read, failure);
    token = read;
    return next;
}

}  // namespace kestrune::json::detail
