// Emptiness: proofs by atom classes, kinds, complement pairs, bounds and recursion.
#include "kestrune/core/emptiness.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "kestrune/core/constraint_bounds.hpp"
#include "scripted_oracle.hpp"
#include "schema_shorthand.hpp"

namespace kestrune {
namespace {

using namespace testing;

struct EmptinessFixture : DecisionFixture {
    // Pool indexes of the bounds the cases use.
    const std::uint64_t n2 = oracle.number(2);
    const std::uint64_t n2_5 = oracle.number(2.5);
    const std::uint64_t n3 = oracle.number(3);
    const std::uint64_t n5 = oracle.number(5);
    const std::uint64_t word = oracle.unordered();

    Emptiness decide(const SchemaNode& node) {
        DefinitionTrail trail;
        const Emptiness verdict = decide_empty(node, oracle, definitions, trail, budget);
        EXPECT_TRUE(trail.empty());
        return verdict;
    }
    bool is_empty(const SchemaNode& node) { return decide(node).empty; }
};

struct EmptyCase {
    const char* label;
    std::function<NodePtr(EmptinessFixture&)> build;
    bool empty;
};

void expect_cases(const std::vector<EmptyCase>& cases) {
    for (const EmptyCase& c : cases) {
        EmptinessFixture f;
        EXPECT_EQ(f.is_empty(*c.build(f)), c.empty) << c.label;
    }
}

TEST(DecideEmpty, Leaves) {
    expect_cases({
        {"Nothing", [](auto&) { return nothing(); }, true},
        {"Union[]", [](auto&) { return union_of(); }, true},
        {"Complement(Anything)", [](auto&) { return complement_of(anything()); }, true},
        {"Anything", [](auto&) { return anything(); }, false},
        {"Any", [](auto&) { return any(); }, false},
        {"Intersection[]", [](auto&) { return intersection_of(); }, false},
        {"the empty set is in Set(Nothing)", [](auto&) { return make_set(nothing()); }, false},
        {"the empty list is in list[Nothing]", [](auto&) { return list_of_items(nothing()); }, false},
        {"Literal", [](auto&) { return make_literal(0); }, false},
        {"Instance", [](auto&) { return make_instance(0); }, false},
        {"Placeholder", [](auto&) { return make_placeholder(0); }, false},
    });
}

TEST(DecideEmpty, Intersections) {
    expect_cases({
        {"classes: int and str", [](auto&) { return intersection_of(integer(), text()); }, true},
        {"classes: Int and Complement(Int)", [](auto&) { return intersection_of(integer(), complement_of(integer())); },
         true},
        {"kinds: refined int and str", [](auto& f) { return intersection_of(refine(integer(), gt(f.n2)), text()); },
         true},
        {"kinds: list and tuple",
         [](auto&) { return intersection_of(list_of_items(integer()), tuple_of_items(integer())); }, true},
        {"bool and int overlap", [](auto&) { return intersection_of(boolean(), integer()); }, false},
        {"a literal is never exact", [](auto&) { return intersection_of(make_literal(5), text()); }, false},
        {"complement pair",
         [](auto&) { return intersection_of(list_of_items(integer()), complement_of(list_of_items(integer()))); },
         true},
        {"Any is opaque", [](auto&) { return intersection_of(any(), complement_of(any())); }, false},
        {"an empty member", [](auto&) { return intersection_of(make_set(integer()), record(field("a", nothing()))); },
         true},
        {"member bounds",
         [](auto& f) { return intersection_of(refine(integer(), ge(f.n5)), refine(integer(), le(f.n3))); }, true},
        {"no integer question between members",
         [](auto& f) { return intersection_of(refine(integer(), gt(f.n2)), refine(integer(), lt(f.n3))); }, false},
        {"bounds inside a member's base do not count",
         [](auto& f) {
             return intersection_of(refine(refine(integer(), ge(f.n5)), multiple_of(0)), refine(integer(), le(f.n3)));
         },
         false},
        {"member lengths",
         [](auto&) { return intersection_of(refine(text(), min_length(3)), refine(text(), max_length(2))); }, true},
    });
}

TEST(DecideEmpty, Complements) {
    expect_cases({
        {"the class other remains",
         [](auto&) {
             return complement_of(union_of(none_type(), boolean(), integer(), floating(), text(), bytes()));
         },
         false},
        {"complement of the seven classes",
         [](auto&) { return complement_of(union_of(complement_of(integer()), boolean(), integer())); }, true},
        {"a child that is not exact", [](auto&) { return complement_of(union_of(integer(), make_literal(1))); },
         false},
        {"the child's own verdict is not used",
         [](auto&) { return complement_of(intersection_of(make_literal(1), complement_of(make_literal(1)))); }, false},
    });
    EmptinessFixture f;
    const Emptiness inexact = f.decide(*complement_of(union_of(integer(), make_literal(1))));
    EXPECT_FALSE(inexact.atoms.exact);
    const Emptiness exact = f.decide(*complement_of(integer()));
    EXPECT_TRUE(exact.atoms.exact);
    EXPECT_EQ(exact.atoms.classes, 0x79);
}

TEST(DecideEmpty, Refinements) {
    expect_cases({
        {"ge 5, le 3", [](auto& f) { return refine(integer(), ge(f.n5), le(f.n3)); }, true},
        {"ge 3, le 3", [](auto& f) { return refine(integer(), ge(f.n3), le(f.n3)); }, false},
        {"gt 3, le 3", [](auto& f) { return refine(integer(), gt(f.n3), le(f.n3)); }, true},
        {"ge 3, lt 3", [](auto& f) { return refine(integer(), ge(f.n3), lt(f.n3)); }, true},
        {"gt 2, lt 3 holds no integer", [](auto& f) { return refine(integer(), gt(f.n2), lt(f.n3)); }, true},
        {"gt 2.5, lt 3 holds no integer", [](auto& f) { return refine(integer(), gt(f.n2_5), lt(f.n3)); }, true},
        {"ge 2, le 2.5 holds 2", [](auto& f) { return refine(integer(), ge(f.n2), le(f.n2_5)); }, false},
        {"floats between 2 and 3", [](auto& f) { return refine(floating(), gt(f.n2), lt(f.n3)); }, false},
        {"a Bool base asks no integer question", [](auto& f) { return refine(boolean(), gt(f.n2), lt(f.n3)); }, false},
        {"an Int under another refinement",
         [](auto& f) { return refine(refine(integer(), multiple_of(0)), gt(f.n2), lt(f.n3)); }, true},
        {"min_length 3, max_length 2", [](auto&) { return refine(text(), min_length(3), max_length(2)); }, true},
        {"min_length 2, max_length 2", [](auto&) { return refine(text(), min_length(2), max_length(2)); }, false},
        {"the largest minimum counts",
         [](auto&) { return refine(text(), min_length(2), min_length(5), max_length(4)); }, true},
        {"an empty base", [](auto& f) { return refine(nothing(), ge(f.n2)); }, true},
        {"bounds that cannot be ordered", [](auto& f) { return refine(integer(), ge(f.word), le(f.n2)); }, false},
    });
}

// The folded slots keep the tightest bound the oracle could order, else the first.
TEST(DecideEmpty, BoundFoldingKeepsTheTightestProvenBound) {
    struct FoldCase {
        const char* label;
        std::function<std::vector<Constraint>(EmptinessFixture&)> constraints;
        bool unsat;
    };
    const std::vector<FoldCase> cases = {
        {"a later, tighter lower bound replaces", [](auto& f) { return list_of<Constraint>(ge(f.n2), ge(f.n5), le(f.n3)); },
         true},
        {"a later, looser lower bound is ignored",
         [](auto& f) { return list_of<Constraint>(ge(f.n5), ge(f.n2), le(f.n3)); }, true},
        {"a later, tighter upper bound replaces",
         [](auto& f) { return list_of<Constraint>(le(f.n5), le(f.n2), ge(f.n3)); }, true},
        {"gt equal to ge makes the slot strict",
         [](auto& f) { return list_of<Constraint>(ge(f.n3), gt(f.n3), le(f.n3)); }, true},
        {"lt equal to le makes the slot strict",
         [](auto& f) { return list_of<Constraint>(le(f.n3), lt(f.n3), ge(f.n3)); }, true},
        {"ge equal to gt keeps it strict", [](auto& f) { return list_of<Constraint>(gt(f.n3), ge(f.n3), le(f.n3)); },
         true},
        {"an unordered later bound leaves the first",
         [](auto& f) { return list_of<Constraint>(ge(f.n5), ge(f.word), le(f.n3)); }, true},
        {"an unordered first bound stays and decides nothing",
         [](auto& f) { return list_of<Constraint>(ge(f.word), ge(f.n5), le(f.n3)); }, false},
        {"one side only", [](auto& f) { return list_of<Constraint>(ge(f.n5), gt(f.n3)); }, false},
        {"no constraint at all", [](auto&) { return std::vector<Constraint>{}; }, false},
    };
    for (const FoldCase& c : cases) {
        EmptinessFixture f;
        EXPECT_EQ(is_refinement_unsat(c.constraints(f), f.oracle, false), c.unsat) << c.label;
    }
}

TEST(DecideEmpty, LengthsAreJudgedBeforeAnyBoundIsCompared) {
    EmptinessFixture f;
    EXPECT_TRUE(is_refinement_unsat(list_of<Constraint>(ge(f.n5), le(f.n3), min_length(3), max_length(1)), f.oracle,
                                    true));
    EXPECT_EQ(f.oracle.compare_calls, 0);
}

TEST(DecideEmpty, RecordsSequencesAndShapes) {
    using S = SequenceShape;
    expect_cases({
        {"a required field of Nothing", [](auto&) { return record(field("a", nothing())); }, true},
        {"an optional field of Nothing", [](auto&) { return record(field("a", nothing(), false)); }, false},
        {"a mapping to Nothing holds the empty dict", [](auto&) { return make_mapping(text(), nothing()); }, false},
        {"an object attribute of Nothing", [](auto&) { return make_object(0, list_of<Field>(field("a", nothing()))); },
         true},
        {"tuple[int, Nothing]", [](auto&) { return tuple_of(integer(), nothing()); }, true},
        {"Alternation with no parts",
         [](auto&) { return make_sequence(SequenceKind::List, S::alternation({})); }, true},
        {"Alternation with one inhabited part",
         [](auto&) {
             return make_sequence(SequenceKind::List,
                                  S::alternation(list_of<S>(item(nothing()), S::empty())));
         },
         false},
        {"Alternation of empty parts",
         [](auto&) {
             return make_sequence(SequenceKind::List, S::alternation(list_of<S>(item(nothing()), item(nothing()))));
         },
         true},
        {"Empty shape", [](auto&) { return make_sequence(SequenceKind::Tuple, S::empty()); }, false},
        {"Concat[] is the empty tuple", [](auto&) { return make_sequence(SequenceKind::Tuple, S::concat({})); },
         false},
        {"a repeat of an empty part still matches zero times",
         [](auto&) { return make_sequence(SequenceKind::List, S::repeat(item(nothing()))); }, false},
    });
}

TEST(DecideEmpty, BackEdgesUseTheLeastFixedPoint) {
    struct RecursionCase {
        const char* label;
        std::function<NodePtr()> body;  // BackEdge 0 refers to the body itself
        bool empty;
    };
    const std::vector<RecursionCase> cases = {
        {"a required field leading back", [] { return record(field("next", make_back_edge(0))); }, true},
        {"the field optional", [] { return record(field("next", make_back_edge(0), false)); }, false},
        {"the record optional",
         [] { return union_of(none_type(), record(field("next", make_back_edge(0)))); }, false},
        {"a list of the reference", [] { return list_of_items(make_back_edge(0)); }, false},
        {"a pair of the reference", [] { return tuple_of(integer(), make_back_edge(0)); }, true},
    };
    for (const RecursionCase& c : cases) {
        EmptinessFixture f;
        f.definitions.push_back(c.body());
        EXPECT_EQ(f.is_empty(*make_back_edge(0)), c.empty) << c.label;
    }
    EmptinessFixture f;
    EXPECT_FALSE(f.is_empty(*make_back_edge(3))) << "a target beyond the definitions";
    f.definitions.push_back(nullptr);
    EXPECT_FALSE(f.is_empty(*make_back_edge(0))) << "an empty definitions slot";
}

TEST(DecideEmpty, SpendsOneStepPerCallAndEveryUnionMember) {
    EmptinessFixture f;
    // The union is empty after its first member, yet every member is decided.
    f.is_empty(*union_of(integer(), nothing(), text()));
    EXPECT_EQ(f.budget.remaining, WorkBudget::kSteps - 4);
}

TEST(DecideEmpty, ASpentBudgetAnswersNotEmptyAndNotExact) {
    EmptinessFixture f;
    f.budget.remaining = 0;
    const Emptiness verdict = f.decide(*nothing());
    EXPECT_FALSE(verdict.empty);
    EXPECT_FALSE(verdict.atoms.exact);
    // Running out below a complement weakens the mask on the way up: no proof either way.
    f.budget.remaining = 1;
    const Emptiness weakened = f.decide(*complement_of(anything()));
    EXPECT_FALSE(weakened.empty);
    EXPECT_FALSE(weakened.atoms.exact);
}

}  // namespace
}  // namespace kestrune
