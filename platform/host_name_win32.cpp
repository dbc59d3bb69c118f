// The host's name on Windows: GetComputerNameA.
#include <windows.h>

#include "platform/host_name.h"

namespace platform {

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    if (!GetComputerNameA(name, &length) || length == 0)
        return "unknown";
    return std::string(name, length);
}

}  // namespace platform
