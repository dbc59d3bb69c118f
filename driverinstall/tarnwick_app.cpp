#include "driverinstall/tarnwick_app.h"

#include <cstdio>
#include <string>

#include "driverinstall/tarnwick_dlg.h"
#include "platform/clock.h"
#include "platform/host_system.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"

namespace tarnwick {
namespace {

constexpr int kNoHost = 2;
constexpr int kUsageError = 2;

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
    CTarnwickDlg dialog({clock_, *host, platform::SettingsStore::FromEnvironment()});
    dialog.DoModal();
    return false;
}

int RunTarnwick(int argc, char** argv, platform::Clock& clock) {
    if (argc > 1) {
        // Anything on the command line is more likely a request for help than for an install.
        std::fprintf(stderr,
                     "usage: %s\n"
                     "Removes the phones' USB device entries, installs their drivers from the\n"
                     "32bit and 64bit folders and records the install in the registry; a run\n"
                     "after a recorded install does nothing. It takes no arguments.\n",
                     argv[0]);
        return kUsageError;
    }
    CTarnwickApp app(clock);
    app.InitInstance();
    return app.exit_code();
}

}  // namespace tarnwick
