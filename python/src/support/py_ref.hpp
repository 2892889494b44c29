// Owned Python references.
//
// Every strong reference the module keeps lives in a PyRef; a raw PyObject* always
// means borrowed. No reference is ever released while the thread is detached from
// the interpreter (every release happens inside an entry point, attached), which is
// why the module needs no queue of deferred releases.
#pragma once

#include <Python.h>

#include <utility>

namespace kestrune::py {

class PyRef {
public:
    PyRef() noexcept = default;
    // Takes over a new reference (may be null).
    static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
    // Takes a new reference to a borrowed object (may be null).
    static PyRef borrow(PyObject* object) noexcept {
        Py_XINCREF(object);
        return PyRef(object);
    }

    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            PyObject* old = std::exchange(object_, std::exchange(other.object_, nullptr));
            Py_XDECREF(old);
        }
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    // Hands the reference to the caller (for returning to the interpreter).
    PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    PyRef copy() const noexcept { return borrow(object_); }

private:
    explicit PyRef(PyObject* object) noexcept : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace kestrune::py
