#include "errors/error_record.hpp"

#include <charconv>

#include "errors/text_helpers.hpp"
#include "json_bridge/json_to_python.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

std::string format_error_value(WalkValue value) {
    if (!value.is_json()) return format_repr(value.object());
    PyRef converted = convert_json_to_python(*value.json());
    if (!converted) {
        PyErr_Clear();
        return "<unrepresentable>";
    }
    return format_repr(converted.get());
}

ErrorRecord make_error_record(std::string_view code, std::string_view expected, WalkValue value,
                              const ErrorPath& path) {
    ErrorPath copied = clone_path(path);
    std::string expected_text(expected);
    return ErrorRecord{std::move(copied), std::move(expected_text), format_error_value(value), code};
}

ErrorRecord make_child_error_record(const ErrorPath& path, PathSegment segment, std::string_view code,
                                    std::string expected, std::string value) {
    ErrorPath copied = clone_path(path);
    copied.push_back(std::move(segment));
    return ErrorRecord{std::move(copied), std::move(expected), std::move(value), code};
}

void format_error_line(std::string& out, const ErrorRecord& record) {
    const std::size_t start = out.size();
    out += "at ";
    const std::size_t path_start = out.size();
    for (const PathSegment& segment : record.path) {
        if (const auto* key = std::get_if<std::string>(&segment.step)) {
            if (out.size() > path_start) out += '.';
            out += *key;
        } else {
            char digits[24];
            const std::to_chars_result end =
                std::to_chars(digits, digits + sizeof digits, std::get<std::uint64_t>(segment.step));
            out += '[';
            out.append(digits, end.ptr);
            out += ']';
        }
    }
    // The short form is chosen by the path text: empty keys write nothing.
    if (out.size() == path_start) {
        out.resize(start);
    } else {
        out += ": ";
    }
    out += "expected ";
    out += record.expected;
    out += ", got ";
    out += record.value;
    out += " [";
    out += record.code;
    out += ']';
}

std::size_t error_line_size_bound(const ErrorRecord& record) {
    // "at " ": " "expected " ", got " " [" "]", and at most 22 bytes per segment
    // besides its key text.
    std::size_t size = 24 + record.expected.size() + record.value.size() + record.code.size();
    for (const PathSegment& segment : record.path) {
        const auto* key = std::get_if<std::string>(&segment.step);
        size += 22 + (key ? key->size() : 0);
    }
    return size;
}

}  // namespace kestrune::py
