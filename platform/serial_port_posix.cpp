// Serial ports on a POSIX system: termios on the device node.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/device_enumerator.h"
#include "platform/event.h"
#include "platform/serial_port.h"

namespace platform {
namespace {

// The prefix of Windows device names: "\\.\COM12".
constexpr std::string_view kDevicePrefix = "\\\\.\\";

constexpr std::pair<unsigned, speed_t> kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// Errors that mean the device is no longer there.
bool IsGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

std::string ErrorText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

OpenStatus SerialPort::Open(std::string_view port, unsigned baud_rate,
                            const DeviceEnumerator& devices) {
    Close();
    if (port.starts_with(kDevicePrefix))
        port.remove_prefix(kDevicePrefix.size());
    if (port.starts_with('/'))
        return OpenNode(std::string(port), baud_rate);
    const auto node = devices.FindPortNode(port, &error_);
    if (!node)
        return OpenStatus::kNotFound;
    const OpenStatus status = OpenNode(*node, baud_rate);
    if (status != OpenStatus::kOpened)
        error_ = std::string(port) + " (" + *node + "): " + error_;
    return status;
}

OpenStatus SerialPort::Open(std::string_view port, unsigned baud_rate) {
    return Open(port, baud_rate, DeviceEnumerator::FromEnvironment());
}

OpenStatus SerialPort::OpenNode(const std::string& node, unsigned baud_rate) {
    do {
        fd_ = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        const int cause = errno;
        error_ = ErrorText("cannot open " + node);
        if (cause == ENOENT || IsGone(cause))
            return OpenStatus::kNotFound;
        return cause == EBUSY ? OpenStatus::kInUse : OpenStatus::kFailed;
    }
    // The lock keeps out every other opener, root included; TIOCEXCL keeps out programs that
    // do not take the lock, as long as they are not root.
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        error_ = busy ? node + " is in use" : ErrorText("cannot lock " + node);
        Close();
        return busy ? OpenStatus::kInUse : OpenStatus::kFailed;
    }
    exclusive_ = ioctl(fd_, TIOCEXCL) == 0;
    if (!exclusive_ || !SetLine(baud_rate)) {
        error_ = ErrorText(node + " is not a serial port that can be set up");
        Close();
        return OpenStatus::kFailed;
    }
    device_path_ = node;
    Purge();
    return OpenStatus::kOpened;
}

bool SerialPort::SetLine(unsigned baud_rate) {
    termios line{};
    if (tcgetattr(fd_, &line) != 0)
        return false;
    cfmakeraw(&line);  // 8 data bits, no parity, no echo, no translation; stop bits untouched
    line.c_iflag &= ~(IXON | IXOFF | IXANY);
    line.c_cflag &= ~CRTSCTS;
    line.c_cflag |= CREAD | CLOCAL;
    // With O_NONBLOCK a read of an empty line then fails with EAGAIN, so that a read of 0 bytes
    // can only mean a hang-up.
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baud_rate) {
            cfsetispeed(&line, speed);
            cfsetospeed(&line, speed);
        }
    }
    if (tcsetattr(fd_, TCSANOW, &line) != 0)
        return false;
    // tcsetattr succeeds when any of the changes took; the raw mode is what must hold.
    termios now{};
    if (tcgetattr(fd_, &now) != 0 || (now.c_lflag & (ICANON | ECHO)) != 0 ||
        (now.c_cflag & CSIZE) != CS8 || (now.c_cflag & PARENB) != 0)
        return false;
    // Raising DTR and RTS fails on a pseudo-terminal, which has no modem lines, and does not
    // matter to a USB phone either way; neither is an error.
    int lines = TIOCM_DTR | TIOCM_RTS;
    [[maybe_unused]] const int ignored = ioctl(fd_, TIOCMBIS, &lines);
    return true;
}

void SerialPort::Close() {
    // The exclusive mode belongs to the tty, not to this descriptor: give it back so that the
    // next opener is not refused while some other descriptor of the tty stays open.
    if (exclusive_)
        ioctl(fd_, TIOCNXCL);
    if (fd_ >= 0)
        close(fd_);  // releases the lock
    fd_ = -1;
    exclusive_ = false;
    gone_ = false;
    device_path_.clear();
}

bool SerialPort::Purge() {
    if (fd_ < 0 || gone_)
        return false;
    if (tcflush(fd_, TCIOFLUSH) != 0) {
        Failure("cannot purge");
        return false;
    }
    return true;
}

IoStatus SerialPort::Gone() {
    gone_ = true;
    error_ = device_path_ + ": the device went away";
    return IoStatus::kGone;
}

IoStatus SerialPort::Failure(const char* what) {
    if (IsGone(errno))
        return Gone();
    error_ = ErrorText(std::string(what) + " " + device_path_);
    return IoStatus::kError;
}

IoResult SerialPort::Read(std::span<std::uint8_t> buffer) {
    if (fd_ < 0) {
        error_ = "the port is not open";
        return {IoStatus::kError, 0};
    }
    if (gone_)
        return {IoStatus::kGone, 0};
    if (buffer.empty())
        return {IoStatus::kOk, 0};
    while (true) {
        const ssize_t got = read(fd_, buffer.data(), buffer.size());
        if (got > 0)
            return {IoStatus::kOk, static_cast<std::size_t>(got)};
        if (got == 0)
            return {Gone(), 0};
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {IoStatus::kOk, 0};
        if (errno != EINTR)
            return {Failure("cannot read"), 0};
    }
}

IoStatus SerialPort::Wait(short events, const ManualResetEvent& stop, Milliseconds timeout) {
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + std::max(timeout, Milliseconds(0));
    while (true) {
        if (stop.IsSet())
            return IoStatus::kStopped;
        const auto left = std::chrono::ceil<Milliseconds>(deadline - SteadyClock::now());
        const int wait_ms = static_cast<int>(
            std::clamp<long long>(left.count(), 0, static_cast<long long>(INT_MAX)));
        pollfd watched[2] = {{fd_, events, 0}, {stop.PollFd(), POLLIN, 0}};
        const int ready = poll(watched, 2, wait_ms);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Failure("cannot wait on");
        }
        if (watched[1].revents & POLLIN)
            return IoStatus::kStopped;
        // A hung-up tty also polls readable, but what it reads is the end of the file.
        if (watched[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return Gone();
        if (watched[0].revents & events)
            return IoStatus::kOk;
        if (ready == 0 && wait_ms == 0)
            return IoStatus::kTimeout;
    }
}

IoStatus SerialPort::WaitReadable(const ManualResetEvent& stop, Milliseconds timeout) {
    if (fd_ < 0) {
        error_ = "the port is not open";
        return IoStatus::kError;
    }
    if (gone_)
        return IoStatus::kGone;
    return Wait(POLLIN, stop, timeout);
}

IoResult SerialPort::Write(std::span<const std::uint8_t> bytes, const ManualResetEvent& stop,
                           Milliseconds timeout) {
    if (fd_ < 0) {
        error_ = "the port is not open";
        return {IoStatus::kError, 0};
    }
    if (gone_)
        return {IoStatus::kGone, 0};
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + std::max(timeout, Milliseconds(0));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(fd_, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return {Failure("cannot write to"), done};
        // The output is full: wait for room, the stop event or the time-out.
        const auto left = std::chrono::ceil<Milliseconds>(deadline - SteadyClock::now());
        const IoStatus status = Wait(POLLOUT, stop, std::max(left, Milliseconds(0)));
        if (status != IoStatus::kOk)
            return {status, done};
    }
    return {IoStatus::kOk, done};
}

}  // namespace platform
