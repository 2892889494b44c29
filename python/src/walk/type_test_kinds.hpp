// Schemas that type tests alone answer (an atom, or a union of atoms such as
// int | None), as a mask of the kinds they admit: checking a value against one
// runs no Python code, so a loop over a container's storage needs no references.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "walk/walk.hpp"

namespace kestrune::py {

constexpr std::uint32_t kind_bit(NodeKind kind) { return std::uint32_t{1} << static_cast<unsigned>(kind); }

// The type-test kinds a schema admits, one bit each, when type tests alone answer
// it: a type-test kind, or a union of them. None otherwise.
inline std::optional<std::uint32_t> type_test_kinds(const SchemaNode& schema) {
    if (is_type_test_kind(schema.kind)) return kind_bit(schema.kind);
    if (schema.kind != NodeKind::Union) return std::nullopt;
    std::uint32_t kinds = 0;
    for (const NodePtr& member : schema.members) {
        if (!is_type_test_kind(member->kind)) return std::nullopt;
        kinds |= kind_bit(member->kind);
    }
    return kinds;
}

inline bool kind_mask_admits_everything(std::uint32_t kinds) {
    return (kinds & (kind_bit(NodeKind::Anything) | kind_bit(NodeKind::Any))) != 0;
}

// One exact type whose instances pass the tests in `kinds` (the first admitted atom's
// own type), for a test that accepts most values by one comparison; null when no
// atom is admitted.
inline const PyTypeObject* exact_type_admitted(std::uint32_t kinds) {
    if ((kinds & kind_bit(NodeKind::Int)) != 0) return &PyLong_Type;
    if ((kinds & kind_bit(NodeKind::Str)) != 0) return &PyUnicode_Type;
    if ((kinds & kind_bit(NodeKind::Float)) != 0) return &PyFloat_Type;
    if ((kinds & kind_bit(NodeKind::Bool)) != 0) return &PyBool_Type;
    if ((kinds & kind_bit(NodeKind::Bytes)) != 0) return &PyBytes_Type;
    if ((kinds & kind_bit(NodeKind::NoneType)) != 0) return Py_TYPE(Py_None);
    return nullptr;
}

// The type-test kinds a JSON value passes, by its kind (as is_atom_member answers).
inline std::uint32_t json_kind_passes(json::JsonKind kind) {
    switch (kind) {
        case json::JsonKind::Null: return kind_bit(NodeKind::NoneType);
        case json::JsonKind::Bool: return kind_bit(NodeKind::Bool) | kind_bit(NodeKind::Int);
        case json::JsonKind::Int:
        case json::JsonKind::BigInt: return kind_bit(NodeKind::Int);
        case json::JsonKind::Float: return kind_bit(NodeKind::Float);
        case json::JsonKind::Str: return kind_bit(NodeKind::Str);
        case json::JsonKind::Array:
        case json::JsonKind::Object: break;
    }
    return 0;
}

// Whether the value passes one of the type tests in `kinds`. JSON values and the
// exact types of the atoms answer from their kind or type alone (a bool passes Bool
// and Int); anything else, subclasses included, takes the tests one by one.
inline bool passes_some_type_test(std::uint32_t kinds, WalkValue value) {
    if (kind_mask_admits_everything(kinds)) return true;
    if (value.is_json()) return (json_kind_passes(value.json()->kind()) & kinds) != 0;
    const PyTypeObject* type = Py_TYPE(value.object());
    std::uint32_t passed = 0;
    if (type == &PyLong_Type) {
        passed = kind_bit(NodeKind::Int);
    } else if (type == &PyFloat_Type) {
        passed = kind_bit(NodeKind::Float);
    } else if (type == &PyUnicode_Type) {
        passed = kind_bit(NodeKind::Str);
    } else if (type == &PyBool_Type) {
        passed = kind_bit(NodeKind::Bool) | kind_bit(NodeKind::Int);
    } else if (value.object() == Py_None) {
        passed = kind_bit(NodeKind::NoneType);
    }
    if (passed != 0) return (passed & kinds) != 0;
    for (auto kind = NodeKind::NoneType; kind <= NodeKind::Bytes; kind = NodeKind(static_cast<unsigned>(kind) + 1)) {
        if ((kinds & kind_bit(kind)) != 0 && is_atom_member(kind, value)) return true;
    }
    return false;
}

// The type tests of one schema, answering most values by one comparison with the
// exact type they usually have.
class TypeTests {
public:
    explicit TypeTests(std::uint32_t kinds) : kinds_(kinds), exact_(exact_type_admitted(kinds)) {}
    // `exact` being exact_type_admitted(kinds), settled beforehand.
    TypeTests(std::uint32_t kinds, const PyTypeObject* exact) : kinds_(kinds), exact_(exact) {}

    bool admits_everything() const { return kind_mask_admits_everything(kinds_); }
    std::uint32_t kinds() const { return kinds_; }

    bool operator()(WalkValue value) const {
        if (!value.is_json() && Py_TYPE(value.object()) == exact_) return true;
        return passes_some_type_test(kinds_, value);
    }
    bool operator()(PyObject* object) const { return (*this)(WalkValue::python(object)); }

private:
    std::uint32_t kinds_;
    const PyTypeObject* exact_;
};

// Whether every item of a JSON array passes `tests`: an item passes by its kind alone.
inline bool json_items_pass(const TypeTests& tests, std::span<const json::JsonValue> items) {
    if (tests.admits_everything()) return true;
    for (const json::JsonValue& item : items) {
        if ((json_kind_passes(item.kind()) & tests.kinds()) == 0) return false;
    }
    return true;
}

// The item tests of a list or tuple schema that only repeats one item whose
// schema type tests answer (list[int], tuple[str | None, ...]); none for any other
// node.
inline std::optional<TypeTests> type_tested_items(const SchemaNode& node) {
    if (node.kind != NodeKind::Sequence) return std::nullopt;
    const std::optional<SimpleShape> shape = simple_shape(*node.shape);
    if (!shape || !shape->prefix.empty() || shape->rest == nullptr) return std::nullopt;
    const std::optional<std::uint32_t> kinds = type_test_kinds(*shape->rest);
    if (!kinds) return std::nullopt;
    return TypeTests(*kinds);
}

// Whether a value is a list (or a tuple) whose items all pass `items`, as
// walk_sequence answers it: the kind, then the items in the storage, which type tests
// cannot change. No Python code runs.
inline bool sequence_items_pass(bool list, const TypeTests& items, PyObject* value) {
    if (!(list ? PyList_Check(value) : PyTuple_Check(value))) return false;
    if (items.admits_everything()) return true;
    const std::span<PyObject* const> stored(PySequence_Fast_ITEMS(value), static_cast<std::size_t>(Py_SIZE(value)));
    return std::all_of(stored.begin(), stored.end(), [&](PyObject* item) { return items(item); });
}

// sequence_items_pass for a list or tuple schema of type-tested items; none for
// other schemas.
inline std::optional<bool> type_tested_sequence_passes(const SchemaNode& schema, PyObject* value) {
    const std::optional<TypeTests> items = type_tested_items(schema);
    if (!items) return std::nullopt;
    return sequence_items_pass(schema.sequence_kind == SequenceKind::List, *items, value);
}

}  // namespace kestrune::py
