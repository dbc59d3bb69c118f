// The port scan over device trees written by the phone simulator's tree builder, with the
// site's [DEVICEINFO] lists in a config.ini of the test's own.
#include "ports/port_scanner.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "platform/com_name_arbiter.h"
#include "sim/phones/fake_device_tree.h"
#include "sim/phones/phone_modes.h"
#include "tests/support/temp_dir.h"

namespace fendrel {

bool operator==(const PORT_RECORD& a, const PORT_RECORD& b) {
    return a.port_name == b.port_name && a.port_type == b.port_type && a.port_kind == b.port_kind;
}

std::ostream& operator<<(std::ostream& out, const PORT_RECORD& port) {
    return out << "{" << port.port_name << ", " << port.port_type << ", " << port.port_kind << "}";
}

namespace {

using fendrel::testing::TempDir;
using fendrel::testing::WriteFile;
using sim::InterfaceKind;

struct Device {
    std::string usb_path;
    sim::UsbIdentity identity;
};

struct ScanCase {
    const char* name;
    std::vector<Device> devices;
    std::optional<std::string> device_info;  // the [DEVICEINFO] lines; none: no config.ini
    // Port names a technician set before the scan, by instance id.
    std::vector<std::pair<std::string, std::string>> port_names;
    std::vector<PORT_RECORD> expected;
};

void PrintTo(const ScanCase& c, std::ostream* out) {
    *out << c.name;
}

sim::UsbIdentity Usb(std::uint16_t vendor, std::uint16_t product,
                     std::vector<InterfaceKind> interfaces) {
    sim::UsbIdentity identity{vendor, product, 0x0100, "", "", "Device", {}};
    for (std::size_t i = 0; i < interfaces.size(); ++i)
        identity.interfaces.push_back({static_cast<int>(i), interfaces[i], "", "", 0});
    return identity;
}

const sim::UsbIdentity kNormal = sim::NormalModeIdentity("N");
const sim::UsbIdentity kDownload = sim::DownloadModeIdentity("D");
const sim::UsbIdentity kDisk = sim::DiskModeIdentity("S", "", 0);
const sim::UsbIdentity kComposite9008 =
    Usb(0x05C6, 0x9008, {InterfaceKind::kSerial, InterfaceKind::kSerial});
const sim::UsbIdentity kSerialAdapter = Usb(0x0403, 0x6001, {InterfaceKind::kSerial});

constexpr int kDiag = PORT_KIND_DIAG;
constexpr int kDload = PORT_KIND_DLOAD;
constexpr int kStorage = PORT_KIND_STORAGE;

class PortScannerTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(PortScannerTest, ListsThePortsOfTheTree) {
    const ScanCase& c = GetParam();
    TempDir dir;
    sim::FakeDeviceTree tree(dir.File("sys"));
    for (const Device& device : c.devices)
        ASSERT_TRUE(tree.Add(device.usb_path, device.identity)) << tree.error();
    const platform::SettingsStore store(dir.File("registry"));
    for (const auto& [instance_id, name] : c.port_names) {
        const std::string path = platform::ComNameArbiter::DeviceParametersPath(instance_id);
        ASSERT_TRUE(store.CreateKey(platform::Hive::kLocalMachine, path));
        ASSERT_TRUE(
            store.OpenKey(platform::Hive::kLocalMachine, path)->SetString("PortName", name));
    }
    if (c.device_info)
        WriteFile(dir.File("config.ini"), "[INTERFACE]\nPAGES=0\n[DEVICEINFO]\n" + *c.device_info);

    CPortScanner scanner(platform::DeviceEnumerator(tree.root(), store), dir.File("config.ini"));
    scanner.Scan();
    std::vector<PORT_RECORD> listed;
    for (int i = 0; i < scanner.GetPortCount(); ++i)
        listed.push_back(scanner.GetPort(i));
    EXPECT_EQ(listed, c.expected);
    EXPECT_TRUE(scanner.problems().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Discovery, PortScannerTest,
    ::testing::Values(
        ScanCase{"normal_mode_diagnostic_port_with_its_usb_type",
                 {{"1-1", kNormal}},
                 "IsUSBSize=1\nIsUSBHWID1=vid_05c6&pid_9025\nIsUSBType1=Diag\n",
                 {},
                 {{"COM1", "Diag", kDiag}}},
        ScanCase{"download_mode_without_usb_text_is_uart",
                 {{"1-1", kDownload}},
                 "IsUSBSize=1\nIsUSBHWID1=pid_9025\nIsUSBType1=Diag\n",
                 {},
                 {{"COM1", "UART", kDload}}},
        ScanCase{"mi_00_and_9006_listed_once_as_storage",
                 {{"1-1", kDisk}},
                 "",
                 {},
                 {{"COM1", "UART", kStorage}}},
        ScanCase{"mi_00_and_9008_listed_twice",
                 {{"1-1", kComposite9008}},
                 "",
                 {},
                 {{"COM1", "UART", kDiag}, {"COM1", "UART", kDload}, {"COM2", "UART", kDload}}},
        ScanCase{"plain_serial_adapter_not_listed", {{"1-1", kSerialAdapter}}, "", {}, {}},
        ScanCase{"only_com_and_adb_names",
                 {{"1-1", kDownload}, {"1-2", kDownload}, {"1-3", kDownload}},
                 "",
                 {{"USB\\VID_05C6&PID_9008\\1-1", "LPT1"},
                  {"USB\\VID_05C6&PID_9008\\1-2", "ADB1"},
                  {"USB\\VID_05C6&PID_9008\\1-3", "com7"}},
                 {{"ADB1", "UART", kDload}}},
        ScanCase{"excluded_by_a_lower_case_text",
                 {{"1-1", kNormal}, {"1-2", kDownload}},
                 "IsNotSupportPortSize=1\nIsNotSupportPortHWID1=pid_9008\\1-2\n",
                 {},
                 {{"COM1", "UART", kDiag}}},
        ScanCase{"a_missing_exclusion_text_excludes_every_port",
                 {{"1-1", kNormal}, {"1-2", kDownload}},
                 "IsNotSupportPortSize=2\nIsNotSupportPortHWID1=vid_ffff\n",
                 {},
                 {}},
        ScanCase{"a_huge_size_key_still_ends",
                 {{"1-1", kDownload}},
                 "IsNotSupportPortSize=2000000000\nIsNotSupportPortHWID1=vid_ffff\n",
                 {},
                 {}},
        ScanCase{"upper_case_usb_text_never_matches",
                 {{"1-1", kNormal}},
                 "IsUSBSize=1\nIsUSBHWID1=VID_05C6\nIsUSBType1=Diag\n",
                 {},
                 {{"COM1", "UART", kDiag}}},
        ScanCase{"a_match_with_an_empty_type_removes_the_port",
                 {{"1-1", kNormal}, {"1-2", kDownload}},
                 "IsUSBSize=1\nIsUSBHWID1=pid_9008\n",
                 {},
                 {{"COM1", "UART", kDiag}}},
        ScanCase{"the_first_matching_usb_text_decides",
                 {{"1-1", kNormal}, {"1-2", kDownload}},
                 "IsUSBSize=2\nIsUSBHWID1=pid_9008\nIsUSBType1=QDL\n"
                 "IsUSBHWID2=vid_05c6\nIsUSBType2=Phone\n",
                 {},
                 {{"COM1", "Phone", kDiag}, {"COM3", "QDL", kDload}}},
        ScanCase{"modems_are_not_listed_without_a_text",
                 {{"1-1", kNormal}},
                 "",
                 {},
                 {{"COM1", "UART", kDiag}}},
        ScanCase{"accepted_modems_follow_the_ports_by_their_attached_port",
                 {{"1-1", kNormal}, {"1-2", kNormal}},
                 "IsSupportModemSize=1\nIsSupportModemHWID1=&mi_02\n",
                 {},
                 {{"COM1", "UART", kDiag},
                  {"COM3", "UART", kDiag},
                  {"COM5", "UART", kModemPortKind},
                  {"COM6", "UART", kModemPortKind}}},
        ScanCase{"a_modem_attached_to_no_com_port_is_not_listed",
                 {{"1-1", kNormal}},
                 "IsSupportModemSize=1\nIsSupportModemHWID1=mi_02\n",
                 {{"USB\\VID_05C6&PID_9025&MI_02\\1-1", "ADB2"}},
                 {{"COM1", "UART", kDiag}}},
        ScanCase{"without_config_file_nothing_excluded_no_modem",
                 {{"1-1", kNormal}, {"1-2", kDownload}},
                 std::nullopt,
                 {},
                 {{"COM1", "UART", kDiag}, {"COM3", "UART", kDload}}},
        ScanCase{"an_instance_id_longer_than_its_buffer_is_not_read",
                 {{std::string(234, '1'), kDownload}, {std::string(233, '1'), kDownload}},
                 "",
                 {},
                 {{"COM2", "UART", kDload}}}),
    [](const ::testing::TestParamInfo<ScanCase>& case_info) {
        return std::string(case_info.param.name);
    });

TEST(PortScannerRules, EmptyTextsAndEmptyIds) {
    TempDir dir;
    WriteFile(dir.File("config.ini"),
              "[DEVICEINFO]\nIsNotSupportPortSize=1\nIsUSBSize=1\nIsUSBHWID1=pid_9008\n"
              "IsUSBType1=QDL\n");
    const CPortScanner scanner(
        platform::DeviceEnumerator(dir.File("sys"), platform::SettingsStore(dir.File("reg"))),
        dir.File("config.ini"));
    // The missing exclusion text is empty: it matches every id that is not empty itself.
    EXPECT_TRUE(scanner.IsNotSupportedPort("USB\\anything"));
    EXPECT_FALSE(scanner.IsNotSupportedPort(""));
    std::string type = "stale";
    EXPECT_FALSE(scanner.FindUsbType("USB\\VID_05C6&PID_9025\\1-1", type));
    EXPECT_EQ(type, "");
    EXPECT_TRUE(scanner.FindUsbType("USB\\VID_05C6&PID_9008\\1-1", type));
    EXPECT_EQ(type, "QDL");
    EXPECT_FALSE(scanner.IsSupportedModem("USB\\VID_05C6&PID_9025&MI_02\\1-1"));
    EXPECT_EQ(scanner.GetPort(0).port_name, "");  // outside the list: an empty record
    EXPECT_EQ(scanner.GetPort(-1).port_name, "");
}

}  // namespace
}  // namespace fendrel
