// Storage for the values and decoded texts of one document: memory is handed out
// from a few large blocks and given back all at once.
#pragma once

#include <cstddef>
#include <vector>

#include "kestrune/json/detail/system_block.hpp"

namespace kestrune::json::detail {

class ValueArena {
public:
    // `bytes` of storage aligned for any value, stable until `reset`.
    void* allocate(std::size_t bytes) {
        bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
        if (bytes > static_cast<std::size_t>(end_ - cursor_)) return allocate_slow(bytes);
        void* const storage = cursor_;
        cursor_ += bytes;
        return storage;
    }

    // Gives back everything handed out. Up to `retained_bytes` of blocks are kept,
    // so reading one document after another does not fetch fresh memory each time.
    void reset(std::size_t retained_bytes);

    // The size of the blocks held, in use or kept.
    std::size_t block_bytes() const;

private:
    static constexpr std::size_t kAlignment = alignof(std::max_align_t);

    void* allocate_slow(std::size_t bytes);

    std::vector<SystemBlock> blocks_;
    std::size_t current_ = 0;  // the block `cursor_` points into, when there is one
    std::byte* cursor_ = nullptr;
    std::byte* end_ = nullptr;
};

}  // namespace kestrune::json::detail
