// CRC-16/X-25 (also CRC-16/IBM-SDLC): reflected polynomial 0x8408, initial value 0xFFFF, result
// complemented. The frame check of the phones' HDLC-like framing, and of config.ini's integrity
// line. Check value over "123456789": 0x906E.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace fendrel::qcom {

std::uint16_t Crc16X25(const void* bytes, std::size_t length);
inline std::uint16_t Crc16X25(std::span<const std::uint8_t> bytes) {
    return Crc16X25(bytes.data(), bytes.size());
}

}  // namespace fendrel::qcom
