// The host's name on POSIX: gethostname.
#include <unistd.h>

#include <array>

#include "platform/host_name.h"

namespace platform {

std::string HostName() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0')
        return "unknown";
    return name.data();
}

}  // namespace platform
