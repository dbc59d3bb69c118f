// The DIAG commands the diagnostic channel sends, and the replies a phone running its firmware
// gives. Multi-byte fields are little-endian. Every request is answered by a packet that starts
// with the request's code, or by an error packet: an error code followed by an echo of (the start
// of) the request. Log packets and event reports may arrive at any time between the two.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fendrel::qcom::diag {

// Requests.
inline constexpr std::uint8_t kStatus = 0x0C;              // 1 byte; reply: the 48-byte status
inline constexpr std::uint8_t kNvRead = 0x26;              // the 133-byte NV record, both ways
inline constexpr std::uint8_t kModeChange = 0x29;          // code, mode u16; reply: the echo
inline constexpr std::uint8_t kSwitchToDownloader = 0x3A;  // 1 byte; reply: 0x3A, then it leaves

inline constexpr std::size_t kStatusBytes = 48;
inline constexpr std::size_t kNvRecordBytes = 133;
inline constexpr std::size_t kModeChangeBytes = 3;

// Offsets in the records.
inline constexpr std::size_t kStatusEsnOffset = 4;
inline constexpr std::size_t kStatusModeWordOffset = 32;
inline constexpr std::size_t kNvItemOffset = 1;
inline constexpr std::size_t kNvDataOffset = 3;
inline constexpr std::size_t kNvDataBytes = 128;
inline constexpr std::size_t kNvStatusOffset = 131;

// NV status of an item never written.
inline constexpr std::uint16_t kNvInactive = 5;

// Error replies.
inline constexpr std::uint8_t kBadCommand = 0x13;
inline constexpr std::uint8_t kBadParameter = 0x14;
inline constexpr std::uint8_t kBadLength = 0x15;
inline constexpr std::uint8_t kNotAccepted = 0x16;
inline constexpr std::uint8_t kBadMode = 0x18;      // not allowed in the phone's present mode
inline constexpr std::uint8_t kSpcLocked = 0x42;    // NV access refused until the SPC is sent
inline constexpr std::uint8_t kBadSecurity = 0x47;  // not allowed in this security state

inline constexpr bool IsErrorCode(std::uint8_t code) {
    return (code >= kBadCommand && code <= kNotAccepted) || code == kBadMode ||
           code == kSpcLocked || code == kBadSecurity;
}

// Unsolicited packets.
inline constexpr std::uint8_t kLogPacket = 0x10;
inline constexpr std::uint8_t kEventReport = 0x60;

}  // namespace fendrel::qcom::diag
