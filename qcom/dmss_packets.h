// The packets of the DMSS download protocol (qcom/dmss_protocol.h) as values: the requests the
// station builds and the simulated boot loaders read, and the replies the download channel reads.
//
// Every decoder takes any packet and answers none when the packet is not a well-formed one of its
// kind; none reads beyond the packet.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "qcom/hdlc.h"
#include "qcom/records.h"

namespace fendrel::qcom {

// What the parameter request reports.
struct DmssParameters {
    std::uint8_t protocol_version = 0;
    std::uint8_t lowest_compatible_version = 0;
    std::uint16_t largest_write = 0;  // data bytes per write packet
    std::uint8_t model = 0;
    std::uint8_t flash_size = 0;
    std::uint8_t flash_type = 0;
};

// The two forms of the write packet.
enum class DmssWriteForm {
    k32Bit,  // 0x0F: 32-bit address
    kOlder,  // 0x01: 24-bit address, for boot loaders without the 32-bit form
};

struct DmssWrite {
    DmssWriteForm form = DmssWriteForm::k32Bit;
    std::uint32_t address = 0;
    std::span<const std::uint8_t> data;  // inside the decoded packet
};

// A write of `data` (at most 0xFFFF bytes) at `address`; in the older form the address must lie
// below dmss::kWriteAddressLimit.
Packet EncodeDmssWrite(DmssWriteForm form, std::uint32_t address,
                       std::span<const std::uint8_t> data);
Packet EncodeDmssGo(std::uint32_t address);

// A write packet of either form whose length field matches its data.
std::optional<DmssWrite> DecodeDmssWrite(const Packet& packet);
std::optional<std::uint32_t> DecodeDmssGo(const Packet& packet);

// The reason of a NAK packet.
std::optional<std::uint16_t> DecodeDmssNak(const Packet& packet);
std::optional<DmssParameters> DecodeDmssParameters(const Packet& packet);
// The boot loader's version text.
std::optional<std::string> DecodeDmssVersion(const Packet& packet);
// The vendor boot-block reply.
std::optional<BBINFO_S_TYPE> DecodeDmssBootBlock(const Packet& packet);

}  // namespace fendrel::qcom
