// The value a node visit looks at: a Python object or a node of a parsed JSON
// document. Borrowed either way.
#pragma once

#include <Python.h>

#include <cstdint>

#include "kestrune/json/json_value.hpp"

namespace kestrune::py {

using json::JsonValue;

class WalkValue {
public:
    static WalkValue python(PyObject* object) { return WalkValue(object, nullptr); }
    static WalkValue of_json(const JsonValue& node) { return WalkValue(nullptr, &node); }

    bool is_json() const { return json_ != nullptr; }
    PyObject* object() const { return object_; }
    const JsonValue* json() const { return json_; }
    // What the recursion guard tells values apart by.
    std::uint64_t identity() const {
        return json_ ? reinterpret_cast<std::uintptr_t>(json_) : reinterpret_cast<std::uintptr_t>(object_);
    }

private:
    WalkValue(PyObject* object, const JsonValue* json) : object_(object), json_(json) {}
    PyObject* object_;
    const JsonValue* json_;
};

}  // namespace kestrune::py
