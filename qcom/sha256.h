// SHA-256 (FIPS 180-4): the digest a Firehose programmer gives of written sectors
// (getsha256digest), compared with the digest of the data that was sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/hash_blocks.h"

namespace fendrel::qcom {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Incremental: Update any number of times, then Finish once.
class Sha256 {
  public:
    Sha256();
    void Update(std::span<const std::uint8_t> bytes);
    // The digest of everything given to Update. The object is spent afterwards.
    Sha256Digest Finish();

  private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    platform::HashBlocks blocks_;
};

Sha256Digest Sha256Of(std::span<const std::uint8_t> bytes);

// 64 lower-case hex digits.
std::string HexDigest(const Sha256Digest& digest);

}  // namespace fendrel::qcom
