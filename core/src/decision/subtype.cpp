#include "kestrune/core/subtype.hpp"

#include <algorithm>
#include <optional>

#include "kestrune/core/atom_mask.hpp"
#include "kestrune/core/constraint_implication.hpp"
#include "kestrune/core/emptiness.hpp"
#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/structure.hpp"
#include "subtype_run.hpp"

namespace kestrune {

namespace {

using detail::SubtypeRun;

bool is_assumed(const SchemaNode& lhs, const SchemaNode& rhs, const AssumptionList& assumptions) {
    return std::any_of(assumptions.begin(), assumptions.end(), [&](const Assumption& assumed) {
        return equal_nodes(*assumed.lhs, lhs) && equal_nodes(*assumed.rhs, rhs);
    });
}

// Decides `lhs` against `rhs` while assuming `assumed_lhs` included in `assumed_rhs`.
bool includes_assuming(const SchemaNode& lhs, const SchemaNode& rhs, const SchemaNode& assumed_lhs,
                       const SchemaNode& assumed_rhs, const SubtypeRun& run) {
    run.assumptions.push_back(Assumption{clone_node(assumed_lhs), clone_node(assumed_rhs)});
    const bool included = run.includes(lhs, rhs);
    run.assumptions.pop_back();
    return included;
}

bool all_members_included_in(const std::vector<NodePtr>& members, const SchemaNode& rhs, const SubtypeRun& run) {
    return std::all_of(members.begin(), members.end(), [&](const NodePtr& m) { return run.includes(m, rhs); });
}

bool some_member_included_in(const std::vector<NodePtr>& members, const SchemaNode& rhs, const SubtypeRun& run) {
    return std::any_of(members.begin(), members.end(), [&](const NodePtr& m) { return run.includes(m, rhs); });
}

bool included_in_all_members(const SchemaNode& lhs, const std::vector<NodePtr>& members, const SubtypeRun& run) {
    return std::all_of(members.begin(), members.end(), [&](const NodePtr& m) { return run.includes(lhs, m); });
}

bool included_in_some_member(const SchemaNode& lhs, const std::vector<NodePtr>& members, const SubtypeRun& run) {
    return std::any_of(members.begin(), members.end(), [&](const NodePtr& m) { return run.includes(lhs, m); });
}

bool is_kind(const SchemaNode& node, NodeKind kind) { return node.kind == kind; }

// Like constructors compared part by part; nullopt when no rule pairs the two kinds.
std::optional<bool> decide_structurally(const SchemaNode& lhs, const SchemaNode& rhs, const SubtypeRun& run) {
    const DecisionContext& context = run.context;
    switch (rhs.kind) {
        case NodeKind::Sequence:
            if (!is_kind(lhs, NodeKind::Sequence) || lhs.sequence_kind != rhs.sequence_kind) return std::nullopt;
            return lhs.shape && rhs.shape &&
                   decide_sequence_subtype(*lhs.shape, *rhs.shape, context, run.assumptions);
        case NodeKind::Set:
        case NodeKind::FrozenSet:
            if (lhs.kind != rhs.kind) return std::nullopt;
            return run.includes(lhs.child, rhs.child);
        case NodeKind::Dict:
            if (!is_kind(lhs, NodeKind::Dict)) return std::nullopt;
            return decide_record_subtype(lhs.fields, lhs.rules, rhs.fields, rhs.rules, context, run.assumptions);
        case NodeKind::Complement:
            if (!is_kind(lhs, NodeKind::Complement)) return std::nullopt;
            return run.includes(rhs.child, lhs.child);  // complements include the other way round
        case NodeKind::Object:
            if (!is_kind(lhs, NodeKind::Object) || lhs.index != rhs.index) return std::nullopt;
            return decide_attributes_subtype(rhs.fields, map_field_names(lhs.fields), context, run.assumptions);
        case NodeKind::Refinement:
            if (!is_kind(lhs, NodeKind::Refinement)) return std::nullopt;
            return run.includes(lhs.child, rhs.child) &&
                   implies_constraints(rhs.constraints, lhs.constraints, context.oracle);
        case NodeKind::BackEdge: {
            const SchemaNode* definition = resolve_back_edge(context.definitions, rhs.index);
            return definition && includes_assuming(lhs, *definition, lhs, rhs, run);
        }
        default: return std::nullopt;
    }
}

bool decide_subtype_here(const SchemaNode& lhs, const SchemaNode& rhs, const SubtypeRun& run) {
    const DecisionContext& context = run.context;
    if (!context.budget.try_spend()) return false;
    if (is_assumed(lhs, rhs, run.assumptions)) return true;

    const AtomMask lhs_atoms = atom_mask(lhs);
    if (lhs_atoms.exact) {
        const AtomMask rhs_atoms = atom_mask(rhs);
        if (rhs_atoms.exact) return (lhs_atoms.classes & ~rhs_atoms.classes) == 0;
    }

    if (equal_nodes(lhs, rhs)) return true;
    if (is_kind(lhs, NodeKind::Nothing)) return true;
    if (is_kind(rhs, NodeKind::Anything)) return true;
    if (is_kind(rhs, NodeKind::Nothing)) return is_provably_empty(lhs, context);

    if (is_kind(lhs, NodeKind::Union)) return all_members_included_in(lhs.members, rhs, run);
    if (is_kind(rhs, NodeKind::Intersection)) return included_in_all_members(lhs, rhs.members, run);
    if (is_kind(lhs, NodeKind::Intersection)) {
        if (some_member_included_in(lhs.members, rhs, run)) return true;
        return is_kind(rhs, NodeKind::Union) && included_in_some_member(lhs, rhs.members, run);
    }
    // Before any back edge on the left is unfolded, so that a recursive left side is
    // compared with each alternative as a whole.
    if (is_kind(rhs, NodeKind::Union)) return included_in_some_member(lhs, rhs.members, run);

    if (is_kind(lhs, NodeKind::BackEdge)) {
        const SchemaNode* definition = resolve_back_edge(context.definitions, lhs.index);
        return definition && includes_assuming(*definition, rhs, lhs, rhs, run);
    }

    if (const std::optional<bool> structural = decide_structurally(lhs, rhs, run)) return *structural;

    // A refinement lies wherever its base lies.
    if (is_kind(lhs, NodeKind::Refinement)) return run.includes(lhs.child, rhs);
    return context.oracle.is_leaf_subtype(lhs, rhs) == LeafAnswer::Yes;
}

}  // namespace

bool decide_subtype(const SchemaNode& lhs, const SchemaNode& rhs, const DecisionContext& context,
                    AssumptionList& assumptions) {
    const SubtypeRun run{context, assumptions};
    return with_native_stack([&] { return decide_subtype_here(lhs, rhs, run); });
}

}  // namespace kestrune
