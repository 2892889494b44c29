#include "walk/field_value_checks.hpp"

#include <algorithm>
#include <span>

namespace kestrune::py {

bool FieldValueChecks::is_composite_member(const SchemaNode& schema, PyObject* value) {
    // As walk_sequence answers it: the kind, then the items in the storage, which
    // type tests cannot change.
    if (const std::optional<TypeTests> items = type_tested_items(schema)) {
        const bool is_list = schema.sequence_kind == SequenceKind::List;
        if (!(is_list ? PyList_Check(value) : PyTuple_Check(value))) return false;
        if (items->admits_everything()) return true;
        const std::span<PyObject* const> stored(PySequence_Fast_ITEMS(value), static_cast<std::size_t>(Py_SIZE(value)));
        return std::all_of(stored.begin(), stored.end(), [&](PyObject* item) { return (*items)(item); });
    }
    const PyRef held = PyRef::borrow(value);
    if (is_matched_directly(schema, state_)) return match_dict_record(schema, held.get(), state_);
    if (!walks_) walks_.emplace(state_);
    return walk_node(schema, WalkValue::python(held.get()), walks_->path, walks_->state, walks_->errors);
}

}  // namespace kestrune::py
