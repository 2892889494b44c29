#include "lib/validator_methods.hpp"

namespace kestrune::py {

PyMethodDef* validator_methods() {
    static PyMethodDef methods[] = {
        {nullptr, nullptr, 0, nullptr},
    };
    return methods;
}

}  // namespace kestrune::py
