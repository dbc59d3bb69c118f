// fendrel-cli ports: the port scan of the download pages, one line per listed port: its name,
// type text, kind and the device node it stands for. Devices that a malformed device tree or
// settings store kept off the list are named on standard error.
#include <cstdio>
#include <map>
#include <string>

#include "app/file_code.h"
#include "app/ini_file.h"
#include "app/text_lookup.h"
#include "cli/commands_list.h"
#include "platform/device_enumerator.h"
#include "ports/port_scanner.h"

namespace fendrel::cli {
namespace {

const char* KindName(int kind) {
    switch (kind) {
        case PORT_KIND_DIAG:
            return "diag";
        case PORT_KIND_DLOAD:
            return "download";
        case PORT_KIND_STORAGE:
            return "storage";
    }
    return "?";
}

// Port name -> device node of every present device; a port name is a device's own.
std::map<std::string, std::string> DeviceNodes(const platform::DeviceEnumerator& devices) {
    std::map<std::string, std::string> nodes;
    for (const auto device_class : {platform::DeviceClass::kPorts, platform::DeviceClass::kModem}) {
        for (const platform::PresentDevice& device : devices.PresentDevices(device_class))
            nodes.emplace(device.port_name, device.device_node);
    }
    return nodes;
}

int Run(std::span<char* const> arguments) {
    if (!arguments.empty()) {
        std::fprintf(stderr, "usage: fendrel-cli ports\n");
        return kUsageError;
    }
    // The station refuses to work with a configuration whose integrity line does not match.
    if (!CheckConfigFile(ConfigFilePath())) {
        std::fprintf(stderr, "%s\n", GetText(text::kConfigFileBroken).c_str());
        return 1;
    }
    const platform::DeviceEnumerator devices = platform::DeviceEnumerator::FromEnvironment();
    CPortScanner scanner(devices, ConfigFilePath());
    scanner.Scan();
    for (const std::string& problem : scanner.problems())
        std::fprintf(stderr, "fendrel-cli ports: %s\n", problem.c_str());

    const auto nodes = DeviceNodes(devices);
    std::printf("%-8s %-12s %-10s %s\n", "PORT", "TYPE", "KIND", "NODE");
    for (int i = 0; i < scanner.GetPortCount(); ++i) {
        const PORT_RECORD port = scanner.GetPort(i);
        const auto node = nodes.find(port.port_name);
        std::printf("%-8s %-12s %d %-8s %s\n", port.port_name.c_str(), port.port_type.c_str(),
                    port.port_kind, KindName(port.port_kind),
                    node != nodes.end() ? node->second.c_str() : "-");
    }
    return 0;
}

}  // namespace

Command PortsCommand() {
    return {"ports", "", "list the phone ports as the download pages would", Run};
}

}  // namespace fendrel::cli
