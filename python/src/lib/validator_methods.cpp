#include "lib/validator_methods.hpp"

#include "lib/membership.hpp"
#include "lib/validator_slots.hpp"
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
        {"__copy__", validator_copy, METH_NOARGS,
         "__copy__($self)\n--\n\n"
         "Returns an equivalent validator. Being immutable, the copy shares the pooled\n"
         "constants, classes and predicates instead of duplicating them."},
        {"__deepcopy__", as_method(validator_deepcopy), kFastcallKeywords,
         "__deepcopy__($self, _memo)\n--\n\n"
         "Deep copy to an equivalent validator. Shares the pool like __copy__; the memo\n"
         "is not used."},
        {nullptr, nullptr, 0, nullptr},
    };
    return methods;
}

}  // namespace kestrune::py
