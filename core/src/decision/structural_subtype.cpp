// Inclusion of like constructors: sequence shapes, records and mappings, objects.
#include <algorithm>

#include "kestrune/core/emptiness.hpp"
#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/structure.hpp"
#include "kestrune/core/subtype.hpp"
#include "subtype_run.hpp"

namespace kestrune {

namespace {

using detail::SubtypeRun;

const Field* find_field(const FieldNameMap& fields, std::string_view name) {
    const auto found = fields.find(name);
    return found == fields.end() ? nullptr : found->second;
}

// ---- sequences ----

bool decide_simple_shapes(const SimpleShape& lhs, const SimpleShape& rhs, const SubtypeRun& run) {
    // A repeated rest that admits no item can only be repeated zero times.
    const SchemaNode* lhs_rest = lhs.rest;
    if (lhs_rest && is_provably_empty(*lhs_rest, run.context)) lhs_rest = nullptr;

    if (lhs.prefix.size() < rhs.prefix.size()) return false;
    for (std::size_t j = 0; j < lhs.prefix.size(); ++j) {
        const SchemaNode* target = j < rhs.prefix.size() ? rhs.prefix[j] : rhs.rest;
        if (!run.includes(lhs.prefix[j], target)) return false;
    }
    if (!lhs_rest) return lhs.prefix.size() == rhs.prefix.size() || rhs.rest != nullptr;
    return run.includes(lhs_rest, rhs.rest);
}

bool decide_sequence_here(const SequenceShape& lhs, const SequenceShape& rhs, const SubtypeRun& run) {
    if (equal_shapes(lhs, rhs)) return true;
    const auto included = [&](const SequenceShape& l, const SequenceShape& r) {
        return decide_sequence_subtype(l, r, run.context, run.assumptions);
    };
    if (lhs.kind == ShapeKind::Alternation) {
        return std::all_of(lhs.parts.begin(), lhs.parts.end(), [&](const SequenceShape& part) {
            return included(part, rhs);
        });
    }
    if (rhs.kind == ShapeKind::Alternation) {
        return std::any_of(rhs.parts.begin(), rhs.parts.end(), [&](const SequenceShape& part) {
            return included(lhs, part);
        });
    }
    const std::optional<SimpleShape> lhs_simple = simple_shape(lhs);
    const std::optional<SimpleShape> rhs_simple = simple_shape(rhs);
    return lhs_simple && rhs_simple && decide_simple_shapes(*lhs_simple, *rhs_simple, run);
}

// ---- records and mappings ----

struct RecordSide {
    const std::vector<Field>& fields;
    const std::vector<KeyRule>& rules;
    FieldNameMap names;
};

// Some right rule takes the left rule's keys and their values.
bool is_rule_covered(const KeyRule& left, const std::vector<KeyRule>& rhs_rules, const SubtypeRun& run) {
    return std::any_of(rhs_rules.begin(), rhs_rules.end(), [&](const KeyRule& right) {
        return run.includes(left.key, right.key) && run.includes(left.value, right.value);
    });
}

bool are_rules_covered(const RecordSide& lhs, const RecordSide& rhs, const SubtypeRun& run) {
    return !rhs.rules.empty() && std::all_of(lhs.rules.begin(), lhs.rules.end(), [&](const KeyRule& rule) {
               return is_rule_covered(rule, rhs.rules, run);
           });
}

// The record walk matches a key against the last field of its name but still waits
// for every required field: a required field followed by a namesake is never
// satisfied, so such a record admits no dict at all.
bool has_shadowed_required_field(const RecordSide& side) {
    return std::any_of(side.fields.begin(), side.fields.end(), [&](const Field& field) {
        return field.required && find_field(side.names, field.name) != &field;
    });
}

// A left value must pass every right field of its name: the JSON walk tests each.
bool is_included_in_namesakes(const Field& left, const RecordSide& rhs, const SubtypeRun& run) {
    const Field* last = find_field(rhs.names, left.name);
    if (!last) return false;
    const bool names_are_distinct = rhs.names.size() == rhs.fields.size();
    if (names_are_distinct) return run.includes(left.schema, last->schema);
    return std::all_of(rhs.fields.begin(), rhs.fields.end(), [&](const Field& right) {
        return right.name != left.name || run.includes(left.schema, right.schema);
    });
}

// No undeclared key on the left: the right rules are never needed.
bool decide_closed_record(const RecordSide& lhs, const RecordSide& rhs, const SubtypeRun& run) {
    const bool fields_included = std::all_of(lhs.fields.begin(), lhs.fields.end(), [&](const Field& left) {
        return is_included_in_namesakes(left, rhs, run);
    });
    const bool required_present = std::all_of(rhs.fields.begin(), rhs.fields.end(), [&](const Field& right) {
        if (!right.required) return true;
        const Field* left = find_field(lhs.names, right.name);
        return left && left->required;
    });
    return fields_included && required_present;
}

// A right field the left side does not declare may still be reached through a left
// rule, so it must be optional and take every left rule's values.
bool is_right_field_met(const Field& right, const RecordSide& lhs, const SubtypeRun& run) {
    if (const Field* left = find_field(lhs.names, right.name)) {
        return run.includes(left->schema, right.schema) && (!right.required || left->required);
    }
    return !right.required && std::all_of(lhs.rules.begin(), lhs.rules.end(), [&](const KeyRule& rule) {
               return run.includes(rule.value, right.schema);
           });
}

bool takes_every_str_key(const KeyRule& rule) {
    return rule.key && (rule.key->kind == NodeKind::Str || rule.key->kind == NodeKind::Anything);
}

// A left field the right side does not declare is an undeclared key there.
bool is_left_field_met(const Field& left, const RecordSide& rhs, const SubtypeRun& run) {
    if (find_field(rhs.names, left.name)) return true;
    return std::any_of(rhs.rules.begin(), rhs.rules.end(), [&](const KeyRule& rule) {
        return takes_every_str_key(rule) && run.includes(left.schema, rule.value);
    });
}

// Every part runs (and spends its budget) whatever the others answered.
bool decide_open_record(const RecordSide& lhs, const RecordSide& rhs, const SubtypeRun& run) {
    const bool right_fields = std::all_of(rhs.fields.begin(), rhs.fields.end(), [&](const Field& right) {
        return is_right_field_met(right, lhs, run);
    });
    const bool left_fields = std::all_of(lhs.fields.begin(), lhs.fields.end(), [&](const Field& left) {
        return is_left_field_met(left, rhs, run);
    });
    const bool rules = are_rules_covered(lhs, rhs, run);
    return right_fields && left_fields && rules;
}

}  // namespace

FieldNameMap map_field_names(const std::vector<Field>& fields) {
    FieldNameMap names;
    names.reserve(fields.size());
    for (const Field& field : fields) names.insert_or_assign(std::string_view(field.name), &field);
    return names;
}

bool decide_sequence_subtype(const SequenceShape& lhs, const SequenceShape& rhs, const DecisionContext& context,
                             AssumptionList& assumptions) {
    const SubtypeRun run{context, assumptions};
    return with_native_stack([&] { return decide_sequence_here(lhs, rhs, run); });
}

bool decide_record_subtype(const std::vector<Field>& lhs_fields, const std::vector<KeyRule>& lhs_rules,
                           const std::vector<Field>& rhs_fields, const std::vector<KeyRule>& rhs_rules,
                           const DecisionContext& context, AssumptionList& assumptions) {
    const SubtypeRun run{context, assumptions};
    const RecordSide lhs{lhs_fields, lhs_rules, map_field_names(lhs_fields)};
    const RecordSide rhs{rhs_fields, rhs_rules, map_field_names(rhs_fields)};
    if (has_shadowed_required_field(rhs)) return false;
    if (lhs.rules.empty()) return decide_closed_record(lhs, rhs, run);
    if (lhs.fields.empty() && rhs.fields.empty()) return are_rules_covered(lhs, rhs, run);
    return decide_open_record(lhs, rhs, run);
}

bool decide_attributes_subtype(const std::vector<Field>& rhs_attributes, const FieldNameMap& lhs_attributes,
                               const DecisionContext& context, AssumptionList& assumptions) {
    const SubtypeRun run{context, assumptions};
    return std::all_of(rhs_attributes.begin(), rhs_attributes.end(), [&](const Field& right) {
        const Field* left = find_field(lhs_attributes, right.name);
        return left && run.includes(left->schema, right.schema);
    });
}

}  // namespace kestrune
