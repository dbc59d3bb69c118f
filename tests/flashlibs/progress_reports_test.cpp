// The progress plan of the firehose route against the real worker: the reports of whole runs go
// through the worker's own report handling and progress model, and the bar the worker posts must
// be the one the plan works out, run from its first report to 100, and reach 100 only with the
// last one.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "engine/image_folder.h"
#include "flashlibs/support/progress_reports.h"
#include "platform/paths.h"
#include "tests/engine/worker_doubles.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

using flashlibs::FlashRoute;
using flashlibs::ImageRow;
using flashlibs::ProgressReports;

struct RunShape {
    const char* name;
    const char* flash_type;
    bool app_image;
    bool erase_efs;
    int extra_weight;  // option 15
    std::uint64_t software_bytes;
    std::size_t moves;  // at least this many PROGRESS posts
};

// An image folder with a firehose programmer, whose path cannot name the slow models (M4, T6):
// their runs tick slower. A temporary folder's random name might.
struct ImageFolder {
    ImageFolder() {
        WriteFile(path + "prog_emmc_firehose_8x26.mbn", "programmer");
        EXPECT_FALSE(IsSlowModelFolder(path)) << path;
    }
    ~ImageFolder() { std::filesystem::remove_all(path); }
    const std::string path =
        (std::filesystem::temp_directory_path() / ("fendrel-progress-" + std::to_string(getpid())))
            .string() +
        "/";
};

// The PROGRESS values a worker posted, in order.
std::vector<int> Posted(const Journal& journal) {
    std::vector<int> values;
    for (const std::string& line : journal.lines()) {
        if (line.starts_with("PROGRESS "))
            values.push_back(std::stoi(line.substr(line.rfind(' ') + 1)));
    }
    return values;
}

TEST(ProgressReports, TheWorkersBarRunsToOneHundredWithTheLastReport) {
    const RunShape shapes[] = {
        {"multi", "MULTI", false, false, 0, 24 << 20, 8},
        {"multi, option 15", "MULTI", false, false, 1, 24 << 20, 8},
        {"multi, a tiny set", "MULTI", false, false, 0, 5000, 3},
        {"multi, 3 GiB", "MULTI", false, false, 0, 3ull << 30, 8},
        // An "EMMC" run weighs less than the software row alone: the bar moves with the
        // programmer, then at the end.
        {"emmc with an app image", "EMMC", true, false, 0, 24 << 20, 3},
        {"emmc with an app image and the EFS erase", "EMMC", true, true, 0, 24 << 20, 3},
    };
    for (const RunShape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const ImageFolder folder;
        WorkerRig rig("COM7", PORT_KIND_DLOAD);
        rig.params.image_folder = folder.path;
        rig.params.flash_type = shape.flash_type;
        rig.params.app_path = shape.app_image ? folder.path + "app.mbn" : "";
        rig.params.erase_efs = shape.erase_efs;
        rig.params.extra_weight = shape.extra_weight;
        std::size_t posted_before_last = 0;
        rig.flash.download = [&](FendrelReportFunction report, void* context) {
            const FlashRoute route =
                shape.flash_type == std::string("MULTI") ? FlashRoute::kMulti : FlashRoute::kEmmc;
            ProgressReports plan(
                flashlibs::Reporter(report, context),
                flashlibs::WorkerProgressOf(route, shape.app_image, shape.erase_efs));
            // After every report, the worker shows what the plan works out (which assumes the
            // page's options at their defaults).
            const auto agree = [&] {
                const std::vector<int> posted = Posted(rig.journal);
                if (!posted.empty() && shape.extra_weight == 0) {
                    EXPECT_EQ(posted.back(), plan.Percentage());
                }
            };
            plan.Programmer(52, 98304);
            agree();
            plan.ProgrammerTaken(98304, 98304);
            agree();
            plan.Start(34 * 512 + 33 * 512, shape.software_bytes);
            plan.Written(ImageRow::kPartitionTable, 34 * 512);
            for (std::uint64_t done = 0; done < shape.software_bytes; done += 4 << 20) {
                plan.Written(ImageRow::kSoftware,
                             std::min<std::uint64_t>(4 << 20, shape.software_bytes - done));
                agree();
            }
            plan.Written(ImageRow::kPartitionTable, 33 * 512);
            posted_before_last = Posted(rig.journal).size();
            plan.Finish();
            agree();
            return 1;
        };
        rig.RunHere();
        const std::vector<int> posted = Posted(rig.journal);
        ASSERT_EQ(posted_before_last + 1, posted.size());
        EXPECT_EQ(posted.back(), 100);
        EXPECT_LT(posted[posted.size() - 2], 100);
        EXPECT_TRUE(std::is_sorted(posted.begin(), posted.end()));
        EXPECT_GE(posted.size(), shape.moves);
    }
}

TEST(ProgressReports, AnEmmcRunWithoutAppImageIsFullAtOnce) {
    const ImageFolder folder;
    WorkerRig rig("COM7", PORT_KIND_DLOAD);
    rig.params.image_folder = folder.path;
    rig.params.flash_type = "EMMC";
    rig.flash.download = [&](FendrelReportFunction report, void* context) {
        ProgressReports plan(flashlibs::Reporter(report, context),
                             flashlibs::WorkerProgressOf(FlashRoute::kEmmc, false, false));
        plan.Programmer(52, 98304);
        EXPECT_EQ(plan.Percentage(), 100);
        plan.Start(0, 8 << 20);
        plan.Written(ImageRow::kSoftware, 4 << 20);
        plan.Written(ImageRow::kSoftware, 4 << 20);
        plan.Finish();
        return 1;
    };
    rig.RunHere();
    EXPECT_EQ(Posted(rig.journal), (std::vector<int>{100, 100}));
    // The texts went out all the same, as code 22.
    EXPECT_EQ(rig.journal.Count("STATUS 7 Downloading modul(0x400000/0x800000)..."), 1);
}

TEST(ProgressReports, TextsCountTheRowsBytesOrKibibytes) {
    struct Sent {
        int code, b, c, d;
    };
    std::vector<Sent> sent;
    const auto record = [](int code, int b, int c, int d, void* context) {
        static_cast<std::vector<Sent>*>(context)->push_back({code, b, c, d});
    };
    ProgressReports plan(flashlibs::Reporter(record, &sent),
                         flashlibs::WorkerProgressOf(FlashRoute::kMulti, false, false));
    plan.Start(17408, 3ull << 30);
    plan.Written(ImageRow::kPartitionTable, 17408);
    plan.Written(ImageRow::kSoftware, 1 << 30);
    plan.Failed(ImageRow::kSoftware);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent.front().code, 26);
    EXPECT_EQ(sent.front().b, 1);
    EXPECT_EQ(sent.front().c, 17408);
    EXPECT_EQ(sent.front().d, 17408);
    const Sent& failed = sent.back();
    EXPECT_EQ(failed.code, 27);
    EXPECT_EQ(failed.b, 7);
    EXPECT_EQ(failed.d, 3 << 20);  // KiB
    std::uint64_t reported = 0;
    for (const Sent& s : sent) {
        if ((s.code == 26 || s.code == 27) && s.b == 7)
            reported += static_cast<std::uint64_t>(s.c);
    }
    EXPECT_EQ(reported, 1u << 20);  // everything written, once
}

}  // namespace
}  // namespace fendrel::testing
