// New Python objects for a parsed JSON tree.
#pragma once

#include "walk/walk_value.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

// The whole subtree as new objects; an object's later duplicate key replaces the
// earlier value and keeps the first position. Null with an exception set on failure.
PyRef convert_json_to_python(const JsonValue& value);

// A new reference to the Python object itself, or the converted JSON node.
PyRef convert_value_to_python(WalkValue value);

}  // namespace kestrune::py
