// The DMSS download protocol a phone's primary boot loader speaks in download mode (USB product
// 9008). Multi-byte fields are big-endian. Every request is answered by its reply packet, an ACK
// or a NAK carrying a reason.
//
// A RAM programmer is uploaded with write packets and started with GO:
//   0x0F, address u32, length u16, data   write (32-bit address)          -> ACK
//   0x01, address u24, length u16, data   write, the older form of boot
//                                          loaders that lack 0x0F        -> ACK
//   0x05, address u32                     GO: run the code at address     -> ACK, then the
//                                                                            programmer starts
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

inline constexpr std::uint8_t kWrite = 0x01;  // the older form: 24-bit address
inline constexpr std::uint8_t kAck = 0x02;
inline constexpr std::uint8_t kNak = 0x03;  // reason u16
inline constexpr std::uint8_t kGo = 0x05;
inline constexpr std::uint8_t kNop = 0x06;  // -> ACK
inline constexpr std::uint8_t kParameterRequest = 0x07;
inline constexpr std::uint8_t kParameterReply = 0x08;
inline constexpr std::uint8_t kReset = 0x0A;  // -> ACK, then the phone restarts
inline constexpr std::uint8_t kVersionRequest = 0x0C;
inline constexpr std::uint8_t kVersionReply = 0x0D;  // length u8, ASCII text
inline constexpr std::uint8_t kWrite32 = 0x0F;

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
inline constexpr std::size_t kWrite32HeaderBytes = 7;  // code, address u32, length u16
inline constexpr std::size_t kWriteHeaderBytes = 6;    // code, address u24, length u16
inline constexpr std::size_t kGoBytes = 5;
// The older write form reaches the first 16 MiB only.
inline constexpr std::uint32_t kWriteAddressLimit = 1u << 24;

// NAK reasons.
inline constexpr std::uint16_t kBadFrameCheck = 0x0001;
inline constexpr std::uint16_t kBadAddress = 0x0002;  // invalid destination address
inline constexpr std::uint16_t kBadLength = 0x0003;
inline constexpr std::uint16_t kEndOfPacket = 0x0004;  // the packet ended early
inline constexpr std::uint16_t kTooLarge = 0x0005;     // more data than the buffer takes
inline constexpr std::uint16_t kInvalidCommand = 0x0006;
inline constexpr std::uint16_t kOperationFailed = 0x0007;
inline constexpr std::uint16_t kWrongFlashId = 0x0008;
inline constexpr std::uint16_t kBadVoltage = 0x0009;
inline constexpr std::uint16_t kVerifyFailed = 0x000A;
inline constexpr std::uint16_t kLocked = 0x000B;  // not permitted without unlock
inline constexpr std::uint16_t kBadSecurityCode = 0x000C;
inline constexpr std::uint16_t kCannotPowerDown = 0x000D;
inline constexpr std::uint16_t kNotNow = 0x000E;  // not permitted at this time
inline constexpr std::uint16_t kBadReadAddress = 0x000F;

}  // namespace fendrel::qcom::dmss
