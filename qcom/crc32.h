// CRC-32 (IEEE 802.3, the zlib one): reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF,
// result complemented. The checksum of GPT headers and partition arrays that patch0.xml asks for.
// Check value over "123456789": 0xCBF43926.
#pragma once

#include <cstdint>
#include <span>

namespace fendrel::qcom {

// Incremental: feed the bytes in any number of pieces, then take value().
class Crc32 {
  public:
    void Update(std::span<const std::uint8_t> bytes);
    std::uint32_t value() const { return ~state_; }

  private:
    std::uint32_t state_ = 0xFFFFFFFF;
};

inline std::uint32_t Crc32Of(std::span<const std::uint8_t> bytes) {
    Crc32 crc;
    crc.Update(bytes);
    return crc.value();
}

}  // namespace fendrel::qcom
