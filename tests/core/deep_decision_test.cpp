// Decisions and rewrites on trees of 100,000 levels: the recursion must move to a
// fresh stack instead of overflowing.
#include <gtest/gtest.h>

#include <cstddef>

#include "kestrune/core/emptiness.hpp"
#include "kestrune/core/set_open.hpp"
#include "kestrune/core/simplify.hpp"
#include "kestrune/core/subtype.hpp"
#include "scripted_oracle.hpp"
#include "schema_shorthand.hpp"

namespace kestrune {
namespace {

using namespace testing;

constexpr std::size_t kDepth = 100'000;

template <class Wrap>
NodePtr chain(NodePtr bottom, Wrap wrap) {
    for (std::size_t i = 0; i < kDepth; ++i) bottom = wrap(std::move(bottom), i);
    return bottom;
}

NodePtr complement_chain(NodePtr bottom) {
    return chain(std::move(bottom), [](NodePtr node, std::size_t) { return complement_of(std::move(node)); });
}

NodePtr required_field_chain(NodePtr bottom) {
    return chain(std::move(bottom), [](NodePtr node, std::size_t) { return record(field("next", std::move(node))); });
}

// tuple[head, next] at every level: the heads differ at once, so each level's
// equality test is short and only the inclusion itself goes all the way down.
NodePtr pair_chain(NodeKind head, NodePtr bottom) {
    return chain(std::move(bottom), [head](NodePtr node, std::size_t) { return tuple_of(leaf(head), std::move(node)); });
}

// Every lattice constructor and a refinement, in turn.
NodePtr lattice_chain(NodePtr bottom) {
    return chain(std::move(bottom), [](NodePtr node, std::size_t i) {
        switch (i % 4) {
            case 0: return union_of(make_literal(i), std::move(node));
            case 1: return intersection_of(std::move(node), make_instance(i));
            case 2: return complement_of(std::move(node));
            default: return refine(std::move(node), ge(i));
        }
    });
}

Emptiness decide(DecisionFixture& f, const SchemaNode& node) {
    DefinitionTrail trail;
    return decide_empty(node, f.oracle, f.definitions, trail, f.budget);
}

bool includes(DecisionFixture& f, const SchemaNode& lhs, const SchemaNode& rhs) {
    AssumptionList assumptions;
    return decide_subtype(lhs, rhs, f.context(), assumptions);
}

TEST(DeepDecision, EmptinessReachesTheBottom) {
    DecisionFixture f;
    EXPECT_TRUE(decide(f, *required_field_chain(nothing())).empty);
    EXPECT_FALSE(decide(f, *required_field_chain(integer())).empty);
    const Emptiness even = decide(f, *complement_chain(nothing()));  // an even number of complements
    EXPECT_TRUE(even.empty);
    EXPECT_TRUE(even.atoms.exact);
    EXPECT_FALSE(decide(f, *lattice_chain(nothing())).empty);
}

TEST(DeepDecision, InclusionReachesTheBottom) {
    DecisionFixture f;
    EXPECT_TRUE(includes(f, *pair_chain(NodeKind::Bool, boolean()), *pair_chain(NodeKind::Int, integer())));
    EXPECT_FALSE(includes(f, *pair_chain(NodeKind::Bool, text()), *pair_chain(NodeKind::Int, integer())));
    EXPECT_TRUE(includes(f, *complement_chain(boolean()), *complement_chain(integer())));
}

TEST(DeepDecision, RewritesReachTheBottom) {
    const NodePtr lattice = lattice_chain(make_back_edge(0));
    const NodePtr simplified = simplify_node(*lattice);
    EXPECT_NE(simplified, nullptr);
    EXPECT_TRUE(equal_nodes(*simplify_node(*complement_chain(text())), *text()));

    const NodePtr opened = set_open(*required_field_chain(integer()), true);
    const SchemaNode* level = opened.get();
    std::size_t open_levels = 0;
    while (level->kind == NodeKind::Dict) {
        open_levels += level->rules.size();
        level = level->fields.front().schema.get();
    }
    EXPECT_EQ(open_levels, kDepth);
}

}  // namespace
}  // namespace kestrune
