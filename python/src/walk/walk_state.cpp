#include "walk/walk_state.hpp"

namespace kestrune::py {

bool is_fatal_exception(PyObject* exception) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(exception));
    return !PyErr_GivenExceptionMatches(type, PyExc_Exception) ||
           PyErr_GivenExceptionMatches(type, PyExc_MemoryError) ||
           PyErr_GivenExceptionMatches(type, PyExc_RecursionError);
}

void store_fatal_error(PyRef exception, FatalSlot& fatal) {
    if (!fatal.exception) fatal.exception = std::move(exception);
    fatal.stop = true;
}

bool absorb_call_error(int outcome, FatalSlot& fatal) {
    if (outcome >= 0) return outcome == 1;
    PyRef exception = PyRef::steal(PyErr_GetRaisedException());
    if (exception && is_fatal_exception(exception.get())) store_fatal_error(std::move(exception), fatal);
    return false;
}

void end_check_with_current_error(FatalSlot& fatal) {
    store_fatal_error(PyRef::steal(PyErr_GetRaisedException()), fatal);
}

}  // namespace kestrune::py
