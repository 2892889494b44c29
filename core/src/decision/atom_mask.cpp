#include "kestrune/core/atom_mask.hpp"

#include "kestrune/core/native_stack.hpp"

namespace kestrune {

namespace {

constexpr AtomMask kNotExact{};

constexpr AtomMask exactly(std::uint8_t classes) { return AtomMask{true, classes}; }

// A union ORs from no class, an intersection ANDs from every class; the first member
// that is not exact ends the visit.
template <class Combine>
AtomMask combine_members(const std::vector<NodePtr>& members, std::uint8_t start, Combine combine) {
    std::uint8_t classes = start;
    for (const NodePtr& member : members) {
        if (!member) return kNotExact;
        const AtomMask mask = atom_mask(*member);
        if (!mask.exact) return kNotExact;
        classes = combine(classes, mask.classes);
    }
    return exactly(classes);
}

AtomMask atom_mask_here(const SchemaNode& node) {
    using namespace atom_class;
    switch (node.kind) {
        case NodeKind::Anything: return exactly(kAll);
        case NodeKind::Nothing: return exactly(0);
        case NodeKind::NoneType: return exactly(kNone);
        case NodeKind::Bool: return exactly(kBool);
        case NodeKind::Int: return exactly(kBool | kInt);  // an Int node admits booleans too
        case NodeKind::Float: return exactly(kFloat);
        case NodeKind::Str: return exactly(kStr);
        case NodeKind::Bytes: return exactly(kBytes);
        case NodeKind::Union:
            return combine_members(node.members, 0, [](std::uint8_t a, std::uint8_t b) {
                return static_cast<std::uint8_t>(a | b);
            });
        case NodeKind::Intersection:
            return combine_members(node.members, kAll, [](std::uint8_t a, std::uint8_t b) {
                return static_cast<std::uint8_t>(a & b);
            });
        case NodeKind::Complement: {
            if (!node.child) return kNotExact;
            const AtomMask child = atom_mask(*node.child);
            return child.exact ? exactly(complement_classes(child.classes)) : kNotExact;
        }
        default: return kNotExact;
    }
}

}  // namespace

AtomMask atom_mask(const SchemaNode& node) {
    return with_native_stack([&] { return atom_mask_here(node); });
}

}  // namespace kestrune
