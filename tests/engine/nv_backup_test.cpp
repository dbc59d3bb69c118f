// The NV backup step inside a normal-mode run: the real step and NV store, a scripted diagnostic
// channel, every other step doubled.
#include "engine/nv_backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "engine/download_thread.h"
#include "platform/prompts.h"
#include "tests/engine/scripted_diagnostic.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

constexpr char kDefinitions[] =
    "ZERO,0,Read\n"  // item 0 is the ESN's place: never read, but counted for progress
    "ALPHA,5,ReadWrite,<BYTE,a>\n"
    "BETA,9,Read\n"
    "GAMMA,12,Write\n";
constexpr char kBackupFile[] = "Backup/OTHER/2013_04_09/_COM7_08_05_30.znv";

// A normal-mode worker on COM7 whose NV backup step is the real one, in a program folder of its
// own holding the definition file.
class NvBackupRun : public ::testing::Test {
  protected:
    NvBackupRun() {
        WriteFile(folder_.File("NV Decoder.zdf"), kDefinitions);
        MakeWorker(PORT_KIND_DIAG);
        params_.baud_rate = 115200;
        params_.flash_type = "MULTI";  // no image checks
        params_.backup_esn = 1;
        params_.backup_rf = 1;
    }

    void MakeWorker(int port_kind) {
        worker_ =
            std::make_unique<CDownloadThread>("COM7", "USB", port_kind, &rig_.journal,
                                              WorkerServices{rig_.clock, channels_, rig_.links,
                                                             step_, rig_.mass_storage, rig_.flash});
        rig_.journal.worker = worker_.get();
    }
    void Run() {
        ASSERT_TRUE(worker_->SetParams(params_));
        static_cast<CThreadBase&>(*worker_).Run();
    }
    std::string BackupPath() const { return folder_.File(kBackupFile); }
    // The body lines of the backup file, each cut after its first four values.
    std::vector<std::string> BodyStarts() const {
        std::vector<std::string> starts;
        const std::string text = ReadFile(BackupPath());
        for (std::size_t begin = 0; begin < text.size();) {
            const std::size_t end = text.find("\r\n", begin);
            const std::string line = text.substr(begin, end - begin);
            if (!line.starts_with("ZNVID:")) {
                std::size_t cut = 0;
                for (int commas = 0; commas < 4; ++commas)
                    cut = line.find(',', cut) + 1;
                starts.push_back(line.substr(0, cut));
            }
            begin = end + 2;
        }
        return starts;
    }
    // The run's lines (the rig's journal also holds the making of its own worker).
    std::vector<std::string> Steps() const {
        const std::vector<std::string> all = rig_.journal.Steps();
        return {std::find(all.begin(), all.end(), "START 7"), all.end()};
    }
    int Progress() const {
        int posts = 0;
        for (const std::string& line : rig_.journal.lines())
            posts += line.starts_with("PROGRESS") ? 1 : 0;
        return posts;
    }

    TempDir folder_;
    platform::FixedWallClock wall_clock_{{2013, 4, 9, 8, 5, 30}};
    NvBackup step_{NvBackupServices{folder_.path(), &wall_clock_}};
    WorkerRig rig_;
    ScriptedDiagnostic* diagnostic_ = nullptr;
    ScriptedChannels channels_{rig_.journal, diagnostic_};
    std::unique_ptr<CDownloadThread> worker_;
    DOWNLOAD_PARAM params_;
};

TEST_F(NvBackupRun, SavesTheEsnAndEveryItemThePhoneAnswers) {
    diagnostic_->answers[5] = {DMSS_SUCCESS, 0, 7};
    diagnostic_->answers[9] = {DMSS_SUCCESS, 5, 1};   // never written
    diagnostic_->answers[12] = {DMSS_SUCCESS, 7, 1};  // not an item of this phone
    Run();

    EXPECT_EQ(Steps(), (std::vector<std::string>{
                           "START 7",
                           "open COM7",
                           "STATUS 7 Detecting phone...",
                           "WAIT 7",
                           "STATUS 7 Backupping NV(NV_ESN)...",
                           "STATUS 7 Backupping NV(ALPHA)...",
                           "STATUS 7 Backupping NV(BETA)...",
                           "STATUS 7 Backupping NV(GAMMA)...",
                           "CONTINUE 7",
                           "switch",
                           "mass-storage",
                           "SUCCESS 7",
                           "END 7",
                           "close with ResetPhone",
                           "reset disk-mode phone",
                       }));
    EXPECT_EQ(diagnostic_->asked, (std::vector<std::uint16_t>{5, 9, 12}));
    EXPECT_EQ(Progress(), 3);  // one tick per item read
    EXPECT_EQ(worker_->nv_backup_path(), BackupPath());
    // The ESN's four bytes as they stand in the status record, then item 5.
    EXPECT_EQ(BodyStarts(), (std::vector<std::string>{"0 = 120,86,52,18,", "5 = 7,0,0,0,"}));
}

// The steps from the failing read on, when the phone gave no usable answer: the run ends there,
// before the switch to download mode.
std::vector<std::string> FailedAt(const std::string& item) {
    return {"ERROR 7 Backup NV(" + item + ") fail!", "ERROR 7 Backup NV(" + item + ") fail!",
            "END 7", "close with ResetPhone"};
}

TEST_F(NvBackupRun, AnItemReadWithoutAUsableAnswerFailsTheBackupAtOnce) {
    // Every channel result but success: the phone did not answer about the item.
    for (const DMSS_RET_E_TYPE result :
         {DMSS_TIMEOUT, DMSS_BAD_REPLY, DMSS_REJECTED, DMSS_PORT_GONE, DMSS_IO_FAILED,
          DMSS_NOT_ATTACHED, DMSS_STOPPED}) {
        SCOPED_TRACE(result);
        rig_.journal = Journal();
        MakeWorker(PORT_KIND_DIAG);
        diagnostic_->answers[9] = {result, 0, 1};
        Run();
        const std::vector<std::string> steps = Steps();
        ASSERT_GE(steps.size(), 5u);
        EXPECT_EQ(std::vector<std::string>(steps.end() - 5, steps.end() - 4),
                  std::vector<std::string>{"STATUS 7 Backupping NV(BETA)..."});
        EXPECT_EQ(std::vector<std::string>(steps.end() - 4, steps.end()), FailedAt("BETA"));
        EXPECT_EQ(diagnostic_->asked, (std::vector<std::uint16_t>{5, 9}));  // GAMMA never asked
        EXPECT_FALSE(std::filesystem::exists(folder_.File("Backup")));
    }
}

TEST_F(NvBackupRun, AnUnansweredStatusReadFailsTheBackupAsNvEsn) {
    diagnostic_->status_result = DMSS_TIMEOUT;
    Run();
    const std::vector<std::string> steps = Steps();
    EXPECT_EQ(std::vector<std::string>(steps.begin(), steps.begin() + 4),
              (std::vector<std::string>{"START 7", "open COM7", "STATUS 7 Detecting phone...",
                                        "WAIT 7"}));
    EXPECT_EQ(std::vector<std::string>(steps.begin() + 4, steps.end()), FailedAt("NV_ESN"));
    EXPECT_TRUE(diagnostic_->asked.empty());
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Backup")));
}

TEST_F(NvBackupRun, ADownloadModePortSaysNoBackupIsPossibleWritesNothingAndGoesOn) {
    MakeWorker(PORT_KIND_DLOAD);
    Run();
    const std::vector<std::string> steps = Steps();
    const std::vector<std::string> expected_start = {
        "START 7", "open COM7", "STATUS 7 Detecting phone...",
        "STATUS 7 No NV backup in download mode: the phone cannot answer NV reads there",
        "load NandMulDL.dll"};
    ASSERT_GE(steps.size(), expected_start.size());
    EXPECT_EQ(std::vector<std::string>(steps.begin(), steps.begin() + 5), expected_start);
    EXPECT_EQ(rig_.journal.Count("SUCCESS 7"), 1);
    EXPECT_EQ(rig_.journal.Count("WAIT 7") + rig_.journal.Count("CONTINUE 7"), 0);
    EXPECT_EQ(diagnostic_->status_reads, 0);
    EXPECT_TRUE(diagnostic_->asked.empty());
    EXPECT_EQ(worker_->nv_store(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Backup")));
}

TEST_F(NvBackupRun, BothOptionsOffBackUpNothingAndPostNeitherWaitNorContinue) {
    params_.backup_esn = 0;
    params_.backup_rf = 0;
    Run();
    EXPECT_EQ(Steps(),
              (std::vector<std::string>{"START 7", "open COM7", "STATUS 7 Detecting phone...",
                                        "switch", "mass-storage", "SUCCESS 7", "END 7",
                                        "close with ResetPhone", "reset disk-mode phone"}));
    EXPECT_FALSE(std::filesystem::exists(folder_.File("Backup")));
}

TEST_F(NvBackupRun, EsnOnlyReadsNoItems) {
    params_.backup_rf = 0;
    Run();
    EXPECT_TRUE(diagnostic_->asked.empty());
    EXPECT_EQ(BodyStarts(), (std::vector<std::string>{"0 = 120,86,52,18,"}));
}

TEST_F(NvBackupRun, StopDuringTheItemLoopFailsAtTheNextItemAndWritesNoFile) {
    diagnostic_->on_read = [this](std::uint16_t item) {
        if (item == 9)
            worker_->Stop();
    };
    Run();
    const auto lines = Steps();
    const std::vector<std::string> tail(lines.end() - 5, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "STATUS 7 Backupping NV(BETA)...", "ERROR 7 Backup NV(GAMMA) fail!",
                        "ERROR 7 Backup NV(GAMMA) fail!", "END 7", "close with ResetPhone"}));
    EXPECT_EQ(diagnostic_->asked, (std::vector<std::uint16_t>{5, 9}));
    EXPECT_EQ(rig_.journal.Count("CONTINUE 7"), 0);
    EXPECT_FALSE(std::filesystem::exists(BackupPath()));
}

TEST_F(NvBackupRun, AFolderThatCannotBeMadeFailsTheStepWithTheStoresMessage) {
    WriteFile(folder_.File("Backup"), "a file where the folder should be");
    platform::RecordingPrompts prompts;
    platform::ScopedPrompts installed(prompts);
    Run();
    EXPECT_EQ(prompts.Texts(), (std::vector<std::string>{"Can't the Create the file."}));
    EXPECT_EQ(rig_.journal.Count("CONTINUE 7"), 0);
    EXPECT_EQ(rig_.journal.Count("ERROR 7 Backupping NV(GAMMA)..."), 1);
    // Each of the three folders is tried twice, with a pause after each failed attempt.
    EXPECT_EQ(rig_.clock.Sleeps(),
              std::vector<platform::Milliseconds>(6, platform::Milliseconds(100)));
}

}  // namespace
}  // namespace fendrel::testing
