#include "errors/scalar_repr.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "errors/text_helpers.hpp"

namespace kestrune::py {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// What str.__repr__ gives for an ASCII text: single quotes unless the text holds a
// single quote and no double quote; backslash escapes for the quote, the backslash,
// tab, line feed and carriage return; \xhh for the other controls and DEL. Only
// what survives the cut is made.
std::string ascii_str_repr(const char* text, std::size_t length) {
    const bool has_single = std::memchr(text, '\'', length) != nullptr;
    const char quote = has_single && std::memchr(text, '"', length) == nullptr ? '"' : '\'';
    std::string out;
    out.reserve(std::min(length, kValueTextLimit) + 6);
    out += quote;
    for (std::size_t i = 0; i < length && out.size() <= kValueTextLimit; ++i) {
        const char ch = text[i];
        switch (ch) {
            case '\t': out += "\\t"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\\': out += "\\\\"; continue;
            default: break;
        }
        if (ch == quote) {
            out += '\\';
            out += ch;
        } else if (ch < ' ' || ch == 0x7F) {
            out += "\\x";
            out += kHexDigits[(ch >> 4) & 0xF];
            out += kHexDigits[ch & 0xF];
        } else {
            out += ch;
        }
    }
    out += quote;
    // ASCII throughout: characters are bytes.
    if (out.size() > kValueTextLimit) {
        out.resize(kValueTextLimit);
        out += "...";
    }
    return out;
}

}  // namespace

std::optional<std::string> scalar_repr(PyObject* object) {
    if (object == Py_None) return "None";
    if (object == Py_True) return "True";
    if (object == Py_False) return "False";
    PyTypeObject* type = Py_TYPE(object);
    if (type == &PyUnicode_Type) {
        if (!PyUnicode_IS_ASCII(object)) return std::nullopt;
        return ascii_str_repr(static_cast<const char*>(PyUnicode_DATA(object)),
                              static_cast<std::size_t>(PyUnicode_GET_LENGTH(object)));
    }
    if (type == &PyLong_Type) {
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (overflow != 0) return std::nullopt;
        char buffer[24];
        const std::to_chars_result end = std::to_chars(buffer, buffer + sizeof buffer, number);
        return std::string(buffer, end.ptr);
    }
    if (type == &PyFloat_Type) {
        // float.__repr__ itself: the shortest text that reads back, with ".0" added
        // to a whole number.
        char* text = PyOS_double_to_string(PyFloat_AS_DOUBLE(object), 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
        if (text == nullptr) {
            PyErr_Clear();
            return std::nullopt;
        }
        std::string out(text);
        PyMem_Free(text);
        return out;
    }
    return std::nullopt;
}

}  // namespace kestrune::py
