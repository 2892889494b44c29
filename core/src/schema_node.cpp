#include "kestrune/core/schema_node.hpp"

#include <utility>

namespace kestrune {

namespace {

// Visits every owned child slot of a node or shape; null slots are skipped.
template <class OnNode, class OnShape>
void for_each_child(SchemaNode& node, OnNode on_node, OnShape on_shape) {
    if (node.child) on_node(node.child);
    if (node.shape) on_shape(*node.shape);
    for (NodePtr& member : node.members) {
        if (member) on_node(member);
    }
    for (Field& field : node.fields) {
        if (field.schema) on_node(field.schema);
    }
    for (KeyRule& rule : node.rules) {
        if (rule.key) on_node(rule.key);
        if (rule.value) on_node(rule.value);
    }
}

template <class OnNode, class OnShape>
void for_each_child(SequenceShape& shape, OnNode on_node, OnShape on_shape) {
    if (shape.item) on_node(shape.item);
    for (SequenceShape& part : shape.parts) on_shape(part);
    if (shape.inner) on_shape(*shape.inner);
}

bool has_children(const SchemaNode& node) {
    return node.child || node.shape || !node.members.empty() || !node.fields.empty() || !node.rules.empty();
}

bool has_children(const SequenceShape& shape) { return shape.item || !shape.parts.empty() || shape.inner; }

void drop_emptied_slots(SchemaNode& node) {
    node.shape.reset();
    node.members.clear();
    node.fields.clear();
    node.rules.clear();
}

void drop_emptied_slots(SequenceShape& shape) {
    shape.parts.clear();
    shape.inner.reset();
}

// Destruction works through explicit lists instead of the call stack: a node or
// shape is emptied of its children before it dies, so its own destructor takes
// the fast path and the depth of the tree never reaches the native stack.
struct PendingTrees {
    std::vector<NodePtr> nodes;
    std::vector<SequenceShape> shapes;

    template <class Tree>
    void take_children(Tree& tree) {
        for_each_child(
            tree, [&](NodePtr& node) { nodes.push_back(std::move(node)); },
            [&](SequenceShape& shape) { shapes.push_back(std::move(shape)); });
        drop_emptied_slots(tree);
    }

    void drain() {
        while (!nodes.empty() || !shapes.empty()) {
            if (!nodes.empty()) {
                NodePtr node = std::move(nodes.back());
                nodes.pop_back();
                take_children(*node);
            } else {
                SequenceShape shape = std::move(shapes.back());
                shapes.pop_back();
                take_children(shape);
            }
        }
    }
};

template <class Tree>
void destroy_children(Tree& tree) {
    if (!has_children(tree)) return;
    // Children without children of their own die one level down on the usual
    // path; only a deeper tree pays for the pending lists.
    bool shallow = true;
    for_each_child(
        tree, [&](NodePtr& node) { shallow = shallow && !has_children(*node); },
        [&](SequenceShape& shape) { shallow = shallow && !has_children(shape); });
    if (shallow) return;
    PendingTrees pending;
    pending.take_children(tree);
    pending.drain();
}

NodePtr make_indexed(NodeKind kind, std::uint64_t index) {
    auto node = std::make_unique<SchemaNode>(kind);
    node->index = index;
    return node;
}

NodePtr make_with_child(NodeKind kind, NodePtr child) {
    auto node = std::make_unique<SchemaNode>(kind);
    node->child = std::move(child);
    return node;
}

NodePtr make_with_members(NodeKind kind, std::vector<NodePtr> members) {
    auto node = std::make_unique<SchemaNode>(kind);
    node->members = std::move(members);
    return node;
}

SequenceShape make_shape(ShapeKind kind) {
    SequenceShape shape;
    shape.kind = kind;
    return shape;
}

SequenceShape make_shape_with_parts(ShapeKind kind, std::vector<SequenceShape> parts) {
    SequenceShape shape = make_shape(kind);
    shape.parts = std::move(parts);
    return shape;
}

const SchemaNode& innermost_base(const SchemaNode& node) {
    const SchemaNode* current = &node;
    while (current->kind == NodeKind::Refinement && current->child) current = current->child.get();
    return *current;
}

struct KindTexts {
    std::string_view name;
    std::string_view code;
};

KindTexts kind_texts(const SchemaNode& node) {
    const SchemaNode& base = innermost_base(node);
    switch (base.kind) {
        case NodeKind::Anything: return {"anything", "anything"};
        case NodeKind::Any: return {"any", "any"};
        case NodeKind::Nothing: return {"nothing", "no_match"};
        case NodeKind::NoneType: return {"None", "none_type"};
        case NodeKind::Bool: return {"bool", "bool_type"};
        case NodeKind::Int: return {"int", "int_type"};
        case NodeKind::Float: return {"float", "float_type"};
        case NodeKind::Str: return {"str", "string_type"};
        case NodeKind::Bytes: return {"bytes", "bytes_type"};
        case NodeKind::Literal: return {"literal", "literal_error"};
        case NodeKind::Sequence:
            return base.sequence_kind == SequenceKind::List ? KindTexts{"list", "list_type"}
                                                            : KindTexts{"tuple", "tuple_type"};
        case NodeKind::Set: return {"set", "set_type"};
        case NodeKind::FrozenSet: return {"frozenset", "frozen_set_type"};
        case NodeKind::Dict: return {"dict", "dict_type"};
        case NodeKind::Union: return {"union", "union_error"};
        case NodeKind::Intersection: return {"intersection", "intersection_error"};
        case NodeKind::Complement: return {"complement", "unexpected_match"};
        case NodeKind::Instance: return {"instance", "instance_type"};
        case NodeKind::Object: return {"object", "instance_type"};
        // Only a refinement without a base ends the descent on a Refinement.
        case NodeKind::Refinement: return {"refinement", "refinement"};
        case NodeKind::BackEdge: return {"value", "recursion"};
        case NodeKind::Placeholder: return {"recursive value", "unresolved_recursion"};
    }
    return {"unknown", "unknown"};
}

bool is_repeated_item(const SequenceShape& shape) {
    return shape.kind == ShapeKind::Repeat && shape.inner && shape.inner->kind == ShapeKind::Item;
}

}  // namespace

Constraint Constraint::with_operand(ConstraintKind kind, std::uint64_t operand) {
    Constraint constraint;
    constraint.kind = kind;
    constraint.operand = operand;
    return constraint;
}

Constraint Constraint::with_pattern(std::string pattern) {
    Constraint constraint;
    constraint.kind = ConstraintKind::Pattern;
    constraint.pattern = std::move(pattern);
    return constraint;
}

SequenceShape::~SequenceShape() { destroy_children(*this); }

SchemaNode::~SchemaNode() { destroy_children(*this); }

SequenceShape SequenceShape::empty() { return make_shape(ShapeKind::Empty); }

SequenceShape SequenceShape::of_item(NodePtr item) {
    SequenceShape shape = make_shape(ShapeKind::Item);
    shape.item = std::move(item);
    return shape;
}

SequenceShape SequenceShape::concat(std::vector<SequenceShape> parts) {
    return make_shape_with_parts(ShapeKind::Concat, std::move(parts));
}

SequenceShape SequenceShape::alternation(std::vector<SequenceShape> parts) {
    return make_shape_with_parts(ShapeKind::Alternation, std::move(parts));
}

SequenceShape SequenceShape::repeat(SequenceShape inner) {
    SequenceShape shape = make_shape(ShapeKind::Repeat);
    shape.inner = std::make_unique<SequenceShape>(std::move(inner));
    return shape;
}

NodePtr make_leaf(NodeKind kind) { return std::make_unique<SchemaNode>(kind); }
NodePtr make_literal(std::uint64_t constant) { return make_indexed(NodeKind::Literal, constant); }
NodePtr make_instance(std::uint64_t class_index) { return make_indexed(NodeKind::Instance, class_index); }
NodePtr make_back_edge(std::uint64_t target) { return make_indexed(NodeKind::BackEdge, target); }
NodePtr make_placeholder(std::uint64_t id) { return make_indexed(NodeKind::Placeholder, id); }

NodePtr make_sequence(SequenceKind kind, SequenceShape shape) {
    auto node = std::make_unique<SchemaNode>(NodeKind::Sequence);
    node->sequence_kind = kind;
    node->shape = std::make_unique<SequenceShape>(std::move(shape));
    return node;
}

NodePtr make_set(NodePtr element) { return make_with_child(NodeKind::Set, std::move(element)); }
NodePtr make_frozen_set(NodePtr element) { return make_with_child(NodeKind::FrozenSet, std::move(element)); }
NodePtr make_complement(NodePtr child) { return make_with_child(NodeKind::Complement, std::move(child)); }

NodePtr make_dict(std::vector<Field> fields, std::vector<KeyRule> rules) {
    auto node = std::make_unique<SchemaNode>(NodeKind::Dict);
    node->fields = std::move(fields);
    node->rules = std::move(rules);
    return node;
}

NodePtr make_union(std::vector<NodePtr> members) {
    return make_with_members(NodeKind::Union, std::move(members));
}

NodePtr make_intersection(std::vector<NodePtr> members) {
    return make_with_members(NodeKind::Intersection, std::move(members));
}

NodePtr make_object(std::uint64_t class_index, std::vector<Field> attributes) {
    NodePtr node = make_indexed(NodeKind::Object, class_index);
    node->fields = std::move(attributes);
    return node;
}

NodePtr make_refinement(NodePtr base, std::vector<Constraint> constraints) {
    NodePtr node = make_with_child(NodeKind::Refinement, std::move(base));
    node->constraints = std::move(constraints);
    return node;
}

NodePtr make_mapping(NodePtr key, NodePtr value) {
    std::vector<KeyRule> rules;
    rules.push_back(KeyRule{std::move(key), std::move(value)});
    return make_dict({}, std::move(rules));
}

SequenceShape make_repeat(NodePtr item) { return SequenceShape::repeat(SequenceShape::of_item(std::move(item))); }

std::string_view kind_name(const SchemaNode& node) { return kind_texts(node).name; }

std::string_view error_code(const SchemaNode& node) { return kind_texts(node).code; }

std::optional<SimpleShape> simple_shape(const SequenceShape& shape) {
    switch (shape.kind) {
        case ShapeKind::Empty: return SimpleShape{};
        case ShapeKind::Item: return SimpleShape{SimpleShape::Items({&shape, 1}), nullptr};
        case ShapeKind::Repeat:
            if (!is_repeated_item(shape)) return std::nullopt;
            return SimpleShape{{}, shape.inner->item.get()};
        case ShapeKind::Alternation: return std::nullopt;
        case ShapeKind::Concat: {
            const std::span<const SequenceShape> parts(shape.parts);
            std::size_t items = 0;
            while (items < parts.size() && parts[items].kind == ShapeKind::Item) ++items;
            if (items == parts.size()) return SimpleShape{SimpleShape::Items(parts), nullptr};
            if (items + 1 != parts.size() || !is_repeated_item(parts[items])) return std::nullopt;
            return SimpleShape{SimpleShape::Items(parts.first(items)), parts[items].inner->item.get()};
        }
    }
    return std::nullopt;
}

}  // namespace kestrune
