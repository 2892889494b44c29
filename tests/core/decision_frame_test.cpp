// Atom masks, kind classes and the step budget.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "kestrune/core/atom_mask.hpp"
#include "kestrune/core/decision_context.hpp"
#include "kestrune/core/kind_class.hpp"
#include "schema_shorthand.hpp"

namespace kestrune {
namespace {

using namespace testing;

struct MaskCase {
    const char* label;
    std::function<NodePtr()> build;
    bool exact;
    std::uint8_t classes;
};

TEST(AtomMask, ExactForAtomsAndTheirBooleanCombinationsOnly) {
    const std::vector<MaskCase> cases = {
        {"Anything", [] { return anything(); }, true, 0x7F},
        {"Nothing", [] { return nothing(); }, true, 0x00},
        {"Int admits booleans", [] { return integer(); }, true, 0x06},
        {"Union[]", [] { return union_of(); }, true, 0x00},
        {"Intersection[]", [] { return intersection_of(); }, true, 0x7F},
        {"Complement(Int)", [] { return complement_of(integer()); }, true, 0x79},
        {"Complement(Complement(Str))", [] { return complement_of(complement_of(text())); }, true, 0x10},
        {"Union[Int, Str]", [] { return union_of(integer(), text()); }, true, 0x16},
        {"Intersection[Int, Complement(Bool)]", [] { return intersection_of(integer(), complement_of(boolean())); },
         true, 0x04},
        {"Union[Int, Literal]", [] { return union_of(integer(), make_literal(1)); }, false, 0},
        {"Intersection[Literal, Int]", [] { return intersection_of(make_literal(1), integer()); }, false, 0},
        {"Any", [] { return any(); }, false, 0},
        {"Refinement of Int", [] { return refine(integer(), ge(0)); }, false, 0},
        {"Literal", [] { return make_literal(1); }, false, 0},
        {"BackEdge is not followed", [] { return make_back_edge(0); }, false, 0},
        {"Complement(Any)", [] { return complement_of(any()); }, false, 0},
        {"list[int]", [] { return list_of_items(integer()); }, false, 0},
    };
    for (const MaskCase& c : cases) {
        const AtomMask mask = atom_mask(*c.build());
        EXPECT_EQ(mask.exact, c.exact) << c.label;
        if (c.exact) {
            EXPECT_EQ(mask.classes, c.classes) << c.label;
        }
    }
}

TEST(KindClass, OutermostConstructorWithRefinementsPeeled) {
    EXPECT_EQ(kind_class(*list_of_items(integer())), KindClass::List);
    EXPECT_EQ(kind_class(*tuple_of(integer())), KindClass::Tuple);
    EXPECT_EQ(kind_class(*make_literal(3)), KindClass::Other);
    EXPECT_EQ(kind_class(*refine(refine(text(), min_length(1)), max_length(3))), KindClass::Str);
    EXPECT_EQ(kind_class(*refine(nothing(), ge(0))), KindClass::Other);
    EXPECT_EQ(kind_class(*make_mapping(text(), integer())), KindClass::Dict);
    EXPECT_EQ(kind_class(*make_frozen_set(integer())), KindClass::FrozenSet);
}

struct DisjointCase {
    const char* label;
    std::function<NodePtr()> a;
    std::function<NodePtr()> b;
    bool disjoint;
};

TEST(KindClass, DisjointPairs) {
    const std::vector<DisjointCase> cases = {
        {"bool and int share every boolean", [] { return boolean(); }, [] { return integer(); }, false},
        {"int and float", [] { return integer(); }, [] { return floating(); }, true},
        {"list and tuple", [] { return list_of_items(integer()); }, [] { return tuple_of_items(integer()); }, true},
        {"set and frozenset", [] { return make_set(integer()); }, [] { return make_frozen_set(integer()); }, true},
        {"str and a literal", [] { return text(); }, [] { return make_literal(0); }, false},
        {"Nothing and Anything", [] { return nothing(); }, [] { return anything(); }, true},
        {"refined Nothing is of class other", [] { return refine(nothing(), ge(0)); }, [] { return integer(); },
         false},
        {"refined int and str", [] { return refine(integer(), ge(0)); }, [] { return text(); }, true},
        {"the same class", [] { return text(); }, [] { return refine(text(), min_length(1)); }, false},
    };
    for (const DisjointCase& c : cases) {
        EXPECT_EQ(are_kinds_disjoint(*c.a(), *c.b()), c.disjoint) << c.label;
        EXPECT_EQ(are_kinds_disjoint(*c.b(), *c.a()), c.disjoint) << c.label << " (swapped)";
    }
}

// The one-pass finder must agree with testing every pair.
TEST(KindClass, DisjointPairFinderAgreesWithThePairwiseTest) {
    std::vector<std::function<NodePtr()>> pool = {
        [] { return boolean(); }, [] { return integer(); },  [] { return floating(); },
        [] { return nothing(); }, [] { return make_literal(0); }, [] { return list_of_items(integer()); },
    };
    // Every multiset of up to three entries of the pool, as index triples (6 = absent).
    for (int i = 0; i < 7; ++i) {
        for (int j = 0; j < 7; ++j) {
            for (int k = 0; k < 7; ++k) {
                std::vector<NodePtr> nodes;
                for (int index : {i, j, k}) {
                    if (index < 6) nodes.push_back(pool[index]());
                }
                bool pairwise = false;
                for (std::size_t x = 0; x < nodes.size(); ++x) {
                    for (std::size_t y = x + 1; y < nodes.size(); ++y) {
                        pairwise = pairwise || are_kinds_disjoint(*nodes[x], *nodes[y]);
                    }
                }
                DisjointPairFinder finder;
                for (const NodePtr& node : nodes) finder.add(*node);
                EXPECT_EQ(finder.found(), pairwise) << i << " " << j << " " << k;
            }
        }
    }
}

TEST(WorkBudget, SpendsOneStepAtATimeAndStaysSpent) {
    WorkBudget budget;
    EXPECT_EQ(budget.remaining, 1'000'000u);
    budget.remaining = 2;
    EXPECT_TRUE(budget.try_spend());
    EXPECT_TRUE(budget.try_spend());
    EXPECT_FALSE(budget.try_spend());
    EXPECT_FALSE(budget.try_spend());
    EXPECT_EQ(budget.remaining, 0u);
}

}  // namespace
}  // namespace kestrune
