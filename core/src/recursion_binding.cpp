#include "kestrune/core/recursion_binding.hpp"

#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/structure.hpp"

namespace kestrune {

namespace {

NodePtr substitute_boxed(const NodePtr& node, std::uint64_t id, std::uint64_t target) {
    return node ? substitute_placeholder(*node, id, target) : nullptr;
}

std::vector<Field> substitute_in_fields(const std::vector<Field>& fields, std::uint64_t id, std::uint64_t target) {
    std::vector<Field> out;
    out.reserve(fields.size());
    for (const Field& field : fields) {
        out.push_back(Field{field.name, substitute_boxed(field.schema, id, target), field.required});
    }
    return out;
}

// Payload members a kind does not use are empty, so they can be carried over
// regardless of the kind; only a matching Placeholder changes its kind.
NodePtr substitute_here(const SchemaNode& node, std::uint64_t id, std::uint64_t target) {
    if (node.kind == NodeKind::Placeholder && node.index == id) return make_back_edge(target);
    auto out = std::make_unique<SchemaNode>(node.kind);
    out->sequence_kind = node.sequence_kind;
    out->index = node.index;
    out->child = substitute_boxed(node.child, id, target);
    if (node.shape) {
        out->shape = std::make_unique<SequenceShape>(substitute_placeholder_in_shape(*node.shape, id, target));
    }
    out->members = substitute_placeholder_in_members(node.members, id, target);
    out->fields = substitute_in_fields(node.fields, id, target);
    out->rules.reserve(node.rules.size());
    for (const KeyRule& rule : node.rules) {
        out->rules.push_back(KeyRule{substitute_boxed(rule.key, id, target), substitute_boxed(rule.value, id, target)});
    }
    out->constraints = clone_constraints(node.constraints);
    return out;
}

SequenceShape substitute_in_shape_here(const SequenceShape& shape, std::uint64_t id, std::uint64_t target) {
    SequenceShape out;
    out.kind = shape.kind;
    out.item = substitute_boxed(shape.item, id, target);
    out.parts.reserve(shape.parts.size());
    for (const SequenceShape& part : shape.parts) {
        out.parts.push_back(substitute_placeholder_in_shape(part, id, target));
    }
    if (shape.inner) {
        out.inner = std::make_unique<SequenceShape>(substitute_placeholder_in_shape(*shape.inner, id, target));
    }
    return out;
}

bool occurs_unguarded_here(const SchemaNode& node, std::uint64_t target, bool guarded) {
    switch (node.kind) {
        case NodeKind::BackEdge: return !guarded && node.index == target;
        case NodeKind::Union:
        case NodeKind::Intersection:
            for (const NodePtr& member : node.members) {
                if (occurs_unguarded(*member, target, guarded)) return true;
            }
            return false;
        case NodeKind::Complement:
        case NodeKind::Refinement: return occurs_unguarded(*node.child, target, guarded);
        case NodeKind::Set:
        case NodeKind::FrozenSet: return occurs_unguarded(*node.child, target, true);
        case NodeKind::Sequence: return occurs_unguarded_in_shape(*node.shape, target, true);
        case NodeKind::Dict:
        case NodeKind::Object:
            for (const Field& field : node.fields) {
                if (occurs_unguarded(*field.schema, target, true)) return true;
            }
            for (const KeyRule& rule : node.rules) {
                if (occurs_unguarded(*rule.key, target, true) || occurs_unguarded(*rule.value, target, true)) {
                    return true;
                }
            }
            return false;
        default: return false;
    }
}

bool occurs_unguarded_in_shape_here(const SequenceShape& shape, std::uint64_t target, bool guarded) {
    switch (shape.kind) {
        case ShapeKind::Empty: return false;
        case ShapeKind::Item: return occurs_unguarded(*shape.item, target, guarded);
        case ShapeKind::Concat:
        case ShapeKind::Alternation:
            for (const SequenceShape& part : shape.parts) {
                if (occurs_unguarded_in_shape(part, target, guarded)) return true;
            }
            return false;
        case ShapeKind::Repeat: return occurs_unguarded_in_shape(*shape.inner, target, guarded);
    }
    return false;
}

}  // namespace

NodePtr substitute_placeholder(const SchemaNode& node, std::uint64_t id, std::uint64_t target) {
    return with_native_stack([&] { return substitute_here(node, id, target); });
}

SequenceShape substitute_placeholder_in_shape(const SequenceShape& shape, std::uint64_t id,
                                              std::uint64_t target) {
    return with_native_stack([&] { return substitute_in_shape_here(shape, id, target); });
}

std::vector<NodePtr> substitute_placeholder_in_members(const std::vector<NodePtr>& members, std::uint64_t id,
                                                       std::uint64_t target) {
    std::vector<NodePtr> out;
    out.reserve(members.size());
    for (const NodePtr& member : members) out.push_back(substitute_boxed(member, id, target));
    return out;
}

bool occurs_unguarded(const SchemaNode& node, std::uint64_t target, bool guarded) {
    return with_native_stack([&] { return occurs_unguarded_here(node, target, guarded); });
}

bool occurs_unguarded_in_shape(const SequenceShape& shape, std::uint64_t target, bool guarded) {
    return with_native_stack([&] { return occurs_unguarded_in_shape_here(shape, target, guarded); });
}

}  // namespace kestrune
