// Moving a tree into another validator: pool indexes are renumbered through a table
// and definitions indexes shifted by the number of definitions already present.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// A pool index i becomes table[i] when i < table.size() and stays i otherwise; every
// BackEdge target gains `offset`; placeholders, counts and pattern texts are kept.
NodePtr relocate(const SchemaNode& node, std::span<const std::uint64_t> table, std::uint64_t offset);
SequenceShape relocate_shape(const SequenceShape& shape, std::span<const std::uint64_t> table,
                             std::uint64_t offset);
std::vector<KeyRule> relocate_key_rules(const std::vector<KeyRule>& rules,
                                        std::span<const std::uint64_t> table, std::uint64_t offset);

}  // namespace kestrune
