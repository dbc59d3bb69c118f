#include "qcom/crc32.h"

#include <array>

namespace fendrel::qcom {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320;

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ kPolynomial : crc >> 1;
        table[byte] = crc;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096 && kCrcTable[255] == 0x2D02EF8D);

}  // namespace

void Crc32::Update(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = state_;
    for (const std::uint8_t byte : bytes)
        crc = (crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFF];
    state_ = crc;
}

}  // namespace fendrel::qcom
