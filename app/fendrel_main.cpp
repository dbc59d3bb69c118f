// fendrel: the station's window. The start checks come first (a second copy and a broken
// config.ini are refused before any window), then the main window with both download pages over
// the real engine: the ports of the device tree, the registry of this user, the flash plugins
// beside the program.
#include <QApplication>

#include "app/ini_file.h"
#include "app/startup.h"
#include "engine/nv_backup.h"
#include "engine/raw_disk_route.h"
#include "engine/station_services.h"
#include "history/result_history.h"
#include "platform/settings_store.h"
#include "ui/choosers.h"
#include "ui/main_window.h"
#include "ui/qt_prompts.h"
#include "version/version_option.h"

int main(int argc, char** argv) {
    if (fendrel::ShowVersionIfAsked(argc, argv, "fendrel"))
        return 0;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fendrel"));
    QApplication::setDesktopFileName(QStringLiteral("fendrel"));
    fendrel::ui::QtPrompts prompts;
    platform::InstallPrompts(&prompts);

    const platform::SettingsStore settings = platform::SettingsStore::FromEnvironment();
    platform::InstanceGuard guard(settings.directory(), fendrel::kInstanceGuardName);
    if (!fendrel::PassStartChecks(guard, fendrel::ConfigFilePath(), prompts))
        return 1;

    fendrel::StationServices services;
    fendrel::NvBackup nv_backup;
    fendrel::RawDiskRoute raw_disk;
    fendrel::ui::DialogChoosers choosers;
    const fendrel::ui::PageServices page_services{services.ForWorkers(nv_backup, raw_disk),
                                                  services.devices(),
                                                  settings,
                                                  fendrel::ConfigFilePath(),
                                                  choosers,
                                                  fendrel::history::StationHistoryPath()};
    int result = 0;
    {
        fendrel::ui::CMainFrame frame(page_services);
        frame.show();
        result = QApplication::exec();
    }  // the pages go here, each retiring its workers
    platform::InstallPrompts(nullptr);
    return result;
}
