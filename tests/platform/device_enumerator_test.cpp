// The device enumerator and the COM name arbiter, on device trees written by the phone
// simulator's tree builder.
#include "platform/device_enumerator.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/com_name_arbiter.h"
#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_modes.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;

class DeviceEnumeratorTest : public ::testing::Test {
  protected:
    std::vector<PresentDevice> Present(DeviceClass device_class) {
        problems_.clear();
        return devices_.PresentDevices(device_class, &problems_);
    }

    TempDir dir_;
    sim::FakeDeviceTree tree_{dir_.File("sys")};
    SettingsStore store_{dir_.File("registry")};
    DeviceEnumerator devices_{tree_.root(), store_};
    std::vector<std::string> problems_;
};

TEST_F(DeviceEnumeratorTest, GivesWindowsIdentitiesToPortsAndModems) {
    sim::UsbIdentity phone = sim::NormalModeIdentity("S1");
    phone.revision = 0x2a3;
    phone.interfaces[0].node = "/dev/pts/77";
    ASSERT_TRUE(tree_.Add("1-2", phone));
    ASSERT_TRUE(tree_.Add("3-1.4", sim::DownloadModeIdentity("S2")));

    const auto ports = Present(DeviceClass::kPorts);
    EXPECT_TRUE(problems_.empty());
    ASSERT_EQ(ports.size(), 3u);  // DIAG and NMEA of 1-2, the download port of 3-1.4
    EXPECT_EQ(ports[0].instance_id, "USB\\VID_05C6&PID_9025&MI_00\\1-2");
    EXPECT_EQ(ports[0].hardware_id, "USB\\VID_05C6&PID_9025&REV_02A3&MI_00");
    EXPECT_EQ(ports[0].port_name, "COM1");
    EXPECT_EQ(ports[0].friendly_name, "Diagnostics 9025 (COM1)");
    EXPECT_EQ(ports[0].device_node, "/dev/pts/77");
    EXPECT_EQ(ports[1].instance_id, "USB\\VID_05C6&PID_9025&MI_03\\1-2");
    EXPECT_EQ(ports[1].device_node, "/dev/ttyUSB1");  // no node given: the kernel's name
    // A device with one interface has no MI_ part; without an interface name the product's.
    EXPECT_EQ(ports[2].instance_id, "USB\\VID_05C6&PID_9008\\3-1.4");
    EXPECT_EQ(ports[2].hardware_id, "USB\\VID_05C6&PID_9008&REV_0100");
    EXPECT_EQ(ports[2].friendly_name, "Simulated phone download mode (COM3)");

    const auto modems = Present(DeviceClass::kModem);
    ASSERT_EQ(modems.size(), 1u);
    EXPECT_EQ(modems[0].instance_id, "USB\\VID_05C6&PID_9025&MI_02\\1-2");
    EXPECT_EQ(modems[0].friendly_name, "Modem");
    EXPECT_EQ(modems[0].port_name, "COM4");
    EXPECT_EQ(modems[0].device_node, "/dev/ttyACM0");
}

TEST_F(DeviceEnumeratorTest, ListsInTheOrderOfTtyNumbers) {
    for (int i = 1; i <= 11; ++i)
        ASSERT_TRUE(tree_.Add("1-" + std::to_string(i), sim::DownloadModeIdentity("")));
    const auto ports = Present(DeviceClass::kPorts);
    ASSERT_EQ(ports.size(), 11u);
    EXPECT_EQ(ports[2].device_node, "/dev/ttyUSB2");
    EXPECT_EQ(ports[10].device_node, "/dev/ttyUSB10");
}

TEST_F(DeviceEnumeratorTest, LeavesOutWhatIsNotAUsbSerialPortAndSaysWhy) {
    ASSERT_TRUE(tree_.Add("1-1", sim::DownloadModeIdentity("")));
    ASSERT_TRUE(tree_.Add("1-2", sim::DownloadModeIdentity("")));
    WriteFile(tree_.root() + "/devices/platform/fendrel-sim/usb1/1-2/idVendor", "zz\n");
    // A tty without a USB device above it (the board's own serial port).
    std::filesystem::create_directories(tree_.root() + "/devices/platform/serial8250/tty/ttyUSB9");
    std::filesystem::create_directory_symlink("../../devices/platform/serial8250/tty/ttyUSB9",
                                              tree_.root() + "/class/tty/ttyUSB9");
    // A link left behind by a device that is gone.
    std::filesystem::create_directory_symlink("../../devices/gone",
                                              tree_.root() + "/class/tty/ttyUSB8");

    const auto ports = Present(DeviceClass::kPorts);
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].instance_id, "USB\\VID_05C6&PID_9008\\1-1");
    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_NE(problems_[0].find("ttyUSB1"), std::string::npos) << problems_[0];
    EXPECT_NE(problems_[0].find("idVendor"), std::string::npos) << problems_[0];
}

TEST_F(DeviceEnumeratorTest, ATreeThatIsNotThereIsReported) {
    const DeviceEnumerator nowhere(dir_.File("missing"), store_);
    std::vector<std::string> problems;
    EXPECT_TRUE(nowhere.PresentDevices(DeviceClass::kPorts, &problems).empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("missing"), std::string::npos);
}

TEST_F(DeviceEnumeratorTest, APortWithoutANameIsListedNamelessWithItsReason) {
    ASSERT_TRUE(tree_.Add("1-1", sim::DownloadModeIdentity("")));
    WriteFile(store_.HivePath(Hive::kLocalMachine), "not a hive");
    const auto ports = Present(DeviceClass::kPorts);
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].port_name, "");
    EXPECT_EQ(ports[0].friendly_name, "Simulated phone download mode");
    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_NE(problems_[0].find("HKEY_LOCAL_MACHINE.reg"), std::string::npos) << problems_[0];
}

TEST_F(DeviceEnumeratorTest, FindsTheNodeOfAPortByName) {
    sim::UsbIdentity phone = sim::NormalModeIdentity("S1");
    phone.interfaces[2].node = "/dev/pts/5";  // the modem
    ASSERT_TRUE(tree_.Add("1-1", phone));
    Present(DeviceClass::kPorts);  // names COM1 and COM2
    EXPECT_EQ(devices_.FindPortNode("com3"), "/dev/pts/5");
    std::string error;
    EXPECT_FALSE(devices_.FindPortNode("COM9", &error).has_value());
    EXPECT_EQ(error, "no present device is named COM9");
}

TEST(ComNameArbiter, NamesEachDeviceOnceWithTheLowestFreeNumber) {
    TempDir dir;
    const SettingsStore store(dir.File("registry"));
    const ComNameArbiter arbiter(store);
    const std::string a = "USB\\VID_05C6&PID_9025&MI_00\\1-1";
    const std::string b = "USB\\VID_05C6&PID_9008\\1-1";
    EXPECT_EQ(arbiter.NameFor(a), "COM1");
    EXPECT_EQ(arbiter.NameFor(b), "COM2");
    EXPECT_EQ(arbiter.NameFor("usb\\vid_05c6&pid_9025&mi_00\\1-1"), "COM1");  // ids ignore case

    // A technician renames b; its number becomes free, and a name that is no COM port is kept.
    auto key = store.OpenKey(Hive::kLocalMachine, ComNameArbiter::DeviceParametersPath(b));
    ASSERT_TRUE(key.has_value());
    ASSERT_TRUE(key->SetString("PortName", "LPT1"));
    EXPECT_EQ(arbiter.NameFor(b), "LPT1");
    EXPECT_EQ(arbiter.NameFor("USB\\VID_0403&PID_6001\\2-1"), "COM2");
    EXPECT_EQ(arbiter.NameFor("USB\\VID_0403&PID_6001\\2-2"), "COM3");

    std::string error;
    EXPECT_FALSE(arbiter.NameFor("a\\\\b", &error).has_value());
    EXPECT_FALSE(error.empty());
}

TEST(ComNameArbiter, PortNumbers) {
    EXPECT_EQ(ComPortNumber("COM12"), 12u);
    EXPECT_EQ(ComPortNumber("com3"), 3u);
    EXPECT_FALSE(ComPortNumber("COM0").has_value());
    EXPECT_FALSE(ComPortNumber("COM").has_value());
    EXPECT_FALSE(ComPortNumber("COM1a").has_value());
    EXPECT_FALSE(ComPortNumber("LPT1").has_value());
    EXPECT_FALSE(ComPortNumber("COM12345678901").has_value());
}

}  // namespace
}  // namespace platform
