#include "kestrune/core/structure.hpp"

#include <algorithm>
#include <memory>
#include <span>
#include <string_view>

#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/relocate.hpp"

namespace kestrune {

namespace {

// A missing child (a tree built by hand with a hole in it) is treated as a value
// of its own: equal only to another hole, ordered before every node, fed as nothing.
template <class T, class Visit>
bool equal_boxed(const std::unique_ptr<T>& a, const std::unique_ptr<T>& b, Visit visit) {
    return a && b ? visit(*a, *b) : a == b;
}

template <class T, class Visit>
std::strong_ordering compare_boxed(const std::unique_ptr<T>& a, const std::unique_ptr<T>& b, Visit visit) {
    if (a && b) return visit(*a, *b);
    return (a != nullptr) <=> (b != nullptr);
}

template <class T, class Equal>
bool equal_arrays(const std::vector<T>& a, const std::vector<T>& b, Equal equal) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), equal);
}

// Lexicographic over the common length; a proper prefix orders first.
template <class T, class Compare>
std::strong_ordering compare_arrays(const std::vector<T>& a, const std::vector<T>& b, Compare compare) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (const std::strong_ordering order = compare(a[i], b[i]); order != 0) return order;
    }
    return a.size() <=> b.size();
}

// char_traits<char> compares as unsigned char, which makes this plain byte order.
std::strong_ordering compare_texts(std::string_view a, std::string_view b) { return a <=> b; }

bool equal_node_ptrs(const NodePtr& a, const NodePtr& b) { return equal_boxed(a, b, equal_nodes); }

std::strong_ordering compare_node_ptrs(const NodePtr& a, const NodePtr& b) {
    return compare_boxed(a, b, compare_nodes);
}

void hash_node_ptr(const NodePtr& node, SipHash13& hasher) {
    if (node) hash_node(*node, hasher);
}

bool equal_fields(const std::vector<Field>& a, const std::vector<Field>& b) {
    return equal_arrays(a, b, [](const Field& x, const Field& y) {
        return x.name == y.name && equal_node_ptrs(x.schema, y.schema) && x.required == y.required;
    });
}

bool equal_rules(const std::vector<KeyRule>& a, const std::vector<KeyRule>& b) {
    return equal_arrays(a, b, [](const KeyRule& x, const KeyRule& y) {
        return equal_node_ptrs(x.key, y.key) && equal_node_ptrs(x.value, y.value);
    });
}

bool equal_nodes_here(const SchemaNode& a, const SchemaNode& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case NodeKind::Anything:
        case NodeKind::Any:
        case NodeKind::Nothing:
        case NodeKind::NoneType:
        case NodeKind::Bool:
        case NodeKind::Int:
        case NodeKind::Float:
        case NodeKind::Str:
        case NodeKind::Bytes: return true;
        case NodeKind::Literal:
        case NodeKind::Instance:
        case NodeKind::BackEdge:
        case NodeKind::Placeholder: return a.index == b.index;
        case NodeKind::Sequence:
            return a.sequence_kind == b.sequence_kind && equal_boxed(a.shape, b.shape, equal_shapes);
        case NodeKind::Set:
        case NodeKind::FrozenSet:
        case NodeKind::Complement: return equal_node_ptrs(a.child, b.child);
        case NodeKind::Dict: return equal_fields(a.fields, b.fields) && equal_rules(a.rules, b.rules);
        case NodeKind::Union:
        case NodeKind::Intersection: return equal_arrays(a.members, b.members, equal_node_ptrs);
        case NodeKind::Object: return a.index == b.index && equal_fields(a.fields, b.fields);
        case NodeKind::Refinement:
            return equal_node_ptrs(a.child, b.child) && equal_constraint_lists(a.constraints, b.constraints);
    }
    return false;
}

bool equal_shapes_here(const SequenceShape& a, const SequenceShape& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case ShapeKind::Empty: return true;
        case ShapeKind::Item: return equal_node_ptrs(a.item, b.item);
        case ShapeKind::Concat:
        case ShapeKind::Alternation: return equal_arrays(a.parts, b.parts, equal_shapes);
        case ShapeKind::Repeat: return equal_boxed(a.inner, b.inner, equal_shapes);
    }
    return false;
}

std::strong_ordering compare_constraints(const Constraint& a, const Constraint& b) {
    if (const std::strong_ordering order = a.kind <=> b.kind; order != 0) return order;
    return a.kind == ConstraintKind::Pattern ? compare_texts(a.pattern, b.pattern) : a.operand <=> b.operand;
}

std::strong_ordering compare_nodes_here(const SchemaNode& a, const SchemaNode& b) {
    if (const std::strong_ordering order = a.kind <=> b.kind; order != 0) return order;
    switch (a.kind) {
        case NodeKind::Anything:
        case NodeKind::Any:
        case NodeKind::Nothing:
        case NodeKind::NoneType:
        case NodeKind::Bool:
        case NodeKind::Int:
        case NodeKind::Float:
        case NodeKind::Str:
        case NodeKind::Bytes: return std::strong_ordering::equal;
        case NodeKind::Literal:
        case NodeKind::Instance:
        case NodeKind::BackEdge:
        case NodeKind::Placeholder: return a.index <=> b.index;
        case NodeKind::Sequence:
            if (const std::strong_ordering order = a.sequence_kind <=> b.sequence_kind; order != 0) return order;
            return compare_boxed(a.shape, b.shape, compare_shapes);
        case NodeKind::Set:
        case NodeKind::FrozenSet:
        case NodeKind::Complement: return compare_node_ptrs(a.child, b.child);
        case NodeKind::Dict:
            if (const std::strong_ordering order = compare_field_lists(a.fields, b.fields); order != 0) return order;
            return compare_key_rule_lists(a.rules, b.rules);
        case NodeKind::Union:
        case NodeKind::Intersection: return compare_arrays(a.members, b.members, compare_node_ptrs);
        case NodeKind::Object:
            if (const std::strong_ordering order = a.index <=> b.index; order != 0) return order;
            return compare_field_lists(a.fields, b.fields);
        case NodeKind::Refinement:
            if (const std::strong_ordering order = compare_node_ptrs(a.child, b.child); order != 0) return order;
            return compare_constraint_lists(a.constraints, b.constraints);
    }
    return std::strong_ordering::equal;
}

std::strong_ordering compare_shapes_here(const SequenceShape& a, const SequenceShape& b) {
    if (const std::strong_ordering order = a.kind <=> b.kind; order != 0) return order;
    switch (a.kind) {
        case ShapeKind::Empty: return std::strong_ordering::equal;
        case ShapeKind::Item: return compare_node_ptrs(a.item, b.item);
        case ShapeKind::Concat:
        case ShapeKind::Alternation: return compare_arrays(a.parts, b.parts, compare_shapes);
        case ShapeKind::Repeat: return compare_boxed(a.inner, b.inner, compare_shapes);
    }
    return std::strong_ordering::equal;
}

void hash_fields(const std::vector<Field>& fields, SipHash13& hasher) {
    hasher.write_u64(fields.size());
    for (const Field& field : fields) {
        hasher.write_text(field.name);
        hash_node_ptr(field.schema, hasher);
        hasher.write_u8(field.required ? 1 : 0);
    }
}

void hash_node_here(const SchemaNode& node, SipHash13& hasher) {
    hasher.write_u64(static_cast<std::uint64_t>(node.kind));
    switch (node.kind) {
        case NodeKind::Anything:
        case NodeKind::Any:
        case NodeKind::Nothing:
        case NodeKind::NoneType:
        case NodeKind::Bool:
        case NodeKind::Int:
        case NodeKind::Float:
        case NodeKind::Str:
        case NodeKind::Bytes: return;
        case NodeKind::Literal:
        case NodeKind::Instance:
        case NodeKind::BackEdge:
        case NodeKind::Placeholder: hasher.write_u64(node.index); return;
        case NodeKind::Sequence:
            hasher.write_u64(static_cast<std::uint64_t>(node.sequence_kind));
            if (node.shape) hash_shape(*node.shape, hasher);
            return;
        case NodeKind::Set:
        case NodeKind::FrozenSet:
        case NodeKind::Complement: hash_node_ptr(node.child, hasher); return;
        case NodeKind::Dict:
            hash_fields(node.fields, hasher);
            hasher.write_u64(node.rules.size());
            for (const KeyRule& rule : node.rules) {
                hash_node_ptr(rule.key, hasher);
                hash_node_ptr(rule.value, hasher);
            }
            return;
        case NodeKind::Union:
        case NodeKind::Intersection:
            hasher.write_u64(node.members.size());
            for (const NodePtr& member : node.members) hash_node_ptr(member, hasher);
            return;
        case NodeKind::Object:
            hasher.write_u64(node.index);
            hash_fields(node.fields, hasher);
            return;
        case NodeKind::Refinement:
            hash_node_ptr(node.child, hasher);
            hasher.write_u64(node.constraints.size());
            for (const Constraint& constraint : node.constraints) {
                hasher.write_u64(static_cast<std::uint64_t>(constraint.kind));
                if (constraint.kind == ConstraintKind::Pattern) {
                    hasher.write_text(constraint.pattern);
                } else {
                    hasher.write_u64(constraint.operand);
                }
            }
            return;
    }
}

void hash_shape_here(const SequenceShape& shape, SipHash13& hasher) {
    hasher.write_u64(static_cast<std::uint64_t>(shape.kind));
    switch (shape.kind) {
        case ShapeKind::Empty: return;
        case ShapeKind::Item: hash_node_ptr(shape.item, hasher); return;
        case ShapeKind::Concat:
        case ShapeKind::Alternation:
            hasher.write_u64(shape.parts.size());
            for (const SequenceShape& part : shape.parts) hash_shape(part, hasher);
            return;
        case ShapeKind::Repeat:
            if (shape.inner) hash_shape(*shape.inner, hasher);
            return;
    }
}

// Pool indexes pass through a relocation with an empty table and back edges through
// an offset of zero, so a copy is exactly that relocation.
constexpr std::span<const std::uint64_t> kNoRenumbering{};

}  // namespace

bool equal_nodes(const SchemaNode& a, const SchemaNode& b) {
    return with_native_stack([&] { return equal_nodes_here(a, b); });
}

bool equal_shapes(const SequenceShape& a, const SequenceShape& b) {
    return with_native_stack([&] { return equal_shapes_here(a, b); });
}

bool equal_constraint(const Constraint& a, const Constraint& b) {
    return a.kind == b.kind && (a.kind == ConstraintKind::Pattern ? a.pattern == b.pattern : a.operand == b.operand);
}

bool equal_constraint_lists(const std::vector<Constraint>& a, const std::vector<Constraint>& b) {
    return equal_arrays(a, b, equal_constraint);
}

std::strong_ordering compare_nodes(const SchemaNode& a, const SchemaNode& b) {
    return with_native_stack([&] { return compare_nodes_here(a, b); });
}

std::strong_ordering compare_shapes(const SequenceShape& a, const SequenceShape& b) {
    return with_native_stack([&] { return compare_shapes_here(a, b); });
}

std::strong_ordering compare_field_lists(const std::vector<Field>& a, const std::vector<Field>& b) {
    return compare_arrays(a, b, [](const Field& x, const Field& y) {
        if (const std::strong_ordering order = compare_texts(x.name, y.name); order != 0) return order;
        if (const std::strong_ordering order = compare_node_ptrs(x.schema, y.schema); order != 0) return order;
        return x.required <=> y.required;
    });
}

std::strong_ordering compare_key_rule_lists(const std::vector<KeyRule>& a, const std::vector<KeyRule>& b) {
    return compare_arrays(a, b, [](const KeyRule& x, const KeyRule& y) {
        if (const std::strong_ordering order = compare_node_ptrs(x.key, y.key); order != 0) return order;
        return compare_node_ptrs(x.value, y.value);
    });
}

std::strong_ordering compare_constraint(const Constraint& a, const Constraint& b) {
    return compare_constraints(a, b);
}

std::strong_ordering compare_constraint_lists(const std::vector<Constraint>& a,
                                              const std::vector<Constraint>& b) {
    return compare_arrays(a, b, compare_constraints);
}

void hash_node(const SchemaNode& node, SipHash13& hasher) {
    with_native_stack([&] { hash_node_here(node, hasher); });
}

void hash_shape(const SequenceShape& shape, SipHash13& hasher) {
    with_native_stack([&] { hash_shape_here(shape, hasher); });
}

NodePtr clone_node(const SchemaNode& node) { return relocate(node, kNoRenumbering, 0); }

NodePtr clone_boxed_node(const NodePtr& node) { return node ? clone_node(*node) : nullptr; }

std::vector<NodePtr> clone_nodes(const std::vector<NodePtr>& nodes) {
    std::vector<NodePtr> copies;
    copies.reserve(nodes.size());
    for (const NodePtr& node : nodes) copies.push_back(clone_boxed_node(node));
    return copies;
}

SequenceShape clone_shape(const SequenceShape& shape) { return relocate_shape(shape, kNoRenumbering, 0); }

ShapePtr clone_boxed_shape(const ShapePtr& shape) {
    return shape ? std::make_unique<SequenceShape>(clone_shape(*shape)) : nullptr;
}

std::vector<SequenceShape> clone_shapes(const std::vector<SequenceShape>& shapes) {
    std::vector<SequenceShape> copies;
    copies.reserve(shapes.size());
    for (const SequenceShape& shape : shapes) copies.push_back(clone_shape(shape));
    return copies;
}

std::vector<Field> clone_fields(const std::vector<Field>& fields) {
    std::vector<Field> copies;
    copies.reserve(fields.size());
    for (const Field& field : fields) {
        copies.push_back(Field{field.name, clone_boxed_node(field.schema), field.required});
    }
    return copies;
}

std::vector<Constraint> clone_constraints(const std::vector<Constraint>& constraints) { return constraints; }

}  // namespace kestrune
