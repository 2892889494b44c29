#include "kestrune/core/siphash.hpp"

#include <bit>
#include <cstring>

namespace kestrune {

namespace {

struct State {
    std::uint64_t v0, v1, v2, v3;

    void round() {
        v0 += v1;
        v1 = std::rotl(v1, 13);
        v1 ^= v0;
        v0 = std::rotl(v0, 32);
        v2 += v3;
        v3 = std::rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = std::rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = std::rotl(v1, 17);
        v1 ^= v2;
        v2 = std::rotl(v2, 32);
    }

    // One compression round per block: the "1" of SipHash-1-3.
    void compress(std::uint64_t block) {
        v3 ^= block;
        round();
        v0 ^= block;
    }
};

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

std::uint64_t load_le64(const unsigned char* bytes) {
    std::uint64_t value = 0;
    if constexpr (kLittleEndian) {
        std::memcpy(&value, bytes, sizeof value);
    } else {
        for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    }
    return value;
}

State initial_state(std::uint64_t key0, std::uint64_t key1) {
    return {key0 ^ 0x736f6d6570736575ULL, key1 ^ 0x646f72616e646f6dULL, key0 ^ 0x6c7967656e657261ULL,
            key1 ^ 0x7465646279746573ULL};
}

std::uint64_t finish_state(State state, std::uint64_t last_block) {
    state.compress(last_block);
    state.v2 ^= 0xff;
    for (int i = 0; i < 3; ++i) state.round();
    return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}

}  // namespace

SipHash13::SipHash13(std::uint64_t key0, std::uint64_t key1) {
    const State state = initial_state(key0, key1);
    v0_ = state.v0;
    v1_ = state.v1;
    v2_ = state.v2;
    v3_ = state.v3;
}

void SipHash13::write(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    const unsigned char* const end = bytes + length;
    total_length_ += length;
    State state{v0_, v1_, v2_, v3_};
    while (tail_length_ != 0 && bytes != end) {
        tail_ |= std::uint64_t{*bytes++} << (8 * tail_length_);
        if (++tail_length_ == 8) {
            state.compress(tail_);
            tail_ = 0;
            tail_length_ = 0;
        }
    }
    for (; end - bytes >= 8; bytes += 8) state.compress(load_le64(bytes));
    for (; bytes != end; ++bytes) tail_ |= std::uint64_t{*bytes} << (8 * tail_length_++);
    v0_ = state.v0;
    v1_ = state.v1;
    v2_ = state.v2;
    v3_ = state.v3;
}

void SipHash13::write_u64(std::uint64_t value) {
    unsigned char bytes[8];
    for (unsigned char& byte : bytes) {
        byte = static_cast<unsigned char>(value);
        value >>= 8;
    }
    write(bytes, sizeof bytes);
}

void SipHash13::write_u8(std::uint8_t value) { write(&value, 1); }

void SipHash13::write_text(std::string_view text) {
    write(text.data(), text.size());
    write_u8(0xff);
}

std::uint64_t SipHash13::finish() const { return finish_state({v0_, v1_, v2_, v3_}, (total_length_ << 56) | tail_); }

}  // namespace kestrune
