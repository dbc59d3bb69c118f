// Out of memory at every allocation a request makes: the call ends, reports what it can,
// releases everything, and the caller's process goes on. This binary replaces the non-throwing
// forms of operator new, which the library uses for all it allocates, to fail on request.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>

#include "fastboot/flash_run.h"
#include "fastboot/transport/adb_api.h"
#include "sim/fastboot/fastboot_device.h"
#include "tests/fastboot/client_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

// 0: no failure; n: the n-th allocation from now fails.
std::atomic<int> g_fail_at{0};
std::atomic<int> g_counted{0};
std::atomic<bool> g_counting{false};

bool AllocationFails() {
    if (!g_counting)
        return false;
    const int number = ++g_counted;
    return number == g_fail_at;
}

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (AllocationFails())
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (AllocationFails())
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace brenlo::testing {
namespace {

using ::testing::AnyOf;

class OutOfMemory : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"boot", "system"})
            device_.AddMemoryPartition(name);
        std::string error;
        ASSERT_TRUE(device_.Start(&error)) << error;
        fendrel::testing::WriteFile(folder_.File("boot.img"), std::string(5000, 'b'));
        fendrel::testing::WriteFile(folder_.File("system.img"), std::string(7000, 's'));
    }

    // Runs a request that erases and flashes two partitions, failing the `fail_at`-th
    // allocation (none for 0); returns how many allocations the run made.
    int Run(int fail_at, ReportLog* log, bool* result) {
        flash_request request = log->owner();
        request.interface_name = device_.interface_name();
        request.erase_boot = request.erase_system = 1;
        request.flash_boot = request.flash_system = 1;
        request.boot_path = folder_.File("boot.img");
        request.system_path = folder_.File("system.img");
        g_counted = 0;
        g_fail_at = fail_at;
        g_counting = true;
        *result = flash_run(request, api_, clock_);
        g_counting = false;
        return g_counted;
    }

    fastboot_sim::FastbootDevice device_;
    fendrel::testing::TempDir folder_;
    SystemAdbApi api_;
    platform::VirtualClock clock_;
};

TEST_F(OutOfMemory, EveryAllocationFailureEndsTheCallCleanly) {
    ReportLog reference;
    bool result = false;
    const int allocations = Run(0, &reference, &result);
    ASSERT_TRUE(result);
    ASSERT_GT(allocations, 10);  // connection, handles, name, steps, messages, images
    const std::size_t commands = device_.Commands().size();

    int ended_with_error_text = 0;
    for (int fail_at = 1; fail_at <= allocations; ++fail_at) {
        SCOPED_TRACE("allocation " + std::to_string(fail_at));
        ReportLog log;
        EXPECT_LE(Run(fail_at, &log, &result), allocations);
        EXPECT_FALSE(result);
        ASSERT_FALSE(log.texts().empty());
        // Opening fails plainly; a failed image buffer ends the call without a text of its own
        // (as an unreadable image does); any other allocation ends it with the error text.
        EXPECT_THAT(log.texts().back(), AnyOf("Open device fail!", "Start to download Arm11...",
                                              "Download Arm11 Error!"));
        if (log.texts().back() == "Download Arm11 Error!")
            ++ended_with_error_text;
        // Nothing reaches the phone from a request whose queue could not be built.
        EXPECT_EQ(device_.Commands().size(), commands);
    }
    EXPECT_GT(ended_with_error_text, 0);
}

}  // namespace
}  // namespace brenlo::testing
