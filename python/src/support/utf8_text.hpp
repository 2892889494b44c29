// Between str objects and the UTF-8 texts the native code keeps.
#pragma once

#include <Python.h>

#include <optional>
#include <string_view>

#include "support/py_ref.hpp"

namespace kestrune::py {

// The text of a str (or subclass), borrowed from the object; none for any other
// object and for a str holding a lone surrogate (the error is cleared).
inline std::optional<std::string_view> utf8_view(PyObject* object) {
    if (!PyUnicode_Check(object)) return std::nullopt;
    // An ASCII str is its own UTF-8 form.
    if (PyUnicode_IS_ASCII(object)) {
        return std::string_view(static_cast<const char*>(PyUnicode_DATA(object)),
                                static_cast<std::size_t>(PyUnicode_GET_LENGTH(object)));
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(object, &size);
    if (data == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

// A new str of valid UTF-8 `text`; null with an exception set when it cannot be made.
inline PyRef new_str(std::string_view text) {
    return PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

}  // namespace kestrune::py
