// Child processes on POSIX: posix_spawn with a pipe for the output, a pidfd to wait with a
// time-out.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/native_handle_posix.h"
#include "platform/processes.h"

extern char** environ;

namespace platform {
namespace {

std::string ErrorText(const std::string& what, int error_number) {
    return what + ": " + std::strerror(error_number);
}

void CloseDescriptor(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void CloseDescriptor(NativeHandle& handle) {
    if (handle != kNoNativeHandle)
        close(Descriptor(handle));
    handle = kNoNativeHandle;
}

// The file actions of a hidden tool: nothing to read, output and errors to the pipe, and no
// descriptor of ours beyond those three (a tool that outlives its output must not hold our
// files or another tool's pipe).
class FileActions {
  public:
    explicit FileActions(int output_fd) {
        posix_spawn_file_actions_init(&actions_);
        ok_ = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
              posix_spawn_file_actions_adddup2(&actions_, output_fd, 1) == 0 &&
              posix_spawn_file_actions_adddup2(&actions_, output_fd, 2) == 0 &&
              posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    bool ok() const { return ok_; }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
    bool ok_ = false;
};

// Spawn attributes: a process group of its own when asked, else the caller's.
class SpawnAttributes {
  public:
    explicit SpawnAttributes(bool own_group) {
        posix_spawnattr_init(&attributes_);
        ok_ = !own_group || (posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
                             posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP) == 0);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    bool ok() const { return ok_; }
    const posix_spawnattr_t* get() const { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
    bool ok_ = false;
};

// A descriptor that polls readable once the process has ended (called through syscall: the
// wrapper of some C libraries lacks C linkage in its header).
int OpenProcessDescriptor(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

pid_t PidOf(ProcessId id) {
    return static_cast<pid_t>(id);
}

int ExitCode(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

ChildProcess::~ChildProcess() {
    Release();
}

void ChildProcess::Release() {
    CloseDescriptor(output_);
    CloseDescriptor(process_);
    if (running_) {
        int status = 0;
        waitpid(PidOf(id_), &status, WNOHANG);  // collects an ended child; a running one goes on
    }
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
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        error_ = ErrorText("cannot create the output pipe", errno);
        return StartResult::kNoPipe;
    }
    output_ = FromDescriptor(pipe_fds[0]);
    int write_fd = pipe_fds[1];
    // Wait drains a kept tail without blocking on a writer that outlives the process.
    if (keep_tail_)
        fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);

    const std::vector<std::string> arguments = SplitCommandLine(command_line);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const FileActions actions(write_fd);
    const SpawnAttributes attributes(options.own_group);
    pid_t pid = -1;
    const int spawn_error =
        actions.ok() && attributes.ok()
            ? posix_spawn(&pid, argv[0], actions.get(), attributes.get(), argv.data(), environ)
            : ENOMEM;
    CloseDescriptor(write_fd);  // the child holds the only writing end now
    if (spawn_error != 0) {
        error_ = ErrorText("cannot start " + arguments.front(), spawn_error);
        CloseDescriptor(output_);
        return StartResult::kNotStarted;
    }
    running_ = true;
    id_ = static_cast<ProcessId>(pid);
    const int pid_fd = OpenProcessDescriptor(pid);
    if (pid_fd >= 0)
        process_ = FromDescriptor(pid_fd);
    else
        error_ = ErrorText("cannot watch process " + std::to_string(pid), errno);
    return StartResult::kStarted;
}

std::size_t ChildProcess::ReadOutput(char* buffer, std::size_t size) {
    if (output_ == kNoNativeHandle || size == 0)
        return 0;
    for (;;) {
        const ssize_t count = read(Descriptor(output_), buffer, size);
        if (count > 0)
            return static_cast<std::size_t>(count);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            error_ = ErrorText("cannot read the output", errno);
        return 0;
    }
}

ChildProcess::WaitResult ChildProcess::Wait(Milliseconds timeout,
                                            const ManualResetEvent* interrupt) {
    if (!running_)
        return WaitResult::kFailed;
    if (process_ == kNoNativeHandle)
        return WaitResult::kFailed;  // Start said why in error()
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd watched[3] = {
            {Descriptor(process_), POLLIN, 0},
            {interrupt != nullptr ? Descriptor(interrupt->native_handle()) : -1, POLLIN, 0},
            {keep_tail_ && output_ != kNoNativeHandle ? Descriptor(output_) : -1, POLLIN, 0},
        };
        const long long wait_ms = std::clamp<long long>(left.count(), 0, INT_MAX);
        const int ready = poll(watched, 3, static_cast<int>(wait_ms));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            error_ = ErrorText("cannot wait for process " + std::to_string(id_), errno);
            return WaitResult::kFailed;
        }
        if (ready == 0)
            return WaitResult::kTimedOut;
        if (watched[2].revents != 0 && !DrainToTail())
            CloseDescriptor(output_);  // every writer has closed it
        if (watched[0].revents != 0)
            break;
        if (watched[1].revents != 0)
            return WaitResult::kInterrupted;
    }
    // What the process wrote just before it ended is still in the pipe.
    if (keep_tail_ && output_ != kNoNativeHandle && !DrainToTail())
        CloseDescriptor(output_);
    int status = 0;
    pid_t collected;
    do {
        collected = waitpid(PidOf(id_), &status, 0);
    } while (collected < 0 && errno == EINTR);
    if (collected != PidOf(id_)) {
        // Someone else collected it (SIGCHLD ignored, a waitpid(-1) elsewhere): it has ended.
        error_ = ErrorText("cannot collect process " + std::to_string(id_), errno);
        running_ = false;
        return WaitResult::kFailed;
    }
    exit_code_ = ExitCode(status);
    running_ = false;
    CloseDescriptor(process_);
    return WaitResult::kEnded;
}

bool ChildProcess::DrainToTail() {
    char piece[kOutputTailBytes];
    for (;;) {
        const ssize_t count = read(Descriptor(output_), piece, sizeof piece);
        if (count > 0) {
            output_tail_.append(piece, static_cast<std::size_t>(count));
            if (output_tail_.size() > kOutputTailBytes)
                output_tail_.erase(0, output_tail_.size() - kOutputTailBytes);
        } else if (count == 0 || errno != EINTR) {
            return count < 0 && errno == EAGAIN;  // empty for now, or closed for good
        }
    }
}

bool ChildProcess::EndGroup() {
    // While the process is not collected its id cannot be handed out again, so the group
    // named by it is still the one it leads.
    if (!running_ || !own_group_) {
        error_ = "no process group of ours to end";
        return false;
    }
    if (kill(-PidOf(id_), SIGKILL) != 0) {
        error_ = ErrorText("cannot end process group " + std::to_string(id_), errno);
        return false;
    }
    return true;
}

}  // namespace platform
