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
#include "platform/native_handle_posix.h"
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

bool SetLine(int fd, unsigned baud_rate) {
    termios line{};
    if (tcgetattr(fd, &line) != 0)
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
    if (tcsetattr(fd, TCSANOW, &line) != 0)
        return false;
    // tcsetattr succeeds when any of the changes took; the raw mode is what must hold.
    termios now{};
    if (tcgetattr(fd, &now) != 0 || (now.c_lflag & (ICANON | ECHO)) != 0 ||
        (now.c_cflag & CSIZE) != CS8 || (now.c_cflag & PARENB) != 0)
        return false;
    // Raising DTR and RTS fails on a pseudo-terminal, which has no modem lines, and does not
    // matter to a USB phone either way; neither is an error.
    int lines = TIOCM_DTR | TIOCM_RTS;
    [[maybe_unused]] const int ignored = ioctl(fd, TIOCMBIS, &lines);
    return true;
}

}  // namespace

// The open node; its failures go to the port's error text.
struct SerialPort::Device {
    Device(int descriptor, const std::string& node, std::string& error_text)
        : fd(descriptor), path(node), error(error_text) {}
    ~Device() {
        // The exclusive mode belongs to the tty, not to this descriptor: give it back so that the
        // next opener is not refused while some other descriptor of the tty stays open.
        if (exclusive)
            ioctl(fd, TIOCNXCL);
        close(fd);  // releases the lock
    }

    // Records that the device went away; every later call answers kGone.
    IoStatus Gone() {
        gone = true;
        error = path + ": the device went away";
        return IoStatus::kGone;
    }

    // kGone for the errors of a vanished device, else kError with `what` in the error text.
    IoStatus Failure(const char* what) {
        if (IsGone(errno))
            return Gone();
        error = ErrorText(std::string(what) + " " + path);
        return IoStatus::kError;
    }

    IoStatus Wait(short events, const ManualResetEvent& stop, Milliseconds timeout) {
        using SteadyClock = std::chrono::steady_clock;
        const auto deadline = SteadyClock::now() + std::max(timeout, Milliseconds(0));
        while (true) {
            if (stop.IsSet())
                return IoStatus::kStopped;
            const auto left = std::chrono::ceil<Milliseconds>(deadline - SteadyClock::now());
            const int wait_ms = static_cast<int>(
                std::clamp<long long>(left.count(), 0, static_cast<long long>(INT_MAX)));
            pollfd watched[2] = {{fd, events, 0}, {Descriptor(stop.native_handle()), POLLIN, 0}};
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

    int fd;
    const std::string& path;
    std::string& error;
    bool exclusive = false;  // this port set TIOCEXCL
    bool gone = false;
};

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
    Close();
}

OpenStatus SerialPort::Open(std::string_view port, unsigned baud_rate,
                            const DeviceEnumerator& devices) {
    Close();
    if (port.starts_with(kDevicePrefix))
        port.remove_prefix(kDevicePrefix.size());
    std::string node(port);
    if (!port.starts_with('/')) {
        const auto found = devices.FindPortNode(port, &error_);
        if (!found)
            return OpenStatus::kNotFound;
        node = *found;
    }

    int fd;
    do {
        fd = open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    OpenStatus status = OpenStatus::kOpened;
    if (fd < 0) {
        const int cause = errno;
        error_ = ErrorText("cannot open " + node);
        status = cause == ENOENT || IsGone(cause) ? OpenStatus::kNotFound
                 : cause == EBUSY                 ? OpenStatus::kInUse
                                                  : OpenStatus::kFailed;
    } else {
        device_path_ = node;
        device_ = std::make_unique<Device>(fd, device_path_, error_);
        // The lock keeps out every other opener, root included; TIOCEXCL keeps out programs that
        // do not take the lock, as long as they are not root.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            error_ = busy ? node + " is in use" : ErrorText("cannot lock " + node);
            status = busy ? OpenStatus::kInUse : OpenStatus::kFailed;
        } else if (!(device_->exclusive = ioctl(fd, TIOCEXCL) == 0) || !SetLine(fd, baud_rate)) {
            error_ = ErrorText(node + " is not a serial port that can be set up");
            status = OpenStatus::kFailed;
        }
    }
    if (status != OpenStatus::kOpened) {
        const std::string why = error_;
        Close();
        error_ = node == port ? why : std::string(port) + " (" + node + "): " + why;
        return status;
    }
    Purge();
    return OpenStatus::kOpened;
}

OpenStatus SerialPort::Open(std::string_view port, unsigned baud_rate) {
    return Open(port, baud_rate, DeviceEnumerator::FromEnvironment());
}

void SerialPort::Close() {
    device_.reset();
    device_path_.clear();
}

bool SerialPort::Purge() {
    if (!device_ || device_->gone)
        return false;
    if (tcflush(device_->fd, TCIOFLUSH) != 0) {
        device_->Failure("cannot purge");
        return false;
    }
    return true;
}

IoResult SerialPort::Read(std::span<std::uint8_t> buffer) {
    if (!device_) {
        error_ = "the port is not open";
        return {IoStatus::kError, 0};
    }
    if (device_->gone)
        return {IoStatus::kGone, 0};
    if (buffer.empty())
        return {IoStatus::kOk, 0};
    while (true) {
        const ssize_t got = read(device_->fd, buffer.data(), buffer.size());
        if (got > 0)
            return {IoStatus::kOk, static_cast<std::size_t>(got)};
        if (got == 0)
            return {device_->Gone(), 0};
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return {IoStatus::kOk, 0};
        if (errno != EINTR)
            return {device_->Failure("cannot read"), 0};
    }
}

IoStatus SerialPort::WaitReadable(const ManualResetEvent& stop, Milliseconds timeout) {
    if (!device_) {
        error_ = "the port is not open";
        return IoStatus::kError;
    }
    if (device_->gone)
        return IoStatus::kGone;
    return device_->Wait(POLLIN, stop, timeout);
}

IoResult SerialPort::Write(std::span<const std::uint8_t> bytes, const ManualResetEvent& stop,
                           Milliseconds timeout) {
    if (!device_) {
        error_ = "the port is not open";
        return {IoStatus::kError, 0};
    }
    if (device_->gone)
        return {IoStatus::kGone, 0};
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + std::max(timeout, Milliseconds(0));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(device_->fd, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return {device_->Failure("cannot write to"), done};
        // The output is full: wait for room, the stop event or the time-out.
        const auto left = std::chrono::ceil<Milliseconds>(deadline - SteadyClock::now());
        const IoStatus status = device_->Wait(POLLOUT, stop, std::max(left, Milliseconds(0)));
        if (status != IoStatus::kOk)
            return {status, done};
    }
    return {IoStatus::kOk, done};
}

}  // namespace platform
