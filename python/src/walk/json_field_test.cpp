#include "walk/json_field_test.hpp"

#include <optional>

#include "walk/type_test_kinds.hpp"

namespace kestrune::py {

namespace {

// The JSON kinds that pass the type tests in `kinds`, as passes_some_type_test
// answers a JSON value.
std::uint8_t json_kinds_passing(std::uint32_t kinds) {
    std::uint8_t passing = 0;
    for (unsigned kind = 0; kind <= static_cast<unsigned>(json::JsonKind::Object); ++kind) {
        if (kind_mask_admits_everything(kinds) || (json_kind_passes(json::JsonKind(kind)) & kinds) != 0) {
            passing |= static_cast<std::uint8_t>(1U << kind);
        }
    }
    return passing;
}

}  // namespace

JsonFieldTest json_field_test(const SchemaNode& schema) {
    using Way = JsonFieldTest::Way;
    if (const std::optional<std::uint32_t> kinds = type_test_kinds(schema)) {
        return {Way::Kinds, json_kinds_passing(*kinds)};
    }
    // A JSON array is never a tuple: those are left to the walk.
    if (const std::optional<TypeTests> items = type_tested_items(schema);
        items && schema.sequence_kind == SequenceKind::List) {
        return {Way::ListOfKinds, json_kinds_passing(items->kinds())};
    }
    if (schema.kind == NodeKind::Dict) return {Way::Record, 0};
    return {};
}

}  // namespace kestrune::py
