#include "qcom/crc16.h"

#include <array>

namespace fendrel::qcom {
namespace {

constexpr std::uint16_t kPolynomial = 0x8408;

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ kPolynomial) : crc >> 1;
        }
        table[byte] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x1189 && kCrcTable[128] == 0x8408 && kCrcTable[255] == 0x0F78);

}  // namespace

std::uint16_t Crc16X25(const void* bytes, std::size_t length) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

}  // namespace fendrel::qcom
