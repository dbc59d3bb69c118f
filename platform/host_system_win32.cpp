// The host system on Windows: GetVersionExA and IsWow64Process.
#include <windows.h>

#include "platform/host_system.h"

namespace platform {

HostSystem RunningHostSystem() {
    HostSystem host{OsFamily::kWindows};
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExA(&version)) {
        host.major = version.dwMajorVersion;
        host.minor = version.dwMinorVersion;
    }
    BOOL wow64 = FALSE;
    host.is_64bit = sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
    return host;
}

}  // namespace platform
