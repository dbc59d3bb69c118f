// The main window and the pages' care of their workers: the frame's shape, the page buttons, the
// close question, and workers that are stopped and joined (or cut off) before their rows go.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <atomic>

#include "app/registry_keys.h"
#include "engine/worker_messages.h"
#include "sim/phones/phone_modes.h"
#include "tests/support/wait.h"
#include "tests/ui/station_rig.h"
#include "ui/main_window.h"
#include "ui/multi_download_page.h"
#include "ui/single_download_page.h"

namespace fendrel::ui {
namespace {

constexpr std::chrono::seconds kGenerous{60};

// A rig whose flash step blocks until released, or until its worker is stopped when
// `honour_stop`.
class BlockingRig : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.AddPhone(sim::kDownloadModeProduct);
        std::optional<platform::SettingsKey> key =
            rig.settings.OpenKey(platform::Hive::kLocalMachine, registry::kFendrelKey);
        ASSERT_TRUE(key && key->SetString("sPath", rig.dir.path()));
        rig.flash.download = [this](FendrelReportFunction, void*) {
            entered = true;
            if (honour_stop)
                rig.flash.stop_event->Wait(kGenerous);
            else
                release.Wait(kGenerous);
            left = true;
            return 1;
        };
    }
    void TearDown() override { release.Set(); }

    StationRig rig;
    bool honour_stop = false;
    std::atomic<bool> entered{false}, left{false};
    platform::ManualResetEvent release;
};

TEST_F(BlockingRig, TheFrameAsksBeforeClosingAndCancelLeavesTheWorkersRunning) {
    platform::RecordingPrompts cancel(platform::PromptAnswer::kCancel);
    platform::InstallPrompts(&cancel);
    CMainFrame frame(rig.Doubles());
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Fendrel V1.0"));
    EXPECT_FALSE(frame.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(frame.minimumSize(), frame.maximumSize());

    CQUEXView& view = frame.view();
    EXPECT_TRUE(view.multi_page()->isVisible());
    EXPECT_FALSE(view.single_page()->isVisible());
    EXPECT_FALSE(view.multi_button()->isVisible());
    QTest::mouseClick(view.single_button(), Qt::LeftButton);
    EXPECT_TRUE(view.single_page()->isVisible());
    EXPECT_FALSE(view.multi_page()->isVisible());
    // The way back to the multi page is there once the single page is shown.
    ASSERT_TRUE(view.multi_button()->isVisible());
    EXPECT_TRUE(view.multi_button()->isEnabled());
    QTest::mouseClick(view.multi_button(), Qt::LeftButton);
    EXPECT_TRUE(view.multi_page()->isVisible());

    view.multi_page()->StartAll();
    ASSERT_TRUE(WaitForPage([&] { return entered.load(); }));
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    const std::vector<platform::RecordingPrompts::Message> asked = cancel.Messages();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "Are you sure to exit?");
    EXPECT_EQ(asked[0].caption, "Fendrel");
    EXPECT_EQ(asked[0].buttons, platform::PromptButtons::kOkCancel);
    EXPECT_EQ(asked[0].icon, platform::PromptIcon::kInformation);
    CDownloadThread* worker = view.multi_page()->workers().at(0);
    EXPECT_TRUE(worker->IsRunning());
    EXPECT_FALSE(worker->stop_requested());
    release.Set();
    EXPECT_TRUE(WaitForPage([&] { return !worker->IsRunning(); }));
    platform::InstallPrompts(&rig.prompts);
}

TEST_F(BlockingRig, ARefreshStopsAndJoinsARunningWorkerBeforeItGoes) {
    honour_stop = true;
    CMultiDownloadPage page(rig.Doubles());
    ASSERT_EQ(page.port_list().GetItemCount(), 1);
    page.StartAll();
    ASSERT_TRUE(WaitForPage([&] { return entered.load(); }));
    page.Refresh();
    EXPECT_TRUE(left);  // the old worker's run was over before its object went
    ASSERT_EQ(page.port_list().GetItemCount(), 1);
    EXPECT_FALSE(page.workers().at(0)->IsRunning());
}

TEST_F(BlockingRig, AWorkerStuckPastTheBoundIsCutOffFromItsPage) {
    QObject page;
    std::vector<platform::MessageId> handled;
    PageWorkers workers(
        &page,
        [&](platform::MessageId id, std::uintptr_t, std::intptr_t) { handled.push_back(id); },
        rig.Doubles().workers);
    PORT_RECORD port{rig.PortOf(1), "UART", PORT_KIND_DLOAD};
    workers.Add(port);
    CDownloadThread* worker = workers.at(0);
    DOWNLOAD_PARAM params;
    params.flash_type = "MULTI";
    params.image_folder = rig.dir.path();
    worker->SetParams(params);
    worker->Start();
    ASSERT_TRUE(fendrel::testing::WaitUntil([&] { return entered.load(); }, kGenerous));
    EXPECT_EQ(workers.Retire(std::chrono::milliseconds(50)),
              std::vector<std::string>{port.port_name});
    EXPECT_EQ(workers.size(), 0);
    release.Set();
    ASSERT_TRUE(fendrel::testing::WaitUntil([&] { return !worker->IsRunning(); }, kGenerous));
    QCoreApplication::processEvents();
    // What it posted before it was cut may arrive; its verdict and end never do.
    for (const platform::MessageId id : handled) {
        EXPECT_NE(id, WorkerMessages().end);
        EXPECT_NE(id, WorkerMessages().error);
    }
}

}  // namespace
}  // namespace fendrel::ui
