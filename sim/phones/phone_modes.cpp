#include "sim/phones/phone_modes.h"

namespace sim {
namespace {

constexpr std::uint16_t kRevision = 0x0100;
constexpr const char* kManufacturer = "Fendrel simulator";

UsbIdentity Phone(std::uint16_t product, const std::string& serial, const char* name) {
    return UsbIdentity{kPhoneVendor, product, kRevision, serial, kManufacturer, name, {}};
}

}  // namespace

UsbIdentity NormalModeIdentity(const std::string& serial) {
    UsbIdentity identity = Phone(kNormalModeProduct, serial, "Simulated phone");
    identity.interfaces = {
        {kDiagnosticInterface, InterfaceKind::kSerial, "Diagnostics 9025", "", 0},
        {1, InterfaceKind::kNone, "ADB Interface", "", 0},
        {kModemInterface, InterfaceKind::kModem, "Modem", "", 0},
        {3, InterfaceKind::kSerial, "NMEA", "", 0},
        {4, InterfaceKind::kNone, "Network Adapter", "", 0},
    };
    return identity;
}

UsbIdentity DownloadModeIdentity(const std::string& serial) {
    UsbIdentity identity = Phone(kDownloadModeProduct, serial, "Simulated phone download mode");
    identity.interfaces = {{kDiagnosticInterface, InterfaceKind::kSerial, "", "", 0}};
    return identity;
}

UsbIdentity DiskModeIdentity(const std::string& serial, const std::string& disk_image,
                             std::uint64_t disk_bytes) {
    UsbIdentity identity = Phone(kDiskModeProduct, serial, "Simulated phone disk mode");
    identity.interfaces = {
        {kDiagnosticInterface, InterfaceKind::kSerial, "Diagnostics 9006", "", 0},
        {kDiskInterface, InterfaceKind::kDisk, "Mass Storage", disk_image, disk_bytes},
    };
    return identity;
}

}  // namespace sim
