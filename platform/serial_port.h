// The serial port: one open COM port of a phone, the stand-in for CreateFileA on "\\.\COMn"
// with its DCB, time-outs and overlapped reads and writes.
//
// A port is opened by its COM name ("COM12", also written "\\.\COM12"). On Windows that name is
// the device itself; on POSIX the device enumerator resolves it to the device node of the present
// device of that name, and a device path ("/dev/ttyUSB0") may be given instead. Opening is
// exclusive, as on Windows: a second open of the same port fails with kInUse, from this process or
// another (on POSIX root included: an advisory lock on the node as well as TIOCEXCL, which does
// not stop root). The line is set up for the phone protocols: the given baud rate, 8 data bits, no
// parity, stop bits as they were, raw bytes (no echo, no line editing, no translation of CR or
// LF), no flow control, receiver on, modem lines ignored, DTR and RTS raised. A pseudo-terminal
// has no modem lines: failing to raise them there is not an error. A baud rate the system does not
// know (or 0) leaves the line's speed as it was; USB ports ignore it anyway.
//
// Reads never block: Read returns what is buffered. A wait for data, and a write that finds the
// output full, watch the port, a stop event and a time-out together: whichever comes first ends
// them. When the device goes away (an unplugged phone, a pseudo-terminal whose other side
// closed) every call answers kGone from then on, never an empty read for ever. Threads: one
// thread at a time uses a port (its worker); Close is that thread's too. Only the stop event is
// set from other threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace platform {

class DeviceEnumerator;
class ManualResetEvent;

enum class IoStatus {
    kOk,       // done: for Read, `bytes` may be 0 when nothing was buffered
    kTimeout,  // the time-out passed first
    kStopped,  // the stop event was set first (it is looked at before the port)
    kGone,     // the device went away; the port stays open until Close
    kError,    // another failure; error() says which
};

struct IoResult {
    IoStatus status = IoStatus::kOk;
    std::size_t bytes = 0;  // bytes moved before the call ended
};

enum class OpenStatus { kOpened, kNotFound, kInUse, kFailed };

class SerialPort {
  public:
    SerialPort();
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens `port` (a COM name, on POSIX resolved through `devices`, or a path starting with '/')
    // with the line settings above, and empties both directions. Closes a port held before.
    // kNotFound when no such port is present, kInUse when it is open elsewhere, kFailed otherwise;
    // error() says more. Blocks only for the file system and the tree walk of the resolution.
    OpenStatus Open(std::string_view port, unsigned baud_rate, const DeviceEnumerator& devices);
    // The same, resolving COM names through the device tree of the environment.
    OpenStatus Open(std::string_view port, unsigned baud_rate);
    void Close();

    bool is_open() const { return device_ != nullptr; }
    // The device opened, for example "/dev/ttyUSB0" or "\\.\COM12".
    const std::string& device_path() const { return device_path_; }
    // Why the last call that failed did so.
    const std::string& error() const { return error_; }

    // Discards what is buffered in both directions (PurgeComm). False when the port is gone.
    bool Purge();

    // What is buffered, at most buffer.size() bytes; never blocks. kOk with 0 bytes when nothing
    // is; kGone when the device went away.
    IoResult Read(std::span<std::uint8_t> buffer);

    // Waits until data is buffered (kOk), `stop` is set (kStopped), `timeout` passes (kTimeout)
    // or the device goes away (kGone).
    IoStatus WaitReadable(const ManualResetEvent& stop, Milliseconds timeout);

    // Writes all of `bytes`, waiting while the output is full until `stop` is set or `timeout`
    // passes. `bytes` of the result tells how many went out before any other status.
    IoResult Write(std::span<const std::uint8_t> bytes, const ManualResetEvent& stop,
                   Milliseconds timeout);

  private:
    // The open device and what the backend keeps beside it; null while the port is closed.
    struct Device;
    std::unique_ptr<Device> device_;
    std::string device_path_;
    std::string error_;
};

}  // namespace platform
