// The asynchronous HDLC-like framing that DIAG and DMSS download share.
//
// A frame is the packet followed by its CRC-16/X-25 (low byte first), with every 0x7E and 0x7D
// of both escaped as 0x7D, byte ^ 0x20, and ends with the flag 0x7E. Requests also start with a
// flag: whatever the phone had half-received before is then dropped as a bad frame instead of
// spoiling the request.
//
// The decoder takes the bytes as they arrive, split anywhere or several frames at once, and
// treats 0x7E purely as a delimiter: empty frames (two flags in a row) are skipped, frames whose
// CRC does not match, that end inside an escape or that grow beyond kMaxFramePacket are dropped
// and counted. It keeps no more than one partial frame and the packets not yet taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace fendrel::qcom {

inline constexpr std::uint8_t kFlag = 0x7E;
inline constexpr std::uint8_t kEscape = 0x7D;
inline constexpr std::uint8_t kEscapeXor = 0x20;

// The largest packet a decoder accepts: the phones' replies are a few hundred bytes at most,
// their log packets a few kilobytes.
inline constexpr std::size_t kMaxFramePacket = 16 * 1024;

using Packet = std::vector<std::uint8_t>;

enum class LeadingFlag { kWith, kWithout };

// The frame of `packet`: escaped packet and CRC, the closing flag, and a leading flag when asked.
Packet EncodeFrame(std::span<const std::uint8_t> packet, LeadingFlag leading = LeadingFlag::kWith);

// `bytes` with 0x7E and 0x7D escaped (no CRC, no flags).
Packet Escape(std::span<const std::uint8_t> bytes);

class FrameDecoder {
  public:
    // Takes the next bytes of the stream; each complete, intact frame's packet (without its CRC)
    // is queued for Next.
    void Feed(std::span<const std::uint8_t> bytes);
    // The oldest packet not yet taken, or none.
    std::optional<Packet> Next();
    // Forgets the partial frame and every packet not yet taken (the counter stays).
    void Clear();

    // Frames dropped so far: bad CRC, too short for a CRC, an escape before the flag, too long.
    std::size_t dropped() const { return dropped_; }

  private:
    // Appends the bytes [begin, end) of a run without flags to the partial frame, the first one
    // unescaped when `escaped_first`; a frame that grows too long is dropped up to its flag.
    void Take(const std::uint8_t* begin, const std::uint8_t* end, bool escaped_first = false);
    void EndFrame();

    Packet partial_;  // unescaped bytes since the last flag
    bool escaped_ = false;
    bool overflowed_ = false;
    std::deque<Packet> packets_;
    std::size_t dropped_ = 0;
};

}  // namespace fendrel::qcom
