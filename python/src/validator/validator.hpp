// The Validator type and the value every instance carries.
#pragma once

#include <Python.h>

#include <vector>

#include "compiler/constants_pool.hpp"
#include "walk/precompute.hpp"
#include "kestrune/core/schema_node.hpp"
#include "support/once_cell.hpp"

namespace kestrune::py {

// Immutable after construction, apart from `precompute` being built once.
struct ValidatorValue {
    NodePtr schema;
    ConstantsPool constants;
    std::vector<NodePtr> definitions;
    OnceBox<Precompute> precompute;
};

struct ValidatorObject {
    PyObject_HEAD
    ValidatorValue value;
};

// The process-wide type object, created on first use; null with an exception set
// when it cannot be created.
PyTypeObject* validator_type();

inline bool is_validator(PyObject* object) {
    PyTypeObject* type = validator_type();
    return type != nullptr && PyObject_TypeCheck(object, type);
}

inline const ValidatorValue& validator_value(PyObject* validator) {
    return reinterpret_cast<ValidatorObject*>(validator)->value;
}

// A new instance holding `value`; on failure `value` is destroyed and null returned.
PyObject* create_validator(ValidatorValue value);

// A validator of a bare node, with no constants and no definitions.
PyObject* validator_from_node(NodePtr node);

}  // namespace kestrune::py
