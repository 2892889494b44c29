// The annotation-like text of a schema, as shown by repr.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "compiler/constants_pool.hpp"
#include "kestrune/core/fxhash.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune::py {

// The definitions being written at the moment; a back edge into one of them is
// written as "..." so that a recursive schema has a finite text.
using RenderGuard = std::unordered_set<std::uint64_t, FxIntegerHash>;

// Never fails for any schema; only a tree too deep for the native stack gives null
// with RecursionError set.
std::optional<std::string> render_schema(const SchemaNode& node, const ConstantsPool& pool,
                                         const std::vector<NodePtr>& definitions, RenderGuard& guard);

}  // namespace kestrune::py
