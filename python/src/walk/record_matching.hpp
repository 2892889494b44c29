// What the matchers of records share, whatever the input: field positions by
// name, and the key rules of undeclared keys.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "walk/precompute.hpp"
#include "walk/walk.hpp"
#include "support/same_text.hpp"

namespace kestrune::py {

// Field positions by name: the validator's precomputed index when it has one for
// these fields, else a scan of the fields that gives the same answers without
// allocating (the last namesake wins).
class FieldLookup {
public:
    FieldLookup(const std::vector<Field>& fields, const Precompute& tables) : fields_(fields) {
        if (fields.empty()) return;
        index_ = tables.field_index.find(storage_identity(fields));
        distinct_names_ = index_ != nullptr && index_->names.size() == fields.size();
    }

    // Keys mostly come in the order the fields are declared, so the field after the
    // last one found is tried first; that guess needs names without namesakes.
    std::optional<std::uint64_t> find(std::string_view name) {
        if (index_ != nullptr) {
            if (distinct_names_ && next_ < fields_.size() && is_same_text(fields_[next_].name, name)) {
                return next_++;
            }
            auto found = index_->names.find(name);
            if (found == index_->names.end()) return std::nullopt;
            next_ = found->second + 1;
            return found->second;
        }
        for (std::size_t p = fields_.size(); p-- > 0;) {
            if (fields_[p].name == name) return p;
        }
        return std::nullopt;
    }

    bool has_distinct_names() const { return distinct_names_; }
    const RecordIndex* index() const { return index_; }
    // The settled tests of the fields' values, by position; null without an index.
    const FieldTest* tests() const { return index_ != nullptr ? index_->tests.data() : nullptr; }

    std::uint64_t required() const {
        if (index_ != nullptr) return index_->required;
        std::uint64_t count = 0;
        for (const Field& field : fields_) count += field.required ? 1 : 0;
        return count;
    }

private:
    const std::vector<Field>& fields_;
    const RecordIndex* index_ = nullptr;
    bool distinct_names_ = false;
    std::size_t next_ = 0;
};

// Whether the key and value satisfy one of the rules, tried in declaration order.
bool matches_some_rule(const std::vector<KeyRule>& rules, WalkValue key, WalkValue value, const WalkState& state);

// The boolean pass over a JSON object (json_record_matching.cpp).
bool match_json_record(const SchemaNode& node, std::span<const json::JsonMember> members, const WalkState& state);

// The collecting pass that explains why a value is not a member of the record
// (dict_record_matching.cpp).
void diagnose_record(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                     ErrorList& errors);

}  // namespace kestrune::py
