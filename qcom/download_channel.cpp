#include "qcom/download_channel.h"

#include <algorithm>

#include "platform/byte_order.h"
#include "qcom/dmss_protocol.h"

namespace fendrel::qcom {
namespace {

using Verdict = PacketPort::Verdict;

}  // namespace

void DownloadChannel::Attach(platform::SerialPort& port) {
    port_.Attach(port);
}

void DownloadChannel::Detach() {
    port_.Detach();
}

PacketPort::Exchange DownloadChannel::Command(std::span<const std::uint8_t> request,
                                              std::uint8_t reply_code) {
    last_nak_reason_ = 0;
    PacketPort::Exchange exchange =
        port_.Transact(request, kReplyTimeout, [reply_code](const Packet& packet) {
            if (packet[0] == reply_code)
                return Verdict::kReply;
            return packet[0] == dmss::kNak ? Verdict::kRefusal : Verdict::kPassOver;
        });
    if (exchange.result == DMSS_REJECTED)
        last_nak_reason_ =
            exchange.answer.size() >= dmss::kNakBytes ? platform::LoadBe16(&exchange.answer[1]) : 0;
    return exchange;
}

DL_RET_E_TYPE DownloadChannel::Acknowledged(std::span<const std::uint8_t> request) {
    return Command(request, dmss::kAck).result;
}

DL_RET_E_TYPE DownloadChannel::DLGetBBinfo(BBINFO_S_TYPE& info) {
    const std::uint8_t request[] = {dmss::kBootBlockQuery};
    const PacketPort::Exchange exchange = Command(request, dmss::kBootBlockReply);
    if (exchange.result != DMSS_SUCCESS)
        return exchange.result;
    if (exchange.answer.size() < dmss::kBootBlockReplyBytes)
        return DMSS_BAD_REPLY;
    info.boot_block = platform::LoadBe32(&exchange.answer[dmss::kBootBlockValueOffset]);
    std::copy_n(exchange.answer.begin() + dmss::kBootBlockReservedOffset, sizeof info.reserved,
                info.reserved);
    return DMSS_SUCCESS;
}

DL_RET_E_TYPE DownloadChannel::DLVerifyVersion(unsigned short version) {
    const std::uint8_t request[dmss::kVerifyBootVersionBytes] = {
        dmss::kVerifyBootVersion, static_cast<std::uint8_t>(version >> 8),
        static_cast<std::uint8_t>(version & 0xFF)};
    return Acknowledged(request);
}

DL_RET_E_TYPE DownloadChannel::Nop() {
    const std::uint8_t request[] = {dmss::kNop};
    return Acknowledged(request);
}

DL_RET_E_TYPE DownloadChannel::ReadParameters(DmssParameters& parameters) {
    const std::uint8_t request[] = {dmss::kParameterRequest};
    const PacketPort::Exchange exchange = Command(request, dmss::kParameterReply);
    if (exchange.result != DMSS_SUCCESS)
        return exchange.result;
    const Packet& reply = exchange.answer;
    if (reply.size() != dmss::kParameterReplyBytes)
        return DMSS_BAD_REPLY;
    parameters = {reply[1], reply[2], platform::LoadBe16(&reply[3]), reply[5], reply[6], reply[7]};
    return DMSS_SUCCESS;
}

DL_RET_E_TYPE DownloadChannel::ReadSoftwareVersion(std::string& version) {
    const std::uint8_t request[] = {dmss::kVersionRequest};
    const PacketPort::Exchange exchange = Command(request, dmss::kVersionReply);
    if (exchange.result != DMSS_SUCCESS)
        return exchange.result;
    const Packet& reply = exchange.answer;
    constexpr std::size_t text = dmss::kVersionTextOffset;
    if (reply.size() < text || reply.size() - text < reply[text - 1])
        return DMSS_BAD_REPLY;
    version.assign(reply.begin() + text, reply.begin() + text + reply[text - 1]);
    return DMSS_SUCCESS;
}

DL_RET_E_TYPE DownloadChannel::Reset() {
    const std::uint8_t request[] = {dmss::kReset};
    const PacketPort::Exchange exchange = Command(request, dmss::kAck);
    return exchange.LeftAfterRequest() ? DMSS_SUCCESS : exchange.result;
}

}  // namespace fendrel::qcom
