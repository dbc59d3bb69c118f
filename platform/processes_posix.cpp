// Child processes on POSIX: posix_spawn with a pipe for the output, a pidfd to wait with a
// time-out.
#include <fcntl.h>
#include <poll.h>
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

// A descriptor that polls readable once the process has ended (called through syscall: the
// wrapper of some C libraries lacks C linkage in its header).
int OpenProcessDescriptor(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
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

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      id_(std::exchange(other.id_, 0)),
      pid_fd_(std::exchange(other.pid_fd_, -1)),
      output_fd_(std::exchange(other.output_fd_, -1)),
      exit_code_(other.exit_code_),
      error_(std::move(other.error_)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Release();
        pid_ = std::exchange(other.pid_, -1);
        id_ = std::exchange(other.id_, 0);
        pid_fd_ = std::exchange(other.pid_fd_, -1);
        output_fd_ = std::exchange(other.output_fd_, -1);
        exit_code_ = other.exit_code_;
        error_ = std::move(other.error_);
    }
    return *this;
}

void ChildProcess::Release() {
    CloseDescriptor(output_fd_);
    CloseDescriptor(pid_fd_);
    if (pid_ > 0) {
        int status = 0;
        waitpid(pid_, &status, WNOHANG);  // collects an ended child; a running one goes on
    }
    pid_ = -1;
}

ChildProcess::StartResult ChildProcess::Start(std::string_view command_line) {
    Release();
    id_ = 0;
    exit_code_ = -1;
    error_.clear();
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
        error_ = ErrorText("cannot create the output pipe", errno);
        return StartResult::kNoPipe;
    }
    output_fd_ = pipe_fds[0];
    int write_fd = pipe_fds[1];

    const std::vector<std::string> arguments = SplitCommandLine(command_line);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const FileActions actions(write_fd);
    pid_t pid = -1;
    const int spawn_error =
        actions.ok() ? posix_spawn(&pid, argv[0], actions.get(), nullptr, argv.data(), environ)
                     : ENOMEM;
    CloseDescriptor(write_fd);  // the child holds the only writing end now
    if (spawn_error != 0) {
        error_ = ErrorText("cannot start " + arguments.front(), spawn_error);
        CloseDescriptor(output_fd_);
        return StartResult::kNotStarted;
    }
    pid_ = pid;
    id_ = static_cast<ProcessId>(pid);
    pid_fd_ = OpenProcessDescriptor(pid);
    if (pid_fd_ < 0)
        error_ = ErrorText("cannot watch process " + std::to_string(pid), errno);
    return StartResult::kStarted;
}

std::size_t ChildProcess::ReadOutput(char* buffer, std::size_t size) {
    if (output_fd_ < 0 || size == 0)
        return 0;
    for (;;) {
        const ssize_t count = read(output_fd_, buffer, size);
        if (count > 0)
            return static_cast<std::size_t>(count);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            error_ = ErrorText("cannot read the output", errno);
        return 0;
    }
}

ChildProcess::WaitResult ChildProcess::Wait(Milliseconds timeout) {
    if (pid_ <= 0)
        return WaitResult::kFailed;
    if (pid_fd_ < 0)
        return WaitResult::kFailed;  // Start said why in error()
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<Milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ended{pid_fd_, POLLIN, 0};
        const long long wait_ms = std::clamp<long long>(left.count(), 0, INT_MAX);
        const int ready = poll(&ended, 1, static_cast<int>(wait_ms));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            error_ = ErrorText("cannot wait for process " + std::to_string(pid_), errno);
            return WaitResult::kFailed;
        }
        if (ready == 0)
            return WaitResult::kTimedOut;
        break;
    }
    int status = 0;
    pid_t collected;
    do {
        collected = waitpid(pid_, &status, 0);
    } while (collected < 0 && errno == EINTR);
    if (collected != pid_) {
        // Someone else collected it (SIGCHLD ignored, a waitpid(-1) elsewhere): it has ended.
        error_ = ErrorText("cannot collect process " + std::to_string(pid_), errno);
        pid_ = -1;
        return WaitResult::kFailed;
    }
    exit_code_ = ExitCode(status);
    pid_ = -1;
    CloseDescriptor(pid_fd_);
    return WaitResult::kEnded;
}

}  // namespace platform
