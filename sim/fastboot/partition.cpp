#include "sim/fastboot/partition.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fastboot_sim {
namespace {

class MemoryPartition final : public Partition {
  public:
    bool Replace(std::vector<unsigned char>&& bytes) override {
        bytes_ = std::move(bytes);
        return true;
    }
    bool Resize(std::uint64_t size) override {
        bytes_.resize(size);
        return true;
    }
    bool WriteAt(std::uint64_t offset, const unsigned char* data, std::size_t size) override {
        if (offset > bytes_.size() || size > bytes_.size() - offset)
            return false;
        std::memcpy(bytes_.data() + offset, data, size);
        return true;
    }
    std::uint64_t size() const override { return bytes_.size(); }
    std::string Contents() const override { return std::string(bytes_.begin(), bytes_.end()); }

  private:
    std::vector<unsigned char> bytes_;
};

class FilePartition final : public Partition {
  public:
    explicit FilePartition(int fd) : fd_(fd) {}
    ~FilePartition() override { close(fd_); }

    bool Replace(std::vector<unsigned char>&& bytes) override {
        return ftruncate(fd_, 0) == 0 && Resize(bytes.size()) &&
               WriteAt(0, bytes.data(), bytes.size());
    }
    bool Resize(std::uint64_t size) override {
        return ftruncate(fd_, static_cast<off_t>(size)) == 0;
    }
    bool WriteAt(std::uint64_t offset, const unsigned char* data, std::size_t size) override {
        if (offset + size > this->size())
            return false;
        while (size > 0) {
            const ssize_t done = pwrite(fd_, data, size, static_cast<off_t>(offset));
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return false;
            data += done;
            size -= static_cast<std::size_t>(done);
            offset += static_cast<std::uint64_t>(done);
        }
        return true;
    }
    std::uint64_t size() const override {
        struct stat info {};
        return fstat(fd_, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    }
    std::string Contents() const override {
        std::string bytes(size(), '\0');
        std::size_t have = 0;
        while (have < bytes.size()) {
            const ssize_t got =
                pread(fd_, bytes.data() + have, bytes.size() - have, static_cast<off_t>(have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            have += static_cast<std::size_t>(got);
        }
        bytes.resize(have);
        return bytes;
    }

  private:
    int fd_;
};

}  // namespace

std::unique_ptr<Partition> MakeMemoryPartition() {
    return std::make_unique<MemoryPartition>();
}

std::unique_ptr<Partition> MakeFilePartition(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<FilePartition>(fd);
}

}  // namespace fastboot_sim
