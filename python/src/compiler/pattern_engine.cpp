#include "compiler/pattern_engine.hpp"

#include <re2/re2.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "compiler/pattern_translation.hpp"

namespace kestrune::py {

namespace {

// RE2 gives two thirds of its budget to the forward program, the part that has to
// stay within the size limit; what the program leaves is its matching cache.
constexpr std::int64_t kEngineBudget = static_cast<std::int64_t>(kMaxCompiledPatternBytes) * 3 / 2;

std::size_t count_characters(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

// The wrapped pattern, each of its lines indented, with carets under the bytes
// [offset, offset + length) on a line of their own after the line that holds them
// (up to its end), and the reason.
std::string syntax_error(std::string_view wrapped, std::size_t offset, std::size_t length, std::string_view reason) {
    const std::size_t newline_before = offset == 0 ? std::string_view::npos : wrapped.rfind('\n', offset - 1);
    const std::size_t line_start = newline_before == std::string_view::npos ? 0 : newline_before + 1;
    const std::size_t line_end = std::min(wrapped.find('\n', offset), wrapped.size());
    std::string text = "regex parse error:";
    for (std::size_t start = 0; start <= wrapped.size();) {
        const std::size_t end = std::min(wrapped.find('\n', start), wrapped.size());
        text += "\n    ";
        text += wrapped.substr(start, end - start);
        if (start == line_start) {
            text += "\n    ";
            text.append(count_characters(wrapped.substr(line_start, offset - line_start)), ' ');
            const std::size_t marked = std::min(length, line_end > offset ? line_end - offset : 0);
            text.append(std::max<std::size_t>(1, count_characters(wrapped.substr(offset, marked))), '^');
        }
        start = end + 1;
    }
    text += "\nerror: ";
    text += reason;
    return text;
}

std::string size_limit_error() {
    return "Compiled regex exceeds size limit of " + std::to_string(kMaxCompiledPatternBytes) + " bytes.";
}

std::string engine_error(const re2::RE2& expression, std::string_view wrapped) {
    if (expression.error_code() == re2::RE2::ErrorPatternTooLarge) return size_limit_error();
    return "regex parse error:\n    " + std::string(wrapped) + "\nerror: " + expression.error();
}

}  // namespace

CompiledPattern::CompiledPattern(std::unique_ptr<const re2::RE2> expression) : expression_(std::move(expression)) {}

CompiledPattern::~CompiledPattern() = default;

bool CompiledPattern::matches(std::string_view text) const {
    // The wrapping anchors both ends, so "somewhere" is "the whole text".
    return re2::RE2::PartialMatch(re2::StringPiece(text.data(), text.size()), *expression_);
}

PatternCompilation compile_pattern(std::string_view pattern) {
    std::string wrapped(kPatternPrefix);
    wrapped += pattern;
    wrapped += kPatternSuffix;
    PatternTranslation translation = translate_pattern(wrapped, {kMaxPatternNesting, kMaxCompiledPatternBytes});
    if (translation.refusal) {
        const PatternRefusal& refusal = *translation.refusal;
        if (refusal.exceeds_size_limit) return {nullptr, size_limit_error()};
        return {nullptr, syntax_error(wrapped, refusal.offset, refusal.length, refusal.reason)};
    }
    re2::RE2::Options options;
    options.set_log_errors(false);
    options.set_never_capture(true);
    options.set_max_mem(kEngineBudget);
    auto expression = std::make_unique<const re2::RE2>(translation.text, options);
    if (!expression->ok()) return {nullptr, engine_error(*expression, wrapped)};
    return {std::make_shared<const CompiledPattern>(std::move(expression)), std::string()};
}

}  // namespace kestrune::py
