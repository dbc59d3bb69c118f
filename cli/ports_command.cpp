// fendrel-cli ports: the port scan of the download pages, one line per listed port: its name,
// type text, kind and the device node it stands for. Devices that a malformed device tree or
// settings store kept off the list are named on standard error. A device tree or a registry hive
// that cannot be read at all is named once, and the exit status is 1.
#include <cstdio>

#include "cli/commands_list.h"
#include "cli/port_list.h"

namespace fendrel::cli {
namespace {

int Run(std::span<char* const> arguments) {
    if (!arguments.empty())
        return UsageError(PortsCommand());
    return PrintPortList(platform::DeviceEnumerator::FromEnvironment(), "ports") ? 0 : 1;
}

}  // namespace

Command PortsCommand() {
    return {"ports", "", "list the phone ports as the download pages would", Run};
}

}  // namespace fendrel::cli
