// One validation failure, as plain data: a record holds no Python object, so it can
// outlive the walk and shows the value as it was when the failure was met.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "walk/walk_value.hpp"

namespace kestrune::py {

// A dict key, field or attribute name (text), or a list or tuple position.
struct PathSegment {
    std::variant<std::string, std::uint64_t> step;

    static PathSegment key(std::string text) { return {std::move(text)}; }
    static PathSegment index(std::uint64_t position) { return {position}; }
};

// A vector that makes room for a few elements at its first push: paths and record
// lists that grow at all mostly grow past one, and each growth moves every element.
template <class T>
class SmallFirstVector : public std::vector<T> {
public:
    using std::vector<T>::vector;

    void push_back(T&& element) {
        if (this->capacity() == 0) this->reserve(4);
        std::vector<T>::push_back(std::move(element));
    }
};

using ErrorPath = SmallFirstVector<PathSegment>;

struct ErrorRecord {
    ErrorPath path;
    std::string expected;
    std::string value;
    std::string_view code;  // one of the fixed codes, static storage
};

using ErrorList = SmallFirstVector<ErrorRecord>;

inline ErrorPath clone_path(const ErrorPath& path) { return path; }

// The value text of a walked value: format_repr, a JSON node converted first
// ("<unrepresentable>" when that fails).
std::string format_error_value(WalkValue value);

ErrorRecord make_error_record(std::string_view code, std::string_view expected, WalkValue value,
                              const ErrorPath& path);
ErrorRecord make_child_error_record(const ErrorPath& path, PathSegment segment, std::string_view code,
                                    std::string expected, std::string value);

// Appends a record only when collecting; otherwise computes nothing at all.
inline void record_failure(std::string_view code, std::string_view expected, WalkValue value, const ErrorPath& path,
                           bool collect, ErrorList& errors) {
    if (collect) errors.push_back(make_error_record(code, expected, value, path));
}

// Writes "at <path>: expected <expected>, got <value> [<code>]" at the end of `out`,
// without the "at" part when the path text is empty.
void format_error_line(std::string& out, const ErrorRecord& record);

// At least the size of the record's line.
std::size_t error_line_size_bound(const ErrorRecord& record);

}  // namespace kestrune::py
