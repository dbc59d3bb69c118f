// The fastboot TCP transport: the host sends "FB01", the device answers "FB" and its two-digit
// protocol version, and from then on every packet either way is an 8-byte big-endian length
// followed by that many bytes. A reply frame carries one status reply; the data of a download
// may span any number of frames.
//
// Waits here are real time: they wait for a device on the network.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "fastboot/transport/adb_errors.h"
#include "fastboot/transport/adb_link.h"
#include "fastboot/transport/tcp_socket.h"

namespace brenlo {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr const char* kDefaultPort = "5554";
constexpr int kConnectTimeoutMs = 2000;
constexpr int kHandshakeTimeoutMs = 2000;
// Writes of a whole data chunk (the client sends an image in chunks of this size) are gathered
// up to kOutboxSize and sent together, much as the socket itself gathers them, so that a download
// costs few system calls. Any shorter write sends what is gathered at once, with itself, and so
// does the next read: the device has everything before it is asked for a reply.
constexpr std::size_t kGatheredWriteSize = 4096;
constexpr std::size_t kOutboxSize = 1024 * 1024;
// Frames already taken must reach the device in this time, or the stream loses its framing.
constexpr int kFrameCompletionTimeoutMs = 10000;
constexpr int kCloseFlushTimeoutMs = 1000;
constexpr std::size_t kFrameHeaderSize = 8;
// Of a reply frame only this much is kept; a read hands out at most what it asks for.
constexpr std::size_t kMaxReplyKept = 256;
constexpr std::size_t kReceiveChunk = 4096;

// A TCP device presents itself as a fastboot interface (18D1:4EE0) with its two bulk endpoints,
// so the client recognises it as it recognises a USB one.
constexpr USB_DEVICE_DESCRIPTOR kTcpDeviceDescriptor = {18,     1,      0x0200, 0, 0, 0, 64,
                                                        0x18D1, 0x4EE0, 0x0100, 0, 0, 0, 1};
constexpr USB_INTERFACE_DESCRIPTOR kTcpInterfaceDescriptor = {9, 4, 0, 0, 2, 0xFF, 0x42, 0x03, 0};

struct Address {
    std::string host;
    std::string port;
};

bool ParseAddress(std::string_view text, Address* address) {
    std::string_view host = text;
    std::string_view port = kDefaultPort;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':'))
                return false;
            port = rest.substr(1);
        }
    } else if (const std::size_t colon = text.find(':');
               colon != std::string_view::npos &&
               text.find(':', colon + 1) == std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    unsigned number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (host.empty() || error != std::errc() || end != port.data() + port.size() || number == 0 ||
        number > 65535)
        return false;
    address->host = std::string(host);
    address->port = std::string(port);
    return true;
}

int RemainingMs(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<int>(std::min<long long>(left.count(), INT32_MAX)) : 0;
}

SteadyClock::time_point DeadlineIn(unsigned long timeout_ms) {
    return SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
}

// Splits the incoming byte stream into reply frames.
class FrameReader {
  public:
    void Feed(const unsigned char* bytes, std::size_t size) {
        while (size > 0) {
            if (header_have_ < kFrameHeaderSize) {
                const std::size_t take = std::min(size, kFrameHeaderSize - header_have_);
                std::memcpy(header_ + header_have_, bytes, take);
                header_have_ += take;
                bytes += take;
                size -= take;
                if (header_have_ == kFrameHeaderSize)
                    StartFrame();
                continue;
            }
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(size, payload_left_));
            const std::size_t keep = std::min(take, kMaxReplyKept - current_.size());
            current_.append(reinterpret_cast<const char*>(bytes), keep);
            payload_left_ -= take;
            bytes += take;
            size -= take;
            if (payload_left_ == 0)
                FinishFrame();
        }
    }

    bool has_reply() const { return !ready_.empty(); }

    std::size_t TakeReply(unsigned char* buffer, std::size_t size) {
        const std::string reply = std::move(ready_.front());
        ready_.pop_front();
        const std::size_t count = std::min(size, reply.size());
        std::memcpy(buffer, reply.data(), count);
        return count;
    }

  private:
    void StartFrame() {
        payload_left_ = 0;
        for (unsigned char byte : header_)
            payload_left_ = payload_left_ << 8 | byte;
        current_.clear();
        if (payload_left_ == 0)
            FinishFrame();
    }

    void FinishFrame() {
        ready_.push_back(std::move(current_));
        current_.clear();
        header_have_ = 0;
    }

    unsigned char header_[kFrameHeaderSize] = {};
    std::size_t header_have_ = 0;
    std::uint64_t payload_left_ = 0;
    std::string current_;
    std::deque<std::string> ready_;
};

class TcpLink final : public AdbLink {
  public:
    TcpLink(std::unique_ptr<TcpSocket> socket, std::string name)
        : socket_(std::move(socket)), name_(std::move(name)) {
        outbox_.reserve(kOutboxSize);
    }
    ~TcpLink() override {
        if (!dead_)
            Flush(DeadlineIn(kCloseFlushTimeoutMs));
    }

    const std::string& name() const override { return name_; }
    const USB_DEVICE_DESCRIPTOR& device_descriptor() const override { return kTcpDeviceDescriptor; }
    const USB_INTERFACE_DESCRIPTOR& interface_descriptor() const override {
        return kTcpInterfaceDescriptor;
    }

    // The frame joins the outbox; a full outbox is sent first, within the time-out. A write
    // whose frame finds no room in time takes nothing, and the frames before it stay queued.
    // Only whole data chunks stay in the outbox after the call.
    LinkTransfer Write(const unsigned char* data, std::size_t size,
                       unsigned long timeout_ms) override {
        if (dead_)
            return {kErrorInvalidHandle, 0};
        const std::size_t frame = kFrameHeaderSize + size;
        if (outbox_.size() - sent_ + frame > kOutboxSize) {
            if (!Flush(DeadlineIn(timeout_ms)))
                return dead_ ? LinkTransfer{kErrorInvalidHandle, 0}
                             : LinkTransfer{kErrorSemTimeout, 0};
        }
        for (std::size_t i = 0; i < kFrameHeaderSize; ++i)
            outbox_.push_back(static_cast<unsigned char>(std::uint64_t{size} >> (8 * (7 - i))));
        outbox_.insert(outbox_.end(), data, data + size);
        if (size != kGatheredWriteSize && !Flush(DeadlineIn(kFrameCompletionTimeoutMs)))
            return Broken();
        return {kErrorSuccess, size};
    }

    LinkTransfer Read(unsigned char* buffer, std::size_t size, unsigned long timeout_ms) override {
        // The device answers only once it has everything written so far.
        if (!dead_ && !Flush(DeadlineIn(kFrameCompletionTimeoutMs)))
            Broken();
        const auto deadline = DeadlineIn(timeout_ms);
        for (;;) {
            // Replies that arrived before the device went away are still handed out.
            if (reader_.has_reply())
                return {kErrorSuccess, reader_.TakeReply(buffer, size)};
            if (dead_)
                return {kErrorInvalidHandle, 0};
            if (!socket_->WaitReadable(RemainingMs(deadline)))
                return {kErrorSemTimeout, 0};
            unsigned char chunk[kReceiveChunk];
            const SocketTransfer got = socket_->Receive(chunk, sizeof chunk);
            if (got.status == SocketTransfer::Status::kMoved)
                reader_.Feed(chunk, got.count);
            else if (got.status != SocketTransfer::Status::kWouldBlock)
                Broken();  // closed by the device, or the connection failed
        }
    }

  private:
    // Sends the outbox until it is empty (true) or the deadline passes (false, what is left stays
    // queued). A failed send breaks the link.
    bool Flush(SteadyClock::time_point deadline) {
        while (sent_ < outbox_.size()) {
            const SocketTransfer done =
                socket_->Send(outbox_.data() + sent_, outbox_.size() - sent_);
            if (done.status == SocketTransfer::Status::kMoved) {
                sent_ += done.count;
            } else if (done.status == SocketTransfer::Status::kWouldBlock) {
                if (!socket_->WaitWritable(RemainingMs(deadline)))
                    return false;
            } else {
                Broken();
                return false;
            }
        }
        outbox_.clear();
        sent_ = 0;
        return true;
    }

    // The stream is unusable from here on: the device went away or a frame was cut short. Like
    // a vanished USB device, every later transfer fails with an invalid handle.
    LinkTransfer Broken() {
        dead_ = true;
        return {kErrorInvalidHandle, 0};
    }

    std::unique_ptr<TcpSocket> socket_;
    std::string name_;
    bool dead_ = false;
    // Frames written but not sent yet, from sent_ on: many small writes go out in one send.
    std::vector<unsigned char> outbox_;
    std::size_t sent_ = 0;
    FrameReader reader_;
};

// Sends "FB01" and checks the device's "FBnn" (any version from 01 on).
bool ShakeHands(TcpSocket& socket) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kHandshakeTimeoutMs);
    const char hello[] = {'F', 'B', '0', '1'};
    // A new connection's send buffer is empty: the four bytes go at once, or not at all.
    if (!socket.WaitWritable(RemainingMs(deadline)))
        return false;
    const SocketTransfer sent = socket.Send(hello, sizeof hello);
    if (sent.status != SocketTransfer::Status::kMoved || sent.count != sizeof hello)
        return false;
    char answer[4];
    std::size_t have = 0;
    while (have < sizeof answer) {
        if (!socket.WaitReadable(RemainingMs(deadline)))
            return false;
        const SocketTransfer got = socket.Receive(answer + have, sizeof answer - have);
        if (got.status == SocketTransfer::Status::kMoved)
            have += got.count;
        else if (got.status != SocketTransfer::Status::kWouldBlock)
            return false;
    }
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return answer[0] == 'F' && answer[1] == 'B' && digit(answer[2]) && digit(answer[3]) &&
           (answer[2] != '0' || answer[3] != '0');
}

}  // namespace

std::unique_ptr<AdbLink> OpenTcpLink(std::string_view address_text, unsigned long* error) {
    Address address;
    if (!ParseAddress(address_text, &address)) {
        *error = kErrorInvalidName;
        return nullptr;
    }
    std::unique_ptr<TcpSocket> socket =
        TcpSocket::Connect(address.host, address.port, kConnectTimeoutMs, error);
    if (socket == nullptr)
        return nullptr;
    if (!ShakeHands(*socket)) {
        *error = kErrorGenFailure;
        return nullptr;
    }
    const bool bracket = address.host.find(':') != std::string::npos;
    std::string name =
        "tcp:" + (bracket ? "[" + address.host + "]" : address.host) + ":" + address.port;
    return std::make_unique<TcpLink>(std::move(socket), std::move(name));
}

}  // namespace brenlo
