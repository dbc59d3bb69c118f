// The instance guard: one holder at a time, and a holder that ends (cleanly or killed) never
// blocks the next start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/instance_guard.h"
#include "tests/support/temp_dir.h"

namespace fendrel::testing {
namespace {

using platform::InstanceGuard;
using Result = InstanceGuard::Result;

TEST(InstanceGuard, OneHolderAtATimeAndFreedWhenTheHolderGoes) {
    TempDir dir;
    const std::string folder = dir.File("state/fendrel");  // made on the way
    {
        InstanceGuard first(folder, "QUEX");
        ASSERT_EQ(first.Take(), Result::kTaken) << first.error();
        EXPECT_EQ(first.Take(), Result::kTaken);
        InstanceGuard second(folder, "QUEX");
        EXPECT_EQ(second.Take(), Result::kHeldElsewhere);
        EXPECT_FALSE(second.held());
        InstanceGuard other_name(folder, "OTHER");
        EXPECT_EQ(other_name.Take(), Result::kTaken);
    }
    // The lock file stays behind, as after a crash; it must not block.
    InstanceGuard next(folder, "QUEX");
    EXPECT_EQ(next.Take(), Result::kTaken) << next.error();
}

TEST(InstanceGuard, AKilledHolderReleasesIt) {
    TempDir dir;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceGuard guard(dir.path(), "QUEX");
        const char answer = guard.Take() == Result::kTaken ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    close(ready[0]);
    ASSERT_EQ(answer, 'y');
    InstanceGuard guard(dir.path(), "QUEX");
    EXPECT_EQ(guard.Take(), Result::kHeldElsewhere);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(guard.Take(), Result::kTaken) << guard.error();
}

TEST(InstanceGuard, AFolderThatCannotBeMadeFailsWithItsReason) {
    TempDir dir;
    WriteFile(dir.File("file"), "not a folder");
    InstanceGuard guard(dir.File("file/sub"), "QUEX");
    EXPECT_EQ(guard.Take(), Result::kFailed);
    EXPECT_NE(guard.error().find("file/sub"), std::string::npos) << guard.error();
}

}  // namespace
}  // namespace fendrel::testing
