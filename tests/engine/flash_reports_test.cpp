// The flash library's reports: every code's text, message, progress share and byte counter.
#include <gtest/gtest.h>

#include <array>

#include "engine/flash_reports.h"
#include "tests/engine/worker_doubles.h"

namespace fendrel::testing {
namespace {

using Lines = std::vector<std::string>;

struct Report {
    int code, b, c, d;
};

struct Case {
    std::vector<Report> reports;
    int erase_efs;
    Lines posted;  // after the rig's construction lines; PROGRESS 3 0: a tick (no weight yet)
    float progress;
    std::array<std::uint32_t, 5> counters;
};

constexpr float kTick = 0.013f;  // the tick step of a normal-mode port

TEST(FlashReports, EveryCodeHasItsTextMessageAndShare) {
    const Case cases[] = {
        {{{0, 1, 2, 3}}, 0, {"ERROR 3 Can not find ram file!"}, 0, {}},
        {{{1, 0x10, 0x40, 0x20}},
         0,
         {"STATUS 3 Download ram(0x10/0x40)...", "PROGRESS 3 0"},
         0.03f * 0x20 / 0x40 + kTick,
         {}},
        {{{2, 1, 2, 0}}, 0, {"ERROR 3 Download ram fail!(0x1/0x2)"}, 0, {}},
        {{{3, 1, 2, 0}}, 0, {"ERROR 3 Set BBINFO fail!"}, 0, {}},
        {{{4, 1, 2, 0}}, 0, {"STATUS 3 Erasing boot(0x1/0x2)..."}, 0, {}},
        {{{5, 1, 2, 0}}, 0, {"ERROR 3 Erase boot fail!(0x1/0x2)"}, 0, {}},
        {{{6, 1, 2, 0}}, 0, {"ERROR 3 Can not find boot file!"}, 0, {}},
        {{{7, 1, 2, 0}}, 0, {"STATUS 3 Downloading boot(0x1/0x2)..."}, 0, {}},
        {{{8, 1, 2, 0}}, 0, {"ERROR 3 Download boot fail!(0x1/0x2)"}, 0, {}},
        {{{9, 1, 4, 1}},
         0,
         {"STATUS 3 Erasing EFS(0x1/0x4)...", "PROGRESS 3 0"},
         0.15f * 1 / 4 + kTick,
         {}},
        {{{10, 1, 2, 0}}, 0, {"ERROR 3 Erase EFS fail!(0x1/0x2)"}, 0, {}},
        {{{11, 1, 2, 0}}, 0, {"STATUS 3 Erasing checksum(0x1/0x2)..."}, 0, {}},
        {{{12, 1, 2, 0}}, 0, {"ERROR 3 Erase checksum fail!"}, 0, {}},
        // The app erase weighs 0.2 while it also clears the EFS area, else 0.05.
        {{{13, 1, 2, 1}},
         1,
         {"STATUS 3 Erasing app(0x1/0x2)...", "PROGRESS 3 0"},
         0.2f / 2 + kTick,
         {}},
        {{{13, 1, 2, 1}},
         0,
         {"STATUS 3 Erasing app(0x1/0x2)...", "PROGRESS 3 0"},
         0.05f / 2 + kTick,
         {}},
        {{{9, 2, 2, 2}, {13, 1, 2, 1}},
         1,
         {"STATUS 3 Erasing EFS(0x2/0x2)...", "PROGRESS 3 0", "STATUS 3 Erasing app(0x1/0x2)...",
          "PROGRESS 3 0"},
         0.15f + kTick + 0.05f / 2 + kTick,
         {}},
        {{{14, 1, 2, 0}}, 0, {"ERROR 3 Erase app fail!(0x1/0x2)"}, 0, {}},
        {{{15, 1, 2, 0}}, 0, {"ERROR 3 Can not find app file!"}, 0, {}},
        {{{16, 1, 2, 0}}, 0, {"STATUS 3 Download app(0x1/0x2)..."}, 0, {}},
        {{{17, 1, 2, 0}}, 0, {"ERROR 3 Download app fail!(0x1/0x2)"}, 0, {}},
        {{{18, 1, 2, 0}}, 0, {"STATUS 3 Writing checksum..."}, 0, {}},
        {{{19, 1, 2, 0}}, 0, {"ERROR 3 Write checksum fail!"}, 0, {}},
        {{{20, 1, 2, 0}}, 0, {"STATUS 3 Wait the phone to restart..."}, 0, {}},
        {{{21, 1, 2, 0}}, 0, {"ERROR 3 Restart phone fail!"}, 0, {}},
        {{{22, 1, 2, 0}}, 0, {"STATUS 3 Downloading modul(0x1/0x2)..."}, 0, {}},
        {{{23, 1, 2, 0}}, 0, {"ERROR 3 Download modul fail!(0x1/0x2)"}, 0, {}},
        {{{24, 1, 2, 0}}, 0, {"STATUS 3 Running ram..."}, 0, {}},
        // Missing files of a multi-image phone, by sub-code.
        {{{25, 1, 0, 0},
          {25, 2, 0, 0},
          {25, 3, 0, 0},
          {25, 4, 0, 0},
          {25, 5, 0, 0},
          {25, 6, 0, 0},
          {25, 7, 0, 0},
          {25, 8, 0, 0}},
         0,
         {"ERROR 3 Can not find partition table file!",
          "ERROR 3 Can not find Pri Boot Loader file!",
          "ERROR 3 Can not find Qcs Boot Loader file!",
          "ERROR 3 Can not find Oem Boot Loader file!", "ERROR 3 Can not find Qcs header file!",
          "ERROR 3 Can not find Oem header file!", "ERROR 3 Can not find Amss header file!",
          "ERROR 3 Can not find Amss file!"},
         0,
         {}},
        // Progress of a multi-image phone: counters grow by the amount done.
        {{{26, 1, 0x100, 0x400}},
         0,
         {"STATUS 3 Downloading Partition Table file(0x100/0x400)..."},
         0,
         {0x100, 0, 0, 0, 0}},
        {{{26, 2, 0x100, 0x400}},
         0,
         {"STATUS 3 Downloading Pri Boot loader file(0x100/0x400)...", "PROGRESS 3 0"},
         0.02f * 0x100 / 0x400 + kTick,
         {0, 0x100, 0, 0, 0}},
        {{{26, 3, 0x100, 0x400}},
         0,
         {"STATUS 3 Downloading Qcs Boot Loader file(0x100/0x400)...", "PROGRESS 3 0"},
         0.02f * 0x100 / 0x400 + kTick,
         {0, 0, 0x100, 0, 0}},
        {{{26, 4, 0x100, 0x400}}, 0, {"STATUS 3 Downloading Qcs header file..."}, 0, {}},
        // Sub-code 5 adds its share without a tick: no PROGRESS until the next one.
        {{{26, 5, 0x100, 0x400}},
         0,
         {"STATUS 3 Downloading Oem Boot Loader file(0x100/0x400)..."},
         0.02f * 0x100 / 0x400,
         {0, 0, 0, 0x100, 0}},
        {{{26, 6, 0x100, 0x400}}, 0, {"STATUS 3 Downloading Oem header file..."}, 0, {}},
        {{{26, 7, 0x200, 0x1000}, {26, 7, 0x200, 0x1000}},
         0,
         {"STATUS 3 Downloading Amss file(0x200/0x1000)...", "PROGRESS 3 0",
          "STATUS 3 Downloading Amss file(0x400/0x1000)...", "PROGRESS 3 0"},
         2 * (4.0f * 0x200 / 0x1000 + kTick),
         {0, 0, 0, 0, 0x400}},
        {{{26, 8, 0x100, 0x400}}, 0, {"STATUS 3 Downloading Amss header file..."}, 0, {}},
        // Failures of a multi-image phone: the counter grows first, then shows in the text.
        {{{26, 7, 0x200, 0x1000}, {27, 7, 0x10, 0x1000}},
         0,
         {"STATUS 3 Downloading Amss file(0x200/0x1000)...", "PROGRESS 3 0",
          "ERROR 3 Download Amss file fail(0x210/0x1000)!"},
         4.0f * 0x200 / 0x1000 + kTick,
         {0, 0, 0, 0, 0x210}},
        {{{27, 1, 1, 2}, {27, 2, 1, 2}, {27, 3, 1, 2}, {27, 5, 1, 2}},
         0,
         {"ERROR 3 Download Partition Table file fail(0x1/0x2)!",
          "ERROR 3 Download Pri Boot loader file fail(0x1/0x2)!",
          "ERROR 3 Download Qcs Boot Loader file fail(0x1/0x2)!",
          "ERROR 3 Download Oem Boot Loader file fail(0x1/0x2)!"},
         0,
         {1, 1, 1, 1, 0}},
        {{{27, 4, 1, 2}, {27, 6, 1, 2}, {27, 8, 1, 2}},
         0,
         {"ERROR 3 Download Qcs header file fail!", "ERROR 3 Download Oem header file fail!",
          "ERROR 3 Download Amss header file fail!"},
         0,
         {}},
        // Sub-codes outside 1 to 8 do nothing; unknown codes are a plain failure.
        {{{25, 0, 1, 2}, {26, 9, 1, 2}, {27, -1, 1, 2}}, 0, {}, 0, {}},
        {{{28, 1, 2, 3}, {99, 0, 0, 0}, {-1, 0, 0, 0}},
         0,
         {"ERROR 3 Download fail!", "ERROR 3 Download fail!", "ERROR 3 Download fail!"},
         0,
         {}},
        // A report without a total moves nothing but the tick.
        {{{1, 5, 0, 5}}, 0, {"STATUS 3 Download ram(0x5/0x0)...", "PROGRESS 3 0"}, kTick, {}},
        {{{26, 7, 5, 0}},
         0,
         {"STATUS 3 Downloading Amss file(0x5/0x0)...", "PROGRESS 3 0"},
         kTick,
         {0, 0, 0, 0, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "first code " << c.reports.front().code << " sub " << c.reports.front().b);
        WorkerRig rig("COM3", PORT_KIND_DIAG);
        rig.params.erase_efs = c.erase_efs;
        ASSERT_TRUE(rig.worker->SetParams(rig.params));
        for (const Report& r : c.reports)
            ApplyFlashReport(*rig.worker, r.code, r.b, r.c, r.d);
        const Lines& lines = rig.journal.lines();
        EXPECT_EQ(Lines(lines.begin() + 3, lines.end()), c.posted);
        EXPECT_FLOAT_EQ(rig.worker->progress().progress(), c.progress);
        EXPECT_EQ(rig.worker->byte_counters(), c.counters);
    }
}

TEST(FlashReports, TheEfsEraseIsRememberedForLaterRunsOfTheWorker) {
    WorkerRig rig("COM3", PORT_KIND_DIAG);
    rig.params.erase_efs = 1;
    ASSERT_TRUE(rig.worker->SetParams(rig.params));
    ApplyFlashReport(*rig.worker, 9, 1, 1, 1);
    ASSERT_TRUE(rig.worker->SetParams(rig.params));  // the next run
    ApplyFlashReport(*rig.worker, 13, 1, 1, 1);
    EXPECT_FLOAT_EQ(rig.worker->progress().progress(), 0.05f + kTick);
}

TEST(FlashReports, ClosingThePortZeroesTheByteCounters) {
    WorkerRig rig("COM7", PORT_KIND_DLOAD);
    std::array<std::uint32_t, 5> during{};
    rig.flash.download = [&](FendrelReportFunction report, void* context) {
        report(26, 7, 0x800, 0x1000, context);
        during = static_cast<CDownloadThread*>(context)->byte_counters();
        return 1;
    };
    rig.RunHere();
    EXPECT_EQ(during[4], 0x800u);
    EXPECT_EQ(rig.worker->byte_counters(), (std::array<std::uint32_t, 5>{}));
}

}  // namespace
}  // namespace fendrel::testing
