#include "qcom/streaming_packets.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "qcom/streaming_protocol.h"

namespace fendrel::qcom {
namespace {

namespace st = streaming;

// The hello reply's fields after the magic, up to the flash name's length; then the name, then
// the window, the sector count, the sector sizes and the feature bits.
constexpr std::size_t kHelloVersionOffset = 1 + st::kMagicBytes;
constexpr std::size_t kHelloBlockSizeOffset = kHelloVersionOffset + 2;
constexpr std::size_t kHelloFlashBaseOffset = kHelloBlockSizeOffset + 4;
constexpr std::size_t kHelloNameLengthOffset = kHelloFlashBaseOffset + 4;
constexpr std::size_t kHelloNameOffset = kHelloNameLengthOffset + 1;
// The error packet's text field.
constexpr std::size_t kErrorTextBytes = 64;
constexpr std::size_t kAddressBytes = 4;

void AppendLe16(Packet& packet, std::uint16_t value) {
    packet.push_back(static_cast<std::uint8_t>(value));
    packet.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendLe32(Packet& packet, std::uint32_t value) {
    AppendLe16(packet, static_cast<std::uint16_t>(value));
    AppendLe16(packet, static_cast<std::uint16_t>(value >> 16));
}

// `code`, then `head`, then `tail`.
Packet Joined(std::uint8_t code, std::span<const std::uint8_t> head,
              std::span<const std::uint8_t> tail = {}) {
    Packet packet;
    packet.reserve(1 + head.size() + tail.size());
    packet.push_back(code);
    packet.insert(packet.end(), head.begin(), head.end());
    packet.insert(packet.end(), tail.begin(), tail.end());
    return packet;
}

std::span<const std::uint8_t> BytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Text up to its first NUL.
std::string TextOf(std::span<const std::uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return std::string(bytes.begin(), end);
}

std::optional<StreamingHello> DecodeHelloReply(const Packet& packet) {
    if (packet.size() < kHelloNameOffset)
        return std::nullopt;
    StreamingHello hello;
    hello.version = packet[kHelloVersionOffset];
    hello.lowest_compatible_version = packet[kHelloVersionOffset + 1];
    hello.block_size = platform::LoadLe32(&packet[kHelloBlockSizeOffset]);
    hello.flash_base = platform::LoadLe32(&packet[kHelloFlashBaseOffset]);
    const std::size_t name_bytes = packet[kHelloNameLengthOffset];
    std::size_t at = kHelloNameOffset;
    if (packet.size() - at < name_bytes + 4)
        return std::nullopt;
    hello.flash_name.assign(packet.begin() + static_cast<std::ptrdiff_t>(at),
                            packet.begin() + static_cast<std::ptrdiff_t>(at + name_bytes));
    at += name_bytes;
    hello.window = platform::LoadLe16(&packet[at]);
    const std::size_t sectors = platform::LoadLe16(&packet[at + 2]);
    at += 4;
    if (packet.size() - at < 4 * sectors + 1)
        return std::nullopt;
    hello.sector_sizes.reserve(sectors);
    for (std::size_t i = 0; i < sectors; ++i, at += 4)
        hello.sector_sizes.push_back(platform::LoadLe32(&packet[at]));
    hello.features = packet[at];
    return hello;
}

}  // namespace

StreamingReply DecodeStreamingReply(const Packet& packet) {
    StreamingReply reply;
    if (packet.empty())
        return reply;
    reply.code = packet[0];
    reply.packet = packet;
    const std::span<const std::uint8_t> body = std::span(packet).subspan(1);
    switch (reply.code) {
        case st::kHelloReply:
            reply.hello = DecodeHelloReply(packet);
            reply.well_formed = reply.hello.has_value();
            break;
        case st::kPartitionTableReceived:
        case st::kOpenedMultiImage:
            reply.well_formed = body.size() == 1;
            reply.status = reply.well_formed ? body[0] : 0;
            break;
        case st::kBlockWritten:
            reply.well_formed = body.size() == kAddressBytes;
            reply.address = reply.well_formed ? platform::LoadLe32(body.data()) : 0;
            break;
        case st::kError:
            reply.well_formed = body.size() >= 4;
            if (reply.well_formed)
                reply.error =
                    StreamingError{platform::LoadLe32(body.data()), TextOf(body.subspan(4))};
            break;
        case st::kLog:
            reply.well_formed = true;
            reply.log = TextOf(body);
            break;
        default:
            // Acknowledgements are the code alone; other codes carry what their command defines.
            reply.well_formed = true;
            break;
    }
    return reply;
}

Packet EncodeStreamingHello(std::uint8_t version, std::uint8_t lowest_compatible_version,
                            std::uint8_t features) {
    const std::uint8_t tail[] = {version, lowest_compatible_version, features};
    return Joined(st::kHello, BytesOf(st::kHostMagic), tail);
}

Packet EncodeSecurityMode(std::uint8_t mode) {
    return {st::kSecurityMode, mode};
}

Packet EncodePartitionTable(bool override_table, std::span<const std::uint8_t> table) {
    const std::uint8_t flag[] = {static_cast<std::uint8_t>(override_table ? 1 : 0)};
    return Joined(st::kPartitionTable, flag, table);
}

Packet EncodeOpenMultiImage(std::uint8_t image_type, std::span<const std::uint8_t> payload) {
    const std::uint8_t type[] = {image_type};
    return Joined(st::kOpenMultiImage, type, payload);
}

Packet EncodeStreamWrite(std::uint32_t address, std::span<const std::uint8_t> data) {
    std::uint8_t where[kAddressBytes];
    platform::StoreLe32(where, address);
    return Joined(st::kStreamWrite, where, data);
}

std::optional<StreamingHello> DecodeHelloRequest(const Packet& packet) {
    if (packet.size() != st::kHelloBytes || packet[0] != st::kHello)
        return std::nullopt;
    StreamingHello hello;
    hello.version = packet[kHelloVersionOffset];
    hello.lowest_compatible_version = packet[kHelloVersionOffset + 1];
    hello.features = packet[kHelloVersionOffset + 2];
    return hello;
}

std::optional<PartitionTableRequest> DecodePartitionTableRequest(const Packet& packet) {
    if (packet.size() < 2 || packet[0] != st::kPartitionTable || packet[1] > 1)
        return std::nullopt;
    return PartitionTableRequest{packet[1] == 1, std::span(packet).subspan(2)};
}

std::optional<OpenMultiImageRequest> DecodeOpenMultiImageRequest(const Packet& packet) {
    if (packet.size() < 2 || packet[0] != st::kOpenMultiImage)
        return std::nullopt;
    return OpenMultiImageRequest{packet[1], std::span(packet).subspan(2)};
}

std::optional<StreamWriteRequest> DecodeStreamWriteRequest(const Packet& packet) {
    if (packet.size() < 1 + kAddressBytes || packet[0] != st::kStreamWrite)
        return std::nullopt;
    return StreamWriteRequest{platform::LoadLe32(&packet[1]),
                              std::span(packet).subspan(1 + kAddressBytes)};
}

Packet EncodeHelloReply(const StreamingHello& hello) {
    const std::uint8_t versions[] = {hello.version, hello.lowest_compatible_version};
    Packet packet = Joined(st::kHelloReply, BytesOf(st::kTargetMagic), versions);
    AppendLe32(packet, hello.block_size);
    AppendLe32(packet, hello.flash_base);
    const std::size_t name_bytes = std::min<std::size_t>(hello.flash_name.size(), 0xFF);
    packet.push_back(static_cast<std::uint8_t>(name_bytes));
    packet.insert(packet.end(), hello.flash_name.begin(),
                  hello.flash_name.begin() + static_cast<std::ptrdiff_t>(name_bytes));
    AppendLe16(packet, hello.window);
    const std::size_t sectors = std::min<std::size_t>(hello.sector_sizes.size(), 0xFFFF);
    AppendLe16(packet, static_cast<std::uint16_t>(sectors));
    for (std::size_t i = 0; i < sectors; ++i)
        AppendLe32(packet, hello.sector_sizes[i]);
    packet.push_back(hello.features);
    return packet;
}

Packet EncodeStatusReply(std::uint8_t code, std::uint8_t status) {
    return {code, status};
}

Packet EncodeBlockWritten(std::uint32_t address) {
    Packet packet{st::kBlockWritten};
    AppendLe32(packet, address);
    return packet;
}

Packet EncodeStreamingError(std::uint32_t code, std::string_view text) {
    Packet packet{st::kError};
    AppendLe32(packet, code);
    const std::size_t start = packet.size();
    packet.resize(start + kErrorTextBytes, 0);
    std::memcpy(&packet[start], text.data(), std::min(text.size(), kErrorTextBytes - 1));
    return packet;
}

Packet EncodeStreamingLog(std::string_view text) {
    return Joined(st::kLog, BytesOf(text));
}

}  // namespace fendrel::qcom
