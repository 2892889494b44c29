#include "json_bridge/json_to_python.hpp"

#include <string>

#include "json_bridge/json_text_str.hpp"
#include "support/entry_point.hpp"

namespace kestrune::py {

namespace {

// Creating a scalar fails only when memory is exhausted.
PyRef created(PyObject* object) {
    if (object == nullptr) throw InvariantFailure("could not create a Python object for a JSON value");
    return PyRef::steal(object);
}

}  // namespace

PyRef convert_json_to_python(const JsonValue& value) {
    switch (value.kind()) {
        case json::JsonKind::Null: return PyRef::borrow(Py_None);
        case json::JsonKind::Bool: return PyRef::borrow(value.boolean() ? Py_True : Py_False);
        case json::JsonKind::Int: return created(PyLong_FromLongLong(value.integer()));
        case json::JsonKind::BigInt: {
            std::string digits(value.text());
            return PyRef::steal(PyLong_FromString(digits.c_str(), nullptr, 10));
        }
        case json::JsonKind::Float: return created(PyFloat_FromDouble(value.number()));
        case json::JsonKind::Str: return new_str_of_json_text(value.text());
        case json::JsonKind::Array: {
            PyRef list = created(PyList_New(0));
            for (const JsonValue& item : value.items()) {
                PyRef converted = convert_json_to_python(item);
                if (!converted || PyList_Append(list.get(), converted.get()) < 0) return {};
            }
            return list;
        }
        case json::JsonKind::Object: {
            PyRef dict = created(PyDict_New());
            for (const json::JsonMember& member : value.members()) {
                PyRef converted = convert_json_to_python(member.value);
                if (!converted) return {};
                PyRef key = new_str_of_json_text(member.key.text());
                if (!key || PyDict_SetItem(dict.get(), key.get(), converted.get()) < 0) return {};
            }
            return dict;
        }
    }
    throw InvariantFailure("invalid JSON value kind");
}

PyRef convert_value_to_python(WalkValue value) {
    if (value.is_json()) return convert_json_to_python(*value.json());
    return PyRef::borrow(value.object());
}

}  // namespace kestrune::py
