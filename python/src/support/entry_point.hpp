// The frame every interpreter-facing function runs in.
//
// C++ exceptions never unwind into the interpreter: an internal invariant failure is
// raised as `kestrune._kestrune.InternalError` (derived from BaseException, so that
// `except Exception` does not swallow a broken invariant), and an allocation failure
// as MemoryError.
#pragma once

#include <Python.h>

#include <new>
#include <stdexcept>
#include <string>

namespace kestrune::py {

// Thrown for a condition the code treats as impossible.
class InvariantFailure : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Sets the interpreter's current exception for an invariant failure.
void raise_invariant_failure(const char* message);

// Runs `body`; on a C++ exception sets the matching Python exception and returns
// `failure`. `body` itself reports ordinary failures CPython's way (its own failure
// value with the exception set).
template <class Result, class Body>
Result guard_entry(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (const InvariantFailure& error) {
        raise_invariant_failure(error.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        raise_invariant_failure(error.what());
    }
    return failure;
}

template <class Body>
PyObject* guard_object_entry(Body&& body) noexcept {
    return guard_entry<PyObject*>(nullptr, std::forward<Body>(body));
}

template <class Body>
int guard_int_entry(Body&& body) noexcept {
    return guard_entry<int>(-1, std::forward<Body>(body));
}

}  // namespace kestrune::py
