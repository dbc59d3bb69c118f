// File locks on POSIX: flock on the open lock file.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_lock.h"
#include "platform/native_handle_posix.h"

namespace platform {

FileLock::FileLock(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = "cannot open the lock file " + path + ": " + std::strerror(errno);
        return;
    }
    int result;
    do {
        result = flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        error_ = "cannot lock " + path + ": " + std::strerror(errno);
        close(fd);
        return;
    }
    handle_ = FromDescriptor(fd);
    held_ = true;
}

FileLock::~FileLock() {
    if (held_)
        close(Descriptor(handle_));  // closing releases the lock
}

}  // namespace platform
