// The settings store's folder on POSIX, and the system registry POSIX does not have.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/paths.h"
#include "platform/settings_store.h"
#include "platform/system_registry.h"

namespace platform {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeDirectory() {
    std::string home = Environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(getuid()))
            home = entry->pw_dir;
    }
    return home;
}

bool NoRegistry(std::string* error) {
    if (error != nullptr)
        *error = "this system has no registry of its own; the settings store is a folder of hives";
    return false;
}

}  // namespace

SettingsStore SettingsStore::FromEnvironment() {
    std::string directory = Environment("FENDREL_REGISTRY_DIR");
    if (directory.empty()) {
        const std::string state = Environment("XDG_STATE_HOME");
        directory = state.empty() ? JoinPath(HomeDirectory(), ".local/state/fendrel")
                                  : JoinPath(state, "fendrel");
    }
    return SettingsStore(std::move(directory));
}

namespace system_registry {

bool KeyExists(Hive, std::string_view, std::string* error) {
    return NoRegistry(error);
}

bool CreateKey(Hive, std::string_view, std::string* error) {
    return NoRegistry(error);
}

std::optional<RegistryValue> QueryValue(Hive, std::string_view, std::string_view,
                                        std::string* error) {
    NoRegistry(error);
    return std::nullopt;
}

std::optional<RegistryValue> EnumValue(Hive, std::string_view, std::size_t, std::string* error) {
    NoRegistry(error);
    return std::nullopt;
}

bool SetValue(Hive, std::string_view, const RegistryValue&, std::string* error) {
    return NoRegistry(error);
}

}  // namespace system_registry
}  // namespace platform
