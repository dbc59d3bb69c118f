// The program's folder and the current folder on Windows: GetModuleFileNameA and
// GetCurrentDirectoryA.
#include <windows.h>

#include "platform/paths.h"

namespace platform {

std::string ExecutableDirectory() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return "C:\\";  // the system could not say: the root is the only safe answer
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2);  // the name was cut at the buffer's end
    }
    buffer.erase(buffer.find_last_of("\\/") + 1);
    return buffer;
}

std::optional<std::string> CurrentDirectory() {
    const DWORD needed = GetCurrentDirectoryA(0, nullptr);
    if (needed == 0)
        return std::nullopt;
    std::string buffer(needed, '\0');
    const DWORD length = GetCurrentDirectoryA(needed, buffer.data());
    if (length == 0 || length >= needed)
        return std::nullopt;
    buffer.resize(length);
    return buffer;
}

}  // namespace platform
