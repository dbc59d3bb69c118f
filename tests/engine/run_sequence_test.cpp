// The worker's run sequences, one per port kind, with every step doubled: the order of messages
// and steps, the verdict before END, the END counts and the port numbers the messages carry.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/worker_messages.h"
#include "tests/engine/worker_doubles.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

using Lines = std::vector<std::string>;
using platform::Milliseconds;

bool Fail(CDownloadThread&) {
    return false;
}

void WaitUntilEnded(const CDownloadThread& worker) {
    while (worker.IsRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(Worker, ConstructionMakesTheDownloadChannelFirstBothOnTheStopEvent) {
    WorkerRig rig;
    EXPECT_EQ(rig.journal.lines(), (Lines{"create download channel", "create diagnostic channel",
                                          "create serial link"}));
    ASSERT_EQ(rig.channels.stop_events.size(), 2u);
    EXPECT_EQ(rig.channels.stop_events[0], &rig.worker->stop_event());
    EXPECT_EQ(rig.channels.stop_events[1], &rig.worker->stop_event());
    EXPECT_FALSE(rig.worker->stop_event().IsSet());
    EXPECT_TRUE(rig.worker->stop_requested());
    EXPECT_EQ(rig.worker->app_marker(), kMarkerNotExamined);
    EXPECT_EQ(rig.worker->boot_marker(), kMarkerNotExamined);
}

TEST(Worker, SetParamsKeepsThePortTypeAndStartsAFreshRun) {
    WorkerRig rig;
    rig.params.port_type = "from the page";
    rig.params.app_path = "app.mbn";
    rig.worker->Stop();
    rig.worker->SetStatus("old");
    ASSERT_TRUE(rig.worker->SetParams(rig.params));
    EXPECT_EQ(rig.worker->params().port_type, "USB");
    EXPECT_EQ(rig.worker->params().app_path, "app.mbn");
    EXPECT_FALSE(rig.worker->stop_requested());
    EXPECT_FALSE(rig.worker->stop_event().IsSet());
    EXPECT_EQ(rig.worker->status_text(), "");
}

TEST(NormalModePort, RunsEveryStepThenResetsThePhoneInItsDiskMode) {
    WorkerRig rig("COM3", PORT_KIND_DIAG);
    rig.RunHere();
    EXPECT_EQ(rig.journal.Steps(), (Lines{
                                       "create download channel",
                                       "create diagnostic channel",
                                       "create serial link",
                                       "START 3",
                                       "open COM3",
                                       "STATUS 3 Detecting phone...",
                                       "nv-backup",
                                       "switch",
                                       "mass-storage",
                                       "SUCCESS 3",
                                       "END 3",
                                       "close with ResetPhone",
                                       "reset disk-mode phone",
                                   }));
    EXPECT_TRUE(rig.worker->detected());
}

TEST(NormalModePort, GivesUpOpeningAfterFifteenAttemptsAboutOnePointFourSeconds) {
    WorkerRig rig("COM3", PORT_KIND_DIAG);
    rig.links.script.open_default = false;
    rig.RunHere();
    Lines expected{"START 3"};
    expected.insert(expected.end(), 15, "open COM3 failed");
    expected.insert(expected.end(),
                    {"ERROR 3 Can not open port!", "END 3", "close with ResetPhone"});
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(Lines(steps.begin() + 3, steps.end()), expected);
    EXPECT_EQ(rig.clock.Sleeps(), std::vector<Milliseconds>(15, Milliseconds(95)));
    EXPECT_EQ(rig.clock.Now(), Milliseconds(1425));
    EXPECT_FALSE(rig.worker->detected());
}

TEST(NormalModePort, OpensOnALaterAttempt) {
    WorkerRig rig("COM3", PORT_KIND_DIAG);
    rig.links.script.open_results = {false, false, true};
    rig.RunHere();
    EXPECT_EQ(rig.clock.Sleeps(), std::vector<Milliseconds>(2, Milliseconds(95)));
    EXPECT_EQ(rig.journal.Count("SUCCESS 3"), 1);
}

TEST(NormalModePort, AFailingStepEndsTheRunWithErrorBeforeEnd) {
    struct Case {
        const char* failing;
        Lines tail;
    };
    const Case cases[] = {
        {"nv-backup",
         {"nv-backup", "ERROR 3 Detecting phone...", "END 3", "close with ResetPhone"}},
        {"switch",
         {"nv-backup", "switch", "ERROR 3 Switch to download mode fail!",
          "ERROR 3 Switch to download mode fail!", "END 3", "close with ResetPhone"}},
        // The phone took the switch: whatever the route did, its disk mode is reset.
        {"mass-storage",
         {"nv-backup", "switch", "mass-storage", "ERROR 3 Detecting phone...", "END 3",
          "close with ResetPhone", "reset disk-mode phone"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing);
        WorkerRig rig("COM3", PORT_KIND_DIAG);
        const std::string failing = c.failing;
        if (failing == "nv-backup")
            rig.nv_backup.action = Fail;
        if (failing == "switch")
            rig.links.script.switch_result = false;
        if (failing == "mass-storage")
            rig.mass_storage.action = Fail;
        rig.RunHere();
        const Lines& expected = c.tail;
        const Lines steps = rig.journal.Steps();
        ASSERT_GE(steps.size(), expected.size());
        EXPECT_EQ(Lines(steps.end() - static_cast<long>(expected.size()), steps.end()), expected);
    }
}

TEST(NormalModePort, StopBetweenStepsBeginsNoFurtherStep) {
    WorkerRig rig("COM3", PORT_KIND_DIAG);
    rig.nv_backup.action = [](CDownloadThread& worker) {
        worker.Stop();
        return true;
    };
    rig.RunHere();
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(Lines(steps.end() - 4, steps.end()),
              (Lines{"nv-backup", "ERROR 3 Detecting phone...", "END 3", "close with ResetPhone"}));
}

TEST(DiskModePort, WritesTheDiskAndResetsBeforeEnd) {
    WorkerRig rig("COM9", PORT_KIND_STORAGE);
    rig.links.script.open_default = false;  // the port's result does not matter
    rig.params.flash_type = "multi";
    rig.params.image_folder = "/images/";
    rig.params.backup_rf = 1;
    rig.RunHere();
    EXPECT_EQ(rig.journal.Steps(),
              (Lines{"create download channel", "create diagnostic channel", "create serial link",
                     "START 9", "open COM9 failed", "mass-storage", "SUCCESS 9",
                     "close with ResetPhone9006", "END 9"}));
    EXPECT_EQ(rig.worker->params().version_folder, "/images/VERSION");
    // No detection on this path: the backup shares stay out of the weight.
    EXPECT_FLOAT_EQ(rig.worker->progress().total_weight(), 0.03f + 0.02f + 0.06f + 4.0f);
}

TEST(DiskModePort, AFailedRouteIsAnError) {
    WorkerRig rig("COM9", PORT_KIND_STORAGE);
    rig.mass_storage.action = Fail;
    rig.RunHere();
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(Lines(steps.end() - 3, steps.end()),
              (Lines{"ERROR 9", "close with ResetPhone9006", "END 9"}));
}

// What a download-mode phone's image folder holds besides the images.
enum class SetKind {
    kFirehose,       // a firehose programmer: the plugin writes everything, the phone restarts
    kRawDiskLayout,  // rawprogram0.xml: the programmer shows a disk for the raw-disk route
    kPluginWritten,  // neither: the plugin writes the set whole (NAND, NOR)
};

struct DownloadModeRig : WorkerRig {
    explicit DownloadModeRig(SetKind kind) : WorkerRig("COM7", PORT_KIND_DLOAD) {
        if (kind == SetKind::kFirehose)
            WriteFile(folder.File("prog_emmc_firehose_8x26.mbn"), "programmer");
        if (kind == SetKind::kRawDiskLayout)
            WriteFile(folder.File("rawprogram0.xml"), "<data/>");
        params.image_folder = folder.path();
        params.version_folder = folder.path();
    }
    TempDir folder;
};

TEST(DownloadModePort, WithAFirehoseProgrammerEndsOnceWithoutTheDiskRoute) {
    DownloadModeRig rig(SetKind::kFirehose);
    rig.RunHere();
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(
        Lines(steps.begin() + 3, steps.end()),
        (Lines{"START 7", "open COM7", "STATUS 7 Detecting phone...", "nv-backup", "load NorDL.dll",
               "SUCCESS 7", "END 7", "close with ResetPhone", "reset 9006"}));
}

TEST(DownloadModePort, ARawDiskSetGoesOnIntoTheRouteAndEndsTwiceTheSecondTimeUnderTheNewPort) {
    DownloadModeRig rig(SetKind::kRawDiskLayout);
    rig.links.script.rediscovered = {"", "", "COM12"};
    rig.RunHere();
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(Lines(steps.begin() + 3, steps.end()),
              (Lines{"START 7", "open COM7", "STATUS 7 Detecting phone...", "nv-backup",
                     "load NorDL.dll", "mass-storage", "SUCCESS 7", "END 7", "rediscover ",
                     "rediscover ", "rediscover COM12", "open quietly COM12", "reset 9006",
                     "END 12", "close with ResetPhone", "reset 9006"}));
    EXPECT_EQ(rig.clock.Sleeps(), std::vector<Milliseconds>(2, Milliseconds(100)));
    EXPECT_EQ(rig.worker->port_name(), "COM12");
}

TEST(DownloadModePort, ASetThePluginWroteWholeEndsInItsVerdictWithoutTheDiskRoute) {
    for (const bool written : {true, false}) {
        SCOPED_TRACE(written ? "written" : "failed");
        DownloadModeRig rig(SetKind::kPluginWritten);
        if (!written)
            rig.flash.download = [](FendrelReportFunction, void*) { return 0; };
        rig.links.script.rediscovered = {"COM12"};
        rig.RunHere();
        const Lines steps = rig.journal.Steps();
        EXPECT_EQ(Lines(steps.begin() + 7, steps.end()),
                  (Lines{"load NorDL.dll", written ? "SUCCESS 7" : "ERROR 7 Detecting phone...",
                         "END 7", "rediscover COM12", "open quietly COM12", "reset 9006", "END 12",
                         "close with ResetPhone", "reset 9006"}));
    }
}

// The route's layout is looked for where the plugins look for the set: the version folder, and
// the image folder above a VERSION folder; a folder above any other is not part of the set.
TEST(DownloadModePort, TheDiskRouteFollowsWhereTheLayoutLies) {
    const struct {
        const char* flash_type;
        const char* version_subfolder;  // of the image folder; empty: the image folder itself
        const char* layout_in;          // "image" or "version" folder
        bool route;
    } cases[] = {
        {"EMMC", "", "image", true},           {"EMMC", "build", "version", true},
        {"EMMC", "build", "image", false},     {"MULTI", "VERSION", "image", true},
        {"MULTI", "VERSION", "version", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.flash_type) + " /" + c.version_subfolder + " " + c.layout_in);
        DownloadModeRig rig(SetKind::kPluginWritten);
        const std::string version = rig.folder.File(c.version_subfolder);
        std::filesystem::create_directories(version);
        const bool in_image_folder = std::string(c.layout_in) == "image";
        WriteFile((in_image_folder ? rig.folder.path() : version + "/") + "rawprogram0.xml",
                  "<data/>");
        rig.params.flash_type = c.flash_type;
        rig.params.version_folder = version;
        rig.RunHere();
        EXPECT_EQ(rig.journal.Count("mass-storage"), c.route ? 1 : 0);
    }
}

TEST(DownloadModePort, RediscoveryGivesUpAfter101AttemptsAndEndsUnderPortZero) {
    DownloadModeRig rig(SetKind::kRawDiskLayout);
    rig.RunHere();
    EXPECT_EQ(rig.journal.Count("rediscover "), 101);
    EXPECT_EQ(rig.clock.Sleeps(), std::vector<Milliseconds>(100, Milliseconds(100)));
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(Lines(steps.end() - 4, steps.end()),
              (Lines{"rediscover ", "END 0", "close with ResetPhone", "reset 9006"}));
}

TEST(DownloadModePort, AFailedOpenEndsAtOnceWithBothResets) {
    DownloadModeRig rig(SetKind::kRawDiskLayout);
    rig.links.script.open_default = false;
    rig.RunHere();
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(Lines(steps.begin() + 3, steps.end()),
              (Lines{"START 7", "open COM7 failed", "ERROR 7 Can not open port!", "END 7",
                     "close with ResetPhone", "reset 9006"}));
}

TEST(DownloadModePort, AFailedDownloadStillLooksForThePhoneAndEndsTwice) {
    DownloadModeRig rig(SetKind::kRawDiskLayout);
    rig.flash.download = [](FendrelReportFunction report, void* context) {
        report(17, 0x10, 0x20, 0, context);
        return 0;
    };
    rig.links.script.rediscovered = {"COM4"};
    rig.RunHere();
    const Lines steps = rig.journal.Steps();
    EXPECT_EQ(
        Lines(steps.begin() + 7, steps.end()),
        (Lines{"load NorDL.dll", "ERROR 7 Download app fail!(0x10/0x20)",
               "ERROR 7 Download app fail!(0x10/0x20)", "END 7", "rediscover COM4",
               "open quietly COM4", "reset 9006", "END 4", "close with ResetPhone", "reset 9006"}));
}

TEST(DownloadModePort, AFailedDownloadWithAProgrammerEndsTwiceWithoutRediscovery) {
    DownloadModeRig rig(SetKind::kFirehose);
    rig.flash.download = [](FendrelReportFunction, void*) { return 0; };
    rig.RunHere();
    EXPECT_EQ(rig.journal.Count("END 7"), 2);
    EXPECT_EQ(rig.journal.Count("rediscover "), 0);
    EXPECT_EQ(rig.journal.Count("mass-storage"), 0);
}

TEST(Worker, WithoutNotifierPostsNothingButRunsEveryStep) {
    WorkerRig rig("COM7", PORT_KIND_DLOAD, /*with_notifier=*/false);
    TempDir folder;
    WriteFile(folder.File("rawprogram0.xml"), "<data/>");
    rig.params.version_folder = folder.path();
    rig.RunHere();
    Lines expected{"create download channel",
                   "create diagnostic channel",
                   "create serial link",
                   "open COM7",
                   "nv-backup",
                   "load NorDL.dll",
                   "mass-storage"};
    expected.insert(expected.end(), 101, "rediscover ");
    expected.insert(expected.end(), {"close with ResetPhone", "reset 9006"});
    EXPECT_EQ(rig.journal.lines(), expected);
    EXPECT_EQ(rig.worker->status_text(), "Detecting phone...");
}

TEST(Worker, MessagesCarryThePortNumber) {
    for (const auto& [name, number] :
         {std::pair{"COM3", "3"}, {"COM123", "123"}, {"", "0"}, {"COMX", "0"}}) {
        WorkerRig rig(name, PORT_KIND_STORAGE);
        rig.RunHere();
        EXPECT_EQ(rig.journal.Count(std::string("START ") + number), 1) << name;
    }
    EXPECT_EQ(PortNumberOf("COM12abc"), 12u);
    EXPECT_EQ(PortNumberOf("COM99999999999999999999"), 0xFFFFFFFFu);
}

TEST(WorkerThread, StartWhileRunningStartsNothingAndTheDestructorStopsAndJoins) {
    std::atomic<bool> saw_stop{false};
    std::atomic<int> runs{0};
    std::atomic<bool> entered{false};
    auto rig = std::make_unique<WorkerRig>("COM5", PORT_KIND_STORAGE);
    rig->mass_storage.action = [&](CDownloadThread& worker) {
        ++runs;
        entered = true;
        // Blocks until the worker is stopped, as a long step does.
        saw_stop = worker.stop_event().Wait(Milliseconds(60000));
        return false;
    };
    ASSERT_TRUE(rig->worker->SetParams(rig->params));
    ASSERT_TRUE(rig->worker->Start());
    while (!entered)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(rig->worker->IsRunning());
    EXPECT_TRUE(rig->worker->Start());
    EXPECT_FALSE(rig->worker->SetParams(rig->params));
    EXPECT_TRUE(rig->worker->SetPriority(platform::kThreadPriorityNormal));
    EXPECT_FALSE(rig->worker->SetPriority(7));
    rig->worker.reset();  // must stop the step and wait for the thread
    EXPECT_TRUE(saw_stop);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(rig->journal.Count("END 5"), 1);
}

TEST(WorkerThread, AnEndedWorkerCanBeConfiguredAndStartedAgain) {
    WorkerRig rig("COM5", PORT_KIND_STORAGE);
    EXPECT_FALSE(rig.worker->SetPriority(platform::kThreadPriorityNormal));  // no thread yet
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(rig.worker->SetParams(rig.params));
        ASSERT_TRUE(rig.worker->Start());
        WaitUntilEnded(*rig.worker);
    }
    EXPECT_EQ(rig.journal.Count("START 5"), 2);
    EXPECT_EQ(rig.journal.Count("END 5"), 2);
}

TEST(WorkerMessages, FourteenWorkerMessagesAndTheListButtonAreRegisteredOnce) {
    const WorkerMessageIds& ids = WorkerMessages();
    const platform::MessageId all[] = {
        ids.start,    ids.status,  ids.progress,    ids.wait,     ids.resume,
        ids.error,    ids.success, ids.end,         ids.feedback, ids.found_phone,
        ids.no_phone, ids.get_esn, ids.get_version, ids.get_type, ids.list_button_click};
    for (std::size_t i = 0; i < std::size(all); ++i) {
        EXPECT_GE(all[i], platform::kFirstRegisteredMessage);
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_NE(all[i], all[j]);
    }
    EXPECT_EQ(platform::RegisterMessage("wm_downloadthread_end"), ids.end);
    EXPECT_EQ(platform::RegisterMessage("WM_LISTCTRL_BUTTON_CLICK"), ids.list_button_click);
}

}  // namespace
}  // namespace fendrel::testing
