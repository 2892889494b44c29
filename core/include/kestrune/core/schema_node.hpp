// The compiled schema term.
//
// A tree holds no Python object: constants enter it as indexes into the owning
// validator's constants pool and recursion as indexes into its definitions, so a
// tree only means something together with those two lists.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

enum class NodeKind : std::uint8_t {
    Anything = 0,
    Any = 1,
    Nothing = 2,
    NoneType = 3,
    Bool = 4,
    Int = 5,
    Float = 6,
    Str = 7,
    Bytes = 8,
    Literal = 9,
    Sequence = 10,
    Set = 11,
    FrozenSet = 12,
    Dict = 13,
    Union = 14,
    Intersection = 15,
    Complement = 16,
    Instance = 17,
    Object = 18,
    Refinement = 19,
    BackEdge = 20,
    Placeholder = 21,
};

enum class SequenceKind : std::uint8_t { List = 0, Tuple = 1 };

enum class ShapeKind : std::uint8_t { Empty = 0, Item = 1, Concat = 2, Alternation = 3, Repeat = 4 };

enum class ConstraintKind : std::uint8_t {
    Ge = 0,
    Gt = 1,
    Le = 2,
    Lt = 3,
    MinLength = 4,
    MaxLength = 5,
    MultipleOf = 6,
    Func = 7,
    Pattern = 8,
};

struct SchemaNode;
struct SequenceShape;

// Children are owned outright; no node is ever shared between two trees.
using NodePtr = std::unique_ptr<SchemaNode>;
using ShapePtr = std::unique_ptr<SequenceShape>;

// One condition of a Refinement. `operand` is the pool index of a bound, divisor or
// predicate (Ge..Lt, MultipleOf, Func) or the count (MinLength, MaxLength); `pattern`
// is the regular expression exactly as written, used only by Pattern.
struct Constraint {
    ConstraintKind kind = ConstraintKind::Ge;
    std::uint64_t operand = 0;
    std::string pattern;

    static Constraint with_operand(ConstraintKind kind, std::uint64_t operand);
    static Constraint with_pattern(std::string pattern);
};

// A declared record key or object attribute.
struct Field {
    std::string name;
    NodePtr schema;
    bool required = true;
};

// Admits undeclared keys of a Dict: the key must lie in `key`, its value in `value`.
struct KeyRule {
    NodePtr key;
    NodePtr value;
};

// The item pattern of a Sequence. `item` is used by Item, `parts` by Concat and
// Alternation, `inner` by Repeat.
struct SequenceShape {
    ShapeKind kind = ShapeKind::Empty;
    NodePtr item;
    std::vector<SequenceShape> parts;
    ShapePtr inner;

    SequenceShape() = default;
    SequenceShape(SequenceShape&&) noexcept = default;
    SequenceShape& operator=(SequenceShape&&) noexcept = default;
    ~SequenceShape();  // iterative: arbitrarily deep shapes are destroyed without recursion

    static SequenceShape empty();
    static SequenceShape of_item(NodePtr item);
    static SequenceShape concat(std::vector<SequenceShape> parts);
    static SequenceShape alternation(std::vector<SequenceShape> parts);
    static SequenceShape repeat(SequenceShape inner);
};

// A tagged value of 22 kinds. Only the payload members of `kind` are meaningful:
//   index        Literal.constant, Instance/Object.class_index, BackEdge.target, Placeholder.id
//   child        Set/FrozenSet.element, Complement.child, Refinement.base
//   sequence_kind, shape   Sequence
//   members      Union, Intersection
//   fields       Dict.fields, Object.attributes
//   rules        Dict
//   constraints  Refinement
struct SchemaNode {
    NodeKind kind = NodeKind::Anything;
    SequenceKind sequence_kind = SequenceKind::List;
    std::uint64_t index = 0;
    NodePtr child;
    ShapePtr shape;
    std::vector<NodePtr> members;
    std::vector<Field> fields;
    std::vector<KeyRule> rules;
    std::vector<Constraint> constraints;

    SchemaNode() = default;
    explicit SchemaNode(NodeKind kind) : kind(kind) {}
    SchemaNode(const SchemaNode&) = delete;
    SchemaNode& operator=(const SchemaNode&) = delete;
    ~SchemaNode();  // iterative: arbitrarily deep trees are destroyed without recursion
};

// Builders; each returns a fresh node that takes over its arguments.
NodePtr make_leaf(NodeKind kind);  // kinds without payload (Anything .. Bytes)
NodePtr make_literal(std::uint64_t constant);
NodePtr make_instance(std::uint64_t class_index);
NodePtr make_back_edge(std::uint64_t target);
NodePtr make_placeholder(std::uint64_t id);
NodePtr make_sequence(SequenceKind kind, SequenceShape shape);
NodePtr make_set(NodePtr element);
NodePtr make_frozen_set(NodePtr element);
NodePtr make_dict(std::vector<Field> fields, std::vector<KeyRule> rules);
NodePtr make_union(std::vector<NodePtr> members);
NodePtr make_intersection(std::vector<NodePtr> members);
NodePtr make_complement(NodePtr child);
NodePtr make_object(std::uint64_t class_index, std::vector<Field> attributes);
NodePtr make_refinement(NodePtr base, std::vector<Constraint> constraints);

// dict[K, V]: a mapping (no fields) with the single rule K -> V.
NodePtr make_mapping(NodePtr key, NodePtr value);
// list[T] / tuple[T, ...]: Repeat(Item(T)).
SequenceShape make_repeat(NodePtr item);

// Fixed texts, never allocated. A Sequence answers by its list-or-tuple tag, a
// Refinement by its innermost non-Refinement base.
std::string_view kind_name(const SchemaNode& node);
std::string_view error_code(const SchemaNode& node);

// The simple view of a shape: fixed leading items and an optional repeated rest.
// It borrows from the shape and lives no longer than it.
// Nothing is allocated: the walk takes this view of every sequence it checks.
struct SimpleShape {
    // The leading Item shapes, each read as its node.
    class Items {
    public:
        Items() = default;
        explicit Items(std::span<const SequenceShape> items) : items_(items) {}
        std::size_t size() const { return items_.size(); }
        bool empty() const { return items_.empty(); }
        const SchemaNode* operator[](std::size_t i) const { return items_[i].item.get(); }

    private:
        std::span<const SequenceShape> items_;
    };

    Items prefix;
    const SchemaNode* rest = nullptr;
};
std::optional<SimpleShape> simple_shape(const SequenceShape& shape);

}  // namespace kestrune
