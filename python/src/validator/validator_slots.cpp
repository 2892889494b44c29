#include "validator/validator_slots.hpp"

#include <cstdint>
#include <optional>
#include <utility>

#include "kestrune/core/siphash.hpp"
#include "kestrune/core/structure.hpp"
#include "validator/combinators.hpp"
#include "support/argument_binding.hpp"
#include "support/entry_point.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

namespace {

// Equality must not raise between validators, so any failure of a constant's
// comparison, fatal or not, is cleared and counts as a difference.
bool any_constant_differs(const ConstantsPool& a, const ConstantsPool& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        PyObject* left = a.at(i);
        PyObject* right = b.at(i);
        if (left == right) continue;
        PyRef result = PyRef::steal(PyObject_RichCompare(left, right, Py_EQ));
        int truth = result ? PyObject_IsTrue(result.get()) : -1;
        if (truth < 0) PyErr_Clear();
        if (truth <= 0) return true;
    }
    return false;
}

// Trees first, so no user __eq__ runs when the structures already differ.
bool validators_equal(const ValidatorValue& a, const ValidatorValue& b) {
    if (!equal_nodes(*a.schema, *b.schema) || a.definitions.size() != b.definitions.size()) return false;
    for (std::size_t i = 0; i < a.definitions.size(); ++i) {
        if (!equal_nodes(*a.definitions[i], *b.definitions[i])) return false;
    }
    return a.constants.size() == b.constants.size() && !any_constant_differs(a.constants, b.constants);
}

PyObject* not_equal(PyObject* self, PyObject* other) {
    PyRef equal = PyRef::steal(PyObject_RichCompare(self, other, Py_EQ));
    if (!equal) return nullptr;
    int truth = PyObject_IsTrue(equal.get());
    if (truth < 0) return nullptr;
    return PyBool_FromLong(!truth);
}

PyObject* union_instance(PyObject* validator, PyObject* other, bool reflected) {
    std::optional<ValidatorValue> value = union_with(validator_value(validator), other, reflected);
    return value ? create_validator(std::move(*value)) : nullptr;
}

}  // namespace

ValidatorValue clone_validator(const ValidatorValue& value) {
    ValidatorValue copy;
    copy.schema = clone_node(*value.schema);
    copy.constants = value.constants.copy();
    copy.definitions = clone_nodes(value.definitions);
    return copy;
}

PyObject* validator_richcompare(PyObject* self, PyObject* other, int op) {
    return guard_object_entry([&]() -> PyObject* {
        switch (op) {
            case Py_LT:
            case Py_LE:
            case Py_GT:
            case Py_GE: Py_RETURN_NOTIMPLEMENTED;
            case Py_EQ:
                // Never NotImplemented: the other operand's __eq__ is not consulted.
                return PyBool_FromLong(is_validator(other) &&
                                       validators_equal(validator_value(self), validator_value(other)));
            case Py_NE: return not_equal(self, other);
            default: throw InvariantFailure("invalid compareop");
        }
    });
}

// Constants are not hashed: equal validators have equal trees, whatever their pools.
Py_hash_t validator_hash(PyObject* self) {
    return guard_entry<Py_hash_t>(-1, [&]() -> Py_hash_t {
        const ValidatorValue& value = validator_value(self);
        SipHash13 hasher(0, 0);
        hash_node(*value.schema, hasher);
        hasher.write_u64(value.definitions.size());
        for (const NodePtr& definition : value.definitions) hash_node(*definition, hasher);
        auto hash = static_cast<Py_hash_t>(hasher.finish());
        return hash == -1 ? -2 : hash;
    });
}

// One slot serves `v | x` and `x | v`; a compile error of the other operand is
// raised rather than turned into NotImplemented.
PyObject* validator_or(PyObject* left, PyObject* right) {
    return guard_object_entry([&]() -> PyObject* {
        if (is_validator(left)) return union_instance(left, right, false);
        if (is_validator(right)) return union_instance(right, left, true);
        Py_RETURN_NOTIMPLEMENTED;
    });
}

PyObject* validator_copy(PyObject* self, PyObject*) {
    return guard_object_entry([&] { return create_validator(clone_validator(validator_value(self))); });
}

PyObject* validator_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        static constexpr const char* kParameters[] = {"_memo"};
        static constexpr Signature kSignature{"Validator.__deepcopy__()", kParameters, 1};
        PyObject* memo = nullptr;
        if (!bind_arguments(kSignature, args, nargs, kwnames, &memo)) return nullptr;
        // Pooled objects are shared even here: the validator is immutable.
        return create_validator(clone_validator(validator_value(self)));
    });
}

}  // namespace kestrune::py
