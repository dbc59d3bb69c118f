// What fendrel-cli flash makes of its workers' messages.
#include "cli/flash_console.h"

#include <gtest/gtest.h>

#include "engine/worker_messages.h"
#include "tests/engine/worker_doubles.h"

namespace fendrel::testing {
namespace {

// One row, COM3, whose worker is never started: the test posts in its place.
class FlashConsoleTest : public ::testing::Test {
  protected:
    FlashConsoleTest() {
        workers_.push_back(std::move(rig_.worker));
        console_.Begin();
    }

    WorkerRig rig_{"COM3"};
    std::vector<std::unique_ptr<CDownloadThread>> workers_;
    cli::FlashConsole console_{workers_};
};

TEST_F(FlashConsoleTest, AVerdictPostedAsTheLastWorkerEndsIsStillCounted) {
    const WorkerMessageIds& ids = WorkerMessages();
    int looks = 0;
    // The worker posts its verdict and END, and its thread ends, between the console's wait
    // that found the queue empty and its look at the workers.
    console_.ShowUntilAllEnded(
        [&] {
            if (looks++ == 0) {
                console_.Post(ids.success, 3, 0);
                console_.Post(ids.end, 3, 0);
            }
            return false;
        },
        [] {});
    EXPECT_EQ(looks, 1);
    EXPECT_TRUE(console_.Verdicts());
}

TEST_F(FlashConsoleTest, APortWithoutASuccessFails) {
    const WorkerMessageIds& ids = WorkerMessages();
    console_.Post(ids.error, 3, 0);
    console_.Post(ids.end, 3, 0);
    console_.ShowUntilAllEnded([] { return false; }, [] {});
    EXPECT_FALSE(console_.Verdicts());
}

}  // namespace
}  // namespace fendrel::testing
