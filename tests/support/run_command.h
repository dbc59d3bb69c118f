// Test helper: runs a shell command line as a technician would and keeps what it printed.
#pragma once

#include <string>

namespace fendrel::testing {

struct CommandOutcome {
    int status;          // the exit status, or -1 when the command did not exit by itself
    std::string output;  // standard output
    std::string errors;  // standard error
};

CommandOutcome RunCommand(const std::string& command_line);

}  // namespace fendrel::testing
