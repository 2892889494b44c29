// The typing, builtins, types, enum, collections.abc and re objects that annotations
// are compared against, loaded once per process.
#pragma once

#include <Python.h>

#include "support/py_ref.hpp"

namespace kestrune::py {

struct TypingNames {
    PyRef any;
    PyRef union_;
    PyRef optional;
    PyRef union_type;
    PyRef literal;
    PyRef object;
    PyRef enum_;
    PyRef callable;
    PyRef ellipsis;
    PyRef never;            // absent when it cannot be fetched
    PyRef no_return;        // absent when it cannot be fetched
    PyRef type_alias_type;  // absent when it cannot be fetched
    PyRef re_pattern;       // re.Pattern; absent when it cannot be fetched
};

// The complete record, loading it on first use; null with the loading's exception
// set when it fails (the next call tries again).
const TypingNames* typing_names();

}  // namespace kestrune::py
