// Short texts of Python objects, shared by compile errors, error records and the
// schema text. None of them fails: exceptions of user code are absorbed.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune::py {

// At most `limit` characters (Unicode scalar values); a longer text is cut to its
// first `limit` characters followed by "...".
std::string truncate_chars(std::string_view text, std::size_t limit);

inline constexpr std::size_t kValueTextLimit = 80;

// repr() of the object, cut at 80 characters; "<unrepresentable>" when repr raises.
std::string format_repr(PyObject* object);

// The `__name__` of a class when it is a str, whole; otherwise format_repr of it.
std::string format_class_name(PyObject* cls);

// The text in double quotes: \0 \t \n \r \" \\ for those six characters, \u{hex} for
// every non-printable character and every combining extender from U+0300 up, every
// other character (the single quote included) as itself. `text` is UTF-8.
std::string quote_text(std::string_view text);

// UTF-8 form of a str; each lone surrogate becomes three U+FFFD characters.
std::string utf8_text(PyObject* text);

}  // namespace kestrune::py
