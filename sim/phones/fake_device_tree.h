// A fake sysfs tree of USB devices, written the way the kernel lays out the real one, so that
// the product's device enumerator reads it unchanged (point FENDREL_SYSFS_ROOT at root()).
//
// For a device plugged at USB place "1-3" it writes
//   devices/platform/fendrel-sim/usb1/1-3/            idVendor idProduct bcdDevice serial
//                                                     manufacturer product bNumInterfaces uevent
//   .../1-3/1-3:1.0/                                  bInterfaceNumber interface uevent
//   .../1-3:1.0/ttyUSB0/tty/ttyUSB0/                  dev uevent (DEVNAME=the node)   serial
//   .../1-3:1.2/tty/ttyACM0/                          dev uevent                      modem
//   .../1-3:1.1/host0/target0:0:0/0:0:0:0/block/sda/  size dev uevent removable ro    disk
//   .../block/sda/sda1/                               partition size dev uevent       partition
//   class/tty/ttyUSB0 -> ../../devices/...            (class/block/sda, sda1 likewise)
// A tty's DEVNAME is the absolute path of the node it stands for (a pseudo-terminal, a disk
// image file), or the kernel's name when no node is given; a partition's is the disk's followed by
// "-part<n>" (nothing opens it). The class links are made last and
// removed first, so a reader never sees half a device.
//
// Threads: any; one tree object per root folder (names are handed out by the object).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class InterfaceKind {
    kNone,    // an interface without a node of ours (ADB, network)
    kSerial,  // a USB serial port: ttyUSB<n>
    kModem,   // a CDC ACM modem: ttyACM<n>
    kDisk,    // mass storage: a SCSI disk sd<x>
};

struct UsbInterface {
    int number = 0;
    InterfaceKind kind = InterfaceKind::kNone;
    std::string name;  // the interface string, may be empty
    // The device node a tty or disk stands for; the kernel's name (/dev/ttyUSB0) when empty.
    std::string node;
    std::uint64_t disk_bytes = 0;  // kDisk: the disk's size
    int partitions = 0;            // kDisk: partitions 1 to this, each an equal share of it
    bool read_only = false;        // kDisk: the kernel refuses writes to it
};

struct UsbIdentity {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t revision = 0;
    std::string serial;
    std::string manufacturer;
    std::string product_name;
    std::vector<UsbInterface> interfaces;
};

class FakeDeviceTree {
  public:
    // A tree in `root`, created when missing. Devices left in it by an earlier tree object (a
    // simulator that was killed) are removed first.
    explicit FakeDeviceTree(std::string root);
    FakeDeviceTree(const FakeDeviceTree&) = delete;
    FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

    // Writes the device at USB place `usb_path` ("1-3"), replacing one already there. Returns
    // the kernel names given to its ttys and disks, by interface number. False (and nothing
    // written) when the tree cannot be written; error() says why.
    bool Add(std::string_view usb_path, const UsbIdentity& identity,
             std::map<int, std::string>* names = nullptr);
    // Removes the device at `usb_path`, if any.
    void Remove(std::string_view usb_path);

    const std::string& root() const { return root_; }
    const std::string& error() const { return error_; }

  private:
    std::string DevicePath(std::string_view usb_path) const;
    // The lowest kernel name of `prefix` free in the class folder and not in `reserved`.
    std::string FreeName(const std::string& folder, std::string_view prefix, bool letters,
                         const std::set<std::string>& reserved) const;
    void RemoveLocked(std::string_view usb_path);

    std::string root_;
    std::string error_;
    std::mutex mutex_;
    // Per USB place: the class links it owns, so Remove takes them away first.
    std::map<std::string, std::vector<std::string>, std::less<>> links_;
};

}  // namespace sim
