// Reading a document into a JsonValue tree.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "kestrune/json/json_error.hpp"
#include "kestrune/json/json_reader.hpp"
#include "kestrune/json/json_value.hpp"

namespace kestrune::json {

// The sink that builds the tree. Strings without escapes and the digits of big
// integers are borrowed from the document, so the tree must not outlive it.
// Open containers are kept on an explicit stack.
class JsonTreeBuilder {
public:
    explicit JsonTreeBuilder(JsonValue& root) : root_(root) {}

    bool null_value();
    bool bool_value(bool value);
    bool int_value(std::int64_t value);
    bool big_int_value(std::string_view digits);
    bool float_value(double value);
    bool string_value(std::string_view text, JsonTextOrigin origin);
    bool member_key(std::string_view text, JsonTextOrigin origin);
    bool start_array();
    bool end_array();
    bool start_object();
    bool end_object();

private:
    // Where the next value goes: the root, a new element or a new member under the
    // pending key.
    JsonValue& next_slot(JsonKind kind);
    bool open(JsonKind kind);
    bool close();

    JsonValue& root_;
    std::vector<JsonValue*> open_;
    JsonText pending_key_;
};

// Reads `document` into `root`; on a fault `root` holds whatever was built so far.
std::optional<JsonError> read_json_value(std::string_view document, JsonSource source, JsonValue& root);

}  // namespace kestrune::json
