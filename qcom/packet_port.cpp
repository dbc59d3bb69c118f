#include "qcom/packet_port.h"

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

PacketPort::Exchange PacketPort::Transact(std::span<const std::uint8_t> request,
                                          platform::Milliseconds timeout,
                                          const Classifier& classify) {
    Exchange exchange;
    if (port_ == nullptr || !port_->is_open())
        return exchange;

    // Nothing buffered now can answer a request not yet sent.
    if (!Drain(exchange.result))
        return exchange;
    decoder_.Clear();

    const Packet frame = EncodeFrame(request);
    const platform::IoResult sent = port_->Write(frame, stop_, kWriteTimeout);
    if (sent.status != platform::IoStatus::kOk) {
        exchange.result = ResultOf(sent.status);
        return exchange;
    }
    exchange.written = true;

    const platform::Milliseconds deadline = clock_.Now() + timeout;
    while (true) {
        while (std::optional<Packet> packet = decoder_.Next()) {
            const Verdict verdict = classify(*packet);
            if (verdict == Verdict::kPassOver)
                continue;
            exchange.result = verdict == Verdict::kReply ? DMSS_SUCCESS : DMSS_REJECTED;
            exchange.answer = std::move(*packet);
            return exchange;
        }
        const platform::Milliseconds left = deadline - clock_.Now();
        if (left <= platform::Milliseconds(0)) {
            exchange.result = DMSS_TIMEOUT;
            return exchange;
        }
        platform::IoStatus status = platform::IoStatus::kTimeout;
        const bool over = clock_.WaitForDevice(left, [&](platform::Milliseconds limit) {
            status = port_->WaitReadable(stop_, limit);
            return status != platform::IoStatus::kTimeout;
        });
        if (!over) {
            exchange.result = DMSS_TIMEOUT;
            return exchange;
        }
        if (status != platform::IoStatus::kOk) {
            exchange.result = ResultOf(status);
            return exchange;
        }
        if (!Drain(exchange.result))
            return exchange;
    }
}

}  // namespace fendrel::qcom
