// The precompute's map from the address of a node's storage to its table: built
// once, then only read, and looked up on every record and union a check visits.
// Open addressing over a power-of-two table keeps a lookup to a multiply, a shift
// and usually one comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "kestrune/core/fxhash.hpp"

namespace kestrune::py {

template <class Value>
class IdentityMap {
public:
    // The value under `key`, made on first use, and whether it was made now. The
    // pointer is valid until the next insertion.
    std::pair<Value*, bool> try_emplace(std::uint64_t key) {
        if (Value* found = find_mutable(key)) return {found, false};
        entries_.emplace_back(key, Value{});
        if (entries_.size() * 2 > slots_.size()) {
            rehash();
        } else {
            place(entries_.size() - 1);
        }
        return {&entries_.back().second, true};
    }

    const Value* find(std::uint64_t key) const { return const_cast<IdentityMap*>(this)->find_mutable(key); }
    bool contains(std::uint64_t key) const { return find(key) != nullptr; }

private:
    Value* find_mutable(std::uint64_t key) {
        if (slots_.empty()) return nullptr;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = home(key);; slot = (slot + 1) & mask) {
            const std::uint32_t entry = slots_[slot];
            if (entry == 0) return nullptr;
            if (entries_[entry - 1].first == key) return &entries_[entry - 1].second;
        }
    }

    std::size_t home(std::uint64_t key) const { return static_cast<std::size_t>((key * kFxSeed) >> shift_); }

    void place(std::size_t entry) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t slot = home(entries_[entry].first);
        while (slots_[slot] != 0) slot = (slot + 1) & mask;
        slots_[slot] = static_cast<std::uint32_t>(entry + 1);
    }

    // At most half the slots are used, so every probe ends at an empty one.
    void rehash() {
        std::size_t size = 8;
        int bits = 3;
        while (size < entries_.size() * 2) {
            size *= 2;
            ++bits;
        }
        slots_.assign(size, 0);
        shift_ = 64 - bits;
        for (std::size_t entry = 0; entry < entries_.size(); ++entry) place(entry);
    }

    std::vector<std::pair<std::uint64_t, Value>> entries_;
    std::vector<std::uint32_t> slots_;  // entry index + 1, 0 when empty
    int shift_ = 64;
};

}  // namespace kestrune::py
