// The JSON reader: one pass over a document, handing each value to a sink.
//
//   std::optional<JsonError> read_json(std::string_view document, JsonSource source, Sink& sink);
//
// reads exactly one value followed only by whitespace (space, tab, line feed,
// carriage return) and returns no error when the document is well formed. On a
// fault it stops at once and returns the kind and byte index; format_json_error
// words it. Nesting is bounded: the top-level value has depth 0 and a value of depth
// greater than kJsonMaxDepth is refused. The reader keeps its open containers in a
// fixed array and never recurses, so any input is safe to hand it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "kestrune/json/detail/byte_scan.hpp"
#include "kestrune/json/detail/number_reader.hpp"
#include "kestrune/json/detail/read_failure.hpp"
#include "kestrune/json/detail/string_reader.hpp"
#include "kestrune/json/json_error.hpp"
#include "kestrune/json/json_sink.hpp"

namespace kestrune::json {

// Where the document bytes came from: a Python str's UTF-8 form is valid UTF-8
// already; bytes are checked inside strings (anywhere else a byte from 0x80 up is
// refused by the grammar anyway).
enum class JsonSource : std::uint8_t { Str, Bytes };

inline constexpr std::size_t kJsonMaxDepth = 200;

namespace detail {

// The literal true, false or null whose first byte, already seen to be the word's,
// is at `token`; the position after it, or nullptr with `failure` set at the first
// wrong byte or the end. The word's last four bytes are compared at once: with the
// first byte known, they settle every word of four or five bytes.
inline const char* read_literal(const char* token, const char* end, std::string_view word, ReadFailure& failure) {
    const std::size_t size = word.size();
    if (static_cast<std::size_t>(end - token) >= size) {
        std::uint32_t read;
        std::uint32_t expected;
        std::memcpy(&read, token + size - 4, 4);
        std::memcpy(&expected, word.data() + size - 4, 4);
        if (read == expected) return token + size;
    }
    for (std::size_t offset = 1;; ++offset) {
        const char* const at = token + offset;
        if (at == end) {
            failure = {JsonErrorKind::EofWhileParsingValue, end};
            return nullptr;
        }
        if (*at != word[offset]) {
            failure = {JsonErrorKind::ExpectedIdent, at};
            return nullptr;
        }
    }
}

template <JsonSink Sink>
class JsonReader {
public:
    JsonReader(std::string_view document, JsonSource source, Sink& sink)
        : begin_(document.data()),
          end_(document.data() + document.size()),
          check_utf8_(source == JsonSource::Bytes),
          sink_(sink) {}

    std::optional<JsonError> read() { return check_utf8_ ? read_tokens<true>() : read_tokens<false>(); }

private:
    enum class Container : std::uint8_t { Array, Object };

    // One loop over the tokens, the cursor and depth kept in locals. The three
    // places the cursor can stand are labels: before a value, after a value, and
    // before a member key; each step jumps to the next one directly. Whether strings
    // are checked as UTF-8 is fixed for the loop, so their scans test nothing more.
    template <bool kCheckUtf8>
    std::optional<JsonError> read_tokens() {
        const char* cursor = skip_whitespace(begin_, end_);
        if (cursor == end_) return error(JsonErrorKind::EofWhileParsingValue, end_);
        std::size_t depth = 0;
        Container container = Container::Array;  // the innermost open one, when depth > 0

    value:
        // On a byte that is not whitespace, where a value must start.
        if (depth > kJsonMaxDepth) return error(JsonErrorKind::RecursionLimitExceeded, cursor);
        switch (*cursor) {
            case '"': {
                StringToken text;
                ReadFailure failure;
                const char* const token = cursor;
                cursor = read_string(cursor + 1, end_, kCheckUtf8, scratch_, text, failure);
                if (cursor == nullptr) return error(failure);
                if (!sink_.string_value(text.text, text.origin)) return stopped(token);
                goto after_value;
            }
            case '-':
            case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9': {
                NumberToken number;
                ReadFailure failure;
                const char* const token = cursor;
                cursor = read_number(cursor, end_, number, failure);
                if (cursor == nullptr) return error(failure);
                bool goes_on = false;
                switch (number.kind) {
                    case NumberKind::Int: goes_on = sink_.int_value(number.integer); break;
                    case NumberKind::BigInt: goes_on = sink_.big_int_value(number.digits); break;
                    case NumberKind::Float: goes_on = sink_.float_value(number.number); break;
                }
                if (!goes_on) return stopped(token);
                goto after_value;
            }
            case '[':
            case '{': {
                const bool is_array = *cursor == '[';
                if (!(is_array ? sink_.start_array() : sink_.start_object())) return stopped(cursor);
                cursor = skip_whitespace(cursor + 1, end_);
                if (cursor == end_) {
                    return error(is_array ? JsonErrorKind::EofWhileParsingList : JsonErrorKind::EofWhileParsingObject,
                                 end_);
                }
                if (*cursor == (is_array ? ']' : '}')) {
                    if (!(is_array ? sink_.end_array() : sink_.end_object())) return stopped(cursor);
                    ++cursor;
                    goto after_value;
                }
                container = is_array ? Container::Array : Container::Object;
                open_[depth++] = container;
                if (is_array) goto value;
                goto member_key;
            }
            case 't':
            case 'f':
            case 'n': {
                ReadFailure failure;
                const char* const token = cursor;
                const char first = *cursor;
                cursor = read_literal(cursor, end_, first == 't' ? "true" : first == 'f' ? "false" : "null", failure);
                if (cursor == nullptr) return error(failure);
                if (!(first == 'n' ? sink_.null_value() : sink_.bool_value(first == 't'))) return stopped(token);
                goto after_value;
            }
            default: return error(JsonErrorKind::ExpectedValue, cursor);
        }

    after_value:
        // Writers mostly put the comma or closing bracket right after the value.
        if (cursor == end_ || may_be_whitespace(static_cast<unsigned char>(*cursor))) {
            cursor = skip_whitespace(cursor, end_);
        }
        if (depth == 0) {
            if (cursor == end_) return std::nullopt;
            return error(JsonErrorKind::TrailingCharacters, cursor);
        }
        {
            const bool is_array = container == Container::Array;
            if (cursor == end_) {
                return error(is_array ? JsonErrorKind::EofWhileParsingList : JsonErrorKind::EofWhileParsingObject,
                             end_);
            }
            const char closing = is_array ? ']' : '}';
            if (*cursor == ',') {
                cursor = skip_whitespace(cursor + 1, end_);
                if (cursor == end_) return error(JsonErrorKind::EofWhileParsingValue, end_);
                if (*cursor == closing) return error(JsonErrorKind::TrailingComma, cursor);
                if (is_array) goto value;
                goto member_key;
            }
            if (*cursor != closing) {
                return error(is_array ? JsonErrorKind::ExpectedListCommaOrEnd : JsonErrorKind::ExpectedObjectCommaOrEnd,
                             cursor);
            }
            --depth;
            if (depth != 0) container = open_[depth - 1];
            if (!(is_array ? sink_.end_array() : sink_.end_object())) return stopped(cursor);
            ++cursor;
            goto after_value;
        }

    member_key:
        // On a byte that is not whitespace, inside an object.
        {
            const char* const token = cursor;
            if (*cursor != '"') return error(JsonErrorKind::KeyMustBeAString, cursor);
            StringToken key;
            ReadFailure failure;
            cursor = read_string(cursor + 1, end_, kCheckUtf8, scratch_, key, failure);
            if (cursor == nullptr) return error(failure);
            if (!sink_.member_key(key.text, key.origin)) return stopped(token);
            if (cursor == end_ || *cursor != ':') {
                cursor = skip_whitespace(cursor, end_);
                if (cursor == end_) return error(JsonErrorKind::EofWhileParsingObject, end_);
                if (*cursor != ':') return error(JsonErrorKind::ExpectedColon, cursor);
            }
            cursor = skip_whitespace(cursor + 1, end_);
            if (cursor == end_) return error(JsonErrorKind::EofWhileParsingValue, end_);
            goto value;
        }
    }

    JsonError error(JsonErrorKind kind, const char* at) const {
        return {kind, static_cast<std::size_t>(at - begin_)};
    }
    JsonError error(const ReadFailure& failure) const { return error(failure.kind, failure.at); }
    JsonError stopped(const char* token) const { return error(JsonErrorKind::SinkStopped, token); }

    const char* const begin_;
    const char* const end_;
    const bool check_utf8_;
    Sink& sink_;
    // A container at the deepest admitted depth may be open, hence one more slot.
    std::array<Container, kJsonMaxDepth + 1> open_;
    std::string scratch_;
};

}  // namespace detail

template <JsonSink Sink>
std::optional<JsonError> read_json(std::string_view document, JsonSource source, Sink& sink) {
    return detail::JsonReader<Sink>(document, source, sink).read();
}

}  // namespace kestrune::json
