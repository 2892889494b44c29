// Any bytes as a pattern: the front end and the engine must refuse it with a reason
// pointing into the wrapped text, or compile it into an expression that can be
// matched; nothing may crash, read out of bounds or take long to compile.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "compiler/pattern_engine.hpp"
#include "compiler/pattern_translation.hpp"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrune::py;
    const std::string_view pattern(reinterpret_cast<const char*>(data), size);
    std::string wrapped(kPatternPrefix);
    wrapped += pattern;
    wrapped += kPatternSuffix;
    const PatternTranslation translation =
        translate_pattern(wrapped, {kMaxPatternNesting, kMaxCompiledPatternBytes});
    if (translation.refusal && !translation.refusal->exceeds_size_limit) {
        require(!translation.refusal->reason.empty());
        require(translation.refusal->offset < wrapped.size());
        require(translation.refusal->offset + translation.refusal->length <= wrapped.size());
    }
    const PatternCompilation compiled = compile_pattern(pattern);
    require(static_cast<bool>(compiled.pattern) != !compiled.error.empty());
    if (compiled.pattern) {
        // A search costs up to the size of the program per character of text, and a
        // program may take 10 MiB: a short text keeps each run quick.
        (void)compiled.pattern->matches(pattern.substr(0, 64));
        (void)compiled.pattern->matches("");
    }
    return 0;
}
