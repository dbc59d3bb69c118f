// The progress model: the total weight of a run, the tick steps and the percentage.
#include <gtest/gtest.h>

#include "engine/progress_model.h"
#include "tests/engine/worker_doubles.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

TEST(ProgressModel, TotalWeightFollowsTheSettings) {
    struct Case {
        const char* name;
        DOWNLOAD_PARAM params;
        bool detected;
        float weight;
    };
    DOWNLOAD_PARAM app;
    app.app_path = "app.mbn";
    DOWNLOAD_PARAM app_efs = app;
    app_efs.erase_efs = 1;
    DOWNLOAD_PARAM backups = app_efs;
    backups.backup_rf = 1;
    backups.backup_other = 1;
    DOWNLOAD_PARAM multi;
    multi.flash_type = "Multi";
    multi.app_path = "ignored for multi";
    DOWNLOAD_PARAM multi_option15 = multi;
    multi_option15.extra_weight = 1;
    const Case cases[] = {
        {"nothing to write", DOWNLOAD_PARAM{}, true, 0.03f},
        {"app", app, false, 0.03f + 0.05f + 1.0f},
        {"app with EFS erase", app_efs, false, 0.03f + 0.15f + 0.05f + 1.0f},
        {"backups without detection", backups, false, 0.03f + 0.15f + 0.05f + 1.0f},
        {"backups", backups, true, 0.03f + 0.22f + 0.12f + 0.15f + 0.05f + 1.0f},
        {"multi", multi, false, 0.03f + 0.02f + 0.06f + 4.0f},
        {"multi with option 15", multi_option15, false, 0.03f + 0.06f + 4.0f},
    };
    for (const Case& c : cases) {
        ProgressModel model;
        model.Add(3.0f);
        model.ComputeTotalWeight(c.params, c.detected);
        EXPECT_FLOAT_EQ(model.total_weight(), c.weight) << c.name;
        EXPECT_EQ(model.progress(), 0.0f) << c.name;
    }
}

TEST(ProgressModel, PercentageIsCappedAtAHundredAndZeroWithoutWeight) {
    DOWNLOAD_PARAM app;
    app.app_path = "app.mbn";  // weight 1.08
    const std::pair<float, int> cases[] = {
        {0.0f, 0}, {0.54f, 50}, {1.0799f, 99}, {1.08f, 100}, {7.0f, 100}, {-1.0f, 0},
    };
    for (const auto& [progress, percent] : cases) {
        ProgressModel model;
        model.ComputeTotalWeight(app, false);
        model.Add(progress);
        EXPECT_EQ(model.Percentage(), percent) << progress;
    }
    ProgressModel unweighted;
    unweighted.Add(1.0f);
    EXPECT_EQ(unweighted.Percentage(), 0);
}

TEST(ProgressModel, TickStepsBySlowModelPortKindAndProgrammer) {
    struct Case {
        const char* folder;
        int kind;
        bool firehose;
        float step;
    };
    const Case cases[] = {
        {"/img/M4/", PORT_KIND_DLOAD, true, 0.012f},    {"/img/t6/", PORT_KIND_DIAG, false, 0.013f},
        {"/img/m4/", PORT_KIND_STORAGE, false, 0.013f}, {"/img/x/", PORT_KIND_DLOAD, true, 0.067f},
        {"/img/x/", PORT_KIND_DLOAD, false, 0.012f},    {"/img/x/", PORT_KIND_DIAG, true, 0.013f},
        {"/img/x/", PORT_KIND_STORAGE, false, 0.013f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TickStep(c.folder, c.kind, c.firehose), c.step) << c.folder << " " << c.kind;
}

TEST(ProgressModel, TheProgrammerIsLookedForAtEveryTick) {
    TempDir folder;
    WorkerRig rig("COM7", PORT_KIND_DLOAD);
    rig.params.image_folder = folder.path();
    rig.flash.download = [&](FendrelReportFunction, void* context) {
        auto& worker = *static_cast<CDownloadThread*>(context);
        worker.Tick();  // weight 0.03: 0.012 is 40 %
        WriteFile(folder.File("prog_emmc_firehose_8x10.mbn"), "x");
        worker.Tick();  // 0.079: capped
        return 0;
    };
    rig.RunHere();
    EXPECT_EQ(rig.journal.Count("PROGRESS 7 40"), 1);
    EXPECT_EQ(rig.journal.Count("PROGRESS 7 100"), 1);
    EXPECT_FLOAT_EQ(rig.worker->progress().progress(), 0.012f + 0.067f);
}

}  // namespace
}  // namespace fendrel::testing
