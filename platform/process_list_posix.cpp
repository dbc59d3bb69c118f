// The process list on Linux: the numbered folders of /proc.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "platform/process_list.h"

namespace platform {
namespace {

constexpr std::string_view kDeletedMark = " (deleted)";
// /proc/<id>/stat is one line of about fifty numbers.
constexpr std::size_t kMaxStatSize = 64 * 1024;
// /proc/<id>/cmdline holds a program's arguments: a quarter of the default 8 MiB stack at most.
constexpr std::size_t kMaxCommandLineSize = 2 * 1024 * 1024;

std::string FileNamePart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::optional<ProcessId> ParseId(const char* name) {
    ProcessId id = 0;
    if (*name == '\0')
        return std::nullopt;
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9' || id > (UINT32_MAX - 9) / 10)
            return std::nullopt;
        id = id * 10 + static_cast<ProcessId>(*name - '0');
    }
    return id;
}

std::string ExecutableLink(const std::string& folder) {
    std::string target(4096, '\0');
    const ssize_t length = readlink((folder + "/exe").c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size())
        return {};
    target.resize(static_cast<std::size_t>(length));
    // A program whose file was replaced or removed while it runs still is that program.
    if (target.ends_with(kDeletedMark))
        target.resize(target.size() - kDeletedMark.size());
    return FileNamePart(target);
}

// The entry of one /proc/<id> folder; none when the process has gone or is a zombie.
std::optional<ProcessEntry> ReadEntry(ProcessId id) {
    const std::string folder = "/proc/" + std::to_string(id);
    // "<id> (<short name>) <state> ...": the short name may itself hold ')' and spaces.
    const auto stat = ReadFileBytes(folder + "/stat", kMaxStatSize);
    if (!stat)
        return std::nullopt;
    const std::size_t open = stat->find('(');
    const std::size_t close = stat->rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open ||
        close + 2 >= stat->size())
        return std::nullopt;
    const char state = (*stat)[close + 2];
    if (state == 'Z' || state == 'X')
        return std::nullopt;

    ProcessEntry entry{id, ExecutableLink(folder)};
    if (entry.executable.empty()) {
        const auto command_line = ReadFileBytes(folder + "/cmdline", kMaxCommandLineSize);
        if (command_line)
            entry.executable = FileNamePart(command_line->c_str());
    }
    if (entry.executable.empty())
        entry.executable = stat->substr(open + 1, close - open - 1);
    return entry;
}

}  // namespace

std::optional<std::vector<ProcessEntry>> ListProcesses(std::string* error) {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
        if (error != nullptr)
            *error = std::string("cannot list /proc: ") + std::strerror(errno);
        return std::nullopt;
    }
    std::vector<ProcessId> ids;
    while (const dirent* item = readdir(proc)) {
        if (const auto id = ParseId(item->d_name))
            ids.push_back(*id);
    }
    closedir(proc);
    std::sort(ids.begin(), ids.end());

    std::vector<ProcessEntry> processes;
    for (const ProcessId id : ids) {
        if (auto entry = ReadEntry(id))
            processes.push_back(std::move(*entry));
    }
    return processes;
}

}  // namespace platform
