#include "kestrune/json/json_tree_builder.hpp"

#include <string>
#include <utility>

namespace kestrune::json {

namespace {

JsonText text_of(std::string_view text, JsonTextOrigin origin) {
    return origin == JsonTextOrigin::Document ? JsonText::borrowed(text) : JsonText::owned(std::string(text));
}

}  // namespace

// Growing a container moves its elements, but only the innermost open container
// grows, so the pointers on the stack to its ancestors stay valid.
JsonValue& JsonTreeBuilder::next_slot(JsonKind kind) {
    JsonValue* slot;
    if (open_.empty()) {
        slot = &root_;
    } else if (JsonValue& container = *open_.back(); container.kind == JsonKind::Array) {
        slot = &container.items.emplace_back();
    } else {
        slot = &container.members.emplace_back(JsonMember{std::move(pending_key_), {}}).value;
    }
    slot->kind = kind;
    return *slot;
}

bool JsonTreeBuilder::null_value() {
    next_slot(JsonKind::Null);
    return true;
}

bool JsonTreeBuilder::bool_value(bool value) {
    next_slot(JsonKind::Bool).boolean = value;
    return true;
}

bool JsonTreeBuilder::int_value(std::int64_t value) {
    next_slot(JsonKind::Int).integer = value;
    return true;
}

bool JsonTreeBuilder::big_int_value(std::string_view digits) {
    next_slot(JsonKind::BigInt).text = JsonText::borrowed(digits);
    return true;
}

bool JsonTreeBuilder::float_value(double value) {
    next_slot(JsonKind::Float).number = value;
    return true;
}

bool JsonTreeBuilder::string_value(std::string_view text, JsonTextOrigin origin) {
    next_slot(JsonKind::Str).text = text_of(text, origin);
    return true;
}

bool JsonTreeBuilder::member_key(std::string_view text, JsonTextOrigin origin) {
    pending_key_ = text_of(text, origin);
    return true;
}

bool JsonTreeBuilder::open(JsonKind kind) {
    open_.push_back(&next_slot(kind));
    return true;
}

bool JsonTreeBuilder::close() {
    open_.pop_back();
    return true;
}

bool JsonTreeBuilder::start_array() { return open(JsonKind::Array); }
bool JsonTreeBuilder::end_array() { return close(); }
bool JsonTreeBuilder::start_object() { return open(JsonKind::Object); }
bool JsonTreeBuilder::end_object() { return close(); }

std::optional<JsonError> read_json_value(std::string_view document, JsonSource source, JsonValue& root) {
    JsonTreeBuilder builder(root);
    return read_json(document, source, builder);
}

}  // namespace kestrune::json
