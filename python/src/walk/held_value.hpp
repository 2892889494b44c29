// The walk's own reference to a value it visits, for as long as Python code run by
// the visit could drop the reference its container holds.
#pragma once

#include <Python.h>

#include <utility>

#include "walk/walk_memo.hpp"
#include "walk/walk_state.hpp"

namespace kestrune::py {

// Dropping the last reference to a value frees it, which runs code of the caller's:
// its finalizer, weakref callbacks, and the same again for whatever it held. To the
// reuse of finished walks that is a Python call like any other, so such a release
// is counted as one. (Garbage collection needs no such care: allocating only
// schedules it, and it runs when bytecode next runs, inside a call already counted.)
// A built-in scalar frees without running any code.
class HeldValue {
public:
    // A new reference to a borrowed object, or an owned one taken over; either may
    // be null.
    static HeldValue borrow(PyObject* object, const WalkState& state) {
        Py_XINCREF(object);
        return HeldValue(object, state.memo_cell);
    }
    static HeldValue steal(PyObject* object, const WalkState& state) { return HeldValue(object, state.memo_cell); }

    HeldValue(HeldValue&& other) noexcept
        : object_(std::exchange(other.object_, nullptr)), memo_cell_(other.memo_cell_) {}
    HeldValue(const HeldValue&) = delete;
    HeldValue& operator=(const HeldValue&) = delete;
    HeldValue& operator=(HeldValue&&) = delete;
    ~HeldValue() {
        if (object_ == nullptr) return;
        if (Py_REFCNT(object_) == 1 && !is_plain_scalar(object_)) {
            if (WalkMemo* memo = memo_cell_.get()) memo->count_freeing_release();
        }
        Py_DECREF(object_);
    }

    PyObject* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    HeldValue(PyObject* object, const MemoCell& memo_cell) : object_(object), memo_cell_(memo_cell) {}

    PyObject* object_;
    const MemoCell& memo_cell_;
};

}  // namespace kestrune::py
