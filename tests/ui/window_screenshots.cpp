// Screenshots of the real window in the middle of runs, for the README: four simulated firehose
// phones (the fourth refusing every write) written from an image set by the multi-download page,
// then, once they are back in normal mode, the single-download page upgrading them from the same
// folder. Run under Xvfb by scripts/screenshots.sh; writes multi-download.png and
// single-download.png into the folder it is given.
#include <QApplication>
#include <QCheckBox>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "app/registry_keys.h"
#include "engine/nv_backup.h"
#include "engine/raw_disk_route.h"
#include "engine/station_services.h"
#include "platform/paths.h"
#include "platform/prompts.h"
#include "sim/imageset/image_set.h"
#include "sim/phones/flash_family.h"
#include "sim/phones/phone_faults.h"
#include "sim/phones/phone_modes.h"
#include "sim/phones/phone_station.h"
#include "tests/ui/station_rig.h"
#include "ui/main_window.h"
#include "ui/multi_download_page.h"
#include "ui/single_download_page.h"

namespace {

using namespace fendrel;

constexpr int kPhones = 4;
constexpr std::uint64_t kDiskBytes = 32 << 20;
constexpr int kWaitMs = 300000;

int Fail(const char* what) {
    std::fprintf(stderr, "window_screenshots: %s\n", what);
    return 1;
}

// Whether some row of the page is part-way through its run.
bool MidRun(ui::DownloadPage& page) {
    for (int row = 0; row < page.port_list().GetItemCount(); ++row) {
        const int percent = page.port_list().GetCell(row, ui::DownloadPage::kProgress)->percent;
        if (percent >= 30 && percent <= 80)
            return true;
    }
    return false;
}

// Whether a row of the page shows a running worker's own text.
bool Talking(ui::DownloadPage& page) {
    for (int row = 0; row < page.port_list().GetItemCount(); ++row) {
        const QString status = page.port_list().GetItemText(row, ui::DownloadPage::kStatus);
        if (page.running_count() > 0 && status != QStringLiteral("Unknown"))
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2)
        return Fail("usage: window_screenshots FOLDER");
    const std::string output = argv[1];
    platform::OverrideProgramDirectory(FENDREL_PROGRAM_DIR);
    const std::string work =
        (std::filesystem::temp_directory_path() / ("window-shots-" + std::to_string(getpid())))
            .string();
    std::filesystem::remove_all(work);

    sim::ImageSetOptions set;
    set.folder = work + "/set";
    set.disk_bytes = kDiskBytes;
    set.data_bytes = 16 << 20;
    std::string error;
    if (!sim::MakeImageSet(set, error))
        return Fail(error.c_str());
    int result = 0;
    {
        sim::PhoneStation station(work + "/station", kDiskBytes);
        for (int i = 0; i < kPhones; ++i) {
            const int phone = station.AddPhone({}, sim::FindFlashFamily("firehose"));
            if (!station.Plug(phone, sim::kDownloadModeProduct))
                return Fail(station.error().c_str());
        }
        station.talk(kPhones).SetFault(sim::PhoneFault::kNak);
        const platform::SettingsStore settings(work + "/registry");
        for (const std::string_view key : registry::kProgramKeys)
            settings.CreateKey(platform::Hive::kLocalMachine, key);
        settings.OpenKey(platform::Hive::kLocalMachine, registry::kFendrelKey)
            ->SetString("sPath", set.folder + "/");
        platform::RecordingPrompts prompts;  // no box may stop the run
        platform::InstallPrompts(&prompts);
        const platform::DeviceEnumerator devices(station.tree().root(), settings);
        StationServices services(platform::SystemClock(), devices);
        NvBackup nv_backup;
        RawDiskRoute raw_disk;
        ui::ScriptedChoosers choosers;
        choosers.folders.push_back(set.folder);
        const ui::PageServices page_services{
            services.ForWorkers(nv_backup, raw_disk), devices, settings,
            platform::JoinPath(FENDREL_PROGRAM_DIR, "config.ini"), choosers};
        ui::CMainFrame frame(page_services);
        frame.show();
        if (!QTest::qWaitForWindowExposed(&frame))
            return Fail("the window was not shown");
        ui::CQUEXView& view = frame.view();

        ui::CMultiDownloadPage& multi = *view.multi_page();
        multi.StartAll();
        if (!QTest::qWaitFor([&] { return MidRun(multi); }, kWaitMs))
            return Fail("the multi page's rows did not get under way");
        frame.grab().save(QString::fromStdString(output + "/multi-download.png"));
        if (!QTest::qWaitFor([&] { return multi.running_count() == 0; }, kWaitMs))
            return Fail("the multi page's run did not end");

        // The phones are back in normal mode: the single page upgrades them from the set's folder.
        QTest::mouseClick(view.single_button(), Qt::LeftButton);
        ui::CSingleDownloadPage& single = *view.single_page();
        if (!QTest::qWaitFor(
                [&] {
                    single.Refresh();
                    return single.port_list().GetItemCount() == kPhones;
                },
                kWaitMs))
            return Fail("the phones did not come back in normal mode");
        single.findChild<QCheckBox*>(QStringLiteral("1001"))->click();  // no app image
        single.BrowseApp();
        single.StartAll();
        // A normal-mode phone's row follows it until it switches to download mode (its port
        // changes then), so the shot is taken once the rows have started talking.
        if (!QTest::qWaitFor([&] { return Talking(single); }, kWaitMs))
            return Fail("the single page's rows did not get under way");
        frame.grab().save(QString::fromStdString(output + "/single-download.png"));
        if (!QTest::qWaitFor([&] { return single.running_count() == 0; }, kWaitMs))
            result = Fail("the single page's run did not end");
        platform::InstallPrompts(nullptr);
    }
    std::filesystem::remove_all(work);
    return result;
}
