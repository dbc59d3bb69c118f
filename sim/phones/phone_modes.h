// The identities a simulated phone shows on the bus in each of its modes.
//
//   normal mode   05C6:9025, composite: 0 DIAG (ttyUSB), 1 ADB, 2 modem (ttyACM),
//                 3 NMEA (ttyUSB), 4 network
//   download mode 05C6:9008, one interface: 0 (ttyUSB)
//   disk mode     05C6:9006, composite: 0 DIAG (ttyUSB), 1 mass storage (the phone's flash as
//                 a disk, backed by an image file)
#pragma once

#include <cstdint>
#include <string>

#include "sim/phones/fake_device_tree.h"

namespace sim {

inline constexpr std::uint16_t kPhoneVendor = 0x05C6;
inline constexpr std::uint16_t kNormalModeProduct = 0x9025;
inline constexpr std::uint16_t kDownloadModeProduct = 0x9008;
inline constexpr std::uint16_t kDiskModeProduct = 0x9006;
// The tty the phone protocols run on, in every mode.
inline constexpr int kDiagnosticInterface = 0;
inline constexpr int kModemInterface = 2;
inline constexpr int kDiskInterface = 1;

UsbIdentity NormalModeIdentity(const std::string& serial);
UsbIdentity DownloadModeIdentity(const std::string& serial);
// The flash appears as a disk of `disk_bytes` backed by the file `disk_image` (created sparse
// when the phone is plugged and the file is missing).
UsbIdentity DiskModeIdentity(const std::string& serial, const std::string& disk_image,
                             std::uint64_t disk_bytes);

}  // namespace sim
