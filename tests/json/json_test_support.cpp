#include "json_test_support.hpp"

#include <charconv>

#include "kestrune/json/json_document.hpp"

namespace kestrune::json::testing {

std::string read_outcome(std::string_view document, JsonSource source) {
    JsonDocument tree;
    const auto error = tree.read(document, source);
    return error ? format_json_error(document, *error) : "ok";
}

namespace {

void describe_into(const JsonValue& value, std::string& out) {
    switch (value.kind()) {
        case JsonKind::Null: out += "null"; return;
        case JsonKind::Bool: out += value.boolean() ? "true" : "false"; return;
        case JsonKind::Int: out += std::to_string(value.integer()); return;
        case JsonKind::BigInt: out += "big:"; out += value.text(); return;
        case JsonKind::Float: {
            char buffer[64];
            const auto written = std::to_chars(buffer, buffer + sizeof buffer, value.number());
            out.append(buffer, written.ptr);
            return;
        }
        case JsonKind::Str: out += '"'; out += value.text(); out += '"'; return;
        case JsonKind::Array: {
            out += '[';
            for (std::size_t i = 0; i < value.items().size(); ++i) {
                if (i != 0) out += ',';
                describe_into(value.items()[i], out);
            }
            out += ']';
            return;
        }
        case JsonKind::Object: {
            out += '{';
            for (std::size_t i = 0; i < value.members().size(); ++i) {
                if (i != 0) out += ',';
                out += '"';
                out += value.members()[i].key.text();
                out += "\":";
                describe_into(value.members()[i].value, out);
            }
            out += '}';
            return;
        }
    }
}

}  // namespace

std::string describe(const JsonValue& value) {
    std::string out;
    describe_into(value, out);
    return out;
}

std::string read_and_describe(std::string_view document, JsonSource source) {
    JsonDocument tree;
    const auto error = tree.read(document, source);
    return error ? format_json_error(document, *error) : describe(tree.root());
}

}  // namespace kestrune::json::testing
