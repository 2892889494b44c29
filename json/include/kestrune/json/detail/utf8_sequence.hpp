// Checking one UTF-8 sequence of a document that did not come in as text.
#pragma once

namespace kestrune::json::detail {

enum class Utf8Check : unsigned char { Valid, Invalid, Truncated };

struct Utf8Sequence {
    Utf8Check check;
    unsigned length;  // of a valid sequence
};

// `cursor` is at a byte from 0x80 up. Overlong forms, surrogates and code points
// past U+10FFFF are invalid; a sequence cut off by the end of the document whose
// bytes so far are a valid start is truncated.
inline Utf8Sequence check_utf8_sequence(const char* cursor, const char* end) {
    const auto lead = static_cast<unsigned char>(*cursor);
    unsigned length;
    unsigned char second_min = 0x80;
    unsigned char second_max = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) second_min = 0xa0;  // overlong
        if (lead == 0xed) second_max = 0x9f;  // surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) second_min = 0x90;  // overlong
        if (lead == 0xf4) second_max = 0x8f;  // past U+10FFFF
    } else {
        return {Utf8Check::Invalid, 0};
    }
    for (unsigned offset = 1; offset < length; ++offset) {
        if (cursor + offset == end) return {Utf8Check::Truncated, 0};
        const auto byte = static_cast<unsigned char>(cursor[offset]);
        const unsigned char low = offset == 1 ? second_min : 0x80;
        const unsigned char high = offset == 1 ? second_max : 0xbf;
        if (byte < low || byte > high) return {Utf8Check::Invalid, 0};
    }
    return {Utf8Check::Valid, length};
}

}  // namespace kestrune::json::detail
