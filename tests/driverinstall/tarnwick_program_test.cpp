// The tarnwick program itself, copied into a program folder of its own and started from another
// working folder, on the settings store the environment names. Whole installs run its build on
// virtual time (tarnwick-virtual-time), so that no test waits out the pauses between the tools
// for real; the program as shipped runs where it makes no pause at all.
#include <stdlib.h>

#include <filesystem>

#include "platform/processes.h"
#include "tests/driverinstall/installer_fixture.h"

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

class TarnwickProgram : public InstallerBench {
  protected:
    TarnwickProgram()
        : program_(program_folder_ + "/tarnwick"),
          virtual_time_program_(program_folder_ + "/tarnwick-virtual-time") {
        fs::copy_file(TARNWICK_PROGRAM, program_);
        fs::copy_file(TARNWICK_VIRTUAL_TIME_PROGRAM, virtual_time_program_);
        setenv("FENDREL_REGISTRY_DIR", store_.directory().c_str(), 1);
        PlaceTools();
        PlaceLibrary(STANDIN_DIFXAPI);
        CreateKeys();
    }
    ~TarnwickProgram() override {
        unsetenv("FENDREL_REGISTRY_DIR");
        unsetenv("FENDREL_HOST_OS");
    }

    struct Outcome {
        int exit_code = -1;
        std::string output;  // standard output and error
        std::string transcript;
    };

    Outcome RunProgram(const std::string& path, std::string_view arguments = "") {
        const std::size_t before = fs::exists(transcript_) ? fs::file_size(transcript_) : 0;
        platform::ChildProcess program;
        Outcome outcome;
        const auto started =
            program.Start(platform::QuoteProgramPath(path) + std::string(arguments));
        EXPECT_EQ(started, platform::ChildProcess::StartResult::kStarted) << program.error();
        char piece[4096];
        while (const std::size_t count = program.ReadOutput(piece, sizeof piece))
            outcome.output.append(piece, count);
        EXPECT_EQ(program.Wait(std::chrono::seconds(60)),
                  platform::ChildProcess::WaitResult::kEnded);
        outcome.exit_code = program.exit_code();
        if (fs::exists(transcript_))
            outcome.transcript = fendrel::testing::ReadFile(transcript_).substr(before);
        return outcome;
    }

    const std::string program_;
    const std::string virtual_time_program_;
};

TEST_F(TarnwickProgram, InstallsFor32BitWindowsWhenTheHostIsNamedSo) {
    setenv("FENDREL_HOST_OS", "windows-6.1-32", 1);
    const Outcome outcome = RunProgram(virtual_time_program_);
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.output, "");
    std::string expected;
    for (const char* mi : {"05c6&PID_9025&MI_00", "05c6&PID_9025&MI_05", "05c6&PID_9025&MI_02",
                           "05c6&PID_9025&MI_03", "05c6&PID_9025&MI_04", "2949&PID_9025&MI_00",
                           "2949&PID_9025&MI_05", "2949&PID_9025&MI_02", "2949&PID_9025&MI_03",
                           "2949&PID_9025&MI_04", "2949&PID_9025&MI_01", "05c6&PID_9025&MI_01"}) {
        expected += Devcon({"remove", "USB\\VID_" + std::string(mi)});
    }
    for (const char* inf :
         {"kestomdm.inf", "kestonet.inf", "kestoser.inf", "lintasdrv.inf", "android_usb.inf"})
        expected += Inf(inf);
    expected += Devcon({"rescan"}) + Devcon({"rescan"});
    EXPECT_EQ(outcome.transcript, expected);
    EXPECT_EQ(Dword(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick", "bInstall"), 1u);

    EXPECT_EQ(RunProgram(program_).transcript, "");  // installed once, it does nothing more
}

TEST_F(TarnwickProgram, TakesThe64BitPathOnA64BitHost) {
    if (!platform::QueryHostSystem()->is_64bit)
        GTEST_SKIP() << "this host is not a 64-bit one";
    const Outcome outcome = RunProgram(virtual_time_program_);
    EXPECT_EQ(outcome.exit_code, 0);
    EXPECT_EQ(outcome.transcript, Dpinst());
    EXPECT_EQ(Dword(platform::Hive::kCurrentUser,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
                    "NoDriveTypeAutoRun"),
              255u);
}

TEST_F(TarnwickProgram, RefusesArgumentsAndAnUnknownHostWithoutTouchingAnything) {
    const Outcome asked_for_help = RunProgram(program_, " --help");
    EXPECT_EQ(asked_for_help.exit_code, 2);
    EXPECT_NE(asked_for_help.output.find("usage:"), std::string::npos);

    setenv("FENDREL_HOST_OS", "windows-xp", 1);
    const Outcome unknown_host = RunProgram(program_);
    EXPECT_EQ(unknown_host.exit_code, 2);
    EXPECT_NE(unknown_host.output.find("FENDREL_HOST_OS=\"windows-xp\""), std::string::npos);

    EXPECT_EQ(asked_for_help.transcript + unknown_host.transcript, "");
    EXPECT_FALSE(Dword(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick", "bInstall"));
}

}  // namespace
}  // namespace tarnwick::testing
