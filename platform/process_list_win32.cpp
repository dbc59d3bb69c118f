// The process list on Windows: a ToolHelp snapshot.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>

#include "platform/process_list.h"
#include "platform/win32_error.h"

namespace platform {

std::optional<std::vector<ProcessEntry>> ListProcesses(std::string* error) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        if (error != nullptr)
            *error = LastErrorText("cannot take a snapshot of the processes");
        return std::nullopt;
    }
    std::vector<ProcessEntry> processes;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        // szExeFile is the file name of the program (a few systems write the whole path).
        std::string name = entry.szExeFile;
        const std::size_t folder = name.find_last_of("\\/");
        if (folder != std::string::npos)
            name.erase(0, folder + 1);
        processes.push_back({static_cast<ProcessId>(entry.th32ProcessID), std::move(name)});
    }
    CloseHandle(snapshot);
    std::sort(processes.begin(), processes.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.id < b.id; });
    return processes;
}

}  // namespace platform
