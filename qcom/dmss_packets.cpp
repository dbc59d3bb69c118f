#include "qcom/dmss_packets.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "qcom/dmss_protocol.h"

namespace fendrel::qcom {

Packet EncodeDmssWrite(DmssWriteForm form, std::uint32_t address,
                       std::span<const std::uint8_t> data) {
    const bool wide = form == DmssWriteForm::k32Bit;
    const std::size_t header = wide ? dmss::kWrite32HeaderBytes : dmss::kWriteHeaderBytes;
    Packet packet(header + data.size());
    packet[0] = wide ? dmss::kWrite32 : dmss::kWrite;
    if (wide) {
        platform::StoreBe32(&packet[1], address);
    } else {
        packet[1] = static_cast<std::uint8_t>(address >> 16);
        platform::StoreBe16(&packet[2], static_cast<std::uint16_t>(address));
    }
    platform::StoreBe16(&packet[header - 2], static_cast<std::uint16_t>(data.size()));
    std::copy(data.begin(), data.end(), packet.begin() + static_cast<std::ptrdiff_t>(header));
    return packet;
}

Packet EncodeDmssGo(std::uint32_t address) {
    Packet packet(dmss::kGoBytes);
    packet[0] = dmss::kGo;
    platform::StoreBe32(&packet[1], address);
    return packet;
}

std::optional<DmssWrite> DecodeDmssWrite(const Packet& packet) {
    if (packet.empty() || (packet[0] != dmss::kWrite32 && packet[0] != dmss::kWrite))
        return std::nullopt;
    const bool wide = packet[0] == dmss::kWrite32;
    const std::size_t header = wide ? dmss::kWrite32HeaderBytes : dmss::kWriteHeaderBytes;
    if (packet.size() < header || platform::LoadBe16(&packet[header - 2]) != packet.size() - header)
        return std::nullopt;
    DmssWrite write;
    write.form = wide ? DmssWriteForm::k32Bit : DmssWriteForm::kOlder;
    write.address = wide ? platform::LoadBe32(&packet[1])
                         : std::uint32_t{packet[1]} << 16 | platform::LoadBe16(&packet[2]);
    write.data = std::span(packet).subspan(header);
    return write;
}

std::optional<std::uint32_t> DecodeDmssGo(const Packet& packet) {
    if (packet.size() != dmss::kGoBytes || packet[0] != dmss::kGo)
        return std::nullopt;
    return platform::LoadBe32(&packet[1]);
}

std::optional<std::uint16_t> DecodeDmssNak(const Packet& packet) {
    if (packet.size() < dmss::kNakBytes || packet[0] != dmss::kNak)
        return std::nullopt;
    return platform::LoadBe16(&packet[1]);
}

std::optional<DmssParameters> DecodeDmssParameters(const Packet& packet) {
    if (packet.size() != dmss::kParameterReplyBytes || packet[0] != dmss::kParameterReply)
        return std::nullopt;
    return DmssParameters{packet[1], packet[2], platform::LoadBe16(&packet[3]),
                          packet[5], packet[6], packet[7]};
}

std::optional<std::string> DecodeDmssVersion(const Packet& packet) {
    constexpr std::size_t text = dmss::kVersionTextOffset;
    if (packet.size() < text || packet[0] != dmss::kVersionReply ||
        packet.size() - text < packet[text - 1])
        return std::nullopt;
    return std::string(packet.begin() + text, packet.begin() + text + packet[text - 1]);
}

std::optional<BBINFO_S_TYPE> DecodeDmssBootBlock(const Packet& packet) {
    if (packet.size() < dmss::kBootBlockReplyBytes || packet[0] != dmss::kBootBlockReply)
        return std::nullopt;
    BBINFO_S_TYPE info{};
    info.boot_block = platform::LoadBe32(&packet[dmss::kBootBlockValueOffset]);
    std::copy_n(packet.begin() + dmss::kBootBlockReservedOffset, sizeof info.reserved,
                info.reserved);
    return info;
}

}  // namespace fendrel::qcom
