// MD5 message digest (RFC 1321). The NV backup file's integrity digest is a chain of MD5 sums;
// nothing here is meant for security.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/hash_blocks.h"

namespace fendrel {

using Md5Digest = std::array<std::uint8_t, 16>;

// Incremental MD5: Update any number of times, then Finish once.
class Md5 {
  public:
    Md5();
    void Update(std::span<const std::uint8_t> bytes);
    void Update(std::string_view text);
    // The digest of everything given to Update. The object is spent afterwards.
    Md5Digest Finish();

  private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_;
    platform::HashBlocks blocks_;
};

// The MD5 of `bytes` in one call.
Md5Digest Md5Of(std::span<const std::uint8_t> bytes);

}  // namespace fendrel
