#include "platform/paths.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace platform {
namespace {

std::mutex g_override_mutex;
std::string g_override;

std::string ExecutableDirectory() {
    std::string buffer(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        return std::string(1, kPathSeparator);  // no /proc: the root is the only safe answer
    }
    buffer.resize(static_cast<size_t>(length));
    buffer.erase(buffer.rfind(kPathSeparator) + 1);
    return buffer;
}

}  // namespace

std::string ProgramDirectory() {
    {
        std::lock_guard lock(g_override_mutex);
        if (!g_override.empty())
            return g_override;
    }
    static const std::string directory = ExecutableDirectory();
    return directory;
}

std::optional<std::string> CurrentDirectory() {
    std::string buffer(256, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(buffer.find('\0'));
    return buffer;
}

void OverrideProgramDirectory(std::string directory) {
    if (!directory.empty() && directory.back() != kPathSeparator)
        directory += kPathSeparator;
    std::lock_guard lock(g_override_mutex);
    g_override = std::move(directory);
}

std::string JoinPath(std::string_view directory, std::string_view name) {
    std::string joined(directory);
    if (!joined.empty() && joined.back() != kPathSeparator)
        joined += kPathSeparator;
    while (!joined.empty() && !name.empty() && name.front() == kPathSeparator)
        name.remove_prefix(1);
    joined += name;
    return joined;
}

std::string NativePath(std::string_view windows_path) {
    std::string path(windows_path);
    std::replace(path.begin(), path.end(), '\\', kPathSeparator);
    return path;
}

}  // namespace platform
