// fendrel-cli setup: the installation step that creates the registry keys the station opens
// (it never creates them itself). Running it again changes nothing.
#include <cstdio>
#include <string>

#include "app/registry_keys.h"
#include "cli/commands_list.h"
#include "platform/settings_store.h"

namespace fendrel::cli {
namespace {

int Run(std::span<char* const> arguments) {
    if (!arguments.empty())
        return UsageError(SetupCommand());
    const platform::SettingsStore store = platform::SettingsStore::FromEnvironment();
    for (const std::string_view key : registry::kProgramKeys) {
        std::string error;
        if (!store.CreateKey(platform::Hive::kLocalMachine, key, &error)) {
            std::fprintf(stderr, "fendrel-cli setup: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("Registry keys ready in %s:\n",
                store.HivePath(platform::Hive::kLocalMachine).c_str());
    for (const std::string_view key : registry::kProgramKeys)
        std::printf("  HKEY_LOCAL_MACHINE\\%.*s\n", static_cast<int>(key.size()), key.data());
    return 0;
}

}  // namespace

Command SetupCommand() {
    return {"setup", "", "create the registry keys the station needs (installation step)", Run};
}

}  // namespace fendrel::cli
