#include "qcom/diag_channel.h"

#include <array>
#include <cstring>

#include "platform/byte_order.h"
#include "qcom/diag_protocol.h"
#include "qcom/dmss_protocol.h"

namespace fendrel::qcom {
namespace {

using Verdict = PacketPort::Verdict;

// A refusal of the request whose code is `code`: a DIAG error packet echoing it (or too short to
// echo anything), or the NAK of a boot loader in download mode, which does not speak DIAG.
bool IsRefusal(const Packet& packet, std::uint8_t code) {
    if (diag::IsErrorCode(packet[0]))
        return packet.size() == 1 || packet[1] == code;
    return packet[0] == dmss::kNak && packet.size() == dmss::kNakBytes;
}

// The classifier of a request with code `code` whose replies `matches` recognises further.
PacketPort::Classifier ReplyTo(std::uint8_t code,
                               std::function<bool(const Packet&)> matches = nullptr) {
    return [code, matches = std::move(matches)](const Packet& packet) {
        if (packet[0] == code)
            return !matches || matches(packet) ? Verdict::kReply : Verdict::kPassOver;
        return IsRefusal(packet, code) ? Verdict::kRefusal : Verdict::kPassOver;
    };
}

}  // namespace

void DiagChannel::Attach(platform::SerialPort& port) {
    port_.Attach(port);
    switch_requested_ = false;
}

void DiagChannel::Detach() {
    port_.Detach();
    switch_requested_ = false;
}

PacketPort::Exchange DiagChannel::Command(std::span<const std::uint8_t> request,
                                          const PacketPort::Classifier& is_reply) {
    return port_.Transact(request, kReplyTimeout, is_reply);
}

DMSS_RET_E_TYPE DiagChannel::ReadStatus(STATUS_S_TYPE& status) {
    const std::uint8_t request[] = {diag::kStatus};
    const PacketPort::Exchange exchange = Command(request, ReplyTo(diag::kStatus));
    if (exchange.result != DMSS_SUCCESS)
        return exchange.result;
    const Packet& reply = exchange.answer;
    if (reply.size() < diag::kStatusBytes)
        return DMSS_BAD_REPLY;
    std::memcpy(&status, reply.data(), sizeof status);
    // The record is little-endian on the wire, whatever this machine is.
    status.esn = platform::LoadLe32(&reply[diag::kStatusEsnOffset]);
    status.mode = platform::LoadLe16(&reply[diag::kStatusModeWordOffset]);
    return DMSS_SUCCESS;
}

DMSS_RET_E_TYPE DiagChannel::ReadNV(NV_S_TYPE& record) {
    std::array<std::uint8_t, diag::kNvRecordBytes> request{};
    request[0] = diag::kNvRead;
    platform::StoreLe16(&request[diag::kNvItemOffset], record.item);
    std::memcpy(&request[diag::kNvDataOffset], record.data, diag::kNvDataBytes);
    const std::uint16_t item = record.item;
    const PacketPort::Exchange exchange =
        Command(request, ReplyTo(diag::kNvRead, [item](const Packet& reply) {
                    return reply.size() < diag::kNvDataOffset ||
                           platform::LoadLe16(&reply[diag::kNvItemOffset]) == item;
                }));
    if (exchange.result != DMSS_SUCCESS)
        return exchange.result;
    const Packet& reply = exchange.answer;
    if (reply.size() < diag::kNvRecordBytes)
        return DMSS_BAD_REPLY;
    record.command = reply[0];
    std::memcpy(record.data, &reply[diag::kNvDataOffset], diag::kNvDataBytes);
    record.status = platform::LoadLe16(&reply[diag::kNvStatusOffset]);
    return DMSS_SUCCESS;
}

PacketPort::Exchange DiagChannel::ModeChange(MODE_CHANGE_E_TYPE mode) {
    std::uint8_t request[diag::kModeChangeBytes] = {diag::kModeChange};
    platform::StoreLe16(&request[1], mode);
    PacketPort::Exchange exchange = Command(
        request, ReplyTo(diag::kModeChange, [mode](const Packet& reply) {
            return reply.size() < diag::kModeChangeBytes || platform::LoadLe16(&reply[1]) == mode;
        }));
    if (exchange.result == DMSS_SUCCESS && exchange.answer.size() < diag::kModeChangeBytes)
        exchange.result = DMSS_BAD_REPLY;
    return exchange;
}

DMSS_RET_E_TYPE DiagChannel::ChangeMode(MODE_CHANGE_E_TYPE mode) {
    return ModeChange(mode).result;
}

DMSS_RET_E_TYPE DiagChannel::SwitchToDownloader() {
    const std::uint8_t request[] = {diag::kSwitchToDownloader};
    const PacketPort::Exchange exchange = Command(request, ReplyTo(diag::kSwitchToDownloader));
    const bool left =
        exchange.LeftAfterRequest() || (exchange.result == DMSS_PORT_GONE && switch_requested_);
    switch_requested_ = switch_requested_ || exchange.written;
    return left ? DMSS_SWITCHED_WITHOUT_REPLY : exchange.result;
}

DMSS_RET_E_TYPE DiagChannel::ResetPhone() {
    ChangeMode(MODE_CHANGE_OFFLINE_DIGITAL);
    return ResetPhone9006();
}

DMSS_RET_E_TYPE DiagChannel::ResetPhone9006() {
    const PacketPort::Exchange exchange = ModeChange(MODE_CHANGE_RESET);
    return exchange.LeftAfterRequest() ? DMSS_SUCCESS : exchange.result;
}

}  // namespace fendrel::qcom
