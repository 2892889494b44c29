#include "errors/validation_error.hpp"

#include "support/entry_point.hpp"
#include "support/once_cell.hpp"

namespace kestrune::py {

namespace {

OnceCell<PyObject> error_type;

}  // namespace

PyObject* validation_error_type() {
    return error_type.get_or_init([]() -> PyObject* {
        PyObject* type = PyErr_NewExceptionWithDoc(
            "_kestrune.ValidationError", "Raised when a value is not a member of a schema's set.",
            PyExc_Exception, nullptr);
        if (type == nullptr) {
            PyErr_Clear();
            raise_invariant_failure("Failed to initialize new exception type.");
        }
        return type;
    });
}

}  // namespace kestrune::py
