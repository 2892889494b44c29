#include "lib/validator_methods.hpp"

#include "lib/validator_slots.hpp"

namespace kestrune::py {

PyMethodDef* validator_methods() {
    static PyMethodDef methods[] = {
        {"__copy__", validator_copy, METH_NOARGS,
         "__copy__($self)\n--\n\n"
         "Returns an equivalent validator. Being immutable, the copy shares the pooled\n"
         "constants, classes and predicates instead of duplicating them."},
        {"__deepcopy__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(validator_deepcopy)),
         METH_FASTCALL | METH_KEYWORDS,
         "__deepcopy__($self, _memo)\n--\n\n"
         "Deep copy to an equivalent validator. Shares the pool like __copy__; the memo\n"
         "is not used."},
        {nullptr, nullptr, 0, nullptr},
    };
    return methods;
}

}  // namespace kestrune::py
