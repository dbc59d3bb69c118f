// Installing one INF package through the driver-package library.
#include <algorithm>
#include <array>

#include "driverinstall/driver_package.h"
#include "driverinstall/driver_tables.h"
#include "driverinstall/tarnwick_dlg.h"
#include "platform/paths.h"
#include "platform/wide_text.h"

namespace tarnwick {
namespace {

// The wide INF path the library is given, terminator included.
constexpr std::size_t kInfPathCapacity = 1024;
constexpr int kLibraryLoadAttempts = 2;

}  // namespace

bool CTarnwickDlg::InstallInf(std::string_view inf_name) {
    const auto path = platform::WideFromNative(platform::JoinPath(driver_folder_, inf_name));
    // A path that does not fit is skipped: cut short it would name another file.
    if (!path || path->size() >= kInfPathCapacity)
        return false;
    std::array<wchar_t, kInfPathCapacity> inf_path{};
    std::copy(path->begin(), path->end(), inf_path.begin());

    const std::string library = platform::JoinPath(driver_folder_, kDriverPackageLibrary);
    bool loaded = false;
    for (int attempt = 0; attempt < kLibraryLoadAttempts && !loaded; ++attempt)
        loaded = difxapi_.Load(library);
    if (!loaded)
        return false;

    // What the library answers is not examined: a package that does not install is left as it
    // is, and the next one is tried.
    if (const auto preinstall = reinterpret_cast<DriverPackagePreinstallW>(
            difxapi_.Symbol("DriverPackagePreinstallW"))) {
        preinstall(inf_path.data(), kDriverPackageLegacyMode);
    }
    if (const auto install =
            reinterpret_cast<DriverPackageInstallW>(difxapi_.Symbol("DriverPackageInstallW"))) {
        install(inf_path.data(), kDriverPackageLegacyMode, nullptr, nullptr);
    }
    difxapi_.Free();
    return true;
}

}  // namespace tarnwick
