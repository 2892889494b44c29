// Checking JSON documents given as str or bytes: load, validate_json, is_valid_json.
#pragma once

#include <Python.h>

namespace kestrune::py {

// The method bodies, in the fastcall-with-keywords convention.
PyObject* validator_load(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* validator_validate_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* validator_is_valid_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace kestrune::py
