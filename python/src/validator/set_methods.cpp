#include "validator/set_methods.hpp"

#include <optional>

#include "compiler/compile_annotation.hpp"
#include "kestrune/core/emptiness.hpp"
#include "kestrune/core/set_open.hpp"
#include "kestrune/core/simplify.hpp"
#include "kestrune/core/structure.hpp"
#include "kestrune/core/subtype.hpp"
#include "validator/pool_oracle.hpp"
#include "validator/validator.hpp"
#include "support/argument_binding.hpp"
#include "support/entry_point.hpp"

namespace kestrune::py {

namespace {

// The validator's pool and definitions with `other` compiled into copies of them, so
// that every index of the validator's root keeps its meaning and a constant shared
// with `other` keeps one index.
struct ComparisonFrame {
    ConstantsPool constants;
    std::vector<NodePtr> definitions;
    NodePtr other;
};

std::optional<ComparisonFrame> compile_against(const ValidatorValue& validator, PyObject* other) {
    ComparisonFrame frame{validator.constants.copy(), clone_nodes(validator.definitions), nullptr};
    frame.other = compile_annotation(other, frame.constants, frame.definitions);
    if (!frame.other) return std::nullopt;
    return frame;
}

// Binds `other`; null with the binding's or the compiler's exception set.
std::optional<ComparisonFrame> bind_other(const char* callable, PyObject* self, PyObject* const* args,
                                          Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr const char* kParameters[] = {"other"};
    const Signature signature{callable, kParameters, 1};
    PyObject* other = nullptr;
    if (!bind_arguments(signature, args, nargs, kwnames, &other)) return std::nullopt;
    return compile_against(validator_value(self), other);
}

// A new validator over a rewritten root; the pool is shared and the definitions copied.
PyObject* derive_validator(const ValidatorValue& source, NodePtr schema) {
    ValidatorValue value;
    value.schema = std::move(schema);
    value.constants = source.constants.copy();
    value.definitions = clone_nodes(source.definitions);
    return create_validator(std::move(value));
}

PyObject* copy_with_openness(PyObject* self, bool open) {
    const ValidatorValue& value = validator_value(self);
    return derive_validator(value, set_open(*value.schema, open));
}

}  // namespace

PyObject* validator_is_empty(PyObject* self, PyObject*) {
    return guard_object_entry([&]() -> PyObject* {
        const ValidatorValue& value = validator_value(self);
        PoolOracle oracle(value.constants, value.definitions);
        WorkBudget budget;
        DefinitionTrail trail;
        return PyBool_FromLong(decide_empty(*value.schema, oracle, value.definitions, trail, budget).empty);
    });
}

PyObject* validator_is_subtype_of(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        std::optional<ComparisonFrame> frame = bind_other("Validator.is_subtype_of()", self, args, nargs, kwnames);
        if (!frame) return nullptr;
        PoolOracle oracle(frame->constants, frame->definitions);
        WorkBudget budget;
        const DecisionContext context{oracle, frame->definitions, budget};
        AssumptionList assumptions;
        return PyBool_FromLong(decide_subtype(*validator_value(self).schema, *frame->other, context, assumptions));
    });
}

PyObject* validator_is_equivalent(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        std::optional<ComparisonFrame> frame = bind_other("Validator.is_equivalent()", self, args, nargs, kwnames);
        if (!frame) return nullptr;
        const SchemaNode& schema = *validator_value(self).schema;
        PoolOracle oracle(frame->constants, frame->definitions);
        WorkBudget budget;  // one budget for both directions
        const DecisionContext context{oracle, frame->definitions, budget};
        AssumptionList forward;
        if (!decide_subtype(schema, *frame->other, context, forward)) Py_RETURN_FALSE;
        AssumptionList backward;
        return PyBool_FromLong(decide_subtype(*frame->other, schema, context, backward));
    });
}

PyObject* validator_simplify(PyObject* self, PyObject*) {
    return guard_object_entry([&]() -> PyObject* {
        const ValidatorValue& value = validator_value(self);
        return derive_validator(value, simplify_node(*value.schema));
    });
}

PyObject* validator_open(PyObject* self, PyObject*) {
    return guard_object_entry([&] { return copy_with_openness(self, true); });
}

PyObject* validator_close(PyObject* self, PyObject*) {
    return guard_object_entry([&] { return copy_with_openness(self, false); });
}

}  // namespace kestrune::py
