// Answering checks of a record's field values, one after another, for the matchers
// of dicts and of object classes.
#pragma once

#include <Python.h>

#include <optional>

#include "walk/field_test.hpp"
#include "walk/type_test_kinds.hpp"
#include "walk/walk.hpp"
#include "kestrune/core/native_stack.hpp"

namespace kestrune::py {

// A nested record's visit, when answering, is the matcher alone, which makes no
// records in any state; a stack running low is left to walk_node to report.
inline bool is_matched_directly(const SchemaNode& schema, const WalkState& state) {
    return schema.kind == NodeKind::Dict && !is_native_stack_below(state.stack_floor);
}

// How FieldValueChecks answers the schema's values.
FieldTest field_test(const SchemaNode& schema);

// Membership of field values. Type tests (an atom or a union of atoms) answer
// inline and run no Python code, as do lists and tuples of them; nested records and
// object classes go to their matchers directly. Other schemas are walked as
// answering walks that share one state and scratch path and records (which such
// walks leave as they found them), made at the first of them, instead of a sub-walk
// each. A value may be borrowed from its container: the checks hold their own
// reference where Python code may run.
class FieldValueChecks {
public:
    explicit FieldValueChecks(const WalkState& state) : state_(state) {}

    // A field's value, by its settled test where `tests` (by position) holds them,
    // else by the test worked out now.
    bool is_field_member(const FieldTest* tests, std::size_t position, const SchemaNode& schema, PyObject* value) {
        return is_member_of(tests != nullptr ? tests[position] : field_test(schema), schema, value);
    }

private:
    struct AnsweringWalks {
        explicit AnsweringWalks(const WalkState& outer) : state(outer.answering()) {}
        const WalkState state;
        ErrorPath path;
        ErrorList errors;
    };

    // is_member_of(schema, value), answered the way `test` (field_test(schema)) says.
    bool is_member_of(const FieldTest& test, const SchemaNode& schema, PyObject* value) {
        if (state_.fatal.stop) return false;
        switch (test.way) {
            case FieldTest::Way::Types: return TypeTests(test.kinds, test.exact)(value);
            case FieldTest::Way::Items: return sequence_items_pass(test.list, TypeTests(test.kinds, test.exact), value);
            case FieldTest::Way::Other: break;
        }
        return is_walked_member(schema, value);
    }

    // Every schema but type tests and their lists and tuples.
    [[gnu::noinline]] bool is_walked_member(const SchemaNode& schema, PyObject* value);

    const WalkState& state_;
    std::optional<AnsweringWalks> walks_;
};

}  // namespace kestrune::py
