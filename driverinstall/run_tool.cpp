// Running the outside driver tools: devcon.exe and DPInst.exe, one after another.
#include <string>

#include "driverinstall/driver_tables.h"
#include "driverinstall/tarnwick_dlg.h"
#include "platform/paths.h"
#include "platform/process_list.h"
#include "platform/processes.h"
#include "platform/prompts.h"

namespace tarnwick {
namespace {

using platform::Milliseconds;

constexpr Milliseconds kPauseBeforeTool{500};
constexpr Milliseconds kPauseAfterRead{200};
// The output is read in pieces that leave room for a terminator in the buffer.
constexpr std::size_t kReadBufferSize = 4096;
constexpr std::size_t kReadPiece = kReadBufferSize - 1;
// A tool that has closed its output is ending; this long it may take before it is left to end
// on its own.
constexpr Milliseconds kToolEndWait{10000};

constexpr int kInstallerWaitPauses = 121;
constexpr Milliseconds kInstallerWaitPause{500};

constexpr std::string_view kCreatePipeError = "Error On CreatePipe()";
constexpr std::string_view kCreateProcessError = "Error on CreateProcess()";

void ShowError(std::string_view text) {
    platform::CurrentPrompts().ShowMessage(text, kProgramName, platform::PromptButtons::kOk,
                                           platform::PromptIcon::kNone);
}

// The command line of working folder + folder part + tail: the program's path is made of
// folders and takes the platform's separator; the arguments after it (hardware ids such as
// "USB\VID_05c6&PID_9025&MI_00") keep their backslashes. Empty when no command line can name
// the program (its path holds a double quote).
std::string ToolCommandLine(std::string_view working_folder, std::string_view folder_part,
                            std::string_view tail) {
    const std::size_t arguments = tail.find(' ');
    const std::string program = platform::JoinPath(
        working_folder,
        platform::NativePath(std::string(folder_part) + std::string(tail.substr(0, arguments))));
    const std::string quoted = platform::QuoteProgramPath(program);
    if (quoted.empty() || arguments == std::string_view::npos)
        return quoted;
    return quoted + std::string(tail.substr(arguments));
}

}  // namespace

void CTarnwickDlg::RunTool(std::string_view tail, std::string_view folder_part,
                           Milliseconds pause_after_start) {
    clock_.Sleep(kPauseBeforeTool);
    const auto working_folder = platform::CurrentDirectory();
    const std::string command_line =
        working_folder ? ToolCommandLine(*working_folder, folder_part, tail) : std::string();
    if (command_line.empty()) {
        ShowError(kCreateProcessError);
        return;
    }
    platform::ChildProcess tool;
    switch (tool.Start(command_line)) {
        case platform::ChildProcess::StartResult::kNoPipe:
            ShowError(kCreatePipeError);
            return;
        case platform::ChildProcess::StartResult::kNotStarted:
            ShowError(kCreateProcessError);
            return;
        case platform::ChildProcess::StartResult::kStarted:
            break;
    }
    clock_.Sleep(pause_after_start);
    // What the tool says is not used; its output is drained only so that it never blocks
    // writing, and its end tells that the tool is done.
    char output[kReadBufferSize];
    while (tool.ReadOutput(output, kReadPiece) > 0)
        clock_.Sleep(kPauseAfterRead);
    tool.Wait(kToolEndWait);
}

platform::ProcessId CTarnwickDlg::FindProcess(std::string_view name) const {
    return platform::FindProcessByName(name);
}

void CTarnwickDlg::WaitForInstaller() {
    // The installer may hand its work to a process of its own and end the one we started.
    for (int pauses = 0; pauses < kInstallerWaitPauses && FindProcess(kDpinstProcessName) != 0;
         ++pauses) {
        clock_.Sleep(kInstallerWaitPause);
    }
}

}  // namespace tarnwick
