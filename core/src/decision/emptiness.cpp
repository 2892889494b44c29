#include "kestrune/core/emptiness.hpp"

#include <algorithm>

#include "kestrune/core/constraint_bounds.hpp"
#include "kestrune/core/member_pairs.hpp"
#include "kestrune/core/native_stack.hpp"

namespace kestrune {

namespace {

constexpr Emptiness kUnproven{};  // not empty, not exact

constexpr Emptiness exact_atoms(std::uint8_t classes) {
    return Emptiness{classes == 0, AtomMask{true, classes}};
}

constexpr Emptiness empty_without_mask() { return Emptiness{true, AtomMask{}}; }

// The four companions every nested call passes on unchanged.
struct EmptinessRun {
    LeafOracle& oracle;
    std::span<const NodePtr> definitions;
    DefinitionTrail& trail;
    WorkBudget& budget;

    Emptiness decide(const SchemaNode& node) const {
        return decide_empty(node, oracle, definitions, trail, budget);
    }
    // A hole in a hand-built tree proves nothing.
    Emptiness decide(const NodePtr& node) const { return node ? decide(*node) : kUnproven; }
    bool decide_shape(const SequenceShape& shape) const {
        return decide_shape_empty(shape, oracle, definitions, trail, budget);
    }
};

// Optional fields may be missing and undeclared keys need not be present, so only a
// required field with an empty schema empties a record (or an object).
Emptiness decide_fields(const std::vector<Field>& fields, const EmptinessRun& run) {
    const bool empty = std::any_of(fields.begin(), fields.end(), [&](const Field& field) {
        return field.required && run.decide(field.schema).empty;
    });
    return Emptiness{empty, AtomMask{}};
}

// Every member is decided, even after the verdict is settled.
Emptiness decide_union(const std::vector<NodePtr>& members, const EmptinessRun& run) {
    Emptiness result{true, AtomMask{true, 0}};
    for (const NodePtr& member : members) {
        const Emptiness verdict = run.decide(member);
        result.empty = result.empty && verdict.empty;
        result.atoms.exact = result.atoms.exact && verdict.atoms.exact;
        result.atoms.classes |= verdict.atoms.classes;
    }
    if (!result.atoms.exact) result.atoms.classes = 0;
    return result;
}

Emptiness decide_intersection(const std::vector<NodePtr>& members, const EmptinessRun& run) {
    bool some_empty = false;
    AtomMask atoms{true, atom_class::kAll};
    for (const NodePtr& member : members) {
        const Emptiness verdict = run.decide(member);
        some_empty = some_empty || verdict.empty;
        atoms.exact = atoms.exact && verdict.atoms.exact;
        atoms.classes &= verdict.atoms.classes;
    }
    if (!atoms.exact) atoms.classes = 0;
    const bool empty = some_empty || (atoms.exact && atoms.classes == 0) || has_complement_pair(members) ||
                       has_disjoint_kinds(members) || are_member_bounds_unsat(members, run.oracle);
    return Emptiness{empty, atoms};
}

// Only an exact child says what its complement holds; its own verdict is not used.
Emptiness decide_complement(const NodePtr& child, const EmptinessRun& run) {
    const Emptiness verdict = run.decide(child);
    if (!verdict.atoms.exact) return kUnproven;
    return exact_atoms(complement_classes(verdict.atoms.classes));
}

bool has_int_base(const SchemaNode& refinement) {
    const SchemaNode* base = &refinement;
    while (base && base->kind == NodeKind::Refinement) base = base->child.get();
    return base && base->kind == NodeKind::Int;
}

// The constraints of a refinement inside the base are judged with the base.
Emptiness decide_refinement(const SchemaNode& node, const EmptinessRun& run) {
    if (run.decide(node.child).empty) return empty_without_mask();
    const bool empty = is_refinement_unsat(node.constraints, run.oracle, has_int_base(node));
    return Emptiness{empty, AtomMask{}};
}

Emptiness decide_back_edge(std::uint64_t target, const EmptinessRun& run) {
    if (std::find(run.trail.begin(), run.trail.end(), target) != run.trail.end()) return empty_without_mask();
    const SchemaNode* definition = resolve_back_edge(run.definitions, target);
    if (!definition) return kUnproven;
    run.trail.push_back(target);
    const bool empty = run.decide(*definition).empty;
    run.trail.pop_back();
    return Emptiness{empty, AtomMask{}};
}

Emptiness decide_empty_here(const SchemaNode& node, const EmptinessRun& run) {
    if (!run.budget.try_spend()) return kUnproven;
    switch (node.kind) {
        case NodeKind::Anything:
        case NodeKind::Nothing:
        case NodeKind::NoneType:
        case NodeKind::Bool:
        case NodeKind::Int:
        case NodeKind::Float:
        case NodeKind::Str:
        case NodeKind::Bytes: return exact_atoms(atom_mask(node).classes);
        case NodeKind::Sequence: return Emptiness{node.shape && run.decide_shape(*node.shape), AtomMask{}};
        case NodeKind::Dict:
        case NodeKind::Object: return decide_fields(node.fields, run);
        case NodeKind::Union: return decide_union(node.members, run);
        case NodeKind::Intersection: return decide_intersection(node.members, run);
        case NodeKind::Complement: return decide_complement(node.child, run);
        case NodeKind::Refinement: return decide_refinement(node, run);
        case NodeKind::BackEdge: return decide_back_edge(node.index, run);
        // The empty set is a member of every Set and FrozenSet; literals and classes
        // are taken as inhabited without asking; Any is opaque.
        case NodeKind::Any:
        case NodeKind::Literal:
        case NodeKind::Set:
        case NodeKind::FrozenSet:
        case NodeKind::Instance:
        case NodeKind::Placeholder: return kUnproven;
    }
    return kUnproven;
}

bool decide_shape_empty_here(const SequenceShape& shape, const EmptinessRun& run) {
    const auto is_empty_part = [&](const SequenceShape& part) { return run.decide_shape(part); };
    switch (shape.kind) {
        case ShapeKind::Empty: return false;
        case ShapeKind::Item: return run.decide(shape.item).empty;
        case ShapeKind::Concat: return std::any_of(shape.parts.begin(), shape.parts.end(), is_empty_part);
        case ShapeKind::Alternation: return std::all_of(shape.parts.begin(), shape.parts.end(), is_empty_part);
        case ShapeKind::Repeat: return false;  // zero repetitions always match
    }
    return false;
}

}  // namespace

Emptiness decide_empty(const SchemaNode& node, LeafOracle& oracle, std::span<const NodePtr> definitions,
                       DefinitionTrail& trail, WorkBudget& budget) {
    const EmptinessRun run{oracle, definitions, trail, budget};
    return with_native_stack([&] { return decide_empty_here(node, run); });
}

bool decide_shape_empty(const SequenceShape& shape, LeafOracle& oracle, std::span<const NodePtr> definitions,
                        DefinitionTrail& trail, WorkBudget& budget) {
    const EmptinessRun run{oracle, definitions, trail, budget};
    return with_native_stack([&] { return decide_shape_empty_here(shape, run); });
}

bool is_provably_empty(const SchemaNode& node, const DecisionContext& context) {
    DefinitionTrail trail;
    return decide_empty(node, context.oracle, context.definitions, trail, context.budget).empty;
}

}  // namespace kestrune
