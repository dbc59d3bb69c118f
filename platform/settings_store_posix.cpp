// Hive files on a POSIX system: where they lie, reading them, and changing them under a lock.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/settings_store.h"

namespace platform {
namespace {

// The longest hive file read. The station keeps a few keys of its own and one per device it has
// seen; even 50,000 keys take a few megabytes.
constexpr std::size_t kMaxHiveFileSize = 64 * 1024 * 1024;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeDirectory() {
    std::string home = Environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(getuid()))
            home = entry->pw_dir;
    }
    return home;
}

// An exclusive lock on a lock file beside the hive, held for the object's life. The hive file
// itself cannot carry the lock: every write replaces it with a new file.
class HiveLock {
  public:
    explicit HiveLock(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_ < 0) {
            error_ = "cannot open the lock file " + path + ": " + std::strerror(errno);
            return;
        }
        int result;
        do {
            result = flock(fd_, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            error_ = "cannot lock " + path + ": " + std::strerror(errno);
            close(fd_);
            fd_ = -1;
        }
    }
    ~HiveLock() {
        if (fd_ >= 0)
            close(fd_);  // closing releases the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

    bool held() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

  private:
    int fd_;
    std::string error_;
};

bool Fail(std::string* error, std::string text) {
    if (error != nullptr)
        *error = std::move(text);
    return false;
}

}  // namespace

SettingsStore SettingsStore::FromEnvironment() {
    std::string directory = Environment("FENDREL_REGISTRY_DIR");
    if (directory.empty()) {
        const std::string state = Environment("XDG_STATE_HOME");
        directory = state.empty() ? JoinPath(HomeDirectory(), ".local/state/fendrel")
                                  : JoinPath(state, "fendrel");
    }
    return SettingsStore(std::move(directory));
}

std::string SettingsStore::HivePath(Hive hive) const {
    return JoinPath(directory_, std::string(HiveName(hive)) + ".reg");
}

std::optional<RegistryHive> SettingsStore::ReadHive(Hive hive, std::string* error) const {
    const std::string path = HivePath(hive);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return RegistryHive();
    std::string problem;
    const auto text = ReadFileBytes(path, kMaxHiveFileSize, &problem);
    if (!text) {
        Fail(error, "cannot read the hive: " + problem);
        return std::nullopt;
    }
    auto contents = ParseRegFile(*text, HiveName(hive), &problem);
    if (!contents)
        Fail(error, path + ": " + problem + "; the file is not a hive and is left as it is");
    return contents;
}

bool SettingsStore::UpdateHive(Hive hive, const ChangeFunction& change, std::string* error) const {
    std::error_code failure;
    std::filesystem::create_directories(directory_, failure);
    if (failure)
        return Fail(error, "cannot create the folder " + directory_ + ": " + failure.message());
    const std::string path = HivePath(hive);
    const HiveLock lock(path + ".lock");
    if (!lock.held())
        return Fail(error, lock.error());
    auto contents = ReadHive(hive, error);
    if (!contents)
        return false;
    std::string problem;
    switch (change(*contents, problem)) {
        case Change::kKeep:
            return true;
        case Change::kFail:
            return Fail(error, std::move(problem));
        case Change::kWrite:
            break;
    }
    return WriteFileAtomically(path, FormatRegFile(*contents, HiveName(hive)), error);
}

}  // namespace platform
