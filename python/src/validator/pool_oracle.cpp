#include "validator/pool_oracle.hpp"

#include "compiler/compile_annotation.hpp"
#include "walk/walk.hpp"
#include "kestrune/core/native_stack.hpp"
#include "support/method_call.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

namespace {

// ==, then <, then >: the first that holds decides. A raising comparison or truth
// test, or none holding (NaN), is undecided.
ConstantOrder order_of(PyObject* a, PyObject* b) {
    static constexpr struct {
        int op;
        ConstantOrder order;
    } kTests[] = {{Py_EQ, ConstantOrder::Equal}, {Py_LT, ConstantOrder::Less}, {Py_GT, ConstantOrder::Greater}};
    for (const auto& test : kTests) {
        PyRef result = PyRef::steal(PyObject_RichCompare(a, b, test.op));
        const int truth = result ? PyObject_IsTrue(result.get()) : -1;
        if (truth < 0) {
            PyErr_Clear();
            return ConstantOrder::Undecided;
        }
        if (truth == 1) return test.order;
    }
    return ConstantOrder::Undecided;
}

// method(object, 1) by name: __add__ or __sub__ of the rounded bound.
PyRef shift_by_one(PyRef object, const char* method) {
    if (!object) return object;
    PyRef one = PyRef::steal(PyLong_FromLong(1));
    if (!one) return {};
    return call_method(object.get(), method, one.get());
}

PyRef call_one(PyObject* function, PyObject* argument) { return PyRef::steal(PyObject_CallOneArg(function, argument)); }

// A decision on a tree deeper than this thread's stack continues on a fresh thread
// that has no thread state; questions asked from there cannot run Python code and
// stay undecided, which proves nothing and so is always sound. The question is put
// to this thread alone: PyGILState_Check() answers yes everywhere once a
// sub-interpreter has existed.
bool is_attached() { return PyThreadState_GetUnchecked() != nullptr; }

}  // namespace

LeafAnswer PoolOracle::is_leaf_subtype(const SchemaNode& lhs, const SchemaNode& rhs) {
    if (!is_attached()) return LeafAnswer::Undecided;
    if (lhs.kind == NodeKind::Instance) {
        if (rhs.kind != NodeKind::Instance || !constants_.contains_index(lhs.index) ||
            !constants_.contains_index(rhs.index)) {
            return LeafAnswer::Undecided;
        }
        PyObject* cls = constants_.at(lhs.index);
        if (!PyType_Check(cls)) return LeafAnswer::No;
        const int outcome = PyObject_IsSubclass(cls, constants_.at(rhs.index));
        if (outcome < 0) PyErr_Clear();
        return outcome == 1 ? LeafAnswer::Yes : LeafAnswer::No;
    }
    if (lhs.kind == NodeKind::Literal && constants_.contains_index(lhs.index)) {
        // The constant is judged by the walk itself, with empty tables (patterns are
        // compiled on the spot).
        const Precompute no_tables;
        RecursionGuard guard;
        FatalSlot fatal;
        MemoCell no_memo(fatal, guard, false, false);
        const WalkState state{constants_, definitions_, no_tables, guard, fatal, no_memo, false, false, false,
                              native_stack_floor()};
        ErrorPath path;
        ErrorList errors;
        const bool member = walk_node(rhs, WalkValue::python(constants_.at(lhs.index)), path, state, errors);
        return member ? LeafAnswer::Yes : LeafAnswer::No;
    }
    return LeafAnswer::Undecided;
}

ConstantOrder PoolOracle::compare_constants(std::uint64_t a, std::uint64_t b) {
    if (!is_attached()) return ConstantOrder::Undecided;
    if (!constants_.contains_index(a) || !constants_.contains_index(b)) return ConstantOrder::Undecided;
    return order_of(constants_.at(a), constants_.at(b));
}

LeafAnswer PoolOracle::is_int_range_empty(std::uint64_t lower, bool lower_strict, std::uint64_t upper,
                                          bool upper_strict) {
    if (!is_attached()) return LeafAnswer::Undecided;
    PyRef math = import_module("math");
    if (!math || !constants_.contains_index(lower) || !constants_.contains_index(upper)) {
        PyErr_Clear();
        return LeafAnswer::Undecided;
    }
    PyRef floor = PyRef::steal(PyObject_GetAttrString(math.get(), "floor"));
    PyRef ceil = floor ? PyRef::steal(PyObject_GetAttrString(math.get(), "ceil")) : PyRef();
    if (!ceil) {
        PyErr_Clear();
        return LeafAnswer::Undecided;
    }
    // The smallest and the largest admitted integer, the lower worked out first.
    PyRef smallest = lower_strict ? shift_by_one(call_one(floor.get(), constants_.at(lower)), "__add__")
                                  : call_one(ceil.get(), constants_.at(lower));
    PyRef largest;
    if (smallest) {
        largest = upper_strict ? shift_by_one(call_one(ceil.get(), constants_.at(upper)), "__sub__")
                               : call_one(floor.get(), constants_.at(upper));
    }
    if (!largest) {
        PyErr_Clear();
        return LeafAnswer::Undecided;
    }
    switch (order_of(smallest.get(), largest.get())) {
        case ConstantOrder::Greater: return LeafAnswer::Yes;
        case ConstantOrder::Equal:
        case ConstantOrder::Less: return LeafAnswer::No;
        case ConstantOrder::Undecided: break;
    }
    return LeafAnswer::Undecided;
}

}  // namespace kestrune::py
