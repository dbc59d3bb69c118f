#include "qcom/crc16.h"

#include <array>

namespace fendrel::qcom {
namespace {

constexpr std::uint16_t kPolynomial = 0x8408;
// Bytes taken per step of the main loop.
constexpr std::size_t kSlice = 8;

using CrcTables = std::array<std::array<std::uint16_t, 256>, kSlice>;

// Table 0 is the classic byte table; table k advances a byte's remainder by k more zero bytes, so
// that eight bytes are folded in with eight independent look-ups instead of a chain of eight.
constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ kPolynomial) : crc >> 1;
        tables[0][byte] = crc;
    }
    for (std::size_t k = 1; k < kSlice; ++k) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::uint16_t previous = tables[k - 1][byte];
            tables[k][byte] =
                static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
        }
    }
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();
static_assert(kCrcTables[0][1] == 0x1189 && kCrcTables[0][128] == 0x8408 &&
              kCrcTables[0][255] == 0x0F78);

}  // namespace

std::uint16_t Crc16X25(const void* bytes, std::size_t length) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::uint32_t crc = 0xFFFF;
    for (; length >= kSlice; length -= kSlice, data += kSlice) {
        // The remainder meets the first two bytes; every byte then goes through the table that
        // accounts for the bytes after it in this slice.
        const std::uint32_t low = (data[0] | (data[1] << 8)) ^ crc;
        crc = kCrcTables[7][low & 0xFF] ^ kCrcTables[6][low >> 8] ^ kCrcTables[5][data[2]] ^
              kCrcTables[4][data[3]] ^ kCrcTables[3][data[4]] ^ kCrcTables[2][data[5]] ^
              kCrcTables[1][data[6]] ^ kCrcTables[0][data[7]];
    }
    for (; length > 0; --length, ++data)
        crc = (crc >> 8) ^ kCrcTables[0][(crc ^ *data) & 0xFF];
    return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

}  // namespace fendrel::qcom
