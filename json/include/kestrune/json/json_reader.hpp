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

template <JsonSink Sink>
class JsonReader {
public:
    JsonReader(std::string_view document, JsonSource source, Sink& sink)
        : begin_(document.data()),
          cursor_(document.data()),
          end_(document.data() + document.size()),
          check_utf8_(source == JsonSource::Bytes),
          sink_(sink) {}

    std::optional<JsonError> read() {
        cursor_ = skip_whitespace(cursor_, end_);
        if (cursor_ == end_) return JsonError{JsonErrorKind::EofWhileParsingValue, index_of(end_)};
        Step step = Step::Value;
        for (;;) {
            // A key is followed by a value and a value by what comes after it, so
            // those steps run on without going back through the dispatch.
            switch (step) {
                case Step::MemberKey:
                    step = read_member_key();
                    if (step != Step::Value) break;
                    [[fallthrough]];
                case Step::Value:
                    step = read_value();
                    if (step != Step::AfterValue) break;
                    [[fallthrough]];
                case Step::AfterValue: step = read_after_value(); break;
                case Step::Done: return std::nullopt;
                case Step::Failed: return error_;
            }
        }
    }

private:
    // What the cursor stands before. At Value and MemberKey it is on a byte that is
    // not whitespace.
    enum class Step : std::uint8_t { Value, MemberKey, AfterValue, Done, Failed };
    enum class Container : std::uint8_t { Array, Object };

    std::size_t index_of(const char* at) const { return static_cast<std::size_t>(at - begin_); }

    Step fail(JsonErrorKind kind, const char* at) {
        error_ = {kind, index_of(at)};
        return Step::Failed;
    }
    Step fail(const ReadFailure& failure) { return fail(failure.kind, failure.at); }
    Step stopped(const char* token) { return fail(JsonErrorKind::SinkStopped, token); }
    Step continue_if(bool sink_goes_on, const char* token, Step next) {
        return sink_goes_on ? next : stopped(token);
    }

    void skip_whitespace_here() { cursor_ = skip_whitespace(cursor_, end_); }

    Step read_value() {
        if (depth_ > kJsonMaxDepth) return fail(JsonErrorKind::RecursionLimitExceeded, cursor_);
        const char* const token = cursor_;
        switch (*cursor_) {
            case '[': return open_container(Container::Array);
            case '{': return open_container(Container::Object);
            case '"': {
                StringToken text;
                ReadFailure failure;
                cursor_ = read_string(cursor_ + 1, end_, check_utf8_, scratch_, text, failure);
                if (cursor_ == nullptr) return fail(failure);
                return continue_if(sink_.string_value(text.text, text.origin), token, Step::AfterValue);
            }
            case 't':
                if (!read_literal("true", token)) return Step::Failed;
                return continue_if(sink_.bool_value(true), token, Step::AfterValue);
            case 'f':
                if (!read_literal("false", token)) return Step::Failed;
                return continue_if(sink_.bool_value(false), token, Step::AfterValue);
            case 'n':
                if (!read_literal("null", token)) return Step::Failed;
                return continue_if(sink_.null_value(), token, Step::AfterValue);
            case '-':
            case '0': case '1': case '2': case '3': case '4':
            case '5': case '6': case '7': case '8': case '9': return read_number_value(token);
            default: return fail(JsonErrorKind::ExpectedValue, cursor_);
        }
    }

    Step read_number_value(const char* token) {
        NumberToken number;
        ReadFailure failure;
        cursor_ = read_number(cursor_, end_, number, failure);
        if (cursor_ == nullptr) return fail(failure);
        bool goes_on = false;
        switch (number.kind) {
            case NumberKind::Int: goes_on = sink_.int_value(number.integer); break;
            case NumberKind::BigInt: goes_on = sink_.big_int_value(number.digits); break;
            case NumberKind::Float: goes_on = sink_.float_value(number.number); break;
        }
        return continue_if(goes_on, token, Step::AfterValue);
    }

    // The word is known by its first byte; the rest must follow exactly.
    bool read_literal(std::string_view word, const char* token) {
        for (std::size_t offset = 1; offset < word.size(); ++offset) {
            const char* const at = token + offset;
            if (at == end_) {
                fail(JsonErrorKind::EofWhileParsingValue, end_);
                return false;
            }
            if (*at != word[offset]) {
                fail(JsonErrorKind::ExpectedIdent, at);
                return false;
            }
        }
        cursor_ = token + word.size();
        return true;
    }

    Step open_container(Container container) {
        const bool is_array = container == Container::Array;
        const char* const opening = cursor_;
        if (!(is_array ? sink_.start_array() : sink_.start_object())) return stopped(opening);
        ++cursor_;
        skip_whitespace_here();
        if (cursor_ == end_) {
            return fail(is_array ? JsonErrorKind::EofWhileParsingList : JsonErrorKind::EofWhileParsingObject, end_);
        }
        if (*cursor_ == (is_array ? ']' : '}')) return close_container(container);
        open_[depth_++] = container;
        return is_array ? Step::Value : Step::MemberKey;
    }

    Step close_container(Container container) {
        const char* const closing = cursor_++;
        const bool goes_on = container == Container::Array ? sink_.end_array() : sink_.end_object();
        return continue_if(goes_on, closing, Step::AfterValue);
    }

    Step read_member_key() {
        const char* const token = cursor_;
        if (*cursor_ != '"') return fail(JsonErrorKind::KeyMustBeAString, cursor_);
        StringToken key;
        ReadFailure failure;
        cursor_ = read_string(cursor_ + 1, end_, check_utf8_, scratch_, key, failure);
        if (cursor_ == nullptr) return fail(failure);
        if (!sink_.member_key(key.text, key.origin)) return stopped(token);
        skip_whitespace_here();
        if (cursor_ == end_) return fail(JsonErrorKind::EofWhileParsingObject, end_);
        if (*cursor_ != ':') return fail(JsonErrorKind::ExpectedColon, cursor_);
        ++cursor_;
        skip_whitespace_here();
        if (cursor_ == end_) return fail(JsonErrorKind::EofWhileParsingValue, end_);
        return Step::Value;
    }

    Step read_after_value() {
        skip_whitespace_here();
        if (depth_ == 0) return cursor_ == end_ ? Step::Done : fail(JsonErrorKind::TrailingCharacters, cursor_);
        const Container container = open_[depth_ - 1];
        const bool is_array = container == Container::Array;
        if (cursor_ == end_) {
            return fail(is_array ? JsonErrorKind::EofWhileParsingList : JsonErrorKind::EofWhileParsingObject, end_);
        }
        const char closing = is_array ? ']' : '}';
        if (*cursor_ == ',') {
            ++cursor_;
            skip_whitespace_here();
            if (cursor_ == end_) return fail(JsonErrorKind::EofWhileParsingValue, end_);
            if (*cursor_ == closing) return fail(JsonErrorKind::TrailingComma, cursor_);
            return is_array ? Step::Value : Step::MemberKey;
        }
        if (*cursor_ == closing) {
            --depth_;
            return close_container(container);
        }
        return fail(is_array ? JsonErrorKind::ExpectedListCommaOrEnd : JsonErrorKind::ExpectedObjectCommaOrEnd,
                    cursor_);
    }

    const char* const begin_;
    const char* cursor_;
    const char* const end_;
    const bool check_utf8_;
    Sink& sink_;
    // A container at the deepest admitted depth may be open, hence one more slot.
    std::array<Container, kJsonMaxDepth + 1> open_{};
    std::size_t depth_ = 0;
    std::string scratch_;
    JsonError error_{};
};

}  // namespace detail

template <JsonSink Sink>
std::optional<JsonError> read_json(std::string_view document, JsonSource source, Sink& sink) {
    return detail::JsonReader<Sink>(document, source, sink).read();
}

}  // namespace kestrune::json
