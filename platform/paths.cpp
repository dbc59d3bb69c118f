// Program directory overrides and path joining (the same on every platform).
#include "platform/paths.h"

#include <algorithm>
#include <mutex>

namespace platform {
namespace {

std::mutex g_override_mutex;
std::string g_override;

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
