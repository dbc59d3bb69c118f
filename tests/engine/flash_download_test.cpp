// The flash-library download step against real loaded plugins (the scripted test plugin built
// under each plugin name): the library chosen, the arguments it is given, its reports, a library
// that cannot be used, and Stop reaching it through the stop event.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/flash_library.h"
#include "platform/paths.h"
#include "tests/engine/worker_doubles.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

using Lines = std::vector<std::string>;

// A download-mode phone whose image folder (with a firehose programmer, so the run ends right
// after the download) is also the version folder the plugin reads its script from.
class FlashDownload : public ::testing::Test {
  protected:
    void SetUp() override { platform::OverrideProgramDirectory(FENDREL_TEST_PLUGIN_DIR); }
    void TearDown() override { platform::OverrideProgramDirectory(""); }

    std::unique_ptr<WorkerRig> MakeRig(std::string folder) {
        auto rig =
            std::make_unique<WorkerRig>("COM7", PORT_KIND_DLOAD, true, &PluginFlashLibraries());
        rig->params.image_folder = folder;
        rig->params.version_folder = folder;
        WriteFile(platform::JoinPath(folder, "prog_emmc_firehose_8x26.mbn"), "programmer");
        return rig;
    }
    void Script(const std::string& folder, const std::string& script) {
        WriteFile(platform::JoinPath(folder, "flash-script.txt"), script);
    }
    std::string Call(const std::string& folder) {
        return ReadFile(platform::JoinPath(folder, "flash-call.txt"));
    }
    // The lines from the detection on.
    static Lines AfterOpen(const WorkerRig& rig) {
        const Lines steps = rig.journal.Steps();
        return Lines(steps.begin() + 5, steps.end());
    }

    TempDir dir;
};

TEST_F(FlashDownload, TheFlashTypeChoosesTheLibrary) {
    const std::pair<const char*, const char*> cases[] = {
        {"emmc", "Emmc"},  {"EMMC", "Emmc"},       {"", "NorDL"},
        {"nand", "NorDL"}, {"Multi", "NandMulDL"},
    };
    for (const auto& [flash_type, library] : cases) {
        // A "MULTI" run uses the image folder as version folder when its name says "version".
        const std::string folder = dir.File(std::string(flash_type) + "version/");
        auto rig = MakeRig(folder);
        rig->params.flash_type = flash_type;
        Script(folder, "return 1\n");
        rig->RunHere();
        EXPECT_EQ(Call(folder).substr(0, Call(folder).find('\n')),
                  std::string("library ") + library)
            << flash_type;
        EXPECT_EQ(rig->journal.Count("SUCCESS 7"), 1) << flash_type;
    }
}

TEST_F(FlashDownload, ThePluginGetsThePortTheStopEventAndTheImageLists) {
    const std::string folder = dir.path();
    auto rig = MakeRig(folder);
    rig->params.app_path = "/img/app.mbn";
    rig->params.boot_path = "/img/boot.mbn";
    rig->params.erase_efs = 1;
    Script(folder, "");
    rig->RunHere();
    EXPECT_EQ(Call(folder),
              "library NorDL\nport given\nstop-event given\nerase-efs 1\n"
              "app /img/app.mbn\nboot /img/boot.mbn\n");

    // Entries after the first of each list follow the settings' path, each after a "*".
    auto lists = MakeRig(folder);
    lists->params.app_path = "/img/app.mbn";
    lists->worker->app_image_list() = {"stands for the app path", "/img/a2.mbn", "/img/a3.mbn"};
    lists->worker->boot_image_list() = {"stands for the boot path", "/img/b2.mbn"};
    lists->RunHere();
    EXPECT_NE(Call(folder).find("app /img/app.mbn*/img/a2.mbn*/img/a3.mbn\nboot *"
                                "/img/b2.mbn\n"),
              std::string::npos)
        << Call(folder);
}

TEST_F(FlashDownload, ReportsBecomeTheWorkersMessagesAndAFailureItsVerdict) {
    const std::string folder = dir.path();
    auto rig = MakeRig(folder);
    Script(folder, "report 24 0 0 0\nreport 1 16 32 32\nreport 17 8 32 0\nreturn 0\n");
    rig->RunHere();
    EXPECT_EQ(AfterOpen(*rig),
              (Lines{"STATUS 7 Detecting phone...", "nv-backup", "STATUS 7 Running ram...",
                     "STATUS 7 Download ram(0x10/0x20)...", "ERROR 7 Download app fail!(0x8/0x20)",
                     "ERROR 7 Download app fail!(0x8/0x20)", "END 7", "END 7",
                     "close with ResetPhone", "reset 9006"}));
    EXPECT_EQ(rig->journal.Count("PROGRESS 7 100"), 1);  // weight 0.03, 0.03 + 0.067 done
}

TEST_F(FlashDownload, AnUnusableLibraryFailsTheStepWithTheStatusLeftAsItWasAndSaysWhy) {
    TempDir empty;
    const std::string absent = platform::JoinPath(empty.path(), "libNorDL.so");
    const std::string without_download =
        platform::JoinPath(FENDREL_TEST_PLUGIN_WITHOUT_DOWNLOAD_DIR, "libNorDL.so");
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {empty.path(),
         {"the flash-download plugin NorDL.dll cannot be loaded: " + absent +
              ": cannot open shared object file",
          "; along the system's library paths: libNorDL.so: cannot open shared object file"}},
        {FENDREL_TEST_PLUGIN_WITHOUT_DOWNLOAD_DIR,
         {"the flash-download plugin NorDL.dll, loaded from " + without_download +
          ", has no \"Download\" export"}},
    };
    for (const auto& [plugins, detail] : cases) {
        SCOPED_TRACE(plugins);
        platform::OverrideProgramDirectory(plugins);
        const std::string folder = dir.path();
        auto rig = MakeRig(folder);
        rig->RunHere();
        EXPECT_EQ(AfterOpen(*rig),
                  (Lines{"STATUS 7 Detecting phone...", "nv-backup", "ERROR 7 Detecting phone...",
                         "END 7", "END 7", "close with ResetPhone", "reset 9006"}));
        EXPECT_FALSE(std::filesystem::exists(platform::JoinPath(folder, "flash-call.txt")));
        for (const std::string& part : detail)
            EXPECT_NE(rig->worker->failure_detail().find(part), std::string::npos)
                << rig->worker->failure_detail();
        // The next run begins without it.
        ASSERT_TRUE(rig->worker->SetParams(rig->params));
        EXPECT_EQ(rig->worker->failure_detail(), "");
    }
}

TEST_F(FlashDownload, StopReachesThePluginThroughTheStopEvent) {
    const std::string folder = dir.path();
    auto rig = MakeRig(folder);
    Script(folder, "report 16 1 2 0\nwait-for-stop\n");
    ASSERT_TRUE(rig->worker->SetParams(rig->params));
    ASSERT_TRUE(rig->worker->Start());
    // The plugin writes its call record before it begins to wait.
    while (!std::filesystem::exists(platform::JoinPath(folder, "flash-call.txt")))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    rig->worker->Stop();
    while (rig->worker->IsRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(rig->journal.Count("ERROR 7 Download app(0x1/0x2)..."), 1);
    EXPECT_EQ(rig->journal.Count("END 7"), 2);
}

}  // namespace
}  // namespace fendrel::testing
