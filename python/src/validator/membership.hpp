// Checking one value against a validator's root.
#pragma once

#include <Python.h>

#include "walk/walk_value.hpp"

namespace kestrune::py {

// 1 member, 0 not, -1 with the fatal exception the walk kept set. `value` is a
// Python object or a parsed document.
int is_member(PyObject* validator, WalkValue value);

// 0 member; -1 with the kept fatal exception or a ValidationError of every recorded
// failure set.
int validate_value(PyObject* validator, PyObject* value, bool fail_fast);

// The method bodies, in the fastcall-with-keywords convention.
PyObject* validator_validate(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* validator_is_valid(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* validator_ensure(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace kestrune::py
