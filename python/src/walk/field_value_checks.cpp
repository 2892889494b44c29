#include "walk/field_value_checks.hpp"

namespace kestrune::py {

bool FieldValueChecks::is_composite_member(const SchemaNode& schema, PyObject* value) {
    if (const std::optional<bool> passes = type_tested_sequence_passes(schema, value)) return *passes;
    const PyRef held = PyRef::borrow(value);
    if (is_matched_directly(schema, state_)) return match_dict_record(schema, held.get(), state_);
    if (!walks_) walks_.emplace(state_);
    return walk_node(schema, WalkValue::python(held.get()), walks_->path, walks_->state, walks_->errors);
}

}  // namespace kestrune::py
