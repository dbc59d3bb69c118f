// Whole runs of the installer against the stand-ins: the transcript of every tool start,
// library call and message box, the pauses, and the registry values.
#include <array>
#include <optional>
#include <utility>

#include "tests/driverinstall/installer_fixture.h"
#include "tests/support/no_free_descriptors.h"
#include "tests/support/temp_dir.h"

namespace tarnwick::testing {
namespace {

using platform::Hive;
using platform::Milliseconds;

constexpr std::string_view kInstallKey = "SOFTWARE\\Tarnwick";
constexpr std::string_view kExplorerKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

constexpr std::array<std::string_view, 12> kRemovedIds = {
    "USB\\VID_05c6&PID_9025&MI_00", "USB\\VID_05c6&PID_9025&MI_05", "USB\\VID_05c6&PID_9025&MI_02",
    "USB\\VID_05c6&PID_9025&MI_03", "USB\\VID_05c6&PID_9025&MI_04", "USB\\VID_2949&PID_9025&MI_00",
    "USB\\VID_2949&PID_9025&MI_05", "USB\\VID_2949&PID_9025&MI_02", "USB\\VID_2949&PID_9025&MI_03",
    "USB\\VID_2949&PID_9025&MI_04", "USB\\VID_2949&PID_9025&MI_01", "USB\\VID_05c6&PID_9025&MI_01",
};
constexpr std::array<std::string_view, 5> kEveryWindowsInfs = {
    "kestomdm.inf", "kestonet.inf", "kestoser.inf", "lintasdrv.inf", "android_usb.inf",
};

class Installer : public InstallerBench {
  protected:
    std::string Removes() const {
        std::string lines;
        for (const std::string_view id : kRemovedIds)
            lines += Devcon({"remove", id});
        return lines;
    }
    std::string Rescans() const { return Devcon({"rescan"}) + Devcon({"rescan"}); }
    std::string EveryWindowsInfs(bool preinstall = true) const {
        std::string lines;
        for (const std::string_view inf : kEveryWindowsInfs)
            lines += Inf(inf, preinstall);
        return lines;
    }
    void ExpectBothValuesWritten() const {
        EXPECT_EQ(Dword(Hive::kLocalMachine, kInstallKey, "bInstall"), 1u);
        EXPECT_EQ(Dword(Hive::kCurrentUser, kExplorerKey, "NoDriveTypeAutoRun"), 255u);
    }
};

TEST_F(Installer, TheRunFlagCountsAsSetWhenItsDecimalTextHoldsAOne) {
    PlaceTools();
    CreateKeys();
    // The key without the value reads as 0.
    EXPECT_EQ(Run(kWindows7x64), Dpinst());

    const struct {
        std::uint32_t flag;
        bool installed;
    } cases[] = {
        {1, true},  {10, true}, {21, true},   {0xFFFFFFFF, true},  // -1
        {2, false}, {0, false}, {256, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flag);
        SetInstallFlag(c.flag);
        const std::string machine = HiveText(Hive::kLocalMachine);
        const std::string user = HiveText(Hive::kCurrentUser);
        if (c.installed) {
            EXPECT_EQ(Run(kWindows7x64), "");
            EXPECT_EQ(HiveText(Hive::kLocalMachine), machine);  // nothing written at all
            EXPECT_EQ(HiveText(Hive::kCurrentUser), user);
        } else {
            EXPECT_EQ(Run(kWindows7x64), Dpinst());
            ExpectBothValuesWritten();
        }
    }
}

TEST_F(Installer, OnWindowsXpTheMediaTransferDriverComesFirst) {
    PlaceTools();
    PlaceLibrary(STANDIN_DIFXAPI);
    CreateKeys();
    EXPECT_EQ(Run(kWindowsXp), Removes() + Inf("wpdmtp.inf") + EveryWindowsInfs() + Rescans());
    EXPECT_EQ(clock_.Sleeps(), ToolPauses(100, 14));
    ExpectBothValuesWritten();
}

TEST_F(Installer, Other32BitHostsGoWithoutTheMediaTransferDriver) {
    PlaceTools();
    PlaceLibrary(STANDIN_DIFXAPI);
    const platform::HostSystem hosts[] = {
        kWindows7,
        {platform::OsFamily::kWindows, 5, 2, false},  // Server 2003
        {platform::OsFamily::kPosix, 5, 1, false},    // a Linux 5.1 kernel is no Windows XP
    };
    for (const platform::HostSystem& host : hosts) {
        SCOPED_TRACE(::testing::Message()
                     << (host.family == platform::OsFamily::kWindows ? "Windows " : "POSIX ")
                     << host.major << "." << host.minor);
        EXPECT_EQ(Run(host), Removes() + EveryWindowsInfs() + Rescans());
    }
}

TEST_F(Installer, On64BitWindowsOnlyDpinstRunsAndBothValuesAreWritten) {
    PlaceTools();
    PlaceLibrary(STANDIN_DIFXAPI);
    CreateKeys();
    EXPECT_EQ(Run(kWindows7x64), Dpinst());
    EXPECT_EQ(clock_.Sleeps(), ToolPauses(500, 1));
    ExpectBothValuesWritten();
}

TEST_F(Installer, AMissingDevconIsReportedForEachCommandAndTheInstallGoesOn) {
    PlaceLibrary(STANDIN_DIFXAPI);
    CreateKeys();
    const std::string message = Message("Error on CreateProcess()");
    std::string removes;
    for (std::size_t i = 0; i < kRemovedIds.size(); ++i)
        removes += message;
    EXPECT_EQ(Run(kWindows7), removes + EveryWindowsInfs() + message + message);
    EXPECT_EQ(clock_.Sleeps(), std::vector<Milliseconds>(14, Milliseconds(500)));
    ExpectBothValuesWritten();
}

TEST_F(Installer, AMissingDpinstIsReportedAndTheValuesAreStillWritten) {
    PlaceTool("32bit/devcon.exe");
    CreateKeys();
    EXPECT_EQ(Run(kWindows7x64), Message("Error on CreateProcess()"));
    ExpectBothValuesWritten();
}

// Without the library no driver is installed: the run says nothing, but it does not record an
// install either, so the next run tries again; once the library is there, it installs.
TEST_F(Installer, WithoutTheLibraryEveryInfIsSkippedSilentlyAndTheNextRunTriesAgain) {
    PlaceTools();
    CreateKeys();
    EXPECT_EQ(Run(kWindowsXp), Removes() + Rescans());
    EXPECT_EQ(Run(kWindowsXp), Removes() + Rescans());
    EXPECT_FALSE(Dword(Hive::kLocalMachine, kInstallKey, "bInstall"));
    EXPECT_EQ(Dword(Hive::kCurrentUser, kExplorerKey, "NoDriveTypeAutoRun"), 255u);

    PlaceLibrary(STANDIN_DIFXAPI);
    EXPECT_EQ(Run(kWindowsXp), Removes() + Inf("wpdmtp.inf") + EveryWindowsInfs() + Rescans());
    ExpectBothValuesWritten();
}

TEST_F(Installer, ALibraryWithoutThePreinstallCallStillInstalls) {
    PlaceTools();
    PlaceLibrary(STANDIN_DIFXAPI_INSTALL_ONLY);
    EXPECT_EQ(Run(kWindows7), Removes() + EveryWindowsInfs(false) + Rescans());
}

TEST_F(Installer, WithoutTheInstallKeyTheWorkIsRepeatedOnEveryRun) {
    PlaceTools();
    CreateKey(Hive::kCurrentUser, kExplorerKey);
    EXPECT_EQ(Run(kWindows7x64), Dpinst());
    EXPECT_EQ(Run(kWindows7x64), Dpinst());
    EXPECT_FALSE(store_.OpenKey(Hive::kLocalMachine, kInstallKey));  // never created
    EXPECT_EQ(Dword(Hive::kCurrentUser, kExplorerKey, "NoDriveTypeAutoRun"), 255u);
}

TEST_F(Installer, AShortcutsWorkingFolderHoldsTheToolsAndTheProgramFolderTheDrivers) {
    // The working folder, with a space in its name, holds only the tools; the program folder
    // only the driver files.
    UseWorkingFolder("Service Desk/tools");
    UseProgramFolder(root_.File("Program Files/Tarnwick"));
    PlaceTools();
    PlaceLibrary(STANDIN_DIFXAPI);
    EXPECT_EQ(Run(kWindows7), Removes() + EveryWindowsInfs() + Rescans());
}

TEST_F(Installer, InfPathsAreWideTextAndOnesThatDoNotFitTheBufferAreSkipped) {
    // A program folder of two-byte characters whose driver folder is 1010 wide characters
    // long: "kestomdm.inf" and its like make paths of 1023 (with the terminator the whole
    // buffer), "lintasdrv.inf" and "android_usb.inf" ones that do not fit.
    const std::string two_byte = "\xC3\xBC";  // u with diaeresis
    std::size_t wide_left = 1010 - std::string_view("/32bit").size() - root_.path().size();
    std::string folders;
    while (wide_left > 101) {
        for (int i = 0; i < 100; ++i)
            folders += two_byte;
        folders += '/';
        wide_left -= 101;
    }
    for (std::size_t i = 0; i < wide_left; ++i)
        folders += two_byte;
    UseProgramFolder(root_.path() + folders);
    PlaceTools();
    PlaceLibrary(STANDIN_DIFXAPI);
    CreateKeys();
    EXPECT_EQ(Run(kWindows7), Removes() + Inf("kestomdm.inf") + Inf("kestonet.inf") +
                                  Inf("kestoser.inf") + Rescans());
    // Two packages never reached the library: the install is not recorded.
    EXPECT_FALSE(Dword(Hive::kLocalMachine, kInstallKey, "bInstall"));
}

TEST_F(Installer, APipeThatCannotBeCreatedIsReportedAndTheSequenceGoesOn) {
    PlaceTools();
    PlaceLibrary(STANDIN_DIFXAPI);
    // No descriptor is free from the pause before the first tool until its message box.
    std::optional<fendrel::testing::NoFreeDescriptors> exhausted;
    bool first_pause = true;
    HookedClock clock([&](Milliseconds) {
        if (std::exchange(first_pause, false))
            exhausted.emplace();
    });
    prompts_.BeforeMessage([&] { exhausted.reset(); });

    std::string removes;
    for (std::size_t i = 1; i < kRemovedIds.size(); ++i)
        removes += Devcon({"remove", kRemovedIds[i]});
    EXPECT_EQ(Run(kWindows7, clock),
              Message("Error On CreatePipe()") + removes + EveryWindowsInfs() + Rescans());
    std::vector<Milliseconds> pauses = ToolPauses(100, 13);
    pauses.insert(pauses.begin(), Milliseconds(500));
    EXPECT_EQ(clock.Sleeps(), pauses);
}

TEST_F(Installer, AHiveFileThatDoesNotReadIsReportedOnceAndLeftAsItIs) {
    PlaceTools();
    CreateKeys();
    const std::string broken = "Windows Registry Editor Version 5.00\r\n\r\nnot a key\r\n";
    fendrel::testing::WriteFile(store_.HivePath(Hive::kLocalMachine), broken);

    const std::string transcript = Run(kWindows7x64);
    const std::string first_line = transcript.substr(0, transcript.find('\n') + 1);
    EXPECT_TRUE(first_line.starts_with("message [Tarnwick] ")) << transcript;
    EXPECT_NE(first_line.find(store_.HivePath(Hive::kLocalMachine)), std::string::npos);
    EXPECT_EQ(transcript.substr(first_line.size()), Dpinst());  // the install still runs
    EXPECT_EQ(HiveText(Hive::kLocalMachine), broken);
    EXPECT_EQ(Dword(Hive::kCurrentUser, kExplorerKey, "NoDriveTypeAutoRun"), 255u);
}

}  // namespace
}  // namespace tarnwick::testing
