// The two inner loops of the reader: stepping over whitespace between tokens and
// over the bytes of a string that stand for themselves. Both look at 16 bytes at a
// time with SSE2 where the target has it, else 8 at a time in a machine word; the
// two variants are always compiled so both can be tested on one machine.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrune::json::detail {

inline bool is_json_whitespace(unsigned char byte) {
    constexpr std::uint64_t kWhitespace = (1ull << ' ') | (1ull << '\t') | (1ull << '\n') | (1ull << '\r');
    return byte <= ' ' && ((kWhitespace >> byte) & 1) != 0;
}

// The bytes a plain run inside a string stops at: the closing quote, a backslash, a
// control byte (refused) and, when the run must be checked as UTF-8, any byte from
// 0x80 up.
inline bool ends_string_run(unsigned char byte, bool stop_at_non_ascii) {
    return byte == '"' || byte == '\\' || byte < 0x20 || (stop_at_non_ascii && byte >= 0x80);
}

namespace word_scan {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kLowBits = 0x7f7f7f7f7f7f7f7full;

inline std::uint64_t load_word(const char* cursor) {
    std::uint64_t word;
    std::memcpy(&word, cursor, sizeof word);
    return word;
}

// The high bit of each byte of `word` that is zero; exact for every byte.
inline std::uint64_t zero_bytes(std::uint64_t word) {
    return ~(((word & kLowBits) + kLowBits) | word) & kHighBits;
}

inline std::uint64_t bytes_equal_to(std::uint64_t word, unsigned char byte) {
    return zero_bytes(word ^ (kOnes * byte));
}

// Nonzero when some byte of `word` is below `bound` (bound at most 0x80).
inline std::uint64_t any_byte_below(std::uint64_t word, unsigned char bound) {
    return (word - kOnes * bound) & ~word & kHighBits;
}

inline const char* skip_whitespace(const char* cursor, const char* end) {
    while (end - cursor >= 8) {
        const std::uint64_t word = load_word(cursor);
        const std::uint64_t blank = bytes_equal_to(word, ' ') | bytes_equal_to(word, '\t') |
                                    bytes_equal_to(word, '\n') | bytes_equal_to(word, '\r');
        if (blank != kHighBits) break;
        cursor += 8;
    }
    while (cursor != end && is_json_whitespace(static_cast<unsigned char>(*cursor))) ++cursor;
    return cursor;
}

inline const char* find_string_run_end(const char* cursor, const char* end, bool stop_at_non_ascii) {
    const std::uint64_t stop_mask = stop_at_non_ascii ? kHighBits : 0;
    while (end - cursor >= 8) {
        const std::uint64_t word = load_word(cursor);
        const std::uint64_t hits = bytes_equal_to(word, '"') | bytes_equal_to(word, '\\') |
                                   any_byte_below(word, 0x20) | (word & stop_mask);
        if (hits != 0) break;
        cursor += 8;
    }
    while (cursor != end && !ends_string_run(static_cast<unsigned char>(*cursor), stop_at_non_ascii)) ++cursor;
    return cursor;
}

}  // namespace word_scan

#if defined(__SSE2__)
namespace vector_scan {

inline __m128i load_vector(const char* cursor) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(cursor)); }

inline const char* skip_whitespace(const char* cursor, const char* end) {
    while (end - cursor >= 16) {
        const __m128i chunk = load_vector(cursor);
        const __m128i blank = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\t'))),
            _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r'))));
        const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(blank)) & 0xffffu;
        if (other != 0) return cursor + __builtin_ctz(other);
        cursor += 16;
    }
    return word_scan::skip_whitespace(cursor, end);
}

// One bit per byte of `chunk` that ends a plain run (ends_string_run).
inline unsigned string_run_stops(__m128i chunk, bool stop_at_non_ascii) {
    // Below 0x20 or from 0x80 up is, as a signed byte, below 0x20; below 0x20 alone
    // is the byte being its own minimum with 0x1f.
    const __m128i refused = stop_at_non_ascii ? _mm_cmplt_epi8(chunk, _mm_set1_epi8(0x20))
                                              : _mm_cmpeq_epi8(_mm_min_epu8(chunk, _mm_set1_epi8(0x1f)), chunk);
    const __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('"')), _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\\'))), refused);
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

inline const char* find_string_run_end(const char* cursor, const char* end, bool stop_at_non_ascii) {
    while (end - cursor >= 16) {
        const unsigned mask = string_run_stops(load_vector(cursor), stop_at_non_ascii);
        if (mask != 0) return cursor + __builtin_ctz(mask);
        cursor += 16;
    }
    return word_scan::find_string_run_end(cursor, end, stop_at_non_ascii);
}

}  // namespace vector_scan
namespace widest_scan = vector_scan;
#else
namespace widest_scan = word_scan;
#endif

// Every byte above the space starts a token or is refused by one, and none is
// whitespace: one comparison settles the usual case.
inline bool may_be_whitespace(unsigned char byte) { return byte <= ' '; }

// Called between every two tokens, where there is usually no whitespace at all or
// a single space (as after the commas and colons of many writers).
inline const char* skip_whitespace(const char* cursor, const char* end) {
    if (cursor == end || !may_be_whitespace(static_cast<unsigned char>(*cursor))) return cursor;
    if (*cursor == ' ' && (cursor + 1 == end || !may_be_whitespace(static_cast<unsigned char>(cursor[1])))) {
        return cursor + 1;
    }
    if (!is_json_whitespace(static_cast<unsigned char>(*cursor))) return cursor;
    return widest_scan::skip_whitespace(cursor + 1, end);
}

inline const char* find_string_run_end(const char* cursor, const char* end, bool stop_at_non_ascii) {
    return widest_scan::find_string_run_end(cursor, end, stop_at_non_ascii);
}

// Where a plain run from `cursor` ends when it ends at a closing quote within the
// first wide load; nullptr when it stops at anything else, goes on past that load,
// or the load would reach past `end`. Most keys and short values end so.
inline const char* find_near_closing_quote(const char* cursor, const char* end, bool stop_at_non_ascii) {
#if defined(__SSE2__)
    if (end - cursor < 16) return nullptr;
    const unsigned stops = vector_scan::string_run_stops(vector_scan::load_vector(cursor), stop_at_non_ascii);
    if (stops == 0) return nullptr;
    const char* const stop = cursor + __builtin_ctz(stops);
#else
    if (end - cursor < 8) return nullptr;
    const std::uint64_t word = word_scan::load_word(cursor);
    const std::uint64_t stops = word_scan::bytes_equal_to(word, '"') | word_scan::bytes_equal_to(word, '\\') |
                                word_scan::any_byte_below(word, 0x20) |
                                (stop_at_non_ascii ? word & word_scan::kHighBits : 0);
    if (stops == 0) return nullptr;
    // Exact up to the first stop, which is all that is read.
    const char* const stop = cursor + __builtin_ctzll(stops) / 8;
#endif
    return *stop == '"' ? stop : nullptr;
}

}  // namespace kestrune::json::detail
