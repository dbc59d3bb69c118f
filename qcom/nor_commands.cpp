#include "qcom/nor_commands.h"

#include "platform/byte_order.h"

namespace fendrel::qcom {
namespace {

constexpr std::size_t kWordBytes = 4;
constexpr std::size_t kLayoutBytes = 1 + nor::kRegions * kWordBytes;
constexpr std::size_t kEraseBytes = 1 + 1 + 2 * kWordBytes;
constexpr std::size_t kErasedBytes = 1 + 1 + kWordBytes;
constexpr std::size_t kChecksumBytes = 1 + 2 * kWordBytes;

void AppendLe32(Packet& packet, std::uint32_t value) {
    std::uint8_t bytes[kWordBytes];
    platform::StoreLe32(bytes, value);
    packet.insert(packet.end(), bytes, bytes + kWordBytes);
}

bool IsRegion(std::uint8_t value) {
    return value >= 1 && value <= nor::kRegions;
}

// An answer of `code`, `region` and, when given, `offset`: the one the request asked for.
Packet RegionAnswer(std::uint8_t code, nor::Region region, std::optional<std::uint32_t> offset) {
    Packet packet{code, static_cast<std::uint8_t>(region)};
    if (offset)
        AppendLe32(packet, *offset);
    return packet;
}

DL_RET_E_TYPE ExpectAnswer(StreamingHost& host, const Packet& request, const Packet& answer) {
    StreamingReply reply;
    const DL_RET_E_TYPE result =
        host.Command(request, answer[0], reply, StreamingHost::kBlockTimeout);
    if (result != DMSS_SUCCESS)
        return result;
    return reply.packet == answer ? DMSS_SUCCESS : DMSS_BAD_REPLY;
}

}  // namespace

std::uint64_t NorLayout::offset(nor::Region region) const {
    std::uint64_t start = 0;
    for (std::size_t i = 0; i + 1 < static_cast<std::size_t>(region); ++i)
        start += sizes[i];
    return start;
}

std::uint32_t NorChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    std::size_t at = 0;
    for (; bytes.size() - at >= kWordBytes; at += kWordBytes)
        sum += platform::LoadLe32(&bytes[at]);
    if (at < bytes.size()) {
        std::uint8_t last[kWordBytes] = {0xFF, 0xFF, 0xFF, 0xFF};
        std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), last);
        sum += platform::LoadLe32(last);
    }
    return sum;
}

DL_RET_E_TYPE SetNorBootBlockInfo(StreamingHost& host, std::uint32_t boot_bytes,
                                  NorLayout& layout) {
    Packet request{nor::kBootBlockInfo};
    AppendLe32(request, boot_bytes);
    StreamingReply reply;
    const DL_RET_E_TYPE result = host.Command(request, nor::kLayout, reply);
    if (result != DMSS_SUCCESS)
        return result;
    const std::optional<NorLayout> decoded = DecodeNorLayout(reply.packet);
    if (!decoded)
        return DMSS_BAD_REPLY;
    layout = *decoded;
    return DMSS_SUCCESS;
}

DL_RET_E_TYPE EraseNor(StreamingHost& host, nor::Region region, std::uint32_t offset,
                       std::uint32_t length) {
    Packet request{nor::kErase, static_cast<std::uint8_t>(region)};
    AppendLe32(request, offset);
    AppendLe32(request, length);
    return ExpectAnswer(host, request, EncodeNorErased(region, offset));
}

DL_RET_E_TYPE OpenNorRegion(StreamingHost& host, nor::Region region) {
    const Packet request{nor::kOpenRegion, static_cast<std::uint8_t>(region)};
    return ExpectAnswer(host, request, EncodeNorRegionOpened(region));
}

DL_RET_E_TYPE WriteNorChecksum(StreamingHost& host, std::uint32_t sum, std::uint32_t length) {
    Packet request{nor::kWriteChecksum};
    AppendLe32(request, sum);
    AppendLe32(request, length);
    return ExpectAnswer(host, request, Packet{nor::kChecksumWritten});
}

std::optional<std::uint32_t> DecodeNorBootBlockInfo(const Packet& packet) {
    if (packet.size() != 1 + kWordBytes || packet[0] != nor::kBootBlockInfo)
        return std::nullopt;
    return platform::LoadLe32(&packet[1]);
}

std::optional<NorErase> DecodeNorErase(const Packet& packet) {
    if (packet.size() != kEraseBytes || packet[0] != nor::kErase || !IsRegion(packet[1]))
        return std::nullopt;
    return NorErase{static_cast<nor::Region>(packet[1]), platform::LoadLe32(&packet[2]),
                    platform::LoadLe32(&packet[2 + kWordBytes])};
}

std::optional<nor::Region> DecodeNorOpenRegion(const Packet& packet) {
    if (packet.size() != 2 || packet[0] != nor::kOpenRegion || !IsRegion(packet[1]))
        return std::nullopt;
    return static_cast<nor::Region>(packet[1]);
}

std::optional<NorChecksumRequest> DecodeNorChecksum(const Packet& packet) {
    if (packet.size() != kChecksumBytes || packet[0] != nor::kWriteChecksum)
        return std::nullopt;
    return NorChecksumRequest{platform::LoadLe32(&packet[1]),
                              platform::LoadLe32(&packet[1 + kWordBytes])};
}

Packet EncodeNorLayout(const NorLayout& layout) {
    Packet packet{nor::kLayout};
    for (const std::uint32_t size : layout.sizes)
        AppendLe32(packet, size);
    return packet;
}

Packet EncodeNorErased(nor::Region region, std::uint32_t offset) {
    return RegionAnswer(nor::kErased, region, offset);
}

Packet EncodeNorRegionOpened(nor::Region region) {
    return RegionAnswer(nor::kRegionOpened, region, std::nullopt);
}

std::optional<NorLayout> DecodeNorLayout(const Packet& packet) {
    if (packet.size() != kLayoutBytes || packet[0] != nor::kLayout)
        return std::nullopt;
    NorLayout layout;
    for (std::size_t i = 0; i < layout.sizes.size(); ++i)
        layout.sizes[i] = platform::LoadLe32(&packet[1 + i * kWordBytes]);
    return layout;
}

}  // namespace fendrel::qcom
