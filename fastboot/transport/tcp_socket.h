// A non-blocking TCP connection, as the fastboot TCP transport uses it: the sockets of each system
// behind one small interface (tcp_socket_posix.cpp, tcp_socket_win32.cpp). Failures are Windows
// error values (adb_errors.h), as the rest of the transport reports them.
//
// Blocking: Connect and Wait, for at most their time-outs. Threads: one thread uses a socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace brenlo {

struct SocketTransfer {
    enum class Status {
        kMoved,       // `count` bytes (at least one) moved
        kWouldBlock,  // nothing can move now
        kClosed,      // the peer closed the connection (receiving only)
        kFailed,      // the connection failed
    };
    Status status;
    std::size_t count;
};

class TcpSocket {
  public:
    // A connection to `host`:`port` (any address the name resolves to), made within
    // `timeout_ms`, with small writes sent at once. Null with `*error` set on failure.
    static std::unique_ptr<TcpSocket> Connect(const std::string& host, const std::string& port,
                                              int timeout_ms, unsigned long* error);
    explicit TcpSocket(std::intptr_t handle) : handle_(handle) {}
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Waits until bytes can be received (or sent) or `timeout_ms` passes; false on time-out. A
    // failed wait answers true: the transfer that follows reports the fault.
    bool WaitReadable(int timeout_ms);
    bool WaitWritable(int timeout_ms);
    // Moves what can move now, without waiting.
    SocketTransfer Send(const void* data, std::size_t size);
    SocketTransfer Receive(void* buffer, std::size_t size);

  private:
    std::intptr_t handle_;
};

}  // namespace brenlo
