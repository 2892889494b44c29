#pragma once

#include <Python.h>

namespace kestrune::py {

// The method table of the Validator type, in its documented order.
PyMethodDef* validator_methods();

}  // namespace kestrune::py
