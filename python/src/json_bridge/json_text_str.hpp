// str objects for the texts of parsed JSON documents.
#pragma once

#include <Python.h>

#include <string_view>

#include "support/py_ref.hpp"

namespace kestrune::py {

// A new str of `text`, which must be valid UTF-8 without surrogates (as every text
// the JSON reader hands out is). One pass finds the widest character and the
// length, a second decodes straight into the new object: no checking decoder and no
// widening half-way. Null with an exception set under memory exhaustion.
PyRef new_str_of_json_text(std::string_view text);

}  // namespace kestrune::py
