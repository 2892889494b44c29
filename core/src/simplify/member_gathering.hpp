// Gathering the simplified members of a union or an intersection.
#pragma once

#include <vector>

#include "kestrune/core/schema_node.hpp"

namespace kestrune::detail {

// Drops the identity, splices members of the same lattice kind and stops at the
// absorbing element (for a union: Nothing, Union, Anything; for an intersection the
// dual), then normalizes what was gathered.
class MemberGathering {
public:
    explicit MemberGathering(NodeKind lattice_kind);

    // False once the absorbing element was met: later members need not be built.
    bool add(NodePtr member);
    NodePtr finish() &&;

private:
    NodeKind kind_;
    NodeKind identity_;
    NodeKind absorbing_;
    bool absorbed_ = false;
    std::vector<NodePtr> members_;
};

}  // namespace kestrune::detail
