// Answering checks of a record's field values, one after another, for the matchers
// of dicts and of object classes.
#pragma once

#include <Python.h>

#include <optional>

#include "walk/type_test_kinds.hpp"
#include "walk/walk.hpp"
#include "kestrune/core/native_stack.hpp"

namespace kestrune::py {

// A nested record's visit, when answering, is the matcher alone, which makes no
// records in any state; a stack running low is left to walk_node to report.
inline bool is_matched_directly(const SchemaNode& schema, const WalkState& state) {
    return schema.kind == NodeKind::Dict && !is_native_stack_below(state.stack_floor);
}

// Membership of field values. Type tests (an atom or a union of atoms) answer
// inline and run no Python code, as do lists and tuples of them; nested records go
// to the matcher directly. Other schemas are walked as answering walks that share
// one state and scratch path and records (which such walks leave as they found
// them), made at the first of them, instead of a sub-walk each. A value may be
// borrowed from its container: the checks hold their own reference where Python
// code may run.
class FieldValueChecks {
public:
    explicit FieldValueChecks(const WalkState& state) : state_(state) {}

    bool is_member_of(const SchemaNode& schema, PyObject* value) {
        if (state_.fatal.stop) return false;
        if (is_type_test_kind(schema.kind)) return passes_type_test(schema.kind, WalkValue::python(value));
        if (const std::optional<std::uint32_t> kinds = type_test_kinds(schema)) {
            return passes_some_type_test(*kinds, WalkValue::python(value));
        }
        return is_composite_member(schema, value);
    }

private:
    struct AnsweringWalks {
        explicit AnsweringWalks(const WalkState& outer) : state(outer.answering()) {}
        const WalkState state;
        ErrorPath path;
        ErrorList errors;
    };

    [[gnu::noinline]] bool is_composite_member(const SchemaNode& schema, PyObject* value);

    const WalkState& state_;
    std::optional<AnsweringWalks> walks_;
};

}  // namespace kestrune::py
