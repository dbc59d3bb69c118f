// The program's folder and the current folder on POSIX: /proc/self/exe and getcwd.
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"

namespace platform {

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

}  // namespace platform
