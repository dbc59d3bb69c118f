#include "sim/phones/disk_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

bool EnsureDiskImage(const std::string& path, std::uint64_t bytes, std::string& error) {
    if (path.empty()) {
        error = "a disk needs an image file";
        return false;
    }
    if (access(path.c_str(), F_OK) == 0)
        return true;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool made = fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    if (!made)
        error = "cannot create the disk image " + path + ": " + std::strerror(errno);
    if (fd >= 0)
        close(fd);
    return made;
}

}  // namespace sim
