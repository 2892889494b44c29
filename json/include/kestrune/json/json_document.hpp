// Reading a document into a JsonValue tree.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "kestrune/json/detail/system_block.hpp"
#include "kestrune/json/detail/value_arena.hpp"
#include "kestrune/json/json_error.hpp"
#include "kestrune/json/json_reader.hpp"
#include "kestrune/json/json_value.hpp"

namespace kestrune::json {

// The storage of one tree. The elements of each container lie side by side, so
// items and members are spans; strings without escapes and the digits of big
// integers are borrowed from the document, so the tree must not outlive it. A
// document object can be read into again and again, reusing its storage.
class JsonDocument {
public:
    // Reads `document`; the values of an earlier read are gone. On a fault the
    // error is returned and there is no root.
    std::optional<JsonError> read(std::string_view document, JsonSource source);

    // The top-level value of the last read that succeeded.
    const JsonValue& root() const { return root_; }

    // Forgets the values, keeping at most `retained_bytes` of storage.
    void clear(std::size_t retained_bytes);

    // The storage held for the next read, in bytes.
    std::size_t retained_bytes() const;

private:
    class Builder;

    detail::ValueArena arena_;
    // Room for the values whose container is still open, in document order (an
    // object's members as key, value, key, value), used by the reader's builder.
    detail::SystemBlock pending_;
    JsonValue root_;
};

}  // namespace kestrune::json
