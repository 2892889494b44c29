// Records and mappings over a JSON object of a parsed tree: the boolean pass.
#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "walk/field_value_checks.hpp"
#include "walk/json_field_test.hpp"
#include "walk/record_matching.hpp"
#include "support/same_text.hpp"

namespace kestrune::py {

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

}  // namespace

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

}  // namespace kestrune::py
