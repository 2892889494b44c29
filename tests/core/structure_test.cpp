#include "kestrune/core/structure.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "tree_builders.hpp"

namespace kestrune {
namespace {

using namespace testing;  // the hand-built tree helpers

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kHighBit = std::uint64_t{1} << 63;

NodePtr refine(NodePtr base, std::vector<Constraint> constraints) {
    return make_refinement(std::move(base), std::move(constraints));
}

template <class... Cs>
NodePtr refine_int(Cs&&... constraints) {
    return refine(leaf(NodeKind::Int), list_of<Constraint>(std::forward<Cs>(constraints)...));
}

NodePtr record(std::vector<Field> fields, std::vector<KeyRule> rules = {}) {
    return make_dict(std::move(fields), std::move(rules));
}

template <class... Fs>
NodePtr record_of(Fs&&... fields) {
    return record(list_of<Field>(std::forward<Fs>(fields)...));
}

NodePtr list_seq(SequenceShape shape) { return make_sequence(SequenceKind::List, std::move(shape)); }

// Each ladder lists distinct nodes in strictly ascending order. Building it twice
// gives two independent but equal trees for every rung.
using Ladder = std::function<std::vector<NodePtr>()>;

void expect_strictly_ascending(const Ladder& build) {
    const std::vector<NodePtr> rungs = build();
    const std::vector<NodePtr> twins = build();
    ASSERT_EQ(rungs.size(), twins.size());
    std::set<std::uint64_t> hashes;
    for (std::size_t i = 0; i < rungs.size(); ++i) {
        SCOPED_TRACE("rung " + std::to_string(i));
        EXPECT_TRUE(equal_nodes(*rungs[i], *twins[i]));
        EXPECT_EQ(compare_nodes(*rungs[i], *twins[i]), std::strong_ordering::equal);
        EXPECT_EQ(hash_of(*rungs[i]), hash_of(*twins[i]));
        // Distinct rungs should feed distinct bytes; a collision here means a payload
        // member is left out of the feed.
        EXPECT_TRUE(hashes.insert(hash_of(*rungs[i])).second);
        for (std::size_t j = 0; j < rungs.size(); ++j) {
            if (i == j) continue;
            SCOPED_TRACE("against rung " + std::to_string(j));
            EXPECT_FALSE(equal_nodes(*rungs[i], *twins[j]));
            EXPECT_EQ(compare_nodes(*rungs[i], *twins[j]), i <=> j);
        }
    }
}

TEST(NodeOrder, KindNumberDecidesFirst) {
    expect_strictly_ascending([] {
        return list_of<NodePtr>(
            leaf(NodeKind::Anything), leaf(NodeKind::Any), leaf(NodeKind::Nothing), leaf(NodeKind::NoneType),
            leaf(NodeKind::Bool), leaf(NodeKind::Int), leaf(NodeKind::Float), leaf(NodeKind::Str),
            leaf(NodeKind::Bytes), make_literal(kMax),
            make_sequence(SequenceKind::Tuple, make_repeat(leaf(NodeKind::Bytes))), make_set(leaf(NodeKind::Bytes)),
            make_frozen_set(leaf(NodeKind::Anything)), make_dict({}, {}),
            make_union(list_of<NodePtr>(leaf(NodeKind::Bytes))), make_intersection({}),
            make_complement(leaf(NodeKind::Anything)), make_instance(kMax), make_object(0, {}),
            refine_int(bound(ConstraintKind::Ge, 0)), make_back_edge(kMax), make_placeholder(0));
    });
}

TEST(NodeOrder, NumbersCompareAsUnsignedAndNeverResolve) {
    expect_strictly_ascending([] {
        std::vector<NodePtr> rungs;
        for (auto make : {make_literal, make_instance, make_back_edge, make_placeholder}) {
            for (std::uint64_t number : {std::uint64_t{0}, std::uint64_t{1}, kHighBit, kMax}) {
                rungs.push_back(make(number));
            }
        }
        return rungs;
    });
}

TEST(NodeOrder, SequencesByTagThenShapeVariantThenPayload) {
    expect_strictly_ascending([] {
        using S = SequenceShape;
        return list_of<NodePtr>(
            list_seq(S::empty()), list_seq(item(leaf(NodeKind::Int))), list_seq(item(leaf(NodeKind::Str))),
            list_seq(S::concat({})), list_seq(S::concat(list_of<S>(item(leaf(NodeKind::Int))))),
            list_seq(S::concat(list_of<S>(item(leaf(NodeKind::Int)), S::empty()))),
            list_seq(S::concat(list_of<S>(item(leaf(NodeKind::Str))))), list_seq(S::alternation({})),
            list_seq(S::alternation(list_of<S>(S::empty()))), list_seq(S::repeat(S::empty())),
            list_seq(make_repeat(leaf(NodeKind::Int))), list_seq(S::repeat(make_repeat(leaf(NodeKind::Int)))),
            // Every list orders before every tuple, whatever the shapes.
            make_sequence(SequenceKind::Tuple, S::empty()),
            make_sequence(SequenceKind::Tuple, make_repeat(leaf(NodeKind::Int))));
    });
}

TEST(NodeOrder, MemberArraysAreLexicographicWithPrefixFirst) {
    expect_strictly_ascending([] {
        auto u = [](auto... kinds) { return make_union(list_of<NodePtr>(leaf(kinds)...)); };
        return list_of<NodePtr>(u(), u(NodeKind::Int), u(NodeKind::Int, NodeKind::Int),
                                u(NodeKind::Int, NodeKind::Str), u(NodeKind::Str), u(NodeKind::Str, NodeKind::Int),
                                make_intersection({}),
                                make_intersection(list_of<NodePtr>(leaf(NodeKind::Anything))));
    });
}

TEST(NodeOrder, ChildrenDecideForSetsAndComplements) {
    expect_strictly_ascending([] {
        return list_of<NodePtr>(make_set(leaf(NodeKind::Int)), make_set(leaf(NodeKind::Str)),
                                make_frozen_set(leaf(NodeKind::Int)), make_complement(leaf(NodeKind::Int)),
                                make_complement(make_complement(leaf(NodeKind::Anything))));
    });
}

TEST(NodeOrder, DictsByFieldsFirstSoMappingsPrecedeRecords) {
    expect_strictly_ascending([] {
        auto any_to_any = [] { return list_of<KeyRule>(rule(leaf(NodeKind::Anything), leaf(NodeKind::Anything))); };
        return list_of<NodePtr>(
            record({}), record({}, any_to_any()),
            // The largest rules still leave a mapping below every record.
            record({}, list_of<KeyRule>(rule(make_placeholder(kMax), make_placeholder(kMax)))),
            record(list_of<Field>(field("", leaf(NodeKind::Int), false))),
            record(list_of<Field>(field("", leaf(NodeKind::Int), false)), any_to_any()),
            record_of(field("", leaf(NodeKind::Int), true)), record_of(field("", leaf(NodeKind::Str), false)),
            record_of(field("Z", leaf(NodeKind::Anything))), record_of(field("a", leaf(NodeKind::Anything))),
            record_of(field("ab", leaf(NodeKind::Anything))), record_of(field("b", leaf(NodeKind::Anything))),
            record_of(field("b", leaf(NodeKind::Anything)), field("a", leaf(NodeKind::Anything))),
            // Bytes compare unsigned: the lead byte of "é" is 0xc3.
            record_of(field("\xc3\xa9", leaf(NodeKind::Anything))));
    });
}

TEST(NodeOrder, ObjectsByClassThenAttributes) {
    expect_strictly_ascending([] {
        return list_of<NodePtr>(make_object(0, {}), make_object(0, list_of<Field>(field("a", leaf(NodeKind::Int)))),
                                make_object(0, list_of<Field>(field("a", leaf(NodeKind::Str)))),
                                make_object(1, {}));
    });
}

TEST(NodeOrder, RefinementsByBaseThenConstraintVariantThenOperand) {
    using K = ConstraintKind;
    expect_strictly_ascending([] {
        return list_of<NodePtr>(
            refine_int(), refine_int(bound(K::Ge, 0)), refine_int(bound(K::Ge, 9)),
            refine_int(bound(K::Ge, 9), bound(K::Ge, 0)),
            // gt on 7 after ge on 9: the variant decides before the operand.
            refine_int(bound(K::Gt, 7)), refine_int(bound(K::Gt, 7), bound(K::Lt, 1)),
            refine_int(bound(K::Le, 0)), refine_int(bound(K::Lt, 0)), refine_int(bound(K::MinLength, 0)),
            refine_int(bound(K::MaxLength, 0)), refine_int(bound(K::MultipleOf, 0)),
            refine_int(bound(K::Func, kMax)), refine_int(Constraint::with_pattern("")),
            refine_int(Constraint::with_pattern("a")), refine_int(Constraint::with_pattern(std::string("a\0", 2))),
            refine_int(Constraint::with_pattern("ab")), refine_int(Constraint::with_pattern("b")),
            refine(leaf(NodeKind::Str), list_of<Constraint>(bound(K::Ge, 0))),
            // Nothing is normalised: a chain is not the flat refinement with both constraints.
            refine(refine_int(bound(K::Gt, 7)), list_of<Constraint>(bound(K::Lt, 1))));
    });
}

TEST(NodeEquality, RecordsWithReorderedFieldsDiffer) {
    auto a_then_b = [] { return record_of(field("a", leaf(NodeKind::Int)), field("b", leaf(NodeKind::Str))); };
    auto b_then_a = [] { return record_of(field("b", leaf(NodeKind::Str)), field("a", leaf(NodeKind::Int))); };
    EXPECT_FALSE(equal_nodes(*a_then_b(), *b_then_a()));
    EXPECT_NE(hash_of(*a_then_b()), hash_of(*b_then_a()));
    // The terminator keeps the boundary between adjacent names in the feed.
    EXPECT_NE(hash_of(*record_of(field("ab", leaf(NodeKind::Int)), field("c", leaf(NodeKind::Int)))),
              hash_of(*record_of(field("a", leaf(NodeKind::Int)), field("bc", leaf(NodeKind::Int)))));
}

TEST(NodeEquality, PlaceholdersAndBackEdgesByNumber) {
    EXPECT_TRUE(equal_nodes(*make_placeholder(4), *make_placeholder(4)));
    EXPECT_FALSE(equal_nodes(*make_back_edge(0), *make_back_edge(1)));
    EXPECT_FALSE(equal_nodes(*make_back_edge(2), *make_placeholder(2)));
}

TEST(ShapeAndConstraintEquality, EntryPointsAgreeWithNodeEquality) {
    using S = SequenceShape;
    const S concat = S::concat(list_of<S>(item(leaf(NodeKind::Int)), S::empty()));
    const S alternation = S::alternation(list_of<S>(item(leaf(NodeKind::Int)), S::empty()));
    EXPECT_TRUE(equal_shapes(concat, clone_shape(concat)));
    EXPECT_FALSE(equal_shapes(concat, alternation));
    EXPECT_EQ(compare_shapes(concat, alternation), std::strong_ordering::less);

    const Constraint nul_a = Constraint::with_pattern(std::string("a\0b", 3));
    const Constraint nul_b = Constraint::with_pattern(std::string("a\0c", 3));
    EXPECT_FALSE(equal_constraint(nul_a, nul_b));
    EXPECT_TRUE(equal_constraint(nul_a, Constraint::with_pattern(std::string("a\0b", 3))));
    // The operand is not part of a pattern, nor the text part of a bound.
    EXPECT_FALSE(equal_constraint(bound(ConstraintKind::Ge, 1), bound(ConstraintKind::Gt, 1)));
    EXPECT_FALSE(equal_constraint_lists(list_of<Constraint>(bound(ConstraintKind::Ge, 1)),
                                        list_of<Constraint>(bound(ConstraintKind::Ge, 1), nul_a)));
}

TEST(ListOrders, FieldRuleAndConstraintListsDirectly) {
    constexpr std::strong_ordering less = std::strong_ordering::less;
    EXPECT_EQ(compare_field_lists(list_of<Field>(field("a", leaf(NodeKind::Int), false)),
                                  list_of<Field>(field("a", leaf(NodeKind::Int), true))),
              less);
    EXPECT_EQ(compare_key_rule_lists(list_of<KeyRule>(rule(leaf(NodeKind::Int), leaf(NodeKind::Str))),
                                     list_of<KeyRule>(rule(leaf(NodeKind::Str), leaf(NodeKind::Anything)))),
              less);
    EXPECT_EQ(compare_constraint_lists(list_of<Constraint>(bound(ConstraintKind::Gt, 7)),
                                       list_of<Constraint>(bound(ConstraintKind::Ge, 9))),
              std::strong_ordering::greater);
    EXPECT_EQ(compare_constraint_lists({}, {}), std::strong_ordering::equal);
}

// Expected hash feeds, written out byte by byte.
struct Feed {
    std::vector<unsigned char> bytes;
    Feed& u64(std::uint64_t value) {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
        return *this;
    }
    Feed& u8(unsigned char value) {
        bytes.push_back(value);
        return *this;
    }
    Feed& text(const std::string& value) {
        bytes.insert(bytes.end(), value.begin(), value.end());
        return u8(0xff);
    }
    std::uint64_t hash() const {
        SipHash13 hasher;
        hasher.write(bytes.data(), bytes.size());
        return hasher.finish();
    }
};

// The worked feeds: list[int] and the closed record {"a": int}.
Feed int_list_feed() { return Feed().u64(10).u64(0).u64(4).u64(1).u64(5); }
Feed closed_record_feed() { return Feed().u64(13).u64(1).text("a").u64(5).u8(1).u64(0); }

struct FeedCase {
    const char* label;
    std::function<NodePtr()> build;
    Feed expected;
};

TEST(HashFeed, MatchesTheFeedWrittenOut) {
    using K = NodeKind;
    const std::vector<FeedCase> cases = {
        {"Int", [] { return leaf(K::Int); }, Feed().u64(5)},
        {"list[int]", [] { return list_seq(make_repeat(leaf(K::Int))); }, int_list_feed()},
        {"closed record {a: int}", [] { return record_of(field("a", leaf(K::Int))); }, closed_record_feed()},
        {"empty optional field name", [] { return record_of(field("", leaf(K::Int), false)); },
         Feed().u64(13).u64(1).u8(0xff).u64(5).u8(0).u64(0)},
        {"mapping str -> int", [] { return make_mapping(leaf(K::Str), leaf(K::Int)); },
         Feed().u64(13).u64(0).u64(1).u64(7).u64(5)},
        {"Literal", [] { return make_literal(kHighBit | 7); }, Feed().u64(9).u64(kHighBit | 7)},
        {"tuple of Concat[Item(Str), Alternation[], Empty]",
         [] {
             using S = SequenceShape;
             return make_sequence(SequenceKind::Tuple,
                                  S::concat(list_of<S>(item(leaf(K::Str)), S::alternation({}), S::empty())));
         },
         Feed().u64(10).u64(1).u64(2).u64(3).u64(1).u64(7).u64(3).u64(0).u64(0)},
        {"Set", [] { return make_set(leaf(K::Bytes)); }, Feed().u64(11).u64(8)},
        {"FrozenSet", [] { return make_frozen_set(leaf(K::Bool)); }, Feed().u64(12).u64(4)},
        {"Union[Int, Str]", [] { return make_union(list_of<NodePtr>(leaf(K::Int), leaf(K::Str))); },
         Feed().u64(14).u64(2).u64(5).u64(7)},
        {"Intersection[]", [] { return make_intersection({}); }, Feed().u64(15).u64(0)},
        {"Complement", [] { return make_complement(leaf(K::NoneType)); }, Feed().u64(16).u64(3)},
        {"Instance", [] { return make_instance(2); }, Feed().u64(17).u64(2)},
        {"Object", [] { return make_object(3, list_of<Field>(field("x", leaf(K::Bool)))); },
         Feed().u64(18).u64(3).u64(1).text("x").u64(4).u8(1)},
        {"Refinement",
         [] {
             return refine(leaf(K::Int), list_of<Constraint>(bound(ConstraintKind::MaxLength, 2),
                                                              Constraint::with_pattern("^a")));
         },
         Feed().u64(19).u64(5).u64(2).u64(5).u64(2).u64(8).text("^a")},
        {"BackEdge", [] { return make_back_edge(4); }, Feed().u64(20).u64(4)},
        {"Placeholder", [] { return make_placeholder(6); }, Feed().u64(21).u64(6)},
    };
    for (const FeedCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(hash_of(*c.build()), c.expected.hash());
    }
}

TEST(HashFeed, WorkedFeedsHaveTheirStatedLengths) {
    // Guards the table above against a miscounted expectation.
    EXPECT_EQ(int_list_feed().bytes.size(), 40u);
    EXPECT_EQ(closed_record_feed().bytes.size(), 35u);
}

TEST(HashFeed, ShapeFeedIsTheTailOfTheSequenceFeed) {
    const SequenceShape shape = SequenceShape::repeat(item(leaf(NodeKind::Float)));
    SipHash13 hasher;
    hasher.write_u64(10);
    hasher.write_u64(1);
    hash_shape(shape, hasher);
    EXPECT_EQ(hasher.finish(), hash_of(*make_sequence(SequenceKind::Tuple, clone_shape(shape))));
}

// Every allocation a tree owns: nodes, shapes, and the buffers of texts and arrays.
void collect_storage(const SchemaNode& node, std::set<const void*>& out);

void collect_storage(const SequenceShape& shape, std::set<const void*>& out) {
    out.insert(&shape);
    if (shape.item) collect_storage(*shape.item, out);
    if (!shape.parts.empty()) out.insert(shape.parts.data());
    for (const SequenceShape& part : shape.parts) collect_storage(part, out);
    if (shape.inner) collect_storage(*shape.inner, out);
}

void collect_storage(const SchemaNode& node, std::set<const void*>& out) {
    out.insert(&node);
    if (node.child) collect_storage(*node.child, out);
    if (node.shape) collect_storage(*node.shape, out);
    if (!node.members.empty()) out.insert(node.members.data());
    for (const NodePtr& member : node.members) collect_storage(*member, out);
    if (!node.fields.empty()) out.insert(node.fields.data());
    for (const Field& f : node.fields) {
        out.insert(f.name.data());
        collect_storage(*f.schema, out);
    }
    if (!node.rules.empty()) out.insert(node.rules.data());
    for (const KeyRule& r : node.rules) {
        collect_storage(*r.key, out);
        collect_storage(*r.value, out);
    }
    if (!node.constraints.empty()) out.insert(node.constraints.data());
    for (const Constraint& c : node.constraints) out.insert(c.pattern.data());
}

// One of every kind of storage; names and patterns are too long to sit inside
// their string objects.
NodePtr storage_sample() {
    using S = SequenceShape;
    const std::string long_name = "a field name too long for small-string storage";
    return make_union(list_of<NodePtr>(
        record(list_of<Field>(field(long_name, make_set(leaf(NodeKind::Int)), false)),
               list_of<KeyRule>(rule(leaf(NodeKind::Str), make_frozen_set(make_literal(3))))),
        make_object(2, list_of<Field>(field(long_name + "!", make_back_edge(1)))),
        refine(make_complement(make_placeholder(5)),
               list_of<Constraint>(bound(ConstraintKind::Lt, 4),
                                   Constraint::with_pattern("^[a-z]+ a pattern longer than small strings$"))),
        make_sequence(SequenceKind::Tuple,
                      S::concat(list_of<S>(item(make_instance(1)), S::alternation(list_of<S>(S::empty())),
                                           make_repeat(make_intersection({})))))));
}

TEST(DeepCopy, EqualToItsSourceAndSharesNoStorage) {
    const NodePtr source = storage_sample();
    const NodePtr copy = clone_node(*source);
    EXPECT_TRUE(equal_nodes(*source, *copy));
    EXPECT_EQ(hash_of(*source), hash_of(*copy));
    std::set<const void*> source_storage;
    std::set<const void*> copy_storage;
    collect_storage(*source, source_storage);
    collect_storage(*copy, copy_storage);
    for (const void* address : copy_storage) EXPECT_EQ(source_storage.count(address), 0u);
}

TEST(DeepCopy, ArrayCopiesKeepOrderAndHoles) {
    std::vector<NodePtr> nodes = list_of<NodePtr>(make_literal(2), nullptr, make_literal(1));
    const std::vector<NodePtr> copies = clone_nodes(nodes);
    ASSERT_EQ(copies.size(), 3u);
    EXPECT_TRUE(equal_nodes(*copies[0], *nodes[0]));
    EXPECT_EQ(copies[1], nullptr);
    EXPECT_TRUE(equal_nodes(*copies[2], *nodes[2]));
    EXPECT_EQ(clone_boxed_node(nullptr), nullptr);
    EXPECT_EQ(clone_boxed_shape(nullptr), nullptr);

    using S = SequenceShape;
    const std::vector<S> shapes = list_of<S>(S::empty(), make_repeat(leaf(NodeKind::Int)));
    const std::vector<S> shape_copies = clone_shapes(shapes);
    ASSERT_EQ(shape_copies.size(), 2u);
    EXPECT_TRUE(equal_shapes(shape_copies[0], shapes[0]));
    EXPECT_TRUE(equal_shapes(shape_copies[1], shapes[1]));

    const std::vector<Field> fields = list_of<Field>(field("b", leaf(NodeKind::Int), false), field("a", nullptr));
    const std::vector<Field> field_copies = clone_fields(fields);
    EXPECT_EQ(compare_field_lists(fields, field_copies), std::strong_ordering::equal);
    EXPECT_NE(field_copies[0].schema.get(), fields[0].schema.get());

    const std::vector<Constraint> constraints =
        list_of<Constraint>(Constraint::with_pattern("p"), bound(ConstraintKind::Func, 3));
    EXPECT_TRUE(equal_constraint_lists(clone_constraints(constraints), constraints));
}

// A hand-built tree may leave a child out; the operations treat the hole as a
// value of its own instead of following it.
TEST(MissingChildren, AreEqualToEachOtherAndOrderFirst) {
    auto hole = [] { return std::make_unique<SchemaNode>(NodeKind::Complement); };
    EXPECT_TRUE(equal_nodes(*hole(), *hole()));
    EXPECT_FALSE(equal_nodes(*hole(), *make_complement(leaf(NodeKind::Anything))));
    EXPECT_EQ(compare_nodes(*hole(), *make_complement(leaf(NodeKind::Anything))), std::strong_ordering::less);
    EXPECT_EQ(hash_of(*hole()), Feed().u64(16).hash());
    const NodePtr copy = clone_node(*hole());
    EXPECT_EQ(copy->kind, NodeKind::Complement);
    EXPECT_EQ(copy->child, nullptr);
}

}  // namespace
}  // namespace kestrune
