#include "sim/phones/fake_device_tree.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

namespace sim {
namespace {

namespace fs = std::filesystem;

// Our own part of the tree; nothing outside it is ever removed.
constexpr std::string_view kBusFolder = "devices/platform/fendrel-sim/usb1";
constexpr int kSerialMajor = 188;
constexpr int kModemMajor = 166;
constexpr int kDiskMajor = 8;
constexpr int kDiskMinorsPerDisk = 16;
constexpr std::uint64_t kSectorBytes = 512;

std::string Hex(unsigned number, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, number);
    return text;
}

class Writer {
  public:
    void Attribute(const fs::path& folder, const char* name, const std::string& text) {
        std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
        file << text << '\n';
        if (!file)
            Fail("cannot write " + (folder / name).string());
    }
    void Folder(const fs::path& folder) {
        std::error_code failure;
        fs::create_directories(folder, failure);
        if (failure)
            Fail("cannot create " + folder.string() + ": " + failure.message());
    }
    void Link(const fs::path& link, const fs::path& target) {
        std::error_code failure;
        fs::create_directory_symlink(target.lexically_relative(link.parent_path()), link, failure);
        if (failure)
            Fail("cannot link " + link.string() + ": " + failure.message());
    }
    void Fail(std::string text) {
        if (error.empty())
            error = std::move(text);
    }
    std::string error;
};

// The node's uevent: what udev would have made of it.
std::string Uevent(int major, int minor, const std::string& kernel_name, const std::string& node,
                   const char* type) {
    std::string text = "MAJOR=" + std::to_string(major) + "\nMINOR=" + std::to_string(minor) +
                       "\nDEVNAME=" + (node.empty() ? kernel_name : node);
    if (type != nullptr)
        text += std::string("\nDEVTYPE=") + type;
    return text;
}

int NameNumber(const std::string& name, std::string_view prefix, bool letters) {
    const std::string tail = name.substr(prefix.size());
    if (letters)
        return tail.size() == 1 ? tail[0] - 'a' : -1;
    return std::atoi(tail.c_str());
}

}  // namespace

FakeDeviceTree::FakeDeviceTree(std::string root) : root_(std::move(root)) {
    std::error_code ignored;
    const fs::path bus = fs::path(root_) / kBusFolder;
    for (const char* kind : {"class/tty", "class/block"}) {
        const fs::path folder = fs::path(root_) / kind;
        fs::create_directories(folder, ignored);
        for (const auto& entry : fs::directory_iterator(folder, ignored)) {
            const fs::path target = fs::read_symlink(entry.path(), ignored);
            if (!target.empty() && (folder / target)
                                       .lexically_normal()
                                       .string()
                                       .starts_with(bus.lexically_normal().string()))
                fs::remove(entry.path(), ignored);
        }
    }
    fs::remove_all(bus, ignored);
    fs::create_directories(bus, ignored);
}

std::string FakeDeviceTree::DevicePath(std::string_view usb_path) const {
    return (fs::path(root_) / kBusFolder / std::string(usb_path)).string();
}

std::string FakeDeviceTree::FreeName(const std::string& folder, std::string_view prefix,
                                     bool letters, const std::set<std::string>& reserved) const {
    std::set<int> taken;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(root_) / folder, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix))
            taken.insert(NameNumber(name, prefix, letters));
    }
    for (const std::string& name : reserved) {
        if (name.starts_with(prefix))
            taken.insert(NameNumber(name, prefix, letters));
    }
    int number = 0;
    while (taken.contains(number))
        ++number;
    return std::string(prefix) +
           (letters ? std::string(1, static_cast<char>('a' + number)) : std::to_string(number));
}

bool FakeDeviceTree::Add(std::string_view usb_path, const UsbIdentity& identity,
                         std::map<int, std::string>* names) {
    const std::lock_guard lock(mutex_);
    RemoveLocked(usb_path);
    Writer write;
    const fs::path device = DevicePath(usb_path);
    write.Folder(device);
    write.Attribute(device, "idVendor", Hex(identity.vendor, 4));
    write.Attribute(device, "idProduct", Hex(identity.product, 4));
    write.Attribute(device, "bcdDevice", Hex(identity.revision, 4));
    write.Attribute(device, "bNumInterfaces", std::to_string(identity.interfaces.size()));
    write.Attribute(device, "serial", identity.serial);
    write.Attribute(device, "manufacturer", identity.manufacturer);
    write.Attribute(device, "product", identity.product_name);
    write.Attribute(device, "uevent", "DEVTYPE=usb_device");

    // The class links come last; names are reserved here until they exist.
    std::vector<std::pair<fs::path, fs::path>> links;
    std::set<std::string> reserved;
    for (const UsbInterface& interface : identity.interfaces) {
        const fs::path folder =
            device / (std::string(usb_path) + ":1." + std::to_string(interface.number));
        write.Folder(folder);
        write.Attribute(folder, "bInterfaceNumber",
                        Hex(static_cast<unsigned>(interface.number), 2));
        if (!interface.name.empty())
            write.Attribute(folder, "interface", interface.name);
        write.Attribute(folder, "uevent", "DEVTYPE=usb_interface");
        if (interface.kind == InterfaceKind::kNone)
            continue;

        const bool disk = interface.kind == InterfaceKind::kDisk;
        const std::string prefix = disk                                       ? "sd"
                                   : interface.kind == InterfaceKind::kSerial ? "ttyUSB"
                                                                              : "ttyACM";
        const std::string class_folder = disk ? "class/block" : "class/tty";
        const std::string name = FreeName(class_folder, prefix, disk, reserved);
        reserved.insert(name);
        const int number = NameNumber(name, prefix, disk);
        fs::path node;
        if (interface.kind == InterfaceKind::kSerial) {
            node = folder / name / "tty" / name;
            write.Folder(node);
            write.Attribute(node, "dev",
                            std::to_string(kSerialMajor) + ":" + std::to_string(number));
            write.Attribute(node, "uevent",
                            Uevent(kSerialMajor, number, name, interface.node, nullptr));
        } else if (interface.kind == InterfaceKind::kModem) {
            node = folder / "tty" / name;
            write.Folder(node);
            write.Attribute(node, "dev",
                            std::to_string(kModemMajor) + ":" + std::to_string(number));
            write.Attribute(node, "uevent",
                            Uevent(kModemMajor, number, name, interface.node, nullptr));
        } else {
            const std::string host = std::to_string(number);
            const fs::path scsi =
                folder / ("host" + host) / ("target" + host + ":0:0") / (host + ":0:0:0");
            node = scsi / "block" / name;
            write.Folder(node);
            write.Attribute(scsi, "model", identity.product_name);
            const int minor = number * kDiskMinorsPerDisk;
            const std::uint64_t sectors = interface.disk_bytes / kSectorBytes;
            write.Attribute(node, "dev", std::to_string(kDiskMajor) + ":" + std::to_string(minor));
            write.Attribute(node, "size", std::to_string(sectors));
            write.Attribute(node, "removable", "1");
            write.Attribute(node, "ro", interface.read_only ? "1" : "0");
            write.Attribute(node, "uevent",
                            Uevent(kDiskMajor, minor, name, interface.node, "disk"));
            const int partitions = std::clamp(interface.partitions, 0, kDiskMinorsPerDisk - 1);
            for (int n = 1; n <= partitions; ++n) {
                const std::string part_name = name + std::to_string(n);
                const fs::path part = node / part_name;
                const std::uint64_t share = sectors / static_cast<std::uint64_t>(partitions);
                write.Folder(part);
                write.Attribute(part, "partition", std::to_string(n));
                write.Attribute(part, "start",
                                std::to_string(share * static_cast<unsigned>(n - 1)));
                write.Attribute(part, "size", std::to_string(share));
                write.Attribute(part, "dev",
                                std::to_string(kDiskMajor) + ":" + std::to_string(minor + n));
                write.Attribute(
                    part, "uevent",
                    Uevent(
                        kDiskMajor, minor + n, part_name,
                        interface.node.empty() ? "" : interface.node + "-part" + std::to_string(n),
                        "partition"));
                links.emplace_back(fs::path(root_) / class_folder / part_name, part);
            }
        }
        links.emplace_back(fs::path(root_) / class_folder / name, node);
        if (names != nullptr)
            (*names)[interface.number] = name;
    }
    std::vector<std::string>& owned = links_[std::string(usb_path)];
    for (const auto& [link, target] : links) {
        write.Link(link, target);
        owned.push_back(link.string());
    }
    error_ = write.error;
    if (!error_.empty()) {
        RemoveLocked(usb_path);
        return false;
    }
    return true;
}

void FakeDeviceTree::Remove(std::string_view usb_path) {
    const std::lock_guard lock(mutex_);
    RemoveLocked(usb_path);
}

void FakeDeviceTree::RemoveLocked(std::string_view usb_path) {
    std::error_code ignored;
    if (const auto owned = links_.find(usb_path); owned != links_.end()) {
        for (const std::string& link : owned->second)
            fs::remove(link, ignored);
        links_.erase(owned);
    }
    fs::remove_all(DevicePath(usb_path), ignored);
}

}  // namespace sim
