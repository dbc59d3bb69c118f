// What Tarnwick removes, installs and records: the tool commands, the INF packages and the
// registry values.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tarnwick {

// The device entries removed before the 32-bit install: every interface of the phones' USB
// composite device (product 0x9025) under both of their vendor ids. Each tail follows the
// working folder and "\32bit" on the command line.
inline constexpr std::array<std::string_view, 12> kRemoveCommands = {
    "\\devcon.exe remove \"USB\\VID_05c6&PID_9025&MI_00\"",
    "\\devcon.exe remove \"USB\\VID_05c6&PID_9025&MI_05\"",
    "\\devcon.exe remove \"USB\\VID_05c6&PID_9025&MI_02\"",
    "\\devcon.exe remove \"USB\\VID_05c6&PID_9025&MI_03\"",
    "\\devcon.exe remove \"USB\\VID_05c6&PID_9025&MI_04\"",
    "\\devcon.exe remove \"USB\\VID_2949&PID_9025&MI_00\"",
    "\\devcon.exe remove \"USB\\VID_2949&PID_9025&MI_05\"",
    "\\devcon.exe remove \"USB\\VID_2949&PID_9025&MI_02\"",
    "\\devcon.exe remove \"USB\\VID_2949&PID_9025&MI_03\"",
    "\\devcon.exe remove \"USB\\VID_2949&PID_9025&MI_04\"",
    "\\devcon.exe remove \"USB\\VID_2949&PID_9025&MI_01\"",
    "\\devcon.exe remove \"USB\\VID_05c6&PID_9025&MI_01\"",
};
inline constexpr std::string_view kRescanCommand = "\\devcon.exe rescan";
// The folder of devcon.exe below the working folder.
inline constexpr std::string_view kDevconFolder = "\\32bit";

// The 64-bit install: one quiet run of the driver package installer, which follows the working
// folder directly.
inline constexpr std::string_view kDpinstCommand = "\\64bit\\DPInst.exe /q";
// The name the wait for the installer looks for. Executable names compare without regard to
// case, so it finds the "DPInst.exe" that was started.
inline constexpr std::string_view kDpinstProcessName = "DPinst.exe";

// The driver folder below the program's folder: the INF packages and DIFxAPI.dll.
inline constexpr std::string_view kDriverFolder = "\\32bit";
inline constexpr std::string_view kDriverPackageLibrary = "DIFxAPI.dll";
// Installed on Windows XP only, before the others.
inline constexpr std::string_view kXpOnlyInf = "wpdmtp.inf";
// Installed on every 32-bit Windows, in this order.
inline constexpr std::array<std::string_view, 5> kInfs = {
    "kestomdm.inf", "kestonet.inf", "kestoser.inf", "lintasdrv.inf", "android_usb.inf",
};

// HKEY_LOCAL_MACHINE: whether the drivers were installed (read at start, 1 written at the end).
inline constexpr std::string_view kInstallKey = "SOFTWARE\\Tarnwick";
inline constexpr std::string_view kInstallValue = "bInstall";
inline constexpr std::uint32_t kInstalled = 1;
// HKEY_CURRENT_USER: AutoRun switched off for every drive type (never restored).
inline constexpr std::string_view kExplorerPoliciesKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
inline constexpr std::string_view kAutoRunValue = "NoDriveTypeAutoRun";
inline constexpr std::uint32_t kAutoRunOffForAllDrives = 255;

}  // namespace tarnwick
