// Input files and staged files on a POSIX system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/files.h"

namespace platform {
namespace {

// The most symbolic links followed from one path to the file a write replaces, as many as the
// system itself follows when it opens a path (SYMLOOP_MAX on Linux).
constexpr int kMaxLinksFollowed = 40;

bool Fail(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = what + ": " + std::strerror(errno);
    return false;
}

bool Refuse(std::string* error, std::string text) {
    if (error != nullptr)
        *error = std::move(text);
    return false;
}

// "a folder, not a regular file", and so on for the other kinds of entry.
std::string NotARegularFile(mode_t mode) {
    const char* kind = "a special file";
    if (S_ISDIR(mode))
        kind = "a folder";
    else if (S_ISCHR(mode))
        kind = "a character device";
    else if (S_ISBLK(mode))
        kind = "a block device";
    else if (S_ISFIFO(mode))
        kind = "a FIFO";
    else if (S_ISSOCK(mode))
        kind = "a socket";
    return std::string(kind) + ", not a regular file";
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a write to `path` replaces: `path` itself, or the end of the chain of symbolic links
// that starts there. That is a regular file, or a name where nothing is yet (a new file; for a
// link that points at no file, the file it names is created, as any write through a link does).
// None, with `error` set, for anything else.
std::optional<std::string> WriteTarget(const std::string& path, std::string* error) {
    std::string target = path;
    for (int followed = 0; followed <= kMaxLinksFollowed; ++followed) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0) {
            if (errno == ENOENT)
                return target;
            Fail(error, "cannot write " + target);
            return std::nullopt;
        }
        if (S_ISREG(info.st_mode))
            return target;
        if (!S_ISLNK(info.st_mode)) {
            Refuse(error, "cannot write " + target + ": it is " + NotARegularFile(info.st_mode));
            return std::nullopt;
        }
        std::error_code failure;
        const std::string link = std::filesystem::read_symlink(target, failure).string();
        if (failure) {
            Refuse(error, "cannot follow the link " + target + ": " + failure.message());
            return std::nullopt;
        }
        target = link.starts_with('/') ? link : FolderOf(target) + "/" + link;
    }
    Refuse(error, "cannot write " + path + ": more than " + std::to_string(kMaxLinksFollowed) +
                      " symbolic links in a row");
    return std::nullopt;
}

class PosixInputFile final : public InputFile {
  public:
    PosixInputFile(std::string path, int fd, std::uint64_t size)
        : path_(std::move(path)), fd_(fd), size_(size) {}
    ~PosixInputFile() override { close(fd_); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    std::uint64_t size() const override { return size_; }

    std::optional<std::size_t> Read(void* buffer, std::size_t length) override {
        auto* bytes = static_cast<unsigned char*>(buffer);
        std::size_t got = 0;
        while (got < length) {
            const ssize_t n = read(fd_, bytes + got, length - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                Fail(&error_, "cannot read " + path_);
                return std::nullopt;
            }
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) override {
        auto* bytes = static_cast<unsigned char*>(buffer);
        std::size_t got = 0;
        while (got < length) {
            const ssize_t n =
                pread(fd_, bytes + got, length - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Fail(&error_, "cannot read " + path_);
            if (n == 0)
                return Refuse(&error_, "cannot read " + path_ + ": it ends before byte " +
                                           std::to_string(offset + length));
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

    const std::string& error() const override { return error_; }

  private:
    const std::string path_;
    const int fd_;
    const std::uint64_t size_;
    std::string error_;
};

class PosixStagedFile final : public StagedFile {
  public:
    PosixStagedFile(std::string path, std::string temporary, int fd, Durability durability)
        : path_(std::move(path)),
          temporary_(std::move(temporary)),
          fd_(fd),
          flush_(durability == Durability::kOnDisk) {}

    ~PosixStagedFile() override {
        if (fd_ >= 0)
            close(fd_);
        if (!committed_)
            unlink(temporary_.c_str());
    }

    bool Append(std::string_view bytes) override {
        if (fd_ < 0)
            return false;
        if (WriteAll(fd_, bytes))
            return true;
        Fail(&error_, "cannot write " + temporary_);
        // What is in the file now is not what the caller meant: it must never be committed.
        close(fd_);
        fd_ = -1;
        return false;
    }

    bool Commit() override {
        if (fd_ < 0)
            return false;
        struct stat existing {};
        const mode_t mode = stat(path_.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644;
        bool ok = fchmod(fd_, mode) == 0 && (!flush_ || fsync(fd_) == 0);
        if (!ok)
            Fail(&error_, "cannot write " + temporary_);
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0 && ok)
            ok = Fail(&error_, "cannot write " + temporary_);
        if (!ok)
            return false;
        if (rename(temporary_.c_str(), path_.c_str()) != 0)
            return Fail(&error_, "cannot rename " + temporary_ + " to " + path_);
        committed_ = true;
        if (!flush_)
            return true;
        // Make the rename itself durable.
        const int folder = open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            fsync(folder);
            close(folder);
        }
        return true;
    }

    const std::string& error() const override { return error_; }

  private:
    const std::string path_;  // the file replaced: the end of any chain of links
    const std::string temporary_;
    int fd_;  // -1 once closed
    const bool flush_;
    bool committed_ = false;
    std::string error_;
};

}  // namespace

std::unique_ptr<InputFile> OpenInputFile(const std::string& path, std::string* error) {
    // Looked at before it is opened: opening a FIFO waits for a writer, and opening a device acts
    // on it (a serial port raises its control lines).
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        Fail(error, "cannot open " + path);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        Refuse(error, path + " is " + NotARegularFile(info.st_mode));
        return nullptr;
    }
    // Should the path have been replaced since, the open still neither waits nor takes a
    // terminal, and the check is made again on what was opened.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        Fail(error, "cannot open " + path);
        return nullptr;
    }
    const bool examined = fstat(fd, &info) == 0;
    if (!examined || !S_ISREG(info.st_mode)) {
        if (examined)
            Refuse(error, path + " is " + NotARegularFile(info.st_mode));
        else
            Fail(error, "cannot open " + path);
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PosixInputFile>(path, fd, static_cast<std::uint64_t>(info.st_size));
}

std::unique_ptr<StagedFile> CreateStagedFile(const std::string& path, std::string* error,
                                             Durability durability) {
    std::optional<std::string> target = WriteTarget(path, error);
    if (!target)
        return nullptr;
    std::string temporary = *target + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        Fail(error, "cannot create a temporary file beside " + *target);
        return nullptr;
    }
    return std::make_unique<PosixStagedFile>(std::move(*target), std::move(temporary), fd,
                                             durability);
}

}  // namespace platform
