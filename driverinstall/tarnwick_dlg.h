// Tarnwick's main dialog, which is the whole program: its initialisation removes the phones' old
// USB device entries, installs their drivers, records that it has done so, and closes the
// dialog before it is ever shown.
//
// On 32-bit Windows devcon.exe (in "32bit" under the working folder) removes the 12 device
// entries and rescans the bus, and DIFxAPI.dll (in "32bit" under the program's folder)
// installs the INF packages that lie beside it. On 64-bit Windows DPInst.exe (in "64bit" under
// the working folder) does all of it. The working folder and the program's folder are taken
// separately: a shortcut may start the program in another folder.
//
// Threads: everything runs on the calling thread, one tool after another. Blocks while the tools
// run (each until it has closed its output) and during the fixed pauses, which all go through
// the clock it is given.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/host_system.h"
#include "platform/processes.h"
#include "platform/settings_store.h"

namespace tarnwick {

// What the installer works with; tests pass a virtual clock, a host of their choosing and a
// store in a folder of their own.
struct InstallerServices {
    platform::Clock& clock;
    platform::HostSystem host;
    platform::SettingsStore settings;
};

// The dialog's result when it closes as if OK was pressed.
inline constexpr int kIdOk = 1;
// The program's name: the dialog's caption and that of its message boxes.
inline constexpr std::string_view kProgramName = "Tarnwick";

// The dialog (template 102 on Windows: the program's name as caption, no controls).
class CTarnwickDlg {
  public:
    explicit CTarnwickDlg(InstallerServices services);

    // Runs the dialog. Its initialisation does the whole work and ends it; returns kIdOk.
    int DoModal();

  private:
    void OnInitDialog();
    void InstallOn64BitWindows();
    // True when every INF package was handed to the driver-package library.
    bool InstallOn32BitWindows();

    bool IsAlreadyInstalled();
    bool IsWow64() const;
    bool IsWindowsXP() const;
    // The program's folder, without a trailing separator.
    std::string GetModuleFolder() const;
    // Runs the working folder + `folder_part` + `tail` hidden, draining its output until it
    // closes it. A tool that cannot be started is reported and skipped.
    void RunTool(std::string_view tail, std::string_view folder_part,
                 platform::Milliseconds pause_after_start);
    // The id of the first running process whose executable is `name` (any case), or 0.
    platform::ProcessId FindProcess(std::string_view name) const;
    // Waits while the driver package installer runs, at most kInstallerWaitPauses pauses.
    void WaitForInstaller();
    // Hands one INF package to the driver-package library; false when it could not (the library
    // does not load, or the path does not fit). What the library makes of it is not examined.
    bool InstallInf(std::string_view inf_name);
    // Turns AutoRun off, and records the install unless a package could not be handed over, so
    // that the next run tries again.
    void MarkInstalled(bool every_package_handed_over);

    // The key at `path` when it exists (it is never created). A hive file that cannot be read
    // is reported once per hive; a key that is simply missing is not.
    std::optional<platform::SettingsKey> OpenExistingKey(platform::Hive hive,
                                                         std::string_view path);
    void SetDwordIfKeyExists(platform::Hive hive, std::string_view path, std::string_view name,
                             std::uint32_t number);

    platform::Clock& clock_;
    const platform::HostSystem host_;
    const platform::SettingsStore settings_;
    std::array<bool, 2> hive_reported_{};  // by platform::Hive
    // The program's folder followed by "32bit": where the INF files and DIFxAPI.dll lie.
    std::string driver_folder_;
    // DIFxAPI.dll while one INF is being installed.
    platform::DynamicLibrary difxapi_;
    int result_ = 0;
};

}  // namespace tarnwick
