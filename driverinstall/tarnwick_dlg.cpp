// The dialog's initialisation: decide, install for the host's Windows, record.
#include "driverinstall/tarnwick_dlg.h"

#include <string>

#include "driverinstall/driver_tables.h"
#include "platform/paths.h"
#include "platform/prompts.h"

namespace tarnwick {
namespace {

using platform::Hive;
using platform::Milliseconds;

constexpr Milliseconds kDevconPauseAfterStart{100};
constexpr Milliseconds kDpinstPauseAfterStart{500};
constexpr int kRescans = 2;

}  // namespace

CTarnwickDlg::CTarnwickDlg(InstallerServices services)
    : clock_(services.clock), host_(services.host), settings_(std::move(services.settings)) {}

int CTarnwickDlg::DoModal() {
    OnInitDialog();
    return result_;
}

void CTarnwickDlg::OnInitDialog() {
    if (!IsAlreadyInstalled()) {
        bool every_package_handed_over = true;
        if (IsWow64())
            InstallOn64BitWindows();
        else
            every_package_handed_over = InstallOn32BitWindows();
        MarkInstalled(every_package_handed_over);
    }
    result_ = kIdOk;  // closes the dialog before it is shown
}

void CTarnwickDlg::InstallOn64BitWindows() {
    RunTool(kDpinstCommand, "", kDpinstPauseAfterStart);
    WaitForInstaller();
}

bool CTarnwickDlg::InstallOn32BitWindows() {
    for (const std::string_view command : kRemoveCommands)
        RunTool(command, kDevconFolder, kDevconPauseAfterStart);
    driver_folder_ = GetModuleFolder() + platform::NativePath(kDriverFolder);
    bool every_package_handed_over = true;
    if (IsWindowsXP())
        every_package_handed_over = InstallInf(kXpOnlyInf);
    for (const std::string_view inf : kInfs)
        every_package_handed_over = InstallInf(inf) && every_package_handed_over;
    for (int rescan = 0; rescan < kRescans; ++rescan)
        RunTool(kRescanCommand, kDevconFolder, kDevconPauseAfterStart);
    return every_package_handed_over;
}

bool CTarnwickDlg::IsAlreadyInstalled() {
    auto key = OpenExistingKey(Hive::kLocalMachine, kInstallKey);
    const std::uint32_t flag = key ? key->QueryDword(kInstallValue).value_or(0) : 0;
    // The flag counts as set when its decimal text (as a signed number) holds the digit 1.
    return std::to_string(static_cast<std::int32_t>(flag)).find('1') != std::string::npos;
}

bool CTarnwickDlg::IsWow64() const {
    return host_.is_64bit;
}

bool CTarnwickDlg::IsWindowsXP() const {
    return host_.family == platform::OsFamily::kWindows && host_.major == 5 && host_.minor == 1;
}

std::string CTarnwickDlg::GetModuleFolder() const {
    std::string folder = platform::ProgramDirectory();
    folder.pop_back();  // the separator ProgramDirectory() always ends in
    return folder;
}

void CTarnwickDlg::MarkInstalled(bool every_package_handed_over) {
    // A package the library never saw is not installed: marked as such, it never would be.
    if (every_package_handed_over)
        SetDwordIfKeyExists(Hive::kLocalMachine, kInstallKey, kInstallValue, kInstalled);
    SetDwordIfKeyExists(Hive::kCurrentUser, kExplorerPoliciesKey, kAutoRunValue,
                        kAutoRunOffForAllDrives);
}

std::optional<platform::SettingsKey> CTarnwickDlg::OpenExistingKey(Hive hive,
                                                                   std::string_view path) {
    std::string error;
    auto key = settings_.OpenKey(hive, path, &error);
    bool& reported = hive_reported_[static_cast<std::size_t>(hive)];
    if (!key && !reported && !settings_.ReadHive(hive)) {
        // Not a missing key but a hive file that does not read: without this the work would be
        // repeated on every run with nobody told why.
        reported = true;
        platform::CurrentPrompts().ShowMessage(error, kProgramName, platform::PromptButtons::kOk,
                                               platform::PromptIcon::kError);
    }
    return key;
}

void CTarnwickDlg::SetDwordIfKeyExists(Hive hive, std::string_view path, std::string_view name,
                                       std::uint32_t number) {
    if (auto key = OpenExistingKey(hive, path))
        key->SetDword(name, number);  // a key that cannot be written keeps its value, unreported
}

}  // namespace tarnwick
