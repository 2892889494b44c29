#include "support/entry_point.hpp"

#include "support/once_cell.hpp"

namespace kestrune::py {

namespace {

OnceCell<PyObject> internal_error_type;

PyObject* create_internal_error_type() {
    return PyErr_NewExceptionWithDoc(
        "kestrune._kestrune.InternalError",
        "Raised when kestrune detects a broken internal invariant; this is a bug in kestrune.",
        PyExc_BaseException, nullptr);
}

}  // namespace

void raise_invariant_failure(const char* message) {
    PyObject* type = internal_error_type.get_or_init(create_internal_error_type);
    if (type == nullptr) return;  // the creation failure is the exception now
    PyErr_SetString(type, message);
}

}  // namespace kestrune::py
