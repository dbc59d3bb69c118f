// A test bench for Tarnwick: a working folder holding the stand-in tools (32bit/devcon.exe,
// 64bit/DPInst.exe), a program folder holding the stand-in driver-package library
// (32bit/libDIFxAPI.so), a settings store of its own, and one transcript in which the tools,
// the library and the message boxes record, in order, everything that was asked of them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "driverinstall/tarnwick_dlg.h"
#include "platform/clock.h"
#include "platform/host_system.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "tests/support/temp_dir.h"

namespace tarnwick::testing {

inline const platform::HostSystem kWindowsXp{platform::OsFamily::kWindows, 5, 1, false};
inline const platform::HostSystem kWindows7{platform::OsFamily::kWindows, 6, 1, false};
inline const platform::HostSystem kWindows7x64{platform::OsFamily::kWindows, 6, 1, true};

// Message boxes as lines of the transcript, so that they show where in the sequence they came.
class TranscriptPrompts final : public platform::Prompts {
  public:
    explicit TranscriptPrompts(std::string transcript) : transcript_(std::move(transcript)) {}
    platform::PromptAnswer ShowMessage(std::string_view text, std::string_view caption,
                                       platform::PromptButtons buttons,
                                       platform::PromptIcon icon) override;
    void Beep(unsigned, std::chrono::milliseconds) override {}

    // Runs before each message is recorded.
    void BeforeMessage(std::function<void()> hook) { before_message_ = std::move(hook); }

  private:
    std::string transcript_;
    std::function<void()> before_message_;
};

class InstallerBench : public ::testing::Test {
  protected:
    InstallerBench();
    ~InstallerBench() override;

    // The folders: `working_name` is the working folder's name under the bench's root.
    void UseWorkingFolder(std::string_view working_name);
    void UseProgramFolder(const std::string& program_folder);

    void PlaceTools();
    void PlaceTool(std::string_view relative_path);
    // Places `library` (a stand-in build) as the driver folder's libDIFxAPI.so.
    void PlaceLibrary(const std::string& library);
    // Creates the two keys the values are written into.
    void CreateKeys();
    void CreateKey(platform::Hive hive, std::string_view path);
    void SetInstallFlag(std::uint32_t flag);

    // One run of the dialog on `host` with `clock`; the transcript it added.
    std::string Run(const platform::HostSystem& host, platform::Clock& clock);
    std::string Run(const platform::HostSystem& host) { return Run(host, clock_); }

    // The lines the transcript is expected to hold.
    std::string Devcon(std::initializer_list<std::string_view> arguments) const;
    std::string Dpinst() const;
    std::string Inf(std::string_view name, bool preinstall = true) const;
    static std::string Message(std::string_view text);

    std::optional<std::uint32_t> Dword(platform::Hive hive, std::string_view path,
                                       std::string_view name) const;
    std::string HiveText(platform::Hive hive) const;

    fendrel::testing::TempDir root_;
    std::string working_folder_;  // without a trailing separator
    std::string program_folder_;  // without a trailing separator
    std::string transcript_;
    platform::SettingsStore store_;
    platform::VirtualClock clock_;
    TranscriptPrompts prompts_;
    platform::ScopedPrompts scoped_prompts_{prompts_};

  private:
    std::string original_folder_;
};

// A virtual clock that calls `before_pause` with each pause before it takes it.
class HookedClock final : public platform::Clock {
  public:
    explicit HookedClock(std::function<void(platform::Milliseconds)> before_pause)
        : before_pause_(std::move(before_pause)) {}
    void Sleep(platform::Milliseconds duration) override {
        before_pause_(duration);
        virtual_.Sleep(duration);
    }
    platform::Milliseconds Now() const override { return virtual_.Now(); }
    std::vector<platform::Milliseconds> Sleeps() const { return virtual_.Sleeps(); }

  private:
    const std::function<void(platform::Milliseconds)> before_pause_;
    platform::VirtualClock virtual_;
};

// The 200 ms pause after the one read of a stand-in tool's output, between the pauses before
// and after its start.
std::vector<platform::Milliseconds> ToolPauses(long after_start_ms, int tools);

}  // namespace tarnwick::testing
