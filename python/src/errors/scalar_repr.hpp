// The value texts of the built-in scalars, made without calling repr: these are the
// values met most often in failures, and their repr runs no code of the caller's.
#pragma once

#include <Python.h>

#include <optional>
#include <string>

namespace kestrune::py {

// repr() of None, a bool, an exact int that fits 64 bits, an exact float or an exact
// ASCII str, cut as format_repr cuts; none for every other object (and when memory
// runs out, with no exception left set).
std::optional<std::string> scalar_repr(PyObject* object);

}  // namespace kestrune::py
