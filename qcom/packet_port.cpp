#include "qcom/packet_port.h"

#include <algorithm>
#include <array>

#include "platform/event.h"
#include "platform/serial_port.h"

namespace fendrel::qcom {
namespace {

constexpr std::size_t kReadChunk = 4096;

DMSS_RET_E_TYPE ResultOf(platform::IoStatus status) {
    switch (status) {
        case platform::IoStatus::kOk:
            return DMSS_SUCCESS;
        case platform::IoStatus::kTimeout:
            return DMSS_TIMEOUT;
        case platform::IoStatus::kStopped:
            return DMSS_STOPPED;
        case platform::IoStatus::kGone:
            return DMSS_PORT_GONE;
        case platform::IoStatus::kError:
            break;
    }
    return DMSS_IO_FAILED;
}

}  // namespace

void PacketPort::Attach(platform::SerialPort& port) {
    port_ = &port;
    decoder_.Clear();
}

void PacketPort::Detach() {
    port_ = nullptr;
    decoder_.Clear();
}

bool PacketPort::Drain(DMSS_RET_E_TYPE& result) {
    std::array<std::uint8_t, kReadChunk> buffer;
    while (true) {
        const platform::IoResult read = port_->Read(buffer);
        if (read.status != platform::IoStatus::kOk) {
            result = ResultOf(read.status);
            return false;
        }
        if (read.bytes == 0)
            return true;
        decoder_.Feed(std::span(buffer.data(), read.bytes));
    }
}

DMSS_RET_E_TYPE PacketPort::Discard() {
    if (port_ == nullptr || !port_->is_open())
        return DMSS_NOT_ATTACHED;
    DMSS_RET_E_TYPE result = DMSS_SUCCESS;
    Drain(result);
    decoder_.Clear();
    return result;
}

DMSS_RET_E_TYPE PacketPort::Send(std::span<const std::uint8_t> packet) {
    if (port_ == nullptr || !port_->is_open())
        return DMSS_NOT_ATTACHED;
    const Packet frame = EncodeFrame(packet);
    return ResultOf(port_->Write(frame, stop_, kWriteTimeout).status);
}

DMSS_RET_E_TYPE PacketPort::Receive(Packet& packet, platform::Milliseconds timeout) {
    if (port_ == nullptr || !port_->is_open())
        return DMSS_NOT_ATTACHED;
    const platform::Milliseconds deadline = clock_.Now() + timeout;
    while (true) {
        if (std::optional<Packet> next = decoder_.Next()) {
            packet = std::move(*next);
            return DMSS_SUCCESS;
        }
        const platform::Milliseconds left = deadline - clock_.Now();
        if (left <= platform::Milliseconds(0))
            return DMSS_TIMEOUT;
        platform::IoStatus status = platform::IoStatus::kTimeout;
        const bool over = clock_.WaitForDevice(left, [&](platform::Milliseconds limit) {
            status = port_->WaitReadable(stop_, limit);
            return status != platform::IoStatus::kTimeout;
        });
        if (!over)
            return DMSS_TIMEOUT;
        DMSS_RET_E_TYPE result = ResultOf(status);
        if (result != DMSS_SUCCESS || !Drain(result))
            return result;
    }
}

PacketPort::Exchange PacketPort::Transact(std::span<const std::uint8_t> request,
                                          platform::Milliseconds timeout,
                                          const Classifier& classify) {
    Exchange exchange;
    // Nothing buffered now can answer a request not yet sent.
    exchange.result = Discard();
    if (exchange.result != DMSS_SUCCESS)
        return exchange;
    exchange.result = Send(request);
    if (exchange.result != DMSS_SUCCESS)
        return exchange;
    exchange.written = true;

    const platform::Milliseconds deadline = clock_.Now() + timeout;
    while (true) {
        Packet packet;
        exchange.result =
            Receive(packet, std::max(deadline - clock_.Now(), platform::Milliseconds(0)));
        if (exchange.result != DMSS_SUCCESS)
            return exchange;
        const Verdict verdict = classify(packet);
        if (verdict == Verdict::kPassOver)
            continue;
        exchange.result = verdict == Verdict::kReply ? DMSS_SUCCESS : DMSS_REJECTED;
        exchange.answer = std::move(packet);
        return exchange;
    }
}

}  // namespace fendrel::qcom
