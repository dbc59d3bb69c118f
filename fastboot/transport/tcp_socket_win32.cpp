// TCP connections on Windows: non-blocking Winsock sockets waited on with WSAPoll.
#include <winsock2.h>

#include <ws2tcpip.h>

#include "fastboot/transport/adb_errors.h"
#include "fastboot/transport/tcp_socket.h"

namespace brenlo {
namespace {

// Winsock is started once per process and stays up until it ends.
bool StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET SocketOf(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

bool WaitFor(SOCKET socket, short events, int timeout_ms) {
    WSAPOLLFD entry{socket, events, 0};
    const int ready = WSAPoll(&entry, 1, timeout_ms);
    return ready != 0;  // a failed wait: the transfer itself then reports the fault
}

SocketTransfer Outcome(int moved, bool receiving) {
    if (moved > 0)
        return {SocketTransfer::Status::kMoved, static_cast<std::size_t>(moved)};
    if (moved == 0 && receiving)
        return {SocketTransfer::Status::kClosed, 0};
    if (moved == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK)
        return {SocketTransfer::Status::kWouldBlock, 0};
    return {SocketTransfer::Status::kFailed, 0};
}

unsigned long ConnectError(int failure) {
    switch (failure) {
        case WSAECONNREFUSED:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
        case WSAETIMEDOUT:
            return kErrorDeviceNotConnected;
        case WSAEACCES:
            return kErrorAccessDenied;
        default:
            return kErrorGenFailure;
    }
}

int ClampedLength(std::size_t size) {
    return static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size);
}

}  // namespace

std::unique_ptr<TcpSocket> TcpSocket::Connect(const std::string& host, const std::string& port,
                                              int timeout_ms, unsigned long* error) {
    if (!StartWinsock()) {
        *error = kErrorGenFailure;
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        *error = kErrorFileNotFound;
        return nullptr;
    }
    SOCKET socket_found = INVALID_SOCKET;
    *error = kErrorDeviceNotConnected;
    for (const addrinfo* entry = found; entry != nullptr && socket_found == INVALID_SOCKET;
         entry = entry->ai_next) {
        SOCKET candidate = WSASocketW(entry->ai_family, entry->ai_socktype, entry->ai_protocol,
                                      nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
        if (candidate == INVALID_SOCKET)
            continue;
        u_long non_blocking = 1;
        ioctlsocket(candidate, FIONBIO, &non_blocking);
        int failure = 0;
        if (connect(candidate, entry->ai_addr, static_cast<int>(entry->ai_addrlen)) != 0) {
            failure = WSAGetLastError();
            if (failure == WSAEWOULDBLOCK) {
                int length = sizeof failure;
                failure = WSAETIMEDOUT;
                if (WaitFor(candidate, POLLOUT, timeout_ms)) {
                    getsockopt(candidate, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure),
                               &length);
                }
            }
        }
        if (failure != 0) {
            *error = ConnectError(failure);
            closesocket(candidate);
        } else {
            socket_found = candidate;
        }
    }
    freeaddrinfo(found);
    if (socket_found == INVALID_SOCKET)
        return nullptr;
    const BOOL on = TRUE;
    setsockopt(socket_found, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
               sizeof on);
    return std::make_unique<TcpSocket>(static_cast<std::intptr_t>(socket_found));
}

TcpSocket::~TcpSocket() {
    closesocket(SocketOf(handle_));
}

bool TcpSocket::WaitReadable(int timeout_ms) {
    return WaitFor(SocketOf(handle_), POLLRDNORM, timeout_ms);
}

bool TcpSocket::WaitWritable(int timeout_ms) {
    return WaitFor(SocketOf(handle_), POLLWRNORM, timeout_ms);
}

SocketTransfer TcpSocket::Send(const void* data, std::size_t size) {
    return Outcome(send(SocketOf(handle_), static_cast<const char*>(data), ClampedLength(size), 0),
                   false);
}

SocketTransfer TcpSocket::Receive(void* buffer, std::size_t size) {
    return Outcome(recv(SocketOf(handle_), static_cast<char*>(buffer), ClampedLength(size), 0),
                   true);
}

}  // namespace brenlo
