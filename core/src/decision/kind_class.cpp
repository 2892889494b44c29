#include "kestrune/core/kind_class.hpp"

#include <bit>

namespace kestrune {

KindClass kind_class(const SchemaNode& node) {
    const SchemaNode* base = &node;
    while (base->kind == NodeKind::Refinement) {
        if (!base->child) return KindClass::Other;
        base = base->child.get();
    }
    switch (base->kind) {
        case NodeKind::NoneType: return KindClass::None;
        case NodeKind::Bool: return KindClass::Bool;
        case NodeKind::Int: return KindClass::Int;
        case NodeKind::Float: return KindClass::Float;
        case NodeKind::Str: return KindClass::Str;
        case NodeKind::Bytes: return KindClass::Bytes;
        case NodeKind::Sequence:
            return base->sequence_kind == SequenceKind::List ? KindClass::List : KindClass::Tuple;
        case NodeKind::Set: return KindClass::Set;
        case NodeKind::FrozenSet: return KindClass::FrozenSet;
        case NodeKind::Dict: return KindClass::Dict;
        default: return KindClass::Other;
    }
}

bool are_classes_disjoint(KindClass a, KindClass b) {
    if (a == KindClass::Other || b == KindClass::Other || a == b) return false;
    const bool bool_and_int = (a == KindClass::Bool && b == KindClass::Int) ||
                              (a == KindClass::Int && b == KindClass::Bool);
    return !bool_and_int;
}

bool are_kinds_disjoint(const SchemaNode& a, const SchemaNode& b) {
    if (a.kind == NodeKind::Nothing || b.kind == NodeKind::Nothing) return true;
    return are_classes_disjoint(kind_class(a), kind_class(b));
}

namespace {

constexpr std::uint16_t class_bit(KindClass kind) {
    return static_cast<std::uint16_t>(1u << static_cast<unsigned>(kind));
}

constexpr std::uint16_t kBoolAndInt = class_bit(KindClass::Bool) | class_bit(KindClass::Int);

}  // namespace

void DisjointPairFinder::add(const SchemaNode& node) {
    ++count_;
    if (node.kind == NodeKind::Nothing) saw_nothing_ = true;
    const KindClass kind = kind_class(node);
    if (kind != KindClass::Other) classes_ |= class_bit(kind);
}

// Any two different classes other than Other are disjoint except Bool and Int, so a
// disjoint pair exists exactly when two classes are present and they are not just
// those two.
bool DisjointPairFinder::found() const {
    if (count_ < 2) return false;
    if (saw_nothing_) return true;
    return std::popcount(classes_) >= 2 && classes_ != kBoolAndInt;
}

}  // namespace kestrune
