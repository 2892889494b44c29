#include "kestrune/core/recursion_binding.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "kestrune/core/structure.hpp"
#include "tree_builders.hpp"

namespace kestrune {
namespace {

using namespace testing;  // the hand-built tree helpers
using S = SequenceShape;

constexpr std::uint64_t kId = 3;
constexpr std::uint64_t kTarget = 2;

// A tree with the self-reference in every position a node can hold a child, built
// once with the placeholder and once with the back edge it should become.
NodePtr every_position(const std::function<NodePtr()>& self) {
    return make_union(list_of<NodePtr>(
        self(), make_placeholder(kId + 1), make_back_edge(kTarget + 1), make_literal(kId),
        make_intersection(list_of<NodePtr>(self(), leaf(NodeKind::Str))), make_complement(self()),
        make_refinement(self(), list_of<Constraint>(bound(ConstraintKind::Gt, 0),
                                                    Constraint::with_pattern("a+"))),
        make_set(self()), make_frozen_set(self()),
        make_dict(list_of<Field>(field("next", self(), false)), list_of<KeyRule>(rule(self(), self()))),
        make_object(1, list_of<Field>(field("attr", self()))),
        make_sequence(SequenceKind::Tuple,
                      S::concat(list_of<S>(item(self()), S::empty(), S::alternation(list_of<S>(item(self()))),
                                           make_repeat(self()))))));
}

TEST(SubstitutePlaceholder, BindsEveryOccurrenceOfItsIdAndNothingElse) {
    NodePtr body = every_position([] { return make_placeholder(kId); });
    NodePtr expected = every_position([] { return make_back_edge(kTarget); });
    NodePtr bound_body = substitute_placeholder(*body, kId, kTarget);
    EXPECT_TRUE(equal_nodes(*bound_body, *expected));
    // The input is left as it was.
    EXPECT_TRUE(equal_nodes(*body, *every_position([] { return make_placeholder(kId); })));
}

TEST(SubstitutePlaceholder, LeavesABodyWithoutThePlaceholderUnchanged) {
    NodePtr body = every_position([] { return make_placeholder(kId + 7); });
    EXPECT_TRUE(equal_nodes(*substitute_placeholder(*body, kId, kTarget), *body));
}

TEST(SubstitutePlaceholder, TheBareParameterBecomesTheBackEdge) {
    NodePtr bound_body = substitute_placeholder(*make_placeholder(kId), kId, kTarget);
    EXPECT_TRUE(equal_nodes(*bound_body, *make_back_edge(kTarget)));
    EXPECT_TRUE(occurs_unguarded(*bound_body, kTarget, false));
}

struct ContractiveCase {
    const char* label;
    std::function<NodePtr()> body;
    bool unguarded;
};

NodePtr edge() { return make_back_edge(kTarget); }

class Contractiveness : public ::testing::TestWithParam<ContractiveCase> {};

TEST_P(Contractiveness, FindsOnlyBackEdgesOutsideStructuralConstructors) {
    const ContractiveCase& c = GetParam();
    EXPECT_EQ(occurs_unguarded(*c.body(), kTarget, false), c.unguarded) << c.label;
    // Below a constructor nothing counts.
    EXPECT_FALSE(occurs_unguarded(*c.body(), kTarget, true)) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, Contractiveness,
    ::testing::Values(
        ContractiveCase{"bare back edge", edge, true},
        ContractiveCase{"union", [] { return make_union(list_of<NodePtr>(leaf(NodeKind::Int), edge())); }, true},
        ContractiveCase{"intersection", [] { return make_intersection(list_of<NodePtr>(edge())); }, true},
        ContractiveCase{"complement", [] { return make_complement(edge()); }, true},
        ContractiveCase{"refinement",
                        [] { return make_refinement(edge(), list_of<Constraint>(bound(ConstraintKind::Lt, 0))); },
                        true},
        ContractiveCase{"nested keepers",
                        [] { return make_complement(make_union(list_of<NodePtr>(make_complement(edge())))); }, true},
        ContractiveCase{"list", [] { return make_sequence(SequenceKind::List, make_repeat(edge())); }, false},
        ContractiveCase{"alternation part",
                        [] {
                            return make_sequence(SequenceKind::Tuple,
                                                 S::alternation(list_of<S>(S::repeat(S::concat(
                                                     list_of<S>(item(edge())))))));
                        },
                        false},
        ContractiveCase{"set", [] { return make_set(edge()); }, false},
        ContractiveCase{"frozenset", [] { return make_frozen_set(edge()); }, false},
        ContractiveCase{"mapping value", [] { return make_mapping(leaf(NodeKind::Str), edge()); }, false},
        ContractiveCase{"mapping key", [] { return make_mapping(edge(), leaf(NodeKind::Str)); }, false},
        ContractiveCase{"record field", [] { return make_dict(list_of<Field>(field("next", edge())), {}); },
                        false},
        ContractiveCase{"object attribute", [] { return make_object(0, list_of<Field>(field("a", edge()))); },
                        false},
        ContractiveCase{"union over a list",
                        [] {
                            return make_union(list_of<NodePtr>(
                                make_sequence(SequenceKind::List, make_repeat(edge())), leaf(NodeKind::NoneType)));
                        },
                        false},
        ContractiveCase{"back edge to another definition",
                        [] { return make_union(list_of<NodePtr>(make_back_edge(kTarget + 1))); }, false},
        ContractiveCase{"unbound placeholder", [] { return make_complement(make_placeholder(kTarget)); }, false},
        ContractiveCase{"no self-reference", [] { return leaf(NodeKind::Int); }, false},
        ContractiveCase{"empty union", [] { return make_union({}); }, false}),
    [](const ::testing::TestParamInfo<ContractiveCase>& info) {
        std::string name = info.param.label;
        for (char& ch : name) {
            if (ch == ' ' || ch == '-') ch = '_';
        }
        return name;
    });

TEST(RecursionBinding, HandlesTreesFarDeeperThanTheNativeStack) {
    constexpr std::size_t kDepth = 100'000;
    NodePtr body = make_placeholder(kId);
    for (std::size_t i = 0; i < kDepth; ++i) {
        body = i % 2 == 0 ? make_complement(std::move(body))
                          : make_union(list_of<NodePtr>(leaf(NodeKind::Int), std::move(body)));
    }
    NodePtr bound_body = substitute_placeholder(*body, kId, kTarget);
    EXPECT_TRUE(occurs_unguarded(*bound_body, kTarget, false));
    EXPECT_FALSE(occurs_unguarded(*body, kTarget, false));
    EXPECT_FALSE(occurs_unguarded(*make_set(std::move(bound_body)), kTarget, false));
}

}  // namespace
}  // namespace kestrune
