// The instance guard on a POSIX system: an exclusive flock on "<name>.lock" in the folder. The
// kernel drops the lock with the process's last descriptor of the file, so a lock file left by a
// crashed station is just a file, taken again by the next start.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/instance_guard.h"
#include "platform/paths.h"

namespace platform {

InstanceGuard::InstanceGuard(std::string folder, std::string name)
    : folder_(std::move(folder)), name_(std::move(name)) {}

InstanceGuard::~InstanceGuard() {
    if (held())
        close(static_cast<int>(handle_));  // closing releases the lock
}

std::string InstanceGuard::LockPath() const {
    return JoinPath(folder_, name_ + ".lock");
}

InstanceGuard::Result InstanceGuard::Take() {
    if (held())
        return Result::kTaken;
    std::error_code code;
    std::filesystem::create_directories(folder_, code);
    if (code) {
        error_ = "cannot make the folder " + folder_ + ": " + code.message();
        return Result::kFailed;
    }
    const std::string path = LockPath();
    // Not inherited: a process the station starts must not keep the guard after the station ends.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = "cannot open " + path + ": " + std::strerror(errno);
        return Result::kFailed;
    }
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int fault = errno;
        close(fd);
        if (fault == EWOULDBLOCK)
            return Result::kHeldElsewhere;
        error_ = "cannot lock " + path + ": " + std::strerror(fault);
        return Result::kFailed;
    }
    handle_ = fd;
    error_.clear();
    return Result::kTaken;
}

}  // namespace platform
