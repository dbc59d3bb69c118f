// The host system on POSIX: uname.
#include <sys/utsname.h>

#include <cstdlib>

#include "platform/host_system.h"

namespace platform {
namespace {

// Whether a machine name of uname is that of a 64-bit architecture (a 32-bit process can run
// on one, as under WOW64).
bool Is64BitMachine(std::string_view machine) {
    return machine.find("64") != std::string_view::npos || machine == "s390x" || machine == "alpha";
}

}  // namespace

HostSystem RunningHostSystem() {
    HostSystem host{OsFamily::kPosix};
    utsname names{};
    if (uname(&names) == 0) {
        char* rest = nullptr;
        host.major = static_cast<unsigned>(std::strtoul(names.release, &rest, 10));
        if (rest != nullptr && *rest == '.')
            host.minor = static_cast<unsigned>(std::strtoul(rest + 1, nullptr, 10));
    }
    host.is_64bit = sizeof(void*) == 8 || Is64BitMachine(names.machine);
    return host;
}

}  // namespace platform
