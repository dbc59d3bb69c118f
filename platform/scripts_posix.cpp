// Shell scripts for /bin/sh.
#include "platform/processes.h"
#include "platform/scripts.h"

namespace platform {
namespace {

constexpr std::string_view kShell = "/bin/sh";
constexpr std::string_view kScriptSuffix = ".sh";
// "$0" is the script as the shell was given it: its folder is everything up to the last slash
// (none: the current folder). No command substitution, which would eat a name's last newlines.
constexpr std::string_view kEnterOwnFolder =
    "case \"$0\" in */*) cd -- \"${0%/*}/\" || exit 1 ;; esac\n";

// `word` in single quotes, a quote inside it written as '\''.
std::string ShellQuoted(std::string_view word) {
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

}  // namespace

std::string ScriptFileName(std::string_view stem) {
    return std::string(stem) + std::string(kScriptSuffix);
}

std::string ScriptText(const std::vector<std::string>& command) {
    std::string text(kEnterOwnFolder);
    for (std::size_t i = 0; i < command.size(); ++i)
        text += (i == 0 ? "" : " ") + ShellQuoted(command[i]);
    return text + "\n";
}

std::string ScriptCommandLine(std::string_view path) {
    return std::string(kShell) + " " + QuoteArgument(path);
}

std::string PythonInterpreter() {
    return "python3";
}

}  // namespace platform
