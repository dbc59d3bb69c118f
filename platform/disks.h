// Disks: the stand-in for the logical drives, \\.\PhysicalDriveN and
// IOCTL_STORAGE_GET_DEVICE_NUMBER.
//
// A phone in its 9006 mode shows its flash as a disk, and the raw-disk route writes that disk
// sector by sector. Writing the wrong disk destroys a computer's data, so a Disk tells everything
// the route and the raw programmer need to be sure of their target: the path a writer opens, the
// size, the USB device the disk belongs to, its partitions, and what of the computer rests on it
// (CheckDiskUse).
//
// The POSIX backend lists the whole disks (not their partitions) of class/block in the sysfs tree
// ($FENDREL_SYSFS_ROOT, default /sys), in the order of their kernel names. The USB device is the
// nearest folder above the disk holding idVendor; its place is that folder's name ("1-3"), the
// same place the device enumerator writes at the end of an instance id. The path is the disk's
// DEVNAME below /dev (an absolute DEVNAME, as a simulated tree writes for a disk image, is taken
// as it stands). A disk holds the system when the file system of the root folder or of the
// running program lies on it: the tree's dev/block entry of that file system's device, followed
// from a partition to its disk and from a mapped device (LVM, encryption, RAID) to the disks under
// it. The Win32 backend answers the same for \\.\PhysicalDriveN.
//
// Blocking: reads the tree (and stats the device nodes); never opens a disk. Any thread; the
// objects hold only a folder name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/mount_table.h"

namespace platform {

// The USB device a disk belongs to.
struct DiskUsb {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string place;  // where the device is plugged: "1-3", "2-1.4"
};

struct DiskPartition {
    std::string path;           // "/dev/sdb1"
    std::string device_number;  // "8:17"; empty when the system did not say
};

struct Disk {
    std::string name;           // the system's name for it: "sdb", "PhysicalDrive2"
    std::string path;           // what a writer opens: "/dev/sdb", "\\.\PhysicalDrive2"
    std::string device_number;  // "8:16"; empty when the system did not say
    std::uint64_t bytes = 0;
    bool read_only = false;
    std::optional<DiskUsb> usb;  // none for a disk not attached through USB
    std::vector<DiskPartition> partitions;
    bool held = false;          // the disk or a partition carries a mapped device (LVM, RAID...)
    bool holds_system = false;  // the root folder's or the running program's file system is on it
};

class DiskEnumerator {
  public:
    explicit DiskEnumerator(std::string sysfs_root) : sysfs_root_(std::move(sysfs_root)) {}
    // The tree of $FENDREL_SYSFS_ROOT (default /sys).
    static DiskEnumerator FromEnvironment();

    // The whole disks present now. A disk that vanishes while the tree is read is left out.
    std::vector<Disk> WholeDisks() const;

    // The disk that `path` names, as the path a writer opens or the device it is: the disk
    // itself, or (with `partition` set) the disk of the partition `path` names. None when no
    // present disk or partition is that path.
    struct Found {
        Disk disk;
        bool partition = false;
    };
    std::optional<Found> Find(const std::string& path) const;

    const std::string& sysfs_root() const { return sysfs_root_; }

  private:
    std::string sysfs_root_;
};

// What of the computer rests on a disk, the first that applies in this order.
enum class DiskUse {
    kFree,
    kHoldsSystem,  // the root folder's or the program's file system
    kMounted,      // the disk or one of its partitions is mounted
    kHeld,         // it carries a mapped device
    kUnknown,      // the mount table cannot be read: nothing can be ruled out
};

struct DiskUseCheck {
    DiskUse use = DiskUse::kFree;
    std::string detail;  // a sentence for a technician: "/dev/sdb1 is mounted on /media/x"
};

// Whether anything of the computer rests on `disk`, with `mounts` as the file systems mounted
// now. A mount counts when its source is the disk's or a partition's path (after following
// links) or a device node of one of their device numbers.
DiskUseCheck CheckDiskUse(const Disk& disk, const MountTable& mounts);

}  // namespace platform
