#include "kestrune/core/constraint_bounds.hpp"

#include <algorithm>
#include <cstdint>

namespace kestrune {

namespace {

struct BoundSlot {
    bool set = false;
    std::uint64_t index = 0;  // pool index of the bound
    bool strict = false;
};

// The tightest lower and upper bound that the oracle could prove tighter, visiting the
// constraints in order. The new bound is always compared first.
class BoundFold {
public:
    explicit BoundFold(LeafOracle& oracle) : oracle_(oracle) {}

    void add(const Constraint& constraint) {
        switch (constraint.kind) {
            case ConstraintKind::Ge: tighten(lower_, constraint.operand, false, ConstantOrder::Greater); break;
            case ConstraintKind::Gt: tighten(lower_, constraint.operand, true, ConstantOrder::Greater); break;
            case ConstraintKind::Le: tighten(upper_, constraint.operand, false, ConstantOrder::Less); break;
            case ConstraintKind::Lt: tighten(upper_, constraint.operand, true, ConstantOrder::Less); break;
            default: break;
        }
    }

    bool both_set() const { return lower_.set && upper_.set; }
    const BoundSlot& lower() const { return lower_; }
    const BoundSlot& upper() const { return upper_; }

private:
    // `tighter` is the answer that makes the new bound replace the slot's; an equal
    // strict bound only makes the slot strict.
    void tighten(BoundSlot& slot, std::uint64_t bound, bool strict, ConstantOrder tighter) {
        if (!slot.set) {
            slot = BoundSlot{true, bound, strict};
            return;
        }
        const ConstantOrder order = oracle_.compare_constants(bound, slot.index);
        if (order == tighter) {
            slot = BoundSlot{true, bound, strict};
        } else if (order == ConstantOrder::Equal && strict) {
            slot.strict = true;
        }
    }

    LeafOracle& oracle_;
    BoundSlot lower_;
    BoundSlot upper_;
};

// The largest minimum length above the smallest maximum.
class LengthFold {
public:
    void add(const Constraint& constraint) {
        if (constraint.kind == ConstraintKind::MinLength) {
            largest_min_ = has_min_ ? std::max(largest_min_, constraint.operand) : constraint.operand;
            has_min_ = true;
        } else if (constraint.kind == ConstraintKind::MaxLength) {
            smallest_max_ = has_max_ ? std::min(smallest_max_, constraint.operand) : constraint.operand;
            has_max_ = true;
        }
    }

    bool unsat() const { return has_min_ && has_max_ && largest_min_ > smallest_max_; }

private:
    bool has_min_ = false;
    bool has_max_ = false;
    std::uint64_t largest_min_ = 0;
    std::uint64_t smallest_max_ = 0;
};

// Lengths are judged before any bound, so no constant is compared when they settle
// it. `for_each` calls its argument with every constraint, in order.
template <class ForEach>
bool are_constraints_unsat(ForEach for_each, LeafOracle& oracle, bool is_int) {
    LengthFold lengths;
    for_each([&](const Constraint& constraint) { lengths.add(constraint); });
    if (lengths.unsat()) return true;

    BoundFold bounds(oracle);
    for_each([&](const Constraint& constraint) { bounds.add(constraint); });
    if (!bounds.both_set()) return false;
    const BoundSlot& lower = bounds.lower();
    const BoundSlot& upper = bounds.upper();
    switch (oracle.compare_constants(lower.index, upper.index)) {
        case ConstantOrder::Greater: return true;
        case ConstantOrder::Equal: return lower.strict || upper.strict;
        case ConstantOrder::Less:
        case ConstantOrder::Undecided: break;
    }
    return is_int && oracle.is_int_range_empty(lower.index, lower.strict, upper.index, upper.strict) ==
                         LeafAnswer::Yes;
}

}  // namespace

bool are_member_bounds_unsat(const std::vector<NodePtr>& members, LeafOracle& oracle) {
    const auto for_each = [&](auto&& visit) {
        for (const NodePtr& member : members) {
            if (!member || member->kind != NodeKind::Refinement) continue;
            for (const Constraint& constraint : member->constraints) visit(constraint);
        }
    };
    return are_constraints_unsat(for_each, oracle, false);
}

bool is_refinement_unsat(const std::vector<Constraint>& constraints, LeafOracle& oracle, bool is_int) {
    const auto for_each = [&](auto&& visit) {
        for (const Constraint& constraint : constraints) visit(constraint);
    };
    return are_constraints_unsat(for_each, oracle, is_int);
}

}  // namespace kestrune
