// The host system on POSIX: uname, or the Windows that $FENDREL_HOST_OS names.
#include <sys/utsname.h>

#include <cstdlib>
#include <cstring>

#include "platform/host_system.h"

namespace platform {
namespace {

constexpr const char* kHostVariable = "FENDREL_HOST_OS";

// Whether a machine name of uname is that of a 64-bit architecture (a 32-bit process can run
// on one, as under WOW64).
bool Is64BitMachine(std::string_view machine) {
    return machine.find("64") != std::string_view::npos || machine == "s390x" || machine == "alpha";
}

}  // namespace

std::optional<HostSystem> QueryHostSystem(std::string* error) {
    if (const char* named = std::getenv(kHostVariable); named != nullptr && *named != '\0') {
        auto host = ParseHostSystem(named);
        if (!host && error != nullptr) {
            *error = std::string(kHostVariable) + "=\"" + named +
                     "\" does not name a host; write windows-<major>.<minor>-<32|64>, for "
                     "example windows-5.1-32";
        }
        return host;
    }
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
