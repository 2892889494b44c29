#include "kestrune/core/constraint_implication.hpp"

#include <algorithm>

#include "kestrune/core/structure.hpp"

namespace kestrune {

namespace {

bool is_at_least(ConstantOrder order) { return order == ConstantOrder::Greater || order == ConstantOrder::Equal; }
bool is_at_most(ConstantOrder order) { return order == ConstantOrder::Less || order == ConstantOrder::Equal; }

// Whether `left` alone implies `right`; bounds compare the left bound first.
bool implies(const Constraint& left, const Constraint& right, LeafOracle& oracle) {
    using K = ConstraintKind;
    const auto order = [&] { return oracle.compare_constants(left.operand, right.operand); };
    switch (right.kind) {
        case K::Ge:
            return (left.kind == K::Ge || left.kind == K::Gt) && is_at_least(order());
        case K::Gt:
            if (left.kind == K::Gt) return is_at_least(order());
            return left.kind == K::Ge && order() == ConstantOrder::Greater;
        case K::Le:
            return (left.kind == K::Le || left.kind == K::Lt) && is_at_most(order());
        case K::Lt:
            if (left.kind == K::Lt) return is_at_most(order());
            return left.kind == K::Le && order() == ConstantOrder::Less;
        case K::MinLength: return left.kind == K::MinLength && left.operand >= right.operand;
        case K::MaxLength: return left.kind == K::MaxLength && left.operand <= right.operand;
        case K::MultipleOf:
        case K::Func:
        case K::Pattern: return false;  // only an equal constraint implies these
    }
    return false;
}

bool follows(const Constraint& right, const std::vector<Constraint>& lhs, LeafOracle& oracle) {
    const auto equal = [&](const Constraint& left) { return equal_constraint(left, right); };
    if (std::any_of(lhs.begin(), lhs.end(), equal)) return true;
    return std::any_of(lhs.begin(), lhs.end(), [&](const Constraint& left) { return implies(left, right, oracle); });
}

}  // namespace

bool implies_constraints(const std::vector<Constraint>& rhs, const std::vector<Constraint>& lhs,
                         LeafOracle& oracle) {
    return std::all_of(rhs.begin(), rhs.end(), [&](const Constraint& right) { return follows(right, lhs, oracle); });
}

}  // namespace kestrune
