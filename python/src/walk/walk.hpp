// The validation walk: whether a value is a member of a node's set and, when
// collecting, every independent reason why it is not.
#pragma once

#include <span>

#include "walk/walk_state.hpp"
#include "walk/walk_value.hpp"
#include "errors/error_record.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune::py {

// Every kind but the atoms (walk.cpp).
bool walk_composite_node(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                         ErrorList& errors);

// Type tests on the object's type alone: no Python code runs for atoms.
inline bool is_atom_member(NodeKind kind, WalkValue value) {
    if (value.is_json()) {
        const json::JsonKind json_kind = value.json()->kind();
        switch (kind) {
            case NodeKind::NoneType: return json_kind == json::JsonKind::Null;
            case NodeKind::Bool: return json_kind == json::JsonKind::Bool;
            case NodeKind::Int:
                return json_kind == json::JsonKind::Bool || json_kind == json::JsonKind::Int ||
                       json_kind == json::JsonKind::BigInt;
            case NodeKind::Float: return json_kind == json::JsonKind::Float;
            case NodeKind::Str: return json_kind == json::JsonKind::Str;
            default: return false;
        }
    }
    PyObject* object = value.object();
    switch (kind) {
        case NodeKind::NoneType: return object == Py_None;
        case NodeKind::Bool: return Py_IS_TYPE(object, &PyBool_Type);
        case NodeKind::Int: return PyLong_Check(object);
        case NodeKind::Float: return PyFloat_Check(object);
        case NodeKind::Str: return PyUnicode_Check(object);
        case NodeKind::Bytes: return PyBytes_Check(object);
        default: return false;
    }
}

// Anything, Any, Nothing and the atoms: answered from the value's type alone.
inline bool is_type_test_kind(NodeKind kind) { return kind <= NodeKind::Bytes; }

inline bool passes_type_test(NodeKind kind, WalkValue value) {
    return kind <= NodeKind::Any || is_atom_member(kind, value);
}

// Whether a failure met here gets a record whose path is `path_length` segments
// long and whose value text shows `shown`: only when collecting, and not when
// measuring, where the record is only counted.
bool wants_record_slow(const WalkState& state, std::size_t path_length, const WalkValue* shown);
inline bool wants_record(const WalkState& state, std::size_t path_length, WalkValue shown) {
    if (!state.collect) return false;
    return state.memo() == nullptr || wants_record_slow(state, path_length, &shown);
}
// The same for a record that shows no value of the walk.
inline bool wants_record(const WalkState& state, std::size_t path_length) {
    if (!state.collect) return false;
    return state.memo() == nullptr || wants_record_slow(state, path_length, nullptr);
}

// The node's kind record (walk.cpp).
void push_kind_record(const SchemaNode& node, WalkValue value, const ErrorPath& path, const WalkState& state,
                      ErrorList& errors);

// Appends the node's kind record when `verdict` is false and collecting.
inline bool push_kind_error(bool verdict, const SchemaNode& node, WalkValue value, const ErrorPath& path,
                            const WalkState& state, ErrorList& errors) {
    if (!verdict && state.collect) push_kind_record(node, value, path, state, errors);
    return verdict;
}

// One node visit. `path` is the same on return as on entry; records are appended to
// `errors` only when `state.collect` is set. Never raises: interpreter exceptions
// become verdicts, fatal ones are kept in `state.fatal`. Atoms, the kinds met most
// often, are answered here without a call.
inline bool walk_node(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                      ErrorList& errors) {
    if (state.fatal.stop) return false;
    if (!is_type_test_kind(node.kind)) return walk_composite_node(node, value, path, state, errors);
    return push_kind_error(passes_type_test(node.kind, value), node, value, path, state, errors);
}

// A sub-walk that only asks membership: fresh, empty path and records (which
// allocate nothing), collect off, fail_fast on, the call's guard and slot shared.
bool walk_member_of(const SchemaNode& node, WalkValue value, const WalkState& state);

// The same answer; type tests, which record nothing, need no sub-walk.
inline bool is_member_of(const SchemaNode& node, WalkValue value, const WalkState& state) {
    if (is_type_test_kind(node.kind)) return !state.fatal.stop && passes_type_test(node.kind, value);
    return walk_member_of(node, value, state);
}

// Object classes, by their attributes (walk.cpp).
bool walk_object(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                 ErrorList& errors);

// Sequences, sets and frozensets (walk_containers.cpp).
bool walk_sequence(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                   ErrorList& errors);
bool walk_set(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
              ErrorList& errors);

// Records and mappings (record_matching.cpp).
bool walk_dict(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
               ErrorList& errors);
// Whether the Python value is a member of the record or mapping, answering only:
// no records are made, whatever the state.
bool match_dict_record(const SchemaNode& node, PyObject* value, const WalkState& state);

}  // namespace kestrune::py
