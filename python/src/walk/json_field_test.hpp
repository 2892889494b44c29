// How a record field's JSON values are tested, settled from the field's schema once
// per validator: most fields are answered by the kinds of the value or of its items.
#pragma once

#include <cstdint>

#include "kestrune/core/schema_node.hpp"
#include "kestrune/json/json_value.hpp"

namespace kestrune::py {

struct JsonFieldTest {
    enum class Way : std::uint8_t {
        Kinds,        // by the value's kind alone: an atom, a union of atoms
        ListOfKinds,  // a list whose items' kinds alone answer
        Record,       // a nested record
        Walk,         // any other schema
    };
    Way way = Way::Walk;
    // Bit k is set when JsonKind k passes: the value's kind (Kinds) or each item's
    // (ListOfKinds).
    std::uint8_t kinds = 0;

    bool admits_kind(json::JsonKind kind) const { return ((kinds >> static_cast<unsigned>(kind)) & 1U) != 0; }
};

JsonFieldTest json_field_test(const SchemaNode& schema);

}  // namespace kestrune::py
