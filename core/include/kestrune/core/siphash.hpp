// Streaming SipHash-1-3 (one compression round per block, three finalisation rounds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrune {

class SipHash13 {
public:
    explicit SipHash13(std::uint64_t key0 = 0, std::uint64_t key1 = 0);

    void write(const void* data, std::size_t length);
    void write_u64(std::uint64_t value);  // 8 bytes, little-endian
    void write_u8(std::uint8_t value);
    void write_text(std::string_view text);  // the bytes, then 0xff

    // The hash of everything written so far; the hasher may keep being fed.
    std::uint64_t finish() const;

private:
    std::uint64_t v0_, v1_, v2_, v3_;
    std::uint64_t tail_ = 0;      // pending bytes, little-endian
    std::size_t tail_length_ = 0;  // 0..7
    std::uint64_t total_length_ = 0;
};

}  // namespace kestrune
