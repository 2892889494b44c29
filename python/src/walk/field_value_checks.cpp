#include "walk/field_value_checks.hpp"

#include "walk/held_value.hpp"

namespace kestrune::py {

FieldTest field_test(const SchemaNode& schema) {
    using Way = FieldTest::Way;
    if (const std::optional<std::uint32_t> kinds = type_test_kinds(schema)) {
        return {Way::Types, false, *kinds, exact_type_admitted(*kinds)};
    }
    if (const std::optional<TypeTests> items = type_tested_items(schema)) {
        return {Way::Items, schema.sequence_kind == SequenceKind::List, items->kinds(),
                exact_type_admitted(items->kinds())};
    }
    return {};
}

bool FieldValueChecks::is_walked_member(const SchemaNode& schema, PyObject* value) {
    const HeldValue held = HeldValue::borrow(value, state_);
    if (is_matched_directly(schema, state_)) return match_dict_record(schema, held.get(), state_);
    if (!walks_) walks_.emplace(state_);
    // A nested class is visited as walk_node would, after the same stack check.
    if (schema.kind == NodeKind::Object && !is_native_stack_below(state_.stack_floor)) {
        return walk_object(schema, WalkValue::python(held.get()), walks_->path, walks_->state, walks_->errors);
    }
    return walk_node(schema, WalkValue::python(held.get()), walks_->path, walks_->state, walks_->errors);
}

}  // namespace kestrune::py
