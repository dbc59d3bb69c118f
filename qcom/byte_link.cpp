#include "qcom/byte_link.h"

#include <algorithm>
#include <array>
#include <memory>

#include "platform/event.h"
#include "platform/serial_port.h"

namespace fendrel::qcom {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

LinkStatus StatusOf(platform::IoStatus status) {
    switch (status) {
        case platform::IoStatus::kOk:
            return LinkStatus::kOk;
        case platform::IoStatus::kTimeout:
            return LinkStatus::kTimeout;
        case platform::IoStatus::kStopped:
            return LinkStatus::kStopped;
        case platform::IoStatus::kGone:
            return LinkStatus::kGone;
        case platform::IoStatus::kError:
            break;
    }
    return LinkStatus::kError;
}

}  // namespace

SerialByteLink::SerialByteLink(platform::SerialPort& port, const platform::ManualResetEvent& stop)
    : port_(port), stop_(stop), never_(std::make_unique<platform::ManualResetEvent>()) {}

SerialByteLink::~SerialByteLink() = default;

const platform::ManualResetEvent& SerialByteLink::WatchedEvent() const {
    return stoppable_ ? stop_ : *never_;
}

bool SerialByteLink::stop_requested() const {
    return stop_.IsSet();
}

LinkStatus SerialByteLink::Write(std::span<const std::uint8_t> bytes,
                                 platform::Milliseconds timeout, std::size_t* written) {
    const platform::IoResult result = port_.Write(bytes, WatchedEvent(), timeout);
    if (written != nullptr)
        *written = result.bytes;
    return StatusOf(result.status);
}

LinkStatus SerialByteLink::Read(std::span<std::uint8_t> into, std::size_t& got,
                                platform::Milliseconds timeout) {
    got = 0;
    platform::IoResult read = port_.Read(into);
    if (read.status == platform::IoStatus::kOk && read.bytes == 0) {
        const platform::IoStatus waited = port_.WaitReadable(WatchedEvent(), timeout);
        if (waited != platform::IoStatus::kOk)
            return StatusOf(waited);
        read = port_.Read(into);
    }
    got = read.bytes;
    return StatusOf(read.status);
}

LinkStatus LinkBuffer::Want(std::size_t count, platform::Milliseconds timeout) {
    const platform::Milliseconds deadline = clock_.Now() + timeout;
    while (bytes_.size() < count) {
        const platform::Milliseconds left = deadline - clock_.Now();
        if (left <= platform::Milliseconds(0))
            return LinkStatus::kTimeout;
        const LinkStatus status = More(left);
        if (status != LinkStatus::kOk)
            return status;
    }
    return LinkStatus::kOk;
}

LinkStatus LinkBuffer::More(platform::Milliseconds timeout) {
    std::array<std::uint8_t, kReadChunk> chunk;
    std::size_t got = 0;
    const LinkStatus status = link_.Read(chunk, got, timeout);
    bytes_.insert(bytes_.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (status == LinkStatus::kOk && got == 0)
        return LinkStatus::kTimeout;
    return status;
}

void LinkBuffer::Consume(std::size_t count) {
    bytes_.erase(bytes_.begin(),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes_.size())));
}

}  // namespace fendrel::qcom
