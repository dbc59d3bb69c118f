// Disks and disk images through file descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/disk_file.h"
#include "platform/native_handle_posix.h"

namespace platform {
namespace {

DiskFile::Kind KindOfStatus(const struct stat& status) {
    if (S_ISBLK(status.st_mode))
        return DiskFile::Kind::kBlockDevice;
    if (S_ISREG(status.st_mode))
        return DiskFile::Kind::kImageFile;
    return DiskFile::Kind::kOther;
}

}  // namespace

DiskFile::~DiskFile() {
    Close();
}

DiskFile::Kind DiskFile::KindOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return Kind::kOther;
    return KindOfStatus(status);
}

bool DiskFile::Fail(const std::string& what) {
    error_ = what + " " + path_ + ": " + std::strerror(errno);
    return false;
}

bool DiskFile::Open(const std::string& path) {
    Close();
    path_ = path;
    error_.clear();
    kind_ = KindOf(path);
    if (kind_ == Kind::kOther) {
        error_ = path + " is neither a disk nor a disk image file";
        return false;
    }
    // O_EXCL on a block device: refused while the system uses it (a mounted partition).
    const int exclusive = kind_ == Kind::kBlockDevice ? O_EXCL : 0;
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | exclusive);
    if (fd < 0)
        return Fail(errno == EBUSY ? "something of the system uses" : "cannot open");
    handle_ = FromDescriptor(fd);
    struct stat status {};
    const off_t end = lseek(fd, 0, SEEK_END);
    if (fstat(fd, &status) != 0 || end < 0 || KindOfStatus(status) != kind_) {
        Fail("cannot find the size of");
        Close();
        return false;
    }
    size_ = static_cast<std::uint64_t>(end);
    device_ = kind_ == Kind::kBlockDevice ? status.st_rdev : status.st_dev;
    file_number_ = kind_ == Kind::kBlockDevice ? 0 : status.st_ino;
    return true;
}

void DiskFile::Close() {
    if (handle_ != kNoNativeHandle)
        close(Descriptor(handle_));
    handle_ = kNoNativeHandle;
}

bool DiskFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) {
    std::size_t done = 0;
    while (done < into.size()) {
        const ssize_t count = pread(Descriptor(handle_), into.data() + done, into.size() - done,
                                    static_cast<off_t>(offset + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = EIO;  // the disk ended early
            return Fail("cannot read");
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

bool DiskFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = pwrite(Descriptor(handle_), bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = ENOSPC;
            return Fail("cannot write");
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

bool DiskFile::Flush() {
    if (fsync(Descriptor(handle_)) != 0)
        return Fail("cannot flush");
    // Clean pages are dropped, so that reading back reads the device.
    posix_fadvise(Descriptor(handle_), 0, 0, POSIX_FADV_DONTNEED);
    return true;
}

bool DiskFile::StillThere() const {
    struct stat status {};
    if (stat(path_.c_str(), &status) != 0 || KindOfStatus(status) != kind_)
        return false;
    if (kind_ == Kind::kBlockDevice)
        return status.st_rdev == device_;
    return status.st_dev == device_ && status.st_ino == file_number_;
}

}  // namespace platform
