// Every section and key of config.ini, with its default.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace fendrel::config {

inline constexpr std::string_view kInterface = "INTERFACE";
inline constexpr std::string_view kFunction = "FUNCTION";
inline constexpr std::string_view kDeviceInfo = "DEVICEINFO";

struct IntKey {
    std::string_view section;
    std::string_view name;
    int default_value;
};

struct TextKey {
    std::string_view section;
    std::string_view name;
    std::string_view default_value;
};

// [INTERFACE]: which page buttons and controls the pages offer.
inline constexpr IntKey kPages{kInterface, "PAGES", 0};
inline constexpr IntKey kAppCheck{kInterface, "APPCHECK", 1};
inline constexpr IntKey kAppCombo{kInterface, "APPCOMBO", 1};
inline constexpr IntKey kAppButton{kInterface, "APPBUTTON", 1};
inline constexpr IntKey kBootCheck{kInterface, "BOOTCHECK", 1};
inline constexpr IntKey kBootCombo{kInterface, "BOOTCOMBO", 0};
inline constexpr IntKey kBootButton{kInterface, "BOOTBUTTON", 0};
inline constexpr IntKey kBaudRateBox{kInterface, "BAUDRATEBOX", 1};
inline constexpr IntKey kEsnCheck{kInterface, "ESNCHECK", 1};
inline constexpr IntKey kRfCheck{kInterface, "RFCHECK", 1};

// [FUNCTION]: initial states of the controls and per-download options.
inline constexpr IntKey kAppSelect{kFunction, "APPSELECT", 1};
inline constexpr TextKey kAppFile{kFunction, "APPFILE", ""};
inline constexpr IntKey kBootSelect{kFunction, "BOOTSELECT", 0};
inline constexpr TextKey kBootFile{kFunction, "BOOTFILE", ""};
inline constexpr IntKey kBaudRate{kFunction, "BAUDRATE", 0};
inline constexpr IntKey kEraseEfs{kFunction, "ERASEEFS", 0};
inline constexpr IntKey kBackupEsn{kFunction, "BACKUPESN", 0};
inline constexpr IntKey kBackupRf{kFunction, "BACKUPRF", 0};
inline constexpr IntKey kCheckSum{kFunction, "CHECKSUM", 0};
inline constexpr IntKey kCheckMatch{kFunction, "CHECKMATCH", 0};

// [DEVICEINFO]: the hardware-id lists of port discovery. Each list is a size key and numbered
// keys from 1 to the size ("IsUSBHWID1", ...); numbered texts default to empty.
inline constexpr IntKey kNotSupportPortSize{kDeviceInfo, "IsNotSupportPortSize", 0};
inline constexpr std::string_view kNotSupportPortHwidFormat = "IsNotSupportPortHWID%d";
inline constexpr IntKey kUsbSize{kDeviceInfo, "IsUSBSize", 0};
inline constexpr std::string_view kUsbHwidFormat = "IsUSBHWID%d";
inline constexpr std::string_view kUsbTypeFormat = "IsUSBType%d";
inline constexpr IntKey kSupportModemSize{kDeviceInfo, "IsSupportModemSize", 0};
inline constexpr std::string_view kSupportModemHwidFormat = "IsSupportModemHWID%d";

// The numbered key "<prefix><number>" of a list, for example NumberedKey(kUsbHwidFormat, 2) is
// "IsUSBHWID2".
std::string NumberedKey(std::string_view format, int number);

// Every integer key, in the order of the shipped file.
inline constexpr std::array kIntKeys = {
    kPages,
    kAppCheck,
    kAppCombo,
    kAppButton,
    kBootCheck,
    kBootCombo,
    kBootButton,
    kBaudRateBox,
    kEsnCheck,
    kRfCheck,
    kAppSelect,
    kBootSelect,
    kBaudRate,
    kEraseEfs,
    kBackupEsn,
    kBackupRf,
    kCheckSum,
    kCheckMatch,
    kNotSupportPortSize,
    kUsbSize,
    kSupportModemSize,
};

}  // namespace fendrel::config
