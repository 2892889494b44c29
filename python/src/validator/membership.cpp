#include "validator/membership.hpp"

#include "walk/walk.hpp"
#include "walk/walk_probe.hpp"
#include "errors/validation_error_build.hpp"
#include "kestrune/core/native_stack.hpp"
#include "validator/validator.hpp"
#include "support/argument_binding.hpp"
#include "support/entry_point.hpp"

namespace kestrune::py {

namespace {

// One walk from the root with the call's own guard, slot, path and records. Returns
// the verdict; a kept fatal exception is left in `fatal`.
bool walk_root(const ValidatorValue& validator, WalkValue value, FatalSlot& fatal, bool collect, bool fail_fast,
               ErrorList& errors) {
    const Precompute& tables = validator.precompute.get_or_build([&] { return build_precompute(validator); });
    RecursionGuard guard;
    const bool answering = tables.revisits.answering && walk_reuse_enabled();
    const bool collecting = collect && tables.revisits.collecting && walk_reuse_enabled();
    MemoCell memo(fatal, guard, answering, collecting);
    const WalkState state{validator.constants, validator.definitions, tables, guard, fatal, memo, collect, fail_fast,
                          false, native_stack_floor()};
    ErrorPath path;
    const bool member = walk_node(*validator.schema, value, path, state, errors);
    if (const WalkMemo* started = memo.get()) count_expansions(started->expansions());
    return member;
}

// Raises the exception that ended the check; a stop always comes with one.
int raise_fatal(FatalSlot& fatal) {
    if (!fatal.exception) throw InvariantFailure("a check stopped without an exception");
    PyErr_SetRaisedException(fatal.exception.release());
    return -1;
}

bool bind_obj(const char* callable, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** obj) {
    static constexpr const char* kParameters[] = {"obj"};
    const Signature signature{callable, kParameters, 1};
    return bind_arguments(signature, args, nargs, kwnames, obj);
}

}  // namespace

int is_member(PyObject* validator, WalkValue value) {
    FatalSlot fatal;
    ErrorList errors;
    const bool member = walk_root(validator_value(validator), value, fatal, false, true, errors);
    // Looked at before the verdict: a walk cut short can answer either way.
    if (fatal.stop) return raise_fatal(fatal);
    return member ? 1 : 0;
}

int validate_value(PyObject* validator, PyObject* value, bool fail_fast) {
    FatalSlot fatal;
    ErrorList errors;
    const bool member =
        walk_root(validator_value(validator), WalkValue::python(value), fatal, true, fail_fast, errors);
    if (fatal.stop) return raise_fatal(fatal);
    if (member) return 0;
    PyRef error = make_validation_error(errors);
    if (error) PyErr_SetRaisedException(error.release());
    return -1;
}

PyObject* validator_validate(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        static constexpr const char* kParameters[] = {"obj"};
        static constexpr const char* kKeywordOnly[] = {"fail_fast"};
        static constexpr Signature kSignature{"Validator.validate()", kParameters, 1, kKeywordOnly};
        PyObject* slots[2] = {nullptr, nullptr};
        if (!bind_arguments(kSignature, args, nargs, kwnames, slots)) return nullptr;
        bool fail_fast = false;
        if (!convert_flag(slots[1], "fail_fast", &fail_fast)) return nullptr;
        if (validate_value(self, slots[0], fail_fast) < 0) return nullptr;
        Py_RETURN_NONE;
    });
}

PyObject* validator_is_valid(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        PyObject* obj = nullptr;
        if (!bind_obj("Validator.is_valid()", args, nargs, kwnames, &obj)) return nullptr;
        const int member = is_member(self, WalkValue::python(obj));
        if (member < 0) return nullptr;
        return PyBool_FromLong(member);
    });
}

PyObject* validator_ensure(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        PyObject* obj = nullptr;
        if (!bind_obj("Validator.ensure()", args, nargs, kwnames, &obj)) return nullptr;
        if (validate_value(self, obj, false) < 0) return nullptr;
        return Py_NewRef(obj);
    });
}

}  // namespace kestrune::py
