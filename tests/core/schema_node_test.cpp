#include "kestrune/core/schema_node.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "tree_builders.hpp"

namespace kestrune {
namespace {

using testing::item;
using testing::leaf;
using testing::list_of;

struct KindTextCase {
    const char* label;
    std::function<NodePtr()> build;
    std::string_view name;
    std::string_view code;
};

NodePtr refined(NodePtr base) {
    return make_refinement(std::move(base), list_of<Constraint>(Constraint::with_pattern("x")));
}

TEST(KindTexts, EveryKindAnswersItsFixedTexts) {
    const std::vector<KindTextCase> cases = {
        {"Anything", [] { return leaf(NodeKind::Anything); }, "anything", "anything"},
        {"Any", [] { return leaf(NodeKind::Any); }, "any", "any"},
        {"Nothing", [] { return leaf(NodeKind::Nothing); }, "nothing", "no_match"},
        {"NoneType", [] { return leaf(NodeKind::NoneType); }, "None", "none_type"},
        {"Bool", [] { return leaf(NodeKind::Bool); }, "bool", "bool_type"},
        {"Int", [] { return leaf(NodeKind::Int); }, "int", "int_type"},
        {"Float", [] { return leaf(NodeKind::Float); }, "float", "float_type"},
        {"Str", [] { return leaf(NodeKind::Str); }, "str", "string_type"},
        {"Bytes", [] { return leaf(NodeKind::Bytes); }, "bytes", "bytes_type"},
        {"Literal", [] { return make_literal(3); }, "literal", "literal_error"},
        {"list", [] { return make_sequence(SequenceKind::List, make_repeat(leaf(NodeKind::Int))); }, "list",
         "list_type"},
        {"list of fixed items",
         [] {
             return make_sequence(SequenceKind::List,
                                  SequenceShape::concat(list_of<SequenceShape>(item(leaf(NodeKind::Int)))));
         },
         "list", "list_type"},
        {"tuple", [] { return make_sequence(SequenceKind::Tuple, SequenceShape::concat({})); }, "tuple",
         "tuple_type"},
        {"tuple of a repeat", [] { return make_sequence(SequenceKind::Tuple, make_repeat(leaf(NodeKind::Int))); },
         "tuple", "tuple_type"},
        {"tuple of an alternation", [] { return make_sequence(SequenceKind::Tuple, SequenceShape::alternation({})); },
         "tuple", "tuple_type"},
        {"Set", [] { return make_set(leaf(NodeKind::Int)); }, "set", "set_type"},
        {"FrozenSet", [] { return make_frozen_set(leaf(NodeKind::Int)); }, "frozenset", "frozen_set_type"},
        {"Dict", [] { return make_dict({}, {}); }, "dict", "dict_type"},
        {"Union", [] { return make_union({}); }, "union", "union_error"},
        {"Intersection", [] { return make_intersection({}); }, "intersection", "intersection_error"},
        {"Complement", [] { return make_complement(leaf(NodeKind::Int)); }, "complement", "unexpected_match"},
        {"Instance", [] { return make_instance(1); }, "instance", "instance_type"},
        {"Object", [] { return make_object(1, {}); }, "object", "instance_type"},
        {"BackEdge", [] { return make_back_edge(0); }, "value", "recursion"},
        {"Placeholder", [] { return make_placeholder(0); }, "recursive value", "unresolved_recursion"},
        {"Refinement of Str", [] { return refined(leaf(NodeKind::Str)); }, "str", "string_type"},
        {"Refinement of a Refinement of Str", [] { return refined(refined(leaf(NodeKind::Str))); }, "str",
         "string_type"},
        {"Refinement of a tuple",
         [] { return refined(make_sequence(SequenceKind::Tuple, make_repeat(leaf(NodeKind::Int)))); }, "tuple",
         "tuple_type"},
        {"Refinement of a Refinement of an Object", [] { return refined(refined(make_object(0, {}))); }, "object",
         "instance_type"},
    };
    for (const KindTextCase& c : cases) {
        SCOPED_TRACE(c.label);
        const NodePtr node = c.build();
        EXPECT_EQ(kind_name(*node), c.name);
        EXPECT_EQ(error_code(*node), c.code);
    }
}

// The three leaf kinds stand for the schemas A, B and C of a shape.
constexpr NodeKind A = NodeKind::Int;
constexpr NodeKind B = NodeKind::Str;
constexpr NodeKind C = NodeKind::Bytes;

SequenceShape rep(SequenceShape inner) { return SequenceShape::repeat(std::move(inner)); }
SequenceShape seq(std::vector<SequenceShape> parts) { return SequenceShape::concat(std::move(parts)); }
template <class... Parts>
SequenceShape seq_of(Parts&&... parts) {
    return seq(list_of<SequenceShape>(std::forward<Parts>(parts)...));
}
SequenceShape it(NodeKind kind) { return item(leaf(kind)); }

struct SimpleShapeCase {
    const char* label;
    std::function<SequenceShape()> build;
    // nullopt: the shape has no simple view.
    std::optional<std::vector<NodeKind>> prefix;
    std::optional<NodeKind> rest;
};

TEST(SimpleShapeView, FixedItemsAndAtMostOneTrailingRepeat) {
    using V = std::vector<NodeKind>;
    const std::vector<SimpleShapeCase> cases = {
        {"Empty", [] { return SequenceShape::empty(); }, V{}, std::nullopt},
        {"Item(A)", [] { return it(A); }, V{A}, std::nullopt},
        {"Repeat(Item(B))", [] { return rep(it(B)); }, V{}, B},
        {"Concat[]", [] { return seq({}); }, V{}, std::nullopt},
        {"Concat[A, C]", [] { return seq_of(it(A), it(C)); }, V{A, C}, std::nullopt},
        {"Concat[A, Repeat(B)]", [] { return seq_of(it(A), rep(it(B))); }, V{A}, B},
        {"Concat[Repeat(B)]", [] { return seq_of(rep(it(B))); }, V{}, B},
        {"Concat[A, Repeat(B), C]", [] { return seq_of(it(A), rep(it(B)), it(C)); }, std::nullopt, std::nullopt},
        {"Concat[Repeat(B), Repeat(C)]", [] { return seq_of(rep(it(B)), rep(it(C))); }, std::nullopt, std::nullopt},
        {"Concat[A, Empty]", [] { return seq_of(it(A), SequenceShape::empty()); }, std::nullopt, std::nullopt},
        {"Concat[Concat[A]]", [] { return seq_of(seq_of(it(A))); }, std::nullopt, std::nullopt},
        {"Concat[A, Repeat(Repeat(B))]", [] { return seq_of(it(A), rep(rep(it(B)))); }, std::nullopt, std::nullopt},
        {"Concat[A, Alternation[B]]",
         [] { return seq_of(it(A), SequenceShape::alternation(list_of<SequenceShape>(it(B)))); }, std::nullopt,
         std::nullopt},
        {"Repeat(Concat[A])", [] { return rep(seq_of(it(A))); }, std::nullopt, std::nullopt},
        {"Repeat(Repeat(A))", [] { return rep(rep(it(A))); }, std::nullopt, std::nullopt},
        {"Repeat(Empty)", [] { return rep(SequenceShape::empty()); }, std::nullopt, std::nullopt},
        {"Alternation[]", [] { return SequenceShape::alternation({}); }, std::nullopt, std::nullopt},
        {"Alternation[A]", [] { return SequenceShape::alternation(list_of<SequenceShape>(it(A))); }, std::nullopt,
         std::nullopt},
    };
    for (const SimpleShapeCase& c : cases) {
        SCOPED_TRACE(c.label);
        const SequenceShape shape = c.build();
        const std::optional<SimpleShape> simple = simple_shape(shape);
        ASSERT_EQ(simple.has_value(), c.prefix.has_value());
        if (!simple) continue;
        std::vector<NodeKind> prefix;
        for (std::size_t i = 0; i < simple->prefix.size(); ++i) prefix.push_back(simple->prefix[i]->kind);
        EXPECT_EQ(prefix, *c.prefix);
        ASSERT_EQ(simple->rest != nullptr, c.rest.has_value());
        if (c.rest) {
            EXPECT_EQ(simple->rest->kind, *c.rest);
        }
    }
}

TEST(SimpleShapeView, BorrowsTheShapesOwnNodes) {
    const SequenceShape shape = seq_of(it(A), it(C), rep(it(B)));
    const std::optional<SimpleShape> simple = simple_shape(shape);
    ASSERT_TRUE(simple);
    ASSERT_EQ(simple->prefix.size(), 2u);
    EXPECT_EQ(simple->prefix[0], shape.parts[0].item.get());
    EXPECT_EQ(simple->prefix[1], shape.parts[1].item.get());
    EXPECT_EQ(simple->rest, shape.parts[2].inner->item.get());
}

TEST(Constructors, MakeMappingIsAMappingWithOneRuleEvenForStrKeys) {
    NodePtr key = leaf(NodeKind::Str);
    NodePtr value = leaf(NodeKind::Int);
    const SchemaNode* key_address = key.get();
    const SchemaNode* value_address = value.get();
    const NodePtr mapping = make_mapping(std::move(key), std::move(value));
    EXPECT_EQ(mapping->kind, NodeKind::Dict);
    EXPECT_TRUE(mapping->fields.empty());
    ASSERT_EQ(mapping->rules.size(), 1u);
    EXPECT_EQ(mapping->rules[0].key.get(), key_address);
    EXPECT_EQ(mapping->rules[0].value.get(), value_address);
}

TEST(Constructors, MakeRepeatWrapsTheItemItTakesOver) {
    NodePtr element = leaf(NodeKind::Float);
    const SchemaNode* address = element.get();
    const SequenceShape shape = make_repeat(std::move(element));
    ASSERT_EQ(shape.kind, ShapeKind::Repeat);
    ASSERT_TRUE(shape.inner);
    EXPECT_EQ(shape.inner->kind, ShapeKind::Item);
    EXPECT_EQ(shape.inner->item.get(), address);
    EXPECT_TRUE(shape.parts.empty());
}

}  // namespace
}  // namespace kestrune
