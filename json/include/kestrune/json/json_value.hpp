// A parsed JSON document as a tree of plain values, holding no Python object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrune::json {

enum class JsonKind : std::uint8_t { Null, Bool, Int, BigInt, Float, Str, Array, Object };

struct JsonMember;

// One value of a document, small and trivially copyable. Texts and the elements of
// containers live elsewhere (in the document or in the JsonDocument that was read
// from it), so a value is only valid while both are. The reader bounds nesting, so
// a tree is never deep.
class JsonValue {
public:
    JsonValue() = default;
    static JsonValue null() { return JsonValue(JsonKind::Null, Payload{.integer = 0}, 0); }
    static JsonValue of_bool(bool value) { return JsonValue(JsonKind::Bool, Payload{.integer = value}, 0); }
    static JsonValue of_int(std::int64_t value) { return JsonValue(JsonKind::Int, Payload{.integer = value}, 0); }
    static JsonValue of_float(double value) { return JsonValue(JsonKind::Float, Payload{.number = value}, 0); }
    // `digits`: an optional '-' and the decimal digits.
    static JsonValue of_big_int(std::string_view digits) { return of_text(JsonKind::BigInt, digits); }
    static JsonValue of_str(std::string_view text) { return of_text(JsonKind::Str, text); }
    static JsonValue of_array(std::span<const JsonValue> items) {
        return JsonValue(JsonKind::Array, Payload{.items = items.data()}, items.size());
    }
    static JsonValue of_object(std::span<const JsonMember> members);

    JsonKind kind() const { return static_cast<JsonKind>(static_cast<std::uint8_t>(size_and_kind_)); }
    // Only the accessor of the value's own kind may be called.
    bool boolean() const { return payload_.integer != 0; }
    std::int64_t integer() const { return payload_.integer; }
    double number() const { return payload_.number; }
    // Str: the UTF-8 text; BigInt: the digits.
    std::string_view text() const { return {payload_.text, size()}; }
    std::span<const JsonValue> items() const { return {payload_.items, size()}; }
    // In document order, repeated keys included.
    std::span<const JsonMember> members() const;

private:
    union Payload {
        std::int64_t integer;
        double number;
        const char* text;
        const JsonValue* items;
        const JsonMember* members;
    };
    std::size_t size() const { return static_cast<std::size_t>(size_and_kind_ >> kKindBits); }
    JsonValue(JsonKind kind, Payload payload, std::size_t size)
        : payload_(payload),
          size_and_kind_(static_cast<std::uint64_t>(size) << kKindBits | static_cast<std::uint8_t>(kind)) {}
    static JsonValue of_text(JsonKind kind, std::string_view text) {
        return JsonValue(kind, Payload{.text = text.data()}, text.size());
    }

    static constexpr unsigned kKindBits = 8;

    Payload payload_{.integer = 0};
    // The kind in the low byte, the count (bytes of text, items or members) above
    // it: a value is two words, so the pending values of an open container and the
    // items of a closed one take little room.
    std::uint64_t size_and_kind_ = static_cast<std::uint8_t>(JsonKind::Null);
};

static_assert(sizeof(JsonValue) == 16);

// `key` is always a Str.
struct JsonMember {
    JsonValue key;
    JsonValue value;
};

inline JsonValue JsonValue::of_object(std::span<const JsonMember> members) {
    return JsonValue(JsonKind::Object, Payload{.members = members.data()}, members.size());
}

inline std::span<const JsonMember> JsonValue::members() const { return {payload_.members, size()}; }

}  // namespace kestrune::json
