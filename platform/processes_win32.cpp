// Child processes on Windows: CreateProcessA with an anonymous pipe for the output, a job object
// for a group of its own.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <utility>

#include "platform/native_handle_win32.h"
#include "platform/processes.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// The exit code of a process ended by EndGroup.
constexpr UINT kEndedByGroupCode = 1;
// While Wait keeps an output tail it looks at the pipe between waits of this length: an
// anonymous pipe cannot be waited on beside the process.
constexpr DWORD kTailPollMs = 20;

// Inheritable handles exist only while one child is being created, so that no child inherits
// the pipe of another started at the same moment from another thread.
std::mutex g_create_mutex;

void CloseIfOpen(NativeHandle& handle) {
    if (handle != kNoNativeHandle)
        CloseHandle(WinHandle(handle));
    handle = kNoNativeHandle;
}

// The program as Windows is to start it: the path the command line names, from the current
// folder when relative (CreateProcessA would otherwise search the PATH).
std::string ProgramPath(const std::string& program) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(program.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : program;
}

}  // namespace

ChildProcess::~ChildProcess() {
    Release();
}

void ChildProcess::Release() {
    // Closing our handles lets a running tool go on; a job without the kill-on-close limit
    // leaves its processes running too.
    CloseIfOpen(output_);
    CloseIfOpen(process_);
    CloseIfOpen(job_);
    running_ = false;
}

ChildProcess::StartResult ChildProcess::Start(std::string_view command_line,
                                              const Options& options) {
    Release();
    id_ = 0;
    exit_code_ = -1;
    own_group_ = options.own_group;
    keep_tail_ = options.output == Output::kTail;
    output_tail_.clear();
    error_.clear();

    const std::vector<std::string> arguments = SplitCommandLine(command_line);
    if (arguments.empty() || arguments.front().empty()) {
        error_ = "cannot start a program from an empty command line";
        return StartResult::kNotStarted;
    }

    const std::lock_guard lock(g_create_mutex);
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
        error_ = LastErrorText("cannot create the output pipe");
        return StartResult::kNoPipe;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);  // ours alone
    output_ = FromWinHandle(read_end);
    HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nothing;
    startup.hStdOutput = write_end;
    startup.hStdError = write_end;
    PROCESS_INFORMATION started{};
    std::string line(command_line);
    const std::string program = ProgramPath(arguments.front());
    const DWORD flags = CREATE_NO_WINDOW | (own_group_ ? CREATE_SUSPENDED : 0);
    const BOOL created = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                                        nullptr, nullptr, &startup, &started);
    const DWORD failure = GetLastError();
    CloseHandle(write_end);  // the child holds the only writing end now
    if (nothing != INVALID_HANDLE_VALUE)
        CloseHandle(nothing);
    if (!created) {
        error_ = "cannot start " + arguments.front() + ": " + WindowsErrorText(failure);
        CloseIfOpen(output_);
        return StartResult::kNotStarted;
    }
    if (own_group_) {
        // The job holds the child before it runs, and with it every process it starts.
        HANDLE job = CreateJobObjectA(nullptr, nullptr);
        if (job == nullptr || !AssignProcessToJobObject(job, started.hProcess)) {
            error_ = LastErrorText("cannot give " + arguments.front() + " a group of its own");
            if (job != nullptr)
                CloseHandle(job);
            TerminateProcess(started.hProcess, kEndedByGroupCode);
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
            CloseIfOpen(output_);
            return StartResult::kNotStarted;
        }
        job_ = FromWinHandle(job);
        ResumeThread(started.hThread);
    }
    CloseHandle(started.hThread);
    process_ = FromWinHandle(started.hProcess);
    running_ = true;
    id_ = static_cast<ProcessId>(started.dwProcessId);
    return StartResult::kStarted;
}

std::size_t ChildProcess::ReadOutput(char* buffer, std::size_t size) {
    if (output_ == kNoNativeHandle || size == 0)
        return 0;
    DWORD count = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(WinHandle(output_), buffer, wanted, &count, nullptr)) {
        if (GetLastError() != ERROR_BROKEN_PIPE)
            error_ = LastErrorText("cannot read the output");
        return 0;
    }
    return count;
}

ChildProcess::WaitResult ChildProcess::Wait(Milliseconds timeout,
                                            const ManualResetEvent* interrupt) {
    if (!running_)
        return WaitResult::kFailed;
    HANDLE watched[2] = {WinHandle(process_), nullptr};
    DWORD count = 1;
    if (interrupt != nullptr)
        watched[count++] = WinHandle(interrupt->native_handle());
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
        DWORD wait_ms = static_cast<DWORD>(std::clamp<long long>(left.count(), 0, INFINITE - 1));
        const bool draining = keep_tail_ && output_ != kNoNativeHandle;
        if (draining)
            wait_ms = std::min(wait_ms, kTailPollMs);
        const DWORD ready = WaitForMultipleObjects(count, watched, FALSE, wait_ms);
        if (draining && !DrainToTail())
            CloseIfOpen(output_);  // every writer has closed it
        if (ready == WAIT_OBJECT_0)
            break;
        if (ready == WAIT_OBJECT_0 + 1)
            return WaitResult::kInterrupted;
        if (ready == WAIT_FAILED) {
            error_ = LastErrorText("cannot wait for process " + std::to_string(id_));
            return WaitResult::kFailed;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return WaitResult::kTimedOut;
    }
    // What the process wrote just before it ended is still in the pipe.
    if (keep_tail_ && output_ != kNoNativeHandle && !DrainToTail())
        CloseIfOpen(output_);
    DWORD code = 0;
    GetExitCodeProcess(WinHandle(process_), &code);
    exit_code_ = static_cast<int>(code);
    running_ = false;
    CloseIfOpen(process_);
    return WaitResult::kEnded;
}

bool ChildProcess::DrainToTail() {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(WinHandle(output_), nullptr, 0, nullptr, &available, nullptr))
            return false;  // every writer has closed the pipe
        if (available == 0)
            return true;
        char piece[kOutputTailBytes];
        DWORD count = 0;
        const DWORD wanted = std::min<DWORD>(available, sizeof piece);
        if (!ReadFile(WinHandle(output_), piece, wanted, &count, nullptr))
            return false;
        output_tail_.append(piece, count);
        if (output_tail_.size() > kOutputTailBytes)
            output_tail_.erase(0, output_tail_.size() - kOutputTailBytes);
    }
}

bool ChildProcess::EndGroup() {
    if (!running_ || !own_group_ || job_ == kNoNativeHandle) {
        error_ = "no process group of ours to end";
        return false;
    }
    if (!TerminateJobObject(WinHandle(job_), kEndedByGroupCode)) {
        error_ = LastErrorText("cannot end the group of process " + std::to_string(id_));
        return false;
    }
    return true;
}

}  // namespace platform
