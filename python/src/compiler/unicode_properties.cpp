#include "compiler/unicode_properties.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace kestrune::py {

namespace {

enum class PropertyTable { Binary, GeneralCategory, Script };

// A name of a set: an explicit set (`set` >= 0) or one the engine knows by
// `engine_name`.
struct PropertyName {
    std::string_view name;
    PropertyTable table;
    int set;
    std::string_view engine_name;
    std::size_t ranges;
};

#include "compiler/unicode_properties.inc"

constexpr std::size_t kSetCount = std::size(kExplicitSets);
constexpr char32_t kLastCodePoint = 0x10FFFF;

struct CodePointRange {
    char32_t first;
    char32_t last;
};

std::vector<CodePointRange> decode_ranges(std::string_view encoded) {
    std::vector<CodePointRange> ranges;
    std::size_t pos = 0;
    auto number = [&] {
        std::uint32_t value = 0;
        while (pos < encoded.size()) {
            const char c = encoded[pos++];
            if (const std::size_t digit = kLeadingDigits.find(c); digit != std::string_view::npos) {
                value = value * 32 + static_cast<std::uint32_t>(digit);
            } else {
                return value * 32 + static_cast<std::uint32_t>(kDigits.find(c));
            }
        }
        return value;
    };
    char32_t end = 0;
    while (pos < encoded.size()) {
        const char32_t first = end + number();
        const char32_t last = first + number();
        ranges.push_back({first, last});
        end = last + 1;
    }
    return ranges;
}

void append_range(std::string& out, char32_t first, char32_t last) {
    append_code_point(out, first);
    if (last == first) return;
    out += '-';
    append_code_point(out, last);
}

// Each explicit set and its complement as class items, built once.
struct ExplicitItems {
    std::array<std::string, kSetCount> positive;
    std::array<std::string, kSetCount> complement;
    std::array<std::size_t, kSetCount> positive_ranges{};
    std::array<std::size_t, kSetCount> complement_ranges{};
};

const ExplicitItems& explicit_items() {
    static const ExplicitItems items = [] {
        ExplicitItems built;
        for (std::size_t set = 0; set < kSetCount; ++set) {
            char32_t next = 0;
            auto add_complement = [&](char32_t first, char32_t last) {
                append_range(built.complement[set], first, last);
                ++built.complement_ranges[set];
            };
            for (const CodePointRange& range : decode_ranges(kExplicitSets[set])) {
                append_range(built.positive[set], range.first, range.last);
                ++built.positive_ranges[set];
                if (range.first > next) add_complement(next, range.first - 1);
                next = range.last + 1;
            }
            if (next <= kLastCodePoint) add_complement(next, kLastCodePoint);
        }
        return built;
    }();
    return items;
}

std::string loose_name(std::string_view name) {
    std::string loose;
    for (const char c : name) {
        if (c == ' ' || c == '_' || c == '-') continue;
        loose += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return loose;
}

}  // namespace

void append_code_point(std::string& out, char32_t code_point) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    char digits[8];
    std::size_t count = 0;
    do {
        digits[count++] = kHex[code_point & 0xF];
        code_point >>= 4;
    } while (code_point != 0);
    out += "\\x{";
    while (count > 0) out += digits[--count];
    out += '}';
}

UnicodeSet UnicodeSet::word() { return UnicodeSet(kWordSet, {}, 0); }

UnicodeSet UnicodeSet::space() { return UnicodeSet(kSpaceSet, {}, 0); }

std::optional<UnicodeSet> UnicodeSet::find(std::string_view name) {
    std::optional<PropertyTable> wanted;
    if (const std::size_t equals = name.find('='); equals != std::string_view::npos) {
        const std::string property = loose_name(name.substr(0, equals));
        if (property == "gc" || property == "generalcategory") {
            wanted = PropertyTable::GeneralCategory;
        } else if (property == "sc" || property == "script") {
            wanted = PropertyTable::Script;
        } else {
            return std::nullopt;
        }
        name = name.substr(equals + 1);
    }
    const std::string loose = loose_name(name);
    const auto* found = std::lower_bound(std::begin(kPropertyNames), std::end(kPropertyNames), loose,
                                         [](const PropertyName& entry, const std::string& key) { return entry.name < key; });
    for (; found != std::end(kPropertyNames) && found->name == loose; ++found) {
        if (wanted && found->table != *wanted) continue;
        if (found->set >= 0) return UnicodeSet(static_cast<std::size_t>(found->set), {}, 0);
        return UnicodeSet(0, found->engine_name, found->ranges);
    }
    return std::nullopt;
}

void UnicodeSet::append_items(std::string& out, bool complement) const {
    if (engine_name_.empty()) {
        const ExplicitItems& items = explicit_items();
        out += complement ? items.complement[index_] : items.positive[index_];
        return;
    }
    out += complement ? "\\P{" : "\\p{";
    out += engine_name_;
    out += '}';
}

std::size_t UnicodeSet::range_count(bool complement) const {
    if (engine_name_.empty()) {
        const ExplicitItems& items = explicit_items();
        return complement ? items.complement_ranges[index_] : items.positive_ranges[index_];
    }
    // Counted in our tables, whose Unicode version may be newer than the engine's;
    // the complement has one range more or less.
    return ranges_;
}

}  // namespace kestrune::py
