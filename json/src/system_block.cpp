#include "kestrune/json/detail/system_block.hpp"

#include <sys/mman.h>

#include <cstring>
#include <new>

namespace kestrune::json::detail {

SystemBlock::SystemBlock(std::size_t bytes) {
    if (bytes == 0) return;
    void* storage = nullptr;
    if (bytes >= kMappedBlockMinBytes) {
        storage = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (storage == MAP_FAILED) throw std::bad_alloc();
    } else {
        storage = ::operator new(bytes);
    }
    bytes_ = static_cast<std::byte*>(storage);
    size_ = bytes;
}

void SystemBlock::grow(std::size_t bytes, std::size_t used) {
    SystemBlock larger(bytes);
    if (used != 0) std::memcpy(larger.bytes_, bytes_, used);
    swap(larger);
}

void SystemBlock::release() noexcept {
    if (bytes_ == nullptr) return;
    if (size_ >= kMappedBlockMinBytes) {
        munmap(bytes_, size_);
    } else {
        ::operator delete(bytes_);
    }
}

}  // namespace kestrune::json::detail
