#include "sim/phones/talking_phone.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "qcom/crc16.h"
#include "qcom/diag_protocol.h"
#include "qcom/dmss_packets.h"
#include "qcom/dmss_protocol.h"
#include "sim/phones/phone_modes.h"

namespace sim {
namespace {

namespace diag = fendrel::qcom::diag;
namespace dmss = fendrel::qcom::dmss;
using fendrel::qcom::Packet;

// What the parameter request reports: protocol version 8 (lowest compatible 1), writes of
// 1024 bytes, flash size index 5 (32 MB).
constexpr std::uint8_t kProtocolVersion = 8;
constexpr std::uint8_t kLowestCompatibleVersion = 1;
constexpr std::uint16_t kLargestWrite = 1024;
constexpr std::uint8_t kModel = 0x50;
constexpr std::uint8_t kFlashSize = 5;
constexpr std::uint8_t kFlashType = 0;
constexpr std::uint16_t kCdmaCellular = 1;  // the RF mode the status reports
constexpr std::size_t kRfModeOffset = 8;

void AppendBe16(Packet& packet, std::uint16_t value) {
    packet.push_back(static_cast<std::uint8_t>(value >> 8));
    packet.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

Packet DiagError(std::uint8_t error, const Packet& request) {
    Packet packet(request.size() + 1);
    packet[0] = error;
    std::copy(request.begin(), request.end(), packet.begin() + 1);
    return packet;
}

Packet Nak(std::uint16_t reason) {
    Packet packet{dmss::kNak};
    AppendBe16(packet, reason);
    return packet;
}

}  // namespace

std::array<std::uint8_t, 128> PatternNvData(std::uint16_t item) {
    std::array<std::uint8_t, 128> data;
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(item * 7 + i);
    return data;
}

void AddPatternNvItems(PhoneProfile& profile, std::uint16_t first, int count) {
    for (int i = 0; i < count; ++i) {
        const auto item = static_cast<std::uint16_t>(first + i);
        profile.nv_items[item] = PatternNvData(item);
    }
}

void TalkingPhone::SetFault(PhoneFault fault, std::optional<std::uint8_t> only_command,
                            platform::Milliseconds delay) {
    const std::lock_guard lock(mutex_);
    fault_ = fault;
    fault_command_ = only_command;
    delay_ = delay;
}

void TalkingPhone::SetEsn(std::uint32_t esn) {
    const std::lock_guard lock(mutex_);
    profile_.esn = esn;
}

PhoneProfile TalkingPhone::profile() const {
    const std::lock_guard lock(mutex_);
    return profile_;
}

std::vector<std::uint8_t> TalkingPhone::received() const {
    const std::lock_guard lock(mutex_);
    return received_;
}

TalkingPhone::Upload TalkingPhone::upload() const {
    const std::lock_guard lock(mutex_);
    return upload_;
}

void TalkingPhone::OnPlugged(PhoneControl& phone) {
    const std::lock_guard lock(mutex_);
    // A phone that comes onto the bus has just started: online, nothing half-received.
    download_mode_ = phone.identity().product == kDownloadModeProduct;
    disk_mode_ = phone.identity().product == kDiskModeProduct;
    offline_ = disk_mode_;
    decoder_.Clear();
    if (download_mode_)
        upload_ = {};
    if (download_mode_ && download_ != nullptr)
        download_->OnStarted(phone);
}

void TalkingPhone::OnHostBytes(PhoneControl& phone, int interface_number,
                               std::span<const std::uint8_t> bytes) {
    if (interface_number != kDiagnosticInterface)
        return;  // the modem and NMEA ports stay quiet
    const std::lock_guard lock(mutex_);
    const PhoneFault every_request = fault_command_ ? PhoneFault::kNone : fault_;
    if (download_mode_ && download_ != nullptr) {
        download_->OnHostBytes(phone, bytes, every_request);
        return;
    }
    if (download_mode_ && upload_.started) {
        programmer_->OnHostBytes(phone, bytes, every_request);
        return;
    }
    decoder_.Feed(bytes);
    while (const std::optional<Packet> request = decoder_.Next())
        OnRequest(phone, *request);
}

void TalkingPhone::OnRequest(PhoneControl& phone, const Packet& request) {
    received_.push_back(request[0]);
    const PhoneFault fault =
        !fault_command_ || *fault_command_ == request[0] ? fault_ : PhoneFault::kNone;
    if (fault == PhoneFault::kSilent)
        return;
    if (fault == PhoneFault::kNak) {
        Send(phone, Refusal(request, download_mode_), false);
        return;
    }
    const Answer answer = download_mode_ ? AnswerDmss(request)
                                         : AnswerDiag(request, fault == PhoneFault::kStayOnline,
                                                      fault == PhoneFault::kSwitchError);
    switch (fault) {
        case PhoneFault::kDelay:
            phone.After(delay_,
                        [this, answer](PhoneControl& later) { Send(later, answer, false); });
            return;
        case PhoneFault::kUnplugMidReply: {
            const Packet frame = fendrel::qcom::EncodeFrame(answer.packet);
            phone.Reply(kDiagnosticInterface, std::span(frame).first(frame.size() / 2));
            phone.Unplug();
            return;
        }
        default:
            Send(phone, answer, fault == PhoneFault::kCorruptCrc);
    }
}

TalkingPhone::Answer TalkingPhone::Refusal(const Packet& request, bool download_mode) {
    if (download_mode)
        return {Nak(dmss::kInvalidCommand)};
    return {DiagError(diag::kBadCommand, request)};
}

TalkingPhone::Answer TalkingPhone::AnswerDiag(const Packet& request, bool stay_online,
                                              bool switch_error) {
    switch (request[0]) {
        case diag::kStatus: {
            Packet status(diag::kStatusBytes, 0);
            status[0] = diag::kStatus;
            platform::StoreLe32(&status[diag::kStatusEsnOffset], profile_.esn);
            platform::StoreLe16(&status[kRfModeOffset], kCdmaCellular);
            platform::StoreLe16(&status[diag::kStatusModeWordOffset],
                                offline_ ? profile_.offline_mode_word : profile_.online_mode_word);
            return {status};
        }
        case diag::kNvRead: {
            if (request.size() != diag::kNvRecordBytes)
                return {DiagError(diag::kBadLength, request)};
            Packet reply = request;
            const auto item =
                profile_.nv_items.find(platform::LoadLe16(&request[diag::kNvItemOffset]));
            if (item != profile_.nv_items.end()) {
                std::memcpy(&reply[diag::kNvDataOffset], item->second.data(), diag::kNvDataBytes);
                platform::StoreLe16(&reply[diag::kNvStatusOffset], 0);
            } else {
                std::memset(&reply[diag::kNvDataOffset], 0, diag::kNvDataBytes);
                platform::StoreLe16(&reply[diag::kNvStatusOffset], diag::kNvInactive);
            }
            return {reply};
        }
        case diag::kModeChange: {
            if (request.size() != diag::kModeChangeBytes)
                return {DiagError(diag::kBadLength, request)};
            constexpr std::uint16_t kOfflineAnalog = 0, kOfflineDigital = 1, kReset = 2,
                                    kOnline = 4;
            const std::uint16_t mode = platform::LoadLe16(&request[1]);
            if (mode == kReset) {
                if (!offline_)
                    return {DiagError(diag::kBadMode, request)};
                return {request, Then::kRestart};
            }
            if ((mode == kOfflineAnalog || mode == kOfflineDigital) && !stay_online)
                offline_ = true;
            if (mode == kOnline && !disk_mode_)
                offline_ = false;
            return {request};
        }
        case diag::kSwitchToDownloader:
            if (switch_error)
                return {DiagError(diag::kBadMode, request)};
            return {request, Then::kToDownloadMode};
        default:
            return Refusal(request, false);
    }
}

TalkingPhone::Answer TalkingPhone::AnswerUpload(const Packet& request) {
    if (request[0] == dmss::kGo) {
        const std::optional<std::uint32_t> address = fendrel::qcom::DecodeDmssGo(request);
        if (!address)
            return {Nak(dmss::kBadLength)};
        if (*address < upload_.address || *address - upload_.address >= upload_.bytes.size())
            return {Nak(dmss::kBadAddress)};
        return {{dmss::kAck}, Then::kStartProgrammer};
    }
    const std::optional<fendrel::qcom::DmssWrite> write = fendrel::qcom::DecodeDmssWrite(request);
    if (!write)
        return {Nak(dmss::kBadLength)};
    if (write->data.size() > kLargestWrite)
        return {Nak(dmss::kTooLarge)};
    if (upload_.bytes.empty())
        upload_.address = write->address;
    const std::uint64_t end = std::uint64_t{upload_.address} + upload_.bytes.size();
    if (write->address < upload_.address || write->address > end)
        return {Nak(dmss::kBadAddress)};
    const std::size_t at = write->address - upload_.address;
    if (upload_.bytes.size() < at + write->data.size())
        upload_.bytes.resize(at + write->data.size());
    std::copy(write->data.begin(), write->data.end(), upload_.bytes.begin() + at);
    return {{dmss::kAck}};
}

TalkingPhone::Answer TalkingPhone::AnswerDmss(const Packet& request) {
    switch (request[0]) {
        case dmss::kNop:
            return {{dmss::kAck}};
        case dmss::kParameterRequest: {
            Packet reply{dmss::kParameterReply, kProtocolVersion, kLowestCompatibleVersion};
            AppendBe16(reply, kLargestWrite);
            reply.insert(reply.end(), {kModel, kFlashSize, kFlashType});
            return {reply};
        }
        case dmss::kVersionRequest: {
            const std::string& text = profile_.boot_loader_version;
            Packet reply{dmss::kVersionReply, static_cast<std::uint8_t>(text.size())};
            reply.insert(reply.end(), text.begin(), text.end());
            return {reply};
        }
        case dmss::kReset:
            return {{dmss::kAck}, Then::kRestart};
        case dmss::kBootBlockQuery: {
            Packet reply{dmss::kBootBlockReply};
            AppendBe16(reply, static_cast<std::uint16_t>(profile_.boot_block >> 16));
            AppendBe16(reply, static_cast<std::uint16_t>(profile_.boot_block & 0xFFFF));
            reply.resize(dmss::kBootBlockReplyBytes, 0);
            return {reply};
        }
        case dmss::kVerifyBootVersion: {
            if (request.size() != dmss::kVerifyBootVersionBytes)
                return {Nak(dmss::kBadLength)};
            const auto version = static_cast<std::uint16_t>(request[1] << 8 | request[2]);
            return {version == profile_.boot_version ? Packet{dmss::kAck}
                                                     : Nak(dmss::kOperationFailed)};
        }
        case dmss::kWrite:
        case dmss::kWrite32:
        case dmss::kGo:
            if (programmer_ != nullptr)
                return AnswerUpload(request);
            return Refusal(request, true);
        default:
            return Refusal(request, true);
    }
}

void TalkingPhone::Send(PhoneControl& phone, const Answer& answer, bool corrupt) {
    // A phone running its firmware starts a frame without a flag; a boot loader with one.
    const auto leading = phone.identity().product == kDownloadModeProduct
                             ? fendrel::qcom::LeadingFlag::kWith
                             : fendrel::qcom::LeadingFlag::kWithout;
    Packet frame = fendrel::qcom::EncodeFrame(answer.packet, leading);
    if (corrupt) {
        Packet body = answer.packet;
        const std::uint16_t wrong = fendrel::qcom::Crc16X25(body) ^ 0xFFFF;
        body.push_back(static_cast<std::uint8_t>(wrong & 0xFF));
        body.push_back(static_cast<std::uint8_t>(wrong >> 8));
        frame = fendrel::qcom::Escape(body);
        frame.push_back(fendrel::qcom::kFlag);
    }
    // A re-enumeration is queued before the answer goes out, so that it comes before anything
    // the host does once it has the answer (such as plugging the phone in another mode).
    const std::string serial = phone.identity().serial;
    if (answer.then == Then::kToDownloadMode && profile_.disk_after_switch)
        phone.Replug(DiskModeIdentity(serial, profile_.disk_after_switch->image,
                                      profile_.disk_after_switch->bytes));
    else if (answer.then == Then::kToDownloadMode)
        phone.Replug(DownloadModeIdentity(serial));
    else if (answer.then == Then::kRestart)
        phone.Replug(NormalModeIdentity(serial));
    phone.Reply(kDiagnosticInterface, frame);
    if (answer.then == Then::kStartProgrammer) {
        upload_.started = true;
        decoder_.Clear();
        programmer_->OnStarted(phone);
    }
}

}  // namespace sim
