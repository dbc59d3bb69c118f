// Present serial devices from a sysfs tree.
#include <algorithm>
#include <filesystem>

#include "platform/ascii.h"
#include "platform/com_name_arbiter.h"
#include "platform/device_enumerator.h"
#include "platform/sysfs_posix.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using sysfs::Attribute;
using sysfs::Hex;

constexpr std::string_view kPortsPrefix = "ttyUSB";
constexpr std::string_view kModemPrefix = "ttyACM";
constexpr std::string_view kDefaultPortsName = "USB Serial Port";
constexpr std::string_view kDefaultModemName = "USB Modem";

// ttyUSB10 sorts after ttyUSB2.
bool TtyNameLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& name) {
        std::size_t digits = name.size();
        while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
            --digits;
        return std::pair(name.substr(0, digits), name.size() - digits);
    };
    const auto [prefix_a, length_a] = split(a);
    const auto [prefix_b, length_b] = split(b);
    if (prefix_a != prefix_b)
        return prefix_a < prefix_b;
    if (length_a != length_b)
        return length_a < length_b;
    return a < b;
}

// The tree's root as a canonical path; empty, with `error` saying why, when it is not a folder
// that can be listed.
fs::path TreeRoot(const std::string& sysfs_root, std::string* error) {
    std::error_code failure;
    fs::path root = fs::canonical(sysfs_root, failure);
    if (!failure)
        fs::directory_iterator(root, failure);
    if (!failure)
        return root;
    if (error != nullptr)
        *error =
            sysfs_root + ": the device tree is not a readable folder (" + failure.message() + ")";
    return {};
}

class TreeWalk {
  public:
    TreeWalk(const DeviceEnumerator& enumerator, std::vector<std::string>* problems)
        : enumerator_(enumerator), problems_(problems) {
        std::string error;
        root_ = TreeRoot(enumerator.sysfs_root(), &error);
        if (root_.empty() && problems_ != nullptr)
            problems_->push_back(error);
    }

    std::vector<PresentDevice> Devices(DeviceClass device_class) {
        std::vector<PresentDevice> devices;
        if (root_.empty())
            return devices;
        const std::string_view prefix =
            device_class == DeviceClass::kPorts ? kPortsPrefix : kModemPrefix;
        for (const std::string& tty : TtyNames(prefix)) {
            if (auto device = Describe(tty, device_class))
                devices.push_back(std::move(*device));
        }
        return devices;
    }

  private:
    std::vector<std::string> TtyNames(std::string_view prefix) {
        std::vector<std::string> names;
        std::error_code failure;
        for (fs::directory_iterator entry(root_ / "class" / "tty", failure), end;
             !failure && entry != end; entry.increment(failure)) {
            std::string name = entry->path().filename().string();
            if (name.size() > prefix.size() && name.starts_with(prefix))
                names.push_back(std::move(name));
        }
        std::sort(names.begin(), names.end(), TtyNameLess);
        return names;
    }

    void Problem(const std::string& tty, const std::string& text) {
        if (problems_ != nullptr)
            problems_->push_back(tty + ": " + text);
    }

    std::optional<PresentDevice> Describe(const std::string& tty, DeviceClass device_class) {
        std::error_code failure;
        const fs::path tty_folder = fs::canonical(root_ / "class" / "tty" / tty, failure);
        if (failure)
            return std::nullopt;  // unplugged while we looked
        // The interface and the USB device above the tty.
        const fs::path interface_folder =
            sysfs::AncestorWith(tty_folder, root_, "bInterfaceNumber");
        const fs::path usb_folder = interface_folder.empty()
                                        ? fs::path()
                                        : sysfs::AncestorWith(interface_folder, root_, "idVendor");
        if (usb_folder.empty())
            return std::nullopt;  // not a USB port

        const auto vendor = sysfs::NumberAttribute(usb_folder, "idVendor", 16, 0xFFFF);
        const auto product = sysfs::NumberAttribute(usb_folder, "idProduct", 16, 0xFFFF);
        const auto revision = sysfs::NumberAttribute(usb_folder, "bcdDevice", 16, 0xFFFF);
        const auto interface =
            sysfs::NumberAttribute(interface_folder, "bInterfaceNumber", 16, 0xFF);
        const auto interfaces = sysfs::NumberAttribute(usb_folder, "bNumInterfaces", 10, 0xFF);
        if (!vendor || !product || !revision || !interface || !interfaces) {
            Problem(tty, "the USB device " + usb_folder.string() +
                             " lacks a well-formed idVendor, idProduct, bcdDevice, "
                             "bNumInterfaces or bInterfaceNumber");
            return std::nullopt;
        }

        const std::string usb_ids = "USB\\VID_" + Hex(*vendor, 4) + "&PID_" + Hex(*product, 4);
        const std::string interface_id = *interfaces > 1 ? "&MI_" + Hex(*interface, 2) : "";
        PresentDevice device;
        device.device_class = device_class;
        device.instance_id = usb_ids + interface_id + "\\" + usb_folder.filename().string();
        device.hardware_id = usb_ids + "&REV_" + Hex(*revision, 4) + interface_id;

        std::string error;
        const ComNameArbiter arbiter(enumerator_.store());
        if (auto name = arbiter.NameFor(device.instance_id, &error))
            device.port_name = std::move(*name);
        else
            Problem(tty, "no port name: " + error);

        std::string name = Attribute(interface_folder, "interface");
        if (name.empty())
            name = Attribute(usb_folder, "product");
        if (device_class == DeviceClass::kModem) {
            device.friendly_name = name.empty() ? std::string(kDefaultModemName) : name;
        } else {
            device.friendly_name = name.empty() ? std::string(kDefaultPortsName) : name;
            if (!device.port_name.empty())
                device.friendly_name += " (" + device.port_name + ")";
        }

        device.device_node = sysfs::DeviceNode(tty_folder, tty);
        return device;
    }

    const DeviceEnumerator& enumerator_;
    std::vector<std::string>* problems_;
    fs::path root_;
};

}  // namespace

DeviceEnumerator DeviceEnumerator::FromEnvironment() {
    return DeviceEnumerator(sysfs::RootFromEnvironment(), SettingsStore::FromEnvironment());
}

std::vector<PresentDevice> DeviceEnumerator::PresentDevices(
    DeviceClass device_class, std::vector<std::string>* problems) const {
    return TreeWalk(*this, problems).Devices(device_class);
}

bool DeviceEnumerator::CanWalk(std::string* error) const {
    if (TreeRoot(sysfs_root_, error).empty())
        return false;
    std::string hive_error;
    if (store_.ReadHive(Hive::kLocalMachine, &hive_error))
        return true;
    if (error != nullptr)
        *error = "the port names cannot be read: " + hive_error;
    return false;
}

}  // namespace platform
