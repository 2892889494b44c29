// Iteration over a dict's own storage that stays sound when the visitor runs user
// code which changes the dict.
#pragma once

#include <Python.h>

#include "support/py_ref.hpp"

namespace kestrune::py {

// Calls `visit(key, value)` (both borrowed for the call, but kept alive by this
// loop even if the visitor removes the entry) for each entry in storage order.
// Before each further entry the size is compared with the size at the start; a
// change, or more entries than there were at the start, ends the loop with the
// RuntimeError the interpreter's own dict iterator raises. Returns false with an
// exception set when the loop or the visitor fails.
template <class Visit>
bool for_each_dict_entry(PyObject* dict, Visit&& visit) {
    const Py_ssize_t size = PyDict_GET_SIZE(dict);
    Py_ssize_t position = 0;
    Py_ssize_t taken = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    for (;;) {
        if (PyDict_GET_SIZE(dict) != size) {
            PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
            return false;
        }
        if (!PyDict_Next(dict, &position, &key, &value)) return true;
        if (++taken > size) {
            PyErr_SetString(PyExc_RuntimeError, "dictionary keys changed during iteration");
            return false;
        }
        PyRef held_key = PyRef::borrow(key);
        PyRef held_value = PyRef::borrow(value);
        if (!visit(held_key.get(), held_value.get())) return false;
    }
}

}  // namespace kestrune::py
