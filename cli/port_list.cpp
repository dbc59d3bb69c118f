#include "cli/port_list.h"

#include <cstdio>
#include <map>
#include <string>

#include "app/file_code.h"
#include "app/ini_file.h"
#include "app/text_lookup.h"
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

void Complain(std::string_view command, const std::string& text) {
    std::fprintf(stderr, "fendrel-cli %.*s: %s\n", static_cast<int>(command.size()), command.data(),
                 text.c_str());
}

}  // namespace

bool ConfigurationAccepted() {
    if (CheckConfigFile(ConfigFilePath()))
        return true;
    std::fprintf(stderr, "%s\n", GetText(text::kConfigFileBroken).c_str());
    return false;
}

bool PortsCanBeScanned(const platform::DeviceEnumerator& devices, std::string_view command) {
    std::string error;
    if (devices.CanWalk(&error))
        return true;
    Complain(command, error);
    return false;
}

bool PrintPortList(const platform::DeviceEnumerator& devices, std::string_view command) {
    if (!ConfigurationAccepted() || !PortsCanBeScanned(devices, command))
        return false;
    CPortScanner scanner(devices, ConfigFilePath());
    scanner.Scan();
    for (const std::string& problem : scanner.problems())
        Complain(command, problem);
    const auto nodes = DeviceNodes(devices);
    std::printf("%-8s %-12s %-10s %s\n", "PORT", "TYPE", "KIND", "NODE");
    for (int i = 0; i < scanner.GetPortCount(); ++i) {
        const PORT_RECORD port = scanner.GetPort(i);
        const auto node = nodes.find(port.port_name);
        std::printf("%-8s %-12s %d %-8s %s\n", port.port_name.c_str(), port.port_type.c_str(),
                    port.port_kind, KindName(port.port_kind),
                    node != nodes.end() ? node->second.c_str() : "-");
    }
    return true;
}

}  // namespace fendrel::cli
