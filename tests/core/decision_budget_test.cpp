// Decisions that need more steps than the budget allows answer conservatively, fast.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>

#include "kestrune/core/emptiness.hpp"
#include "kestrune/core/subtype.hpp"
#include "scripted_oracle.hpp"
#include "schema_shorthand.hpp"

namespace kestrune {
namespace {

using namespace testing;

// A spent budget must end a decision quickly. Instrumented builds run several times
// slower, so there the limit only catches a decision that does not stop at all.
#ifdef __SANITIZE_ADDRESS__
constexpr std::chrono::seconds kTimeLimit{20};
#else
constexpr std::chrono::seconds kTimeLimit{2};
#endif

// A union of `width` members that each hold: the whole is included in set[int] and
// takes one step per member plus one for itself.
NodePtr wide_union(std::size_t width) {
    std::vector<NodePtr> members;
    members.reserve(width);
    for (std::size_t i = 0; i < width; ++i) members.push_back(make_set(integer()));
    return make_union(std::move(members));
}

// definitions[k] = Union[BackEdge k-1, BackEdge k-1], definitions[0] = Literal 0:
// proving BackEdge `depth` included takes about 2^(depth+2) steps.
void add_doubling_chain(DecisionFixture& f, std::size_t depth) {
    f.definitions.push_back(make_literal(0));
    for (std::size_t k = 1; k <= depth; ++k) {
        f.definitions.push_back(union_of(make_back_edge(k - 1), make_back_edge(k - 1)));
    }
    f.oracle.confirm(make_literal(0), make_instance(1));
}

bool includes(DecisionFixture& f, const SchemaNode& lhs, const SchemaNode& rhs) {
    AssumptionList assumptions;
    return decide_subtype(lhs, rhs, f.context(), assumptions);
}

TEST(DecisionBudget, AProofWithinTheBudgetHolds) {
    DecisionFixture f;
    EXPECT_TRUE(includes(f, *wide_union(WorkBudget::kSteps - 1), *make_set(integer())));
    EXPECT_EQ(f.budget.remaining, 0u);
}

TEST(DecisionBudget, AProofBeyondTheBudgetIsFalse) {
    DecisionFixture f;
    EXPECT_FALSE(includes(f, *wide_union(WorkBudget::kSteps), *make_set(integer())));
    EXPECT_EQ(f.budget.remaining, 0u);
}

TEST(DecisionBudget, AnExponentialProofStopsWithinTwoSeconds) {
    DecisionFixture small;
    add_doubling_chain(small, 8);
    EXPECT_TRUE(includes(small, *make_back_edge(8), *make_instance(1))) << "true when the budget suffices";

    DecisionFixture f;
    add_doubling_chain(f, 40);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(includes(f, *make_back_edge(40), *make_instance(1)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, kTimeLimit);
    EXPECT_EQ(f.budget.remaining, 0u);
}

TEST(DecisionBudget, EmptinessBeyondTheBudgetIsNotEmpty) {
    DecisionFixture f;
    std::vector<NodePtr> members;
    for (std::uint32_t i = 0; i < WorkBudget::kSteps; ++i) members.push_back(nothing());
    const NodePtr all_empty = make_union(std::move(members));
    DefinitionTrail trail;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(decide_empty(*all_empty, f.oracle, f.definitions, trail, f.budget).empty);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kTimeLimit);
}

// Equivalence asks both directions with one budget and two assumption lists: the
// second direction starts with what the first left.
TEST(DecisionBudget, BothDirectionsOfAnEquivalenceShareOneBudget) {
    DecisionFixture f;
    const NodePtr lhs = wide_union(WorkBudget::kSteps / 2);
    const NodePtr rhs = make_set(integer());
    AssumptionList forward;
    EXPECT_TRUE(decide_subtype(*lhs, *rhs, f.context(), forward));
    EXPECT_EQ(f.budget.remaining, WorkBudget::kSteps / 2 - 1);
    AssumptionList backward;
    EXPECT_TRUE(decide_subtype(*rhs, *lhs, f.context(), backward));  // set[int] against its first member
    EXPECT_EQ(f.budget.remaining, WorkBudget::kSteps / 2 - 3);
    // A second forward question no longer fits.
    AssumptionList again;
    EXPECT_FALSE(decide_subtype(*lhs, *rhs, f.context(), again));
}

}  // namespace
}  // namespace kestrune
