#include "compiler/pattern_repetition.hpp"

#include <algorithm>

namespace kestrune::py {

namespace {

constexpr std::uint64_t kCountCeiling = std::uint64_t{1} << 40;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<Count> read_count(std::string_view text) {
    std::size_t pos = 1;
    auto number = [&](std::uint64_t& value) {
        const std::size_t start = pos;
        value = 0;
        for (; pos < text.size() && is_digit(text[pos]); ++pos) {
            value = value >= kCountCeiling / 10 ? kCountCeiling : value * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        }
        return pos > start;
    };
    std::uint64_t min = 0;
    std::uint64_t max = 0;
    const bool has_min = number(min);
    if (pos < text.size() && text[pos] == '}') {
        if (!has_min) return std::nullopt;
        return Count{min, min, pos + 1};
    }
    if (pos >= text.size() || text[pos] != ',') return std::nullopt;
    ++pos;
    const bool has_max = number(max);
    if (pos >= text.size() || text[pos] != '}') return std::nullopt;
    return Count{min, has_max ? max : kUnbounded, pos + 1};
}

std::string engine_count_text(const Count& count) {
    std::string text = "{" + std::to_string(count.min);
    if (count.max != count.min) text += count.max == kUnbounded ? "," : "," + std::to_string(count.max);
    return text + "}";
}

std::uint64_t expanded_copies(const Count& count, std::uint64_t chunk) {
    const std::uint64_t optional = count.max == kUnbounded ? 1 : count.max - count.min;
    return count.min / chunk + optional / chunk + 3;
}

std::string expanded_repetition(std::string_view atom, const Count& count, std::uint64_t chunk) {
    std::string out;
    auto append = [&](std::uint64_t times, bool is_optional) {
        while (times > 0) {
            const std::uint64_t n = std::min(times, chunk);
            out += atom;
            if (is_optional) {
                out += n == 1 ? "?" : "{0," + std::to_string(n) + "}";
                // An empty group between optional runs keeps RE2 from merging them
                // back into one, which it takes time quadratic in the count to compile.
                out += "(?:)";
            } else if (n > 1) {
                out += "{" + std::to_string(n) + "}";
            }
            times -= n;
        }
    };
    append(count.min, false);
    if (count.max == kUnbounded) {
        out += atom;
        out += '*';
    } else {
        append(count.max - count.min, true);
    }
    return out;
}

}  // namespace kestrune::py
