#include "kestrune/json/detail/value_arena.hpp"

#include <algorithm>

namespace kestrune::json::detail {

namespace {

constexpr std::size_t kFirstBlockSize = 64 * 1024;
constexpr std::size_t kLargestGrowth = 4 * 1024 * 1024;

}  // namespace

void* ValueArena::allocate_slow(std::size_t bytes) {
    // Blocks kept from earlier documents are taken in turn while they are large
    // enough; a request none can hold gets a new block, placed where it is used.
    std::size_t next = cursor_ == nullptr ? 0 : current_ + 1;
    while (next < blocks_.size() && blocks_[next].size() < bytes) ++next;
    if (next == blocks_.size()) {
        const std::size_t growth =
            blocks_.empty() ? kFirstBlockSize : std::min(blocks_.back().size() * 2, kLargestGrowth);
        const std::size_t size = std::max(bytes, growth);
        blocks_.emplace_back(size);
    }
    // Skipped blocks stay behind the new current one and are used by the next document.
    current_ = next;
    std::byte* const start = blocks_[next].data();
    cursor_ = start + bytes;
    end_ = start + blocks_[next].size();
    return start;
}

void ValueArena::reset(std::size_t retained_bytes) {
    std::size_t kept = 0;
    std::size_t count = 0;
    while (count < blocks_.size() && kept + blocks_[count].size() <= retained_bytes) kept += blocks_[count++].size();
    blocks_.resize(count);
    current_ = 0;
    cursor_ = nullptr;
    end_ = nullptr;
}

std::size_t ValueArena::block_bytes() const {
    std::size_t bytes = 0;
    for (const SystemBlock& block : blocks_) bytes += block.size();
    return bytes;
}

}  // namespace kestrune::json::detail
