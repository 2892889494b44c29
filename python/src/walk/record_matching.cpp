// Records and mappings: the boolean passes over a dict or a JSON object, and the
// diagnosis that explains a failure.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "walk/field_value_checks.hpp"
#include "walk/json_field_test.hpp"
#include "walk/type_test_kinds.hpp"
#include "walk/walk.hpp"
#include "errors/text_helpers.hpp"
#include "support/same_text.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

constexpr std::size_t kRuleKeyTextLimit = 40;

// Field positions by name: the validator's precomputed index when it has one for
// these fields, else a scan of the fields that gives the same answers without
// allocating (the last namesake wins).
class FieldLookup {
public:
    FieldLookup(const std::vector<Field>& fields, const Precompute& tables) : fields_(fields) {
        if (fields.empty()) return;
        index_ = tables.field_index.find(storage_identity(fields));
        distinct_names_ = index_ != nullptr && index_->names.size() == fields.size();
    }

    // Keys mostly come in the order the fields are declared, so the field after the
    // last one found is tried first; that guess needs names without namesakes.
    std::optional<std::uint64_t> find(std::string_view name) {
        if (index_ != nullptr) {
            if (distinct_names_ && next_ < fields_.size() && is_same_text(fields_[next_].name, name)) {
                return next_++;
            }
            auto found = index_->names.find(name);
            if (found == index_->names.end()) return std::nullopt;
            next_ = found->second + 1;
            return found->second;
        }
        for (std::size_t p = fields_.size(); p-- > 0;) {
            if (fields_[p].name == name) return p;
        }
        return std::nullopt;
    }

    bool has_distinct_names() const { return distinct_names_; }
    const RecordIndex* index() const { return index_; }
    // The settled tests of the fields' values, by position; null without an index.
    const FieldTest* tests() const { return index_ != nullptr ? index_->tests.data() : nullptr; }

    std::uint64_t required() const {
        if (index_ != nullptr) return index_->required;
        std::uint64_t count = 0;
        for (const Field& field : fields_) count += field.required ? 1 : 0;
        return count;
    }

private:
    const std::vector<Field>& fields_;
    const RecordIndex* index_ = nullptr;
    bool distinct_names_ = false;
    std::size_t next_ = 0;
};

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

bool match_key_rule(WalkValue key, WalkValue value, const WalkState& state, const KeyRule& rule) {
    return is_member_of(*rule.key, key, state) && is_member_of(*rule.value, value, state);
}

bool matches_some_rule(const std::vector<KeyRule>& rules, WalkValue key, WalkValue value, const WalkState& state) {
    for (const KeyRule& rule : rules) {
        if (match_key_rule(key, value, state, rule)) return true;
    }
    return false;
}

bool match_json_record(const SchemaNode& node, std::span<const json::JsonMember> members, const WalkState& state);

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
        const PyRef held_key = PyRef::borrow(key);
        const PyRef held_value = PyRef::borrow(value);
        if (!matches_some_rule(node.rules, WalkValue::python(held_key.get()), WalkValue::python(held_value.get()),
                               state)) {
            return false;
        }
    }
    return step == DictEntries::Step::End && remaining == 0;
}

namespace {

const JsonValue* last_entry(std::span<const json::JsonMember> members, std::string_view name) {
    for (std::size_t i = members.size(); i-- > 0;) {
        if (is_same_text(members[i].key.text(), name)) return &members[i].value;
    }
    return nullptr;
}

// The last value of each field's name, found in one pass over the members (the
// fields must have distinct names); the answer is whether a member is undeclared.
bool find_field_values(std::span<const json::JsonMember> members, FieldLookup& lookup,
                       std::span<const JsonValue*> values) {
    bool has_undeclared = false;
    for (const json::JsonMember& member : members) {
        if (std::optional<std::uint64_t> position = lookup.find(member.key.text())) {
            values[*position] = &member.value;
        } else {
            has_undeclared = true;
        }
    }
    return has_undeclared;
}

// The tests of a record's fields: the validator's, or made at each visit when it has
// none for these fields.
class JsonFieldTests {
public:
    JsonFieldTests(const std::vector<Field>& fields, const RecordIndex* index)
        : fields_(fields), tests_(index != nullptr ? index->json_tests.data() : nullptr) {}

    JsonFieldTest at(std::size_t position) const {
        return tests_ != nullptr ? tests_[position] : json_field_test(*fields_[position].schema);
    }

private:
    const std::vector<Field>& fields_;
    const JsonFieldTest* tests_;
};

// passes_json_field_test for every way but the value's kind. A list's items and a
// nested record are answered as walk_sequence and walk_dict would, without the node
// dispatch; any other schema takes an answering sub-walk. Python code run by a walk
// may end the check, which ends this record too.
[[gnu::noinline]] bool passes_composite_test(JsonFieldTest test, const SchemaNode& schema, const JsonValue& value,
                                             const WalkState& state) {
    if (state.fatal.stop) return false;
    switch (test.way) {
        case JsonFieldTest::Way::Kinds: return test.admits_kind(value.kind());
        case JsonFieldTest::Way::ListOfKinds: {
            if (value.kind() != json::JsonKind::Array) return false;
            const std::span<const JsonValue> items = value.items();
            return std::all_of(items.begin(), items.end(),
                               [test](const JsonValue& item) { return test.admits_kind(item.kind()); });
        }
        case JsonFieldTest::Way::Record:
            if (!is_matched_directly(schema, state)) break;
            return value.kind() == json::JsonKind::Object && match_json_record(schema, value.members(), state) &&
                   !state.fatal.stop;
        case JsonFieldTest::Way::Walk: break;
    }
    return walk_member_of(schema, WalkValue::of_json(value), state) && !state.fatal.stop;
}

// Membership of a member's value; the most common fields answer by its kind inline.
inline bool passes_json_field_test(JsonFieldTest test, const SchemaNode& schema, const JsonValue& value,
                                   const WalkState& state) {
    if (test.way == JsonFieldTest::Way::Kinds) return test.admits_kind(value.kind());
    return passes_composite_test(test, schema, value, state);
}

// Whether member i holds field i's name for every i: then, the names being distinct,
// each field's only value is the member at its position, and no member is
// undeclared. Most documents write a record's keys once each, in declaration order.
bool keys_match_fields_in_order(std::span<const json::JsonMember> members, const std::vector<Field>& fields) {
    if (members.size() != fields.size()) return false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (!is_same_text(fields[i].name, members[i].key.text())) return false;
    }
    return true;
}

bool match_json_record(const SchemaNode& node, std::span<const json::JsonMember> members,
                       const WalkState& state) {
    FieldLookup lookup(node.fields, state.precompute);
    const JsonFieldTests tests(node.fields, lookup.index());
    const std::size_t field_count = node.fields.size();
    // Namesakes each see their name's last value, which the scan from the end finds.
    const bool one_pass = lookup.has_distinct_names();
    if (one_pass && keys_match_fields_in_order(members, node.fields)) {
        for (std::size_t p = 0; p < field_count; ++p) {
            if (!passes_json_field_test(tests.at(p), *node.fields[p].schema, members[p].value, state)) return false;
        }
        return true;
    }
    constexpr std::size_t kInlineFields = 32;
    std::array<const JsonValue*, kInlineFields> inline_values;
    std::vector<const JsonValue*> more_values;
    std::span<const JsonValue*> values;
    if (field_count <= kInlineFields) {
        std::fill_n(inline_values.begin(), field_count, nullptr);
        values = std::span(inline_values.data(), field_count);
    } else {
        more_values.assign(field_count, nullptr);
        values = more_values;
    }
    auto is_undeclared = [&](const json::JsonMember& member) { return !lookup.find(member.key.text()); };
    // Most records declare every key they hold: only the others need the table below.
    const bool has_undeclared = one_pass ? find_field_values(members, lookup, values)
                                         : std::any_of(members.begin(), members.end(), is_undeclared);
    for (std::size_t p = 0; p < field_count; ++p) {
        const Field& field = node.fields[p];
        if (const JsonValue* found = one_pass ? values[p] : last_entry(members, field.name)) {
            if (!passes_json_field_test(tests.at(p), *field.schema, *found, state)) return false;
        } else if (field.required) {
            return false;
        }
    }
    if (!has_undeclared) return true;
    // The last value of each distinct undeclared key.
    std::unordered_map<std::string_view, const json::JsonMember*> undeclared;
    for (const json::JsonMember& member : members) {
        if (is_undeclared(member)) undeclared[member.key.text()] = &member;
    }
    for (const auto& [text, member] : undeclared) {
        if (!matches_some_rule(node.rules, WalkValue::of_json(member->key), WalkValue::of_json(member->value), state)) {
            return false;
        }
    }
    return true;
}

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
        PyRef found_value;
        int outcome = 1;
        if (in_order.valid()) {
            found_value = PyRef::borrow(in_order.at(position));
        } else {
            PyObject* name = names.at(position);
            PyObject* found = nullptr;
            // The dict's own lookup: the keys' hashing and equality, no subclass hooks.
            outcome = name ? PyDict_GetItemRef(dict, name, &found) : -1;
            found_value = PyRef::steal(found);
        }
        if (outcome < 0) {
            PyErr_Clear();
            if (wants_record(state, path.size(), value)) {
                errors.push_back(make_error_record("dict_type", "dict", value, path));
            }
        } else if (outcome == 1) {
            // A value that passes type tests would record nothing: as they run no
            // Python code, asking them first skips the walk and its path segment.
            const std::optional<std::uint32_t> kinds = type_test_kinds(*field.schema);
            if (kinds && passes_some_type_test(*kinds, WalkValue::python(found_value.get()))) continue;
            if (!kinds && type_tested_sequence_passes(*field.schema, found_value.get()).value_or(false)) continue;
            const bool keeps_dict =
                in_order.valid() && walks_without_python(*field.schema, found_value.get(), state, kCodeFreeDepth);
            path.push_back(PathSegment::key(field.name));
            walk_node(*field.schema, WalkValue::python(found_value.get()), path, state, errors);
            path.pop_back();
            if (!keeps_dict) in_order.drop();
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
        const PyRef key = PyRef::borrow(borrowed_key);
        const PyRef item = PyRef::borrow(borrowed_item);
        const std::optional<std::string_view> text = utf8_view(key.get());
        if (text && lookup.find(*text)) continue;
        if (matches_some_rule(node.rules, WalkValue::python(key.get()), WalkValue::python(item.get()), state)) {
            continue;
        }
        report_undeclared_key(node, key.get(), item.get(), path, state, errors);
        if (state.fail_fast && !errors.empty()) return;
    }
}

}  // namespace

bool walk_dict(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
               ErrorList& errors) {
    bool member;
    if (!value.is_json()) {
        member = match_dict_record(node, value.object(), state);
    } else {
        const JsonValue& json_value = *value.json();
        member = json_value.kind() == json::JsonKind::Object && match_json_record(node, json_value.members(), state);
    }
    if (!member && state.collect) {
        state.memo_cell.start();
        diagnose_record(node, value, path, state, errors);
    }
    return member;
}

}  // namespace kestrune::py
