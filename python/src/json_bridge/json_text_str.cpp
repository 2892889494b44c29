#include "json_bridge/json_text_str.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrune::py {

namespace {

// The widest character of a text that is not ASCII follows from its largest byte
// alone: lead bytes up to 0xC3 start characters below 0x100, up to 0xEF characters
// below 0x10000.
Py_UCS4 widest_character_bound(unsigned char largest_byte) {
    if (largest_byte <= 0xC3) return 0xFF;
    if (largest_byte < 0xF0) return 0xFFFF;
    return 0x10FFFF;
}

#if defined(__SSE2__)
// The sixteen bytes of `chunk` as sixteen characters at `out`.
template <class Char>
void store_widened(__m128i chunk, Char* out) {
    const __m128i zero = _mm_setzero_si128();
    if constexpr (sizeof(Char) == 1) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chunk);
    } else {
        const __m128i low = _mm_unpacklo_epi8(chunk, zero);
        const __m128i high = _mm_unpackhi_epi8(chunk, zero);
        if constexpr (sizeof(Char) == 2) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), high);
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(low, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(low, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpacklo_epi16(high, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm_unpackhi_epi16(high, zero));
        }
    }
}
#endif

// Whether every byte of `text` is ASCII, as most texts are: words OR-ed together,
// the last one overlapping the one before, so a short text costs a few instructions.
bool is_ascii(std::string_view text) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    const char* const bytes = text.data();
    const std::size_t size = text.size();
    const auto load = [&]<class Word>(Word, std::size_t at) {
        Word word;
        std::memcpy(&word, bytes + at, sizeof word);
        return static_cast<std::uint64_t>(word);
    };
    std::uint64_t seen = 0;
    if (size >= 8) {
        for (std::size_t at = 0; at + 8 < size && (seen & kHighBits) == 0; at += 8) seen |= load(std::uint64_t{}, at);
        seen |= load(std::uint64_t{}, size - 8);
    } else if (size >= 4) {
        seen = load(std::uint32_t{}, 0) | load(std::uint32_t{}, size - 4);
    } else {
        for (std::size_t at = 0; at < size; ++at) seen |= static_cast<unsigned char>(bytes[at]);
    }
    return (seen & kHighBits) == 0;
}

struct TextShape {
    unsigned char largest_byte;
    Py_ssize_t length;  // in characters
};

TextShape shape_of(std::string_view text) {
    const auto* const bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t at = 0;
    unsigned char largest = 0;
    std::size_t continuations = 0;  // bytes that add no character
#if defined(__SSE2__)
    if (size >= 16) {
        __m128i top = _mm_setzero_si128();
        __m128i counts = _mm_setzero_si128();  // per byte lane, flushed before it wraps
        unsigned pending = 0;
        const auto flush = [&] {
            const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
            continuations += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                             static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
            counts = _mm_setzero_si128();
            pending = 0;
        };
        for (; size - at >= 16; at += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
            top = _mm_max_epu8(top, chunk);
            // Continuation bytes, 0x80 to 0xBF, are the signed bytes below -64.
            counts = _mm_sub_epi8(counts, _mm_cmplt_epi8(chunk, _mm_set1_epi8(-64)));
            if (++pending == 255) flush();
        }
        flush();
        top = _mm_max_epu8(top, _mm_srli_si128(top, 8));
        top = _mm_max_epu8(top, _mm_srli_si128(top, 4));
        top = _mm_max_epu8(top, _mm_srli_si128(top, 2));
        top = _mm_max_epu8(top, _mm_srli_si128(top, 1));
        largest = static_cast<unsigned char>(_mm_cvtsi128_si32(top) & 0xFF);
    }
#endif
    for (; at < size; ++at) {
        largest = std::max(largest, bytes[at]);
        continuations += (bytes[at] & 0xC0) == 0x80;
    }
    return {largest, static_cast<Py_ssize_t>(size - continuations)};
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
    // Eight ASCII bytes at `in` become eight characters; false when some byte is not
    // ASCII.
    const auto widen_ascii_word = [&] {
        std::uint64_t word;
        std::memcpy(&word, in, sizeof word);
        if ((word & 0x8080808080808080ull) != 0) return false;
        for (int i = 0; i < 8; ++i) out[i] = static_cast<Char>(in[i]);
        in += 8;
        out += 8;
        return true;
    };
    while (out != out_end && in != end) {
        // Runs of ASCII, the bulk of most texts, are widened sixteen bytes at a time
        // where the vector unit allows (all sixteen are stored, the ASCII ones
        // kept), else eight.
#if defined(__SSE2__)
        if (end - in >= 16 && out_end - out >= 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
            store_widened(chunk, out);
            const auto high = static_cast<unsigned>(_mm_movemask_epi8(chunk));
            const unsigned ascii = high == 0 ? 16 : static_cast<unsigned>(std::countr_zero(high));
            in += ascii;
            out += ascii;
            if (ascii == 16) continue;
            // `in` is at a byte from 0x80 up, decoded below.
        } else if (end - in >= 8 && out_end - out >= 8 && widen_ascii_word()) {
            continue;
        }
#else
        if (end - in >= 8 && out_end - out >= 8 && widen_ascii_word()) continue;
#endif
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
    if (is_ascii(text)) {
        PyRef str = PyRef::steal(PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 0x7F));
        if (str) std::memcpy(PyUnicode_DATA(str.get()), text.data(), text.size());
        return str;
    }
    const auto [largest, length] = shape_of(text);
    const Py_UCS4 widest = widest_character_bound(largest);
    PyRef str = PyRef::steal(PyUnicode_New(length, widest));
    if (!str) return str;
    void* const data = PyUnicode_DATA(str.get());
    if (widest == 0xFF) {
        decode_into(text, static_cast<Py_UCS1*>(data), length);
    } else if (widest == 0xFFFF) {
        decode_into(text, static_cast<Py_UCS2*>(data), length);
    } else {
        decode_into(text, static_cast<Py_UCS4*>(data), length);
    }
    return str;
}

}  // namespace kestrune::py
