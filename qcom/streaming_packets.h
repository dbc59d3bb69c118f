// The packets of the streaming download protocol (qcom/streaming_protocol.h) as values: the
// requests the station sends and the simulated programmers read, and the replies both ways.
//
// Every decoder takes any packet and answers none (or a reply marked malformed) when the packet is
// not a well-formed one of its kind; none reads beyond the packet.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "qcom/hdlc.h"

namespace fendrel::qcom {

// What a hello carries beyond its magic. A host's hello fills the first three fields only.
struct StreamingHello {
    std::uint8_t version = 0;
    std::uint8_t lowest_compatible_version = 0;
    std::uint8_t features = 0;
    // The programmer's side:
    std::uint32_t block_size = 0;  // the largest write it prefers, in bytes
    std::uint32_t flash_base = 0;
    std::string flash_name;
    std::uint16_t window = 0;  // stream writes it takes before the first is answered
    std::vector<std::uint32_t> sector_sizes;
};

struct StreamingError {
    std::uint32_t code = 0;
    std::string text;
};

// A reply as the host reads it.
struct StreamingReply {
    std::uint8_t code = 0;
    // False when the packet is too short (or too long) for its code's layout.
    bool well_formed = false;
    std::uint8_t status = 0;    // partition table, open multi-image: the answer
    std::uint32_t address = 0;  // block written
    std::optional<StreamingHello> hello;
    std::optional<StreamingError> error;
    std::string log;  // a log packet's text
    Packet packet;    // the whole packet, for codes of a programmer's own
};

// Any packet from a programmer (never empty: the framing drops empty frames).
StreamingReply DecodeStreamingReply(const Packet& packet);

// Requests.
Packet EncodeStreamingHello(std::uint8_t version, std::uint8_t lowest_compatible_version,
                            std::uint8_t features);
Packet EncodeSecurityMode(std::uint8_t mode);
Packet EncodePartitionTable(bool override_table, std::span<const std::uint8_t> table);
Packet EncodeOpenMultiImage(std::uint8_t image_type, std::span<const std::uint8_t> payload);
Packet EncodeStreamWrite(std::uint32_t address, std::span<const std::uint8_t> data);

struct StreamWriteRequest {
    std::uint32_t address = 0;
    std::span<const std::uint8_t> data;  // inside the decoded packet
};
struct PartitionTableRequest {
    bool override_table = false;
    std::span<const std::uint8_t> table;
};
struct OpenMultiImageRequest {
    std::uint8_t image_type = 0;
    std::span<const std::uint8_t> payload;
};
std::optional<StreamingHello> DecodeHelloRequest(const Packet& packet);
std::optional<PartitionTableRequest> DecodePartitionTableRequest(const Packet& packet);
std::optional<OpenMultiImageRequest> DecodeOpenMultiImageRequest(const Packet& packet);
std::optional<StreamWriteRequest> DecodeStreamWriteRequest(const Packet& packet);

// Replies.
Packet EncodeHelloReply(const StreamingHello& hello);
Packet EncodeStatusReply(std::uint8_t code, std::uint8_t status);
Packet EncodeBlockWritten(std::uint32_t address);
Packet EncodeStreamingError(std::uint32_t code, std::string_view text);
Packet EncodeStreamingLog(std::string_view text);

}  // namespace fendrel::qcom
