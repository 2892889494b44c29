// The methods that decide questions about a validator's set or derive a new set:
// is_empty, is_subtype_of, is_equivalent, simplify, open and close.
#pragma once

#include <Python.h>

namespace kestrune::py {

PyObject* validator_is_empty(PyObject* self, PyObject* unused);
PyObject* validator_is_subtype_of(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* validator_is_equivalent(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* validator_simplify(PyObject* self, PyObject* unused);
PyObject* validator_open(PyObject* self, PyObject* unused);
PyObject* validator_close(PyObject* self, PyObject* unused);

}  // namespace kestrune::py
