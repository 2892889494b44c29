// The Python objects a compiled schema refers to by index.
#pragma once

#include <Python.h>

#include <cstdint>
#include <vector>

#include "support/py_ref.hpp"

namespace kestrune::py {

// Entries are only appended; each distinct object (by identity) is present once,
// and equal but distinct objects occupy separate entries.
class ConstantsPool {
public:
    std::size_t size() const { return objects_.size(); }
    bool contains_index(std::uint64_t index) const { return index < objects_.size(); }
    PyObject* at(std::uint64_t index) const { return objects_[index].get(); }

    // The index of `object`, appending a new strong reference when it is not pooled
    // yet. Pools hold the handful of objects a schema names, so a scan suffices.
    std::uint64_t intern(PyObject* object) {
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            if (objects_[i].get() == object) return i;
        }
        objects_.push_back(PyRef::borrow(object));
        return objects_.size() - 1;
    }

    // The same objects with new references (pools are shared, never deep-copied).
    ConstantsPool copy() const {
        ConstantsPool result;
        result.objects_.reserve(objects_.size());
        for (const PyRef& object : objects_) result.objects_.push_back(object.copy());
        return result;
    }

    void clear() { objects_.clear(); }

private:
    std::vector<PyRef> objects_;
};

}  // namespace kestrune::py
