// The instance guard on Windows: a named semaphore, one holder at a time, gone with its holder.
#include <gtest/gtest.h>

#include <optional>

#include "platform/instance_guard.h"

namespace platform {
namespace {

using Result = InstanceGuard::Result;

TEST(InstanceGuardWindows, OneHolderAtATimeAndFreedWhenTheHolderGoes) {
    std::optional<InstanceGuard> first;
    first.emplace("C:\\fendrel-guard-test", "QUEX");
    ASSERT_EQ(first->Take(), Result::kTaken) << first->error();
    EXPECT_EQ(first->Take(), Result::kTaken);  // taken again by its holder
    {
        InstanceGuard second("C:\\fendrel-guard-test", "QUEX");
        EXPECT_EQ(second.Take(), Result::kHeldElsewhere);
        EXPECT_FALSE(second.held());
        // Another folder's guard of the same name is another semaphore.
        InstanceGuard elsewhere("C:\\fendrel-guard-other", "QUEX");
        EXPECT_EQ(elsewhere.Take(), Result::kTaken) << elsewhere.error();
    }
    InstanceGuard later("C:\\fendrel-guard-test", "QUEX");
    EXPECT_EQ(later.Take(), Result::kHeldElsewhere);
    first.reset();
    EXPECT_EQ(later.Take(), Result::kTaken) << later.error();
}

TEST(InstanceGuardWindows, TheStationsGuardIsTheSemaphoreNamedAsGiven) {
    EXPECT_EQ(InstanceGuard("", "QUEX").LockPath(), "QUEX");
    EXPECT_EQ(InstanceGuard("C:\\a\\b", "QUEX").LockPath(), "QUEX@C:/a/b");
}

}  // namespace
}  // namespace platform
