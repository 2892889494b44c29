// Inclusion: the rule order, like constructors, records, refinements and recursion.
#include "kestrune/core/subtype.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "kestrune/core/constraint_implication.hpp"
#include "scripted_oracle.hpp"
#include "schema_shorthand.hpp"

namespace kestrune {
namespace {

using namespace testing;

struct SubtypeFixture : DecisionFixture {
    const std::uint64_t n5 = oracle.number(5);
    const std::uint64_t n6 = oracle.number(6);
    const std::uint64_t word = oracle.unordered();

    bool includes(const SchemaNode& lhs, const SchemaNode& rhs) {
        AssumptionList assumptions;
        const bool included = decide_subtype(lhs, rhs, context(), assumptions);
        EXPECT_TRUE(assumptions.empty());
        return included;
    }
};

using Build = std::function<NodePtr(SubtypeFixture&)>;

struct SubtypeCase {
    const char* label;
    Build lhs;
    Build rhs;
    bool included;
};

void expect_cases(const std::vector<SubtypeCase>& cases, const std::function<void(SubtypeFixture&)>& setup = {}) {
    for (const SubtypeCase& c : cases) {
        SubtypeFixture f;
        if (setup) setup(f);
        EXPECT_EQ(f.includes(*c.lhs(f), *c.rhs(f)), c.included) << c.label;
    }
}

template <NodePtr (*Make)()>
NodePtr build(SubtypeFixture&) {
    return Make();
}

TEST(DecideSubtype, AnyIsOpaque) {
    expect_cases(
        {
            {"int is not in Any", build<integer>, build<any>, false},
            {"Anything is not in Any", build<anything>, build<any>, false},
            {"Any is in Anything", build<any>, build<anything>, true},
            {"Any is in Any", build<any>, build<any>, true},
            {"Any is in a union holding it", build<any>, [](auto&) { return union_of(any(), integer()); }, true},
            {"Any is not in int", build<any>, build<integer>, false},
            {"Nothing is in Any", build<nothing>, build<any>, true},
            {"a literal through the oracle", [](auto&) { return make_literal(5); }, build<any>, true},
        },
        [](SubtypeFixture& f) { f.oracle.confirm(make_literal(5), any()); });
}

TEST(DecideSubtype, AtomsAndLattice) {
    expect_cases({
        {"bool in int", build<boolean>, build<integer>, true},
        {"int not in bool", build<integer>, build<boolean>, false},
        {"int in bool | int", build<integer>, [](auto&) { return union_of(boolean(), integer()); }, true},
        {"~int in ~bool", [](auto&) { return complement_of(integer()); }, [](auto&) { return complement_of(boolean()); },
         true},
        {"~bool not in ~int", [](auto&) { return complement_of(boolean()); },
         [](auto&) { return complement_of(integer()); }, false},
        {"int | str in ~float", [](auto&) { return union_of(integer(), text()); },
         [](auto&) { return complement_of(floating()); }, true},
        {"an empty intersection in float", [](auto&) { return intersection_of(integer(), text()); }, build<floating>,
         true},
        {"into Nothing only when empty", [](auto&) { return intersection_of(make_literal(1), complement_of(make_literal(1))); },
         build<nothing>, true},
        {"a literal is not provably in Nothing", [](auto&) { return make_literal(1); }, build<nothing>, false},
        {"a union member fails", [](auto&) { return union_of(make_literal(1), make_set(integer())); },
         [](auto&) { return make_set(integer()); }, false},
        {"into every member of an intersection", [](auto&) { return make_set(boolean()); },
         [](auto&) { return intersection_of(make_set(integer()), make_set(union_of(boolean(), text()))); }, true},
        {"some member of the left intersection", [](auto&) { return intersection_of(make_literal(1), make_set(boolean())); },
         [](auto&) { return make_set(integer()); }, true},
        {"the empty union on the right", [](auto&) { return make_literal(1); }, [](auto&) { return union_of(); },
         false},
        {"a placeholder is only in itself", [](auto&) { return make_placeholder(1); },
         [](auto&) { return make_placeholder(1); }, true},
    });
}

// A left intersection that no member settles is tried against each right member;
// otherwise the rule ends without asking the oracle.
TEST(DecideSubtype, LeftIntersectionFallsBackToRightUnionMembers) {
    SubtypeFixture f;
    const auto lhs = intersection_of(make_literal(1), make_instance(7));
    EXPECT_TRUE(f.includes(*lhs, *union_of(make_set(integer()), intersection_of(make_instance(7), make_literal(1)))));
    f.oracle.confirm(clone_node(*lhs), make_instance(8));
    EXPECT_FALSE(f.includes(*lhs, *make_instance(8)));
}

TEST(DecideSubtype, Containers) {
    expect_cases({
        {"list[int] not in tuple[int, ...]", [](auto&) { return list_of_items(integer()); },
         [](auto&) { return tuple_of_items(integer()); }, false},
        {"set[int] not in frozenset[int]", [](auto&) { return make_set(integer()); },
         [](auto&) { return make_frozen_set(integer()); }, false},
        {"list[bool] in list[int]", [](auto&) { return list_of_items(boolean()); },
         [](auto&) { return list_of_items(integer()); }, true},
        {"frozenset[bool] in frozenset[int]", [](auto&) { return make_frozen_set(boolean()); },
         [](auto&) { return make_frozen_set(integer()); }, true},
        {"an Object and an Instance of one class", [](auto&) { return make_object(3, {}); },
         [](auto&) { return make_instance(3); }, false},
        {"objects of different classes", [](auto&) { return make_object(3, {}); },
         [](auto&) { return make_object(4, {}); }, false},
        {"object attributes are covariant",
         [](auto&) { return make_object(3, list_of<Field>(field("a", boolean()), field("b", text()))); },
         [](auto&) { return make_object(3, list_of<Field>(field("a", integer()))); }, true},
        {"a right attribute the left lacks",
         [](auto&) { return make_object(3, list_of<Field>(field("a", boolean()))); },
         [](auto&) { return make_object(3, list_of<Field>(field("b", integer(), false))); }, false},
        // Complements of containers are left to the complement rule, which turns the
        // question round: no shortcut on atom masks settles them first.
        {"~list[int] in ~list[bool]", [](auto&) { return complement_of(list_of_items(integer())); },
         [](auto&) { return complement_of(list_of_items(boolean())); }, true},
        {"~list[bool] not in ~list[int]", [](auto&) { return complement_of(list_of_items(boolean())); },
         [](auto&) { return complement_of(list_of_items(integer())); }, false},
        {"~{a: int} in ~{a: bool}", [](auto&) { return complement_of(record(field("a", integer()))); },
         [](auto&) { return complement_of(record(field("a", boolean()))); }, true},
        {"~{a: bool} not in ~{a: int}", [](auto&) { return complement_of(record(field("a", boolean()))); },
         [](auto&) { return complement_of(record(field("a", integer()))); }, false},
    });
}

TEST(DecideSubtype, SequenceShapes) {
    using S = SequenceShape;
    const auto list_shape = [](S shape) { return make_sequence(SequenceKind::List, std::move(shape)); };
    expect_cases({
        {"tuple[int, ...] not in tuple[int, int]", [](auto&) { return tuple_of_items(integer()); },
         [](auto&) { return tuple_of(integer(), integer()); }, false},
        {"tuple[int, int] in tuple[int, ...]", [](auto&) { return tuple_of(integer(), integer()); },
         [](auto&) { return tuple_of_items(integer()); }, true},
        {"tuple[int, str] not in tuple[int]", [](auto&) { return tuple_of(integer(), text()); },
         [](auto&) { return tuple_of(integer()); }, false},
        {"tuple[bool, str] in tuple[int, str | bytes]", [](auto&) { return tuple_of(boolean(), text()); },
         [](auto&) { return tuple_of(integer(), union_of(text(), bytes())); }, true},
        {"an empty rest counts as absent",
         [](auto&) { return tuple_shape(list_of<NodePtr>(integer()), nothing()); },
         [](auto&) { return tuple_of(integer()); }, true},
        {"a longer left prefix spills into the right rest",
         [](auto&) { return tuple_shape(list_of<NodePtr>(integer(), boolean(), boolean()), boolean()); },
         [](auto&) { return tuple_shape(list_of<NodePtr>(integer()), integer()); }, true},
        {"the left rest must fit the right rest",
         [](auto&) { return tuple_shape(list_of<NodePtr>(integer()), text()); },
         [](auto&) { return tuple_shape(list_of<NodePtr>(integer()), integer()); }, false},
        {"tuple[()] in tuple[int, ...]", [](auto&) { return tuple_of(); },
         [](auto&) { return tuple_of_items(integer()); }, true},
        {"Empty in Concat[]", [list_shape](auto&) { return list_shape(S::empty()); },
         [list_shape](auto&) { return list_shape(S::concat({})); }, true},
        {"a left alternation: every part",
         [list_shape](auto&) { return list_shape(S::alternation(list_of<S>(item(boolean()), S::empty()))); },
         [list_shape](auto&) { return list_shape(make_repeat(integer())); }, true},
        {"a left alternation with a failing part",
         [list_shape](auto&) { return list_shape(S::alternation(list_of<S>(item(text()), S::empty()))); },
         [list_shape](auto&) { return list_shape(make_repeat(integer())); }, false},
        {"the empty alternation is in anything",
         [list_shape](auto&) { return list_shape(S::alternation({})); },
         [list_shape](auto&) { return list_shape(S::concat({})); }, true},
        {"a right alternation: some part",
         [list_shape](auto&) { return list_shape(item(boolean())); },
         [list_shape](auto&) { return list_shape(S::alternation(list_of<S>(S::empty(), item(integer())))); }, true},
        {"nothing is in the empty right alternation",
         [list_shape](auto&) { return list_shape(S::empty()); },
         [list_shape](auto&) { return list_shape(S::alternation({})); }, false},
        {"shapes without a simple view",
         [list_shape](auto&) { return list_shape(S::repeat(S::concat(list_of<S>(item(boolean()))))); },
         [list_shape](auto&) { return list_shape(make_repeat(integer())); }, false},
        {"equal shapes need no simple view",
         [list_shape](auto&) { return list_shape(S::repeat(S::concat(list_of<S>(item(boolean()))))); },
         [list_shape](auto&) { return list_shape(S::repeat(S::concat(list_of<S>(item(boolean()))))); }, true},
    });
}

TEST(DecideSubtype, RecordsAndMappings) {
    expect_cases({
        {"a closed record is not in a mapping", [](auto&) { return record(field("a", integer())); },
         [](auto&) { return make_mapping(text(), integer()); }, false},
        {"an open record's Anything keys are not Str keys", [](auto&) { return open_record(field("a", integer())); },
         [](auto&) { return make_mapping(text(), integer()); }, false},
        {"an open record into a mapping of Anything keys", [](auto&) { return open_record(field("a", integer())); },
         [](auto&) { return make_mapping(anything(), anything()); }, true},
        {"dict[str, bool] in dict[str, int]", [](auto&) { return make_mapping(text(), boolean()); },
         [](auto&) { return make_mapping(text(), integer()); }, true},
        {"a mapping into a mapping without rules", [](auto&) { return make_mapping(text(), boolean()); },
         [](auto&) { return make_dict({}, {}); }, false},
        {"{} into any record without required fields", [](auto&) { return make_dict({}, {}); },
         [](auto&) { return record(field("a", integer(), false)); }, true},
        {"required into optional", [](auto&) { return record(field("a", integer())); },
         [](auto&) { return record(field("a", integer(), false)); }, true},
        {"optional into required", [](auto&) { return record(field("a", integer(), false)); },
         [](auto&) { return record(field("a", integer())); }, false},
        {"a closed record with an extra field", [](auto&) { return record(field("a", integer()), field("b", text())); },
         [](auto&) { return record(field("a", integer())); }, false},
        {"a closed record into an open one", [](auto&) { return record(field("a", boolean())); },
         [](auto&) { return open_record(field("a", integer()), field("b", text(), false)); }, true},
        {"an open record is never in a closed one", [](auto&) { return open_record(field("a", integer())); },
         [](auto&) { return record(field("a", integer())); }, false},
        {"open into open", [](auto&) { return open_record(field("a", boolean())); },
         [](auto&) { return open_record(field("a", integer())); }, true},
        {"a right field the left reaches through its rule must take Anything",
         [](auto&) { return open_record(field("a", boolean())); },
         [](auto&) { return open_record(field("a", integer()), field("b", text(), false)); }, false},
        {"a left field undeclared on the right goes to a Str rule",
         [](auto&) { return make_dict(list_of<Field>(field("a", boolean())), list_of<KeyRule>(rule(text(), boolean()))); },
         [](auto&) { return make_mapping(text(), integer()); }, true},
        {"a rule whose key is not exactly Str or Anything does not take a field",
         [](auto&) { return make_dict(list_of<Field>(field("a", boolean())), list_of<KeyRule>(rule(text(), boolean()))); },
         [](auto&) { return make_mapping(union_of(text(), bytes()), integer()); }, false},
    });
}

// The record walk matches a key against the last field of its name and waits for
// every required one, so these records admit nothing or more than the last field says.
TEST(DecideSubtype, FieldsSharingANameOnTheRight) {
    expect_cases({
        {"a required field followed by a namesake is never satisfied",
         [](auto&) { return record(field("a", text())); },
         [](auto&) { return record(field("a", text()), field("a", text(), false)); }, false},
        {"every namesake must take the value",
         [](auto&) { return record(field("a", text())); },
         [](auto&) { return record(field("a", integer(), false), field("a", text())); }, false},
        {"namesakes that all take it", [](auto&) { return record(field("a", boolean())); },
         [](auto&) { return record(field("a", integer(), false), field("a", union_of(boolean(), text()))); }, true},
        {"the open form too", [](auto&) { return open_record(field("a", text())); },
         [](auto&) { return open_record(field("a", text()), field("a", text(), false)); }, false},
    });
}

TEST(DecideSubtype, RefinementsAndConstraints) {
    expect_cases({
        {"gt 5 in ge 5", [](auto& f) { return refine(integer(), gt(f.n5)); },
         [](auto& f) { return refine(integer(), ge(f.n5)); }, true},
        {"gt 5 not in ge 6 (no integer reasoning)", [](auto& f) { return refine(integer(), gt(f.n5)); },
         [](auto& f) { return refine(integer(), ge(f.n6)); }, false},
        {"a refinement lies in its base", [](auto& f) { return refine(integer(), gt(f.n5)); }, build<integer>, true},
        {"and wherever its base lies", [](auto& f) { return refine(boolean(), gt(f.n5)); },
         [](auto&) { return union_of(integer(), text()); }, true},
        {"the base is not in the refinement", build<integer>, [](auto& f) { return refine(integer(), gt(f.n5)); },
         false},
        {"min_length 3 in min_length 2", [](auto&) { return refine(text(), min_length(3)); },
         [](auto&) { return refine(text(), min_length(2)); }, true},
        {"multiple_of needs an equal constraint", [](auto&) { return refine(integer(), multiple_of(4)); },
         [](auto&) { return refine(integer(), multiple_of(2)); }, false},
        {"the bases first", [](auto& f) { return refine(text(), gt(f.n5)); },
         [](auto& f) { return refine(integer(), gt(f.n5)); }, false},
    });
}

TEST(ImpliesConstraints, TheImplicationTable) {
    struct ImplicationCase {
        const char* label;
        Constraint (*left)(std::uint64_t);
        double left_bound;
        Constraint (*right)(std::uint64_t);
        double right_bound;
        bool implied;
    };
    const std::vector<ImplicationCase> cases = {
        {"ge 5 => ge 5", ge, 5, ge, 5, true},     {"ge 6 => ge 5", ge, 6, ge, 5, true},
        {"ge 4 =/> ge 5", ge, 4, ge, 5, false},   {"gt 5 => ge 5", gt, 5, ge, 5, true},
        {"gt 5 => gt 5", gt, 5, gt, 5, true},     {"ge 5 =/> gt 5", ge, 5, gt, 5, false},
        {"ge 6 => gt 5", ge, 6, gt, 5, true},     {"le 5 => le 6", le, 5, le, 6, true},
        {"lt 5 => le 5", lt, 5, le, 5, true},     {"le 5 =/> lt 5", le, 5, lt, 5, false},
        {"le 4 => lt 5", le, 4, lt, 5, true},     {"lt 5 => lt 5", lt, 5, lt, 5, true},
        {"le 6 =/> le 5", le, 6, le, 5, false},   {"ge 5 =/> le 9", ge, 5, le, 9, false},
        {"min 3 => min 2", min_length, 3, min_length, 2, true},
        {"min 2 =/> min 3", min_length, 2, min_length, 3, false},
        {"max 2 => max 3", max_length, 2, max_length, 3, true},
        {"max 3 =/> max 2", max_length, 3, max_length, 2, false},
    };
    for (const ImplicationCase& c : cases) {
        ScriptedOracle oracle;
        const bool lengths = c.right == min_length || c.right == max_length;
        const auto operand = [&](double value) {
            return lengths ? static_cast<std::uint64_t>(value) : oracle.number(value);
        };
        const Constraint left = c.left(operand(c.left_bound));
        const Constraint right = c.right(operand(c.right_bound));
        EXPECT_EQ(implies_constraints(list_of<Constraint>(Constraint(right)), list_of<Constraint>(Constraint(left)),
                                      oracle),
                  c.implied)
            << c.label;
    }
}

TEST(ImpliesConstraints, EveryRightConstraintMustFollow) {
    ScriptedOracle oracle;
    const std::uint64_t three = oracle.number(3);
    const std::uint64_t unordered = oracle.unordered();
    EXPECT_TRUE(implies_constraints({}, list_of<Constraint>(ge(three)), oracle));
    EXPECT_FALSE(implies_constraints(list_of<Constraint>(ge(three), le(three)), list_of<Constraint>(ge(three)), oracle));
    EXPECT_TRUE(implies_constraints(list_of<Constraint>(ge(unordered)), list_of<Constraint>(ge(unordered)), oracle))
        << "an equal constraint needs no comparison";
    EXPECT_FALSE(implies_constraints(list_of<Constraint>(ge(three)), list_of<Constraint>(ge(unordered)), oracle));
    EXPECT_TRUE(implies_constraints(list_of<Constraint>(Constraint::with_pattern("a+")),
                                    list_of<Constraint>(Constraint::with_pattern("a+")), oracle));
    EXPECT_FALSE(implies_constraints(list_of<Constraint>(Constraint::with_pattern("a+")),
                                     list_of<Constraint>(Constraint::with_pattern("a+b")), oracle));
}

TEST(DecideSubtype, TheOracleIsTheLastResort) {
    SubtypeFixture f;
    f.oracle.confirm(make_instance(1), make_instance(2));
    EXPECT_TRUE(f.includes(*make_instance(1), *make_instance(2)));
    EXPECT_FALSE(f.includes(*make_instance(2), *make_instance(1)));
    // An exact pair of masks is final: the oracle is never asked.
    f.oracle.confirm(integer(), boolean());
    EXPECT_FALSE(f.includes(*integer(), *boolean()));
    // Neither is a refinement that fails to imply the right constraints.
    f.oracle.confirm(refine(integer(), ge(f.n5)), refine(integer(), ge(f.n6)));
    EXPECT_FALSE(f.includes(*refine(integer(), ge(f.n5)), *refine(integer(), ge(f.n6))));
    EXPECT_EQ(f.oracle.leaf_calls, 2);
}

TEST(DecideSubtype, RecursionIsCoinductive) {
    SubtypeFixture f;
    f.definitions.push_back(list_of_items(make_back_edge(0)));                               // 0: T = list[T]
    f.definitions.push_back(list_of_items(make_back_edge(1)));                               // 1: U = list[U]
    f.definitions.push_back(union_of(none_type(), tuple_of(boolean(), make_back_edge(2))));  // 2: bool chains
    f.definitions.push_back(union_of(none_type(), tuple_of(integer(), make_back_edge(3))));  // 3: int chains
    EXPECT_TRUE(f.includes(*make_back_edge(0), *make_back_edge(0)));
    EXPECT_TRUE(f.includes(*make_back_edge(0), *make_back_edge(1)));
    EXPECT_TRUE(f.includes(*make_back_edge(2), *make_back_edge(3)));
    EXPECT_FALSE(f.includes(*make_back_edge(3), *make_back_edge(2)));
    EXPECT_TRUE(f.includes(*tuple_of(boolean(), none_type()), *make_back_edge(3)));
    EXPECT_TRUE(f.includes(*complement_of(make_back_edge(3)), *complement_of(make_back_edge(2))));
    EXPECT_FALSE(f.includes(*complement_of(make_back_edge(2)), *complement_of(make_back_edge(3))));
    EXPECT_FALSE(f.includes(*make_back_edge(9), *integer())) << "a dangling left edge";
    EXPECT_FALSE(f.includes(*integer(), *make_back_edge(9))) << "a dangling right edge";
}

}  // namespace
}  // namespace kestrune
