// Serial ports on Windows: CreateFileA on "\\.\COMn" with overlapped I/O; every wait watches the
// port's operation and the stop event together.
//
// Waiting for data is a one-byte read that waits for its byte (the port's read time-outs turned
// off for it), not WaitCommEvent: a read ends on arriving data with every serial driver, while
// WaitCommEvent needs the driver to report line events (Wine's ends at once, cancelled, on a
// device without modem lines, such as a pseudo-terminal). The byte it takes is held for Read.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "platform/device_enumerator.h"
#include "platform/event.h"
#include "platform/native_handle_win32.h"
#include "platform/serial_port.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// The prefix of Windows device names: "\\.\COM12".
constexpr std::string_view kDevicePrefix = "\\\\.\\";
// The driver's queues in each direction.
constexpr DWORD kQueueBytes = 10000;

// Errors that mean the device is no longer there (an unplugged USB port).
bool IsGone(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_GEN_FAILURE ||
           error == ERROR_DEVICE_REMOVED || error == ERROR_FILE_NOT_FOUND ||
           error == ERROR_INVALID_HANDLE || error == ERROR_BROKEN_PIPE;
}

DWORD WaitMs(Milliseconds timeout) {
    return static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, INFINITE - 1));
}

// How reads end: at once with what is buffered (the port's setting), or once every byte asked
// for has come (for the one-byte read that waits for data). Writes have no time-out of their own
// either way (the waits here bound them).
enum class ReadsEnd { kAtOnce, kWhenComplete };

bool SetTimeouts(HANDLE port, ReadsEnd reads) {
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(port, &timeouts))
        return false;
    timeouts.ReadIntervalTimeout = reads == ReadsEnd::kAtOnce ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(port, &timeouts) != FALSE;
}

// 8 data bits, no parity, binary, no flow control, DTR and RTS raised; stop bits as they were.
// A baud rate of 0 keeps the line's speed.
bool SetLine(HANDLE port, unsigned baud_rate) {
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(port, &line))
        return false;
    if (baud_rate != 0)
        line.BaudRate = baud_rate;
    line.fBinary = TRUE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    return SetCommState(port, &line) != FALSE;
}

}  // namespace

// The open port with the event of its overlapped operations; failures go to the port's error
// text.
struct SerialPort::Device {
    Device(HANDLE port, const std::string& name, std::string& error_text)
        : handle(port),
          operation(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          path(name),
          error(error_text) {}
    ~Device() {
        CloseHandle(handle);
        if (operation != nullptr)
            CloseHandle(operation);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    IoStatus Gone() {
        gone = true;
        error = path + ": the device went away";
        return IoStatus::kGone;
    }

    IoStatus Failure(const char* what, DWORD code) {
        if (IsGone(code))
            return Gone();
        error = std::string(what) + " " + path + ": " + WindowsErrorText(code);
        return IoStatus::kError;
    }

    // Ends the overlapped operation started with `overlapped`: cancelled first when `cancel`,
    // then waited for, so that its buffer is free again. `moved` receives the bytes it moved
    // (a cancelled operation may still have moved some).
    IoStatus Settle(OVERLAPPED& overlapped, bool cancel, DWORD* moved) {
        if (cancel)
            CancelIoEx(handle, &overlapped);
        if (!GetOverlappedResult(handle, &overlapped, moved, TRUE)) {
            const DWORD code = GetLastError();
            if (code != ERROR_OPERATION_ABORTED)
                return Failure("cannot use", code);
        }
        return IoStatus::kOk;
    }

    // Waits for the overlapped operation started with `overlapped` to end, `stop` or `timeout`;
    // an operation still running then is called off (see Settle).
    IoStatus Finish(OVERLAPPED& overlapped, const ManualResetEvent& stop, Milliseconds timeout,
                    DWORD* moved) {
        HANDLE watched[2] = {WinHandle(stop.native_handle()), operation};
        // The stop event is looked at first, as WaitForMultipleObjects reports the lowest.
        const DWORD ready = WaitForMultipleObjects(2, watched, FALSE, WaitMs(timeout));
        IoStatus status = IoStatus::kOk;
        if (ready == WAIT_OBJECT_0)
            status = IoStatus::kStopped;
        else if (ready == WAIT_TIMEOUT)
            status = IoStatus::kTimeout;
        else if (ready != WAIT_OBJECT_0 + 1) {
            const DWORD code = GetLastError();
            Settle(overlapped, true, moved);
            return Failure("cannot wait on", code);
        }
        const IoStatus settled = Settle(overlapped, status != IoStatus::kOk, moved);
        return settled != IoStatus::kOk ? settled : status;
    }

    // Reads what is buffered into `buffer`, without waiting. The port's time-outs end a read at
    // once; a driver that keeps a read of an empty queue waiting for data instead (Wine's does)
    // has it called off.
    IoStatus ReadBuffered(std::span<std::uint8_t> buffer, DWORD* got) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = operation;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
        if (!ReadFile(handle, buffer.data(), wanted, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return Failure("cannot read", GetLastError());
        if (GetOverlappedResult(handle, &overlapped, got, FALSE))
            return IoStatus::kOk;
        if (GetLastError() != ERROR_IO_INCOMPLETE)
            return Failure("cannot read", GetLastError());
        return Settle(overlapped, true, got);
    }

    // Bytes waiting in the driver's input queue; none when the port fails.
    std::optional<DWORD> Queued() {
        COMSTAT state{};
        DWORD errors = 0;
        if (!ClearCommError(handle, &errors, &state))
            return std::nullopt;
        return state.cbInQue;
    }

    HANDLE handle;
    HANDLE operation;                  // manual-reset event of the overlapped operation under way
    std::optional<std::uint8_t> held;  // the byte the last wait for data took, not yet read
    const std::string& path;
    std::string& error;
    bool gone = false;
};

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() {
    Close();
}

OpenStatus SerialPort::Open(std::string_view port, unsigned baud_rate, const DeviceEnumerator&) {
    Close();
    if (port.starts_with(kDevicePrefix))
        port.remove_prefix(kDevicePrefix.size());
    const std::string name = std::string(kDevicePrefix) + std::string(port);
    HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error_ = "cannot open " + name + ": " + WindowsErrorText(code);
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return OpenStatus::kNotFound;
        if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
            error_ = name + " is in use";
            return OpenStatus::kInUse;
        }
        return OpenStatus::kFailed;
    }
    device_path_ = name;
    device_ = std::make_unique<Device>(handle, device_path_, error_);
    if (device_->operation == nullptr || !SetTimeouts(handle, ReadsEnd::kAtOnce) ||
        !SetLine(handle, baud_rate) || !SetupComm(handle, kQueueBytes, kQueueBytes)) {
        const std::string why = LastErrorText(name + " is not a serial port that can be set up");
        Close();
        error_ = why;
        return OpenStatus::kFailed;
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
    device_->held.reset();
    if (!PurgeComm(device_->handle,
                   PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        device_->Failure("cannot purge", GetLastError());
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
    std::size_t done = 0;
    if (device_->held) {
        buffer[0] = *std::exchange(device_->held, std::nullopt);
        done = 1;
    }
    DWORD got = 0;
    const IoStatus status =
        done < buffer.size() ? device_->ReadBuffered(buffer.subspan(done), &got) : IoStatus::kOk;
    // A failure behind the held byte shows on the next call (a port gone stays gone).
    if (status != IoStatus::kOk && done == 0)
        return {status, 0};
    return {IoStatus::kOk, done + got};
}

IoStatus SerialPort::WaitReadable(const ManualResetEvent& stop, Milliseconds timeout) {
    if (!device_) {
        error_ = "the port is not open";
        return IoStatus::kError;
    }
    if (device_->gone)
        return IoStatus::kGone;
    if (stop.IsSet())
        return IoStatus::kStopped;
    if (device_->held)
        return IoStatus::kOk;
    const std::optional<DWORD> queued = device_->Queued();
    if (!queued)
        return device_->Failure("cannot look at", GetLastError());
    if (*queued > 0)
        return IoStatus::kOk;
    if (!SetTimeouts(device_->handle, ReadsEnd::kWhenComplete))
        return device_->Failure("cannot watch", GetLastError());
    OVERLAPPED overlapped{};
    overlapped.hEvent = device_->operation;
    std::uint8_t byte = 0;
    DWORD got = 0;
    IoStatus status = IoStatus::kOk;
    if (!ReadFile(device_->handle, &byte, 1, nullptr, &overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        status = device_->Failure("cannot read", GetLastError());
    else
        status = device_->Finish(overlapped, stop, timeout, &got);
    // The byte is kept whatever ended the wait (it may have come as the wait was called off).
    if (got == 1)
        device_->held = byte;
    // Reads must end at once again, whatever ended the wait.
    if (!SetTimeouts(device_->handle, ReadsEnd::kAtOnce))
        return device_->Failure("cannot set up", GetLastError());
    return status == IoStatus::kTimeout && got == 1 ? IoStatus::kOk : status;
}

IoResult SerialPort::Write(std::span<const std::uint8_t> bytes, const ManualResetEvent& stop,
                           Milliseconds timeout) {
    if (!device_) {
        error_ = "the port is not open";
        return {IoStatus::kError, 0};
    }
    if (device_->gone)
        return {IoStatus::kGone, 0};
    if (stop.IsSet())
        return {IoStatus::kStopped, 0};
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + std::max(timeout, Milliseconds(0));
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = device_->operation;
        const DWORD piece =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, MAXDWORD));
        if (!WriteFile(device_->handle, bytes.data() + done, piece, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            return {device_->Failure("cannot write to", GetLastError()), done};
        const auto left = std::chrono::ceil<Milliseconds>(deadline - SteadyClock::now());
        DWORD written = 0;
        const IoStatus status =
            device_->Finish(overlapped, stop, std::max(left, Milliseconds(0)), &written);
        done += written;
        if (status != IoStatus::kOk)
            return {status, done};
    }
    return {IoStatus::kOk, done};
}

}  // namespace platform
