// Parameterised typing forms (list[T], dict[K, V], tuples, unions, Literal, ...)
// and list literals.
#include <string>
#include <utility>

#include "compiler/compile_annotation.hpp"
#include "compiler/compile_forms.hpp"
#include "compiler/typing_names.hpp"
#include "errors/text_helpers.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

namespace {

constexpr std::string_view kTupleEllipsis = "`...` may appear only as the last element of a tuple schema";
constexpr std::string_view kListEllipsis = "`...` may appear only as the last element of a list schema";

PyObject* builtin(PyTypeObject& type) { return reinterpret_cast<PyObject*>(&type); }

// A failure to load the names only means `obj` is not recognised as `...`; the
// compilation of `obj` that follows reports the failure itself.
bool is_ellipsis(PyObject* obj) {
    const TypingNames* names = typing_names();
    if (names == nullptr) {
        PyErr_Clear();
        return false;
    }
    return obj == names->ellipsis.get();
}

PyRef expect_one_type_argument(PyObject* args) {
    if (PyTuple_GET_SIZE(args) != 1) {
        make_schema_error("expected exactly one type argument");
        return PyRef();
    }
    return PyRef::borrow(PyTuple_GET_ITEM(args, 0));
}

NodePtr compile_one_argument(PyObject* args, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    PyRef argument = expect_one_type_argument(args);
    return argument ? compile_annotation(argument.get(), pool, definitions) : nullptr;
}

// Concat[Item(x1), ..., Item(xk)]: a fixed prefix is a Concat even with 0 or 1 items.
SequenceShape make_fixed_shape(std::vector<NodePtr> nodes) {
    std::vector<SequenceShape> parts;
    parts.reserve(nodes.size() + 1);
    for (NodePtr& node : nodes) parts.push_back(SequenceShape::of_item(std::move(node)));
    return SequenceShape::concat(std::move(parts));
}

// Concat[Item(p1), ..., Item(pk), Repeat(Item(repeated))], for k >= 1.
SequenceShape make_variadic_shape(std::vector<NodePtr> prefix, NodePtr repeated) {
    SequenceShape shape = make_fixed_shape(std::move(prefix));
    shape.parts.push_back(make_repeat(std::move(repeated)));
    return shape;
}

// The items of a tuple form or list literal, compiled in order. `fetch(i)` gives
// element i afresh each time (a list may shrink while earlier elements compile);
// each element is tested for `...` before it is compiled, so the first bad element
// decides the error and nothing after it is compiled.
template <class Fetch>
bool compile_items(Py_ssize_t count, Fetch&& fetch, std::string_view ellipsis_error, ConstantsPool& pool,
                   std::vector<NodePtr>& definitions, std::vector<NodePtr>& nodes) {
    nodes.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyRef element = fetch(i);
        if (!element) return false;
        if (is_ellipsis(element.get())) {
            make_schema_error(ellipsis_error);
            return false;
        }
        NodePtr node = compile_annotation(element.get(), pool, definitions);
        if (!node) return false;
        nodes.push_back(std::move(node));
    }
    return true;
}

// A trailing `...` repeats the item before it: alone it is Repeat(Item(A)), after a
// prefix the last part of the Concat.
SequenceShape shape_of_items(std::vector<NodePtr> nodes, bool variadic) {
    if (!variadic) return make_fixed_shape(std::move(nodes));
    NodePtr repeated = std::move(nodes.back());
    nodes.pop_back();
    if (nodes.empty()) return make_repeat(std::move(repeated));
    return make_variadic_shape(std::move(nodes), std::move(repeated));
}

NodePtr compile_tuple_form(PyObject* args, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    Py_ssize_t count = PyTuple_GET_SIZE(args);
    bool variadic = count >= 2 && is_ellipsis(PyTuple_GET_ITEM(args, count - 1));
    auto fetch = [args](Py_ssize_t i) { return PyRef::borrow(PyTuple_GET_ITEM(args, i)); };
    std::vector<NodePtr> nodes;
    if (!compile_items(variadic ? count - 1 : count, fetch, kTupleEllipsis, pool, definitions, nodes)) {
        return nullptr;
    }
    return make_sequence(SequenceKind::Tuple, shape_of_items(std::move(nodes), variadic));
}

NodePtr compile_union_members(PyObject* args, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    std::vector<NodePtr> members;
    members.reserve(static_cast<std::size_t>(PyTuple_GET_SIZE(args)));
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(args); ++i) {
        NodePtr member = compile_annotation(PyTuple_GET_ITEM(args, i), pool, definitions);
        if (!member) return nullptr;
        members.push_back(std::move(member));
    }
    return make_union(std::move(members));
}

// Whether `origin` is the typing attribute `name`; a failing fetch only
// means the form is not this one.
bool is_typing_attribute(PyObject* typing, const char* name, PyObject* origin) {
    PyRef attribute = PyRef::steal(PyObject_GetAttrString(typing, name));
    if (!attribute) {
        PyErr_Clear();
        return false;
    }
    return attribute.get() == origin;
}

}  // namespace

NodePtr compile_typing_form(PyObject* origin, PyObject* args, ConstantsPool& pool,
                            std::vector<NodePtr>& definitions) {
    if (origin == builtin(PyList_Type)) {
        NodePtr item = compile_one_argument(args, pool, definitions);
        return item ? make_sequence(SequenceKind::List, make_repeat(std::move(item))) : nullptr;
    }
    if (origin == builtin(PySet_Type)) {
        NodePtr element = compile_one_argument(args, pool, definitions);
        return element ? make_set(std::move(element)) : nullptr;
    }
    if (origin == builtin(PyFrozenSet_Type)) {
        NodePtr element = compile_one_argument(args, pool, definitions);
        return element ? make_frozen_set(std::move(element)) : nullptr;
    }
    if (origin == builtin(PyDict_Type)) {
        if (PyTuple_GET_SIZE(args) != 2) return make_schema_error("dict[...] needs a key type and a value type");
        NodePtr key = compile_annotation(PyTuple_GET_ITEM(args, 0), pool, definitions);
        if (!key) return nullptr;
        NodePtr value = compile_annotation(PyTuple_GET_ITEM(args, 1), pool, definitions);
        return value ? make_mapping(std::move(key), std::move(value)) : nullptr;
    }
    if (origin == builtin(PyTuple_Type)) return compile_tuple_form(args, pool, definitions);

    PyRef typing = import_module("typing");
    if (!typing) return nullptr;
    // The markers are dropped here; whether the key is required is the record's call.
    if (is_typing_attribute(typing.get(), "Required", origin) ||
        is_typing_attribute(typing.get(), "NotRequired", origin)) {
        return compile_one_argument(args, pool, definitions);
    }

    const TypingNames* names = typing_names();
    if (names == nullptr) return nullptr;
    if (origin == names->union_.get() || origin == names->union_type.get()) {
        return compile_union_members(args, pool, definitions);
    }
    if (origin == names->literal.get()) {
        if (PyTuple_GET_SIZE(args) == 1) return compile_annotation(PyTuple_GET_ITEM(args, 0), pool, definitions);
        return compile_union_members(args, pool, definitions);
    }
    if (origin == names->callable.get()) return make_instance(pool.intern(origin));
    return make_schema_error("unsupported typing form with origin " + format_repr(origin) +
                             "; supported: list, set, dict, tuple, Union, Optional, Literal, Callable");
}

NodePtr compile_list_literal(PyObject* list, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    Py_ssize_t count = PyList_GET_SIZE(list);
    auto fetch = [list](Py_ssize_t i) { return PyRef::steal(PyList_GetItemRef(list, i)); };
    bool variadic = false;
    if (count >= 2) {
        PyRef last = fetch(count - 1);
        if (!last) return nullptr;
        variadic = is_ellipsis(last.get());
    }
    std::vector<NodePtr> nodes;
    if (!compile_items(variadic ? count - 1 : count, fetch, kListEllipsis, pool, definitions, nodes)) {
        return nullptr;
    }
    // [T] is any number of T, unlike the one-item tuple[T].
    if (count == 1) return make_sequence(SequenceKind::List, make_repeat(std::move(nodes.front())));
    return make_sequence(SequenceKind::List, shape_of_items(std::move(nodes), variadic));
}

}  // namespace kestrune::py
