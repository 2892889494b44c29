#include "validator/validator_methods.hpp"

#include "json_bridge/json_entry_points.hpp"
#include "validator/membership.hpp"
#include "validator/set_methods.hpp"
#include "validator/validator_slots.hpp"
#include "support/method_cast.hpp"

namespace kestrune::py {

namespace {

constexpr int kFastcallKeywords = METH_FASTCALL | METH_KEYWORDS;

}  // namespace

PyMethodDef* validator_methods() {
    static PyMethodDef methods[] = {
        {"validate", as_method(validator_validate), kFastcallKeywords,
         "validate($self, obj, *, fail_fast=False)\n--\n\n"
         "Check obj and raise ValidationError if it is not a member.\n\n"
         "The check only looks: obj is never copied or coerced. With fail_fast the check\n"
         "stops at the first failure instead of collecting every independent failure.\n"
         "Returns None for a member; the error's errors list each failure with a code\n"
         "and a path."},
        {"is_valid", as_method(validator_is_valid), kFastcallKeywords,
         "is_valid($self, obj)\n--\n\n"
         "Whether obj is a member.\n\n"
         "Builds no error and returns as soon as membership is decided. An ordinary\n"
         "exception raised during the check counts as a non-member; only a fatal\n"
         "interpreter signal (such as a KeyboardInterrupt during a long check) is\n"
         "raised. Returns True or False."},
        {"ensure", as_method(validator_ensure), kFastcallKeywords,
         "ensure($self, obj)\n--\n\n"
         "Validate obj and return it unchanged: the very object passed in.\n\n"
         "For code that wants the validated value back, reading distinctly from\n"
         "is_valid. Raises ValidationError for a non-member."},
        {"validate_json", as_method(validator_validate_json), kFastcallKeywords,
         "validate_json($self, data, *, fail_fast=False)\n--\n\n"
         "Validate a JSON document (str or bytes) that the module parses itself.\n\n"
         "The parsed value runs the same walk as validate, so the decision and the errors\n"
         "equal those of validate on the parsed object; fail_fast as for validate.\n"
         "Returns None. Raises ValidationError for malformed or undecodable JSON (code\n"
         "json_invalid) or a non-member, and TypeError when data is neither str nor bytes."},
        {"load", as_method(validator_load), kFastcallKeywords,
         "load($self, data, *, fail_fast=False)\n--\n\n"
         "Like validate_json, but return the parsed Python object once it is confirmed a\n"
         "member, so a caller that needs the data does not parse it again. Same errors."},
        {"is_valid_json", as_method(validator_is_valid_json), kFastcallKeywords,
         "is_valid_json($self, data)\n--\n\n"
         "Whether a JSON document parses and is a member.\n\n"
         "Malformed or undecodable JSON, and input that is neither str nor bytes, give\n"
         "False (the raising methods report the same input as a json_invalid error). The\n"
         "document is tested in place without intermediate Python objects; raises only\n"
         "on a fatal interpreter signal."},
        {"is_empty", validator_is_empty, METH_NOARGS,
         "is_empty($self)\n--\n\n"
         "Whether the schema is provably empty, so that is_valid is False for every value.\n\n"
         "Examples: an unsatisfiable intersection, a fixed sequence with an impossible\n"
         "position, a record with an impossible required field, a refinement whose bounds\n"
         "cannot hold together, a recursion without a base case. A satisfiable schema is\n"
         "never reported empty; forms it cannot decide give False. Bounded by a fixed work\n"
         "budget, so False can mean \"not proven empty within the bound\"."},
        {"is_subtype_of", as_method(validator_is_subtype_of), kFastcallKeywords,
         "is_subtype_of($self, other)\n--\n\n"
         "Whether every value of this schema is a value of other (set inclusion).\n\n"
         "other is any schema or validator. Sound: True only when proven (bool of int,\n"
         "list[bool] of list[int], a recursive schema of a wider one, a class of a base\n"
         "class); False for what it cannot decide (an alternation of sequence shapes, a\n"
         "leaf relation the oracle declines). Bounded by the work budget."},
        {"is_equivalent", as_method(validator_is_equivalent), kFastcallKeywords,
         "is_equivalent($self, other)\n--\n\n"
         "Whether both denote the same set (mutual inclusion), sound like is_subtype_of\n"
         "(the union of bool and int is equivalent to int); same budget."},
        {"__copy__", validator_copy, METH_NOARGS,
         "__copy__($self)\n--\n\n"
         "Returns an equivalent validator. Being immutable, the copy shares the pooled\n"
         "constants, classes and predicates instead of duplicating them."},
        {"__deepcopy__", as_method(validator_deepcopy), kFastcallKeywords,
         "__deepcopy__($self, _memo)\n--\n\n"
         "Deep copy to an equivalent validator. Shares the pool like __copy__; the memo\n"
         "is not used."},
        {"open", validator_open, METH_NOARGS,
         "open($self)\n--\n\n"
         "Open every record of the schema so that undeclared keys are admitted.\n\n"
         "Returns a new validator and leaves this one unchanged."},
        {"close", validator_close, METH_NOARGS,
         "close($self)\n--\n\n"
         "The inverse of open: only declared keys are admitted. Returns a new validator."},
        {"simplify", validator_simplify, METH_NOARGS,
         "simplify($self)\n--\n\n"
         "An equivalent validator reduced by the lattice laws.\n\n"
         "The same values in a simpler form: flattened and deduplicated unions and\n"
         "intersections, identities applied, complements in negation-normal form. Returns\n"
         "a new validator."},
        {nullptr, nullptr, 0, nullptr},
    };
    return methods;
}

}  // namespace kestrune::py
