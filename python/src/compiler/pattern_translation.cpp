#include "compiler/pattern_translation.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "compiler/unicode_properties.hpp"

namespace kestrune::py {

namespace {

constexpr std::string_view kLookAroundReason = "look-around, including look-ahead and look-behind, is not supported";
constexpr std::string_view kBackreferenceReason = "backreferences are not supported";
constexpr std::string_view kByteReason = "\\C is not supported: patterns match whole characters, not bytes";
constexpr std::string_view kRepeatedRepetitionReason = "bad repetition operator: ";

// RE2 refuses a count above 1000, and a counted repetition whose count times the
// counts of the repetitions nested in it is above 1000.
constexpr std::uint64_t kEngineCountLimit = 1000;
// Each atom compiles to one instruction at least, and each instruction takes 8 bytes.
constexpr std::uint64_t kInstructionBytes = 8;
// Repetitions that are expanded never make the text RE2 parses larger than this many
// times the program limit; far below it the program is already too large.
constexpr std::uint64_t kExpansionTextFactor = 4;
constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();
// Counts saturate here, far above anything that fits the program limit.
constexpr std::uint64_t kCountCeiling = std::uint64_t{1} << 40;

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) { return b > kUnbounded - a ? kUnbounded : a + b; }

std::uint64_t saturating_multiply(std::uint64_t a, std::uint64_t b) {
    return a != 0 && b > kUnbounded / a ? kUnbounded : a * b;
}

std::size_t utf8_sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_octal(char c) { return c >= '0' && c <= '7'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// The escapes that stand for a set: \d, \w, \s, their negations, \p and \P.
bool is_set_escape(char c) { return c != '\0' && std::string_view("dDwWsSpP").find(c) != std::string_view::npos; }
// The characters a verbose pattern ignores outside classes.
bool is_layout(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string code_point_escape(std::uint32_t code_point) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kHex[code_point & 0xF]);
        code_point >>= 4;
    } while (code_point != 0);
    return "\\x{" + digits + "}";
}

// A counted repetition: {n}, {n,}, {n,m}, and as in Python {,m} and {,}.
struct Count {
    std::uint64_t min;
    std::uint64_t max;  // kUnbounded when open
    std::size_t length;
};

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

class Translator {
public:
    Translator(std::string_view wrapped, const PatternLimits& limits)
        : in_(wrapped),
          limits_(limits),
          pattern_end_(wrapped.size() - kPatternSuffix.size()),
          max_instructions_(limits.max_program_bytes / kInstructionBytes) {
        out_.reserve(wrapped.size() + 16);
        groups_.push_back(Group{0});
    }

    PatternTranslation run() {
        while (pos_ < in_.size() && !refusal_) step();
        if (refusal_) return {std::string(), std::move(refusal_)};
        return {std::move(out_), std::nullopt};
    }

private:
    // What a repetition applies to: the last atom (a character, an escape, a class or
    // a group), at out_[start...]. `leaves` bounds from below the instructions it
    // compiles to; `product` is the largest product of the counts nested in it.
    struct Atom {
        std::size_t start;
        std::uint64_t leaves;
        std::uint64_t product;
    };
    struct Group {
        std::size_t start;
        std::uint64_t leaves = 0;
        std::uint64_t product = 1;
    };
    // One item of a bracketed class, as RE2 is to read it.
    struct ClassItem {
        std::size_t start;
        std::size_t end;
        std::string text;
        bool is_set;  // a class of its own (\d, \p{..}, [:alpha:]): no end of a range
    };

    char at(std::size_t offset) const { return pos_ + offset < in_.size() ? in_[pos_ + offset] : '\0'; }
    char at_cursor(std::size_t cursor) const { return cursor < in_.size() ? in_[cursor] : '\0'; }
    bool starts_with(std::string_view text) const { return in_.substr(pos_).starts_with(text); }

    void copy(std::size_t count) {
        count = std::min(count, in_.size() - pos_);
        out_.append(in_.substr(pos_, count));
        pos_ += count;
    }

    void refuse_at(std::size_t offset, std::string_view reason, std::size_t length) {
        refusal_ = PatternRefusal{std::string(reason), offset, std::max<std::size_t>(1, std::min(length, in_.size() - offset))};
    }
    void refuse(std::string_view reason, std::size_t length) { refuse_at(pos_, reason, length); }

    bool enter_level() {
        if (++depth_ > limits_.max_nesting) {
            refuse("exceed the maximum number of nested parentheses/brackets (" + std::to_string(limits_.max_nesting) +
                       ")",
                   1);
            return false;
        }
        return true;
    }

    void finish_atom(std::size_t start, std::uint64_t leaves = 1, std::uint64_t product = 1) {
        Group& group = groups_.back();
        group.leaves = saturating_add(group.leaves, leaves);
        group.product = std::max(group.product, product);
        total_leaves_ = saturating_add(total_leaves_, leaves);
        atom_ = Atom{start, leaves, product};
        repeated_ = false;
        lazy_allowed_ = false;
    }

    void step() {
        if (!flags_read_ && pos_ >= kPatternPrefix.size()) {
            flags_read_ = true;
            leading_flags();
            if (pos_ >= in_.size()) return;
        }
        const char c = in_[pos_];
        if (verbose_ && pos_ < pattern_end_) {
            if (is_layout(c)) {
                ++pos_;
                return;
            }
            if (c == '#') {
                while (pos_ < pattern_end_ && in_[pos_] != '\n') ++pos_;
                return;
            }
        }
        switch (c) {
            case '\\': return escape();
            case '(': return open_group();
            case ')': return close_group();
            case '[': return character_class();
            case '|':
                copy(1);
                atom_.reset();
                return;
            case '*':
            case '+':
            case '?': return quantifier();
            case '{':
                if (const std::optional<Count> count = read_count(in_.substr(pos_))) return counted_repetition(*count);
                // A brace that opens no count is a character; escaped, so that RE2 cannot
                // read a count into what a verbose pattern spreads out.
                out_ += "\\{";
                ++pos_;
                return finish_atom(out_.size() - 2);
            default: break;
        }
        const std::size_t start = out_.size();
        copy(utf8_sequence_length(static_cast<unsigned char>(c)));
        finish_atom(start);
    }

    // Flag groups at the start of the pattern, such as the (?i) or (?x) that stand for
    // the flags of a compiled expression. RE2 has no verbose mode: x is taken here;
    // u (Unicode) is how every pattern is read.
    void leading_flags() {
        while (starts_with("(?")) {
            const std::size_t end = in_.find_first_not_of("imsux", pos_ + 2);
            if (end == pos_ + 2 || end >= pattern_end_ || in_[end] != ')') return;
            std::string flags;
            for (std::size_t i = pos_ + 2; i < end; ++i) {
                if (in_[i] == 'x') {
                    verbose_ = true;
                } else if (in_[i] != 'u') {
                    flags += in_[i];
                }
            }
            if (!flags.empty()) out_ += "(?" + flags + ")";
            pos_ = end + 1;
        }
    }

    void escape() {
        const char next = at(1);
        if (pos_ + 1 >= pattern_end_ && pos_ < pattern_end_) return refuse("trailing \\ at the end of the pattern", 1);
        if (is_digit(next)) return numeric_escape();
        const std::size_t start = out_.size();
        if (is_set_escape(next)) {
            const ClassItem item = class_escape(pos_);
            if (refusal_) return;
            out_ += '[' + item.text + ']';
            pos_ = item.end;
            return finish_atom(start);
        }
        if (next == 'k' && at(2) == '<') return refuse(kBackreferenceReason, 3);
        if (next == 'C') return refuse(kByteReason, 2);
        if (next == 'Q') return quoted();
        copy(escape_length(pos_));
        finish_atom(start);
    }

    // The length of an escape that RE2 reads as one unit: \x{..}, \xhh, or a backslash
    // and one character.
    std::size_t escape_length(std::size_t cursor) const {
        const char next = at_cursor(cursor + 1);
        if (next == 'x') {
            if (at_cursor(cursor + 2) == '{') {
                const std::size_t end = in_.find('}', cursor + 3);
                return end == std::string_view::npos ? in_.size() - cursor : end + 1 - cursor;
            }
            return 4;
        }
        if (cursor + 1 >= in_.size()) return 1;
        return 1 + utf8_sequence_length(static_cast<unsigned char>(next));
    }

    // \0, \012 and \101 are octal escapes, as in Python; any other \1...\9 refers to a
    // group.
    void numeric_escape() {
        std::size_t digits = 0;
        if (at(1) == '0') {
            digits = 1;
            while (digits < 3 && is_octal(at(1 + digits))) ++digits;
        } else if (is_octal(at(1)) && is_octal(at(2)) && is_octal(at(3))) {
            digits = 3;
        } else {
            std::size_t length = 1;
            while (is_digit(at(length))) ++length;
            return refuse(kBackreferenceReason, length);
        }
        const std::optional<std::string> text = octal_escape(pos_, digits);
        if (!text) return;
        const std::size_t start = out_.size();
        out_ += *text;
        pos_ += 1 + digits;
        finish_atom(start);
    }

    // The code point of the octal escape of `digits` digits at `cursor`, or a refusal.
    std::optional<std::string> octal_escape(std::size_t cursor, std::size_t digits) {
        std::uint32_t value = 0;
        for (std::size_t i = 1; i <= digits; ++i) value = value * 8 + static_cast<std::uint32_t>(in_[cursor + i] - '0');
        if (value > 0377) {
            refuse_at(cursor, "octal escape value " + std::string(in_.substr(cursor, 1 + digits)) +
                                  " outside of range 0-0o377",
                      1 + digits);
            return std::nullopt;
        }
        return code_point_escape(value);
    }

    // \Q...\E: its characters, each as an atom of its own so that a repetition after
    // \E applies to the last one only.
    void quoted() {
        std::size_t end = in_.find("\\E", pos_ + 2);
        const bool closed = end != std::string_view::npos && end < pattern_end_;
        if (!closed) end = std::max(pos_ + 2, pattern_end_);
        pos_ += 2;
        while (pos_ < end) {
            const std::size_t start = out_.size();
            const char c = in_[pos_];
            if (std::string_view("\\.+*?()|[]{}^$").find(c) != std::string_view::npos) out_ += '\\';
            copy(std::min(utf8_sequence_length(static_cast<unsigned char>(c)), end - pos_));
            finish_atom(start);
        }
        if (closed) pos_ += 2;
    }

    void open_group() {
        if (!enter_level()) return;
        if (starts_with("(?=") || starts_with("(?!")) return refuse(kLookAroundReason, 3);
        if (starts_with("(?<=") || starts_with("(?<!")) return refuse(kLookAroundReason, 4);
        if (starts_with("(?P=")) return refuse(kBackreferenceReason, 4);
        atom_.reset();
        std::size_t opener = 1;
        if (at(1) == '?') {
            std::size_t end = pos_ + 2;
            while (end < in_.size() && (is_letter(in_[end]) || in_[end] == '-')) ++end;
            if (end < in_.size() && in_[end] == ')') {
                // Flags for the rest of the enclosing group: no group, no atom.
                copy(end + 1 - pos_);
                --depth_;
                return;
            }
            const std::size_t close = in_.find(at(2) == '<' || (at(2) == 'P' && at(3) == '<') ? '>' : ':', pos_ + 2);
            opener = close == std::string_view::npos ? 2 : close + 1 - pos_;
        }
        groups_.push_back(Group{out_.size()});
        copy(opener);
    }

    void close_group() {
        if (depth_ > 0) --depth_;
        copy(1);
        if (groups_.size() == 1) {
            atom_.reset();
            return;
        }
        const Group group = groups_.back();
        groups_.pop_back();
        // The group's leaves are counted already; it becomes the atom of its parent. An
        // empty group counts as one: RE2 keeps a node for each copy of it.
        const std::uint64_t leaves = std::max<std::uint64_t>(group.leaves, 1);
        if (group.leaves == 0) total_leaves_ = saturating_add(total_leaves_, 1);
        Group& parent = groups_.back();
        parent.leaves = saturating_add(parent.leaves, leaves);
        parent.product = std::max(parent.product, group.product);
        atom_ = Atom{group.start, leaves, group.product};
        repeated_ = false;
        lazy_allowed_ = false;
    }

    void quantifier() {
        if (in_[pos_] == '?' && lazy_allowed_) {
            lazy_allowed_ = false;
            return copy(1);
        }
        if (atom_ && repeated_) return refuse(std::string(kRepeatedRepetitionReason) + in_[pos_], 1);
        copy(1);
        if (atom_) {
            repeated_ = true;
            lazy_allowed_ = true;
        }
    }

    void counted_repetition(const Count& count) {
        const std::string raw(in_.substr(pos_, count.length));
        if (count.max != kUnbounded && count.min > count.max) {
            return refuse("invalid repetition size: " + raw, count.length);
        }
        if (!atom_) return refuse("no argument for repetition operator: " + raw, count.length);
        if (repeated_) return refuse(std::string(kRepeatedRepetitionReason) + raw, count.length);
        Atom& atom = *atom_;
        // RE2 compiles x{n,m} into m copies of x, and x{n,} into n + 1.
        const std::uint64_t copies = count.max == kUnbounded ? saturating_add(count.min, 1) : count.max;
        const std::uint64_t leaves = saturating_multiply(atom.leaves, copies);
        const std::uint64_t total = saturating_add(total_leaves_ - atom.leaves, leaves);
        const std::string too_large = "repetition " + raw + " exceeds the compiled size limit of " +
                                      std::to_string(limits_.max_program_bytes) + " bytes";
        if (total > max_instructions_) return refuse(too_large, count.length);
        const std::uint64_t engine_count = count.max == kUnbounded ? count.min : count.max;
        std::uint64_t product = saturating_multiply(atom.product, std::max<std::uint64_t>(engine_count, 1));
        pos_ += count.length;
        if (product <= kEngineCountLimit) {
            out_ += raw.starts_with("{,") ? "{0" + raw.substr(1) : raw;
            lazy_allowed_ = true;
        } else {
            if (!expand(atom, count)) {
                pos_ -= count.length;
                return refuse(too_large, count.length);
            }
            product = std::min(product, std::max(kEngineCountLimit / atom.product, std::uint64_t{1}) * atom.product);
            // Laziness does not change whether a whole text matches.
            if (pos_ < in_.size() && in_[pos_] == '?') ++pos_;
            lazy_allowed_ = false;
        }
        Group& group = groups_.back();
        group.leaves = saturating_add(group.leaves - std::min(group.leaves, atom.leaves), leaves);
        group.product = std::max(group.product, product);
        total_leaves_ = total;
        atom.leaves = leaves;
        atom.product = product;
        repeated_ = true;
    }

    // Writes x{n,m} as copies of x, each counted at most as far as RE2 allows; false
    // when the text would grow beyond bounds.
    bool expand(const Atom& atom, const Count& count) {
        const std::string text = out_.substr(atom.start);
        const std::uint64_t chunk = std::max(kEngineCountLimit / atom.product, std::uint64_t{1});
        const std::uint64_t optional = count.max == kUnbounded ? 1 : count.max - count.min;
        const std::uint64_t pieces = count.min / chunk + optional / chunk + 3;
        const std::uint64_t text_limit = kExpansionTextFactor * limits_.max_program_bytes;
        if (saturating_multiply(pieces, text.size() + 8) > text_limit) return false;
        out_.resize(atom.start);
        auto append = [&](std::uint64_t times, bool is_optional) {
            while (times > 0) {
                const std::uint64_t n = std::min(times, chunk);
                out_ += text;
                if (is_optional) {
                    out_ += n == 1 ? "?" : "{0," + std::to_string(n) + "}";
                    // An empty group between optional runs keeps RE2 from merging them
                    // back into one, which it takes time quadratic in the count to compile.
                    out_ += "(?:)";
                } else if (n > 1) {
                    out_ += "{" + std::to_string(n) + "}";
                }
                times -= n;
            }
        };
        append(count.min, false);
        if (count.max == kUnbounded) {
            out_ += text;
            out_ += '*';
        } else {
            append(count.max - count.min, true);
        }
        return true;
    }

    // \d, \w, \s, their negations and \p{..}, \P{..}, \pL, \PL at `cursor`, as class
    // items.
    ClassItem class_escape(std::size_t cursor) {
        const char kind = in_[cursor + 1];
        ClassItem item{cursor, cursor + 2, std::string(), true};
        switch (kind) {
            case 'd': item.text = "\\p{Nd}"; return item;
            case 'D': item.text = "\\P{Nd}"; return item;
            case 'w':
            case 'W': UnicodeSet::word().append_items(item.text, kind == 'W'); return item;
            case 's':
            case 'S': UnicodeSet::space().append_items(item.text, kind == 'S'); return item;
            default: break;
        }
        std::string_view name;
        if (at_cursor(cursor + 2) == '{') {
            const std::size_t close = in_.find('}', cursor + 3);
            if (close == std::string_view::npos || close >= pattern_end_) {
                refuse_at(cursor, "missing } after \\" + std::string(1, kind) + "{", 3);
                return item;
            }
            name = in_.substr(cursor + 3, close - cursor - 3);
            item.end = close + 1;
        } else {
            const std::size_t length = cursor + 2 < pattern_end_
                                           ? utf8_sequence_length(static_cast<unsigned char>(in_[cursor + 2]))
                                           : 0;
            name = in_.substr(cursor + 2, length);
            item.end = cursor + 2 + length;
        }
        bool complement = kind == 'P';
        if (name.starts_with('^')) {
            complement = !complement;
            name.remove_prefix(1);
        }
        const std::optional<UnicodeSet> set = UnicodeSet::find(name);
        if (!set) {
            refuse_at(cursor, "unknown Unicode property name: " + std::string(in_.substr(cursor, item.end - cursor)),
                      item.end - cursor);
            return item;
        }
        set->append_items(item.text, complement);
        return item;
    }

    // The class item at `cursor`; when it is refused, refusal_ is set and the item
    // means nothing.
    ClassItem class_item(std::size_t cursor) {
        const char c = in_[cursor];
        if (c == '[' && at_cursor(cursor + 1) == ':') {
            const std::size_t end = in_.find(":]", cursor + 2);
            if (end != std::string_view::npos) {
                return {cursor, end + 2, std::string(in_.substr(cursor, end + 2 - cursor)), true};
            }
        }
        if (c != '\\' || cursor + 1 >= in_.size()) {
            const std::size_t end = std::min(in_.size(), cursor + utf8_sequence_length(static_cast<unsigned char>(c)));
            return {cursor, end, std::string(in_.substr(cursor, end - cursor)), false};
        }
        const char next = in_[cursor + 1];
        if (is_octal(next)) {
            std::size_t digits = 1;
            while (digits < 3 && is_octal(at_cursor(cursor + 1 + digits))) ++digits;
            std::optional<std::string> text = octal_escape(cursor, digits);
            return {cursor, cursor + 1 + digits, text ? std::move(*text) : std::string(), false};
        }
        if (is_set_escape(next)) return class_escape(cursor);
        if (next == '8' || next == '9') refuse_at(cursor, "invalid escape sequence: \\" + std::string(1, next), 2);
        if (next == 'C') refuse_at(cursor, kByteReason, 2);
        if (next == 'Q') {
            const std::size_t close = in_.find("\\E", cursor + 2);
            const std::size_t end = close == std::string_view::npos ? in_.size() : close + 2;
            return {cursor, end, std::string(in_.substr(cursor, end - cursor)), false};
        }
        const std::size_t end = std::min(in_.size(), cursor + escape_length(cursor));
        return {cursor, end, std::string(in_.substr(cursor, end - cursor)), false};
    }

    // A bracketed class, its items rewritten in place: the sets RE2 does not know
    // become their ranges, so the class keeps its meaning whatever comes first in it
    // and whether it is negated or not.
    void character_class() {
        if (!enter_level()) return;
        const std::size_t start = pos_;
        const std::size_t out_start = out_.size();
        std::size_t cursor = pos_ + 1;
        const bool negated = at_cursor(cursor) == '^';
        if (negated) ++cursor;
        out_ += negated ? "[^" : "[";
        for (bool first = true;; first = false) {
            if (cursor >= in_.size()) {
                return refuse_at(start, "missing closing ] of the character class",
                                 pattern_end_ > start ? pattern_end_ - start : 1);
            }
            if (in_[cursor] == ']' && !first) break;
            ClassItem left = class_item(cursor);
            if (refusal_) return;
            cursor = left.end;
            if (at_cursor(cursor) == '-' && cursor + 1 < in_.size() && in_[cursor + 1] != ']') {
                const ClassItem right = class_item(cursor + 1);
                if (refusal_) return;
                if (left.is_set || right.is_set) {
                    return refuse_at(left.start,
                                     "invalid character class range: " +
                                         std::string(in_.substr(left.start, right.end - left.start)),
                                     right.end - left.start);
                }
                out_ += left.text;
                out_ += '-';
                out_ += right.text;
                cursor = right.end;
                continue;
            }
            out_ += left.text;
        }
        pos_ = cursor + 1;
        --depth_;
        out_ += ']';
        finish_atom(out_start);
    }

    std::string_view in_;
    PatternLimits limits_;
    std::size_t pattern_end_;
    std::uint64_t max_instructions_;
    std::size_t pos_ = 0;
    std::size_t depth_ = 0;
    bool flags_read_ = false;
    bool verbose_ = false;
    std::string out_;
    std::vector<Group> groups_;
    std::optional<Atom> atom_;
    bool repeated_ = false;      // the atom carries a repetition already
    bool lazy_allowed_ = false;  // a '?' now makes that repetition lazy
    std::uint64_t total_leaves_ = 0;
    std::optional<PatternRefusal> refusal_;
};

}  // namespace

PatternTranslation translate_pattern(std::string_view wrapped, const PatternLimits& limits) {
    return Translator(wrapped, limits).run();
}

}  // namespace kestrune::py
