#include "driverinstall/tarnwick_app.h"

#include <string>

#include "driverinstall/tarnwick_dlg.h"
#include "platform/clock.h"
#include "platform/host_system.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"

namespace tarnwick {
namespace {

constexpr int kNoHost = 2;

}  // namespace

bool CTarnwickApp::InitInstance() {
    // Control containers and 3D controls, which the framework enables here, do not exist
    // without a window system; the dialog uses neither.
    std::string error;
    const auto host = platform::QueryHostSystem(&error);
    if (!host) {
        platform::CurrentPrompts().ShowMessage(error, kProgramName, platform::PromptButtons::kOk,
                                               platform::PromptIcon::kError);
        exit_code_ = kNoHost;
        return false;
    }
    CTarnwickDlg dialog(
        {platform::SystemClock(), *host, platform::SettingsStore::FromEnvironment()});
    dialog.DoModal();
    return false;
}

}  // namespace tarnwick
