#include "errors/text_helpers.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "errors/scalar_repr.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void append_code_point(std::string& out, Py_UCS4 cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        // A lone surrogate has no UTF-8 form: each of the three bytes it would
        // take is replaced.
        for (int i = 0; i < 3; ++i) out += kReplacement;
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// str() of a repr result: a str subclass may override __str__, and a raising one is
// reported to the unraisable hook rather than lost.
std::string printable_text(PyObject* repr_result) {
    if (PyUnicode_CheckExact(repr_result)) return utf8_text(repr_result);
    PyRef text = PyRef::steal(PyObject_Str(repr_result));
    if (text && PyUnicode_Check(text.get())) return utf8_text(text.get());
    if (!text) PyErr_WriteUnraisable(repr_result);
    PyRef name = PyRef::steal(PyType_GetName(Py_TYPE(repr_result)));
    if (name && PyUnicode_Check(name.get())) return "<unprintable " + utf8_text(name.get()) + " object>";
    PyErr_Clear();
    return "<unprintable object>";
}

struct CodePointRange {
    std::uint32_t first, last;
};

constexpr CodePointRange kEscapedCodePoints[] = {
#include "errors/escaped_code_points.inc"
};

bool is_escaped(std::uint32_t cp) {
    const CodePointRange* end = std::end(kEscapedCodePoints);
    const CodePointRange* range = std::upper_bound(
        std::begin(kEscapedCodePoints), end, cp,
        [](std::uint32_t value, const CodePointRange& r) { return value < r.first; });
    return range != std::begin(kEscapedCodePoints) && cp <= (range - 1)->last;
}

// Decodes one scalar value from well-formed UTF-8 at `i`, advancing it.
std::uint32_t next_code_point(std::string_view text, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(text[k])); };
    std::uint32_t lead = byte(i);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (i + length > text.size()) length = 1;
    std::uint32_t cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (byte(i + k) & 0x3F);
    i += length;
    return cp;
}

}  // namespace

std::string quote_text(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        std::size_t start = i;
        std::uint32_t cp = next_code_point(text, i);
        switch (cp) {
            case 0: out += "\\0"; continue;
            case '\t': out += "\\t"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            default: break;
        }
        if (is_escaped(cp)) {
            std::array<char, 16> buffer{};
            int written = std::snprintf(buffer.data(), buffer.size(), "\\u{%x}", cp);
            out.append(buffer.data(), static_cast<std::size_t>(written));
        } else {
            out.append(text.substr(start, i - start));
        }
    }
    out += '"';
    return out;
}

std::string utf8_text(PyObject* text) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(text, &size)) return std::string(data, size);
    PyErr_Clear();
    std::string out;
    Py_ssize_t length = PyUnicode_GET_LENGTH(text);
    int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    out.reserve(static_cast<std::size_t>(length) * 3);
    for (Py_ssize_t i = 0; i < length; ++i) append_code_point(out, PyUnicode_READ(kind, data, i));
    return out;
}

std::string truncate_chars(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);  // never more characters than bytes
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
        if (characters == limit) return std::string(text.substr(0, i)) + "...";
        ++characters;
    }
    return std::string(text);
}

std::string format_repr(PyObject* object) {
    if (std::optional<std::string> text = scalar_repr(object)) return std::move(*text);
    PyRef repr = PyRef::steal(PyObject_Repr(object));
    if (!repr) {
        PyErr_Clear();
        return "<unrepresentable>";
    }
    if (PyUnicode_CheckExact(repr.get())) {
        // Cut straight from the str's own UTF-8 form: one copy instead of two.
        Py_ssize_t size = 0;
        if (const char* data = PyUnicode_AsUTF8AndSize(repr.get(), &size)) {
            return truncate_chars(std::string_view(data, static_cast<std::size_t>(size)), kValueTextLimit);
        }
        PyErr_Clear();
    }
    return truncate_chars(printable_text(repr.get()), kValueTextLimit);
}

std::string format_class_name(PyObject* cls) {
    PyRef name = PyRef::steal(PyObject_GetAttrString(cls, "__name__"));
    if (name && PyUnicode_Check(name.get())) {
        Py_ssize_t size = 0;
        if (const char* data = PyUnicode_AsUTF8AndSize(name.get(), &size)) return std::string(data, size);
    }
    PyErr_Clear();
    return format_repr(cls);
}

}  // namespace kestrune::py
