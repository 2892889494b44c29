#include "kestrune/core/relocate.hpp"

#include "kestrune/core/native_stack.hpp"

namespace kestrune {

namespace {

using Table = std::span<const std::uint64_t>;

// Indexes beyond the table belong to no interned constant; they are kept as they are.
std::uint64_t renumber(std::uint64_t index, Table table) { return index < table.size() ? table[index] : index; }

bool has_pool_operand(ConstraintKind kind) {
    switch (kind) {
        case ConstraintKind::MinLength:
        case ConstraintKind::MaxLength:
        case ConstraintKind::Pattern: return false;
        default: return true;
    }
}

std::uint64_t relocated_index(const SchemaNode& node, Table table, std::uint64_t offset) {
    switch (node.kind) {
        case NodeKind::Literal:
        case NodeKind::Instance:
        case NodeKind::Object: return renumber(node.index, table);
        case NodeKind::BackEdge: return node.index + offset;
        default: return node.index;
    }
}

NodePtr relocate_boxed(const NodePtr& node, Table table, std::uint64_t offset) {
    return node ? relocate(*node, table, offset) : nullptr;
}

std::vector<Field> relocate_fields(const std::vector<Field>& fields, Table table, std::uint64_t offset) {
    std::vector<Field> out;
    out.reserve(fields.size());
    for (const Field& field : fields) {
        out.push_back(Field{field.name, relocate_boxed(field.schema, table, offset), field.required});
    }
    return out;
}

std::vector<Constraint> relocate_constraints(const std::vector<Constraint>& constraints, Table table) {
    std::vector<Constraint> out = constraints;
    for (Constraint& constraint : out) {
        if (has_pool_operand(constraint.kind)) constraint.operand = renumber(constraint.operand, table);
    }
    return out;
}

// Every payload member is carried over whatever the kind (members a kind does not
// use are empty), so only the index needs a per-kind rule.
NodePtr relocate_here(const SchemaNode& node, Table table, std::uint64_t offset) {
    auto out = std::make_unique<SchemaNode>(node.kind);
    out->sequence_kind = node.sequence_kind;
    out->index = relocated_index(node, table, offset);
    out->child = relocate_boxed(node.child, table, offset);
    if (node.shape) out->shape = std::make_unique<SequenceShape>(relocate_shape(*node.shape, table, offset));
    out->members.reserve(node.members.size());
    for (const NodePtr& member : node.members) out->members.push_back(relocate_boxed(member, table, offset));
    out->fields = relocate_fields(node.fields, table, offset);
    out->rules = relocate_key_rules(node.rules, table, offset);
    out->constraints = relocate_constraints(node.constraints, table);
    return out;
}

SequenceShape relocate_shape_here(const SequenceShape& shape, Table table, std::uint64_t offset) {
    SequenceShape out;
    out.kind = shape.kind;
    out.item = relocate_boxed(shape.item, table, offset);
    out.parts.reserve(shape.parts.size());
    for (const SequenceShape& part : shape.parts) out.parts.push_back(relocate_shape(part, table, offset));
    if (shape.inner) out.inner = std::make_unique<SequenceShape>(relocate_shape(*shape.inner, table, offset));
    return out;
}

}  // namespace

NodePtr relocate(const SchemaNode& node, Table table, std::uint64_t offset) {
    return with_native_stack([&] { return relocate_here(node, table, offset); });
}

SequenceShape relocate_shape(const SequenceShape& shape, Table table, std::uint64_t offset) {
    return with_native_stack([&] { return relocate_shape_here(shape, table, offset); });
}

std::vector<KeyRule> relocate_key_rules(const std::vector<KeyRule>& rules, Table table, std::uint64_t offset) {
    std::vector<KeyRule> out;
    out.reserve(rules.size());
    for (const KeyRule& rule : rules) {
        out.push_back(KeyRule{relocate_boxed(rule.key, table, offset), relocate_boxed(rule.value, table, offset)});
    }
    return out;
}

}  // namespace kestrune
