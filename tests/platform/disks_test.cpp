// The disks service and the mount table, on device trees written by the phone simulator's tree
// builder and on mount tables written by the test.
#include "platform/disks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "platform/paths.h"
#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_modes.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

constexpr std::uint64_t kDiskBytes = 8ull << 20;

// Makes the dev/block entry of tree `root` for the device that holds `path` point at `folder`.
void PointDeviceOf(const std::string& root, const std::string& path, const fs::path& folder) {
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    const fs::path entry =
        fs::path(root) / "dev/block" /
        (std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev)));
    fs::create_directories(entry.parent_path());
    std::error_code already;  // the root folder and the program may share a file system
    fs::create_directory_symlink(folder, entry, already);
}

class DisksTest : public ::testing::Test {
  protected:
    // A disk-mode phone at `place` whose disk is the image `image` with `partitions`.
    void AddPhone(const std::string& place, const std::string& image, int partitions = 0,
                  bool read_only = false) {
        sim::UsbIdentity phone = sim::DiskModeIdentity("S", dir_.File(image), kDiskBytes);
        phone.interfaces[sim::kDiskInterface].partitions = partitions;
        phone.interfaces[sim::kDiskInterface].read_only = read_only;
        ASSERT_TRUE(tree_.Add(place, phone)) << tree_.error();
    }
    // A block device that no USB device carries (the computer's own disk, a mapped device), with
    // `partitions` partitions.
    fs::path AddInternalDisk(const std::string& name, int partitions = 0) {
        const fs::path disk = fs::path(tree_.root()) / "devices/pci0000:00/ata1/block" / name;
        WriteFile((disk / "size").string(), "1000\n");
        WriteFile((disk / "dev").string(), "250:0\n");
        for (int n = 1; n <= partitions; ++n)
            WriteFile((disk / (name + std::to_string(n)) / "partition").string(), "1\n");
        fs::create_directory_symlink(disk, fs::path(tree_.root()) / "class/block" / name);
        return disk;
    }
    const Disk* Named(const std::vector<Disk>& disks, const std::string& name) {
        for (const Disk& disk : disks) {
            if (disk.name == name)
                return &disk;
        }
        return nullptr;
    }
    MountTable Mounts(const std::string& table) {
        WriteFile(dir_.File("mounts"), table);
        return MountTable(dir_.File("mounts"));
    }

    TempDir dir_;
    sim::FakeDeviceTree tree_{dir_.File("sys")};
    DiskEnumerator disks_{tree_.root()};
};

TEST_F(DisksTest, ListsWholeDisksWithTheirUsbDevicePathSizeAndPartitions) {
    AddPhone("1-2", "one.img", 2);
    AddPhone("2-1.4", "two.img", 0, true);
    AddInternalDisk("vda", 1);

    const std::vector<Disk> disks = disks_.WholeDisks();
    ASSERT_EQ(disks.size(), 3u);  // partitions are not disks
    const Disk* one = Named(disks, "sda");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->path, dir_.File("one.img"));
    EXPECT_EQ(one->bytes, kDiskBytes);
    EXPECT_FALSE(one->read_only);
    ASSERT_TRUE(one->usb.has_value());
    EXPECT_EQ(one->usb->vendor, sim::kPhoneVendor);
    EXPECT_EQ(one->usb->product, sim::kDiskModeProduct);
    EXPECT_EQ(one->usb->place, "1-2");
    EXPECT_EQ(one->device_number, "8:0");
    ASSERT_EQ(one->partitions.size(), 2u);
    EXPECT_EQ(one->partitions[0].path, dir_.File("one.img") + "-part1");
    EXPECT_EQ(one->partitions[1].device_number, "8:2");

    const Disk* two = Named(disks, "sdb");
    ASSERT_NE(two, nullptr);
    EXPECT_TRUE(two->read_only);
    EXPECT_EQ(two->usb->place, "2-1.4");

    const Disk* internal = Named(disks, "vda");
    ASSERT_NE(internal, nullptr);
    EXPECT_FALSE(internal->usb.has_value());
    EXPECT_EQ(internal->path, "/dev/vda");  // no DEVNAME: the kernel's name
    EXPECT_FALSE(internal->holds_system);

    EXPECT_TRUE(DiskEnumerator(dir_.File("missing")).WholeDisks().empty());
}

TEST_F(DisksTest, FindsTheDiskOfAPathAndTellsAPartitionFromAWholeDisk) {
    AddPhone("1-1", "one.img", 3);
    const auto whole = disks_.Find(dir_.File("one.img"));
    ASSERT_TRUE(whole.has_value());
    EXPECT_FALSE(whole->partition);
    EXPECT_EQ(whole->disk.name, "sda");

    const auto partition = disks_.Find(dir_.File("one.img") + "-part2");
    ASSERT_TRUE(partition.has_value());
    EXPECT_TRUE(partition->partition);
    EXPECT_EQ(partition->disk.name, "sda");

    // The same file under another name is the same disk.
    WriteFile(dir_.File("one.img"), "");
    fs::create_symlink(dir_.File("one.img"), dir_.File("alias.img"));
    EXPECT_TRUE(disks_.Find(dir_.File("alias.img")).has_value());
    EXPECT_FALSE(disks_.Find(dir_.File("other.img")).has_value());
}

TEST_F(DisksTest, ADiskHoldingTheRootOrTheProgramIsMarked) {
    // Through a partition of the disk, and through a mapped device whose slave is a partition.
    struct Case {
        const char* name;
        bool through_mapped_device;
    } cases[] = {{"a partition", false}, {"a mapped device", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        sim::FakeDeviceTree tree(dir.File("sys"));
        sim::UsbIdentity phone = sim::DiskModeIdentity("S", dir.File("one.img"), kDiskBytes);
        phone.interfaces[sim::kDiskInterface].partitions = 2;
        ASSERT_TRUE(tree.Add("1-1", phone));
        ASSERT_TRUE(tree.Add("1-2", sim::DiskModeIdentity("T", dir.File("two.img"), kDiskBytes)));
        const fs::path partition = fs::canonical(fs::path(tree.root()) / "class/block/sda2");
        fs::path device = partition;
        if (c.through_mapped_device) {
            device = fs::path(tree.root()) / "devices/virtual/block/dm-0";
            fs::create_directories(device / "slaves");
            fs::create_directory_symlink(partition, device / "slaves/sda2");
        }
        PointDeviceOf(tree.root(), "/", device);
        PointDeviceOf(tree.root(), ProgramDirectory(), device);
        const std::vector<Disk> disks = DiskEnumerator(tree.root()).WholeDisks();
        ASSERT_EQ(disks.size(), 2u);
        EXPECT_TRUE(disks[0].holds_system);
        EXPECT_FALSE(disks[1].holds_system);
        WriteFile(dir.File("empty"), "");
        const MountTable none(dir.File("empty"));
        EXPECT_EQ(CheckDiskUse(disks[0], none).use, DiskUse::kHoldsSystem);
        EXPECT_EQ(CheckDiskUse(disks[1], none).use, DiskUse::kFree);
    }
}

TEST_F(DisksTest, WhatRestsOnADisk) {
    AddPhone("1-1", "one.img", 2);
    WriteFile(dir_.File("one.img") + "-part2", "");
    fs::create_symlink(dir_.File("one.img") + "-part2", dir_.File("by-label"));
    const Disk disk = disks_.WholeDisks().at(0);
    const std::string part1 = dir_.File("one.img") + "-part1";
    struct Case {
        const char* name;
        std::string table;
        DiskUse use;
    } cases[] = {
        {"nothing of it mounted", "proc /proc proc rw 0 0\n/dev/vda1 / ext4 rw 0 0\n",
         DiskUse::kFree},
        {"a partition", "/dev/vda1 / ext4 rw 0 0\n" + part1 + " /media/x vfat rw 0 0\n",
         DiskUse::kMounted},
        {"the disk itself", disk.path + " /media/y vfat rw 0 0\n", DiskUse::kMounted},
        {"a partition by a link to it", dir_.File("by-label") + " /mnt ext4 rw 0 0\n",
         DiskUse::kMounted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DiskUseCheck check = CheckDiskUse(disk, Mounts(c.table));
        EXPECT_EQ(check.use, c.use) << check.detail;
    }
    EXPECT_EQ(CheckDiskUse(disk, Mounts(part1 + " /media/x vfat rw 0 0\n")).detail,
              part1 + " is mounted on /media/x");

    const DiskUseCheck unreadable = CheckDiskUse(disk, MountTable(dir_.File("no-table")));
    EXPECT_EQ(unreadable.use, DiskUse::kUnknown);
    EXPECT_NE(unreadable.detail.find("no-table"), std::string::npos);

    // A partition that carries a mapped device is in use, mounted or not.
    fs::create_directories(fs::canonical(fs::path(tree_.root()) / "class/block/sda1") /
                           "holders/dm-3");
    EXPECT_EQ(CheckDiskUse(disks_.WholeDisks().at(0), Mounts("")).use, DiskUse::kHeld);
}

TEST(MountTable, ReadsSourcesAndMountPointsWithTheirEscapes) {
    TempDir dir;
    WriteFile(dir.File("mounts"),
              "/dev/sdb1 /media/my\\040phone vfat rw 0 0\n"
              "\n"
              "tmpfs /tmp tmpfs rw 0 0\n"
              "/dev/odd\\134name /a\\011b ext4 rw 0 0");
    const auto mounts = MountTable(dir.File("mounts")).Mounts();
    ASSERT_TRUE(mounts.has_value());
    ASSERT_EQ(mounts->size(), 3u);
    EXPECT_EQ((*mounts)[0].source, "/dev/sdb1");
    EXPECT_EQ((*mounts)[0].mount_point, "/media/my phone");
    EXPECT_EQ((*mounts)[1].source, "tmpfs");
    EXPECT_EQ((*mounts)[2].source, "/dev/odd\\name");
    EXPECT_EQ((*mounts)[2].mount_point, "/a\tb");

    std::string error;
    EXPECT_FALSE(MountTable(dir.File("none")).Mounts(&error).has_value());
    EXPECT_NE(error.find("none"), std::string::npos);
    EXPECT_TRUE(MountTable::System().Mounts().has_value());
}

}  // namespace
}  // namespace platform
