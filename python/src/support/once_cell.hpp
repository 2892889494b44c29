// A process-wide cell filled once.
//
// The fast path is one acquire load. A thread that finds the cell empty takes a
// PyMutex, which detaches from the interpreter while it waits, so no thread ever
// waits for another one's initialisation while holding the interpreter. A failed
// initialisation leaves the cell empty and the next caller tries again.
#pragma once

#include <Python.h>

#include <atomic>

namespace kestrune::py {

template <class T>
class OnceCell {
public:
    // `init` returns a new T* (ownership passes to the cell, which keeps it for the
    // rest of the process) or null with a Python exception set.
    template <class Init>
    T* get_or_init(Init&& init) {
        if (T* value = value_.load(std::memory_order_acquire)) return value;
        PyMutex_Lock(&mutex_);
        T* value = value_.load(std::memory_order_acquire);
        if (value == nullptr) {
            value = init();
            if (value != nullptr) value_.store(value, std::memory_order_release);
        }
        PyMutex_Unlock(&mutex_);
        return value;
    }

    T* peek() const { return value_.load(std::memory_order_acquire); }

private:
    mutable std::atomic<T*> value_{nullptr};
    mutable PyMutex mutex_{};
};

}  // namespace kestrune::py

namespace kestrune::py {

// A per-object cell built once and destroyed with its owner. Waiting for another
// thread's build detaches from the interpreter (PyMutex), so `build` must not call
// Python code. Movable only before it is built (owners move it while constructing).
template <class T>
class OnceBox {
public:
    OnceBox() = default;
    OnceBox(OnceBox&& other) noexcept : value_(other.value_.exchange(nullptr)) {}
    OnceBox& operator=(OnceBox&&) = delete;
    ~OnceBox() { delete value_.load(std::memory_order_acquire); }

    template <class Build>
    const T& get_or_build(Build&& build) const {
        if (const T* value = value_.load(std::memory_order_acquire)) return *value;
        PyMutex_Lock(&mutex_);
        struct Unlock {
            PyMutex* mutex;
            ~Unlock() { PyMutex_Unlock(mutex); }
        } unlock{&mutex_};
        T* value = value_.load(std::memory_order_acquire);
        if (value == nullptr) {
            value = new T(build());
            value_.store(value, std::memory_order_release);
        }
        return *value;
    }

private:
    mutable std::atomic<T*> value_{nullptr};
    mutable PyMutex mutex_{};
};

}  // namespace kestrune::py
