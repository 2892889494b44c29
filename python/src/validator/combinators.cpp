#include "validator/combinators.hpp"

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "compiler/compile_annotation.hpp"
#include "kestrune/core/recursion_binding.hpp"
#include "validator/validator_slots.hpp"
#include "support/argument_binding.hpp"
#include "support/entry_point.hpp"
#include "support/method_cast.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

namespace {

// Ids only need to be distinct between calls; nothing is ordered by them.
std::atomic<std::uint64_t> placeholder_counter{0};

constexpr const char kNotContractive[] =
    "recursive schema is not contractive: the recursive reference must occur under a structural constructor "
    "(a list, tuple, set, dict, record, or object)";

// Compiles every argument into one shared pool; the first failure ends it.
std::optional<std::vector<NodePtr>> compile_members(PyObject* const* args, Py_ssize_t nargs, ValidatorValue& value) {
    std::vector<NodePtr> members;
    members.reserve(static_cast<std::size_t>(nargs));
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        NodePtr member = compile_annotation(args[i], value.constants, value.definitions);
        if (!member) return std::nullopt;
        members.push_back(std::move(member));
    }
    return members;
}

template <NodePtr (*Make)(std::vector<NodePtr>)>
PyObject* combine_all(const char* callable, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        if (!reject_keywords(callable, kwnames)) return nullptr;
        ValidatorValue value;
        std::optional<std::vector<NodePtr>> members = compile_members(args, nargs, value);
        if (!members) return nullptr;
        value.schema = Make(std::move(*members));
        return create_validator(std::move(value));
    });
}

PyObject* union_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return combine_all<make_union>("union()", args, nargs, kwnames);
}

PyObject* intersection_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return combine_all<make_intersection>("intersection()", args, nargs, kwnames);
}

PyObject* complement_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        static constexpr const char* kParameters[] = {"schema"};
        static constexpr Signature kSignature{"complement()", kParameters, 1};
        PyObject* schema = nullptr;
        if (!bind_arguments(kSignature, args, nargs, kwnames, &schema)) return nullptr;
        ValidatorValue value;
        NodePtr child = compile_annotation(schema, value.constants, value.definitions);
        if (!child) return nullptr;
        value.schema = make_complement(std::move(child));
        return create_validator(std::move(value));
    });
}

// The builder's result, called with a fresh placeholder validator; the placeholder
// reference held here is dropped as soon as the call returns.
PyRef call_builder(PyObject* builder, std::uint64_t id) {
    PyRef placeholder = PyRef::steal(validator_from_node(make_placeholder(id)));
    if (!placeholder) return {};
    return PyRef::steal(PyObject_CallOneArg(builder, placeholder.get()));
}

PyObject* recursive_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        static constexpr const char* kParameters[] = {"builder"};
        static constexpr Signature kSignature{"recursive()", kParameters, 1};
        PyObject* builder = nullptr;
        if (!bind_arguments(kSignature, args, nargs, kwnames, &builder)) return nullptr;
        const std::uint64_t id = placeholder_counter.fetch_add(1, std::memory_order_relaxed);
        PyRef result = call_builder(builder, id);
        if (!result) return nullptr;
        ValidatorValue value;
        NodePtr body = compile_annotation(result.get(), value.constants, value.definitions);
        if (!body) return nullptr;
        // The body becomes the definition after those its embedded validators brought.
        const std::uint64_t target = value.definitions.size();
        NodePtr bound = substitute_placeholder(*body, id, target);
        body.reset();
        if (occurs_unguarded(*bound, target, false)) {
            PyErr_SetString(PyExc_ValueError, kNotContractive);
            return nullptr;
        }
        value.definitions.push_back(std::move(bound));
        value.schema = make_back_edge(target);
        result = PyRef();
        return create_validator(std::move(value));
    });
}

constexpr int kFunctionFlags = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

}  // namespace

PyMethodDef* combinator_functions() {
    static PyMethodDef functions[] = {
        {"union", as_method(union_function), kFunctionFlags,
         "union(*schemas)\n--\n\nThe union of the given schemas: a value in at least one of their sets."},
        {"intersection", as_method(intersection_function), kFunctionFlags,
         "intersection(*schemas)\n--\n\n"
         "The intersection of the given schemas: a value in every one of their sets."},
        {"complement", as_method(complement_function), kFunctionFlags,
         "complement(schema)\n--\n\nThe complement of a schema: every value not in its set."},
        {"recursive", as_method(recursive_function), kFunctionFlags,
         "recursive(builder)\n--\n\n"
         "A recursive schema, built as a fixpoint and tested for contractiveness.\n\n"
         "builder receives a placeholder validator standing for the schema being defined\n"
         "and returns its body. The placeholder's self-reference is resolved to a back\n"
         "edge, and a non-contractive body (one whose recursive reference is not under a\n"
         "structural constructor) is rejected."},
        {nullptr, nullptr, 0, nullptr},
    };
    return functions;
}

std::optional<ValidatorValue> union_with(const ValidatorValue& validator, PyObject* other, bool reflected) {
    // `other` is interned after the validator's own constants and its definitions
    // appended after the validator's, so the copied root keeps every index.
    ValidatorValue value = clone_validator(validator);
    NodePtr node = compile_annotation(other, value.constants, value.definitions);
    if (!node) return std::nullopt;
    std::vector<NodePtr> members;
    members.push_back(std::move(value.schema));
    members.push_back(std::move(node));
    if (reflected) std::swap(members[0], members[1]);
    value.schema = make_union(std::move(members));
    return value;
}

}  // namespace kestrune::py
