#include "json_bridge/json_string_cache.hpp"

#include <cstdint>
#include <optional>
#include <random>

#include "kestrune/core/folded_hash.hpp"
#include "kestrune/json/text_cache_slots.hpp"
#include "json_bridge/json_text_str.hpp"
#include "support/same_text.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

struct StrEntries {
    using Entry = PyRef;
    static bool has_text(const PyRef& str, std::string_view text) {
        const std::optional<std::string_view> cached = utf8_view(str.get());
        return cached && is_same_text(*cached, text);
    }
    static PyRef make(std::string_view text) { return new_str_of_json_text(text); }
    // An entry that a later text replaces is released in the table: it is a plain
    // str, whose destruction runs no Python code.
    static PyRef share(const PyRef& str) { return str.copy(); }
    // Its reference count, written by the release.
    static void warm(const PyRef& str) { __builtin_prefetch(str.get(), 1); }
};

class StringCache {
public:
    StringCache() : hash_(draw_secrets()) {}

    PyRef get(std::string_view text) {
        const std::uint64_t hash = hash_(text);
#ifdef Py_GIL_DISABLED
        // A PyMutex detaches while it waits, so a waiting thread never holds up the
        // interpreter; no Python code runs while it is held.
        PyMutex_Lock(&mutex_);
        PyRef result = slots_.find_or_insert(hash, text);
        PyMutex_Unlock(&mutex_);
        return result;
#else
        // With the GIL, the GIL is the cache's lock: nothing here can release it.
        return slots_.find_or_insert(hash, text);
#endif
    }

private:
    // Drawn once per process: two texts collide under some secrets and not under
    // others, so a document cannot be built to crowd one slot in every process.
    static FoldedHash::Secrets draw_secrets() {
        std::random_device device;
        FoldedHash::Secrets secrets;
        for (std::uint64_t& secret : secrets) secret = (std::uint64_t{device()} << 32) | device();
        return secrets;
    }

    const FoldedHash hash_;
#ifdef Py_GIL_DISABLED
    PyMutex mutex_{};
#endif
    json::TextCacheSlots<StrEntries> slots_;
};

}  // namespace

PyRef cached_string(std::string_view text) {
    // Never destroyed: its strings live as long as the process.
    static StringCache* const cache = new StringCache();
    return cache->get(text);
}

}  // namespace kestrune::py
