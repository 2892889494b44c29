// Simplification: lattice laws, negation-normal form and merged refinements.
#include "kestrune/core/simplify.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "schema_shorthand.hpp"

namespace kestrune {
namespace {

using namespace testing;

struct SimplifyCase {
    const char* label;
    std::function<NodePtr()> input;
    std::function<NodePtr()> expected;
};

void expect_cases(const std::vector<SimplifyCase>& cases) {
    for (const SimplifyCase& c : cases) {
        const NodePtr input = c.input();
        const NodePtr before = clone_node(*input);
        const NodePtr result = simplify_node(*input);
        EXPECT_TRUE(equal_nodes(*result, *c.expected())) << c.label;
        EXPECT_TRUE(equal_nodes(*input, *before)) << c.label << ": the input changed";
    }
}

NodePtr all_atoms() { return union_of(none_type(), boolean(), integer(), floating(), text(), bytes()); }

TEST(SimplifyNode, Unions) {
    expect_cases({
        {"sorted by kind", [] { return union_of(integer(), boolean()); }, [] { return union_of(boolean(), integer()); }},
        {"x | ~x", [] { return union_of(integer(), complement_of(integer())); }, anything},
        {"the classes cover everything", [] { return union_of(all_atoms(), complement_of(all_atoms())); }, anything},
        {"Union[]", [] { return union_of(); }, nothing},
        {"one member", [] { return union_of(text()); }, text},
        {"Nothing is dropped", [] { return union_of(text(), nothing()); }, text},
        {"Anything absorbs", [] { return union_of(integer(), anything()); }, anything},
        {"flattened", [] { return union_of(integer(), union_of(text(), bytes())); },
         [] { return union_of(integer(), text(), bytes()); }},
        {"duplicates removed", [] { return union_of(make_literal(1), make_literal(1)); }, [] { return make_literal(1); }},
        {"literals stay apart by pool index", [] { return union_of(make_literal(4), make_literal(2)); },
         [] { return union_of(make_literal(2), make_literal(4)); }},
        {"complements of disjoint kinds",
         [] { return union_of(complement_of(list_of_items(integer())), complement_of(tuple_of_items(integer()))); },
         anything},
        {"complements of overlapping kinds",
         [] { return union_of(complement_of(make_literal(1)), complement_of(text())); },
         [] { return union_of(complement_of(text()), complement_of(make_literal(1))); }},
        {"no subsumption", [] { return union_of(boolean(), integer()); }, [] { return union_of(boolean(), integer()); }},
        {"Any is opaque", [] { return union_of(any(), complement_of(any())); },
         [] { return union_of(any(), complement_of(any())); }},
        {"the union of exact classes short of all", [] { return union_of(integer(), make_literal(1), text()); },
         [] { return union_of(integer(), text(), make_literal(1)); }},
    });
}

TEST(SimplifyNode, Intersections) {
    expect_cases({
        {"Intersection[]", [] { return intersection_of(); }, anything},
        {"Anything dropped, empty intersection spliced", [] { return intersection_of(integer(), intersection_of()); },
         integer},
        {"by classes", [] { return intersection_of(integer(), text()); }, nothing},
        {"by kind classes", [] { return intersection_of(list_of_items(integer()), make_mapping(text(), integer())); },
         nothing},
        {"a literal is not exact", [] { return intersection_of(make_literal(1), text()); },
         [] { return intersection_of(text(), make_literal(1)); }},
        {"x & ~x", [] { return intersection_of(make_literal(1), complement_of(make_literal(1))); }, nothing},
        {"Nothing absorbs", [] { return intersection_of(make_literal(1), nothing()); }, nothing},
        {"flattened and deduplicated",
         [] { return intersection_of(make_literal(2), intersection_of(make_literal(1), make_literal(2))); },
         [] { return intersection_of(make_literal(1), make_literal(2)); }},
        {"no subsumption", [] { return intersection_of(boolean(), integer()); },
         [] { return intersection_of(boolean(), integer()); }},
    });
}

TEST(SimplifyNode, Complements) {
    expect_cases({
        {"De Morgan over a union", [] { return complement_of(union_of(integer(), text())); },
         [] { return intersection_of(complement_of(integer()), complement_of(text())); }},
        {"De Morgan over an intersection", [] { return complement_of(intersection_of(make_literal(1), make_instance(2))); },
         [] { return union_of(complement_of(make_literal(1)), complement_of(make_instance(2))); }},
        {"double complement", [] { return complement_of(complement_of(list_of_items(integer()))); },
         [] { return list_of_items(integer()); }},
        {"~Anything", [] { return complement_of(anything()); }, nothing},
        {"~Nothing", [] { return complement_of(nothing()); }, anything},
        {"nested alternation in negation-normal form",
         [] { return complement_of(union_of(make_literal(1), intersection_of(make_literal(2), complement_of(make_literal(3))))); },
         [] {
             return intersection_of(union_of(make_literal(3), complement_of(make_literal(2))),
                                    complement_of(make_literal(1)));
         }},
        {"a complemented member that absorbs", [] { return complement_of(union_of(make_literal(1), anything())); },
         nothing},
    });
}

TEST(SimplifyNode, Refinements) {
    expect_cases({
        {"a chain merged, constraints sorted", [] { return refine(refine(integer(), le(10)), ge(0)); },
         [] { return refine(integer(), ge(0), le(10)); }},
        {"duplicates removed", [] { return refine(text(), min_length(2), min_length(2), min_length(2)); },
         [] { return refine(text(), min_length(2)); }},
        {"variant first, then operand", [] { return refine(integer(), ge(9), gt(7), ge(3)); },
         [] { return refine(integer(), ge(3), ge(9), gt(7)); }},
        {"patterns by bytes, a prefix first",
         [] { return refine(text(), Constraint::with_pattern("ab"), Constraint::with_pattern("a")); },
         [] { return refine(text(), Constraint::with_pattern("a"), Constraint::with_pattern("ab")); }},
        {"the base is simplified", [] { return refine(union_of(text(), nothing()), min_length(1)); },
         [] { return refine(text(), min_length(1)); }},
        {"a refinement without constraints is its base", [] { return make_refinement(union_of(text()), {}); }, text},
    });
}

TEST(SimplifyNode, OtherKindsKeepTheirStructure) {
    using S = SequenceShape;
    expect_cases({
        {"dict fields and rules keep their order",
         [] {
             return make_dict(list_of<Field>(field("b", union_of(text())), field("a", integer(), false)),
                              list_of<KeyRule>(rule(union_of(bytes()), integer()), rule(text(), integer())));
         },
         [] {
             return make_dict(list_of<Field>(field("b", text()), field("a", integer(), false)),
                              list_of<KeyRule>(rule(bytes(), integer()), rule(text(), integer())));
         }},
        {"shapes keep every variant",
         [] {
             return make_sequence(SequenceKind::Tuple,
                                  S::alternation(list_of<S>(S::empty(), S::concat(list_of<S>(item(union_of(text())))),
                                                            S::repeat(S::repeat(item(union_of(bytes())))))));
         },
         [] {
             return make_sequence(SequenceKind::Tuple,
                                  S::alternation(list_of<S>(S::empty(), S::concat(list_of<S>(item(text()))),
                                                            S::repeat(S::repeat(item(bytes()))))));
         }},
        {"object attributes", [] { return make_object(2, list_of<Field>(field("x", union_of(integer())))); },
         [] { return make_object(2, list_of<Field>(field("x", integer()))); }},
        {"set and frozenset elements", [] { return make_set(make_frozen_set(union_of(none_type()))); },
         [] { return make_set(make_frozen_set(none_type())); }},
        {"a back edge is opaque", [] { return make_back_edge(3); }, [] { return make_back_edge(3); }},
        {"a placeholder too", [] { return make_placeholder(3); }, [] { return make_placeholder(3); }},
    });
}

// Wherever simplify reaches, no complement surrounds a lattice node or a constant
// set, and no union or intersection holds its own kind, its identity or its
// absorbing element, or fewer than two sorted distinct members.
void expect_result_form(const SchemaNode& node) {
    switch (node.kind) {
        case NodeKind::Complement: {
            const NodeKind child = node.child->kind;
            EXPECT_TRUE(child != NodeKind::Anything && child != NodeKind::Nothing && child != NodeKind::Union &&
                        child != NodeKind::Intersection && child != NodeKind::Complement);
            expect_result_form(*node.child);
            break;
        }
        case NodeKind::Union:
        case NodeKind::Intersection:
            ASSERT_GE(node.members.size(), 2u);
            for (std::size_t i = 0; i < node.members.size(); ++i) {
                const NodeKind kind = node.members[i]->kind;
                EXPECT_TRUE(kind != node.kind && kind != NodeKind::Anything && kind != NodeKind::Nothing);
                if (i > 0) {
                    EXPECT_TRUE(compare_nodes(*node.members[i - 1], *node.members[i]) < 0);
                }
                expect_result_form(*node.members[i]);
            }
            break;
        case NodeKind::Refinement:
            EXPECT_NE(node.child->kind, NodeKind::Refinement);
            EXPECT_FALSE(node.constraints.empty());
            expect_result_form(*node.child);
            break;
        default: break;
    }
}

TEST(SimplifyNode, ResultFormOfANestedMixture) {
    const NodePtr input = complement_of(union_of(
        intersection_of(complement_of(union_of(make_literal(3), make_literal(1))), make_instance(4),
                        intersection_of(make_literal(1), anything())),
        complement_of(complement_of(refine(refine(make_instance(5), ge(1)), ge(1)))), nothing(),
        union_of(make_literal(2), complement_of(intersection_of(make_instance(6), make_literal(7))))));
    const NodePtr result = simplify_node(*input);
    expect_result_form(*result);
    const NodePtr again = simplify_node(*result);
    EXPECT_TRUE(equal_nodes(*again, *result)) << "simplify reaches a fixed point";
}

TEST(Normalize, TakesSimplifiedMembersDirectly) {
    EXPECT_EQ(normalize_union({})->kind, NodeKind::Nothing);
    EXPECT_EQ(normalize_intersection({})->kind, NodeKind::Anything);
    EXPECT_EQ(normalize_intersection(list_of<NodePtr>(nothing(), make_literal(1)))->kind, NodeKind::Nothing);
    EXPECT_EQ(normalize_union(list_of<NodePtr>(complement_of(nothing()), complement_of(integer())))->kind,
              NodeKind::Anything)
        << "the complement of Nothing covers every class";
    const std::vector<NodePtr> pushed = push_complement_members(list_of<NodePtr>(integer(), complement_of(text())));
    EXPECT_TRUE(equal_nodes(*pushed[0], *complement_of(integer())));
    EXPECT_TRUE(equal_nodes(*pushed[1], *text()));
}

}  // namespace
}  // namespace kestrune
