// The process list: the stand-in for a ToolHelp snapshot of the running processes.
//
// Every process is listed under the file name of its executable, without the folder
// ("DPInst.exe"). Executable names compare as Windows compares file names: without regard to
// ASCII case (platform/ascii.h). On POSIX the name is that of /proc/<pid>/exe; where that link
// cannot be read (another user's process, a kernel thread) the file name of the process's first
// argument, or else its short name from /proc stands in. Processes that have ended but not been
// collected (zombies) are not listed: they no longer run.
//
// Blocking: reads /proc (or takes the snapshot), never waits for another process. Any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/processes.h"

namespace platform {

struct ProcessEntry {
    ProcessId id = 0;
    std::string executable;  // the file name of the program, without its folder
};

// A snapshot of the processes running now, in ascending id order. None, with `error` set, when
// no snapshot can be taken.
std::optional<std::vector<ProcessEntry>> ListProcesses(std::string* error = nullptr);

// The id of the first process of the snapshot whose executable is `name`; 0 when none is, or
// when no snapshot can be taken.
ProcessId FindProcessByName(std::string_view name);

}  // namespace platform
