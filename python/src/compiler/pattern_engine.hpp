// Regular expressions for `pattern` constraints.
//
// A pattern is matched against the whole text: it is wrapped as "\A(?:" + pattern +
// ")\z" (as plain text) and the engine is only asked whether the wrapped expression
// matches somewhere. The engine is RE2, which is linear in the length of the text;
// a small front end of ours (pattern_translation.hpp) refuses what RE2 cannot do in
// linear time (look-around, backreferences) with clear reasons, bounds the nesting
// and the program size, and bridges the rest of the dialect: Unicode-aware Perl
// classes, \p{..} names RE2 lacks, Python's escapes, comments and counts, verbose
// layout. Pure C++: no interpreter calls,
// so patterns can be compiled and matched detached or from any thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace re2 {
class RE2;
}

namespace kestrune::py {

// Immutable once compiled; matched from any number of threads at once.
class CompiledPattern {
public:
    explicit CompiledPattern(std::unique_ptr<const re2::RE2> expression);
    ~CompiledPattern();
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    // Whether the whole UTF-8 `text` is matched by the pattern.
    bool matches(std::string_view text) const;

private:
    std::unique_ptr<const re2::RE2> expression_;
};

using PatternPtr = std::shared_ptr<const CompiledPattern>;

// Either a compiled pattern or the reason it was refused.
struct PatternCompilation {
    PatternPtr pattern;
    std::string error;
};

inline constexpr std::size_t kMaxPatternNesting = 250;
inline constexpr std::size_t kMaxCompiledPatternBytes = std::size_t{10} * 1024 * 1024;

// Compiles the wrapped form of `pattern` (UTF-8).
PatternCompilation compile_pattern(std::string_view pattern);

}  // namespace kestrune::py
