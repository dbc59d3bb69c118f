// Looking processes up by executable name (the same on every platform).
#include "platform/process_list.h"

namespace platform {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool SameExecutableName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

ProcessId FindProcessByName(std::string_view name) {
    const auto processes = ListProcesses();
    if (!processes)
        return 0;
    for (const ProcessEntry& process : *processes) {
        if (SameExecutableName(process.executable, name))
            return process.id;
    }
    return 0;
}

}  // namespace platform
