#include "walk/walk.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <variant>

#include "walk/constraint_check.hpp"
#include "walk/field_value_checks.hpp"
#include "walk/held_value.hpp"
#include "walk/type_test_kinds.hpp"
#include "errors/text_helpers.hpp"
#include "kestrune/core/native_stack.hpp"
#include "json_bridge/json_to_python.hpp"
#include "support/entry_point.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

bool walk_literal(const SchemaNode& node, WalkValue value, const ErrorPath& path, const WalkState& state,
                  ErrorList& errors) {
    if (!state.constants.contains_index(node.index)) return false;
    PyObject* constant = state.constants.at(node.index);
    PyRef object = convert_value_to_python(value);
    bool member = false;
    if (!object) {
        absorb_call_error(-1, state.fatal);
    } else if (Py_IS_TYPE(object.get(), Py_TYPE(constant))) {
        // Comparing built-in scalars runs no code of the caller's.
        if (!is_plain_scalar(constant) && !state.may_call_python()) return false;
        // No identity shortcut: a constant unequal to itself (NaN) accepts nothing.
        PyRef result = PyRef::steal(PyObject_RichCompare(object.get(), constant, Py_EQ));
        member = absorb_call_error(result ? PyObject_IsTrue(result.get()) : -1, state.fatal);
    }
    if (!member && state.collect) {
        if (!is_plain_scalar(constant) && !state.may_call_python()) return false;
        if (wants_record(state, path.size(), value)) {
            errors.push_back(make_error_record("literal_error", "the literal " + format_repr(constant), value, path));
        }
    }
    return member;
}

// is_instance_of for an object not exactly of the class: the class is asked.
[[gnu::noinline]] bool asks_is_instance_of(PyObject* cls, PyObject* object, WalkValue shown, const ErrorPath& path,
                                           const WalkState& state, ErrorList& errors) {
    if (!state.may_call_python()) return false;
    const bool member = absorb_call_error(object ? PyObject_IsInstance(object, cls) : -1, state.fatal);
    if (!member && wants_record(state, path.size(), shown)) {
        errors.push_back(make_error_record("instance_type", format_class_name(cls), shown, path));
    }
    return member;
}

// isinstance of the pooled class `cls` for `object` (null when a JSON value has no
// Python form, its exception set), with the "instance_type" record showing `shown`
// when it fails.
inline bool is_instance_of(PyObject* cls, PyObject* object, WalkValue shown, const ErrorPath& path,
                           const WalkState& state, ErrorList& errors) {
    // An object of exactly the class is answered as isinstance answers it first,
    // without asking the class.
    if (object != nullptr && Py_IS_TYPE(object, reinterpret_cast<PyTypeObject*>(cls))) return true;
    return asks_is_instance_of(cls, object, shown, path, state, errors);
}

bool walk_instance(const SchemaNode& node, WalkValue value, const ErrorPath& path, const WalkState& state,
                   ErrorList& errors) {
    if (!state.constants.contains_index(node.index)) return false;
    PyRef object = convert_value_to_python(value);
    return is_instance_of(state.constants.at(node.index), object.get(), value, path, state, errors);
}

// Whether type tests alone accept the value for `schema`, which its walk would then
// accept without a record: they run no Python code, so asking them first skips
// nothing the walk would have done.
bool passes_type_tests(const SchemaNode& schema, WalkValue value, const WalkState& state) {
    const std::optional<std::uint32_t> kinds = type_test_kinds(schema);
    return kinds && !state.fatal.stop && passes_some_type_test(*kinds, value);
}

// While collecting, the attributes' visits share one path segment, pushed once for
// the object and renamed for each attribute: an attribute that passes costs no
// segment of its own. Deeper visits push and pop their own, so the last one is ours.
class AttributeSegment {
public:
    explicit AttributeSegment(ErrorPath& path) : path_(path) { path_.push_back(PathSegment::key(std::string())); }
    ~AttributeSegment() { path_.pop_back(); }
    AttributeSegment(const AttributeSegment&) = delete;
    AttributeSegment& operator=(const AttributeSegment&) = delete;

    void rename(const std::string& name) { std::get<std::string>(path_.back().step).assign(name); }

private:
    ErrorPath& path_;
};

// On a failed fetch PyObject_GetAttr notes the name and object on an AttributeError
// that has neither yet, through its attributes (which a subclass may serve).
[[gnu::noinline]] void note_attribute_error(PyObject* object, PyObject* name) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return;
    PyObject* exception = PyErr_GetRaisedException();
    const auto* error = reinterpret_cast<const PyAttributeErrorObject*>(exception);
    if (PyErr_GivenExceptionMatches(exception, PyExc_AttributeError) && error->name == nullptr &&
        error->obj == nullptr) {
        if (PyObject_SetAttrString(exception, "name", name) < 0 || PyObject_SetAttrString(exception, "obj", object) < 0) {
            // The failure to note them is the error now.
            Py_DECREF(exception);
            return;
        }
    }
    PyErr_SetRaisedException(exception);
}

// PyObject_GetAttr for a str name, calling the type's slot itself: the same fetch
// without the checks a str name always passes.
[[gnu::always_inline]] inline PyObject* get_attribute(PyObject* object, PyObject* name) {
    const getattrofunc getattro = Py_TYPE(object)->tp_getattro;
    if (getattro == nullptr) return PyObject_GetAttr(object, name);
    PyObject* attribute = getattro(object, name);
    if (attribute == nullptr) note_attribute_error(object, name);
    return attribute;
}

// After a failed fetch: whether its exception ends the check, which it then does.
bool ends_check_after_failed_fetch(const WalkState& state) {
    PyRef exception = PyRef::steal(PyErr_GetRaisedException());
    if (!is_fatal_exception(exception.get())) return false;
    store_fatal_error(std::move(exception), state.fatal);
    return true;
}

// An answering visit of an instance's attributes: no records, so no path; the
// values are checked as a dict record's are.
bool match_attributes(const SchemaNode& node, PyObject* object, const WalkState& state) {
    const std::span<const Field> fields(node.fields);
    FieldNameObjects names(state.precompute, node.fields);
    const FieldTest* const tests = names.tests();
    FieldValueChecks checks(state);
    for (std::size_t position = 0; position < fields.size(); ++position) {
        if (!state.may_call_python()) return false;
        PyObject* name = names.at(position);
        const HeldValue attribute = HeldValue::steal(name ? get_attribute(object, name) : nullptr, state);
        if (!attribute) {
            ends_check_after_failed_fetch(state);
            return false;
        }
        if (!checks.is_field_member(tests, position, *fields[position].schema, attribute.get())) return false;
    }
    return true;
}

}  // namespace

bool walk_object(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                 ErrorList& errors) {
    // The caller's reference may be borrowed from a container that fetches can change.
    const HeldValue object = value.is_json() ? HeldValue::steal(convert_value_to_python(value).release(), state)
                                             : HeldValue::borrow(value.object(), state);
    if (!object) {
        PyErr_Clear();
        return false;
    }
    if (!state.constants.contains_index(node.index)) return false;
    const WalkValue shown = WalkValue::python(object.get());
    if (!is_instance_of(state.constants.at(node.index), object.get(), shown, path, state, errors)) return false;
    if (!state.collect) return match_attributes(node, object.get(), state);
    // The flags and fields are read once: the compiler cannot know that the
    // attribute fetches between them leave them as they are.
    const bool aggregate = state.aggregate();
    const std::span<const Field> fields(node.fields);
    bool member = true;
    FieldNameObjects names(state.precompute, node.fields);
    AttributeSegment segment(path);
    for (std::size_t position = 0; position < fields.size(); ++position) {
        const Field& field = fields[position];
        if (!state.may_call_python()) return false;
        PyObject* name = names.at(position);
        const HeldValue attribute = HeldValue::steal(name ? get_attribute(object.get(), name) : nullptr, state);
        if (!attribute) {
            if (ends_check_after_failed_fetch(state)) return false;
            segment.rename(field.name);
            if (wants_record(state, path.size())) {
                errors.push_back(ErrorRecord{.path = clone_path(path),
                                             .expected = "attribute " + quote_text(field.name),
                                             .value = "missing",
                                             .code = "missing_attribute"});
            }
            member = false;
        } else if (!passes_type_tests(*field.schema, WalkValue::python(attribute.get()), state)) {
            segment.rename(field.name);
            const bool accepted = walk_node(*field.schema, WalkValue::python(attribute.get()), path, state, errors);
            member = member && accepted;
        }
        if (!member && !aggregate) return false;
    }
    return member;
}

namespace {

bool walk_refinement(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                     ErrorList& errors) {
    if (!walk_node(*node.child, value, path, state, errors)) return false;
    PyRef object = convert_value_to_python(value);
    if (!object) {
        PyErr_Clear();
        return false;
    }
    // Runs on after a stop: the kept exception decides the call anyway.
    bool member = true;
    for (const Constraint& constraint : node.constraints) {
        member = check_constraint(constraint, object.get(), path, state, errors) && member;
        if (!member && !state.aggregate()) return false;
    }
    return member;
}

bool walk_intersection(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                       ErrorList& errors) {
    bool member = true;
    for (const NodePtr& child : node.members) {
        member = walk_node(*child, value, path, state, errors) && member;
        if (!member && !state.aggregate()) return false;
    }
    return member;
}

constexpr std::size_t kDiagnosedUnionMembers = 64;

// How far below `path` a member's records reach: their greatest path length minus
// the path's, 0 without records.
std::size_t depth_below(const ErrorList& records, const ErrorPath& path) {
    std::size_t depth = 0;
    for (const ErrorRecord& record : records) depth = std::max(depth, record.path.size() - path.size());
    return depth;
}

// A member's depth learnt by a walk that only counts records. Started from a walk
// that makes records, it is a speculation, and none is the answer when the member
// needs a Python call that the speculation does not make.
std::optional<std::size_t> measure_member(const SchemaNode& member, WalkValue value, ErrorPath& path,
                                          const WalkState& diagnosing) {
    WalkMemo& memo = *diagnosing.memo();
    const bool speculating = !diagnosing.measure;
    if (speculating) memo.begin_speculation();
    const std::size_t outer = memo.begin_count();
    ErrorList none;
    walk_node(member, value, path, diagnosing.measuring(true), none);
    const std::size_t counted = memo.end_count(outer, false);
    if (speculating && !memo.end_speculation()) return std::nullopt;
    return counted == 0 ? 0 : counted - 1 - path.size();
}

// Reports the member that got deepest into the value, or that none fits. With the
// memo, members are measured first and only the chosen one makes its records.
void diagnose_union(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                    ErrorList& errors) {
    state.memo_cell.start();
    const WalkState diagnosing = state.with_flags(true, false);
    auto make_records = [&](std::size_t i, ErrorList& into) {
        walk_node(*node.members[i], value, path, diagnosing.measuring(false), into);
    };
    std::size_t best_index = 0;
    std::size_t best_depth = 0;
    ErrorList best;
    bool best_made = false;
    const std::size_t count = std::min(node.members.size(), kDiagnosedUnionMembers);
    for (std::size_t i = 0; i < count; ++i) {
        std::optional<std::size_t> depth;
        if (diagnosing.memo() != nullptr) depth = measure_member(*node.members[i], value, path, diagnosing);
        ErrorList member_errors;
        const bool made = !depth;
        if (made) {
            // This walk may run Python code: a best member known only by its depth
            // makes its records first, while nothing can have changed what they say.
            if (i > 0 && !best_made) {
                make_records(best_index, best);
                best_made = true;
            }
            make_records(i, member_errors);
            depth = depth_below(member_errors, path);
        }
        if (i == 0 || *depth > best_depth) {
            best_index = i;
            best_depth = *depth;
            best = std::move(member_errors);
            best_made = made;
        }
    }
    if (best_depth > 0) {
        if (diagnosing.measure) {
            diagnosing.memo()->note_record(path.size() + best_depth);
            return;
        }
        if (!best_made) make_records(best_index, best);
        for (ErrorRecord& record : best) errors.push_back(std::move(record));
        return;
    }
    if (!wants_record(state, path.size(), value)) return;
    std::string expected = "one of: ";
    for (std::size_t i = 0; i < node.members.size(); ++i) {
        if (i > 0) expected += ", ";
        expected += kind_name(*node.members[i]);
    }
    errors.push_back(make_error_record("union_error", expected, value, path));
}

bool walk_union(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                ErrorList& errors) {
    // The sets answer exact ints and strs, which the members' walks compare without
    // running code of the caller's: a collecting walk needs the members only to
    // explain a non-member.
    bool tried = false;
    if (const LiteralSets* sets = state.precompute.literal_sets.find(storage_identity(node.members))) {
        const LiteralAnswer answer = lookup_literal_union(*sets, value);
        if (answer == LiteralAnswer::Member) return true;
        if (answer == LiteralAnswer::NotMember && !state.collect) return false;
        tried = answer == LiteralAnswer::NotMember;
    }
    if (!tried) {
        for (const NodePtr& member : node.members) {
            if (is_member_of(*member, value, state)) return true;
        }
    }
    if (state.collect) diagnose_union(node, value, path, state, errors);
    return false;
}

bool walk_complement(const SchemaNode& node, WalkValue value, const ErrorPath& path, const WalkState& state,
                     ErrorList& errors) {
    if (!is_member_of(*node.child, value, state)) return true;
    if (wants_record(state, path.size(), value)) {
        errors.push_back(make_error_record("unexpected_match", "not " + std::string(kind_name(*node.child)), value,
                                           path));
    }
    return false;
}

// Out of line: the walks that keep no memo stay small.
[[gnu::noinline]] bool walk_expansion_with_memo(WalkMemo* memo, const SchemaNode& definition, std::uint64_t index,
                                                WalkValue value, ErrorPath& path, const WalkState& state,
                                                ErrorList& errors) {
    using Mode = WalkMemo::Mode;
    const Mode mode = !state.collect ? Mode::Answering
                      : state.measure ? Mode::Measuring
                                      : (state.fail_fast ? Mode::RecordingFailFast : Mode::Recording);
    memo->enter(value.identity(), index);
    bool member;
    if (const WalkMemo::Outcome earlier = memo->find(mode, path.size()); earlier.found) {
        member = earlier.verdict;
    } else {
        const std::uint64_t calls = memo->calls();
        const std::size_t records = errors.size();
        // Counted on its own, so the depth it keeps holds wherever the value is met.
        const std::size_t outer = state.measure ? memo->begin_count() : 0;
        member = walk_node(definition, value, path, state, errors);
        const std::size_t counted = state.measure ? memo->end_count(outer, true) : 0;
        if (errors.size() == records) memo->remember(mode, calls, member, path.size(), counted);
    }
    memo->leave();
    return member;
}

// Walks a definition for the value the guard just took; with a memo, from an
// earlier walk of the same expansion when one may stand in.
bool walk_expansion(const SchemaNode& definition, std::uint64_t index, WalkValue value, ErrorPath& path,
                    const WalkState& state, ErrorList& errors) {
    if (!state.memo_cell.possible()) return walk_node(definition, value, path, state, errors);
    if (WalkMemo* memo = state.memo()) {
        return walk_expansion_with_memo(memo, definition, index, value, path, state, errors);
    }
    const bool member = walk_node(definition, value, path, state, errors);
    // A memo started below took this expansion onto its road.
    if (WalkMemo* started = state.memo()) [[unlikely]] started->leave();
    return member;
}

bool walk_back_edge(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                    ErrorList& errors) {
    RecursionGuard& guard = state.recursion_guard;
    const RecursionGuard::Key key{value.identity(), node.index};
    if (guard.contains(key)) {
        record_failure("recursion_loop", "a finite (non-cyclic) value", value, path,
                       wants_record(state, path.size(), value), errors);
        return false;
    }
    if (!guard.try_push(key)) {
        record_failure("recursion_limit", "at most " + std::to_string(RecursionGuard::kLimit) +
                                              " levels of recursion",
                       value, path, wants_record(state, path.size(), value), errors);
        return false;
    }
    const bool member = node.index < state.definitions.size() &&
                        walk_expansion(*state.definitions[node.index], node.index, value, path, state, errors);
    guard.pop();
    return member;
}

}  // namespace

void push_kind_record(const SchemaNode& node, WalkValue value, const ErrorPath& path, const WalkState& state,
                      ErrorList& errors) {
    record_failure(error_code(node), kind_name(node), value, path, wants_record(state, path.size(), value), errors);
}

bool wants_record_slow(const WalkState& state, std::size_t path_length, const WalkValue* shown) {
    // A value text is the value's repr, which may run code of the caller's.
    if (shown != nullptr && !state.memo()->has_plain_repr(*shown) && !state.memo()->before_python_call()) return false;
    if (!state.measure) return true;
    state.memo()->note_record(path_length);
    return false;
}

bool walk_member_of(const SchemaNode& node, WalkValue value, const WalkState& state) {
    ErrorPath path;
    ErrorList errors;
    return walk_node(node, value, path, state.answering(), errors);
}

bool walk_composite_node(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                         ErrorList& errors) {
    // Atoms never get here (walk_node answers them inline); every other kind may
    // recurse, so it checks the stack first.
    if (is_native_stack_below(state.stack_floor)) [[unlikely]] {
        PyErr_SetString(PyExc_RecursionError, "maximum recursion depth exceeded while checking a value");
        end_check_with_current_error(state.fatal);
        return false;
    }
    switch (node.kind) {
        case NodeKind::Literal: return walk_literal(node, value, path, state, errors);
        case NodeKind::Sequence: return walk_sequence(node, value, path, state, errors);
        case NodeKind::Set:
        case NodeKind::FrozenSet: return walk_set(node, value, path, state, errors);
        case NodeKind::Dict: return walk_dict(node, value, path, state, errors);
        case NodeKind::Union: return walk_union(node, value, path, state, errors);
        case NodeKind::Intersection: return walk_intersection(node, value, path, state, errors);
        case NodeKind::Complement: return walk_complement(node, value, path, state, errors);
        case NodeKind::Instance: return walk_instance(node, value, path, state, errors);
        case NodeKind::Object: return walk_object(node, value, path, state, errors);
        case NodeKind::Refinement: return walk_refinement(node, value, path, state, errors);
        case NodeKind::BackEdge: return walk_back_edge(node, value, path, state, errors);
        case NodeKind::Placeholder:
            record_failure("unresolved_recursion", "a resolved recursive value", value, path,
                           wants_record(state, path.size(), value), errors);
            return false;
        default: break;
    }
    throw InvariantFailure("invalid node kind");
}

}  // namespace kestrune::py
