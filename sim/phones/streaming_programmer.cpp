#include "sim/phones/streaming_programmer.h"

#include "qcom/streaming_protocol.h"
#include "sim/phones/phone_modes.h"

namespace sim {
namespace {

namespace st = fendrel::qcom::streaming;
using fendrel::qcom::Packet;

constexpr std::uint8_t kVersion = 5;
constexpr std::uint8_t kLowestCompatibleVersion = 2;

}  // namespace

void StreamingProgrammer::OnStarted(PhoneControl&) {
    decoder_.Clear();
    CloseOpen();
    open_ = false;
    gone_ = false;
    answers_held_ = 0;
}

void StreamingProgrammer::OnHostBytes(PhoneControl& phone, std::span<const std::uint8_t> bytes,
                                      PhoneFault fault) {
    if (fault == PhoneFault::kSilent || gone_)
        return;
    fault_ = fault;
    decoder_.Feed(bytes);
    while (!gone_) {
        const std::optional<Packet> packet = decoder_.Next();
        if (!packet)
            return;
        OnPacket(phone, *packet);
    }
}

void StreamingProgrammer::Answer(PhoneControl& phone, const Packet& packet) {
    phone.Reply(kDiagnosticInterface, fendrel::qcom::EncodeFrame(packet));
}

void StreamingProgrammer::Refuse(PhoneControl& phone, std::uint32_t code, std::string_view text) {
    Answer(phone, fendrel::qcom::EncodeStreamingError(code, text));
}

void StreamingProgrammer::OnPacket(PhoneControl& phone, const Packet& packet) {
    switch (packet[0]) {
        case st::kHello: {
            const std::optional<fendrel::qcom::StreamingHello> host =
                fendrel::qcom::DecodeHelloRequest(packet);
            if (!host || host->version < kLowestCompatibleVersion ||
                host->lowest_compatible_version > kVersion) {
                Refuse(phone, st::kErrorIncompatibleFeatures, "hello not understood");
                return;
            }
            fendrel::qcom::StreamingHello hello;
            hello.version = kVersion;
            hello.lowest_compatible_version = kLowestCompatibleVersion;
            hello.features = features_;
            hello.block_size = kBlockSize;
            hello.flash_name = flash_name_;
            hello.window = kWindow;
            Answer(phone, fendrel::qcom::EncodeHelloReply(hello));
            return;
        }
        case st::kSecurityMode:
            Answer(phone, {st::kSecurityModeReceived});
            return;
        case st::kStreamWrite:
            OnStreamWrite(phone, packet);
            return;
        case st::kClose: {
            const bool kept = CloseOpen();
            open_ = false;
            if (kept)
                Answer(phone, {st::kClosed});
            else
                Refuse(phone, st::kErrorCloseFailed, "image not kept");
            return;
        }
        case st::kReset:
            CloseOpen();
            open_ = false;
            // The restart is queued before the answer goes out: whatever the host asks of the
            // phone once it has the answer (a plug in another mode) comes after it.
            phone.Replug(NormalModeIdentity(phone.identity().serial));
            Answer(phone, {st::kResetAck});
            gone_ = true;
            return;
        default:
            if (!OnCommand(phone, packet))
                Refuse(phone, st::kErrorInvalidCommand, "unknown command");
    }
}

void StreamingProgrammer::OnStreamWrite(PhoneControl& phone, const Packet& packet) {
    const std::optional<fendrel::qcom::StreamWriteRequest> write =
        fendrel::qcom::DecodeStreamWriteRequest(packet);
    if (!write) {
        Refuse(phone, st::kErrorInvalidLength, "malformed stream write");
        return;
    }
    if (!open_) {
        Refuse(phone, st::kErrorOutOfSequence, "nothing is open");
        return;
    }
    if (write->address > 0 && fault_ == PhoneFault::kErrorMidWrite) {
        Refuse(phone, st::kErrorOperationFailed, "flash write failed");
        return;
    }
    if (write->address > 0 && fault_ == PhoneFault::kUnplugMidStream) {
        gone_ = true;
        phone.Unplug();
        return;
    }
    std::string error;
    if (!Write(write->address, write->data, error)) {
        Refuse(phone, st::kErrorInvalidAddress, error);
        return;
    }
    // The host keeps a window of blocks on the way and takes their answers as they come: they
    // go out together once its bytes are taken, and every half window at the latest, so that
    // the window never runs dry while the phone still has blocks to take.
    const Packet answer =
        fendrel::qcom::EncodeFrame(fendrel::qcom::EncodeBlockWritten(write->address));
    if (++answers_held_ < kWindow / 2) {
        phone.ReplyWhenIdle(kDiagnosticInterface, answer);
        return;
    }
    answers_held_ = 0;
    phone.Reply(kDiagnosticInterface, answer);
}

}  // namespace sim
