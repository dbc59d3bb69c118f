// The DMSS download protocol a phone's primary boot loader speaks in download mode (USB product
// 9008). Multi-byte fields are big-endian. Every request is answered by its reply packet, an ACK
// or a NAK carrying a reason.
//
// Vendor extension: the boot-block query and the boot version check are not part of the public
// command set. They use two codes the public set leaves free:
//   0x51                   boot-block query  -> 0x52, boot block u32, 12 reserved bytes
//   0x53, version u16      version check     -> ACK when the boot block accepts that version,
//                                               NAK otherwise
// A boot loader without the extension answers both with a NAK (invalid command).
#pragma once

#include <cstddef>
#include <cstdint>

namespace fendrel::qcom::dmss {

inline constexpr std::uint8_t kAck = 0x02;
inline constexpr std::uint8_t kNak = 0x03;  // reason u16
inline constexpr std::uint8_t kNop = 0x06;  // -> ACK
inline constexpr std::uint8_t kParameterRequest = 0x07;
inline constexpr std::uint8_t kParameterReply = 0x08;
inline constexpr std::uint8_t kReset = 0x0A;  // -> ACK, then the phone restarts
inline constexpr std::uint8_t kVersionRequest = 0x0C;
inline constexpr std::uint8_t kVersionReply = 0x0D;  // length u8, ASCII text

inline constexpr std::uint8_t kBootBlockQuery = 0x51;
inline constexpr std::uint8_t kBootBlockReply = 0x52;
inline constexpr std::uint8_t kVerifyBootVersion = 0x53;

inline constexpr std::size_t kNakBytes = 3;
// Parameter reply: code, protocol version, lowest compatible version, largest write u16, model,
// flash size, flash type.
inline constexpr std::size_t kParameterReplyBytes = 8;
inline constexpr std::size_t kBootBlockReplyBytes = 17;
inline constexpr std::size_t kBootBlockValueOffset = 1;
inline constexpr std::size_t kBootBlockReservedOffset = 5;
inline constexpr std::size_t kVersionTextOffset = 2;  // after the code and the length
inline constexpr std::size_t kVerifyBootVersionBytes = 3;

// NAK reasons.
inline constexpr std::uint16_t kBadFrameCheck = 0x0001;
inline constexpr std::uint16_t kBadLength = 0x0003;
inline constexpr std::uint16_t kInvalidCommand = 0x0006;
inline constexpr std::uint16_t kOperationFailed = 0x0007;

}  // namespace fendrel::qcom::dmss
