// Between str objects and the UTF-8 texts the native code keeps.
#pragma once

#include <Python.h>

#include <cstdint>
#include <cstring>
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

inline bool is_ascii(std::string_view text) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::uint64_t seen = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        seen |= word;
    }
    for (; i < text.size(); ++i) seen |= static_cast<unsigned char>(text[i]);
    return (seen & kHighBits) == 0;
}

// A new str of valid UTF-8 `text`; null with an exception set when it cannot be made.
// ASCII text, the usual case for error texts and names, is copied in without going
// through the decoder (which also hands out the shared strs of one character).
inline PyRef new_str(std::string_view text) {
    const auto size = static_cast<Py_ssize_t>(text.size());
    if (size <= 1 || !is_ascii(text)) return PyRef::steal(PyUnicode_FromStringAndSize(text.data(), size));
    PyObject* str = PyUnicode_New(size, 127);
    if (str != nullptr) std::memcpy(PyUnicode_DATA(str), text.data(), text.size());
    return PyRef::steal(str);
}

}  // namespace kestrune::py
