// fendrel-cli nv-check FILE...: checks NV backup files against their own digest before they are
// trusted, for example before a phone's items are written back. Exit status 0 when every file is
// intact, 1 when one is damaged or cut short, 2 when one cannot be read.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands_list.h"
#include "nv/backup_file.h"
#include "platform/files.h"

namespace fendrel::cli {
namespace {

constexpr int kNotIntact = 1;
constexpr int kUnreadable = 2;

int Run(std::span<char* const> arguments) {
    if (arguments.empty())
        return UsageError(NvCheckCommand());
    int status = 0;
    for (const char* path : arguments) {
        std::string error;
        const std::optional<std::string> bytes =
            platform::ReadFileBytes(path, kMaxBackupFileSize, &error);
        if (!bytes) {
            std::printf("%s: cannot be read (%s)\n", path, error.c_str());
            status = kUnreadable;
            continue;
        }
        const BackupCheck check = CheckBackupFile(*bytes);
        switch (check.verdict) {
            case BackupCheck::Verdict::kIntact:
                std::printf("%s: intact, %zu items, saved %s\n", path, check.body_lines,
                            check.save_time.c_str());
                break;
            case BackupCheck::Verdict::kDamaged:
                std::printf("%s: damaged, its digest does not match its %zu item lines\n", path,
                            check.body_lines);
                break;
            case BackupCheck::Verdict::kNoTrailer:
                std::printf("%s: no backup trailer, the file is cut short or no NV backup\n", path);
                break;
        }
        if (check.verdict != BackupCheck::Verdict::kIntact && status == 0)
            status = kNotIntact;
    }
    return status;
}

}  // namespace

Command NvCheckCommand() {
    return {"nv-check", "FILE...", "check NV backup files (.znv) against their digest", Run};
}

}  // namespace fendrel::cli
