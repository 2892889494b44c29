// The events the reader hands to whatever builds values from a document.
//
// The reader walks the document once, front to back, and calls the sink for each
// value in document order; containers arrive as start/end pairs around their
// contents, and inside an object every value is preceded by `member_key`. The sink
// keeps its own stack of open containers; the reader guarantees the pairs are
// balanced and that no more than 201 containers are open at once (the nesting
// limit), so a sink may recurse per level or use a fixed stack.
//
// Every event returns true to go on. Returning false stops the read at once: the
// reader then reports `JsonErrorKind::SinkStopped` at the first byte of the token
// that caused the event, and the sink is expected to remember why it stopped.
// Exceptions thrown by a sink pass through the reader unchanged.
//
//   bool null_value();
//   bool bool_value(bool value);
//   bool int_value(std::int64_t value);               // at most 18 digits
//   bool big_int_value(std::string_view digits);      // 19 digits or more, exact: an
//                                                     // optional '-' then the digits,
//                                                     // borrowed from the document
//   bool float_value(double value);                   // correctly rounded, may be ±inf
//   bool string_value(std::string_view text, JsonTextOrigin origin);
//   bool member_key(std::string_view text, JsonTextOrigin origin);
//   bool start_array();
//   bool end_array();
//   bool start_object();
//   bool end_object();
//
// Texts are always valid UTF-8 without surrogates.
#pragma once

#include <concepts>
#include <cstdint>
#include <string_view>

namespace kestrune::json {

enum class JsonTextOrigin : std::uint8_t {
    // The text had no escapes and is a view into the document itself: it lives as
    // long as the document does.
    Document,
    // The text was decoded into the reader's scratch buffer: the view is valid only
    // until the next event, so copy it to keep it.
    Scratch,
};

template <class Sink>
concept JsonSink = requires(Sink& sink, bool flag, std::int64_t integer, double number, std::string_view text,
                            JsonTextOrigin origin) {
    { sink.null_value() } -> std::same_as<bool>;
    { sink.bool_value(flag) } -> std::same_as<bool>;
    { sink.int_value(integer) } -> std::same_as<bool>;
    { sink.big_int_value(text) } -> std::same_as<bool>;
    { sink.float_value(number) } -> std::same_as<bool>;
    { sink.string_value(text, origin) } -> std::same_as<bool>;
    { sink.member_key(text, origin) } -> std::same_as<bool>;
    { sink.start_array() } -> std::same_as<bool>;
    { sink.end_array() } -> std::same_as<bool>;
    { sink.start_object() } -> std::same_as<bool>;
    { sink.end_object() } -> std::same_as<bool>;
};

}  // namespace kestrune::json
