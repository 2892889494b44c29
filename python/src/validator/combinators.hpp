// Validators built from other schemas: union, intersection, complement, recursive,
// and the union behind `|`. Each adds exactly one node on top of what it compiled
// and never simplifies.
#pragma once

#include <Python.h>

#include <optional>

#include "validator/validator.hpp"

namespace kestrune::py {

// The module functions, in the order the module adds them; null-terminated.
PyMethodDef* combinator_functions();

// The two-member union of `validator`'s root and `other` compiled into copies of its
// pool and definitions; [other, root] when `reflected`. None with the compiler's
// exception set on failure.
std::optional<ValidatorValue> union_with(const ValidatorValue& validator, PyObject* other, bool reflected);

}  // namespace kestrune::py
