#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace platform {
namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = what + ": " + std::strerror(errno);
    return false;
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
    const std::string path_;
    const std::string temporary_;
    int fd_;  // -1 once closed
    const bool flush_;
    bool committed_ = false;
    std::string error_;
};

}  // namespace

std::optional<std::string> ReadFileBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    std::string bytes;
    // One allocation of the file's size up front; a file that grows meanwhile still reads whole.
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(info.st_size));
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return bytes;
}

std::unique_ptr<StagedFile> CreateStagedFile(const std::string& path, std::string* error,
                                             Durability durability) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        Fail(error, "cannot create a temporary file beside " + path);
        return nullptr;
    }
    return std::make_unique<PosixStagedFile>(path, std::move(temporary), fd, durability);
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         Durability durability) {
    const std::unique_ptr<StagedFile> file = CreateStagedFile(path, error, durability);
    if (file == nullptr)
        return false;
    if (file->Append(bytes) && file->Commit())
        return true;
    if (error != nullptr)
        *error = file->error();
    return false;
}

}  // namespace platform
