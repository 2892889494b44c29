#include "compiler/pattern_class_items.hpp"

#include <algorithm>

#include "compiler/pattern_escapes.hpp"

namespace kestrune::py {

namespace {

ClassItem text_item(std::string_view in, std::size_t cursor, std::size_t end) {
    end = std::min(in.size(), end);
    return {cursor, end, std::string(in.substr(cursor, end - cursor))};
}

}  // namespace

void SetItem::append_to(std::string& out) const {
    if (set) return set->append_items(out, complement);
    out += complement ? "\\P{Nd}" : "\\p{Nd}";
}

void ClassItem::append_to(std::string& out) const {
    if (set) return set->append_to(out);
    out += text;
}

bool is_set_escape(char c) { return c != '\0' && std::string_view("dDwWsSpP").find(c) != std::string_view::npos; }

std::size_t escape_length(std::string_view in, std::size_t cursor) {
    const char next = char_at(in, cursor + 1);
    if (next == 'x') {
        if (char_at(in, cursor + 2) == '{') {
            const std::size_t end = in.find('}', cursor + 3);
            return end == std::string_view::npos ? in.size() - cursor : end + 1 - cursor;
        }
        return 4;
    }
    if (cursor + 1 >= in.size()) return 1;
    return 1 + utf8_sequence_length(static_cast<unsigned char>(next));
}

ClassItem read_set_escape(const PatternText& text, std::size_t cursor, std::optional<PatternRefusal>& refusal) {
    const std::string_view in = text.in;
    const char kind = in[cursor + 1];
    ClassItem item{cursor, cursor + 2, std::string(), std::nullopt, true};
    switch (kind) {
        case 'd':
        case 'D': item.set = SetItem{std::nullopt, kind == 'D'}; return item;
        case 'w':
        case 'W': item.set = SetItem{UnicodeSet::word(), kind == 'W'}; return item;
        case 's':
        case 'S': item.set = SetItem{UnicodeSet::space(), kind == 'S'}; return item;
        default: break;
    }
    std::string_view name;
    if (char_at(in, cursor + 2) == '{') {
        const std::size_t close = in.find('}', cursor + 3);
        if (close == std::string_view::npos || close >= text.pattern_end) {
            refusal = refusal_at(in, cursor, "missing } after \\" + std::string(1, kind) + "{", 3);
            return item;
        }
        name = in.substr(cursor + 3, close - cursor - 3);
        item.end = close + 1;
    } else {
        const std::size_t length =
            cursor + 2 < text.pattern_end ? utf8_sequence_length(static_cast<unsigned char>(in[cursor + 2])) : 0;
        name = in.substr(cursor + 2, length);
        item.end = cursor + 2 + length;
    }
    bool complement = kind == 'P';
    if (name.starts_with('^')) {
        complement = !complement;
        name.remove_prefix(1);
    }
    const std::optional<UnicodeSet> set = UnicodeSet::find(name);
    if (!set) {
        refusal = refusal_at(in, cursor, "unknown Unicode property name: " + std::string(in.substr(cursor, item.end - cursor)),
                             item.end - cursor);
        return item;
    }
    item.set = SetItem{set, complement};
    return item;
}

ClassItem read_class_item(const PatternText& text, std::size_t cursor, std::optional<PatternRefusal>& refusal) {
    const std::string_view in = text.in;
    const char c = in[cursor];
    if (c == '[' && char_at(in, cursor + 1) == ':') {
        const std::size_t end = in.find(":]", cursor + 2);
        if (end != std::string_view::npos) {
            ClassItem item = text_item(in, cursor, end + 2);
            item.is_set = true;
            return item;
        }
    }
    if (c != '\\' || cursor + 1 >= in.size()) {
        return text_item(in, cursor, cursor + utf8_sequence_length(static_cast<unsigned char>(c)));
    }
    const char next = in[cursor + 1];
    if (std::optional<CharacterEscape> character = read_character_escape(in, cursor, true)) {
        ClassItem item{cursor, cursor + character->length, std::string()};
        if (!character->code_point) {
            refusal = refusal_at(in, cursor, character->refusal, character->length);
        } else {
            append_code_point(item.text, *character->code_point);
        }
        return item;
    }
    if (is_set_escape(next)) return read_set_escape(text, cursor, refusal);
    if (next == '8' || next == '9') {
        refusal = refusal_at(in, cursor, "invalid escape sequence: \\" + std::string(1, next), 2);
    }
    if (next == 'C') refusal = refusal_at(in, cursor, kByteReason, 2);
    if (next == 'Q') {
        const std::size_t close = in.find("\\E", cursor + 2);
        return text_item(in, cursor, close == std::string_view::npos ? in.size() : close + 2);
    }
    return text_item(in, cursor, cursor + escape_length(in, cursor));
}

}  // namespace kestrune::py
