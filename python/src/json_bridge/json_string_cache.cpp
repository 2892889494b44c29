#include "json_bridge/json_string_cache.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <random>

#include "kestrune/core/fxhash.hpp"
#include "json_bridge/json_text_str.hpp"
#include "support/same_text.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

constexpr std::size_t kSlots = 16384;
constexpr std::size_t kProbes = 5;  // the home slot and the four after it

struct Slot {
    std::uint64_t hash = 0;
    PyRef text;  // kept for the life of the process
};

class StringCache {
public:
    StringCache() {
        std::random_device device;
        key_ = (std::uint64_t{device()} << 32) | device();
    }

    PyRef get(std::string_view text) {
        const std::uint64_t hash = hash_of(text);
        const std::size_t home = hash % kSlots;
#ifdef Py_GIL_DISABLED
        // A PyMutex detaches while it waits, so a waiting thread never holds up the
        // interpreter; no Python code runs while it is held.
        PyMutex_Lock(&mutex_);
        PyRef result = find_or_insert(hash, home, text);
        PyMutex_Unlock(&mutex_);
        return result;
#else
        // With the GIL, the GIL is the cache's lock: nothing here can release it.
        return find_or_insert(hash, home, text);
#endif
    }

private:
    std::uint64_t hash_of(std::string_view text) const {
        // Collisions cost only a miss: the probes are bounded and entries replaced.
        FxHasher hasher;
        hasher.add_word(key_);
        hasher.add_word(FxTextHash{}(text));
        return hasher.finish();
    }

    static bool holds(const Slot& slot, std::uint64_t hash, std::string_view text) {
        if (!slot.text || slot.hash != hash) return false;
        const std::optional<std::string_view> cached = utf8_view(slot.text.get());
        return cached && is_same_text(*cached, text);
    }

    PyRef find_or_insert(std::uint64_t hash, std::size_t home, std::string_view text) {
        const std::size_t end = std::min(home + kProbes, kSlots);  // no wrap-around
        for (std::size_t i = home; i < end; ++i) {
            Slot& slot = slots_[i];
            if (holds(slot, hash, text)) return slot.text.copy();
            if (!slot.text) return store(slot, hash, text);
        }
        return store(slots_[home], hash, text);
    }

    static PyRef store(Slot& slot, std::uint64_t hash, std::string_view text) {
        PyRef created = new_str_of_json_text(text);
        if (!created) return created;
        // The replaced object is released under the lock: it is a plain str, whose
        // destruction runs no Python code.
        slot.hash = hash;
        slot.text = created.copy();
        return created;
    }

    std::uint64_t key_;
#ifdef Py_GIL_DISABLED
    PyMutex mutex_{};
#endif
    std::array<Slot, kSlots> slots_{};
};

}  // namespace

PyRef cached_string(std::string_view text) {
    // Never destroyed: its strings live as long as the process.
    static StringCache* const cache = new StringCache();
    return cache->get(text);
}

}  // namespace kestrune::py
