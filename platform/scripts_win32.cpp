// Batch files for cmd.exe.
#include <windows.h>

#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/scripts.h"

namespace platform {
namespace {

constexpr std::string_view kScriptSuffix = ".bat";
// Echo off, into the script's own folder (drive included), and give up when that fails.
constexpr std::string_view kEnterOwnFolder = "@echo off\r\ncd /d \"%~dp0\" || exit /b 1\r\n";

// `word` in double quotes for cmd.exe and the program it starts: quoted by the rules of the C
// run-time (QuoteArgument), and every '%' doubled, which a batch file would otherwise expand.
std::string BatchQuoted(std::string_view word) {
    std::string quoted;
    for (const char c : QuoteArgument(word)) {
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    return quoted;
}

std::string CommandInterpreter() {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "C:\\Windows\\System32\\cmd.exe";
    return JoinPath(std::string(folder, length), "cmd.exe");
}

}  // namespace

std::string ScriptFileName(std::string_view stem) {
    return std::string(stem) + std::string(kScriptSuffix);
}

std::string ScriptText(const std::vector<std::string>& command) {
    std::string text(kEnterOwnFolder);
    for (std::size_t i = 0; i < command.size(); ++i)
        text += (i == 0 ? "" : " ") + BatchQuoted(command[i]);
    // A batch file ends with the status of its last command.
    return text + "\r\n";
}

std::string ScriptCommandLine(std::string_view path) {
    // /s: cmd.exe drops only the outer pair of quotes, whatever the path holds.
    return QuoteProgramPath(CommandInterpreter()) + " /d /s /c \"" + QuoteArgument(path) + "\"";
}

std::string PythonInterpreter() {
    return "python.exe";
}

}  // namespace platform
