// Whole disks from a sysfs tree, and what of the running system rests on them.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/disks.h"
#include "platform/paths.h"
#include "platform/sysfs_posix.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// sysfs gives sizes in units of 512 bytes, whatever the disk's own sector size.
constexpr std::uint64_t kSizeUnit = 512;
// Mapped devices stacked deeper than this are not followed (a loop in a broken tree).
constexpr int kMaxStackDepth = 16;

std::string DeviceNumberText(dev_t number) {
    return std::to_string(major(number)) + ":" + std::to_string(minor(number));
}

// The device number of the block device node `path`; empty for anything else.
std::string BlockDeviceNumber(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode))
        return {};
    return DeviceNumberText(status.st_rdev);
}

bool SamePath(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return false;
    std::error_code failure;
    const fs::path canonical_a = fs::weakly_canonical(a, failure);
    if (failure)
        return a == b;
    const fs::path canonical_b = fs::weakly_canonical(b, failure);
    return failure ? a == b : canonical_a == canonical_b;
}

bool HasEntries(const fs::path& folder) {
    std::error_code failure;
    const fs::directory_iterator entries(folder, failure);
    return !failure && entries != fs::directory_iterator();
}

class DiskTree {
  public:
    explicit DiskTree(const std::string& sysfs_root) {
        std::error_code failure;
        root_ = fs::canonical(sysfs_root, failure);
        if (!failure)
            system_disks_ = SystemDiskFolders();
    }

    std::vector<Disk> WholeDisks() const {
        std::vector<Disk> disks;
        if (root_.empty())
            return disks;
        std::vector<std::string> names;
        std::error_code failure;
        for (fs::directory_iterator entry(root_ / "class" / "block", failure), end;
             !failure && entry != end; entry.increment(failure))
            names.push_back(entry->path().filename().string());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            std::error_code gone;
            const fs::path folder = fs::canonical(root_ / "class" / "block" / name, gone);
            if (!gone && !fs::exists(folder / "partition", gone))
                disks.push_back(Describe(name, folder));
        }
        return disks;
    }

  private:
    Disk Describe(const std::string& name, const fs::path& folder) const {
        Disk disk;
        disk.name = name;
        disk.path = sysfs::DeviceNode(folder, name);
        disk.device_number = sysfs::Attribute(folder, "dev");
        const auto units = sysfs::NumberAttribute(folder, "size", 10, UINT64_MAX / kSizeUnit);
        disk.bytes = units.value_or(0) * kSizeUnit;
        disk.read_only = sysfs::Attribute(folder, "ro") == "1";
        if (const fs::path usb = sysfs::AncestorWith(folder, root_, "idVendor"); !usb.empty()) {
            const auto vendor = sysfs::NumberAttribute(usb, "idVendor", 16, 0xFFFF);
            const auto product = sysfs::NumberAttribute(usb, "idProduct", 16, 0xFFFF);
            if (vendor && product)
                disk.usb = DiskUsb{static_cast<std::uint16_t>(*vendor),
                                   static_cast<std::uint16_t>(*product), usb.filename().string()};
        }
        disk.held = HasEntries(folder / "holders");
        std::error_code failure;
        std::vector<fs::path> partitions;
        for (fs::directory_iterator entry(folder, failure), end; !failure && entry != end;
             entry.increment(failure)) {
            std::error_code ignored;
            if (fs::exists(entry->path() / "partition", ignored))
                partitions.push_back(entry->path());
        }
        std::sort(partitions.begin(), partitions.end());
        for (const fs::path& partition : partitions) {
            disk.partitions.push_back({sysfs::DeviceNode(partition, partition.filename().string()),
                                       sysfs::Attribute(partition, "dev")});
            disk.held = disk.held || HasEntries(partition / "holders");
        }
        disk.holds_system = system_disks_.contains(folder);
        return disk;
    }

    // The folders of the whole disks that hold the root folder's and the program's file systems.
    std::set<fs::path> SystemDiskFolders() const {
        std::set<fs::path> disks;
        const std::string program = ProgramDirectory();
        for (const std::string& path : {std::string("/"), program}) {
            struct stat status {};
            if (stat(path.c_str(), &status) != 0)
                continue;
            std::error_code failure;
            const fs::path device =
                fs::canonical(root_ / "dev" / "block" / DeviceNumberText(status.st_dev), failure);
            if (!failure)
                AddDisksUnder(device, 0, disks);
        }
        return disks;
    }

    // The whole disks that the block device at `folder` lies on: its own disk for a partition,
    // the disks under a mapped device, else itself.
    void AddDisksUnder(const fs::path& folder, int depth, std::set<fs::path>& disks) const {
        std::error_code failure;
        if (fs::exists(folder / "partition", failure)) {
            disks.insert(folder.parent_path());
            return;
        }
        bool stacked = false;
        if (depth < kMaxStackDepth) {
            for (fs::directory_iterator entry(folder / "slaves", failure), end;
                 !failure && entry != end; entry.increment(failure)) {
                std::error_code gone;
                const fs::path below = fs::canonical(entry->path(), gone);
                if (!gone) {
                    AddDisksUnder(below, depth + 1, disks);
                    stacked = true;
                }
            }
        }
        if (!stacked)
            disks.insert(folder);
    }

    fs::path root_;
    std::set<fs::path> system_disks_;
};

}  // namespace

DiskEnumerator DiskEnumerator::FromEnvironment() {
    return DiskEnumerator(sysfs::RootFromEnvironment());
}

std::vector<Disk> DiskEnumerator::WholeDisks() const {
    return DiskTree(sysfs_root_).WholeDisks();
}

std::optional<DiskEnumerator::Found> DiskEnumerator::Find(const std::string& path) const {
    const std::string number = BlockDeviceNumber(path);
    for (Disk& disk : WholeDisks()) {
        if (SamePath(path, disk.path) || (!number.empty() && number == disk.device_number))
            return Found{std::move(disk), false};
        for (const DiskPartition& partition : disk.partitions) {
            if (SamePath(path, partition.path) ||
                (!number.empty() && number == partition.device_number))
                return Found{std::move(disk), true};
        }
    }
    return std::nullopt;
}

DiskUseCheck CheckDiskUse(const Disk& disk, const MountTable& mounts) {
    if (disk.holds_system)
        return {DiskUse::kHoldsSystem,
                disk.path + " holds the file system of the root folder or of this program"};
    std::string error;
    const auto mounted = mounts.Mounts(&error);
    if (!mounted)
        return {DiskUse::kUnknown, error};
    std::vector<std::pair<std::string, std::string>> nodes{{disk.path, disk.device_number}};
    for (const DiskPartition& partition : disk.partitions)
        nodes.emplace_back(partition.path, partition.device_number);
    for (const Mount& mount : *mounted) {
        if (!mount.source.starts_with('/'))
            continue;  // proc, tmpfs, a network share: no disk of ours
        const std::string number = BlockDeviceNumber(mount.source);
        for (const auto& [path, device_number] : nodes) {
            if (SamePath(mount.source, path) || (!number.empty() && number == device_number))
                return {DiskUse::kMounted, path + " is mounted on " + mount.mount_point};
        }
    }
    if (disk.held)
        return {DiskUse::kHeld, disk.path +
                                    " carries a mapped device (a volume group, an "
                                    "encrypted volume or a RAID)"};
    return {};
}

}  // namespace platform
