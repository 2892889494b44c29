// Any bytes, read as a JSON document into one reused tree, as a thread reads
// document after document: the reader must refuse or accept every input without
// reading out of bounds, and an accepted tree must be whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kestrune/json/json_document.hpp"
#include "kestrune/json/json_error.hpp"

namespace {

using kestrune::json::JsonDocument;
using kestrune::json::JsonKind;
using kestrune::json::JsonSource;
using kestrune::json::JsonValue;

void require(bool condition) {
    if (!condition) std::abort();
}

// Whether `text` is well-formed UTF-8: only such text may be read as a str's form.
bool is_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        char32_t code_point = lead;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code_point = lead & 0x07;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code_point = lead & 0x0F;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code_point = lead & 0x1F;
        } else if (lead >= 0x80) {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code_point = (code_point << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code_point < smallest[length] || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// Touches every byte the tree refers to.
std::size_t weigh(const JsonValue& value, std::size_t depth) {
    require(depth <= kestrune::json::kJsonMaxDepth);
    std::size_t weight = 1;
    switch (value.kind()) {
        case JsonKind::Str:
        case JsonKind::BigInt:
            for (const char c : value.text()) weight += static_cast<unsigned char>(c);
            break;
        case JsonKind::Array:
            for (const JsonValue& item : value.items()) weight += weigh(item, depth + 1);
            break;
        case JsonKind::Object:
            for (const auto& member : value.members()) {
                require(member.key.kind() == JsonKind::Str);
                weight += weigh(member.key, depth + 1) + weigh(member.value, depth + 1);
            }
            break;
        default: break;
    }
    return weight;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static JsonDocument document;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const JsonSource source = is_utf8(text) && size % 2 == 0 ? JsonSource::Str : JsonSource::Bytes;
    if (const auto error = document.read(text, source)) {
        require(error->index <= size);
        require(!kestrune::json::format_json_error(text, *error).empty());
    } else {
        require(weigh(document.root(), 0) > 0);
    }
    document.clear(std::size_t{1} << 20);
    return 0;
}
