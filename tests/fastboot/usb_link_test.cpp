// The USB link: names, a device that is not there, and a real fastboot device when one is
// attached.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fastboot/protocol.h"
#include "fastboot/transport/adb_api.h"
#include "fastboot/transport/adb_errors.h"
#include "fastboot/transport/adb_link.h"

namespace brenlo {
namespace {

TEST(UsbLink, RefusesNamesThatAreNotABusAndPortPath) {
    for (const char* name : {"", "1", "1-", "-4", "0-1", "1-0", "1-4.", "1-4..3", "1-4.x", "256-1",
                             "1-1.1.1.1.1.1.1.1", "1-4:1.0"}) {
        SCOPED_TRACE(name);
        unsigned long error = 0;
        EXPECT_EQ(OpenUsbLink(name, &error), nullptr);
        EXPECT_EQ(error, kErrorInvalidName);
    }
}

TEST(UsbLink, ADeviceThatIsNotThereIsNotFound) {
    unsigned long error = 0;
    EXPECT_EQ(OpenUsbLink("250-7.7.7", &error), nullptr);
    EXPECT_EQ(error, kErrorFileNotFound);
}

std::string ReadAttribute(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string value;
    in >> value;
    return value;
}

// The first attached device with a fastboot interface, as "usb:BUS-PORTS"; empty when none.
std::string AttachedFastbootDevice() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/usb/devices", error)) {
        const std::string name = entry.path().filename();
        if (name.find(':') == std::string::npos)
            continue;
        if (ReadAttribute(entry.path() / "bInterfaceClass") == "ff" &&
            ReadAttribute(entry.path() / "bInterfaceSubClass") == "42" &&
            ReadAttribute(entry.path() / "bInterfaceProtocol") == "03")
            return "usb:" + name.substr(0, name.find(':'));
    }
    return "";
}

TEST(UsbHardware, TalksToAnAttachedFastbootDevice) {
    const std::string name = AttachedFastbootDevice();
    if (name.empty())
        GTEST_SKIP() << "no fastboot device attached";
    const std::wstring wide(name.begin(), name.end());
    SystemAdbApi api;
    fb_connection* connection = device_open(wide.c_str(), api, platform::SystemClock());
    ASSERT_NE(connection, nullptr)
        << "cannot open " << name << " (error " << api.GetLastError() << ")";
    char response[kResponseSize];
    EXPECT_EQ(send_command(connection, "getvar:version", response), 0) << connection->error;
    device_release(connection);
}

}  // namespace
}  // namespace brenlo
