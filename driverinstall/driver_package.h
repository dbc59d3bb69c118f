// The driver-package library (DIFxAPI.dll): the two calls Tarnwick makes of it, looked up by
// name when the library is loaded.
#pragma once

#include <cstdint>

// TARNWICK_WINAPI, the library's calling convention (__stdcall on Windows, nothing elsewhere), is
// defined by the build (driverinstall/CMakeLists.txt).

namespace tarnwick {

// DRIVER_PACKAGE_LEGACY_MODE: install a package even when it is not signed for this Windows.
inline constexpr std::uint32_t kDriverPackageLegacyMode = 0x10;

// DWORD DriverPackagePreinstallW(PCWSTR inf_path, DWORD flags)
using DriverPackagePreinstallW = std::uint32_t(TARNWICK_WINAPI*)(const wchar_t* inf_path,
                                                                 std::uint32_t flags);
// DWORD DriverPackageInstallW(PCWSTR inf_path, DWORD flags, PCINSTALLERINFO_W installer,
//                             BOOL* need_reboot); both pointers may be null.
using DriverPackageInstallW = std::uint32_t(TARNWICK_WINAPI*)(const wchar_t* inf_path,
                                                              std::uint32_t flags,
                                                              const void* installer,
                                                              int* need_reboot);

}  // namespace tarnwick
