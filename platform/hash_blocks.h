// The 64-byte blocks of the message digests built on them (MD5, SHA-256): bytes come in pieces
// of any size, every whole block goes to the digest's compression, and the end is padded as
// both pad it: a 1 bit, zeros up to 56 bytes into a block, then the message's length in bits in
// 8 bytes, little-endian (MD5) or big-endian (SHA-256).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

enum class LengthOrder { kLittleEndian, kBigEndian };

class HashBlocks {
  public:
    static constexpr std::size_t kBlockBytes = 64;

    // Takes `bytes`; `compress(const std::uint8_t* block)` is called with every block completed.
    template <typename Compress>
    void Update(std::span<const std::uint8_t> bytes, Compress&& compress) {
        total_bytes_ += bytes.size();
        if (pending_size_ > 0) {
            const std::size_t taken = std::min(bytes.size(), kBlockBytes - pending_size_);
            std::copy_n(bytes.begin(), taken, pending_.begin() + pending_size_);
            pending_size_ += taken;
            bytes = bytes.subspan(taken);
            if (pending_size_ < kBlockBytes)
                return;
            compress(pending_.data());
            pending_size_ = 0;
        }
        for (; bytes.size() >= kBlockBytes; bytes = bytes.subspan(kBlockBytes))
            compress(bytes.data());
        std::copy(bytes.begin(), bytes.end(), pending_.begin());
        pending_size_ = bytes.size();
    }

    // Pads the message and compresses the last blocks. The object is spent afterwards.
    template <typename Compress>
    void Finish(LengthOrder order, Compress&& compress) {
        constexpr std::size_t kLengthAt = kBlockBytes - 8;
        const std::uint64_t length_bits = total_bytes_ * 8;
        std::uint8_t padding[kBlockBytes + 8] = {0x80};
        const std::size_t padding_size =  // 1 to 64 bytes
            (pending_size_ < kLengthAt ? kLengthAt : kLengthAt + kBlockBytes) - pending_size_;
        for (std::size_t i = 0; i < 8; ++i) {
            const std::size_t shift = order == LengthOrder::kLittleEndian ? 8 * i : 56 - 8 * i;
            padding[padding_size + i] = static_cast<std::uint8_t>(length_bits >> shift);
        }
        Update(std::span(padding, padding_size + 8), compress);
    }

  private:
    std::array<std::uint8_t, kBlockBytes> pending_{};
    std::size_t pending_size_ = 0;
    std::uint64_t total_bytes_ = 0;
};

}  // namespace platform
