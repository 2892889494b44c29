// An exact description of the nodes built from the atom kinds alone.
//
// The seven atom classes partition all values, so unions, intersections and
// complements of atoms are answered by bit operations.
#pragma once

#include <cstdint>

#include "kestrune/core/schema_node.hpp"

namespace kestrune {

namespace atom_class {
inline constexpr std::uint8_t kNone = 0x01;
inline constexpr std::uint8_t kBool = 0x02;
inline constexpr std::uint8_t kInt = 0x04;  // integers that are not booleans
inline constexpr std::uint8_t kFloat = 0x08;
inline constexpr std::uint8_t kStr = 0x10;
inline constexpr std::uint8_t kBytes = 0x20;
inline constexpr std::uint8_t kOther = 0x40;
inline constexpr std::uint8_t kAll = 0x7F;
}  // namespace atom_class

// When `exact` is false, `classes` means nothing.
struct AtomMask {
    bool exact = false;
    std::uint8_t classes = 0;
};

// Not exact for any node that is not built from atoms alone: literals, refinements,
// containers, classes, Any and back edges (which are not followed).
AtomMask atom_mask(const SchemaNode& node);

// The mask of the classes no member of `mask` has.
inline constexpr std::uint8_t complement_classes(std::uint8_t classes) {
    return static_cast<std::uint8_t>(atom_class::kAll & ~classes);
}

}  // namespace kestrune
