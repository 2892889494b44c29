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
    std::string path;
    for (const PathSegment& segment : record.path) {
        if (const auto* key = std::get_if<std::string>(&segment.step)) {
            if (!path.empty()) path += '.';
            path += *key;
        } else {
            path += '[' + std::to_string(std::get<std::uint64_t>(segment.step)) + ']';
        }
    }
    std::string line = path.empty() ? "" : "at " + path + ": ";
    line += "expected " + record.expected + ", got " + record.value + " [" + std::string(record.code) + "]";
    return line;
}

}  // namespace kestrune::py
