// Paths, the event, the clocks and library loading.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/byte_order.h"
#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/event.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace platform {
namespace {

using fendrel::testing::TempDir;

TEST(ByteOrder, LoadsAndStoresBothOrders) {
    const std::uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(LoadLe16(bytes), 0x3412);
    EXPECT_EQ(LoadLe32(bytes), 0x78563412u);
    EXPECT_EQ(LoadBe16(bytes), 0x1234);
    EXPECT_EQ(LoadBe32(bytes), 0x12345678u);
    std::uint8_t stored[4] = {};
    StoreLe32(stored, 0xA1B2C3D4u);
    EXPECT_EQ(LoadLe32(stored), 0xA1B2C3D4u);
    EXPECT_EQ(stored[0], 0xD4);
}

TEST(Paths, ProgramDirectoryIsTheExecutablesFolderWithSeparator) {
    const std::string directory = ProgramDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), kPathSeparator);
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(std::string(exe).rfind(directory, 0), 0u);
}

TEST(Paths, OverrideAddsSeparatorAndClears) {
    const std::string real = ProgramDirectory();
    OverrideProgramDirectory("/tmp/x");
    EXPECT_EQ(ProgramDirectory(), "/tmp/x/");
    OverrideProgramDirectory("");
    EXPECT_EQ(ProgramDirectory(), real);
}

TEST(Paths, JoinAndNative) {
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
    EXPECT_EQ(NativePath("resource\\resource.txt"), "resource/resource.txt");
}

TEST(Paths, CurrentDirectoryFollowsTheProcessAndFailsOnceRemoved) {
    const std::string before = std::filesystem::current_path().string();
    TempDir dir;
    const std::string folder = dir.File("work folder");
    std::filesystem::create_directory(folder);
    std::filesystem::current_path(folder);
    EXPECT_EQ(CurrentDirectory(), folder);
    std::filesystem::remove(folder);
    EXPECT_FALSE(CurrentDirectory());
    std::filesystem::current_path(before);
    EXPECT_EQ(CurrentDirectory(), before);
}

TEST(ManualResetEvent, StaysSetUntilResetAndWakesAWaiter) {
    ManualResetEvent event;
    EXPECT_FALSE(event.IsSet());
    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.Wait(Milliseconds(10000)));
    setter.join();
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.IsSet());
    event.Set();  // setting twice keeps it set, one Reset clears it
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(Milliseconds(0)));
}

TEST(VirtualClock, SleepAdvancesTimeAndIsRecorded) {
    VirtualClock clock;
    clock.Sleep(Milliseconds(95));
    clock.Advance(Milliseconds(5));
    clock.Sleep(Milliseconds(100));
    EXPECT_EQ(clock.Now(), Milliseconds(200));
    EXPECT_EQ(clock.Sleeps(), (std::vector<Milliseconds>{Milliseconds(95), Milliseconds(100)}));
}

TEST(VirtualClock, ADeviceWaitBlocksBrieflyAndLetsTheTimeOutPassVirtually) {
    VirtualClock clock;
    clock.set_real_device_wait(Milliseconds(20));
    std::vector<Milliseconds> real_limits;
    const auto silent = [&](Milliseconds limit) {
        real_limits.push_back(limit);
        return false;
    };
    EXPECT_FALSE(clock.WaitForDevice(Milliseconds(1500), silent));
    EXPECT_FALSE(clock.WaitForDevice(Milliseconds(5), silent));
    EXPECT_EQ(real_limits, (std::vector<Milliseconds>{Milliseconds(20), Milliseconds(5)}));
    EXPECT_EQ(clock.Now(), Milliseconds(1505));
    EXPECT_TRUE(clock.Sleeps().empty());

    // A device that answers ends the wait; time moves on only by what was waited for real.
    EXPECT_TRUE(clock.WaitForDevice(Milliseconds(1500), [](Milliseconds) { return true; }));
    EXPECT_LT(clock.Now(), Milliseconds(1505 + 1500));
}

TEST(DynamicLibrary, MapsWindowsNames) {
    EXPECT_EQ(SharedLibraryPath("Emmc.dll"), "libEmmc.so");
    EXPECT_EQ(SharedLibraryPath("NorDL.DLL"), "libNorDL.so");
    EXPECT_EQ(SharedLibraryPath("drivers\\DIFxAPI.dll"), "drivers/libDIFxAPI.so");
    EXPECT_EQ(SharedLibraryPath("/opt/libx.so"), "/opt/libx.so");
}

TEST(DynamicLibrary, AFailedLoadNamesEveryPlaceTriedAndWhy) {
    TempDir dir;
    fendrel::testing::WriteFile(dir.File("libBroken.so"), "not a shared library");
    OverrideProgramDirectory(dir.path());
    DynamicLibrary library;
    EXPECT_FALSE(library.Load("Broken.dll"));
    OverrideProgramDirectory("");
    EXPECT_FALSE(library.is_loaded());
    EXPECT_EQ(library.Symbol("Download"), nullptr);
    // The broken file in the program's folder keeps its own reason beside the system's search.
    const std::string& error = library.error();
    EXPECT_EQ(error.find(dir.File("libBroken.so") + ": "), 0u) << error;
    EXPECT_EQ(error.find("cannot open shared object file"), error.rfind("cannot open shared"))
        << error;
    EXPECT_NE(error.find("; along the system's library paths: libBroken.so: cannot open shared "
                         "object file"),
              std::string::npos)
        << error;
}

TEST(DynamicLibrary, LoadsFromTheSystemPathAndFindsSymbols) {
    DynamicLibrary library;
    ASSERT_TRUE(library.Load("libm.so.6")) << library.error();
    EXPECT_NE(library.Symbol("cos"), nullptr);
    EXPECT_EQ(library.Symbol("no_such_symbol_here"), nullptr);
}

}  // namespace
}  // namespace platform
