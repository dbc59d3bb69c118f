#include "sim/phones/fake_device_tree.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "sim/phones/phone_modes.h"
#include "tests/support/temp_dir.h"

namespace sim {
namespace {

namespace fs = std::filesystem;
using fendrel::testing::ReadFile;
using fendrel::testing::TempDir;

TEST(FakeDeviceTree, WritesTheKernelsLayoutAndReusesFreedNames) {
    TempDir dir;
    FakeDeviceTree tree(dir.File("sys"));
    std::map<int, std::string> names;
    ASSERT_TRUE(tree.Add("1-1", NormalModeIdentity("A"), &names)) << tree.error();
    EXPECT_EQ(names, (std::map<int, std::string>{{0, "ttyUSB0"}, {2, "ttyACM0"}, {3, "ttyUSB1"}}));
    const std::string device = tree.root() + "/devices/platform/fendrel-sim/usb1/1-1";
    EXPECT_EQ(ReadFile(device + "/idProduct"), "9025\n");
    EXPECT_EQ(ReadFile(device + "/bNumInterfaces"), "5\n");
    EXPECT_EQ(ReadFile(device + "/1-1:1.3/bInterfaceNumber"), "03\n");
    EXPECT_EQ(fs::canonical(tree.root() + "/class/tty/ttyUSB1"),
              fs::canonical(device + "/1-1:1.3/ttyUSB1/tty/ttyUSB1"));

    ASSERT_TRUE(tree.Add("1-2", DiskModeIdentity("B", "/images/b.img", 1 << 20), &names));
    EXPECT_EQ(names[0], "ttyUSB2");
    EXPECT_EQ(names[1], "sda");
    const fs::path disk = fs::canonical(tree.root() + "/class/block/sda");
    EXPECT_EQ(ReadFile((disk / "size").string()), "2048\n");
    EXPECT_NE(ReadFile((disk / "uevent").string()).find("DEVNAME=/images/b.img\n"),
              std::string::npos);

    tree.Remove("1-1");
    EXPECT_FALSE(fs::exists(device));
    EXPECT_FALSE(fs::is_symlink(tree.root() + "/class/tty/ttyUSB0"));
    ASSERT_TRUE(tree.Add("1-3", DownloadModeIdentity("C"), &names));
    EXPECT_EQ(names[0], "ttyUSB0");
}

TEST(FakeDeviceTree, ANewTreeClearsWhatAnEarlierOneLeftAndNothingElse) {
    TempDir dir;
    {
        FakeDeviceTree killed(dir.File("sys"));
        ASSERT_TRUE(killed.Add("1-1", DownloadModeIdentity("A")));
    }
    const std::string foreign = dir.File("sys/class/tty/ttyS0");
    fs::create_directories(dir.File("sys/devices/platform/serial8250/tty/ttyS0"));
    fs::create_directory_symlink("../../devices/platform/serial8250/tty/ttyS0", foreign);

    const FakeDeviceTree tree(dir.File("sys"));
    EXPECT_FALSE(fs::exists(dir.File("sys/class/tty/ttyUSB0")));
    EXPECT_FALSE(fs::exists(dir.File("sys/devices/platform/fendrel-sim/usb1/1-1")));
    EXPECT_TRUE(fs::exists(foreign));
}

}  // namespace
}  // namespace sim
