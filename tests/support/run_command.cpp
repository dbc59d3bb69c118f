#include "tests/support/run_command.h"

#include <sys/wait.h>

#include <cstdio>

#include "tests/support/temp_dir.h"

namespace fendrel::testing {

CommandOutcome RunCommand(const std::string& command_line) {
    const TempDir dir;
    const std::string errors = dir.File("stderr");
    CommandOutcome outcome{-1, "", ""};
    std::FILE* pipe = popen((command_line + " 2>'" + errors + "'").c_str(), "r");
    if (pipe == nullptr)
        return outcome;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        outcome.output += buffer;
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.errors = ReadFile(errors);
    return outcome;
}

}  // namespace fendrel::testing
