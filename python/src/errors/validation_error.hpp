#pragma once

#include <Python.h>

namespace kestrune::py {

// The process-wide `ValidationError` type (borrowed), created on first use; null
// with an exception set when it cannot be created.
PyObject* validation_error_type();

}  // namespace kestrune::py
