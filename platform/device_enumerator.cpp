// Looking a port up by its name (the same on every platform).
#include "platform/device_enumerator.h"
#include "platform/ascii.h"

namespace platform {

std::optional<PresentDevice> DeviceEnumerator::FindPort(std::string_view port_name,
                                                        std::string* error) const {
    for (const DeviceClass device_class : {DeviceClass::kPorts, DeviceClass::kModem}) {
        for (PresentDevice& device : PresentDevices(device_class)) {
            if (!device.port_name.empty() && EqualsIgnoringAsciiCase(device.port_name, port_name))
                return std::move(device);
        }
    }
    if (error != nullptr)
        *error = "no present device is named " + std::string(port_name);
    return std::nullopt;
}

std::optional<std::string> DeviceEnumerator::FindPortNode(std::string_view port_name,
                                                          std::string* error) const {
    if (auto device = FindPort(port_name, error))
        return std::move(device->device_node);
    return std::nullopt;
}

}  // namespace platform
