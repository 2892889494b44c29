// Binding of positional and keyword arguments, with the same messages for every
// callable of the module.
#pragma once

#include <Python.h>

#include <initializer_list>
#include <span>

namespace kestrune::py {

struct Signature {
    // As it appears in messages: "Validator.validate()" or "union()".
    const char* callable;
    // Parameters that may be given positionally (or by keyword), in order.
    std::span<const char* const> positional;
    // How many of the positional parameters are required (the first ones).
    std::size_t required;
    // Parameters given only by keyword; all optional.
    std::span<const char* const> keyword_only = {};
};

// Fills `slots` (positional parameters first, then keyword-only ones) with borrowed
// references, leaving null for what was not given. Returns false with a TypeError
// set when the arguments do not fit. The vectorcall form:
bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots);
// The tuple-and-dict form (constructors).
bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** slots);

// Refuses every keyword argument (callables that collect all positionals).
bool reject_keywords(const char* callable, PyObject* kwnames);

// TypeError "'<qualified type name>' object is not an instance of '<expected>'", or
// "'None' is not an instance of '<expected>'" for None.
void raise_not_instance(PyObject* value, const char* expected);

// The flag conversion: exactly True or False, or numpy's bool; otherwise a TypeError
// that gains the note "while processing '<name>'". An absent flag is false.
bool convert_flag(PyObject* value, const char* name, bool* out);

}  // namespace kestrune::py
