// Whether every value of one schema is a value of another.
//
// Sound and incomplete: true only with a proof. The rules are tried in a fixed
// order and the first that applies answers; recursion is co-inductive through the
// assumption list.
#pragma once

#include <string_view>
#include <unordered_map>
#include <vector>

#include "kestrune/core/decision_context.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// lhs is assumed included in rhs while a back edge is unfolded. Both are copies.
struct Assumption {
    NodePtr lhs;
    NodePtr rhs;
};

// The unfoldings in progress. Each top-level question (and each direction of an
// equivalence) starts with a fresh, empty list.
using AssumptionList = std::vector<Assumption>;

// Field name to field; when a name occurs twice the later field is found, as the
// record walk finds it.
using FieldNameMap = std::unordered_map<std::string_view, const Field*>;
FieldNameMap map_field_names(const std::vector<Field>& fields);

bool decide_subtype(const SchemaNode& lhs, const SchemaNode& rhs, const DecisionContext& context,
                    AssumptionList& assumptions);

// Two shapes of Sequence nodes of the same SequenceKind.
bool decide_sequence_subtype(const SequenceShape& lhs, const SequenceShape& rhs, const DecisionContext& context,
                             AssumptionList& assumptions);

bool decide_record_subtype(const std::vector<Field>& lhs_fields, const std::vector<KeyRule>& lhs_rules,
                           const std::vector<Field>& rhs_fields, const std::vector<KeyRule>& rhs_rules,
                           const DecisionContext& context, AssumptionList& assumptions);

// Two Objects of the same class: every right attribute has a left namesake included in it.
bool decide_attributes_subtype(const std::vector<Field>& rhs_attributes, const FieldNameMap& lhs_attributes,
                               const DecisionContext& context, AssumptionList& assumptions);

}  // namespace kestrune
