// Turning recorded failures into one ValidationError.
#pragma once

#include <string_view>

#include "errors/error_record.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

// The exception object presenting every record (its attributes describe the first);
// null with the exception that stopped its construction set.
PyRef make_validation_error(const ErrorList& records);

// One "json_invalid" failure at the root whose value is the reader's text, cut.
PyRef make_json_invalid_error(std::string_view reader_text);

}  // namespace kestrune::py
