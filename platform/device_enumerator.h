// The device enumerator: the present serial devices of the Ports and Modem classes, with the
// identities SetupAPI gives them on Windows.
//
// The POSIX backend walks a sysfs tree ($FENDREL_SYSFS_ROOT, default /sys): every tty in
// class/tty whose device has a USB ancestor, ttyUSB* in the Ports class and ttyACM* in the Modem
// class. From the USB device (idVendor, idProduct, bcdDevice, bNumInterfaces) and the interface
// (bInterfaceNumber) above the tty it forms Windows' texts, hex digits in upper case:
//   instance id  USB\VID_05C6&PID_9025&MI_00\1-2      (MI_ only on a device with more than one
//   hardware id  USB\VID_05C6&PID_9025&REV_0228&MI_00  interface; 1-2 is the USB device's place)
// so an id names the phone's socket and mode, not the phone. Port names come from the COM name
// arbiter (a device seen for the first time is named then). The device node is the tty's DEVNAME
// (its uevent) below /dev; a DEVNAME that is an absolute path is taken as it stands, which is how
// a simulated tree points a tty at a pseudo-terminal.
//
// Blocking: reads the tree and the settings store, no device is opened. Threads: any; the object
// holds only two folder names. A device that vanishes during a walk is simply not listed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"

namespace platform {

enum class DeviceClass { kPorts, kModem };

struct PresentDevice {
    DeviceClass device_class = DeviceClass::kPorts;
    std::string instance_id;
    std::string hardware_id;    // the first of the device's hardware ids
    std::string friendly_name;  // Ports class: "<interface or product name> (COMn)"
    // "PortName" of the device's hardware key; a modem's driver key holds the same name as
    // "AttachedTo". Empty when the arbiter could not name the device.
    std::string port_name;
    std::string device_node;  // "/dev/ttyUSB0"
};

// Where the device of `instance_id` is plugged: the part after its last backslash ("1-2").
inline std::string UsbPlaceOf(std::string_view instance_id) {
    const std::size_t separator = instance_id.rfind('\\');
    return std::string(separator == std::string_view::npos ? std::string_view()
                                                           : instance_id.substr(separator + 1));
}

class DeviceEnumerator {
  public:
    DeviceEnumerator(std::string sysfs_root, SettingsStore store)
        : sysfs_root_(std::move(sysfs_root)), store_(std::move(store)) {}

    // $FENDREL_SYSFS_ROOT (default /sys) and the settings store of the environment.
    static DeviceEnumerator FromEnvironment();

    // The present devices of `device_class`, in the order of their tty names (ttyUSB2 before
    // ttyUSB10). Only a device whose tree entry is malformed is left out; one the arbiter could
    // not name is listed without a port name. Each such problem is appended to `problems` as a
    // sentence naming the tty.
    std::vector<PresentDevice> PresentDevices(DeviceClass device_class,
                                              std::vector<std::string>* problems = nullptr) const;

    // Whether walks can list and name the devices at all: the tree's root is a readable folder
    // and the settings store's HKEY_LOCAL_MACHINE hive, where the port names are kept, reads and
    // parses. False, with `error` naming the folder or the hive file and the fault, when not;
    // every device would then be missing or nameless for the same one reason.
    bool CanWalk(std::string* error) const;

    // The present port named `port_name` (compared without case, either class). None, with
    // `error` set, when no present device has that name.
    std::optional<PresentDevice> FindPort(std::string_view port_name,
                                          std::string* error = nullptr) const;
    // The device node of that port.
    std::optional<std::string> FindPortNode(std::string_view port_name,
                                            std::string* error = nullptr) const;

    const std::string& sysfs_root() const { return sysfs_root_; }
    const SettingsStore& store() const { return store_; }

  private:
    std::string sysfs_root_;
    SettingsStore store_;
};

}  // namespace platform
