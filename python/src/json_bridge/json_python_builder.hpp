// Reading a JSON document straight into Python objects, with no intermediate tree.
#pragma once

#include <Python.h>

#include <string>
#include <string_view>
#include <variant>

#include "support/py_ref.hpp"

namespace kestrune::py {

// The document's value, or the reader's text for why it could not be read: "{} at
// line {} column {}", the {} being "Internal error: ..." when the interpreter could
// not make an object.
using JsonReadResult = std::variant<PyRef, std::string>;

// `from_str`: the bytes are a str's UTF-8 form (valid already); otherwise they came
// from a bytes object and are checked.
JsonReadResult read_json_to_python(std::string_view document, bool from_str);

}  // namespace kestrune::py
