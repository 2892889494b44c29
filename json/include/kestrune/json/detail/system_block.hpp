// Storage blocks for a document's values, large ones taken straight from the
// system and given straight back.
//
// Most of a large document's storage is in a few large blocks, freed when the
// document is done with. Had they come from malloc, the freed memory would stay
// with the allocator, resident, in the arena of the thread that freed it (which
// trims only the top of its heap); a mapping given back leaves nothing behind.
// Small blocks, all that a small document takes, still come from the allocator:
// a mapping costs two system calls and fresh pages.
#pragma once

#include <cstddef>
#include <utility>

namespace kestrune::json::detail {

// Blocks of this size and up are mappings of their own.
inline constexpr std::size_t kMappedBlockMinBytes = 256 * 1024;

// An owned block of storage aligned for any value, or none; move-only.
class SystemBlock {
public:
    SystemBlock() noexcept = default;
    // Throws std::bad_alloc when there is no memory.
    explicit SystemBlock(std::size_t bytes);
    SystemBlock(SystemBlock&& other) noexcept
        : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    SystemBlock& operator=(SystemBlock&& other) noexcept {
        SystemBlock(std::move(other)).swap(*this);
        return *this;
    }
    ~SystemBlock() { release(); }

    std::byte* data() const noexcept { return bytes_; }
    std::size_t size() const noexcept { return size_; }

    // A block of `bytes` (more than size()) holding this block's first `used`
    // bytes, in place of this one. Throws std::bad_alloc, leaving this block as
    // it was, when there is no memory.
    void grow(std::size_t bytes, std::size_t used);

    void swap(SystemBlock& other) noexcept {
        std::swap(bytes_, other.bytes_);
        std::swap(size_, other.size_);
    }

private:
    void release() noexcept;

    std::byte* bytes_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace kestrune::json::detail
