#include "kestrune/core/relocate.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "kestrune/core/structure.hpp"
#include "tree_builders.hpp"

namespace kestrune {
namespace {

using namespace testing;  // the hand-built tree helpers

using Renumber = std::function<std::uint64_t(std::uint64_t)>;

// Every place an index can sit. `pool` maps each pool index and `edge` each back
// edge target; placeholders, counts and patterns are written out as they are, so
// building with the expected mappings gives the expected relocation.
NodePtr every_index(const Renumber& pool, const Renumber& edge) {
    using K = ConstraintKind;
    using S = SequenceShape;
    return make_union(list_of<NodePtr>(
        make_literal(pool(0)), make_literal(pool(7)), make_instance(pool(1)),
        make_object(pool(2), list_of<Field>(field("attr", make_back_edge(edge(3))))),
        make_refinement(make_set(make_literal(pool(1))),
                        list_of<Constraint>(bound(K::Ge, pool(0)), bound(K::Gt, pool(1)), bound(K::Le, pool(2)),
                                            bound(K::Lt, pool(0)), bound(K::MinLength, 1), bound(K::MaxLength, 2),
                                            bound(K::MultipleOf, pool(1)), bound(K::Func, pool(2)),
                                            Constraint::with_pattern("^1$"))),
        make_placeholder(1),
        make_dict(list_of<Field>(field("k", make_frozen_set(make_back_edge(edge(0))), false)),
                  list_of<KeyRule>(rule(make_literal(pool(2)), make_complement(make_back_edge(edge(1)))))),
        make_intersection(list_of<NodePtr>(make_back_edge(edge(2)), leaf(NodeKind::Str))),
        make_sequence(SequenceKind::Tuple,
                      S::concat(list_of<S>(item(make_literal(pool(1))), S::empty(),
                                           S::alternation(list_of<S>(item(make_back_edge(edge(0))))),
                                           make_repeat(make_instance(pool(2))))))));
}

struct RelocateCase {
    const char* label;
    std::vector<std::uint64_t> table;
    std::uint64_t offset;
    Renumber expected_pool;
    Renumber expected_edge;
};

TEST(Relocate, RenumbersPoolIndexesAndShiftsBackEdgesOnly) {
    const Renumber same = [](std::uint64_t i) { return i; };
    const std::vector<RelocateCase> cases = {
        {"identity", {}, 0, same, same},
        {"empty table still shifts back edges", {}, 5, same, [](std::uint64_t t) { return t + 5; }},
        {"full table", {40, 41, 42}, 0, [](std::uint64_t i) { return i < 3 ? 40 + i : i; }, same},
        {"short table keeps indexes beyond it", {9}, 2, [](std::uint64_t i) { return i == 0 ? 9 : i; },
         [](std::uint64_t t) { return t + 2; }},
        {"table may merge constants", {3, 3, 3}, 1, [](std::uint64_t i) { return i < 3 ? 3 : i; },
         [](std::uint64_t t) { return t + 1; }},
    };
    const NodePtr source = every_index(same, same);
    for (const RelocateCase& c : cases) {
        SCOPED_TRACE(c.label);
        const NodePtr moved = relocate(*source, c.table, c.offset);
        EXPECT_TRUE(equal_nodes(*moved, *every_index(c.expected_pool, c.expected_edge)));
    }
    // A rewrite leaves its input untouched.
    EXPECT_TRUE(equal_nodes(*source, *every_index(same, same)));
}

TEST(Relocate, ShapesAndKeyRulesThroughTheirOwnEntryPoints) {
    const std::vector<std::uint64_t> table = {7};
    const SequenceShape shape = SequenceShape::repeat(item(make_literal(0)));
    EXPECT_TRUE(equal_shapes(relocate_shape(shape, table, 3), SequenceShape::repeat(item(make_literal(7)))));

    const std::vector<KeyRule> rules = list_of<KeyRule>(rule(make_literal(0), make_back_edge(0)));
    const std::vector<KeyRule> moved = relocate_key_rules(rules, table, 3);
    EXPECT_EQ(compare_key_rule_lists(moved, list_of<KeyRule>(rule(make_literal(7), make_back_edge(3)))),
              std::strong_ordering::equal);
}

}  // namespace
}  // namespace kestrune
