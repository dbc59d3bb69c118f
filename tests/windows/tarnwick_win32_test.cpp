// Tarnwick.exe under Windows (Wine) against stand-ins of its tools and of DIFxAPI.dll: the
// 64-bit path runs DPInst, the 32-bit path of Windows XP runs devcon and installs the INF
// packages through the library; both then mark the machine as installed. (Wine has a DIFxAPI.dll
// of its own: scripts/windows-test.sh has it load the stand-in instead.)
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/settings_store.h"
#include "tests/support/temp_dir.h"

namespace {

using fendrel::testing::ReadFile;
using fendrel::testing::TempDir;
namespace fs = std::filesystem;

constexpr DWORD kRunLimitMs = 120000;

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class TarnwickProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(program_ + "\\32bit");
        fs::create_directories(work_ + "\\32bit");
        fs::create_directories(work_ + "\\64bit");
        fs::copy_file(TARNWICK_PROGRAM, program_ + "\\Tarnwick.exe");
        fs::copy_file(STANDIN_DIFXAPI, program_ + "\\32bit\\DIFxAPI.dll");
        fs::copy_file(STANDIN_TOOL, work_ + "\\32bit\\devcon.exe");
        fs::copy_file(STANDIN_TOOL, work_ + "\\64bit\\DPInst.exe");
        ASSERT_TRUE(store_.CreateKey(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick"));
        _putenv_s("FENDREL_REGISTRY_DIR", store_.directory().c_str());
        _putenv_s("TARNWICK_TRANSCRIPT", transcript_.c_str());
    }
    void TearDown() override {
        _putenv_s("FENDREL_REGISTRY_DIR", "");
        _putenv_s("TARNWICK_TRANSCRIPT", "");
        _putenv_s("FENDREL_HOST_OS", "");
    }

    // Runs Tarnwick.exe in the working folder as `host`; its exit code.
    DWORD Run(const char* host) {
        _putenv_s("FENDREL_HOST_OS", host);
        const std::string program = program_ + "\\Tarnwick.exe";
        std::string line = "\"" + program + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            work_.c_str(), &startup, &started)) {
            ADD_FAILURE() << "cannot start " << program << ": " << GetLastError();
            return ~DWORD{0};
        }
        EXPECT_EQ(WaitForSingleObject(started.hProcess, kRunLimitMs), WAIT_OBJECT_0);
        DWORD code = ~DWORD{0};
        GetExitCodeProcess(started.hProcess, &code);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        return code;
    }

    // The transcript without the CR that the stand-ins' text-mode writes put before each LF.
    std::string Transcript() const {
        std::string text = ReadFile(transcript_);
        std::erase(text, '\r');
        return text;
    }

    std::optional<std::uint32_t> InstallFlag() {
        auto key = store_.OpenKey(platform::Hive::kLocalMachine, "SOFTWARE\\Tarnwick");
        return key ? key->QueryDword("bInstall") : std::nullopt;
    }

    TempDir root_;
    std::string program_ = root_.File("program");
    std::string work_ = root_.File("work");
    std::string transcript_ = root_.File("transcript.txt");
    platform::SettingsStore store_{root_.File("registry")};
};

TEST_F(TarnwickProgramTest, SixtyFourBitWindowsRunsDpinstOnce) {
    EXPECT_EQ(Run("windows-6.1-64"), 0u);
    const std::string transcript = Transcript();
    EXPECT_EQ(transcript, "DPInst.exe /q\n");
    EXPECT_EQ(InstallFlag(), 1u);

    // Installed: a second run does nothing.
    EXPECT_EQ(Run("windows-6.1-64"), 0u);
    EXPECT_EQ(Transcript(), transcript);
}

TEST_F(TarnwickProgramTest, ThirtyTwoBitXpRemovesInstallsAndRescans) {
    EXPECT_EQ(Run("windows-5.1-32"), 0u);
    const std::string transcript = Transcript();
    EXPECT_EQ(Count(transcript, "devcon.exe remove \"USB\\VID_"), 12u) << transcript;
    EXPECT_EQ(Count(transcript, "devcon.exe rescan"), 2u) << transcript;
    EXPECT_EQ(Count(transcript, "DriverPackageInstallW("), 6u) << transcript;
    const std::size_t xp_only = transcript.find("DriverPackageInstallW(wpdmtp.inf");
    ASSERT_NE(xp_only, std::string::npos) << transcript;
    EXPECT_LT(xp_only, transcript.find("DriverPackageInstallW(kestomdm.inf"));
    EXPECT_LT(transcript.find("remove"), xp_only);
    EXPECT_GT(transcript.find("rescan"), transcript.find("DriverPackageInstallW(android_usb.inf"));
    EXPECT_EQ(InstallFlag(), 1u);
}

}  // namespace
