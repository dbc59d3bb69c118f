#include "qcom/download_channel.h"

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
                                              std::uint8_t reply_code,
                                              platform::Milliseconds timeout) {
    last_nak_reason_ = 0;
    PacketPort::Exchange exchange =
        port_.Transact(request, timeout, [reply_code](const Packet& packet) {
            if (packet[0] == reply_code)
                return Verdict::kReply;
            return packet[0] == dmss::kNak ? Verdict::kRefusal : Verdict::kPassOver;
        });
    if (exchange.result == DMSS_REJECTED)
        last_nak_reason_ = DecodeDmssNak(exchange.answer).value_or(0);
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
    const std::optional<BBINFO_S_TYPE> decoded = DecodeDmssBootBlock(exchange.answer);
    if (!decoded)
        return DMSS_BAD_REPLY;
    info = *decoded;
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
    const std::optional<DmssParameters> decoded = DecodeDmssParameters(exchange.answer);
    if (!decoded)
        return DMSS_BAD_REPLY;
    parameters = *decoded;
    return DMSS_SUCCESS;
}

DL_RET_E_TYPE DownloadChannel::ReadSoftwareVersion(std::string& version) {
    const std::uint8_t request[] = {dmss::kVersionRequest};
    const PacketPort::Exchange exchange = Command(request, dmss::kVersionReply);
    if (exchange.result != DMSS_SUCCESS)
        return exchange.result;
    std::optional<std::string> decoded = DecodeDmssVersion(exchange.answer);
    if (!decoded)
        return DMSS_BAD_REPLY;
    version = std::move(*decoded);
    return DMSS_SUCCESS;
}

DL_RET_E_TYPE DownloadChannel::Reset() {
    const std::uint8_t request[] = {dmss::kReset};
    const PacketPort::Exchange exchange = Command(request, dmss::kAck);
    return exchange.LeftAfterRequest() ? DMSS_SUCCESS : exchange.result;
}

DL_RET_E_TYPE DownloadChannel::Write(DmssWriteForm form, std::uint32_t address,
                                     std::span<const std::uint8_t> data) {
    return Acknowledged(EncodeDmssWrite(form, address, data));
}

DL_RET_E_TYPE DownloadChannel::Go(std::uint32_t address) {
    const PacketPort::Exchange exchange = Command(EncodeDmssGo(address), dmss::kAck, kGoTimeout);
    return exchange.LeftAfterRequest() ? DMSS_SUCCESS : exchange.result;
}

}  // namespace fendrel::qcom
