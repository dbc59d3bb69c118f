// Fixed-width integers at a byte position, in a stated byte order. Images, DIAG packets, sparse
// images and MD5 words are little-endian; the DMSS download protocol is big-endian. The caller
// makes sure the bytes are there.
#pragma once

#include <cstdint>

namespace platform {

constexpr std::uint16_t LoadLe16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

constexpr std::uint32_t LoadLe32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

constexpr std::uint16_t LoadBe16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}

constexpr std::uint32_t LoadBe32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 |
           std::uint32_t{at[3]};
}

constexpr void StoreLe16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr void StoreLe32(std::uint8_t* at, std::uint32_t value) {
    StoreLe16(at, static_cast<std::uint16_t>(value));
    StoreLe16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

constexpr void StoreBe16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

constexpr void StoreBe32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

}  // namespace platform
