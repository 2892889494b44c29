// Method tables store every C function as a PyCFunction; the interpreter calls it
// back with the signature its flags name.
#pragma once

#include <Python.h>

namespace kestrune::py {

template <class Function>
PyCFunction as_method(Function* function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace kestrune::py
