// The NOR programmer's commands (qcom/nor_protocol.h): the station's side over a streaming host,
// and the packets as values for the simulated programmer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "qcom/nor_protocol.h"
#include "qcom/streaming_host.h"

namespace fendrel::qcom {

// The regions' sizes in bytes, in region order.
struct NorLayout {
    std::array<std::uint32_t, nor::kRegions> sizes{};

    std::uint32_t size(nor::Region region) const {
        return sizes[static_cast<std::size_t>(region) - 1];
    }
    // Where the region starts in the flash.
    std::uint64_t offset(nor::Region region) const;
};

// The sum of `bytes` taken as little-endian 32-bit words, a last partial word filled with 0xFF
// (erased flash).
std::uint32_t NorChecksum(std::span<const std::uint8_t> bytes);

// The station's side. Results as StreamingHost's; erases and checksums wait at most
// StreamingHost::kBlockTimeout.
DL_RET_E_TYPE SetNorBootBlockInfo(StreamingHost& host, std::uint32_t boot_bytes, NorLayout& layout);
DL_RET_E_TYPE EraseNor(StreamingHost& host, nor::Region region, std::uint32_t offset,
                       std::uint32_t length);
DL_RET_E_TYPE OpenNorRegion(StreamingHost& host, nor::Region region);
DL_RET_E_TYPE WriteNorChecksum(StreamingHost& host, std::uint32_t sum, std::uint32_t length);

// The programmer's side.
struct NorErase {
    nor::Region region = nor::Region::kBoot;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};
struct NorChecksumRequest {
    std::uint32_t sum = 0;
    std::uint32_t length = 0;
};
std::optional<std::uint32_t> DecodeNorBootBlockInfo(const Packet& packet);
std::optional<NorErase> DecodeNorErase(const Packet& packet);
std::optional<nor::Region> DecodeNorOpenRegion(const Packet& packet);
std::optional<NorChecksumRequest> DecodeNorChecksum(const Packet& packet);
Packet EncodeNorLayout(const NorLayout& layout);
Packet EncodeNorErased(nor::Region region, std::uint32_t offset);
Packet EncodeNorRegionOpened(nor::Region region);

std::optional<NorLayout> DecodeNorLayout(const Packet& packet);

}  // namespace fendrel::qcom
