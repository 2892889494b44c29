// The slots of the cache of short texts read from documents: a fixed table indexed
// by a hash that the owner computes (keyed, so that no one can aim texts at one
// slot) and entries of the owner's type (Python strs, in the module).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrune::json {

// `Entries` says what an entry is and how to use one:
//   using Entry = ...;                                  // default: empty; tests true when it holds a text
//   static bool has_text(const Entry&, std::string_view);
//   static Entry make(std::string_view);                // empty when it fails
//   static Entry share(const Entry&);                   // another handle to the same entry
//   static void warm(const Entry&);                     // optional: start fetching the
//                                                       // memory a release would touch
template <class Entries>
class TextCacheSlots {
public:
    using Entry = typename Entries::Entry;

    static constexpr std::size_t kSlots = 16384;
    static constexpr std::size_t kProbes = 5;  // the home slot and the four after it

    // The entry for `text`, whose hash is `hash`: the cached one, else a new one that
    // takes the first free slot or, when none is free, replaces the home slot's. Two
    // texts may share a hash; only an equal text is a hit.
    Entry find_or_insert(std::uint64_t hash, std::string_view text) {
        const std::size_t home = hash % kSlots;
        const std::size_t end = std::min(home + kProbes, kSlots);  // no wrap-around
        // The home entry is the one a miss replaces: its memory, seldom touched since
        // it was stored, is fetched while the slots are searched and the new entry made.
        if constexpr (requires { Entries::warm(slots_[home].entry); }) {
            if (slots_[home].entry) Entries::warm(slots_[home].entry);
        }
        for (std::size_t i = home; i < end; ++i) {
            Slot& slot = slots_[i];
            if (!slot.entry) return store(slot, hash, text);
            if (slot.hash == hash && Entries::has_text(slot.entry, text)) return Entries::share(slot.entry);
        }
        return store(slots_[home], hash, text);
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        Entry entry{};
    };

    static Entry store(Slot& slot, std::uint64_t hash, std::string_view text) {
        Entry created = Entries::make(text);
        if (!created) return created;
        slot.hash = hash;
        slot.entry = Entries::share(created);
        return created;
    }

    std::array<Slot, kSlots> slots_{};
};

}  // namespace kestrune::json
