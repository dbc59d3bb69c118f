// Looking processes up by executable name (the same on every platform).
#include "platform/process_list.h"
#include "platform/ascii.h"

namespace platform {

ProcessId FindProcessByName(std::string_view name) {
    const auto processes = ListProcesses();
    if (!processes)
        return 0;
    for (const ProcessEntry& process : *processes) {
        if (EqualsIgnoringAsciiCase(process.executable, name))
            return process.id;
    }
    return 0;
}

}  // namespace platform
