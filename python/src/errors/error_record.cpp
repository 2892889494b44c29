#include "errors/error_record.hpp"

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

std::string format_error_line(const ErrorRecord& record) {
    constexpr std::string_view kAt = "at ";
    std::string line(kAt);
    line.reserve(64 + record.expected.size() + record.value.size());
    for (const PathSegment& segment : record.path) {
        if (const auto* key = std::get_if<std::string>(&segment.step)) {
            if (line.size() > kAt.size()) line += '.';
            line += *key;
        } else {
            line += '[';
            line += std::to_string(std::get<std::uint64_t>(segment.step));
            line += ']';
        }
    }
    // The short form is chosen by the path text: empty keys write nothing.
    if (line.size() == kAt.size()) {
        line.clear();
    } else {
        line += ": ";
    }
    line += "expected ";
    line += record.expected;
    line += ", got ";
    line += record.value;
    line += " [";
    line += record.code;
    line += ']';
    return line;
}

}  // namespace kestrune::py
