// Short builders for the schemas the decision and rewrite tests write again and again.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "tree_builders.hpp"

namespace kestrune::testing {

inline NodePtr anything() { return leaf(NodeKind::Anything); }
inline NodePtr any() { return leaf(NodeKind::Any); }
inline NodePtr nothing() { return leaf(NodeKind::Nothing); }
inline NodePtr none_type() { return leaf(NodeKind::NoneType); }
inline NodePtr boolean() { return leaf(NodeKind::Bool); }
inline NodePtr integer() { return leaf(NodeKind::Int); }
inline NodePtr floating() { return leaf(NodeKind::Float); }
inline NodePtr text() { return leaf(NodeKind::Str); }
inline NodePtr bytes() { return leaf(NodeKind::Bytes); }

template <class... Members>
NodePtr union_of(Members&&... members) {
    return make_union(list_of<NodePtr>(std::forward<Members>(members)...));
}

template <class... Members>
NodePtr intersection_of(Members&&... members) {
    return make_intersection(list_of<NodePtr>(std::forward<Members>(members)...));
}

inline NodePtr complement_of(NodePtr child) { return make_complement(std::move(child)); }

// list[T]
inline NodePtr list_of_items(NodePtr item_schema) {
    return make_sequence(SequenceKind::List, make_repeat(std::move(item_schema)));
}

// tuple[T, ...]
inline NodePtr tuple_of_items(NodePtr item_schema) {
    return make_sequence(SequenceKind::Tuple, make_repeat(std::move(item_schema)));
}

// tuple[A, B, ...] with a fixed prefix; `rest` (when given) repeats after it.
inline NodePtr tuple_shape(std::vector<NodePtr> prefix, NodePtr rest = nullptr) {
    std::vector<SequenceShape> parts;
    for (NodePtr& node : prefix) parts.push_back(item(std::move(node)));
    if (rest) parts.push_back(make_repeat(std::move(rest)));
    return make_sequence(SequenceKind::Tuple, SequenceShape::concat(std::move(parts)));
}

template <class... Items>
NodePtr tuple_of(Items&&... items) {
    return tuple_shape(list_of<NodePtr>(std::forward<Items>(items)...));
}

template <class... Constraints>
NodePtr refine(NodePtr base, Constraints&&... constraints) {
    return make_refinement(std::move(base), list_of<Constraint>(std::forward<Constraints>(constraints)...));
}

inline Constraint ge(std::uint64_t bound) { return Constraint::with_operand(ConstraintKind::Ge, bound); }
inline Constraint gt(std::uint64_t bound) { return Constraint::with_operand(ConstraintKind::Gt, bound); }
inline Constraint le(std::uint64_t bound) { return Constraint::with_operand(ConstraintKind::Le, bound); }
inline Constraint lt(std::uint64_t bound) { return Constraint::with_operand(ConstraintKind::Lt, bound); }
inline Constraint min_length(std::uint64_t count) {
    return Constraint::with_operand(ConstraintKind::MinLength, count);
}
inline Constraint max_length(std::uint64_t count) {
    return Constraint::with_operand(ConstraintKind::MaxLength, count);
}
inline Constraint multiple_of(std::uint64_t divisor) {
    return Constraint::with_operand(ConstraintKind::MultipleOf, divisor);
}

// A closed record of the given fields.
template <class... Fields>
NodePtr record(Fields&&... fields) {
    return make_dict(list_of<Field>(std::forward<Fields>(fields)...), {});
}

// The open form: the single rule Anything -> Anything.
template <class... Fields>
NodePtr open_record(Fields&&... fields) {
    return make_dict(list_of<Field>(std::forward<Fields>(fields)...),
                     list_of<KeyRule>(rule(anything(), anything())));
}

}  // namespace kestrune::testing
