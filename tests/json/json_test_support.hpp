// Reading documents in tests and writing the results down as short texts that a
// table of cases can compare against.
#pragma once

#include <string>
#include <string_view>

#include "kestrune/json/json_reader.hpp"
#include "kestrune/json/json_value.hpp"

namespace kestrune::json::testing {

// The error message for `document`, or "ok" when it reads.
std::string read_outcome(std::string_view document, JsonSource source = JsonSource::Bytes);

// A compact text of a tree: null true 5 big:12345678901234567890 1.5 (shortest
// round-trip form) "text" [a,b] {"k":v}; strings are shown as their raw bytes.
std::string describe(const JsonValue& value);

// The description of the tree read from `document`, or its error message.
std::string read_and_describe(std::string_view document, JsonSource source = JsonSource::Bytes);

}  // namespace kestrune::json::testing
