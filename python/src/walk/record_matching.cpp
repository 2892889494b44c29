// Records and mappings: a value goes to the pass for its input, and a failure to the
// diagnosis when the walk collects.
#include "walk/record_matching.hpp"

namespace kestrune::py {

namespace {

bool match_key_rule(WalkValue key, WalkValue value, const WalkState& state, const KeyRule& rule) {
    return is_member_of(*rule.key, key, state) && is_member_of(*rule.value, value, state);
}

}  // namespace

bool matches_some_rule(const std::vector<KeyRule>& rules, WalkValue key, WalkValue value, const WalkState& state) {
    for (const KeyRule& rule : rules) {
        if (match_key_rule(key, value, state, rule)) return true;
    }
    return false;
}

bool walk_dict(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
               ErrorList& errors) {
    bool member;
    if (!value.is_json()) {
        member = match_dict_record(node, value.object(), state);
    } else {
        const JsonValue& json_value = *value.json();
        member = json_value.kind() == json::JsonKind::Object && match_json_record(node, json_value.members(), state);
    }
    if (!member && state.collect) {
        state.memo_cell.start();
        diagnose_record(node, value, path, state, errors);
    }
    return member;
}

}  // namespace kestrune::py
