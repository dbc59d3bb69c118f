// Sahara: the protocol of the boot ROM's loader in download mode (USB product 9008) on the newer
// chips, with which a host uploads the programmer (prog_emmc_firehose_*.mbn) that then speaks
// Firehose.
//
// Packets are raw little-endian records with no framing and no check: a 32-bit command and a
// 32-bit length that counts the whole packet, then the command's fields. The phone speaks first
// (HELLO). Every command has a fixed length; a packet whose length is not its command's is
// malformed, and a stream with a malformed or unknown packet cannot be resynchronised (there
// are no flags), so a decoder stops there.
//
//   id   packet              dir   length  fields after the header
//   0x01 HELLO               P->H  0x30    version, lowest compatible version,
//                                          largest command packet, mode, 6 reserved
//   0x02 HELLO_RESP          H->P  0x30    version, lowest compatible version, status, mode,
//                                          6 reserved
//   0x03 READ_DATA           P->H  0x14    image id, offset, length (32-bit each)
//   0x04 END_OF_IMAGE_TX     P->H  0x10    image id, status
//   0x05 DONE                H->P  0x08
//   0x06 DONE_RESP           P->H  0x0C    image transfer status (1 complete, 0 more to come)
//   0x07 RESET               H->P  0x08
//   0x08 RESET_RESP          P->H  0x08
//   0x09 MEMORY_DEBUG        P->H  0x10    table address, table length   (a crash dump offered)
//   0x0B CMD_READY           P->H  0x08    (some phones send 0x0C; the extra word is ignored)
//   0x0C SWITCH_MODE         H->P  0x0C    mode
//   0x0D EXECUTE             H->P  0x0C    client command
//   0x0E EXECUTE_RESP        P->H  0x10    client command, data length
//   0x0F EXECUTE_DATA        H->P  0x0C    client command (the phone then sends the data raw)
//   0x10 MEMORY_DEBUG64      P->H  0x18    table address, table length (64-bit each)
//   0x12 READ_DATA64         P->H  0x20    image id, offset, length (64-bit each)
//   0x13 RESET_STATE_MACHINE H->P  0x08
// After a READ_DATA the host sends exactly `length` bytes of the image from `offset`, raw.
// Modes: 0 image transfer pending, 1 image transfer complete, 2 memory debug, 3 command mode.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace fendrel::qcom::sahara {

enum class Command : std::uint32_t {
    kHello = 0x01,
    kHelloResponse = 0x02,
    kReadData = 0x03,
    kEndOfImage = 0x04,
    kDone = 0x05,
    kDoneResponse = 0x06,
    kReset = 0x07,
    kResetResponse = 0x08,
    kMemoryDebug = 0x09,
    kCommandReady = 0x0B,
    kSwitchMode = 0x0C,
    kExecute = 0x0D,
    kExecuteResponse = 0x0E,
    kExecuteData = 0x0F,
    kMemoryDebug64 = 0x10,
    kReadData64 = 0x12,
    kResetStateMachine = 0x13,
};

enum Mode : std::uint32_t {
    kImageTransferPending = 0,
    kImageTransferComplete = 1,
    kMemoryDebugMode = 2,
    kCommandMode = 3,
};

// The protocol version a host answers with, and the lowest it understands.
inline constexpr std::uint32_t kHostVersion = 2;
inline constexpr std::uint32_t kHostLowestVersion = 1;

inline constexpr std::size_t kHeaderBytes = 8;
// The longest packet of the protocol (HELLO, HELLO_RESP).
inline constexpr std::size_t kLongestPacket = 0x30;

// Status codes of END_OF_IMAGE_TX and HELLO_RESP (0 is success); a few a phone and a host use.
inline constexpr std::uint32_t kStatusSuccess = 0x00;
inline constexpr std::uint32_t kStatusInvalidCommand = 0x01;
inline constexpr std::uint32_t kStatusInvalidElfHeader = 0x14;
inline constexpr std::uint32_t kStatusImageAuthenticationFailure = 0x25;

// Client commands of EXECUTE.
inline constexpr std::uint32_t kExecuteSerialNumberRead = 0x01;

// The image id of a Firehose (eMMC) programmer.
inline constexpr std::uint32_t kFirehoseProgrammerImage = 0x0D;

struct Hello {
    std::uint32_t version = 0;
    std::uint32_t lowest_version = 0;
    std::uint32_t largest_packet = 0;
    std::uint32_t mode = 0;
    bool operator==(const Hello&) const = default;
};
struct HelloResponse {
    std::uint32_t version = kHostVersion;
    std::uint32_t lowest_version = kHostLowestVersion;
    std::uint32_t status = kStatusSuccess;
    std::uint32_t mode = kImageTransferPending;
    bool operator==(const HelloResponse&) const = default;
};
struct ReadData {
    std::uint64_t image = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool wide = false;  // READ_DATA64
    bool operator==(const ReadData&) const = default;
};
struct EndOfImage {
    std::uint32_t image = 0;
    std::uint32_t status = 0;
    bool operator==(const EndOfImage&) const = default;
};
struct Done {
    bool operator==(const Done&) const = default;
};
struct DoneResponse {
    std::uint32_t complete = 1;
    bool operator==(const DoneResponse&) const = default;
};
struct Reset {
    bool operator==(const Reset&) const = default;
};
struct ResetResponse {
    bool operator==(const ResetResponse&) const = default;
};
struct MemoryDebug {
    std::uint64_t table_address = 0;
    std::uint64_t table_length = 0;
    bool wide = false;  // MEMORY_DEBUG64
    bool operator==(const MemoryDebug&) const = default;
};
struct CommandReady {
    bool operator==(const CommandReady&) const = default;
};
struct SwitchMode {
    std::uint32_t mode = 0;
    bool operator==(const SwitchMode&) const = default;
};
struct Execute {
    std::uint32_t client_command = 0;
    bool operator==(const Execute&) const = default;
};
struct ExecuteResponse {
    std::uint32_t client_command = 0;
    std::uint32_t data_length = 0;
    bool operator==(const ExecuteResponse&) const = default;
};
struct ExecuteData {
    std::uint32_t client_command = 0;
    bool operator==(const ExecuteData&) const = default;
};
struct ResetStateMachine {
    bool operator==(const ResetStateMachine&) const = default;
};

using Packet = std::variant<Hello, HelloResponse, ReadData, EndOfImage, Done, DoneResponse, Reset,
                            ResetResponse, MemoryDebug, CommandReady, SwitchMode, Execute,
                            ExecuteResponse, ExecuteData, ResetStateMachine>;

std::vector<std::uint8_t> Encode(const Packet& packet);

// The length of the packet whose header `header` (kHeaderBytes bytes) is, when its command is
// known and its length the command's. None otherwise: the stream is then malformed.
std::optional<std::size_t> PacketLength(std::span<const std::uint8_t> header);

struct Decoded {
    std::optional<Packet> packet;  // none: malformed
    std::string error;             // why, for a malformed packet
};

// Decodes exactly one whole packet.
Decoded Decode(std::span<const std::uint8_t> bytes);

// The packet's name, for messages ("READ_DATA").
std::string NameOf(const Packet& packet);

}  // namespace fendrel::qcom::sahara
