#include "kestrune/core/simplify.hpp"

#include <algorithm>

#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/structure.hpp"
#include "member_gathering.hpp"

namespace kestrune {

namespace {

NodePtr simplify_boxed(const NodePtr& node) { return node ? simplify_node(*node) : nullptr; }

// Fields and rules keep their order: neither is sorted nor merged.
std::vector<Field> simplify_fields(const std::vector<Field>& fields) {
    std::vector<Field> out;
    out.reserve(fields.size());
    for (const Field& field : fields) out.push_back(Field{field.name, simplify_boxed(field.schema), field.required});
    return out;
}

std::vector<KeyRule> simplify_rules(const std::vector<KeyRule>& rules) {
    std::vector<KeyRule> out;
    out.reserve(rules.size());
    for (const KeyRule& rule : rules) out.push_back(KeyRule{simplify_boxed(rule.key), simplify_boxed(rule.value)});
    return out;
}

// Members are simplified in order; once the absorbing element is met the rest are
// not even built.
NodePtr simplify_lattice(const SchemaNode& node) {
    detail::MemberGathering gathering(node.kind);
    for (const NodePtr& member : node.members) {
        if (!gathering.add(simplify_boxed(member))) break;
    }
    return std::move(gathering).finish();
}

// One refinement over a base that is not a refinement, its constraints strictly
// increasing in the constraint order.
NodePtr simplify_refinement(const SchemaNode& node) {
    NodePtr base = simplify_boxed(node.child);
    std::vector<Constraint> constraints = clone_constraints(node.constraints);
    while (base && base->kind == NodeKind::Refinement) {
        std::vector<Constraint> merged = std::move(base->constraints);
        merged.insert(merged.end(), std::make_move_iterator(constraints.begin()),
                      std::make_move_iterator(constraints.end()));
        constraints = std::move(merged);
        base = std::move(base->child);
    }
    std::sort(constraints.begin(), constraints.end(),
              [](const Constraint& a, const Constraint& b) { return compare_constraint(a, b) < 0; });
    constraints.erase(std::unique(constraints.begin(), constraints.end(), equal_constraint), constraints.end());
    if (constraints.empty() && base) return base;
    return make_refinement(std::move(base), std::move(constraints));
}

NodePtr simplify_here(const SchemaNode& node) {
    switch (node.kind) {
        case NodeKind::Sequence:
            return node.shape ? make_sequence(node.sequence_kind, simplify_shape(*node.shape)) : clone_node(node);
        case NodeKind::Set: return make_set(simplify_boxed(node.child));
        case NodeKind::FrozenSet: return make_frozen_set(simplify_boxed(node.child));
        case NodeKind::Dict: return make_dict(simplify_fields(node.fields), simplify_rules(node.rules));
        case NodeKind::Object: return make_object(node.index, simplify_fields(node.fields));
        case NodeKind::Union:
        case NodeKind::Intersection: return simplify_lattice(node);
        case NodeKind::Complement: return push_complement(simplify_boxed(node.child));
        case NodeKind::Refinement: return simplify_refinement(node);
        default: return clone_node(node);
    }
}

SequenceShape simplify_shape_here(const SequenceShape& shape) {
    SequenceShape out;
    out.kind = shape.kind;
    out.item = simplify_boxed(shape.item);
    out.parts.reserve(shape.parts.size());
    for (const SequenceShape& part : shape.parts) out.parts.push_back(simplify_shape(part));
    if (shape.inner) out.inner = std::make_unique<SequenceShape>(simplify_shape(*shape.inner));
    return out;
}

}  // namespace

NodePtr simplify_node(const SchemaNode& node) {
    return with_native_stack([&] { return simplify_here(node); });
}

SequenceShape simplify_shape(const SequenceShape& shape) {
    return with_native_stack([&] { return simplify_shape_here(shape); });
}

}  // namespace kestrune
