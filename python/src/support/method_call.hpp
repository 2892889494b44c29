// Calling a method of an object by name.
#pragma once

#include <Python.h>

#include "support/py_ref.hpp"

namespace kestrune::py {

// object.name(argument): the object's own method only, so the operator protocol's
// reflected method of `argument` is never tried. Null with the exception set.
inline PyRef call_method(PyObject* object, const char* name, PyObject* argument) {
    PyRef method_name = PyRef::steal(PyUnicode_FromString(name));
    if (!method_name) return {};
    PyObject* arguments[] = {object, argument};
    return PyRef::steal(PyObject_VectorcallMethod(method_name.get(), arguments, 2, nullptr));
}

}  // namespace kestrune::py
