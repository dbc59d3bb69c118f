#include "sim/fastboot/frame_stream.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/native_handle_posix.h"

namespace fastboot_sim {
namespace {

constexpr std::size_t kFrameHeaderSize = 8;
constexpr std::size_t kDirectReadThreshold = 64 * 1024;

// Waits for `events` on the socket or for the stop event; false when stopped or on error.
bool WaitFor(int fd, short events, const platform::ManualResetEvent& stop, int timeout_ms) {
    for (;;) {
        pollfd entries[2] = {{fd, events, 0},
                             {platform::Descriptor(stop.native_handle()), POLLIN, 0}};
        const int ready = poll(entries, 2, timeout_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0 && entries[1].revents == 0;
    }
}

}  // namespace

bool FrameStream::Fill() {
    if (begin_ == end_)
        begin_ = end_ = 0;
    for (;;) {
        const ssize_t got = recv(fd_, buffer_.data() + end_, buffer_.size() - end_, MSG_DONTWAIT);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            return true;
        }
        if (got == 0)
            return false;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN || !WaitFor(fd_, POLLIN, stop_, -1))
            return false;
    }
}

bool FrameStream::ReadExact(void* data, std::size_t size) {
    auto* out = static_cast<unsigned char*>(data);
    while (size > 0) {
        if (begin_ < end_) {
            const std::size_t take = std::min(size, end_ - begin_);
            std::memcpy(out, buffer_.data() + begin_, take);
            begin_ += take;
            out += take;
            size -= take;
            continue;
        }
        // Large payloads go straight to their place rather than through the buffer.
        if (size >= kDirectReadThreshold) {
            const ssize_t got = recv(fd_, out, size, MSG_DONTWAIT);
            if (got > 0) {
                out += got;
                size -= static_cast<std::size_t>(got);
                continue;
            }
            if (got == 0)
                return false;
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN || !WaitFor(fd_, POLLIN, stop_, -1))
                return false;
            continue;
        }
        if (!Fill())
            return false;
    }
    return true;
}

bool FrameStream::ReadFrameLength(std::uint64_t* length) {
    unsigned char header[kFrameHeaderSize];
    if (!ReadExact(header, sizeof header))
        return false;
    *length = 0;
    for (unsigned char byte : header)
        *length = *length << 8 | byte;
    return true;
}

bool FrameStream::Discard(std::uint64_t size) {
    unsigned char sink[4096];
    while (size > 0) {
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof sink));
        if (!ReadExact(sink, take))
            return false;
        size -= take;
    }
    return true;
}

bool FrameStream::WriteRaw(const void* data, std::size_t size) {
    const auto* in = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t done = send(fd_, in, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (done > 0) {
            in += done;
            size -= static_cast<std::size_t>(done);
            continue;
        }
        if (done < 0 && errno == EINTR)
            continue;
        if (done == 0 || errno != EAGAIN || !WaitFor(fd_, POLLOUT, stop_, -1))
            return false;
    }
    return true;
}

bool FrameStream::WriteFrame(const std::string& payload) {
    std::string frame(kFrameHeaderSize, '\0');
    for (std::size_t i = 0; i < kFrameHeaderSize; ++i)
        frame[i] = static_cast<char>(std::uint64_t{payload.size()} >> (8 * (7 - i)));
    frame += payload;
    return WriteRaw(frame.data(), frame.size());
}

bool FrameStream::WaitQuietly(int timeout_ms) {
    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        int left = -1;
        if (timeout_ms >= 0) {
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
            left = std::max(0, timeout_ms - static_cast<int>(spent.count()));
        }
        pollfd entries[2] = {{fd_, POLLRDHUP, 0},
                             {platform::Descriptor(stop_.native_handle()), POLLIN, 0}};
        const int ready = poll(entries, 2, left);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready == 0;
    }
}

}  // namespace fastboot_sim
