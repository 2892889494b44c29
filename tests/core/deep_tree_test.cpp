// Trees far deeper than any native stack allows a naive recursion to go.
#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/relocate.hpp"
#include "kestrune/core/structure.hpp"
#include "tree_builders.hpp"

namespace kestrune {
namespace {

using namespace testing;  // the hand-built tree helpers

constexpr std::size_t kDepth = 100'000;

NodePtr complement_chain(NodePtr node) {
    for (std::size_t i = 0; i < kDepth; ++i) node = make_complement(std::move(node));
    return node;
}

NodePtr union_chain(NodePtr node) {
    for (std::size_t i = 0; i < kDepth; ++i) node = make_union(list_of<NodePtr>(leaf(NodeKind::Int), std::move(node)));
    return node;
}

NodePtr sequence_chain(NodePtr node) {
    for (std::size_t i = 0; i < kDepth; ++i) {
        node = i % 2 == 0 ? make_sequence(SequenceKind::List, make_repeat(std::move(node)))
                          : make_sequence(SequenceKind::Tuple,
                                          SequenceShape::concat(list_of<SequenceShape>(item(leaf(NodeKind::Str)),
                                                                                       item(std::move(node)))));
    }
    return node;
}

NodePtr dict_field_chain(NodePtr node) {
    for (std::size_t i = 0; i < kDepth; ++i) {
        node = make_dict(list_of<Field>(field("k", std::move(node))),
                         list_of<KeyRule>(rule(leaf(NodeKind::Str), leaf(NodeKind::Int))));
    }
    return node;
}

// One Sequence node whose shape nests 100,000 repeats.
NodePtr repeat_shape_chain(NodePtr node) {
    SequenceShape shape = item(std::move(node));
    for (std::size_t i = 0; i < kDepth; ++i) shape = SequenceShape::repeat(std::move(shape));
    return make_sequence(SequenceKind::List, std::move(shape));
}

// Cycles through every slot that can own a child, so that each kind of edge is
// crossed thousands of times on the way down.
NodePtr mixed_chain(NodePtr node) {
    using S = SequenceShape;
    for (std::size_t i = 0; i < kDepth; ++i) {
        switch (i % 14) {
            case 0: node = make_set(std::move(node)); break;
            case 1: node = make_frozen_set(std::move(node)); break;
            case 2: node = make_complement(std::move(node)); break;
            case 3:
                node = make_refinement(std::move(node), list_of<Constraint>(bound(ConstraintKind::Ge, 0)));
                break;
            case 4: node = make_union(list_of<NodePtr>(std::move(node))); break;
            case 5: node = make_intersection(list_of<NodePtr>(leaf(NodeKind::Int), std::move(node))); break;
            case 6: node = make_dict(list_of<Field>(field("f", std::move(node))), {}); break;
            case 7: node = make_dict({}, list_of<KeyRule>(rule(std::move(node), leaf(NodeKind::Int)))); break;
            case 8: node = make_dict({}, list_of<KeyRule>(rule(leaf(NodeKind::Str), std::move(node)))); break;
            case 9: node = make_object(0, list_of<Field>(field("a", std::move(node)))); break;
            case 10: node = make_sequence(SequenceKind::List, item(std::move(node))); break;
            case 11: node = make_sequence(SequenceKind::Tuple, S::concat(list_of<S>(item(std::move(node))))); break;
            case 12:
                node = make_sequence(SequenceKind::List,
                                     S::alternation(list_of<S>(S::empty(), item(std::move(node)))));
                break;
            case 13: node = make_sequence(SequenceKind::Tuple, make_repeat(std::move(node))); break;
        }
    }
    return node;
}

struct Chain {
    const char* name;
    NodePtr (*wrap)(NodePtr bottom);
};

class DeepTree : public ::testing::TestWithParam<Chain> {};

// The chains differ only in the back edge at the bottom, so every operation has to
// reach the last level to tell them apart.
TEST_P(DeepTree, EveryOperationReachesTheBottom) {
    const auto wrap = GetParam().wrap;
    const NodePtr a = wrap(make_back_edge(0));
    const NodePtr twin = wrap(make_back_edge(0));
    const NodePtr b = wrap(make_back_edge(1));

    EXPECT_TRUE(equal_nodes(*a, *twin));
    EXPECT_FALSE(equal_nodes(*a, *b));
    EXPECT_EQ(compare_nodes(*a, *twin), std::strong_ordering::equal);
    EXPECT_EQ(compare_nodes(*a, *b), std::strong_ordering::less);
    EXPECT_EQ(compare_nodes(*b, *a), std::strong_ordering::greater);
    EXPECT_EQ(hash_of(*a), hash_of(*twin));
    EXPECT_NE(hash_of(*a), hash_of(*b));

    const NodePtr copy = clone_node(*a);
    EXPECT_TRUE(equal_nodes(*copy, *a));
    const NodePtr moved = relocate(*a, {}, 1);
    EXPECT_TRUE(equal_nodes(*moved, *b));
}

INSTANTIATE_TEST_SUITE_P(Chains, DeepTree,
                         ::testing::Values(Chain{"Complement", complement_chain}, Chain{"Union", union_chain},
                                           Chain{"Sequence", sequence_chain}, Chain{"DictField", dict_field_chain},
                                           Chain{"RepeatShape", repeat_shape_chain}, Chain{"Mixed", mixed_chain}),
                         [](const ::testing::TestParamInfo<Chain>& info) { return std::string(info.param.name); });

// Frames of 4 KiB make 10,000 levels outgrow any default stack, so the recursion
// must continue on a fresh one and bring its result or its exception back.
struct Descent {
    std::thread::id origin = std::this_thread::get_id();
    bool throw_at_bottom = false;
    bool bottom_on_other_thread = false;

    std::size_t descend(std::size_t levels) {
        return with_native_stack([&]() -> std::size_t {
            volatile char ballast[4096];
            ballast[levels % sizeof ballast] = 1;
            if (levels == 0) {
                bottom_on_other_thread = std::this_thread::get_id() != origin;
                if (throw_at_bottom) throw std::runtime_error("from the bottom");
                return 0;
            }
            return descend(levels - 1) + ballast[levels % sizeof ballast];
        });
    }
};

TEST(FreshStack, ResultsComeBackAcrossStacks) {
    Descent descent;
    EXPECT_EQ(descent.descend(10'000), 10'000u);
    EXPECT_TRUE(descent.bottom_on_other_thread);
}

TEST(FreshStack, ExceptionsComeBackAcrossStacks) {
    Descent descent;
    descent.throw_at_bottom = true;
    try {
        descent.descend(10'000);
        ADD_FAILURE() << "the exception was lost";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "from the bottom");
    }
    EXPECT_TRUE(descent.bottom_on_other_thread);
}

}  // namespace
}  // namespace kestrune
