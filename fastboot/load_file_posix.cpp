// Reading an image whole into memory, on POSIX.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>

#include "fastboot/protocol.h"
#include "fastboot/transport/adb_errors.h"

namespace brenlo {
namespace {

// When one read cannot take the whole file, it is read again from the start in pieces this big.
constexpr std::size_t kReadPiece = 10 * 1024 * 1024;

// Filling a fresh buffer of a few hundred MiB costs more in page faults than in reading; huge
// pages, where the system has them, take 512 times fewer.
constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;

void PreferHugePages(unsigned char* buffer, std::size_t size) {
    const auto first = reinterpret_cast<std::uintptr_t>(buffer);
    const std::uintptr_t start = (first + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (first + size) & ~(kHugePage - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);  // only advice
}

bool ReadFully(int fd, unsigned char* buffer, std::size_t size) {
    while (size > 0) {
        const ssize_t got = read(fd, buffer, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// One read of the whole file; when it comes back short (the system would not move that much at
// once), the file is read again from the start in pieces, each of which must come whole.
bool ReadImage(int fd, unsigned char* buffer, std::size_t size) {
    ssize_t got;
    do {
        got = read(fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(size))
        return true;
    if (got < 0 || lseek(fd, 0, SEEK_SET) != 0)
        return false;
    for (std::size_t offset = 0; offset < size; offset += kReadPiece) {
        if (!ReadFully(fd, buffer + offset, std::min(kReadPiece, size - offset)))
            return false;
    }
    return true;
}

class FileCloser {
  public:
    explicit FileCloser(int fd) : fd_(fd) {}
    ~FileCloser() { close(fd_); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

  private:
    int fd_;
};

}  // namespace

unsigned char* load_file(fb_connection* connection, const char* path, std::uint32_t* size) {
    // Non-blocking, so that a named pipe cannot hold the call; only regular files are images,
    // as only files open on Windows (a folder, a disk or a pipe is refused).
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        const int reason = S_ISREG(info.st_mode) ? errno : EISDIR;
        close(fd);
        fd = -1;
        errno = reason;
    }
    if (fd < 0) {
        fb_report(connection, BRENLO_LEVEL_FAILURE, "load_file: file open failed (rc=%ld)\n",
                  static_cast<long>(AdbErrorFromErrno(errno)));
        return nullptr;
    }
    const FileCloser closer(fd);
    if (info.st_size <= 0) {
        fb_report(connection, BRENLO_LEVEL_FAILURE, "load_file: file empty or negative size %ld\n",
                  static_cast<long>(info.st_size));
        *size = 0;
        return nullptr;
    }
    if (info.st_size > BRENLO_MAX_IMAGE_SIZE) {
        fb_report(connection, BRENLO_LEVEL_FAILURE, "load_file: file too large (%lld bytes)\n",
                  static_cast<long long>(info.st_size));
        *size = 0;
        return nullptr;
    }
    const auto length = static_cast<std::size_t>(info.st_size);
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[length]);
    if (buffer == nullptr) {
        fb_report(connection, BRENLO_LEVEL_FAILURE, "load_file: could not allocate %ld bytes\n",
                  static_cast<long>(length));
        *size = 0;
        return nullptr;
    }
    PreferHugePages(buffer.get(), length);
    if (!ReadImage(fd, buffer.get(), length)) {
        fb_report(connection, BRENLO_LEVEL_FAILURE,
                  "load_file: could not read %ld bytes from '%s'\n", static_cast<long>(length),
                  path);
        *size = 0;
        return nullptr;
    }
    *size = static_cast<std::uint32_t>(length);
    return buffer.release();
}

}  // namespace brenlo
