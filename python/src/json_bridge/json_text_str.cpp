#include "json_bridge/json_text_str.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kestrune::py {

namespace {

// The widest character follows from the largest byte alone: lead bytes up to 0xC3
// start characters below 0x100, up to 0xEF characters below 0x10000.
Py_UCS4 widest_character_bound(unsigned char largest_byte) {
    if (largest_byte < 0x80) return 0x7F;
    if (largest_byte <= 0xC3) return 0xFF;
    if (largest_byte < 0xF0) return 0xFFFF;
    return 0x10FFFF;
}

// Decodes into exactly `length` characters; never reads past the text even if it
// were not UTF-8.
template <class Char>
void decode_into(std::string_view text, Char* out, Py_ssize_t length) {
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = in + text.size();
    Char* const out_end = out + length;
    const auto continuation = [&](int count) {
        std::uint32_t bits = 0;
        for (int i = 0; i < count; ++i) bits = (bits << 6) | (in < end ? *in++ & 0x3F : 0);
        return bits;
    };
    while (out != out_end && in != end) {
        // Runs of ASCII, the bulk of most texts, are widened eight bytes at a time.
        if (end - in >= 8 && out_end - out >= 8) {
            std::uint64_t word;
            std::memcpy(&word, in, sizeof word);
            if ((word & 0x8080808080808080ull) == 0) {
                for (int i = 0; i < 8; ++i) out[i] = static_cast<Char>(in[i]);
                in += 8;
                out += 8;
                continue;
            }
        }
        const unsigned char lead = *in++;
        std::uint32_t code;
        if (lead < 0x80) {
            code = lead;
        } else if (lead < 0xE0) {
            code = ((lead & 0x1F) << 6) | continuation(1);
        } else if (lead < 0xF0) {
            code = ((lead & 0x0F) << 12) | continuation(2);
        } else {
            code = ((lead & 0x07) << 18) | continuation(3);
        }
        *out++ = static_cast<Char>(code);
    }
    std::fill(out, out_end, Char{0});
}

}  // namespace

PyRef new_str_of_json_text(std::string_view text) {
    // One-character strs come from the interpreter's own table.
    if (text.size() <= 1) {
        return PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    }
    unsigned char largest = 0;
    Py_ssize_t length = 0;
    for (const char byte : text) {
        const auto value = static_cast<unsigned char>(byte);
        largest = std::max(largest, value);
        length += (value & 0xC0) != 0x80;  // continuation bytes add no character
    }
    const Py_UCS4 widest = widest_character_bound(largest);
    PyRef str = PyRef::steal(PyUnicode_New(length, widest));
    if (!str) return str;
    void* const data = PyUnicode_DATA(str.get());
    if (widest == 0x7F) {
        std::memcpy(data, text.data(), text.size());
    } else if (widest == 0xFF) {
        decode_into(text, static_cast<Py_UCS1*>(data), length);
    } else if (widest == 0xFFFF) {
        decode_into(text, static_cast<Py_UCS2*>(data), length);
    } else {
        decode_into(text, static_cast<Py_UCS4*>(data), length);
    }
    return str;
}

}  // namespace kestrune::py
