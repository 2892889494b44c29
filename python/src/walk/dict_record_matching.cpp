// Records and mappings over a Python dict: the boolean pass, and the diagnosis that
// explains a failure.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "walk/field_value_checks.hpp"
#include "walk/held_value.hpp"
#include "walk/record_matching.hpp"
#include "walk/type_test_kinds.hpp"
#include "errors/text_helpers.hpp"
#include "support/same_text.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

constexpr std::size_t kRuleKeyTextLimit = 40;

// The required positions already counted in one pass; inline for the usual
// record of at most 64 fields.
class CountedPositions {
public:
    bool insert(std::uint64_t position) {
        if (position < 64) {
            const std::uint64_t bit = std::uint64_t{1} << position;
            const bool fresh = (small_ & bit) == 0;
            small_ |= bit;
            return fresh;
        }
        const std::size_t slot = static_cast<std::size_t>(position - 64);
        if (large_.size() <= slot) large_.resize(slot + 1, false);
        const bool fresh = !large_[slot];
        large_[slot] = true;
        return fresh;
    }

private:
    std::uint64_t small_ = 0;
    std::vector<bool> large_;
};

// A dict's entries in storage order, read through the dict itself (an iteration a
// subclass overrides is not used). Python code run between two entries may change
// the dict: that ends the whole check with the interpreter's own messages.
class DictEntries {
public:
    explicit DictEntries(PyObject* dict) : dict_(dict), size_(PyDict_GET_SIZE(dict)) {}

    enum class Step { Entry, End, Changed };

    // The key and value are borrowed from the dict: a visit that may run Python
    // code, which could drop them from it, must hold its own references.
    Step next(PyObject*& key, PyObject*& value, FatalSlot& fatal) {
        if (PyDict_GET_SIZE(dict_) != size_) return changed("dictionary changed size during iteration", fatal);
        if (!PyDict_Next(dict_, &position_, &key, &value)) return Step::End;
        if (++taken_ > size_) return changed("dictionary keys changed during iteration", fatal);
        return Step::Entry;
    }

private:
    static Step changed(const char* message, FatalSlot& fatal) {
        PyErr_SetString(PyExc_RuntimeError, message);
        end_check_with_current_error(fatal);
        return Step::Changed;
    }

    PyObject* dict_;
    Py_ssize_t size_;
    Py_ssize_t position_ = 0;
    Py_ssize_t taken_ = 0;
};

// The text of str(key), uncut; none when str() raises.
std::optional<std::string> str_text(PyObject* key) {
    PyRef text = PyRef::steal(PyObject_Str(key));
    if (!text) {
        PyErr_Clear();
        return std::nullopt;
    }
    return utf8_text(text.get());
}

// Whether `key` is a str whose text is `name`.
bool is_key_named(PyObject* key, std::string_view name) {
    const std::optional<std::string_view> text = utf8_view(key);
    return text && is_same_text(name, *text);
}

bool has_required_field_from(const std::vector<Field>& fields, std::size_t first) {
    return std::any_of(fields.begin() + static_cast<std::ptrdiff_t>(first), fields.end(),
                       [](const Field& field) { return field.required; });
}

// The key and value kinds of each rule of a mapping whose rules type tests alone
// answer (dict[str, float], {str: int, int: str}); none for any other node.
class TypeTestedRules {
public:
    static constexpr std::size_t kMaxRules = 4;

    explicit TypeTestedRules(const SchemaNode& node) {
        if (!node.fields.empty() || node.rules.size() > kMaxRules) return;
        for (const KeyRule& rule : node.rules) {
            const std::optional<std::uint32_t> key = type_test_kinds(*rule.key);
            const std::optional<std::uint32_t> value = key ? type_test_kinds(*rule.value) : std::nullopt;
            if (!value) return;
            rules_[count_++] = {TypeTests(*key), TypeTests(*value)};
        }
        applies_ = true;
    }

    bool applies() const { return applies_; }

    struct Rule {
        TypeTests key{0};
        TypeTests value{0};
    };

    const Rule* single() const { return count_ == 1 ? &rules_[0] : nullptr; }

    // The first rule whose key and value tests both pass settles the entry.
    bool match(PyObject* key, PyObject* value) const {
        for (std::size_t i = 0; i < count_; ++i) {
            if (rules_[i].key(key) && rules_[i].value(value)) return true;
        }
        return false;
    }

private:
    std::array<Rule, kMaxRules> rules_{};
    std::size_t count_ = 0;
    bool applies_ = false;
};

// No Python code runs for an entry of such a mapping: the dict cannot change while
// it is read (so the checks between entries are not needed), its keys and values
// need no references of their own, and no field lookup is made.
bool match_type_tested_mapping(const TypeTestedRules& rules, PyObject* dict) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    if (const TypeTestedRules::Rule* only = rules.single()) {
        // dict[K, V]: one rule, held in registers for the whole loop.
        const TypeTestedRules::Rule rule = *only;
        while (PyDict_Next(dict, &position, &key, &value)) {
            if (!rule.key(key) || !rule.value(value)) return false;
        }
        return true;
    }
    while (PyDict_Next(dict, &position, &key, &value)) {
        if (!rules.match(key, value)) return false;
    }
    return true;
}

}  // namespace

bool match_dict_record(const SchemaNode& node, PyObject* dict, const WalkState& state) {
    if (!PyDict_Check(dict)) return false;
    if (node.fields.empty()) {
        if (const TypeTestedRules rules(node); rules.applies()) return match_type_tested_mapping(rules, dict);
    }
    const std::vector<Field>& fields = node.fields;
    FieldLookup lookup(fields, state.precompute);
    const FieldTest* const tests = lookup.tests();
    FieldValueChecks checks(state);
    DictEntries entries(dict);
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    DictEntries::Step step = entries.next(key, value, state.fatal);
    // Most dicts hold a record's keys once each, in declaration order. While they do
    // (the names being distinct), entry i is the only value of field i: no lookup is
    // made and nothing is counted.
    std::size_t in_order = 0;
    if (lookup.has_distinct_names()) {
        const Field* const declared = fields.data();
        const std::size_t field_count = fields.size();
        while (step == DictEntries::Step::Entry && in_order < field_count &&
               is_key_named(key, declared[in_order].name)) {
            if (!checks.is_field_member(tests, in_order, *declared[in_order].schema, value)) return false;
            ++in_order;
            step = entries.next(key, value, state.fatal);
        }
        if (step == DictEntries::Step::End) return !has_required_field_from(fields, in_order);
    }
    std::uint64_t remaining = lookup.required();
    CountedPositions counted;
    for (std::size_t p = 0; p < in_order; ++p) {
        if (fields[p].required && counted.insert(p)) --remaining;
    }
    for (; step == DictEntries::Step::Entry; step = entries.next(key, value, state.fatal)) {
        std::optional<std::uint64_t> position;
        if (!fields.empty()) {
            if (std::optional<std::string_view> text = utf8_view(key)) position = lookup.find(*text);
        }
        if (position) {
            const Field& field = fields[*position];
            if (!checks.is_field_member(tests, *position, *field.schema, value)) return false;
            if (field.required && counted.insert(*position)) --remaining;
            continue;
        }
        const HeldValue held_key = HeldValue::borrow(key, state);
        const HeldValue held_value = HeldValue::borrow(value, state);
        if (!matches_some_rule(node.rules, WalkValue::python(held_key.get()), WalkValue::python(held_value.get()),
                               state)) {
            return false;
        }
    }
    return step == DictEntries::Step::End && remaining == 0;
}

namespace {

bool has_plain_keys(PyObject* dict) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(dict, &position, &key, &value)) {
        if (!is_plain_key(key)) return false;
    }
    return true;
}

// Reports an undeclared key that no rule admits.
void report_undeclared_key(const SchemaNode& node, PyObject* key, PyObject* value, ErrorPath& path,
                           const WalkState& state, ErrorList& errors) {
    // str() of a key that is not a built-in scalar may run code of the caller's.
    if (!is_plain_key(key) && !state.may_call_python()) return;
    if (node.rules.empty()) {
        if (!wants_record(state, path.size() + 1)) return;
        std::string text = str_text(key).value_or(std::string());
        std::string quoted = quote_text(text);
        errors.push_back(make_child_error_record(path, PathSegment::key(std::move(text)), "extra_forbidden",
                                                 "no unexpected key", std::move(quoted)));
        return;
    }
    // Only the first rule is consulted for the report; both of its walks run.
    std::optional<std::string> text = str_text(key);
    path.push_back(PathSegment::key(text ? truncate_chars(*text, kRuleKeyTextLimit) : format_repr(key)));
    const KeyRule& rule = node.rules.front();
    walk_node(*rule.key, WalkValue::python(key), path, state, errors);
    walk_node(*rule.value, WalkValue::python(value), path, state, errors);
    path.pop_back();
}

// The field values of a dict whose keys are exact strs naming the fields once each,
// in declaration order, read in one pass: borrowed, and what lookups by name would
// give while no Python code runs. Such keys compare and hash by the interpreter's
// own code, so those lookups would run none either.
class DeclaredOrderValues {
public:
    static constexpr std::size_t kMaxFields = 32;

    DeclaredOrderValues(PyObject* dict, const std::vector<Field>& fields) {
        const std::size_t count = fields.size();
        if (count > kMaxFields || PyDict_GET_SIZE(dict) != static_cast<Py_ssize_t>(count)) return;
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        for (std::size_t i = 0; i < count; ++i) {
            if (!PyDict_Next(dict, &position, &key, &values_[i]) || !PyUnicode_CheckExact(key) ||
                !is_key_named(key, fields[i].name)) {
                return;
            }
        }
        valid_ = true;
    }

    bool valid() const { return valid_; }
    PyObject* at(std::size_t position) const { return values_[position]; }
    // After a step that may have run Python code, which may have changed the dict.
    void drop() { valid_ = false; }

private:
    std::array<PyObject*, kMaxFields> values_{};
    bool valid_ = false;
};

constexpr int kCodeFreeDepth = 4;

// Whether a collecting walk of the value makes its records without running Python
// code, judged before it runs: type tests show built-in scalars or record nothing,
// lists and tuples of type-tested items hold such items, and records without key
// rules hold built-in scalar keys and such values (namesake fields aside). A value
// of the wrong kind must be a built-in scalar, whose repr the record shows.
bool walks_without_python(const SchemaNode& schema, PyObject* value, const WalkState& state, int depth) {
    if (const std::optional<std::uint32_t> kinds = type_test_kinds(schema)) {
        return is_plain_scalar(value) || passes_some_type_test(*kinds, WalkValue::python(value));
    }
    if (const std::optional<TypeTests> items = type_tested_items(schema)) {
        const bool is_list = schema.sequence_kind == SequenceKind::List;
        if (!(is_list ? PyList_Check(value) : PyTuple_Check(value))) return is_plain_scalar(value);
        const std::span<PyObject* const> stored(PySequence_Fast_ITEMS(value), static_cast<std::size_t>(Py_SIZE(value)));
        return std::all_of(stored.begin(), stored.end(),
                           [&](PyObject* item) { return is_plain_scalar(item) || (*items)(item); });
    }
    if (schema.kind != NodeKind::Dict || !schema.rules.empty() || depth == 0) return false;
    if (!PyDict_Check(value)) return is_plain_scalar(value);
    FieldLookup lookup(schema.fields, state.precompute);
    if (!lookup.has_distinct_names()) return false;
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(value, &position, &key, &item)) {
        if (!is_plain_key(key)) return false;
        const std::optional<std::string_view> text = utf8_view(key);
        const std::optional<std::uint64_t> field = text ? lookup.find(*text) : std::nullopt;
        if (field && !walks_without_python(*schema.fields[*field].schema, item, state, depth - 1)) return false;
    }
    return true;
}

// Whether type tests, or a list or tuple of type-tested items, accept the value:
// its walk would record nothing, and as they run no Python code, asking them first
// skips the walk and its path segment.
bool passes_without_walk(const SchemaNode& schema, PyObject* value) {
    if (const std::optional<std::uint32_t> kinds = type_test_kinds(schema)) {
        return passes_some_type_test(*kinds, WalkValue::python(value));
    }
    return type_tested_sequence_passes(schema, value).value_or(false);
}

}  // namespace

void diagnose_record(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                     ErrorList& errors) {
    if (value.is_json() || !PyDict_Check(value.object())) {
        if (wants_record(state, path.size(), value)) {
            errors.push_back(make_error_record("dict_type", "dict", value, path));
        }
        return;
    }
    PyObject* dict = value.object();
    DeclaredOrderValues in_order(dict, node.fields);
    // A lookup compares the name with the keys of its hash, which runs code of the
    // caller's unless they are built-in scalars.
    const bool plain_keys = in_order.valid() || state.memo() == nullptr || has_plain_keys(dict);
    FieldNameObjects names(state.precompute, node.fields);
    for (std::size_t position = 0; position < node.fields.size(); ++position) {
        const Field& field = node.fields[position];
        if (!plain_keys && !state.may_call_python()) return;
        PyObject* found = nullptr;
        int outcome = 1;
        if (in_order.valid()) {
            found = Py_NewRef(in_order.at(position));
        } else {
            PyObject* name = names.at(position);
            // The dict's own lookup: the keys' hashing and equality, no subclass hooks.
            outcome = name ? PyDict_GetItemRef(dict, name, &found) : -1;
        }
        const HeldValue found_value = HeldValue::steal(found, state);
        if (outcome < 0) {
            PyErr_Clear();
            if (wants_record(state, path.size(), value)) {
                errors.push_back(make_error_record("dict_type", "dict", value, path));
            }
        } else if (outcome == 1) {
            if (!passes_without_walk(*field.schema, found_value.get())) {
                const bool keeps_dict =
                    in_order.valid() && walks_without_python(*field.schema, found_value.get(), state, kCodeFreeDepth);
                path.push_back(PathSegment::key(field.name));
                walk_node(*field.schema, WalkValue::python(found_value.get()), path, state, errors);
                path.pop_back();
                if (!keeps_dict) in_order.drop();
            }
        } else if (field.required && wants_record(state, path.size() + 1)) {
            errors.push_back(make_child_error_record(path, PathSegment::key(field.name), "missing_key",
                                                     "required key " + quote_text(field.name), "missing"));
        }
        if (state.fail_fast && !errors.empty()) return;
    }
    // Every key named a field and the dict is as read: no key is undeclared.
    if (in_order.valid()) return;
    FieldLookup lookup(node.fields, state.precompute);
    DictEntries entries(dict);
    PyObject* borrowed_key = nullptr;
    PyObject* borrowed_item = nullptr;
    while (entries.next(borrowed_key, borrowed_item, state.fatal) == DictEntries::Step::Entry) {
        const HeldValue key = HeldValue::borrow(borrowed_key, state);
        const HeldValue item = HeldValue::borrow(borrowed_item, state);
        const std::optional<std::string_view> text = utf8_view(key.get());
        if (text && lookup.find(*text)) continue;
        if (matches_some_rule(node.rules, WalkValue::python(key.get()), WalkValue::python(item.get()), state)) {
            continue;
        }
        report_undeclared_key(node, key.get(), item.get(), path, state, errors);
        if (state.fail_fast && !errors.empty()) return;
    }
}

}  // namespace kestrune::py
