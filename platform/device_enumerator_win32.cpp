// The device enumerator on Windows: SetupAPI over the present devices of the Ports and Modem
// classes, with the port names Windows keeps in their device keys (PortName in the hardware key,
// AttachedTo in a modem's driver key).
#include <windows.h>

#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include <vector>

#include "platform/device_enumerator.h"
#include "platform/win32_error.h"

namespace platform {
namespace {

// Longest texts read from a device: instance ids and registry texts are far shorter.
constexpr DWORD kTextBytes = 1024;

// A list of the present devices of one class, destroyed with the object.
class DeviceList {
  public:
    explicit DeviceList(const GUID& device_class)
        : set_(SetupDiGetClassDevsA(&device_class, nullptr, nullptr, DIGCF_PRESENT)) {}
    ~DeviceList() {
        if (is_valid())
            SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    bool is_valid() const { return set_ != INVALID_HANDLE_VALUE; }
    HDEVINFO get() const { return set_; }

  private:
    HDEVINFO set_;
};

const GUID& ClassGuid(DeviceClass device_class) {
    return device_class == DeviceClass::kModem ? GUID_DEVCLASS_MODEM : GUID_DEVCLASS_PORTS;
}

// A text property of the device; for a list of texts (REG_MULTI_SZ) the first.
std::string Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<char> buffer(kTextBytes + 2, '\0');
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), kTextBytes,
                                           nullptr))
        return {};
    return std::string(buffer.data());
}

// The text value `name` of the device's hardware key (DIREG_DEV) or driver key (DIREG_DRV).
std::string KeyText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD key_type, const char* name) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, key_type, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    std::vector<char> buffer(kTextBytes + 1, '\0');
    DWORD type = 0;
    DWORD size = kTextBytes;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return {};
    return std::string(buffer.data());
}

}  // namespace

DeviceEnumerator DeviceEnumerator::FromEnvironment() {
    return DeviceEnumerator("", SettingsStore::FromEnvironment());
}

std::vector<PresentDevice> DeviceEnumerator::PresentDevices(
    DeviceClass device_class, std::vector<std::string>* problems) const {
    std::vector<PresentDevice> devices;
    const DeviceList list(ClassGuid(device_class));
    if (!list.is_valid()) {
        if (problems != nullptr)
            problems->push_back(LastErrorText("the devices cannot be listed"));
        return devices;
    }
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(list.get(), index, &info); ++index) {
        char instance[kTextBytes] = {};
        if (!SetupDiGetDeviceInstanceIdA(list.get(), &info, instance, kTextBytes, nullptr)) {
            if (problems != nullptr)
                problems->push_back(LastErrorText("a device without an instance id"));
            continue;
        }
        PresentDevice device;
        device.device_class = device_class;
        device.instance_id = instance;
        device.hardware_id = Property(list.get(), info, SPDRP_HARDWAREID);
        device.friendly_name = Property(list.get(), info, SPDRP_FRIENDLYNAME);
        device.port_name = device_class == DeviceClass::kModem
                               ? KeyText(list.get(), info, DIREG_DRV, "AttachedTo")
                               : KeyText(list.get(), info, DIREG_DEV, "PortName");
        if (!device.port_name.empty())
            device.device_node = "\\\\.\\" + device.port_name;
        else if (problems != nullptr)
            problems->push_back(device.instance_id + ": no port name");
        devices.push_back(std::move(device));
    }
    return devices;
}

bool DeviceEnumerator::CanWalk(std::string* error) const {
    const DeviceList list(GUID_DEVCLASS_PORTS);
    if (list.is_valid())
        return true;
    if (error != nullptr)
        *error = LastErrorText("the devices of the Ports class cannot be listed");
    return false;
}

}  // namespace platform
