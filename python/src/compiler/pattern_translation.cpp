#include "compiler/pattern_translation.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "compiler/pattern_class_items.hpp"
#include "compiler/pattern_escapes.hpp"
#include "compiler/pattern_repetition.hpp"
#include "compiler/unicode_properties.hpp"

namespace kestrune::py {

namespace {

constexpr std::string_view kLookAroundReason = "look-around, including look-ahead and look-behind, is not supported";
constexpr std::string_view kBackreferenceReason = "backreferences are not supported";
constexpr std::string_view kRepeatedRepetitionReason = "bad repetition operator: ";

// RE2 reads an empty class as the rest of the pattern; these are the class of no
// character and of every character.
constexpr std::string_view kNoCharacter = "[^\\x00-\\x{10FFFF}]";
constexpr std::string_view kAnyCharacter = "[\\x00-\\x{10FFFF}]";

// Each atom compiles to one instruction at least, and each instruction takes 8 bytes.
constexpr std::uint64_t kInstructionBytes = 8;
// Repetitions that are expanded never make the text RE2 parses larger than this many
// times the program limit; far below it the program is already too large.
constexpr std::uint64_t kExpansionTextFactor = 4;

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) { return b > kUnbounded - a ? kUnbounded : a + b; }

std::uint64_t saturating_multiply(std::uint64_t a, std::uint64_t b) {
    return a != 0 && b > kUnbounded / a ? kUnbounded : a * b;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// The characters a verbose pattern ignores outside classes.
bool is_layout(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

class Translator {
public:
    Translator(std::string_view wrapped, const PatternLimits& limits)
        : in_(wrapped),
          limits_(limits),
          pattern_end_(wrapped.size() - kPatternSuffix.size()),
          text_{wrapped, pattern_end_},
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
    // A group being written, and its alternative being written. An alternative that
    // is a lone set escape met before in the group is dropped: RE2 would merge the
    // two, but only after reading a large set twice.
    struct Group {
        std::size_t start;
        std::uint64_t leaves = 0;
        std::uint64_t product = 1;
        std::size_t alternative_start = start;
        std::uint64_t leaves_before_alternative = 0;
        std::uint64_t total_before_alternative = 0;
        bool alternative_empty = true;
        std::optional<SetItem> lone_set = std::nullopt;
        std::vector<SetItem> sets_seen = {};
    };
    char at(std::size_t offset) const { return pos_ + offset < in_.size() ? in_[pos_ + offset] : '\0'; }
    char at_cursor(std::size_t cursor) const { return char_at(in_, cursor); }
    bool starts_with(std::string_view text) const { return in_.substr(pos_).starts_with(text); }

    void copy(std::size_t count) {
        count = std::min(count, in_.size() - pos_);
        out_.append(in_.substr(pos_, count));
        pos_ += count;
    }

    void refuse_at(std::size_t offset, std::string_view reason, std::size_t length) {
        refusal_ = refusal_at(in_, offset, reason, length);
    }
    void refuse(std::string_view reason, std::size_t length) { refuse_at(pos_, reason, length); }
    void refuse_size() { refusal_ = PatternRefusal{std::string(), 0, 0, true}; }

    // False, with the pattern refused, when `leaves` more would make the program too
    // large.
    bool fits(std::uint64_t leaves) {
        if (saturating_add(total_leaves_, leaves) <= max_instructions_) return true;
        refuse_size();
        return false;
    }

    bool enter_level() {
        if (++depth_ > limits_.max_nesting) {
            refuse("exceed the maximum number of nested parentheses/brackets (" + std::to_string(limits_.max_nesting) +
                       ")",
                   1);
            return false;
        }
        return true;
    }

    void finish_atom(std::size_t start, std::uint64_t leaves = 1, std::uint64_t product = 1,
                     std::optional<SetItem> set = std::nullopt) {
        Group& group = groups_.back();
        group.leaves = saturating_add(group.leaves, leaves);
        group.product = std::max(group.product, product);
        group.lone_set = group.alternative_empty ? std::move(set) : std::nullopt;
        group.alternative_empty = false;
        total_leaves_ = saturating_add(total_leaves_, leaves);
        atom_ = Atom{start, leaves, product};
        repeated_ = false;
        lazy_allowed_ = false;
    }

    void begin_alternative() {
        Group& group = groups_.back();
        group.alternative_start = out_.size();
        group.leaves_before_alternative = group.leaves;
        group.total_before_alternative = total_leaves_;
        group.alternative_empty = true;
        group.lone_set.reset();
    }

    // Drops the alternative just written when it repeats a lone set of its group.
    void end_alternative() {
        Group& group = groups_.back();
        if (!group.lone_set) return;
        if (std::find(group.sets_seen.begin(), group.sets_seen.end(), *group.lone_set) == group.sets_seen.end()) {
            group.sets_seen.push_back(*group.lone_set);
            return;
        }
        // Another alternative came first, so a '|' stands before this one.
        out_.resize(group.alternative_start - 1);
        group.leaves = group.leaves_before_alternative;
        total_leaves_ = group.total_before_alternative;
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
                end_alternative();
                copy(1);
                atom_.reset();
                return begin_alternative();
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

    // The end of the comment (?#...) at `cursor`, just past its ')', as Python reads
    // it: an escaped ')' does not end it. None when the pattern ends first.
    std::optional<std::size_t> comment_end(std::size_t cursor) const {
        for (cursor += 3; cursor < pattern_end_; ++cursor) {
            if (in_[cursor] == '\\') {
                ++cursor;
            } else if (in_[cursor] == ')') {
                return cursor + 1;
            }
        }
        return std::nullopt;
    }

    // Flag groups at the start of the pattern, such as the (?i) or (?x) that stand for
    // the flags of a compiled expression, and the comments between them. RE2 has no
    // verbose mode: x is taken here; u (Unicode) is how every pattern is read.
    void leading_flags() {
        while (starts_with("(?")) {
            if (at(2) == '#') {
                const std::optional<std::size_t> end = comment_end(pos_);
                if (!end) return;
                pos_ = *end;
                continue;
            }
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
        const std::size_t start = out_.size();
        if (is_set_escape(next)) {
            const ClassItem item = read_set_escape(text_, pos_, refusal_);
            if (refusal_ || !fits(item.leaves())) return;
            out_ += '[';
            item.append_to(out_);
            out_ += ']';
            if (out_.size() == start + 2) out_.replace(start, 2, kNoCharacter);
            pos_ = item.end;
            return finish_atom(start, std::max<std::uint64_t>(item.leaves(), 1), 1, item.set);
        }
        if (std::optional<CharacterEscape> character = read_character_escape(in_, pos_, false)) {
            if (!character->code_point) return refuse(character->refusal, character->length);
            append_code_point(out_, *character->code_point);
            pos_ += character->length;
            return finish_atom(start);
        }
        if (is_digit(next)) {
            std::size_t length = 1;
            while (is_digit(at(length))) ++length;
            return refuse(kBackreferenceReason, length);
        }
        if (next == 'k' && at(2) == '<') return refuse(kBackreferenceReason, 3);
        if (next == 'C') return refuse(kByteReason, 2);
        if (next == 'Q') return quoted();
        if (next == 'Z') {
            // Python's end of the text.
            out_ += "\\z";
            pos_ += 2;
            return finish_atom(start);
        }
        copy(escape_length(in_, pos_));
        finish_atom(start);
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
        if (starts_with("(?#")) {
            const std::optional<std::size_t> end = comment_end(pos_);
            if (!end) return refuse("missing ), unterminated comment", 3);
            pos_ = *end;
            return;
        }
        if (!enter_level()) return;
        if (starts_with("(?=") || starts_with("(?!")) return refuse(kLookAroundReason, 3);
        if (starts_with("(?<=") || starts_with("(?<!")) return refuse(kLookAroundReason, 4);
        if (starts_with("(?P=")) return refuse(kBackreferenceReason, 4);
        if (starts_with("(?>")) return refuse("atomic groups are not supported: (?>", 3);
        if (starts_with("(?(")) {
            const std::size_t close = in_.find(')', pos_ + 3);
            const std::size_t length = close == std::string_view::npos ? 3 : close + 1 - pos_;
            return refuse("conditional groups are not supported: " + std::string(in_.substr(pos_, length)), length);
        }
        atom_.reset();
        std::size_t opener = 1;
        if (at(1) == '?') {
            std::size_t end = pos_ + 2;
            while (end < in_.size() && (is_letter(in_[end]) || in_[end] == '-')) ++end;
            if (end < in_.size() && ((in_[end] == ')' && end > pos_ + 2) || in_[end] == ':')) {
                const std::size_t group_start = out_.size();
                if (!flag_group(end)) return;
                const bool scoped = in_[end] == ':';
                pos_ = end + 1;
                if (!scoped) {
                    // Flags for the rest of the enclosing group: no group, no atom, and
                    // an alternative after them may mean what an earlier one does not.
                    Group& group = groups_.back();
                    group.sets_seen.clear();
                    group.alternative_empty = false;
                    group.lone_set.reset();
                    --depth_;
                    return;
                }
                groups_.push_back(Group{group_start});
                return begin_alternative();
            }
            const std::size_t close = in_.find(at(2) == '<' || (at(2) == 'P' && at(3) == '<') ? '>' : ':', pos_ + 2);
            opener = close == std::string_view::npos ? 2 : close + 1 - pos_;
        }
        groups_.push_back(Group{out_.size()});
        copy(opener);
        begin_alternative();
    }

    // Writes the flags of (?flags) or (?flags: ending at `end`, without u (how every
    // pattern is read); false, refused, for the flags RE2 cannot follow here.
    bool flag_group(std::size_t end) {
        const std::string_view written = in_.substr(pos_, end + 1 - pos_);
        std::string flags;
        for (const char flag : in_.substr(pos_ + 2, end - pos_ - 2)) {
            if (flag == 'x') {
                refuse("flag x is supported only at the start of the pattern: " + std::string(written), written.size());
                return false;
            }
            if (flag == 'a' || flag == 'L') {
                refuse("flag " + std::string(1, flag) + " is not supported: " + std::string(written), written.size());
                return false;
            }
            if (flag != 'u') flags += flag;
        }
        if (flags.empty()) {
            if (in_[end] == ':') out_ += "(?:";
        } else {
            out_ += "(?" + flags + in_[end];
        }
        return true;
    }

    void close_group() {
        if (depth_ > 0) --depth_;
        if (groups_.size() > 1) end_alternative();
        copy(1);
        if (groups_.size() == 1) {
            atom_.reset();
            return;
        }
        const Group group = std::move(groups_.back());
        groups_.pop_back();
        // The group's leaves are counted already; it becomes the atom of its parent. An
        // empty group counts as one: RE2 keeps a node for each copy of it.
        const std::uint64_t leaves = std::max<std::uint64_t>(group.leaves, 1);
        if (group.leaves == 0) total_leaves_ = saturating_add(total_leaves_, 1);
        Group& parent = groups_.back();
        parent.leaves = saturating_add(parent.leaves, leaves);
        parent.product = std::max(parent.product, group.product);
        parent.alternative_empty = false;
        parent.lone_set.reset();
        atom_ = Atom{group.start, leaves, group.product};
        repeated_ = false;
        lazy_allowed_ = false;
    }

    void quantifier() {
        if (in_[pos_] == '?' && lazy_allowed_) {
            lazy_allowed_ = false;
            return copy(1);
        }
        if (atom_ && repeated_) {
            if (in_[pos_] == '+' && pos_ == repetition_end_) {
                const std::size_t length = pos_ + 1 - repetition_start_;
                return refuse_at(repetition_start_,
                                 "possessive repetitions are not supported: " +
                                     std::string(in_.substr(repetition_start_, length)),
                                 length);
            }
            return refuse(std::string(kRepeatedRepetitionReason) + in_[pos_], 1);
        }
        repetition_start_ = pos_;
        copy(1);
        repetition_end_ = pos_;
        groups_.back().lone_set.reset();
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
        if (total > max_instructions_) return refuse_size();
        const std::uint64_t engine_count = count.max == kUnbounded ? count.min : count.max;
        std::uint64_t product = saturating_multiply(atom.product, std::max<std::uint64_t>(engine_count, 1));
        repetition_start_ = pos_;
        pos_ += count.length;
        repetition_end_ = pos_;
        if (product <= kEngineCountLimit) {
            out_ += engine_count_text(count);
            lazy_allowed_ = true;
        } else {
            const std::uint64_t chunk = std::max(kEngineCountLimit / atom.product, std::uint64_t{1});
            const std::uint64_t text_limit = kExpansionTextFactor * limits_.max_program_bytes;
            const std::size_t atom_size = out_.size() - atom.start;
            if (saturating_multiply(expanded_copies(count, chunk), atom_size + 8) > text_limit) return refuse_size();
            const std::string expanded = expanded_repetition(std::string_view(out_).substr(atom.start), count, chunk);
            out_.replace(atom.start, atom_size, expanded);
            product = std::min(product, chunk * atom.product);
            // Laziness does not change whether a whole text matches.
            if (pos_ < in_.size() && in_[pos_] == '?') ++pos_;
            lazy_allowed_ = false;
        }
        Group& group = groups_.back();
        group.leaves = saturating_add(group.leaves - std::min(group.leaves, atom.leaves), leaves);
        group.product = std::max(group.product, product);
        group.lone_set.reset();
        total_leaves_ = total;
        atom.leaves = leaves;
        atom.product = product;
        repeated_ = true;
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
        const std::size_t items_start = out_.size();
        std::uint64_t leaves = 0;
        for (bool first = true;; first = false) {
            if (cursor >= in_.size()) {
                return refuse_at(start, "missing closing ] of the character class",
                                 pattern_end_ > start ? pattern_end_ - start : 1);
            }
            if (in_[cursor] == ']' && !first) break;
            ClassItem left = read_class_item(text_, cursor, refusal_);
            if (refusal_) return;
            cursor = left.end;
            if (at_cursor(cursor) == '-' && cursor + 1 < in_.size() && in_[cursor + 1] != ']') {
                const ClassItem right = read_class_item(text_, cursor + 1, refusal_);
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
                ++leaves;
                continue;
            }
            leaves = saturating_add(leaves, left.leaves());
            if (!fits(leaves)) return;
            left.append_to(out_);
        }
        pos_ = cursor + 1;
        --depth_;
        if (out_.size() == items_start) {
            // Only empty sets: no character, or every one.
            out_.resize(out_start);
            out_ += negated ? kAnyCharacter : kNoCharacter;
        } else {
            out_ += ']';
        }
        finish_atom(out_start, std::max<std::uint64_t>(leaves, 1));
    }

    std::string_view in_;
    PatternLimits limits_;
    std::size_t pattern_end_;
    PatternText text_;
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
    // Where the last repetition operator stands in the wrapped text; a '+' right
    // after it makes it possessive.
    std::size_t repetition_start_ = 0;
    std::size_t repetition_end_ = 0;
    std::uint64_t total_leaves_ = 0;
    std::optional<PatternRefusal> refusal_;
};

}  // namespace

PatternRefusal refusal_at(std::string_view wrapped, std::size_t offset, std::string_view reason, std::size_t length) {
    return {std::string(reason), offset, std::max<std::size_t>(1, std::min(length, wrapped.size() - offset))};
}

PatternTranslation translate_pattern(std::string_view wrapped, const PatternLimits& limits) {
    return Translator(wrapped, limits).run();
}

}  // namespace kestrune::py
