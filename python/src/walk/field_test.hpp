// How the field values of a record or an object class are answered, settled from each
// field's schema once per validator (field_test, field_value_checks.hpp).
#pragma once

#include <Python.h>

#include <cstdint>

namespace kestrune::py {

struct FieldTest {
    enum class Way : std::uint8_t {
        Types,  // type tests alone: an atom, a union of atoms
        Items,  // a list or tuple whose items type tests alone answer
        Other,  // any other schema
    };
    Way way = Way::Other;
    bool list = false;  // Items: a list, else a tuple
    // The type tests of the value (Types) or of each item (Items): the kinds they
    // admit and one exact type that passes them.
    std::uint32_t kinds = 0;
    const PyTypeObject* exact = nullptr;
};

}  // namespace kestrune::py
