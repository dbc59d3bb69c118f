// The streaming download protocol a RAM programmer speaks once the boot loader has started it
// (qcom/dmss_protocol.h, GO): the same framing as DMSS download, every frame with a leading flag;
// multi-byte fields little-endian. The host speaks first; every request has its reply, and the
// programmer may send an error packet instead, or log packets at any time.
//
//   0x01 hello: magic "QCOM fast download protocol host" (32 bytes), version, lowest compatible
//        version, feature bits                    -> 0x02 hello reply (streaming_packets.h)
//   0x17 security mode: mode u8                   -> 0x18
//   0x19 partition table: override u8, table      -> 0x1A, status u8 (kTable*)
//   0x1B open multi-image: image type u8, payload -> 0x1C, status u8 (kOpen*)
//   0x07 stream write: address u32, data          -> 0x08, address u32
//   0x15 close                                    -> 0x16
//   0x0B reset                                    -> 0x0C, then the phone restarts
//   programmer -> host: 0x0D error: code u32, text; 0x0E log: text
//
// Stream write addresses count bytes from the start of the image opened last (the host never
// asks for sector addresses).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace fendrel::qcom::streaming {

inline constexpr std::uint8_t kHello = 0x01;
inline constexpr std::uint8_t kHelloReply = 0x02;
inline constexpr std::uint8_t kStreamWrite = 0x07;
inline constexpr std::uint8_t kBlockWritten = 0x08;
inline constexpr std::uint8_t kReset = 0x0B;
inline constexpr std::uint8_t kResetAck = 0x0C;
inline constexpr std::uint8_t kError = 0x0D;
inline constexpr std::uint8_t kLog = 0x0E;
inline constexpr std::uint8_t kClose = 0x15;
inline constexpr std::uint8_t kClosed = 0x16;
inline constexpr std::uint8_t kSecurityMode = 0x17;
inline constexpr std::uint8_t kSecurityModeReceived = 0x18;
inline constexpr std::uint8_t kPartitionTable = 0x19;
inline constexpr std::uint8_t kPartitionTableReceived = 0x1A;
inline constexpr std::uint8_t kOpenMultiImage = 0x1B;
inline constexpr std::uint8_t kOpenedMultiImage = 0x1C;

inline constexpr std::string_view kHostMagic = "QCOM fast download protocol host";
inline constexpr std::string_view kTargetMagic = "QCOM fast download protocol targ";
inline constexpr std::size_t kMagicBytes = 32;
inline constexpr std::size_t kHelloBytes = 1 + kMagicBytes + 3;

// Feature bits of the hello.
inline constexpr std::uint8_t kFeatureUncompressed = 0x01;
inline constexpr std::uint8_t kFeatureMultiImage = 0x08;
inline constexpr std::uint8_t kFeatureSectorAddresses = 0x10;

inline constexpr std::uint8_t kTrusted = 0x01;  // security mode

// Partition table answers.
inline constexpr std::uint8_t kTableAccepted = 0;
inline constexpr std::uint8_t kTableDiffers = 1;  // differs from the phone's; taken only with
                                                  // override
inline constexpr std::uint8_t kTableNotRecognised = 2;
inline constexpr std::uint8_t kTableEraseFailed = 3;
inline constexpr std::size_t kLargestPartitionTable = 512;

// Open multi-image answers.
inline constexpr std::uint8_t kOpenDone = 0;
inline constexpr std::uint8_t kOpenPayloadTooLong = 1;
inline constexpr std::uint8_t kOpenNoPayloadExpected = 2;
inline constexpr std::uint8_t kOpenPayloadRequired = 3;
inline constexpr std::uint8_t kOpenWriteProtected = 4;
inline constexpr std::size_t kLargestOpenPayload = 512;

// Image types of the open multi-image request.
inline constexpr std::uint8_t kImageQcsblHeader = 0x02;  // Qcs header and configuration data
inline constexpr std::uint8_t kImageQcsbl = 0x03;
inline constexpr std::uint8_t kImageOemsbl = 0x04;          // header as payload
inline constexpr std::uint8_t kImageAmss = 0x05;            // header as payload
inline constexpr std::uint8_t kImageApps = 0x06;            // header as payload
inline constexpr std::uint8_t kImageAppsBootLoader = 0x0A;  // header as payload

// Error codes of the error packet.
inline constexpr std::uint32_t kErrorInvalidAddress = 0x02;
inline constexpr std::uint32_t kErrorInvalidLength = 0x03;
inline constexpr std::uint32_t kErrorInvalidCommand = 0x05;
inline constexpr std::uint32_t kErrorOperationFailed = 0x07;
inline constexpr std::uint32_t kErrorVerifyFailed = 0x0A;
inline constexpr std::uint32_t kErrorOutOfSequence = 0x0F;
inline constexpr std::uint32_t kErrorCloseFailed = 0x10;
inline constexpr std::uint32_t kErrorIncompatibleFeatures = 0x11;
inline constexpr std::uint32_t kErrorOutOfSpace = 0x12;

}  // namespace fendrel::qcom::streaming
