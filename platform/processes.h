// Processes: the stand-in for CreateProcessA with an anonymous output pipe.
//
// The product starts outside tools from a Windows-style command line, hidden, with their standard
// output and standard error both going to one pipe that the caller drains. The program is taken
// exactly as the command line names it (an absolute path, or one relative to the current
// directory); the PATH is never searched. The child gets the caller's environment and current
// directory; its standard input reads nothing (/dev/null on POSIX). No window is ever shown.
//
// A tool is only ever waited for, unless it was started in a process group of its own: then
// EndGroup ends it together with whatever it started, and nothing else (no process the station did
// not start is ever ended). Destroying a ChildProcess closes our end of its pipe and collects its
// exit status when it has already ended; a tool still running goes on running.
//
// Threads: one ChildProcess is used by one thread at a time; different objects may be used from
// different threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/native_handle.h"

namespace platform {

using ProcessId = std::uint32_t;

// The arguments a Windows program sees for `command_line`, by the rules of the Microsoft C
// runtime: spaces and tabs separate arguments outside double quotes. In the program name (the
// first argument) double quotes open and close quoted parts and are dropped, and backslashes
// stand as they are (they separate folders). In later arguments 2n backslashes before a double
// quote give n backslashes and the quote opens or closes a quoted part, 2n+1 backslashes before
// one give n backslashes and a literal quote, other backslashes stand as they are, and inside a
// quoted part "" gives a literal quote. The POSIX backend starts the program with these.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// `path` as the program name at the start of a command line: in double quotes when it holds a
// space or a tab. Empty when it holds a double quote, which no command line can carry in a
// program name (Windows file names never contain one).
std::string QuoteProgramPath(std::string_view path);

// `argument` as a later argument of a command line, in double quotes, so that SplitCommandLine
// gives it back exactly, whatever it holds.
std::string QuoteArgument(std::string_view argument);

class ChildProcess {
  public:
    enum class StartResult {
        kStarted,
        kNoPipe,      // the output pipe could not be created (CreatePipe failed)
        kNotStarted,  // the program could not be started (missing, not executable, bad folder)
    };
    enum class WaitResult {
        kEnded,        // the process has ended; its exit status was collected
        kTimedOut,     // still running when the time-out passed
        kInterrupted,  // still running when the wait's event was set
        kFailed,       // nothing to wait for (never started, already collected) or the OS refused
    };
    enum class Output {
        kPipe,  // the caller drains the output with ReadOutput
        kTail,  // Wait drains it and keeps the last kOutputTailBytes, for output_tail()
    };
    struct Options {
        // A process group of its own (a job on Windows), for EndGroup.
        bool own_group = false;
        Output output = Output::kPipe;
    };
    static constexpr std::size_t kOutputTailBytes = 4096;

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program of `command_line` (SplitCommandLine) with its standard output and
    // standard error on a new pipe, of which only the child keeps the writing end. On failure
    // error() says why. Does not block beyond the start itself. A process started before by the
    // same object is let go first (it goes on running).
    StartResult Start(std::string_view command_line, const Options& options);
    StartResult Start(std::string_view command_line) { return Start(command_line, Options{}); }

    // Blocks until the child's output holds bytes, then reads up to `size` of them. 0 once every
    // writer has closed the pipe (the tool has ended, or closed its output) or the read failed.
    std::size_t ReadOutput(char* buffer, std::size_t size);

    // Blocks until the process has ended, `timeout` (real time, at most a few days) has passed,
    // or `interrupt` (when given) is set. With Output::kTail the output is drained meanwhile.
    WaitResult Wait(Milliseconds timeout, const ManualResetEvent* interrupt = nullptr);

    // Ends the process and every process of its group at once (those that left the group, as a
    // daemon does, are not reached); Wait then collects it. Only for a process started with
    // own_group that Wait has not collected yet: once collected, its id may name another's group.
    // False, with error() set, when there is no such process or the system refused.
    bool EndGroup();

    // With Output::kTail: the last kOutputTailBytes the process wrote, or all of it.
    const std::string& output_tail() const { return output_tail_; }

    // The process's id once started (it stays after the process has ended), else 0.
    ProcessId id() const { return id_; }
    // The exit code after Wait answered kEnded (128 + the signal's number when a signal ended
    // it, as a shell reports it).
    int exit_code() const { return exit_code_; }
    const std::string& error() const { return error_; }

  private:
    void Release();
    // Reads what the output pipe holds now into the tail; false once every writer has closed it.
    bool DrainToTail();

    bool running_ = false;  // running, or ended but not yet collected
    ProcessId id_ = 0;
    // Signalled once the process has ended: a pidfd on POSIX, the process handle on Windows.
    NativeHandle process_ = kNoNativeHandle;
    NativeHandle output_ = kNoNativeHandle;  // the reading end of the output pipe
    // Windows: the job object of a process started in a group of its own. On POSIX the group is
    // named by the process's id.
    NativeHandle job_ = kNoNativeHandle;
    int exit_code_ = -1;
    bool own_group_ = false;
    bool keep_tail_ = false;
    std::string output_tail_;
    std::string error_;
};

}  // namespace platform
