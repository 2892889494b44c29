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
#include "compiler/typing_names.hpp"
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

void refuse_pattern(std::string_view pattern, std::string_view reason) {
    const std::string message = "invalid regular expression " + quote_text(pattern) + ": " + std::string(reason);
    PyErr_SetString(PyExc_ValueError, message.c_str());
}

struct ExpressionFlag {
    long bit;
    const char* name;
    bool honoured;
    char letter;  // its inline flag, if it needs one
};

// The flags of the re module. Every pattern is matched as Unicode text, so
// re.UNICODE needs nothing; the flags that would read it otherwise have no meaning
// here.
constexpr std::array<ExpressionFlag, 8> expression_flags = {{
    {2, "re.IGNORECASE", true, 'i'},
    {4, "re.LOCALE", false, 0},
    {8, "re.MULTILINE", true, 'm'},
    {16, "re.DOTALL", true, 's'},
    {32, "re.UNICODE", true, 0},
    {64, "re.VERBOSE", true, 'x'},
    {128, "re.DEBUG", false, 0},
    {256, "re.ASCII", false, 0},
}};

// The letters of the flag groups that `pattern` starts with, as in "(?i)(?sm)".
std::string leading_flag_letters(std::string_view pattern) {
    std::string letters;
    while (pattern.starts_with("(?")) {
        const std::size_t end = pattern.find_first_not_of("aiLmsux", 2);
        if (end == 2 || end == std::string_view::npos || pattern[end] != ')') break;
        letters.append(pattern.substr(2, end - 2));
        pattern.remove_prefix(end + 1);
    }
    return letters;
}

// The pattern of a compiled expression with its flags written as inline flags in
// front, unless the flag groups it starts with hold them already (as they do when
// the flags came from there); none, with a ValueError set, for a flag that cannot be
// honoured.
std::optional<std::string> with_expression_flags(PyObject* expression, std::string_view pattern) {
    long flags = 0;
    if (PyRef value = read_attribute(expression, "flags")) {
        flags = PyLong_AsLong(value.get());
        if (flags == -1 && PyErr_Occurred()) {
            PyErr_Clear();
            flags = 0;
        }
    }
    const std::string present = leading_flag_letters(pattern);
    std::string letters;
    for (const ExpressionFlag& flag : expression_flags) {
        if ((flags & flag.bit) == 0) continue;
        flags &= ~flag.bit;
        if (!flag.honoured) {
            refuse_pattern(pattern, "flag " + std::string(flag.name) + " is not supported");
            return std::nullopt;
        }
        if (flag.letter != 0 && present.find(flag.letter) == std::string::npos) letters += flag.letter;
    }
    if (flags != 0) {
        refuse_pattern(pattern, "flag value " + std::to_string(flags) + " is not supported");
        return std::nullopt;
    }
    return letters.empty() ? std::string(pattern) : "(?" + letters + ")" + std::string(pattern);
}

bool is_compiled_expression(PyObject* item) {
    const TypingNames* names = typing_names();
    if (!names) {
        PyErr_Clear();
        return false;
    }
    return names->re_pattern && Py_IS_TYPE(item, reinterpret_cast<PyTypeObject*>(names->re_pattern.get()));
}

// Appends the constraints of one item; false with a ValueError set when its pattern
// is refused.
bool read_item(PyObject* item, ConstantsPool& pool, std::vector<Constraint>& constraints) {
    if (PyRef value = read_attribute(item, "pattern")) {
        if (std::optional<std::string_view> text = utf8_view(value.get())) {
            std::optional<std::string> pattern =
                is_compiled_expression(item) ? with_expression_flags(item, *text) : std::string(*text);
            if (!pattern) return false;
            const PatternCompilation compiled = compile_pattern(*pattern);
            if (!compiled.pattern) {
                refuse_pattern(*text, compiled.error);
                return false;
            }
            constraints.push_back(Constraint::with_pattern(std::move(*pattern)));
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
