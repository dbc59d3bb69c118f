// TCP connections on POSIX: non-blocking sockets waited on with poll.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "fastboot/transport/adb_errors.h"
#include "fastboot/transport/tcp_socket.h"

namespace brenlo {
namespace {

// Waits until `fd` is ready for `events` or `timeout_ms` passes; false on time-out.
bool WaitFor(int fd, short events, int timeout_ms) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, timeout_ms);
        if (ready > 0)
            return true;
        if (ready == 0)
            return false;
        if (errno != EINTR)
            return true;  // the transfer itself then reports the fault
    }
}

SocketTransfer Outcome(ssize_t moved, bool receiving) {
    if (moved > 0)
        return {SocketTransfer::Status::kMoved, static_cast<std::size_t>(moved)};
    if (moved == 0 && receiving)
        return {SocketTransfer::Status::kClosed, 0};
    if (moved < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return {SocketTransfer::Status::kWouldBlock, 0};
    return {SocketTransfer::Status::kFailed, 0};
}

}  // namespace

std::unique_ptr<TcpSocket> TcpSocket::Connect(const std::string& host, const std::string& port,
                                              int timeout_ms, unsigned long* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        *error = kErrorFileNotFound;
        return nullptr;
    }
    int fd = -1;
    *error = kErrorDeviceNotConnected;
    for (const addrinfo* entry = found; entry != nullptr && fd < 0; entry = entry->ai_next) {
        fd = socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                    entry->ai_protocol);
        if (fd < 0)
            continue;
        int failure = 0;
        if (connect(fd, entry->ai_addr, entry->ai_addrlen) != 0) {
            failure = errno;
            if (failure == EINPROGRESS) {
                socklen_t length = sizeof failure;
                failure = ETIMEDOUT;
                if (WaitFor(fd, POLLOUT, timeout_ms))
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length);
            }
        }
        if (failure != 0) {
            *error = AdbErrorFromErrno(failure);
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0)
        return nullptr;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return std::make_unique<TcpSocket>(fd);
}

TcpSocket::~TcpSocket() {
    close(static_cast<int>(handle_));
}

bool TcpSocket::WaitReadable(int timeout_ms) {
    return WaitFor(static_cast<int>(handle_), POLLIN, timeout_ms);
}

bool TcpSocket::WaitWritable(int timeout_ms) {
    return WaitFor(static_cast<int>(handle_), POLLOUT, timeout_ms);
}

SocketTransfer TcpSocket::Send(const void* data, std::size_t size) {
    return Outcome(send(static_cast<int>(handle_), data, size, MSG_NOSIGNAL | MSG_DONTWAIT), false);
}

SocketTransfer TcpSocket::Receive(void* buffer, std::size_t size) {
    return Outcome(recv(static_cast<int>(handle_), buffer, size, MSG_DONTWAIT), true);
}

}  // namespace brenlo
