#include "walk/constraint_check.hpp"

#include <string>
#include <string_view>

#include "compiler/pattern_engine.hpp"
#include "walk/walk.hpp"
#include "errors/text_helpers.hpp"
#include "support/method_call.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

struct Comparison {
    int op;
    std::string_view code;
    std::string_view symbol;
};

Comparison comparison_of(ConstraintKind kind) {
    switch (kind) {
        case ConstraintKind::Ge: return {Py_GE, "greater_than_equal", ">= "};
        case ConstraintKind::Gt: return {Py_GT, "greater_than", "> "};
        case ConstraintKind::Le: return {Py_LE, "less_than_equal", "<= "};
        default: return {Py_LT, "less_than", "< "};
    }
}

bool is_plain_number(PyObject* object) {
    return PyLong_CheckExact(object) || PyBool_Check(object) || PyFloat_CheckExact(object);
}

// Whether len() of the object runs no code of the caller's: a built-in type's does.
bool has_plain_length(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    return is_plain_scalar(object) || type == &PyList_Type || type == &PyTuple_Type || type == &PyDict_Type ||
           type == &PySet_Type || type == &PyFrozenSet_Type;
}

// The truth value of a call's result: 1, 0, or -1 with the exception set.
int truth_of(PyRef result) { return result ? PyObject_IsTrue(result.get()) : -1; }

bool check_comparison(const Constraint& constraint, PyObject* object, PyObject* bound, const ErrorPath& path,
                      const WalkState& state, ErrorList& errors) {
    const Comparison comparison = comparison_of(constraint.kind);
    // Ordering built-in scalars runs no code of the caller's.
    if (!(is_plain_scalar(object) && is_plain_scalar(bound)) && !state.may_call_python()) return false;
    const bool member = absorb_call_error(
        truth_of(PyRef::steal(PyObject_RichCompare(object, bound, comparison.op))), state.fatal);
    if (!member && wants_record(state, path.size(), WalkValue::python(object))) {
        errors.push_back(make_error_record(comparison.code, std::string(comparison.symbol) + format_repr(bound),
                                           WalkValue::python(object), path));
    }
    return member;
}

bool check_length(const Constraint& constraint, PyObject* object, const ErrorPath& path, const WalkState& state,
                  ErrorList& errors) {
    const bool is_min = constraint.kind == ConstraintKind::MinLength;
    if (!has_plain_length(object) && !state.may_call_python()) return false;
    const Py_ssize_t length = PyObject_Size(object);
    bool member = false;
    if (length < 0) {
        absorb_call_error(-1, state.fatal);
    } else {
        const auto size = static_cast<std::uint64_t>(length);
        member = is_min ? size >= constraint.operand : size <= constraint.operand;
    }
    if (!member && wants_record(state, path.size(), WalkValue::python(object))) {
        errors.push_back(make_error_record(is_min ? "too_short" : "too_long",
                                           (is_min ? "length >= " : "length <= ") +
                                               std::to_string(constraint.operand),
                                           WalkValue::python(object), path));
    }
    return member;
}

bool check_multiple_of(PyObject* object, PyObject* divisor, const ErrorPath& path, const WalkState& state,
                       ErrorList& errors) {
    if (!(is_plain_number(object) && is_plain_number(divisor)) && !state.may_call_python()) return false;
    // The value's own __mod__ only: a divisor's __rmod__ is never consulted.
    const int truth = truth_of(call_method(object, "__mod__", divisor));
    const bool member = truth == 0;
    if (truth < 0) absorb_call_error(-1, state.fatal);
    if (!member && wants_record(state, path.size(), WalkValue::python(object))) {
        errors.push_back(make_error_record("multiple_of", "a multiple of " + format_repr(divisor),
                                           WalkValue::python(object), path));
    }
    return member;
}

// "Name: text" of a predicate's exception, the name qualified but without module.
std::string describe_exception(PyObject* exception) {
    PyRef name = PyRef::steal(PyType_GetQualName(Py_TYPE(exception)));
    std::string text = name ? utf8_text(name.get()) : std::string();
    if (!name) PyErr_Clear();
    PyRef message = PyRef::steal(PyObject_Str(exception));
    if (!message) {
        PyErr_Clear();
        return text + ": <exception str() failed>";
    }
    return text + ": " + utf8_text(message.get());
}

bool check_predicate(PyObject* object, PyObject* predicate, const ErrorPath& path, const WalkState& state,
                     ErrorList& errors) {
    if (!state.may_call_python()) return false;
    const int truth = truth_of(PyRef::steal(PyObject_CallOneArg(predicate, object)));
    if (truth > 0) return true;
    if (truth < 0) {
        PyRef exception = PyRef::steal(PyErr_GetRaisedException());
        if (is_fatal_exception(exception.get())) {
            store_fatal_error(std::move(exception), state.fatal);
            return false;
        }
        if (wants_record(state, path.size(), WalkValue::python(object))) {
            errors.push_back(make_error_record(
                "predicate_error", "a predicate that does not raise (raised " + describe_exception(exception.get()) + ")",
                WalkValue::python(object), path));
        }
        return false;
    }
    record_failure("predicate_failed", "a passing predicate", WalkValue::python(object), path,
                   wants_record(state, path.size(), WalkValue::python(object)), errors);
    return false;
}

bool matches_pattern(const std::string& pattern, PyObject* object, const Precompute& tables) {
    const std::optional<std::string_view> text_view = utf8_view(object);
    if (!text_view) return false;
    const std::string_view text = *text_view;
    if (auto found = tables.pattern_cache.find(pattern); found != tables.pattern_cache.end()) {
        return found->second->matches(text);
    }
    // Tables without the pattern: compiled for this one test.
    const PatternCompilation compiled = compile_pattern(pattern);
    return compiled.pattern && compiled.pattern->matches(text);
}

bool check_pattern(const Constraint& constraint, PyObject* object, const ErrorPath& path, const WalkState& state,
                   ErrorList& errors) {
    const bool member = matches_pattern(constraint.pattern, object, state.precompute);
    if (!member && wants_record(state, path.size(), WalkValue::python(object))) {
        errors.push_back(make_error_record("string_pattern_mismatch", "a string matching " +
                                                                          quote_text(constraint.pattern),
                                           WalkValue::python(object), path));
    }
    return member;
}

}  // namespace

bool check_constraint(const Constraint& constraint, PyObject* object, const ErrorPath& path,
                      const WalkState& state, ErrorList& errors) {
    switch (constraint.kind) {
        case ConstraintKind::MinLength:
        case ConstraintKind::MaxLength: return check_length(constraint, object, path, state, errors);
        case ConstraintKind::Pattern: return check_pattern(constraint, object, path, state, errors);
        default: break;
    }
    if (!state.constants.contains_index(constraint.operand)) return false;
    PyObject* operand = state.constants.at(constraint.operand);
    switch (constraint.kind) {
        case ConstraintKind::MultipleOf: return check_multiple_of(object, operand, path, state, errors);
        case ConstraintKind::Func: return check_predicate(object, operand, path, state, errors);
        default: return check_comparison(constraint, object, operand, path, state, errors);
    }
}

}  // namespace kestrune::py
