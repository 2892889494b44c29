// Nodes classified by their outermost constructor, to prove two schemas share no value.
#pragma once

#include <cstdint>

#include "kestrune/core/schema_node.hpp"

namespace kestrune {

enum class KindClass : std::uint8_t {
    None = 0,
    Bool = 1,
    Int = 2,
    Float = 3,
    Str = 4,
    Bytes = 5,
    List = 6,
    Tuple = 7,
    Set = 8,
    FrozenSet = 9,
    Dict = 10,
    Other = 11,  // may hold values of any class: literals, classes, unions, ...
};

// A Refinement takes the class of its innermost base that is not a Refinement.
KindClass kind_class(const SchemaNode& node);

// Neither is Other, they differ, and they are not Bool and Int (every bool is an int).
bool are_classes_disjoint(KindClass a, KindClass b);

// Whether the two nodes provably share no value by kind; Nothing shares none with
// anything.
bool are_kinds_disjoint(const SchemaNode& a, const SchemaNode& b);

// Finds, in one pass, whether two of the nodes added so far (at different positions)
// are disjoint by kind, without comparing every pair.
class DisjointPairFinder {
public:
    void add(const SchemaNode& node);
    bool found() const;

private:
    std::uint64_t count_ = 0;
    bool saw_nothing_ = false;
    std::uint16_t classes_ = 0;  // one bit per KindClass other than Other
};

}  // namespace kestrune
