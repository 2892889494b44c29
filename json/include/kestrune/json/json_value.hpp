// A parsed JSON document as a tree of plain values, holding no Python object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kestrune::json {

// Text that is either borrowed from the document (no escapes to undo) or owned.
class JsonText {
public:
    JsonText() = default;
    static JsonText borrowed(std::string_view text) { return JsonText(Storage(std::in_place_index<0>, text)); }
    static JsonText owned(std::string text) { return JsonText(Storage(std::in_place_index<1>, std::move(text))); }

    std::string_view view() const {
        if (const auto* text = std::get_if<0>(&storage_)) return *text;
        return std::get<1>(storage_);
    }

private:
    using Storage = std::variant<std::string_view, std::string>;
    explicit JsonText(Storage storage) : storage_(std::move(storage)) {}
    Storage storage_;
};

enum class JsonKind : std::uint8_t { Null, Bool, Int, BigInt, Float, Str, Array, Object };

struct JsonMember;

// Only the payload of `kind` is meaningful: `boolean` (Bool), `integer` (Int),
// `number` (Float), `text` (Str, and BigInt as its decimal digits with an optional
// leading '-'), `items` (Array), `members` (Object, in document order, repeated keys
// included). The reader bounds nesting, so the tree is never deep.
struct JsonValue {
    JsonKind kind = JsonKind::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    double number = 0.0;
    JsonText text;
    std::vector<JsonValue> items;
    std::vector<JsonMember> members;
};

struct JsonMember {
    JsonText key;
    JsonValue value;
};

}  // namespace kestrune::json
