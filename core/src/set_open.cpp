#include "kestrune/core/set_open.hpp"

#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/structure.hpp"

namespace kestrune {

namespace {

NodePtr set_open_boxed(const NodePtr& node, bool open) { return node ? set_open(*node, open) : nullptr; }

bool is_record(const SchemaNode& node) { return node.kind == NodeKind::Dict && !node.fields.empty(); }

// The old rules of a record are dropped unvisited, whatever they held.
std::vector<KeyRule> record_rules(bool open) {
    std::vector<KeyRule> rules;
    if (open) rules.push_back(KeyRule{make_leaf(NodeKind::Anything), make_leaf(NodeKind::Anything)});
    return rules;
}

// Payload members a kind does not use are empty, so they can be carried over
// regardless of the kind; only a record's rules are replaced.
NodePtr set_open_here(const SchemaNode& node, bool open) {
    auto out = std::make_unique<SchemaNode>(node.kind);
    out->sequence_kind = node.sequence_kind;
    out->index = node.index;
    out->child = set_open_boxed(node.child, open);
    if (node.shape) out->shape = std::make_unique<SequenceShape>(set_open_in_shape(*node.shape, open));
    out->members = set_open_in_members(node.members, open);
    out->fields = set_open_in_fields(node.fields, open);
    out->rules = is_record(node) ? record_rules(open) : set_open_in_key_rules(node.rules, open);
    out->constraints = clone_constraints(node.constraints);
    return out;
}

SequenceShape set_open_in_shape_here(const SequenceShape& shape, bool open) {
    SequenceShape out;
    out.kind = shape.kind;
    out.item = set_open_boxed(shape.item, open);
    out.parts.reserve(shape.parts.size());
    for (const SequenceShape& part : shape.parts) out.parts.push_back(set_open_in_shape(part, open));
    if (shape.inner) out.inner = std::make_unique<SequenceShape>(set_open_in_shape(*shape.inner, open));
    return out;
}

}  // namespace

NodePtr set_open(const SchemaNode& node, bool open) {
    return with_native_stack([&] { return set_open_here(node, open); });
}

SequenceShape set_open_in_shape(const SequenceShape& shape, bool open) {
    return with_native_stack([&] { return set_open_in_shape_here(shape, open); });
}

std::vector<NodePtr> set_open_in_members(const std::vector<NodePtr>& members, bool open) {
    std::vector<NodePtr> out;
    out.reserve(members.size());
    for (const NodePtr& member : members) out.push_back(set_open_boxed(member, open));
    return out;
}

std::vector<Field> set_open_in_fields(const std::vector<Field>& fields, bool open) {
    std::vector<Field> out;
    out.reserve(fields.size());
    for (const Field& field : fields) out.push_back(Field{field.name, set_open_boxed(field.schema, open), field.required});
    return out;
}

std::vector<KeyRule> set_open_in_key_rules(const std::vector<KeyRule>& rules, bool open) {
    std::vector<KeyRule> out;
    out.reserve(rules.size());
    for (const KeyRule& rule : rules) {
        out.push_back(KeyRule{set_open_boxed(rule.key, open), set_open_boxed(rule.value, open)});
    }
    return out;
}

}  // namespace kestrune
