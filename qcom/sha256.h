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

// How blocks are compressed. kFastest uses the processor's SHA instructions where it has them
// (x86-64 with the SHA extensions): verifying an image by its digest then costs little beside
// sending it. kPortable is plain C++ everywhere.
enum class Sha256Compression { kFastest, kPortable };

// Incremental: Update any number of times, then Finish once.
class Sha256 {
  public:
    explicit Sha256(Sha256Compression compression = Sha256Compression::kFastest);
    void Update(std::span<const std::uint8_t> bytes);
    // The digest of everything given to Update. The object is spent afterwards.
    Sha256Digest Finish();

  private:
    using CompressFunction = void (*)(std::array<std::uint32_t, 8>& state,
                                      const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    CompressFunction compress_;
    platform::HashBlocks blocks_;
};

Sha256Digest Sha256Of(std::span<const std::uint8_t> bytes);

// 64 lower-case hex digits.
std::string HexDigest(const Sha256Digest& digest);

}  // namespace fendrel::qcom
