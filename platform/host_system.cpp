// The host asked for through $FENDREL_HOST_OS, or the running one (the same on every platform).
#include <charconv>
#include <cstdlib>

#include "platform/host_system.h"

namespace platform {
namespace {

constexpr const char* kHostVariable = "FENDREL_HOST_OS";

// Reads the decimal number at the start of `text` and drops it from there.
std::optional<unsigned> TakeNumber(std::string_view& text) {
    unsigned number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end == text.data())
        return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return number;
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

}  // namespace

std::optional<HostSystem> QueryHostSystem(std::string* error) {
    if (const char* named = std::getenv(kHostVariable); named != nullptr && *named != '\0') {
        auto host = ParseHostSystem(named);
        if (!host && error != nullptr) {
            *error = std::string(kHostVariable) + "=\"" + named +
                     "\" does not name a host; write windows-<major>.<minor>-<32|64>, for "
                     "example windows-5.1-32";
        }
        return host;
    }
    return RunningHostSystem();
}

std::optional<HostSystem> ParseHostSystem(std::string_view name) {
    HostSystem host{OsFamily::kWindows};
    if (!TakePrefix(name, "windows-"))
        return std::nullopt;
    const auto major = TakeNumber(name);
    if (!major || !TakePrefix(name, "."))
        return std::nullopt;
    const auto minor = TakeNumber(name);
    if (!minor)
        return std::nullopt;
    host.major = *major;
    host.minor = *minor;
    if (name == "-32")
        host.is_64bit = false;
    else if (name == "-64")
        host.is_64bit = true;
    else
        return std::nullopt;
    return host;
}

}  // namespace platform
