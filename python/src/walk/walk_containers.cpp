// Sequences, sets and frozensets.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "walk/field_value_checks.hpp"
#include "walk/held_value.hpp"
#include "walk/type_test_kinds.hpp"
#include "walk/walk.hpp"
#include "support/entry_point.hpp"

namespace kestrune::py {

namespace {

void push_length_error(std::string_view code, std::string_view kind_text, std::size_t prefix_length, bool has_rest,
                       WalkValue value, const ErrorPath& path, const WalkState& state, ErrorList& errors) {
    if (!wants_record(state, path.size(), value)) return;
    std::string expected = std::string(kind_text) + (has_rest ? " of length at least " : " of length ") +
                           std::to_string(prefix_length);
    errors.push_back(make_error_record(code, expected, value, path));
}

// The schema of item `index`; the length rule has already made sure there is one.
const SchemaNode& item_schema(const SimpleShape& shape, std::uint64_t index) {
    const SchemaNode* schema = index < shape.prefix.size() ? shape.prefix[index] : shape.rest;
    if (schema == nullptr) throw InvariantFailure("length already checked");
    return *schema;
}

// While collecting, the items' visits share one path segment, pushed once for the
// whole sequence and moved along: an item that passes costs no path bookkeeping.
class ItemSegment {
public:
    explicit ItemSegment(ErrorPath& path) : path_(path) { path_.push_back(PathSegment::index(0)); }
    ~ItemSegment() { path_.pop_back(); }
    ItemSegment(const ItemSegment&) = delete;
    ItemSegment& operator=(const ItemSegment&) = delete;

    // Deeper visits push and pop their own segments, so the last one is ours again.
    void move_to(std::uint64_t index) { std::get<std::uint64_t>(path_.back().step) = index; }

private:
    ErrorPath& path_;
};

// The items of a list, tuple or JSON array, read by index. A list that Python code
// shortens during the walk is not read past its current end, and items it gains are
// not visited.
class SequenceItems {
public:
    SequenceItems(WalkValue value, const WalkState& state) : value_(value), state_(state) {
        if (value.is_json()) {
            length_ = value.json()->items().size();
        } else {
            length_ = static_cast<std::size_t>(Py_SIZE(value.object()));
        }
    }
    std::size_t length() const { return length_; }

    // Calls `visit(i, element)` for each item while it answers true (or always, in
    // aggregate mode); the answer is whether every visited item was accepted.
    template <class Visit>
    bool visit_all(bool aggregate, Visit&& visit) const {
        bool member = true;
        for (std::size_t i = 0; i < length_; ++i) {
            bool accepted;
            if (value_.is_json()) {
                accepted = visit(i, WalkValue::of_json(value_.json()->items()[i]));
            } else if (PyList_Check(value_.object())) {
                PyObject* list = value_.object();
                if (i >= static_cast<std::size_t>(PyList_GET_SIZE(list))) break;
                const HeldValue element = HeldValue::borrow(PyList_GET_ITEM(list, i), state_);
                accepted = visit(i, WalkValue::python(element.get()));
            } else {
                // A tuple's items live as long as the tuple, which the caller holds.
                accepted = visit(i, WalkValue::python(PyTuple_GET_ITEM(value_.object(), i)));
            }
            member = member && accepted;
            if (!member && !aggregate) return false;
        }
        return member;
    }

private:
    WalkValue value_;
    const WalkState& state_;
    std::size_t length_;
};

// The items of a list or tuple that may be read now, at most `length`: Python code
// (a repr made for a record) may shorten a list or move its storage.
std::span<PyObject* const> current_items(PyObject* sequence, std::size_t length) {
    const auto size = static_cast<std::size_t>(Py_SIZE(sequence));
    return {PySequence_Fast_ITEMS(sequence), std::min(length, size)};
}

// The position of the first item from `start` on that fails `test`; none when every
// item does pass.
template <class Test>
std::optional<std::size_t> find_failing_item(WalkValue sequence, std::size_t length, std::size_t start,
                                             Test&& test) {
    if (sequence.is_json()) {
        const std::span<const JsonValue> items = sequence.json()->items();
        for (std::size_t i = start; i < items.size(); ++i) {
            if (!test(WalkValue::of_json(items[i]))) return i;
        }
        return std::nullopt;
    }
    const std::span<PyObject* const> items = current_items(sequence.object(), length);
    for (std::size_t i = start; i < items.size(); ++i) {
        if (!test(WalkValue::python(items[i]))) return i;
    }
    return std::nullopt;
}

template <class Test>
bool all_items_pass(WalkValue sequence, std::size_t length, Test&& test) {
    return !find_failing_item(sequence, length, 0, test);
}

// list[atom], tuple[int | None, ...] and the like: a tight loop over the storage.
// Type tests run no Python code, so the items cannot change under it and need no
// references of their own.
bool items_pass_type_tests(const TypeTests& tests, WalkValue sequence, std::size_t length) {
    if (sequence.is_json()) return json_items_pass(tests, sequence.json()->items());
    if (tests.admits_everything()) return true;
    return all_items_pass(sequence, length, tests);
}

// Collecting over items that type tests answer: the items that pass are not visited
// again (the tests run no Python code, so nothing is skipped that would have run),
// and each failing one is walked to make its records.
bool record_failing_items(const TypeTests& passes, const SchemaNode& schema, WalkValue sequence, std::size_t length,
                          ErrorPath& path, const WalkState& state, ErrorList& errors) {
    ItemSegment segment(path);
    bool member = true;
    for (std::optional<std::size_t> failing = find_failing_item(sequence, length, 0, passes); failing;
         failing = find_failing_item(sequence, length, *failing + 1, passes)) {
        const std::size_t i = *failing;
        segment.move_to(i);
        member = false;
        if (sequence.is_json()) {
            walk_node(schema, WalkValue::of_json(sequence.json()->items()[i]), path, state, errors);
        } else {
            // The record's repr may run Python code that drops the item from the list.
            const HeldValue item = HeldValue::borrow(PySequence_Fast_ITEMS(sequence.object())[i], state);
            walk_node(schema, WalkValue::python(item.get()), path, state, errors);
        }
        if (!state.aggregate()) break;
    }
    return member;
}

// As walk_node walks it; a record goes to walk_dict directly, after the same checks.
bool walk_item(const SchemaNode& schema, WalkValue item, ErrorPath& path, const WalkState& state, ErrorList& errors) {
    if (!state.fatal.stop && is_matched_directly(schema, state)) return walk_dict(schema, item, path, state, errors);
    return walk_node(schema, item, path, state, errors);
}

bool is_sequence_kind(SequenceKind kind, WalkValue value) {
    if (value.is_json()) return kind == SequenceKind::List && value.json()->kind() == json::JsonKind::Array;
    return kind == SequenceKind::List ? PyList_Check(value.object()) : PyTuple_Check(value.object());
}

}  // namespace

bool walk_sequence(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                   ErrorList& errors) {
    const std::optional<SimpleShape> shape = simple_shape(*node.shape);
    if (!shape) return false;
    if (!push_kind_error(is_sequence_kind(node.sequence_kind, value), node, value, path, state, errors)) {
        return false;
    }
    const SequenceItems items(value, state);
    const std::size_t n = shape->prefix.size();
    const bool has_rest = shape->rest != nullptr;
    if (has_rest ? items.length() < n : items.length() != n) {
        const bool is_list = node.sequence_kind == SequenceKind::List;
        push_length_error(is_list ? "list_length" : "tuple_length", kind_name(node), n, has_rest, value, path,
                          state, errors);
        return false;
    }
    if (shape->prefix.empty() && shape->rest != nullptr) {
        if (const std::optional<std::uint32_t> kinds = type_test_kinds(*shape->rest)) {
            // A collecting walk of a member would record nothing: only a non-member
            // needs its failing items walked.
            const TypeTests tests(*kinds);
            const bool member = items_pass_type_tests(tests, value, items.length());
            if (member || !state.collect) return member;
            return record_failing_items(tests, *shape->rest, value, items.length(), path, state, errors);
        }
    }
    if (!state.collect) {
        return items.visit_all(false, [&](std::size_t i, WalkValue element) {
            return walk_item(item_schema(*shape, i), element, path, state, errors);
        });
    }
    ItemSegment segment(path);
    return items.visit_all(state.aggregate(), [&](std::size_t i, WalkValue element) {
        segment.move_to(i);
        return walk_item(item_schema(*shape, i), element, path, state, errors);
    });
}

bool walk_set(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
              ErrorList& errors) {
    const bool is_set = node.kind == NodeKind::Set;
    PyObject* object = value.object();
    const bool kind_ok = !value.is_json() && (is_set ? PySet_Check(object) : PyFrozenSet_Check(object));
    if (!push_kind_error(kind_ok, node, value, path, state, errors)) return false;
    // The set's own iteration fails only when Python code run by the walk resized the
    // set, which ends the check like a dict changed during iteration. A subclass's
    // __iter__ (and the iterator it returns) is user code: what it raises makes the
    // value a non-member unless it is fatal.
    const bool own_iteration = Py_TYPE(object)->tp_iter == (is_set ? PySet_Type : PyFrozenSet_Type).tp_iter;
    if (!own_iteration && !state.may_call_python()) return false;
    const auto iteration_failed = [&] {
        if (own_iteration) {
            end_check_with_current_error(state.fatal);
        } else {
            absorb_call_error(-1, state.fatal);
            push_kind_error(false, node, value, path, state, errors);
        }
        return false;
    };
    PyRef iterator = PyRef::steal(PyObject_GetIter(object));
    if (!iterator) return iteration_failed();
    bool member = true;
    for (;;) {
        if (!own_iteration && !state.may_call_python()) return false;
        const HeldValue element = HeldValue::steal(PyIter_Next(iterator.get()), state);
        if (!element) break;
        // Failing elements are reported at the set's own path: a set has no positions.
        member = walk_node(*node.child, WalkValue::python(element.get()), path, state, errors) && member;
        if (!member && !state.aggregate()) return false;
    }
    if (PyErr_Occurred()) return iteration_failed();
    return member;
}

}  // namespace kestrune::py
