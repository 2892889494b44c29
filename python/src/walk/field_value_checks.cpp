#include "walk/field_value_checks.hpp"

namespace kestrune::py {

bool FieldValueChecks::is_composite_member(const SchemaNode& schema, PyObject* value) {
    if (const std::optional<bool> passes = type_tested_sequence_passes(schema, value)) return *passes;
    const PyRef held = PyRef::borrow(value);
    if (is_matched_directly(schema, state_)) return match_dict_record(schema, held.get(), state_);
    if (!walks_) walks_.emplace(state_);
    // A nested class is visited as walk_node would, after the same stack check.
    if (schema.kind == NodeKind::Object && !is_native_stack_below(state_.stack_floor)) {
        return walk_object(schema, WalkValue::python(held.get()), walks_->path, walks_->state, walks_->errors);
    }
    return walk_node(schema, WalkValue::python(held.get()), walks_->path, walks_->state, walks_->errors);
}

}  // namespace kestrune::py
