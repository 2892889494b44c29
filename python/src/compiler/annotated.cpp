// Annotated[T, m1, m2, ...]: T narrowed by the constraints its metadata items carry.
// Items are read by duck typing, so any object with the right attributes works and
// items without them are ignored.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "compiler/compile_annotation.hpp"
#include "compiler/compile_forms.hpp"
#include "compiler/pattern_engine.hpp"
#include "errors/text_helpers.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

struct BoundAttribute {
    const char* name;
    ConstraintKind kind;
};

constexpr std::array<BoundAttribute, 4> bound_attributes = {{
    {"ge", ConstraintKind::Ge},
    {"gt", ConstraintKind::Gt},
    {"le", ConstraintKind::Le},
    {"lt", ConstraintKind::Lt},
}};

// The attribute, or null when reading it raises anything at all (the exception is
// dropped: metadata we cannot read is metadata we do not understand).
PyRef read_attribute(PyObject* item, const char* name) {
    PyRef value = PyRef::steal(PyObject_GetAttrString(item, name));
    if (!value) PyErr_Clear();
    return value;
}

// An unsigned 64-bit count from an int or an __index__ object; none otherwise.
std::optional<std::uint64_t> read_count(PyObject* item, const char* name) {
    PyRef value = read_attribute(item, name);
    if (!value || value.get() == Py_None) return std::nullopt;
    PyRef index = PyRef::steal(PyNumber_Index(value.get()));
    if (!index) {
        PyErr_Clear();
        return std::nullopt;
    }
    const unsigned long long count = PyLong_AsUnsignedLongLong(index.get());
    if (count == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
    }
    return count;
}

// Appends the constraints of one item; false with a ValueError set when its pattern
// is refused.
bool read_item(PyObject* item, ConstantsPool& pool, std::vector<Constraint>& constraints) {
    if (PyRef value = read_attribute(item, "pattern")) {
        if (std::optional<std::string_view> text = utf8_view(value.get())) {
            const PatternCompilation compiled = compile_pattern(*text);
            if (!compiled.pattern) {
                const std::string message =
                    "invalid regular expression " + quote_text(*text) + ": " + compiled.error;
                PyErr_SetString(PyExc_ValueError, message.c_str());
                return false;
            }
            constraints.push_back(Constraint::with_pattern(std::string(*text)));
            return true;
        }
    }
    for (const BoundAttribute& bound : bound_attributes) {
        PyRef value = read_attribute(item, bound.name);
        if (value && value.get() != Py_None) {
            constraints.push_back(Constraint::with_operand(bound.kind, pool.intern(value.get())));
        }
    }
    if (std::optional<std::uint64_t> count = read_count(item, "min_length")) {
        constraints.push_back(Constraint::with_operand(ConstraintKind::MinLength, *count));
    }
    if (std::optional<std::uint64_t> count = read_count(item, "max_length")) {
        constraints.push_back(Constraint::with_operand(ConstraintKind::MaxLength, *count));
    }
    PyRef divisor = read_attribute(item, "multiple_of");
    if (divisor && divisor.get() != Py_None) {
        constraints.push_back(Constraint::with_operand(ConstraintKind::MultipleOf, pool.intern(divisor.get())));
    }
    PyRef function = read_attribute(item, "func");
    if (function && PyCallable_Check(function.get())) {
        constraints.push_back(Constraint::with_operand(ConstraintKind::Func, pool.intern(function.get())));
    } else if (PyCallable_Check(item)) {
        constraints.push_back(Constraint::with_operand(ConstraintKind::Func, pool.intern(item)));
    }
    return true;
}

}  // namespace

NodePtr compile_annotated(PyObject* origin, PyObject* metadata, ConstantsPool& pool,
                          std::vector<NodePtr>& definitions) {
    NodePtr base = compile_annotation(origin, pool, definitions);
    if (!base) return nullptr;
    std::vector<Constraint> constraints;
    // Read by index: user code run while reading cannot shrink a tuple.
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(metadata); ++i) {
        PyRef item = PyRef::borrow(PyTuple_GET_ITEM(metadata, i));
        if (!read_item(item.get(), pool, constraints)) return nullptr;
    }
    if (constraints.empty()) return base;
    return make_refinement(std::move(base), std::move(constraints));
}

}  // namespace kestrune::py
