// The Validator as a value: equality, hash, `|` and copies.
#pragma once

#include <Python.h>

#include "validator/validator.hpp"

namespace kestrune::py {

// The same trees, with new references to the same pooled objects.
ValidatorValue clone_validator(const ValidatorValue& value);

PyObject* validator_richcompare(PyObject* self, PyObject* other, int op);
Py_hash_t validator_hash(PyObject* self);
PyObject* validator_or(PyObject* left, PyObject* right);

PyObject* validator_copy(PyObject* self, PyObject* unused);
PyObject* validator_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace kestrune::py
