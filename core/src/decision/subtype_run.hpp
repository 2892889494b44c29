// The companions every nested inclusion question passes on unchanged.
#pragma once

#include "kestrune/core/subtype.hpp"

namespace kestrune::detail {

inline const SchemaNode* address_of(const SchemaNode& node) { return &node; }
inline const SchemaNode* address_of(const SchemaNode* node) { return node; }
inline const SchemaNode* address_of(const NodePtr& node) { return node.get(); }

struct SubtypeRun {
    const DecisionContext& context;
    AssumptionList& assumptions;

    // A hole in a hand-built tree is included in nothing and includes nothing.
    template <class Lhs, class Rhs>
    bool includes(const Lhs& lhs, const Rhs& rhs) const {
        const SchemaNode* left = address_of(lhs);
        const SchemaNode* right = address_of(rhs);
        return left && right && decide_subtype(*left, *right, context, assumptions);
    }
};

}  // namespace kestrune::detail
