#include "compiler/pattern_translation.hpp"

#include <algorithm>
#include <string>

namespace kestrune::py {

namespace {

// Word characters: alphabetic (letters, letter numbers and the marks), decimal
// digits, connector punctuation and the two joiners.
constexpr std::string_view kWordItems = "\\p{L}\\p{Nl}\\p{M}\\p{Nd}\\p{Pc}\\x{200C}\\x{200D}";
// The Unicode White_Space characters.
constexpr std::string_view kSpaceItems =
    "\\t\\n\\x{0B}\\f\\r\\x{20}\\x{85}\\x{A0}\\x{1680}\\x{2000}-\\x{200A}\\x{2028}\\x{2029}\\x{202F}\\x{205F}"
    "\\x{3000}";
constexpr std::string_view kLookAroundReason = "look-around, including look-ahead and look-behind, is not supported";
constexpr std::string_view kBackreferenceReason = "backreferences are not supported";

std::size_t utf8_sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

class Translator {
public:
    Translator(std::string_view wrapped, std::size_t max_nesting) : in_(wrapped), max_nesting_(max_nesting) {
        out_.reserve(wrapped.size() + 16);
    }

    PatternTranslation run() {
        while (pos_ < in_.size() && !refusal_) {
            const char c = in_[pos_];
            if (c == '\\') {
                escape_outside_class();
            } else if (c == '(') {
                open_group();
            } else if (c == ')') {
                if (depth_ > 0) --depth_;
                copy(1);
            } else if (c == '[') {
                character_class();
            } else {
                copy(1);
            }
        }
        if (refusal_) return {std::string(), std::move(refusal_)};
        return {std::move(out_), std::nullopt};
    }

private:
    char at(std::size_t offset) const { return pos_ + offset < in_.size() ? in_[pos_ + offset] : '\0'; }
    bool starts_with(std::string_view text) const { return in_.substr(pos_).starts_with(text); }

    void copy(std::size_t count) {
        count = std::min(count, in_.size() - pos_);
        out_.append(in_.substr(pos_, count));
        pos_ += count;
    }

    void refuse(std::string_view reason, std::size_t length) {
        refusal_ = PatternRefusal{std::string(reason), pos_, std::min(length, in_.size() - pos_)};
    }

    bool enter_level() {
        if (++depth_ > max_nesting_) {
            refuse("exceed the maximum number of nested parentheses/brackets (" + std::to_string(max_nesting_) + ")",
                   1);
            return false;
        }
        return true;
    }

    // The length of an escape that RE2 reads as one unit: \Q...\E, \p{..}, \x{..},
    // or a backslash and one character.
    std::size_t escape_length() const {
        const char next = at(1);
        if (next == 'Q') {
            const std::size_t end = in_.find("\\E", pos_ + 2);
            return end == std::string_view::npos ? in_.size() - pos_ : end + 2 - pos_;
        }
        if ((next == 'p' || next == 'P' || next == 'x') && at(2) == '{') {
            const std::size_t end = in_.find('}', pos_ + 3);
            return end == std::string_view::npos ? in_.size() - pos_ : end + 1 - pos_;
        }
        if (pos_ + 1 >= in_.size()) return 1;
        return 1 + utf8_sequence_length(static_cast<unsigned char>(next));
    }

    void escape_outside_class() {
        const char next = at(1);
        if (next >= '1' && next <= '9') return refuse(kBackreferenceReason, 2);
        if (next == 'k' && at(2) == '<') return refuse(kBackreferenceReason, 3);
        switch (next) {
            case 'd': out_ += "\\p{Nd}"; break;
            case 'D': out_ += "\\P{Nd}"; break;
            case 'w': append_class(false, kWordItems); break;
            case 'W': append_class(true, kWordItems); break;
            case 's': append_class(false, kSpaceItems); break;
            case 'S': append_class(true, kSpaceItems); break;
            default: return copy(escape_length());
        }
        pos_ += 2;
    }

    void append_class(bool negated, std::string_view items) {
        out_ += negated ? "[^" : "[";
        out_ += items;
        out_ += ']';
    }

    void open_group() {
        if (!enter_level()) return;
        if (starts_with("(?=") || starts_with("(?!")) return refuse(kLookAroundReason, 3);
        if (starts_with("(?<=") || starts_with("(?<!")) return refuse(kLookAroundReason, 4);
        if (starts_with("(?P=")) return refuse(kBackreferenceReason, 4);
        copy(1);
    }

    // A bracketed class. Its \d, \s and \w become Unicode items in place. \W and \S
    // cannot be items of a class in RE2's syntax, so a class holding them becomes an
    // alternation of the rest of the class and the negated sets; in a negated class
    // that would need an intersection, which RE2 lacks, so there they keep RE2's
    // ASCII meaning.
    void character_class() {
        if (!enter_level()) return;
        const std::size_t start = pos_;
        std::size_t cursor = pos_ + 1;
        const bool negated = cursor < in_.size() && in_[cursor] == '^';
        if (negated) ++cursor;
        std::string items;
        bool word_complement = false;
        bool space_complement = false;
        bool first = true;
        while (cursor < in_.size() && (in_[cursor] != ']' || first)) {
            first = false;
            const char c = in_[cursor];
            if (c == '[' && cursor + 1 < in_.size() && in_[cursor + 1] == ':') {
                const std::size_t end = in_.find(":]", cursor + 2);
                const std::size_t length = end == std::string_view::npos ? 1 : end + 2 - cursor;
                items.append(in_.substr(cursor, length));
                cursor += length;
                continue;
            }
            if (c != '\\') {
                items += c;
                ++cursor;
                continue;
            }
            pos_ = cursor;
            const char next = at(1);
            if (next >= '1' && next <= '9') {
                // An octal-looking escape; RE2 refuses it with its own reason.
                items.append(in_.substr(cursor, 2));
                cursor += 2;
                continue;
            }
            switch (next) {
                case 'd': items += "\\p{Nd}"; cursor += 2; continue;
                case 'D': items += "\\P{Nd}"; cursor += 2; continue;
                case 'w': items += kWordItems; cursor += 2; continue;
                case 's': items += kSpaceItems; cursor += 2; continue;
                case 'W':
                case 'S':
                    if (negated) break;
                    (next == 'W' ? word_complement : space_complement) = true;
                    cursor += 2;
                    continue;
                default: break;
            }
            const std::size_t length = escape_length();
            items.append(in_.substr(cursor, length));
            cursor += length;
        }
        if (cursor >= in_.size()) {
            // Unterminated: RE2 reports it.
            pos_ = start;
            copy(in_.size() - start);
            --depth_;
            return;
        }
        pos_ = cursor + 1;
        --depth_;
        if (!word_complement && !space_complement) {
            out_ += negated ? "[^" : "[";
            out_ += items;
            out_ += ']';
            return;
        }
        out_ += "(?:";
        bool alternative = false;
        if (!items.empty()) {
            out_ += '[' + items + ']';
            alternative = true;
        }
        if (word_complement) {
            if (alternative) out_ += '|';
            append_class(true, kWordItems);
            alternative = true;
        }
        if (space_complement) {
            if (alternative) out_ += '|';
            append_class(true, kSpaceItems);
        }
        out_ += ')';
    }

    std::string_view in_;
    std::size_t max_nesting_;
    std::size_t pos_ = 0;
    std::size_t depth_ = 0;
    std::string out_;
    std::optional<PatternRefusal> refusal_;
};

}  // namespace

PatternTranslation translate_pattern(std::string_view wrapped, std::size_t max_nesting) {
    return Translator(wrapped, max_nesting).run();
}

}  // namespace kestrune::py
